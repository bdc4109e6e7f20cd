#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include "shell/LayoutTwips.h"
#include "shell/ui/StatusBar.h"
#include "shell/ui/Twips.h"
#include "shell/window/ui/SplashScreen.h"
#include "support/WindowFixture.h"

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

// Each step stretches one size to the client area, or keeps the previous one where its result
// would be negative or not finite; the progress bar's steps stop at the first that fails. (The
// window's test below follows the stretching itself.)
TEST(ResizeMe, SkipsOnlyTheStepsThatWouldGoNegativeOrNotFinite) {
    const float inf = std::numeric_limits<float>::infinity();
    const LayoutTw low = resizeMe(designLayout(10095, 2219));  // the tab height is kept
    EXPECT_EQ(box(low.tabTabs), (Box{0, 1320, 10045, 5000}));
    EXPECT_EQ(box(low.grdTargetData), (Box{75, 2670, 9895, 2230}));
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

class WindowLayout : public keldara::test::WindowFixture {};

// The real window follows every resize, keeps the bars docked at the bottom and the progress
// bar over the status bar's second panel, and keeps its sizes when the window gets too low.
TEST_F(WindowLayout, FollowsEveryResizeOfTheClientArea) {
    QWidget* client = window->centralWidget();
    const float pixel = static_cast<float>(twipsPerPixel());
    const auto near = [&](const char* name, float RectTw::*side, float expected) {
        EXPECT_NEAR(geometryTw(control(name)).*side, expected, 2 * pixel) << name;
    };
    for (const QSize size : {QSize(673, 525), QSize(900, 700), QSize(640, 420)}) {
        client->resize(size);
        const RectTw tabs = geometryTw(control("tabTabs"));
        EXPECT_NEAR(tabs.width, toTwips(size.width()) - 50, pixel);
        EXPECT_NEAR(tabs.height, toTwips(size.height()) - 1320 - 900, pixel);
        near("grdSourceData", &RectTw::width, tabs.width - 150);
        near("grdSourceData", &RectTw::height, tabs.height - 1350 - 100);
        near("grdTargetData", &RectTw::height, tabs.height - 2670 - 100);
        near("grdFieldMappings", &RectTw::height, tabs.height - 930 - 100);
        near("picSampleButtons", &RectTw::left, tabs.width - 2805 - 50);
        EXPECT_EQ(control("SB")->geometry().bottom(), size.height() - 1);
        EXPECT_EQ(control("picFooter")->geometry().bottom() + 1, control("SB")->y());
        const QRect bar = ws().PB->geometry();
        const QRect status = ws().SB->geometry();
        EXPECT_NEAR(bar.x(), status.x() + ws().SB->panelLeft(2) + 25 / 15.0, 2);
        EXPECT_NEAR(bar.width(), ws().SB->panelWidth(2) - 3, 2);
        EXPECT_NEAR(bar.y(), status.y() + 3, 2);
    }
    const QSize before = control("tabTabs")->size();
    client->resize(640, 100);  // below the tab top plus the bands
    EXPECT_EQ(control("tabTabs")->size(), before);
}

class MainWindowAfterLoad : public WindowFixture {};

// What the user meets at start: the prompts the handlers later compare against, the three
// actions with none chosen, and only the controls that can be used yet.
TEST_F(MainWindowAfterLoad, ShowsThePromptsAndEnablesOnlyWhatCanBeUsedYet) {
    EXPECT_EQ(control<QTabWidget>("tabTabs")->currentIndex(), 0);
    const std::pair<const char*, const char*> prompts[] = {
        {"cboSourceTable", "Select Source Data"},
        {"cboTargetTable", "Select Target Profile"},
        {"cboAction", "Please Select Action"},
        {"cboTargetDatabase", ""},
        {"cboTargetMatch", ""}};
    for (const auto& [name, text] : prompts) EXPECT_EQ(combo(name)->currentText(), text) << name;
    EXPECT_EQ(textBox("txtTargetPort")->text(), "3306");
    EXPECT_EQ(textBox("txtSourceFilePassword")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(combo("cboAction")->count(), 3);  // the footer's tests choose each by its text
    EXPECT_EQ(combo("cboAction")->currentIndex(), -1);
    for (const char* name :
         {"txtSourceFileName", "cmdSourceBrowse", "cmdSourceConnect", "txtSourceFilePassword",
          "txtTargetServer", "cboAction", "cboTargetMatch"})
        EXPECT_TRUE(control(name)->isEnabled()) << name;
    for (const char* name : {"cboSourceTable", "cmdSourceClose", "fraSource", "cmdTargetConnect",
                             "cmdTargetClose", "cboTargetDatabase", "cboTargetTable", "fraTarget",
                             "cmdActionGo", "cmdMatchNow", "cmdSampleMove_0", "cmdSampleMove_1"})
        EXPECT_FALSE(control(name)->isEnabled()) << name;
    for (const char* name : {"cmdNewTable", "picSampleButtons", "cboSelection"})
        EXPECT_FALSE(control(name)->isVisible()) << name;
    EXPECT_TRUE(control<QCheckBox>("chkAutoMatch")->isChecked());
    EXPECT_EQ(control<QTableWidget>("grdFieldMappings")->rowCount(), 0);
}

TEST_F(MainWindowAfterLoad, TypingChangesOnlyTheMatchFieldList) {
    for (const char* name :
         {"cboSourceTable", "cboTargetDatabase", "cboTargetTable", "cboAction"}) {
        QComboBox* list = combo(name);
        list->setEnabled(true);
        const QString before = list->currentText();
        list->setFocus();
        QTest::keyClicks(list, "abc");
        QTest::keyClick(list, Qt::Key_Backspace);
        QTest::keyClick(list->lineEdit(), Qt::Key_Down);
        QTest::keyClicks(list->lineEdit(), "xyz");
        EXPECT_EQ(list->currentText(), before) << name;
        EXPECT_EQ(list->currentIndex(), -1) << name;

        // Nor do keys pick an entry from the open drop-down list; Escape closes it.
        list->addItems({"first", "second"});
        list->setCurrentIndex(-1);
        QSignalSpy picked(list, &QComboBox::activated);
        list->showPopup();
        QAbstractItemView* view = list->view();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window())) << name;
        for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Return, Qt::Key_Down, Qt::Key_Enter})
            QTest::keyClick(view, key);
        EXPECT_TRUE(view->isVisible()) << name;
        EXPECT_EQ(picked.count(), 0) << name;
        EXPECT_EQ(list->currentIndex(), -1) << name;
        QTest::keyClick(view, Qt::Key_Escape);
        EXPECT_FALSE(view->isVisible()) << name;
    }
    QComboBox* match = combo("cboTargetMatch");
    QTest::keyClicks(match->lineEdit(), "CustomerID");
    EXPECT_EQ(match->currentText(), "CustomerID");
}

