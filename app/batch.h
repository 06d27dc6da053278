// The batch export: many pictures through the window's export without a window. Each picture
// gets the frame the window would give it (placed at the top left, centred, or at a given
// point), the adjustments, the cast measured on its preview as the check box does, the output
// size, and is written next to its siblings in the output folder. Two pictures are worked on at
// a time, one per core; at most two are in memory.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/batch_options.h"
#include "picture/export.h"
#include "picture/pixel_rect.h"

// ---------------------------------------------------------------------------------------------
// One picture
// ---------------------------------------------------------------------------------------------

// The frame of a width x height picture: the cut in picture pixels (the largest frame of the
// format, placed as asked) and in preview pixels where the window would show it. At the top left
// the cut is what the window cuts for a new picture's frame.
struct BatchFrame {
    PixelRect preview;
    PixelRect cut;
};
[[nodiscard]] BatchFrame BatchPlanFrame(int width, int height, const BatchOptions& options);
// The export's pixel work on `picture` with the options, the cast measured first when asked. Only
// the rows the cut is made from are adjusted: the picture is spent.
[[nodiscard]] ExportResult BatchExportPicture(raster::Bitmap& picture, const BatchOptions& options);
// The picture turned, mirrored and straightened as the options say, with the same pixels as the
// window's edits made in that order: the exact turns and mirror first, then one straightening.
// The picture itself when they ask for nothing; null when the memory cannot be had.
[[nodiscard]] std::unique_ptr<raster::Bitmap> BatchOrientPicture(
    std::unique_ptr<raster::Bitmap> picture, const BatchOptions& options);
// Where the exports of `inputs` go, one name each: urlaub.jpg gives DIR/urlaub_10x15.jpg
// (format's short form, the output type's extension); a name already given to an earlier input
// of the list takes a number, urlaub_10x15-2.jpg, -3, and so on. The same list always gets the
// same names.
[[nodiscard]] std::vector<std::string> BatchOutputPaths(const std::vector<std::string>& inputs,
                                                        const BatchOptions& options);

// ---------------------------------------------------------------------------------------------
// The run
// ---------------------------------------------------------------------------------------------

// Makes the output folder (with its parents) and exports every file. An output that exists
// already is skipped unless the options say overwrite. Failures, skips and progress (the last
// two unless quiet) go to `messages`, and always a closing count: "3 geschrieben,
// 1 übersprungen, 0 fehlgeschlagen". Returns 1 when any file failed, else 0.
int RunBatch(const BatchOptions& options, std::FILE* messages);
// The whole batch command: parse, help or usage error (2), run.
int BatchMain(int argc, const char* const* argv);
