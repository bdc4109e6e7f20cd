#pragma once

#include <QString>

#include "platform/Platform.h"
#include "shell/AppState.h"

class QWidget;

namespace keldara::source {
class SourcePanel;
}
namespace keldara::target {
class TargetPanel;
}
namespace keldara::mapping {
class MappingPage;
}
namespace keldara::transfer {
class ActionFooter;
}
namespace keldara::profiles {
class ProfileCommands;
}

namespace keldara::shell {

class StatusBar;
class ProgressBar;

// The one small object through which the rooms of the main window reach the shared state,
// the platform, the status bar and each other.
struct Workspace {
    AppState state;
    platform::Platform platform;
    QWidget* window = nullptr;
    StatusBar* SB = nullptr;
    ProgressBar* PB = nullptr;
    source::SourcePanel* source = nullptr;
    target::TargetPanel* target = nullptr;
    mapping::MappingPage* mapping = nullptr;
    transfer::ActionFooter* footer = nullptr;
    profiles::ProfileCommands* profiles = nullptr;

    // Writes the status text into panel 1 and repaints the status bar at once, so that it is
    // seen while the calling handler goes on working.
    void SetStatusText(const QString& text);
};

}  // namespace keldara::shell
