#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QMenuBar>
#include <QProgressBar>
#include <QSignalSpy>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include "shell/LayoutTwips.h"
#include "shell/ui/StatusBar.h"
#include "shell/ui/Twips.h"
#include "support/WindowFixture.h"
#include "support/window/ControlLayout.h"
#include "window/ui/SplashScreen.h"

using namespace keldara;
using namespace keldara::shell;
using keldara::test::WindowFixture;

namespace {

using Box = std::array<float, 4>;  // left, top, width, height
Box box(const RectTw& r) {
    return {r.left, r.top, r.width, r.height};
}

// The layout as the window holds it before a resize: design tops, some previous sizes.
LayoutTw designLayout(float clientWidth, float clientHeight, float panelWidth = 3000) {
    LayoutTw l;
    l.clientWidth = clientWidth;
    l.clientHeight = clientHeight;
    l.tabTabs = {0, 1320, 9000, 5000};
    l.grdSourceData = {75, 1350, 100, 100};
    l.grdTargetData = {75, 2670, 100, 100};
    l.grdFieldMappings = {120, 930, 100, 100};
    l.picSampleButtons = {0, 360, 2805, 555};
    l.statusBar = {0, clientHeight - 315, clientWidth, 315};
    l.panelLeft = clientWidth - 3000;
    l.panelWidth = panelWidth;
    l.progressBar = {1, 2, 3, 4};
    return l;
}

// A step that would give a negative or not finite size keeps the previous one; the progress
// bar's steps stop at the first that fails. (The window's test follows the stretching.)
TEST(ResizeMe, SkipsOnlyTheStepsThatWouldGoNegativeOrNotFinite) {
    const float inf = std::numeric_limits<float>::infinity();
    const LayoutTw zero = resizeMe(designLayout(10095, 2220));  // negative grids are kept
    EXPECT_EQ(zero.tabTabs.height, 0);
    EXPECT_EQ(box(zero.grdSourceData), (Box{75, 1350, 9895, 100}));
    for (const float width : {40.0f, inf}) {  // the tab width is kept and the grids use it
        const LayoutTw narrow = resizeMe(designLayout(width, 7875));
        EXPECT_EQ(box(narrow.tabTabs), (Box{0, 1320, 9000, 5655}));
        EXPECT_EQ(box(narrow.grdFieldMappings), (Box{120, 930, 8850, 4625}));
        EXPECT_EQ(box(narrow.picSampleButtons), (Box{6145, 360, 2805, 555}));
        EXPECT_EQ(box(narrow.progressBar),  // a position may be negative but must be finite
                  (width == inf ? Box{1, 2, 3, 4} : Box{-2935, 7605, 2955, 240}));
    }
    EXPECT_EQ(box(resizeMe(designLayout(10095, 7875, 44)).progressBar), (Box{7120, 2, 3, 4}));
    EXPECT_EQ(box(resizeMe(designLayout(10095, 7875, 45)).progressBar), (Box{7120, 7605, 0, 240}));
}

class MainWindowTest : public WindowFixture {};

// The real window follows a resize, keeps the bars docked at the bottom and the progress bar
// over the status bar's second panel, and keeps its sizes when the window gets too low.
TEST_F(MainWindowTest, FollowsEveryResizeOfTheClientArea) {
    QWidget* client = window->centralWidget();
    const float pixel = static_cast<float>(twipsPerPixel());
    client->resize(900, 700);
    const RectTw tabs = geometryTw(control("tabTabs"));
    EXPECT_NEAR(tabs.width, toTwips(900) - 50, pixel);
    EXPECT_NEAR(tabs.height, toTwips(700) - 1320 - 1275, pixel);  // above two footer rows
    EXPECT_NEAR(geometryTw(control("grdSourceData")).width, tabs.width - 150, 2 * pixel);
    EXPECT_NEAR(geometryTw(control("grdTargetData")).height,
                tabs.height - MainWindow::TargetGridTop - 100, 2 * pixel);
    EXPECT_NEAR(geometryTw(control("picSampleButtons")).left, tabs.width - 2805 - 50, 2 * pixel);
    EXPECT_EQ(control("SB")->geometry().bottom(), 700 - 1);
    EXPECT_EQ(control("picFooter")->geometry().bottom() + 1, control("SB")->y());
    const QRect bar = ws().PB->geometry();
    EXPECT_NEAR(bar.x(), ws().SB->x() + ws().SB->panelLeft(2) + 25 / 15.0, 2);
    EXPECT_NEAR(bar.width(), ws().SB->panelWidth(2) - 3, 2);
    EXPECT_NEAR(bar.y(), ws().SB->y() + 3, 2);
    const QSize before = control("tabTabs")->size();
    client->resize(900, 100);  // below the tab top plus the bands
    EXPECT_EQ(control("tabTabs")->size(), before);
}

// On every page, at the window's first size and larger, nothing lies off the window or under
// another control; on Target Data with either table tab.
TEST_F(MainWindowTest, EveryControlOfEveryPageIsVisibleAndUncovered) {
    const QSize first = window->size();
    auto* pages = control<QTabWidget>("tabTabs");
    for (const QSize size : {first, QSize(first.width() * 3 / 2, first.height() * 4 / 3)}) {
        window->resize(size);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->size() == size; }));
        QCoreApplication::processEvents();
        for (int page = 0; page < pages->count(); ++page) {
            pages->setCurrentIndex(page);
            const int tableTabs = page == 1 ? 2 : 1;
            for (int tab = 0; tab < tableTabs; ++tab) {
                control<QTabBar>("tsMySQL")->setCurrentIndex(tab);
                // The progress bar lies over the status bar's second panel by design.
                test::expectEveryControlVisibleAndUncovered(window.get(),
                                                            QStringLiteral("%1x%2, %3, tab %4")
                                                                .arg(size.width())
                                                                .arg(size.height())
                                                                .arg(pages->tabText(page))
                                                                .arg(tab)
                                                                .toStdString(),
                                                            {"PB", "SB_panel_2"});
            }
        }
    }
}

