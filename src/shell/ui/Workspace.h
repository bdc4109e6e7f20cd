#pragma once

#include <QString>

#include "platform/Platform.h"
#include "shell/AppState.h"

class QWidget;

namespace keldara::shell {

class StatusBar;
class ProgressBar;

// The one small object through which the rooms of the main window reach the shared state,
// the platform and the status bar. Rooms do not reach each other: they announce what
// happened by signals, which the main window connects.
struct Workspace {
    AppState state;
    platform::Platform platform;
    QWidget* window = nullptr;
    StatusBar* SB = nullptr;
    ProgressBar* PB = nullptr;

    // Writes the status text into panel 1 and repaints the status bar at once, so that it is
    // seen while the calling handler goes on working.
    void SetStatusText(const QString& text);
};

}  // namespace keldara::shell
