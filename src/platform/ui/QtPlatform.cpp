#include "platform/ui/QtPlatform.h"

#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>

namespace keldara::platform {

MessageAnswer QtMessageBoxes::show(const MessageRequest& request) {
    QMessageBox box(owner_);
    box.setWindowTitle(request.title);
    box.setText(request.text);
    switch (request.icon) {
        case MessageIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case MessageIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MessageIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case MessageIcon::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
        case MessageIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
    }
    switch (request.buttons) {
        case MessageButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MessageButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case MessageButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case MessageButtons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Yes:
            return MessageAnswer::Yes;
        case QMessageBox::No:
            return MessageAnswer::No;
        case QMessageBox::Cancel:
            return MessageAnswer::Cancel;
        default:
            return MessageAnswer::Ok;
    }
}

QStringList qtNameFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList globs = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        globs.removeDuplicates();
        filters << parts[i] + QStringLiteral(" (") + globs.join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return filters;
}

namespace {

std::optional<QString> runFileDialog(QWidget* owner, const FileDialogRequest& request, bool save) {
    QFileDialog dialog(owner, request.title, request.initialFolder);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    const bool mustExist = (request.flags & FileDialogRequest::FileMustExist) != 0;
    dialog.setFileMode(save || !mustExist ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QStringList filters = qtNameFilters(request.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const int index = std::max(0, request.filterIndex - 1);
        dialog.selectNameFilter(filters.value(index, filters.first()));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first();
}

}  // namespace

std::optional<QString> QtFileDialogs::showOpen(const FileDialogRequest& request) {
    return runFileDialog(owner_, request, false);
}

std::optional<QString> QtFileDialogs::showSave(const FileDialogRequest& request) {
    return runFileDialog(owner_, request, true);
}

std::optional<QString> QtFileDialogs::showFont(const FileDialogRequest& request) {
    bool ok = false;
    const QFont font =
        QFontDialog::getFont(&ok, QFont(), owner_, request.title, QFontDialog::ScalableFonts);
    if (!ok) return std::nullopt;
    return font.family();
}

}  // namespace keldara::platform
