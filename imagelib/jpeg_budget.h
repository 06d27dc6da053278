// A JPEG file that fits a size budget (an upload form's or a mail server's limit): the highest
// quality that fits, and a smaller picture when even a modest quality does not. Everything is
// encoded in memory; the caller writes the bytes found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "imagelib/save.h"
#include "platform/raster.h"

// The qualities searched (libjpeg's scale) and the most encodes one quality search may take.
inline constexpr int kBudgetBestQuality = 100;
inline constexpr int kBudgetLeastQuality = 50;
inline constexpr int kBudgetMaxEncodes = 8;
// A reduction never takes the longer side below this; a budget such a picture does not fit at
// the least quality is refused.
inline constexpr int kBudgetLeastSide = 100;

struct BudgetedJpeg {
    enum class Outcome { Fits, Refused, Failed };
    Outcome outcome = Outcome::Failed;  // Refused: the budget is too small for any picture
    std::vector<uint8_t> bytes;         // the file, when it fits
    int quality = 0;                    // libjpeg quality of `bytes`
    int width = 0, height = 0;          // its pixel size (below the picture's when reduced)
    int encodes = 0;                    // how many encodes it took, reductions included
};

// What the file records for a picture of a given size (its print resolution depends on it).
using BudgetMetadata = std::function<ImageMetadata(int width, int height)>;
// The picture made anew at a smaller pixel size, null without memory. A caller that sharpens
// after the reduction makes it from its unsharpened source and sharpens that.
using BudgetReduce = std::function<std::unique_ptr<raster::Bitmap>(int width, int height)>;

// ---------------------------------------------------------------------------------------------
// Fitting a budget
// ---------------------------------------------------------------------------------------------

// The JPEG of `picture` at the highest quality from 100 down to 50 whose file (metadata
// included) has at most `budget` bytes, found by bisection in at most kBudgetMaxEncodes encodes:
// a quality q is taken only when q fits and q + 1 was encoded and did not (or q is 100). When 50
// does not fit, the picture is reduced (smoothing filter, from the original each time) by the
// square root of budget over size, and 5 % more, and searched again, until it fits; Refused when
// the longer side would drop below kBudgetLeastSide. `reduce`, when set, makes the smaller
// pictures instead of the stretch of `picture`. Failed on memory or encoder errors.
BudgetedJpeg JpegWithinBudget(const raster::Bitmap& picture, size_t budget,
                              const BudgetMetadata& metadata = {}, const BudgetReduce& reduce = {});
