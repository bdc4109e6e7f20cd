#pragma once

#include <QObject>

#include "profiles/MRUList.h"
#include "profiles/ProfileFile.h"
#include "shell/ui/Workspace.h"

class QAction;
class QMenu;

namespace keldara::profiles {

// The profile commands of the File menu: load, save, save as, and the recent profiles. The
// window's fields are reached only through the two signals, which the main window connects
// to the pages that hold them.
class ProfileCommands : public QObject {
    Q_OBJECT
  public:
    static constexpr int RecentEntries = 5;
    static inline const QString ApplicationName = QStringLiteral("Tamrix MySQL Tools");

    ProfileCommands(QMenu* fileMenu, shell::Workspace& workspace);

    // Reads the recent-profiles list from the settings store and shows it in the menu.
    void LoadRecentList();
    // Writes the recent-profiles list to the settings store.
    void SaveRecentList();

    // Reads the profile named by profileFileName() and puts it into the window; an
    // unreadable file is reported and changes nothing but the current profile name.
    void LoadIt();
    // Writes the window's choices to profileFileName(); false when nothing was written.
    bool SaveMySettings();
    // Makes `path` the current profile and loads it, as the recent entries do.
    void openProfile(const QString& path);
    // The program's arguments: a profile path after the program's name is opened at once.
    void openFromCommandLine(const QStringList& arguments);

    const QString& profileFileName() const { return ProfileFileName_; }
    bool profileRead() const { return bProfileRead_; }
    MRUList& recentList() { return gMRUList_; }

  signals:
    // A profile was read; the pages take their fields from it.
    void profileLoaded(const keldara::profiles::Profile& profile);
    // The pages are asked to put their current choices into `profile`.
    void profileRequested(keldara::profiles::Profile& profile);

  private:
    void mnuProfileLoad_Click();
    void mnuProfileSave_Click();
    void mnuProfileSaveAS_Click();
    void mnuMRUFiles_Click(int index);
    // Asks for a new profile name; the current name becomes "Cancel" or the choice.
    void askForSaveName();
    // Rewrites the recent entries of the menu from the list.
    void Update();
    void showMessage(const QString& text, const QString& title, bool critical = false);
    QString profileFolder() const;
    int dialogLeft() const;
    int dialogTop() const;

    shell::Workspace& ws_;
    QString ProfileFileName_;
    bool bProfileRead_ = false;
    MRUList gMRUList_;
    QAction* mnuProfileLoad_;
    QAction* mnuProfileSave_;
    QAction* mnuProfileSaveAS_;
    QAction* mnuMRUFiles_[RecentEntries];
};

}  // namespace keldara::profiles
