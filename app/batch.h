// The batch export: many pictures through the window's export without a window. Each picture
// gets the frame the window would give it (placed at the top left, centred, or at a given
// point), the adjustments, the cast measured on its preview as the check box does, the output
// size, and is written next to its siblings in the output folder. Two pictures are worked on at
// a time, one per core; at most two are in memory.
#pragma once

#include <cstdio>
#include <string>

#include "app/batch_options.h"
#include "picture/export.h"
#include "picture/pixel_rect.h"

// ---------------------------------------------------------------------------------------------
// One picture
// ---------------------------------------------------------------------------------------------

// The frame of a width x height picture in preview pixels (as the window would hold it) and the
// cut in picture pixels.
struct BatchFrame {
    PixelRect preview;
    PixelRect cut;
};
[[nodiscard]] BatchFrame BatchPlanFrame(int width, int height, const BatchOptions& options);
// The export's pixel work on `picture` with the options, the cast measured first when asked.
[[nodiscard]] ExportResult BatchExportPicture(raster::Bitmap& picture, const BatchOptions& options);
// Where the export of `input` goes: urlaub.jpg gives DIR/urlaub_10x15.jpg (format's short form,
// the output type's extension).
[[nodiscard]] std::string BatchOutputPath(const std::string& input, const BatchOptions& options);

// ---------------------------------------------------------------------------------------------
// The run
// ---------------------------------------------------------------------------------------------

// Exports every file; failures and (unless quiet) progress go to `messages`. Returns 0 when all
// succeeded, 1 when any failed.
int RunBatch(const BatchOptions& options, std::FILE* messages);
// The whole batch command: parse, help or usage error (2), run.
int BatchMain(int argc, const char* const* argv);
