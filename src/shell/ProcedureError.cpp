#include "shell/ProcedureError.h"

#include "platform/dao/DaoError.h"

namespace keldara::shell {

namespace {

void showError(platform::MessageBoxes& messages, const QString& text) {
    platform::MessageRequest request;
    request.title = QStringLiteral("Vostrel");
    request.text = text;
    request.buttons = platform::MessageButtons::Ok;
    messages.show(request);
}

QString procedurePrefix(const QString& procedure) {
    return QStringLiteral("An Error occured in [frmMain] (Sub) ") + procedure +
           QStringLiteral(" : ");
}

}  // namespace

QString errorDescription(const std::exception& error) {
    if (const auto* dao = dynamic_cast<const dao::DaoError*>(&error)) return dao->description();
    return QString::fromLocal8Bit(error.what());
}

void showProcedureError(platform::MessageBoxes& messages, const QString& procedure, int line,
                        const QString& description) {
    showError(messages, procedurePrefix(procedure) + QStringLiteral("Line ") +
                            QString::number(line) + QStringLiteral(" - ") + description);
}

void showProcedureError(platform::MessageBoxes& messages, const QString& procedure,
                        const QString& description) {
    showError(messages, procedurePrefix(procedure) + description);
}

}  // namespace keldara::shell
