// The result view: a window "Ergebnis" that shows exactly the pixels an export would write now,
// from a copy of its own, so that neither the picture nor the history nor the controls change.
#pragma once

#include <memory>
#include <string>

#include "picture/sides.h"
#include "platform/raster.h"

inline constexpr const char* kResultTitle = "Ergebnis";

// ---------------------------------------------------------------------------------------------
// Result view
// ---------------------------------------------------------------------------------------------

// The size at which a width x height result is shown within room x roomHeight device pixels:
// its own where it fits, else the largest of its shape that fits (sides at least 1).
[[nodiscard]] Sides ResultFit(int width, int height, int room, int roomHeight);
// `result` as shown within room x roomHeight device pixels: itself where it fits, else reduced
// with the export's smoothing stretch (OutputResize); null when that cannot be had.
std::unique_ptr<raster::Bitmap> FitResult(std::unique_ptr<raster::Bitmap> result, int room,
                                          int roomHeight);
// The line under the picture: "1800 x 1200 Pixel, 10 x 15 cm: 305 dpi" for a print format
// (item `formatIndex`), "1800 x 1200 Pixel" for the others.
std::string ResultCaption(int formatIndex, int width, int height);
// Makes the export's pixels (ExportPixels, with the output's sharpening) on a thread of their
// own while the windows stay painted, fits them to the screen and shows them in the window
// "Ergebnis" until it is closed. Nothing without a picture; a message when the memory is short.
void ResultViewRequested();