TEST_F(MainWindowAfterLoad, PageChangesShowSampleButtonsOnlyOnTheMappingPage) {
    auto* tabs = control<QTabWidget>("tabTabs");
    QWidget* editor = control("cboSelection");
    for (int page : {2, 1, 2, 0, 2}) {
        editor->show();
        tabs->setCurrentIndex(page);
        EXPECT_EQ(control("picSampleButtons")->isVisible(), page == 2) << page;
        EXPECT_FALSE(editor->isVisible()) << page;
    }
}

// A one-element list (maximum 0) leaves a full bar; the bar keeps its value under new texts.
TEST_F(MainWindowAfterLoad, StatusTextAndProgressStayUntilReplaced) {
    shell::ProgressBar* bar = ws().PB;
    bar->setMaximumValue(0);
    bar->setCurrentValue(0);
    EXPECT_EQ(bar->value(), bar->maximum());
    bar->setMaximumValue(4);
    bar->setCurrentValue(4);
    window->SetStatusText("Settings Saved");
    EXPECT_EQ(bar->currentValue(), 4);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(ws().SB->panelText(1), "Settings Saved");
}

TEST_F(MainWindowAfterLoad, CloseBoxRunsTheUnloadStepsButExitDoesNot) {
    ws().state.gSourceTables = QStringList{"Orders"};
    bool exited = false;
    QObject::connect(window.get(), &shell::MainWindow::exitRequested, [&] { exited = true; });
    control<QAction>("mnuExit")->trigger();
    EXPECT_TRUE(exited);
    window->close();  // after Exit the window goes without its unload steps
    EXPECT_EQ(ws().state.gSourceTables, QStringList{"Orders"});

    auto second = std::make_unique<shell::MainWindow>(doubles.platform());
    second->show();
    second->workspace().state.gSourceTables = QStringList{"Orders"};
    second->workspace().state.gTargetFieldTypes = {0, 200};
    second->close();
    EXPECT_TRUE(second->workspace().state.gSourceTables.isEmpty());
    EXPECT_TRUE(second->workspace().state.gTargetFieldTypes.isEmpty());
}

// Each tick adds five; the twentieth hands over, and later ticks change nothing. The last
// tick here comes from the splash screen's own timer.
TEST(SplashScreen, HandsOverAfterTwentyTicksAndNeverPassesOneHundred) {
    shell::SplashScreen splash;
    splash.show();
    QSignalSpy finished(&splash, &shell::SplashScreen::finished);
    for (int tick = 1; tick <= 19; ++tick) {
        splash.Timer1_Timer();
        EXPECT_EQ(splash.ProgLoad()->value(), 5 * tick);
    }
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(finished.wait(5000));
    EXPECT_EQ(splash.ProgLoad()->value(), 100);
    EXPECT_FALSE(splash.isVisible());
    splash.Timer1_Timer();
    EXPECT_EQ(splash.ProgLoad()->value(), 100);
    EXPECT_EQ(finished.count(), 1);
}

}  // namespace
