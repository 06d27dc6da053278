#include "imagelib/jpeg_budget.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "imagelib/jpeg_encoder.h"
#include "imagelib/writers.h"

namespace {

using Outcome = BudgetedJpeg::Outcome;

// Searches the qualities for one pixel size. Sets `result` to the best fit and returns Fits, or
// Refused when quality 50 does not fit (then `size` holds that file's size), or Failed.
Outcome SearchQuality(const raster::Bitmap& bm, size_t budget, const BudgetMetadata& metadata,
                      BudgetedJpeg& result, size_t& size) {
    const OwnedEncoderRows converted = EncoderRowsOf(bm);
    const EncoderRows& rows = converted.rows;
    if (!rows.pixels) return Outcome::Failed;
    ImageMetadata md;
    if (metadata) md = metadata(bm.width, bm.height);
    std::vector<uint8_t> file;
    auto encode = [&](int quality) {
        ++result.encodes;
        if (!JpegEncodeToMemory(file, rows.pixels, rows.width, rows.height,
                                static_cast<int>(rows.stride), quality, &md))
            return false;
        size = file.size();
        return true;
    };
    auto keep = [&](int quality) {
        result.bytes.swap(file);
        result.quality = quality;
        result.width = bm.width;
        result.height = bm.height;
    };
    // `fits` always fits (once found), `over` never does.
    int over = kBudgetBestQuality + 1, fits = 0;
    if (!encode(kBudgetBestQuality)) return Outcome::Failed;
    if (size <= budget) {
        keep(kBudgetBestQuality);
        return Outcome::Fits;
    }
    over = kBudgetBestQuality;
    if (!encode(kBudgetLeastQuality)) return Outcome::Failed;
    if (size > budget) return Outcome::Refused;
    fits = kBudgetLeastQuality;
    keep(fits);
    while (over - fits > 1) {
        const int mid = fits + (over - fits) / 2;
        if (!encode(mid)) return Outcome::Failed;
        if (size <= budget) {
            fits = mid;
            keep(fits);
        } else {
            over = mid;
        }
    }
    return Outcome::Fits;
}

}  // namespace

BudgetedJpeg JpegWithinBudget(const raster::Bitmap& picture, size_t budget,
                              const BudgetMetadata& metadata, const BudgetReduce& reduce) {
    BudgetedJpeg result;
    size_t size = 0;
    Outcome outcome = SearchQuality(picture, budget, metadata, result, size);
    int width = picture.width, height = picture.height;
    while (outcome == Outcome::Refused) {
        const int longer = std::max(width, height);
        if (longer <= kBudgetLeastSide) break;
        // Each step by the square root of budget over size, and 5 % more; never below the least
        // side, and always at least one pixel smaller.
        const double factor =
            std::sqrt(static_cast<double>(budget) / static_cast<double>(size)) * 0.95;
        const int target =
            std::clamp(static_cast<int>(std::floor(longer * factor)), kBudgetLeastSide, longer - 1);
        const double scale = static_cast<double>(target) / longer;
        const bool wide = width >= height;
        const int across =
            wide ? target : std::max(1, static_cast<int>(std::lround(width * scale)));
        height = wide ? std::max(1, static_cast<int>(std::lround(height * scale))) : target;
        width = across;
        std::unique_ptr<raster::Bitmap> smaller;
        if (reduce) {
            smaller = reduce(width, height);
        } else {
            smaller = raster::Create(width, height, 24, false, false);
            if (smaller && !raster::Stretch(*smaller, 0, 0, width, height, picture,
                                            raster::StretchMode::Halftone))
                smaller.reset();
        }
        if (!smaller || smaller->width != width || smaller->height != height) {
            outcome = Outcome::Failed;
            break;
        }
        outcome = SearchQuality(*smaller, budget, metadata, result, size);
    }
    result.outcome = outcome;
    if (outcome != Outcome::Fits) result.bytes.clear();
    return result;
}
