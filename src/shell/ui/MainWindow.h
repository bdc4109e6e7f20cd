#pragma once

#include <QMainWindow>
#include <memory>

#include "shell/ui/Workspace.h"

class QFrame;
class QLabel;
class QTabWidget;

namespace keldara::shell {

// frmMain: the one main window, assembled from one room per subsystem.
class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(platform::Platform platform, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The window's one global instance, for code without a window of its own.
    static MainWindow* instance();

    Workspace& workspace() { return ws_; }
    void SetStatusText(const QString& text) { ws_.SetStatusText(text); }

    // Lays out the tab control, the grids, the sample buttons and the progress bar for the
    // current client size.
    void ResizeMe();
    // The window's design client size, in twips.
    static constexpr int DesignWidth = 10095;
    static constexpr int DesignHeight = 7875;
    // The tops of the grids inside the tab control, in twips.
    static constexpr int SourceGridTop = 1350;
    static constexpr int TargetGridTop = 2670;
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
    void Form_Load();
    void tabTabs_Click();
    void mnuAbout_Click();
    void mnuExit_Click();
    void dockBands();
    void applyLayout(const struct LayoutTw& layout);
    float pageOffsetTw() const;

    Workspace ws_;
    QWidget* client_;
    QFrame* picHeader_;
    QTabWidget* tabTabs_;
    QFrame* picFooter_;
    bool exiting_ = false;

    void connectProfiles();
};

}  // namespace keldara::shell
