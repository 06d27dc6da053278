// The selection frame over the preview: its ratio, default placement, clamping, mouse drag steps
// and drawing. Works on g_app.frame; the arithmetic is in frame.h.
#pragma once

#include <cstdint>

#include "app/frame.h"

// Where the frame is drawn: client point (originX, originY) at the target's (0, 0), `scale`
// target pixels to a client pixel, lines `Line()` target pixels wide. The default is the window's
// client area itself.
struct FrameCanvas {
    double scale = 1;
    int originX = 0;
    int originY = 0;
    int X(int clientX) const { return frame::Nearest((clientX - originX) * scale); }
    int Y(int clientY) const { return frame::Nearest((clientY - originY) * scale); }
    int Size(int pixels) const { return frame::Nearest(pixels * scale); }
    int Line() const { return scale > 1 ? frame::Nearest(scale) : 1; }
};

// ---------------------------------------------------------------------------------------------
// Selection frame
// ---------------------------------------------------------------------------------------------

// Ratio for the item selected in the format combo box, upright when `portrait`.
float RatioForFormat(bool portrait);
// For a new picture (keepFrame false): the largest frame of the format at the top-left corner,
// oriented like the picture (sets the portrait toggle), then clamped. keepFrame true: only the
// ratio is re-read from the format and the toggle. Nothing without a picture (image 100).
void ResetSelection(bool keepFrame);
// Narrows the frame into the preview (image 101), at least 25 wide, height from the width.
void ClampSelection();
// One pass of mouse handling with the left button `down` at client point (mx, my): starts a drag
// (when a preview exists), or ends it on release, then runs the resize and move steps, each
// repainting the preview.
void SelectionMouseStep(bool down, int mx, int my);
// Moves the frame by (dx, dy) preview pixels, kept inside the preview as a drag keeps it, and
// repaints. Nothing without a preview or while a drag is under way.
void NudgeSelection(int dx, int dy);
// Draws the frame, its shadow, centre ring and cross, and the resize handle on the open target
// at the place `canvas` gives; first makes the height follow the width.
void DrawSelectionFrame(const FrameCanvas& canvas = {});
