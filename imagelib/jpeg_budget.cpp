#include "imagelib/jpeg_budget.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "imagelib/jpeg_encoder.h"
#include "imagelib/writers.h"
#include "platform/helper_thread.h"

namespace {

using Outcome = BudgetedJpeg::Outcome;

// Pictures of at least this many rows start the search from a prediction: a sample of bands of
// their rows, about one row in kSampleEvery, encoded small, says where the full file will fit.
constexpr int kPredictRows = 1024;
constexpr int kSampleBand = 16;  // rows; a multiple of the encoder's blocks
constexpr int kSampleEvery = 16;

// The quality the sample predicts to fit: the highest from 50 to 100 whose sample file, scaled
// to the picture's rows, fits (50 when none does). -1 when the sample cannot be encoded.
int PredictQuality(const EncoderRows& rows, size_t budget, const ImageMetadata& md) {
    const int bands = rows.height / (kSampleBand * kSampleEvery);
    const int sampled = bands * kSampleBand;
    std::unique_ptr<uint8_t[]> sample(new (std::nothrow) uint8_t[rows.stride * sampled]);
    if (!sample) return -1;
    for (int b = 0; b < bands; ++b) {
        // Each band from the middle of its stretch of the picture.
        const int top = b * rows.height / bands + (rows.height / bands - kSampleBand) / 2;
        std::memcpy(sample.get() + rows.stride * b * kSampleBand, rows.pixels + rows.stride * top,
                    rows.stride * kSampleBand);
    }
    // The file's fixed part (markers, tables, the metadata) does not grow with the rows.
    std::vector<uint8_t> file, header;
    if (!JpegEncodeToMemory(header, sample.get(), rows.width, kSampleBand,
                            static_cast<int>(rows.stride), kBudgetLeastQuality, &md))
        return -1;
    const double scale = static_cast<double>(rows.height) / sampled;
    auto fits = [&](int quality) {
        if (!JpegEncodeToMemory(file, sample.get(), rows.width, sampled,
                                static_cast<int>(rows.stride), quality, &md))
            return false;
        const double fixed = static_cast<double>(header.size()) / 2;
        return fixed + (static_cast<double>(file.size()) - fixed) * scale <=
               static_cast<double>(budget);
    };
    int low = kBudgetLeastQuality, high = kBudgetBestQuality + 1;  // low fits or is the floor
    while (high - low > 1) {
        const int mid = low + (high - low) / 2;
        (fits(mid) ? low : high) = mid;
    }
    return low;
}

// The encodes a bisection takes to settle `span` qualities apart (the open interval between a
// fitting quality and one over).
int BisectionSteps(int span) {
    int steps = 0;
    while ((1 << steps) < span)
        ++steps;
    return steps;
}

// Searches the qualities for one pixel size. Sets `result` to the best fit and returns Fits, or
// Refused when quality 50 does not fit (then `size` holds that file's size), or Failed.
Outcome SearchQuality(const raster::Bitmap& bm, size_t budget, const BudgetMetadata& metadata,
                      BudgetedJpeg& result, size_t& size) {
    const OwnedEncoderRows converted = EncoderRowsOf(bm);
    const EncoderRows& rows = converted.rows;
    if (!rows.pixels) return Outcome::Failed;
    ImageMetadata md;
    if (metadata) md = metadata(bm.width, bm.height);
    // The sizes of the files encoded, by quality, and the best fitting file so far.
    size_t sizes[kBudgetBestQuality + 1] = {};
    std::vector<uint8_t> files[2];
    auto encode = [&](int quality, std::vector<uint8_t>& file) {
        if (!JpegEncodeToMemory(file, rows.pixels, rows.width, rows.height,
                                static_cast<int>(rows.stride), quality, &md))
            return false;
        sizes[quality] = file.size();
        return true;
    };
    // `fit` fits (49 until one is found), `over` does not (101 until one is found), and
    // fit < over: what lies between is searched.
    int fit = kBudgetLeastQuality - 1, over = kBudgetBestQuality + 1;
    auto note = [&](int quality, std::vector<uint8_t>& file) {
        ++result.encodes;
        if (sizes[quality] > budget) {
            over = std::min(over, quality);
        } else if (quality > fit) {
            fit = quality;
            result.bytes.swap(file);
        }
    };
    auto step = [&](int quality) {
        if (!encode(quality, files[0])) return false;
        note(quality, files[0]);
        return true;
    };

    const int predicted =
        rows.height >= kPredictRows ? PredictQuality(rows, budget, md) : kBudgetBestQuality;
    if (predicted < 0) return Outcome::Failed;
    if (predicted < kBudgetBestQuality) {
        // The predicted quality and the next one at once, on both cores: when the prediction
        // is right, that settles it; else the search goes on from there.
        helper::Job next;
        bool nextDone = false;
        const bool aside = next.Start([&] { nextDone = encode(predicted + 1, files[1]); });
        const bool done = encode(predicted, files[0]);
        next.Wait();
        if (!aside) nextDone = encode(predicted + 1, files[1]);
        if (!done || !nextDone) return Outcome::Failed;
        note(predicted, files[0]);
        note(predicted + 1, files[1]);
        // Sizes that do not grow with the quality: the search keeps below the lower over.
        if (fit > over) fit = kBudgetLeastQuality - 1;
        // A prediction one quality off is the common miss: the quality beyond the pair next,
        // when the bisection after it stays within the encodes allowed whatever it shows.
        const int beyond = fit == predicted + 1 ? fit + 1 : over == predicted ? over - 1 : -1;
        if (beyond > fit && beyond < over &&
            result.encodes + 1 +
                    std::max(BisectionSteps(over - beyond), BisectionSteps(beyond - fit)) <=
                kBudgetMaxEncodes &&
            !step(beyond))
            return Outcome::Failed;
    } else {
        // Without a prediction the ends come first: the best quality, then the least.
        if (!step(kBudgetBestQuality)) return Outcome::Failed;
        if (over == kBudgetBestQuality && !step(kBudgetLeastQuality)) return Outcome::Failed;
    }
    while (over - fit > 1)
        if (!step(fit + (over - fit) / 2)) return Outcome::Failed;
    if (fit < kBudgetLeastQuality) {
        // Then the least quality was encoded, and was over.
        size = sizes[kBudgetLeastQuality];
        return Outcome::Refused;
    }
    result.quality = fit;
    result.width = bm.width;
    result.height = bm.height;
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