// At start only what can be used is enabled, with the prompts the handlers compare against.
// Page changes hide the cell editor and show the sample buttons on the mapping page alone. A
// one-element list leaves a full bar. The close box runs the unload steps, Exit does not.
TEST_F(MainWindowTest, StartsWithThePromptsAndRunsTheUnloadStepsOnClose) {
    EXPECT_EQ(combo("cboAction")->currentText(), "Please Select Action");
    EXPECT_EQ(combo("cboAction")->count(), 7);  // the footer's tests choose each by its text
    for (const char* name : {"cmdSourceConnect", "cboAction", "cboTargetMatch"})
        EXPECT_TRUE(control(name)->isEnabled()) << name;
    for (const char* name :
         {"cmdTargetConnect", "cmdActionGo", "cmdMatchNow", "cmdSampleMove_0", "cmdSampleMove_1"})
        EXPECT_FALSE(control(name)->isEnabled()) << name;
    for (int page : {2, 1, 2, 0}) {
        control("cboSelection")->show();
        control<QTabWidget>("tabTabs")->setCurrentIndex(page);
        EXPECT_EQ(control("picSampleButtons")->isVisible(), page == 2) << page;
        EXPECT_FALSE(control("cboSelection")->isVisible()) << page;
    }
    ws().PB->setMaximumValue(0);
    ws().PB->setCurrentValue(0);
    EXPECT_EQ(ws().PB->value(), ws().PB->maximum());

    // Keys neither type into nor pick from the lists other than the match field's.
    for (const char* name :
         {"cboSourceTable", "cboTargetDatabase", "cboTargetTable", "cboAction"}) {
        QComboBox* list = combo(name);
        list->setEnabled(true);
        list->addItems({"first", "second"});
        list->setCurrentIndex(-1);
        const QString before = list->currentText();
        list->setFocus();
        QTest::keyClicks(list, "abc");
        QTest::keyClick(list, Qt::Key_Down);
        EXPECT_TRUE(list->currentText() == before && list->currentIndex() == -1) << name;
        QSignalSpy picked(list, &QComboBox::activated);
        list->showPopup();
        QAbstractItemView* view = list->view();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window())) << name;
        for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Return, Qt::Key_Enter})
            QTest::keyClick(view, key);
        EXPECT_TRUE(view->isVisible() && picked.count() == 0 && list->currentIndex() == -1) << name;
        QTest::keyClick(view, Qt::Key_Escape);
        EXPECT_FALSE(view->isVisible()) << name;
    }
    QTest::keyClicks(combo("cboTargetMatch")->lineEdit(), "CustomerID");
    EXPECT_EQ(combo("cboTargetMatch")->currentText(), "CustomerID");

    ws().state.gSourceTables = QStringList{"Orders"};
    bool exited = false;
    QObject::connect(window.get(), &shell::MainWindow::exitRequested, [&] { exited = true; });
    control<QAction>("mnuExit")->trigger();
    EXPECT_TRUE(exited);
    window->close();
    EXPECT_EQ(ws().state.gSourceTables, QStringList{"Orders"});
    auto second = std::make_unique<shell::MainWindow>(doubles.platform());
    second->show();
    second->workspace().state.gSourceTables = QStringList{"Orders"};
    second->close();
    EXPECT_TRUE(second->workspace().state.gSourceTables.isEmpty());
}

// Each tick adds five; the twentieth hands over, and later ticks change nothing. The last
// tick here comes from the splash screen's own timer.
TEST(SplashScreen, HandsOverAfterTwentyTicksAndNeverPassesOneHundred) {
    shell::SplashScreen splash;
    splash.show();
    QSignalSpy finished(&splash, &shell::SplashScreen::finished);
    for (int tick = 1; tick <= 19; ++tick) splash.Timer1_Timer();
    EXPECT_EQ(splash.ProgLoad()->value(), 95);
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(finished.wait(5000));
    EXPECT_EQ(splash.ProgLoad()->value(), 100);
    EXPECT_FALSE(splash.isVisible());
    splash.Timer1_Timer();
    EXPECT_EQ(splash.ProgLoad()->value(), 100);
    EXPECT_EQ(finished.count(), 1);
}

}  // namespace
