#include "transfer/ui/WindowProgress.h"

#include <QCoreApplication>

#include "shell/ui/StatusBar.h"

namespace keldara::transfer {

WindowProgress::WindowProgress(shell::Workspace& workspace, const bool& stopPressed)
    : ws_(workspace), stopPressed_(stopPressed) {}

// The text is painted with the next events rather than at once: painting it for every record
// would cost a long run more than its statements.
void WindowProgress::setStatusText(const QString& text) {
    if (ws_.SB) ws_.SB->setPanelText(1, text);
}

void WindowProgress::setProgressMaximum(long maximum) {
    if (ws_.PB) ws_.PB->setMaximumValue(static_cast<double>(maximum));
}

void WindowProgress::setProgressValue(long value) {
    if (ws_.PB) ws_.PB->setCurrentValue(static_cast<double>(value));
}

bool WindowProgress::stopRequested() {
    if (!sinceEvents_.isValid() || sinceEvents_.elapsed() >= EventIntervalMs) {
        QCoreApplication::processEvents();
        sinceEvents_.start();
    }
    return stopPressed_;
}

}  // namespace keldara::transfer
