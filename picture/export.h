// The pixel work of an export: the adjustments committed to the whole picture in place, the
// frame cut out of it and reduced to an output size. The window's export and the batch export
// both run it; what they deliver to (file, clipboard) and how they ask is theirs.
#pragma once

#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>

#include "picture/pixel_rect.h"
#include "picture/sharpen.h"
#include "picture/sides.h"
#include "picture/tone.h"
#include "platform/raster.h"

// An output size: its item text, a short form for the command line, and the length of the
// picture's shorter side (the width of a square one), 0 for no change; or, for a preset that
// bounds the width, the largest width whatever the picture's shape.
struct OutputPreset {
    const char* item;
    const char* shortName;
    int shorterSide;
    bool boundsWidth = false;
};
inline constexpr OutputPreset kOutputPresets[] = {
    {"Originalgrösse", "original", 0},         {"für ebay", "ebay", 600},
    {"für E-Mail (klein)", "mail-klein", 300}, {"für E-Mail (gross)", "mail-gross", 600},
    {"Foto bis 10cm x 15cm", "10x15", 1200},   {"Foto bis 15cm x 20cm", "15x20", 1800},
    {"Foto ganz gross", "gross", 3600},        {"Avatar (Breite 100 Pixel)", "avatar", 100, true},
};
inline constexpr int kOutputPresetCount = 8;
static_assert(std::size(kOutputPresets) == kOutputPresetCount);

// Every exported JPEG file is written at libjpeg quality 100, which the encoder's 0..10 scale
// names 10.
inline constexpr int kExportJpegQuality = 100;
inline constexpr int kExportEncoderQuality = kExportJpegQuality / 10;

// What the pixel work needs besides the picture and the frame.
struct ExportSettings {
    ToneParams tone;
    uint32_t cast = 0;                     // removed after the tone pass when not 0
    int preset = 0;                        // index into kOutputPresets
    Sharpening sharpen = Sharpening::Off;  // applied to the reduced cut
    // Only the rows the cut is made from are adjusted, for a caller that drops the picture
    // afterwards (the batch); the cut's pixels are the same.
    bool cutRowsOnly = false;
};

// The outcome: `adjusted` tells whether the picture was changed (false only when the memory for
// the cut could not be had, and then nothing was touched); `cut` is the reduced cut, null when
// the frame lies outside the picture or the reduction failed; `delivered` is what the delivery
// returned (false when it did not run).
struct ExportResult {
    bool adjusted = false;
    std::unique_ptr<raster::Bitmap> cut;
    bool delivered = false;
};

// Hands the reduced cut on (writes a file, say). It may run on the helper thread while the rest
// of the picture is adjusted: it must touch nothing but the cut and what it writes to.
using ExportDelivery = std::function<bool(const raster::Bitmap& cut)>;

// ---------------------------------------------------------------------------------------------
// Export
// ---------------------------------------------------------------------------------------------

// Adjusts the whole of `picture` in place (tone pass, then the cast when not 0), cuts `frame`
// (picture pixels, clipped to the picture) out of it, reduces the cut by the preset and sharpens
// it as the settings ask (a cut that cannot be sharpened for want of memory counts as not made);
// then, when `deliver` is set, hands the reduced cut to it. The memory for the result is taken
// before the picture is touched. The rows of the cut are adjusted first, so that the delivery can
// run on the helper thread while the other rows are adjusted: the pixels are those of adjusting the
// whole picture, then cutting and reducing. `progress` follows the rows adjusted, 0 to 99, on
// the calling thread.
ExportResult ExportPicture(raster::Bitmap& picture, const PixelRect& frame,
                           const ExportSettings& settings, const ToneProgress& progress = {},
                           const ExportDelivery& deliver = {});
// The pixels ExportPicture would deliver for `frame`, made without touching `picture`: the cut
// adjusted, reduced by the preset (or to width x height when both are given, a size budget's
// reduction) and sharpened. Null when the frame lies outside the picture or memory is short.
std::unique_ptr<raster::Bitmap> ExportCut(const raster::Bitmap& picture, const PixelRect& frame,
                                          const ExportSettings& settings, int width = 0,
                                          int height = 0);
// The reduction: `cut` stretched with the smoothing filter onto the whole of `reduced`, which
// has the preset's size (OutputSizeFor). False when the stretch cannot be done.
bool OutputResize(const raster::Bitmap& cut, raster::Bitmap& reduced);
// ---------------------------------------------------------------------------------------------
// Sizes
// ---------------------------------------------------------------------------------------------

// The size of a width x height picture under preset `index`; none when it keeps its size (index 0
// or out of range, or the shorter side already within the preset).
[[nodiscard]] std::optional<Sides> OutputSizeFor(int index, int width, int height);
// A frame in preview pixels as picture pixels: each of left, top, width, height times `factor`,
// rounded separately to the nearest integer (halves to even).
PixelRect FrameToPicture(const PixelRect& frame, float factor);
// The largest frame of `ratio` (height over width) in a width x height picture, at (0, 0): the
// whole width when the height rounded from it fits, else the whole height. Empty for an empty
// picture or a ratio that is not positive.
PixelRect LargestFrame(int width, int height, float ratio);
// A frame shown on a preview of a picture, with the sizes of both and the frame's ratio.
struct PreviewFrame {
    PixelRect frame;  // preview pixels
    float ratio;      // the frame's height over its width
    int previewWidth, previewHeight;
    int pictureWidth, pictureHeight;
};
// Where the frame cuts the picture. The preview's sides are rounded and its shape not quite the
// picture's, so scaling alone (FrameToPicture, by pictureWidth / previewWidth) leaves strips at
// the edges; instead an edge of the frame on an edge of the preview lies on the picture's edge:
// - a frame from one side of the preview to the other (left or top 0, the far edge reached) is
//   the largest frame of its ratio in the picture;
// - a frame at the left or top is cut from the picture's left or top; one whose right or bottom
//   edge reaches the preview's is cut flush with the picture's right or bottom edge.
// The bottom edge counts as reached also when one more pixel of width would carry it past (the
// frame the clamp stopped there). Any other frame is scaled; a cut rounded past the picture is
// moved back inside, keeping its size. Empty when there is no picture or preview.
PixelRect PreviewFrameCut(const PreviewFrame& shown);
// `frame` clipped to a width x height picture; empty (width 0) when nothing is left.
PixelRect ClipToPicture(const PixelRect& frame, int width, int height);

// ---------------------------------------------------------------------------------------------
// Print resolution
// ---------------------------------------------------------------------------------------------

// The size of the picture an export of `cut` (picture pixels) delivers from a pictureWidth x
// pictureHeight picture: the clipped cut, reduced by `preset`.
[[nodiscard]] Sides ExportSize(const PixelRect& cut, int pictureWidth, int pictureHeight,
                               int preset);
