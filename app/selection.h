// The selection frame over the preview: its ratio, default placement, clamping and mouse drag
// steps. Works on g_app.frame; the arithmetic is in frame.h, the painting in framepaint.h.
#pragma once

#include "app/frame.h"
#include "app/settings.h"
#include "picture/pixel_rect.h"

// ---------------------------------------------------------------------------------------------
// Selection frame
// ---------------------------------------------------------------------------------------------

// For a new picture (keepFrame false): the largest frame of the settings' format at the top-left
// corner, oriented like the picture (sets the portrait toggle, and `settings.portrait` with it),
// then clamped. keepFrame true: only the ratio is taken anew from the format and the toggle.
// Nothing without a picture (image 100).
void ResetSelection(bool keepFrame, WindowSettings& settings);
// Narrows the frame into the preview (image 101), at least 25 wide, height from the width.
void ClampSelection();
// Where the frame cuts the picture (image 100), in its pixels: an edge of the frame on the
// preview's edge lies on the picture's (PreviewFrameCut). Empty without picture and preview.
[[nodiscard]] PixelRect SelectionCut();
// One pass of mouse handling with the left button `down` at client point (mx, my): starts a drag
// (when a preview exists), or ends it on release, then runs the resize and move steps. True when
// the preview is to be repainted: the frame changed, or a drag just began.
[[nodiscard]] bool SelectionMouseStep(bool down, int mx, int my);
// Moves the frame by (dx, dy) preview pixels, kept inside the preview as a drag keeps it. True
// when it did (the preview is to be repainted); false without a preview or while a drag is under
// way.
[[nodiscard]] bool NudgeSelection(int dx, int dy);
