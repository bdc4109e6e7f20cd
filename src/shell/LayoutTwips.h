#pragma once

namespace keldara::shell {

// Window layout arithmetic in twips, single precision, free of any widget so that it can be
// checked with plain numbers.
struct RectTw {
    float left = 0;
    float top = 0;
    float width = 0;
    float height = 0;
};

struct LayoutTw {
    float clientWidth = 0;
    float clientHeight = 0;
    RectTw tabTabs;  // top stays at its design value
    // What lies below the tab control: the footer and the status bar, and the gap above them.
    float bandsBelowTabs = 900;
    RectTw grdSourceData;  // tops are design positions inside the tab control
    RectTw grdTargetData;
    RectTw grdFieldMappings;
    RectTw picSampleButtons;
    RectTw statusBar;      // SB, docked at the bottom
    bool hasPanel = true;  // whether the status bar has the panel the progress bar covers
    float panelLeft = 0;   // that panel's left, from the status bar's left edge
    float panelWidth = 0;
    RectTw progressBar;  // PB
};

// Stretches the tab control and the grids to the client area, keeps the sample buttons at
// the right edge and lays the progress bar over its panel. Every step is guarded on its
// own: a step whose result is negative or not finite is skipped and its control keeps its
// previous value; the progress-bar placement stops at its first failing step.
LayoutTw resizeMe(LayoutTw layout);

// The progress-bar part of the layout alone; false when a step failed.
bool placeProgressBar(LayoutTw& layout);

}  // namespace keldara::shell
