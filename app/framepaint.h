// The painting shared by the preview on the window and its copy at device resolution: the area
// both may cover, and the selection frame drawn over the preview.
#pragma once

#include "app/frame.h"

// Inside of group frame 0 (client 10,10 490 x 490) less its one-pixel border: the area the
// preview, its outline and the frame may cover.
constexpr int kPreviewAreaX = 11;
constexpr int kPreviewAreaY = 11;
constexpr int kPreviewAreaWidth = 488;
constexpr int kPreviewAreaHeight = 488;

// ---------------------------------------------------------------------------------------------
// Frame painting
// ---------------------------------------------------------------------------------------------

// Draws the frame `sel` at `ratio`, its shadow, centre ring and cross, and the resize handle on
// the open target at the place `canvas` gives; first makes the height follow the width.
void DrawSelectionFrame(Selection& sel, float ratio, const frame::FrameCanvas& canvas = {});
// Draws dotted light lines at the thirds of the frame `sel`, inside its outline, at the place
// `canvas` gives: one target pixel on, one off, each `canvas.Line()` pixels wide and long.
void DrawThirds(const Selection& sel, const frame::FrameCanvas& canvas = {});
