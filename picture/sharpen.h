// Output sharpening: an unsharp mask on the lightness of a reduced picture, so that a photo
// brought down to a few hundred or thousand pixels looks as crisp as it did on screen. Pure
// integer arithmetic, shared between the two cores row by row: the same pixels either way.
#pragma once

#include "platform/raster.h"

enum class Sharpening { Off, Screen, Print };

// One strength. The blur is a separable kernel of `taps` integer weights summing to 64 (a
// Gaussian of the given radius, rounded); `amount` in percent of the difference to the blur;
// differences up to `threshold` levels of lightness are left alone (and that much is taken off
// larger ones, so that the mask sets in smoothly); the result stays within the 3 x 3
// neighbourhood's lightness range widened by `haloPercent` of that range.
struct SharpenParams {
    int taps;         // 3 or 5
    int weights[5];   // the first `taps` are used, symmetric, summing to 64
    int amount;       // percent
    int threshold;    // levels of lightness, 0..255
    int haloPercent;  // percent of the local range an edge may overshoot by
};

// ---------------------------------------------------------------------------------------------
// Sharpening
// ---------------------------------------------------------------------------------------------

// The strength of `kind`: Screen radius 0.6 px, 60 %, threshold 2; Print radius 1.0 px, 100 %,
// threshold 3. Off has amount 0.
SharpenParams SharpenParamsFor(Sharpening kind);
// Sharpens `bitmap` (24 or 32 bits per pixel) in place: the lightness L = (77 R + 150 G + 29 B
// + 128) / 256 is masked and the same change added to red, green and blue (clamped to 0..255),
// so hues do not fringe and grey stays grey. Rows beyond the edges repeat the edge row. Off, or
// a bitmap smaller than 3 x 3, leaves every byte as it was. False when the working memory
// cannot be had or the depth is another (the bitmap is then untouched).
bool SharpenBitmap(raster::Bitmap& bitmap, Sharpening kind);
bool SharpenBitmap(raster::Bitmap& bitmap, const SharpenParams& params);
