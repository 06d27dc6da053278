// The selection frame over the preview: its ratio, default placement, clamping, mouse drag steps
// and drawing. Works on g_app.selection and g_app.ratio; the arithmetic is in frame.h.
#pragma once

#include <cstdint>

// ---------------------------------------------------------------------------------------------
// Selection frame
// ---------------------------------------------------------------------------------------------

// Ratio for the item selected in the format combo box, upright when `portrait` is 1.
float RatioForFormat(uint8_t portrait);
// keepFrame 0: the largest frame of the format at the top-left corner, oriented like the picture
// (sets the portrait toggle), then clamped. keepFrame 1: only the ratio is re-read from the
// format and the toggle. Nothing without a picture (image 100).
void ResetSelection(uint8_t keepFrame);
// Narrows the frame into the preview (image 101), at least 25 wide, height from the width.
void ClampSelection();
// One pass of mouse handling with the left button `down` at client point (mx, my): starts a drag
// (when a preview exists), or ends it on release, then runs the resize and move steps, each
// repainting the preview.
void SelectionMouseStep(bool down, int mx, int my);
// Draws the frame, its shadow, centre ring and cross, and the resize handle on the open target
// in window client coordinates; first makes the height follow the width.
void DrawSelectionFrame();
