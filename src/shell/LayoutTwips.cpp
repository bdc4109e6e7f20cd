#include "shell/LayoutTwips.h"

#include <cmath>

namespace keldara::shell {

namespace {

// Sets a size when the computed value is a usable one.
bool setSize(float& target, float value) {
    if (!std::isfinite(value) || value < 0) return false;
    target = value;
    return true;
}

// Sets a position when the computed value is finite (positions may be negative).
bool setPosition(float& target, float value) {
    if (!std::isfinite(value)) return false;
    target = value;
    return true;
}

}  // namespace

bool placeProgressBar(LayoutTw& l) {
    if (!l.hasPanel) return false;
    return setPosition(l.progressBar.left, l.panelLeft + 25) &&
           setSize(l.progressBar.width, l.panelWidth - 45) &&
           setPosition(l.progressBar.top, l.statusBar.top + 45) &&
           setSize(l.progressBar.height, l.statusBar.height - 75);
}

LayoutTw resizeMe(LayoutTw l) {
    setSize(l.tabTabs.height, l.clientHeight - l.tabTabs.top - l.bandsBelowTabs);
    setSize(l.tabTabs.width, l.clientWidth - 50);
    setSize(l.grdSourceData.height, l.tabTabs.height - l.grdSourceData.top - 100);
    setSize(l.grdSourceData.width, l.tabTabs.width - 150);
    setSize(l.grdTargetData.height, l.tabTabs.height - l.grdTargetData.top - 100);
    setSize(l.grdTargetData.width, l.tabTabs.width - 150);
    setSize(l.grdFieldMappings.height, l.tabTabs.height - l.grdFieldMappings.top - 100);
    setSize(l.grdFieldMappings.width, l.tabTabs.width - 150);
    placeProgressBar(l);
    setPosition(l.picSampleButtons.left, l.tabTabs.width - l.picSampleButtons.width - 50);
    return l;
}

}  // namespace keldara::shell
