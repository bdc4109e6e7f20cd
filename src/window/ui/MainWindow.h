#pragma once

#include <QMainWindow>
#include <memory>

#include "shell/ui/Workspace.h"

class QAction;
class QFrame;
class QLabel;
class QTabWidget;

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

// frmMain: the one main window, assembled from one room per subsystem. The rooms do not know
// each other; the window connects what one announces to what another does.
class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(platform::Platform platform, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The window's one global instance, for code without a window of its own.
    static MainWindow* instance();

    Workspace& workspace() { return ws_; }
    source::SourcePanel* source() const { return source_; }
    target::TargetPanel* target() const { return target_; }
    mapping::MappingPage* mapping() const { return mapping_; }
    transfer::ActionFooter* footer() const { return footer_; }
    profiles::ProfileCommands* profiles() const { return profiles_; }
    void SetStatusText(const QString& text) { ws_.SetStatusText(text); }

    // Lays out the tab control, the grids, the sample buttons and the progress bar for the
    // current client size.
    void ResizeMe();
    // The window's design client size, in twips: tall enough for the target page's security
    // choices above its grid and for the footer's two rows, with room for the grids' rows.
    static constexpr int DesignWidth = 10095;
    static constexpr int DesignHeight = 8730;
    // The tops of the grids inside the tab control, in twips.
    static constexpr int SourceGridTop = 1350;
    static constexpr int TargetGridTop = 3150;
    static constexpr int MappingGridTop = 930;

  signals:
    // File > Exit: the program is to end at once, without the unload steps.
    void exitRequested();

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildHeader(QWidget* client);
    void buildMenus();
    QWidget* addPage(const QString& caption);
    void connectRooms();
    void connectTransfer();
    void setRoomsEnabled(bool enabled);
    void Form_Load();
    void tabTabs_Click();
    void mnuAbout_Click();
    void mnuMigrate_Click();
    void mnuExit_Click();
    void dockBands();
    void applyLayout(const struct LayoutTw& layout);
    float pageOffsetTw() const;

    Workspace ws_;
    QWidget* client_;
    QFrame* picHeader_;
    QTabWidget* tabTabs_;
    QFrame* picFooter_;
    source::SourcePanel* source_;
    target::TargetPanel* target_;
    mapping::MappingPage* mapping_;
    transfer::ActionFooter* footer_;
    profiles::ProfileCommands* profiles_;
    QAction* mnuMigrate_;
    bool exiting_ = false;
    bool closeAfterRun_ = false;

    void connectProfiles();
};

}  // namespace keldara::shell
