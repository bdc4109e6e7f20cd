#pragma once

#include <QObject>

#include "shell/ui/Workspace.h"

class QAction;
class QMenu;

namespace keldara::profiles {

// The profile commands of the File menu: load, save, save as, and the recent profiles.
class ProfileCommands : public QObject {
    Q_OBJECT
  public:
    static constexpr int RecentEntries = 5;

    ProfileCommands(QMenu* fileMenu, shell::Workspace& workspace);

    // Reads the recent-profiles list from the settings store and shows it in the menu.
    void LoadRecentList();
    // Writes the recent-profiles list to the settings store.
    void SaveRecentList();

  private:
    shell::Workspace& ws_;
    QAction* mnuProfileLoad_;
    QAction* mnuProfileSave_;
    QAction* mnuProfileSaveAS_;
    QAction* mnuMRUFiles_[RecentEntries];
};

}  // namespace keldara::profiles
