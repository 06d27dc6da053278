// The preview (image 101), its repaint onto the main window with outline and frame, the status
// line, the five value labels, and the adjustment controls' defaults.
#pragma once

#include <cstdint>
#include <memory>

#include "app/settings.h"
#include "platform/raster.h"

// ---------------------------------------------------------------------------------------------
// Preview and status line
// ---------------------------------------------------------------------------------------------

// Makes image 101 from image 100, at most 480 x 476; nothing without image 100. The next repaint
// first clears the whole preview area, so nothing of an earlier, larger preview stays visible.
// `made`, when given and of the preview's size, is taken as image 101: the stretch of image 100
// made while it loaded.
void BuildPreview(std::unique_ptr<raster::Bitmap> made = nullptr);
// Paints outline, preview and frame onto window 0 and writes the status line, whose tooltip and
// colour tell the print resolution of the format and output size of `settings`; nothing unless
// images 100 and 101 exist.
void RedrawPreview(const WindowSettings& settings);
// Rewrites the five value labels from `settings`, then (with a captured preview) adjusts the
// preview from the captured pixels, removes a measured cast and repaints; while the preview
// shows "before" (view.h) it is adjusted as by the defaults, without the cast.
void ApplyAdjustments(const WindowSettings& settings);
// Track bars to their defaults, no cast, check box cleared, swatch hidden, labels rewritten.
// Returns `settings` with those changes: the controls as they now stand.
WindowSettings ResetAdjustments(WindowSettings settings);
// Writes the five value labels ("Gamma: 100", ...) for the track bars' positions `tone`.
void SetValueLabels(const ToneParams& tone);
// True when the working buffers hold a capture of image 101 at its present size.
[[nodiscard]] bool PreviewCaptured();
