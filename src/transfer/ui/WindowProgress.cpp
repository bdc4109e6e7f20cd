#include "transfer/ui/WindowProgress.h"

#include <QCoreApplication>

#include "shell/ui/StatusBar.h"

namespace keldara::transfer {

WindowProgress::WindowProgress(shell::Workspace& workspace, const bool& stopPressed,
                               const dao::Connection* target)
    : ws_(workspace), stopPressed_(stopPressed), target_(target) {}

// The text is painted with the next events rather than at once: painting it for every record
// would cost a long run more than its statements.
void WindowProgress::setStatusText(const QString& text) {
    if (!ws_.SB) return;
    const QString server = target_ ? target_->serverName() : QString();
    ws_.SB->setPanelText(
        1, server.isEmpty() ? text : text + QStringLiteral("  (writing to %1)").arg(server));
}

void WindowProgress::setProgressMaximum(long maximum) {
    if (ws_.PB) ws_.PB->setMaximumValue(static_cast<double>(maximum));
}

void WindowProgress::setProgressValue(long value) {
    if (ws_.PB) ws_.PB->setCurrentValue(static_cast<double>(value));
}

void WindowProgress::notice(const QString& text) {
    setStatusText(text);
    notices_ << text;
}

bool WindowProgress::stopRequested() {
    if (!sinceEvents_.isValid() || sinceEvents_.elapsed() >= EventIntervalMs) {
        QCoreApplication::processEvents();
        sinceEvents_.start();
    }
    return stopPressed_;
}

}  // namespace keldara::transfer
