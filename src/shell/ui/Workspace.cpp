#include "shell/ui/Workspace.h"

#include "shell/ui/StatusBar.h"

namespace keldara::shell {

void Workspace::SetStatusText(const QString& text) {
    if (!SB) return;
    SB->setPanelText(1, text);
    SB->repaint();
}

}  // namespace keldara::shell
