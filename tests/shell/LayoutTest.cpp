#include <QTabWidget>

#include "shell/LayoutTwips.h"
#include "shell/ui/StatusBar.h"
#include "shell/ui/Twips.h"
#include "support/WindowFixture.h"

using namespace keldara::shell;

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

}  // namespace
