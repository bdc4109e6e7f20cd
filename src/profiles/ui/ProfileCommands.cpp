#include "profiles/ui/ProfileCommands.h"

#include <QAction>
#include <QMenu>

namespace keldara::profiles {

namespace {
QAction* namedAction(QMenu* menu, const QString& name, const QString& caption) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(name);
    return action;
}
}  // namespace

ProfileCommands::ProfileCommands(QMenu* fileMenu, shell::Workspace& workspace)
    : QObject(fileMenu), ws_(workspace) {
    mnuProfileLoad_ = namedAction(fileMenu, "mnuProfileLoad", "Load Profile");
    mnuProfileSave_ = namedAction(fileMenu, "mnuProfileSave", "Save Profile");
    mnuProfileSaveAS_ = namedAction(fileMenu, "mnuProfileSaveAS", "Save Profile As");
    fileMenu->addSeparator()->setObjectName("mnuSep2");
    for (int i = 0; i < RecentEntries; ++i) {
        mnuMRUFiles_[i] = namedAction(fileMenu, QStringLiteral("mnuMRUFiles_%1").arg(i), QString());
        mnuMRUFiles_[i]->setVisible(false);
    }
}

void ProfileCommands::LoadRecentList() {
    // Connected when profiles can be saved and loaded.
}

void ProfileCommands::SaveRecentList() {
    // Connected when profiles can be saved and loaded.
}

}  // namespace keldara::profiles
