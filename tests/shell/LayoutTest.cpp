#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>

#include "shell/LayoutTwips.h"
#include "shell/ui/StatusBar.h"
#include "shell/ui/Twips.h"
#include "support/WindowFixture.h"

using namespace keldara::shell;

namespace {

// The layout as the window holds it before a resize: design tops, some previous sizes.
LayoutTw designLayout(float clientWidth, float clientHeight) {
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
    l.panelWidth = 3000;
    l.progressBar = {1, 2, 3, 4};
    return l;
}

TEST(ResizeMe, StretchesEverythingToTheDesignClientArea) {
    const LayoutTw l = resizeMe(designLayout(10095, 7875));
    EXPECT_FLOAT_EQ(l.tabTabs.width, 10045);
    EXPECT_FLOAT_EQ(l.tabTabs.height, 5655);
    EXPECT_FLOAT_EQ(l.tabTabs.top, 1320);
    EXPECT_FLOAT_EQ(l.grdSourceData.width, 9895);
    EXPECT_FLOAT_EQ(l.grdSourceData.height, 4205);
    EXPECT_FLOAT_EQ(l.grdTargetData.width, 9895);
    EXPECT_FLOAT_EQ(l.grdTargetData.height, 2885);
    EXPECT_FLOAT_EQ(l.grdFieldMappings.width, 9895);
    EXPECT_FLOAT_EQ(l.grdFieldMappings.height, 4625);
    EXPECT_FLOAT_EQ(l.picSampleButtons.left, 7190);
    EXPECT_FLOAT_EQ(l.progressBar.left, 10095 - 3000 + 25);
    EXPECT_FLOAT_EQ(l.progressBar.width, 3000 - 45);
    EXPECT_FLOAT_EQ(l.progressBar.top, 7875 - 315 + 45);
    EXPECT_FLOAT_EQ(l.progressBar.height, 315 - 75);
}

TEST(ResizeMe, ALowClientKeepsTheTabHeightAndTheGridsUseIt) {
    const LayoutTw l = resizeMe(designLayout(10095, 2219));
    EXPECT_FLOAT_EQ(l.tabTabs.height, 5000) << "step 1 failed: previous height kept";
    EXPECT_FLOAT_EQ(l.tabTabs.width, 10045);
    EXPECT_FLOAT_EQ(l.grdSourceData.height, 5000 - 1350 - 100);
    EXPECT_FLOAT_EQ(l.grdTargetData.height, 5000 - 2670 - 100);
    EXPECT_FLOAT_EQ(l.grdFieldMappings.height, 5000 - 930 - 100);

    const LayoutTw exact = resizeMe(designLayout(10095, 2220));
    EXPECT_FLOAT_EQ(exact.tabTabs.height, 0);
    EXPECT_FLOAT_EQ(exact.grdSourceData.height, 100) << "negative: previous kept";
}

TEST(ResizeMe, ANarrowClientSkipsOnlyTheStepsThatWouldGoNegative) {
    const LayoutTw l = resizeMe(designLayout(40, 7875));
    EXPECT_FLOAT_EQ(l.tabTabs.width, 9000);
    EXPECT_FLOAT_EQ(l.grdSourceData.width, 8850) << "computed from the kept tab width";
    EXPECT_FLOAT_EQ(l.tabTabs.height, 5655);
    EXPECT_FLOAT_EQ(l.picSampleButtons.left, 9000 - 2805 - 50);
}

TEST(ResizeMe, ANarrowPanelStopsTheProgressBarAtItsWidth) {
    LayoutTw before = designLayout(10095, 7875);
    before.panelWidth = 44;
    const LayoutTw l = resizeMe(before);
    EXPECT_FLOAT_EQ(l.progressBar.left, before.panelLeft + 25) << "step 5 still done";
    EXPECT_FLOAT_EQ(l.progressBar.width, 3);
    EXPECT_FLOAT_EQ(l.progressBar.top, 2);
    EXPECT_FLOAT_EQ(l.progressBar.height, 4);
    EXPECT_FLOAT_EQ(l.picSampleButtons.left, 7190) << "the layout goes on after it";

    before.panelWidth = 45;
    EXPECT_FLOAT_EQ(resizeMe(before).progressBar.width, 0);
}

TEST(ResizeMe, OverflowIsSkippedLikeANegativeSize) {
    LayoutTw before = designLayout(3.0e38f, 7875);
    before.clientWidth = std::numeric_limits<float>::infinity();
    const LayoutTw l = resizeMe(before);
    EXPECT_FLOAT_EQ(l.tabTabs.width, 9000);
    EXPECT_FLOAT_EQ(l.tabTabs.height, 5655);
}

class WindowLayout : public keldara::test::WindowFixture {};

TEST_F(WindowLayout, FollowsEveryResizeOfTheClientArea) {
    QWidget* client = window->centralWidget();
    for (const QSize size : {QSize(673, 525), QSize(900, 700), QSize(640, 420)}) {
        client->resize(size);
        const float w = toTwips(size.width());
        const float h = toTwips(size.height());
        const RectTw tabs = geometryTw(control("tabTabs"));
        const float pixel = static_cast<float>(twipsPerPixel());
        EXPECT_NEAR(tabs.width, w - 50, pixel);
        EXPECT_NEAR(tabs.height, h - 1320 - 900, pixel);
        EXPECT_NEAR(geometryTw(control("grdSourceData")).width, tabs.width - 150, 2 * pixel);
        EXPECT_NEAR(geometryTw(control("grdSourceData")).height, tabs.height - 1350 - 100,
                    2 * pixel);
        EXPECT_NEAR(geometryTw(control("grdTargetData")).height, tabs.height - 2670 - 100,
                    2 * pixel);
        EXPECT_NEAR(geometryTw(control("grdFieldMappings")).height, tabs.height - 930 - 100,
                    2 * pixel);
        EXPECT_NEAR(geometryTw(control("picSampleButtons")).left, tabs.width - 2805 - 50,
                    2 * pixel);
        // The status bar and the footer stay docked at the bottom.
        EXPECT_EQ(control("SB")->geometry().bottom(), size.height() - 1);
        EXPECT_EQ(control("picFooter")->geometry().bottom() + 1, control("SB")->y());
    }
}

TEST_F(WindowLayout, ATinyWindowKeepsThePreviousSizes) {
    QWidget* client = window->centralWidget();
    client->resize(673, 525);
    const QSize before = control("tabTabs")->size();
    client->resize(673, 100);  // below the tab top plus the bands
    EXPECT_EQ(control("tabTabs")->height(), before.height());
}

}  // namespace
