// Files that fit a size budget, over noise pictures of both depths: the quality found is the
// highest that fits (the next one up is encoded to check), a tight budget reduces the picture,
// an impossible one is refused, and the memory encoder writes what the file encoder writes.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imagelib/jpeg_budget.h"
#include "imagelib/jpeg_encoder.h"
#include "imagelib/writers.h"
#include "load_fixtures.h"
#include "platform/raster.h"
#include "tests/picture/noise.h"

namespace {

using Bytes = std::vector<uint8_t>;

size_t SizeAt(const raster::Bitmap& bm, int quality, const ImageMetadata* md = nullptr) {
    const OwnedEncoderRows rows = EncoderRowsOf(bm);
    Bytes out;
    EXPECT_TRUE(JpegEncodeToMemory(out, rows.rows.pixels, rows.rows.width, rows.rows.height,
                                   static_cast<int>(rows.rows.stride), quality, md));
    return out.size();
}

// Budgets between the sizes of chosen qualities: the quality found fits, and one more does not;
// so too when the search starts from a prediction.
TEST(JpegBudget, HighestQualityThatFits) {
    // The tall one is searched from a prediction.
    const std::unique_ptr<raster::Bitmap> pictures[] = {Noise(640, 427), Noise(500, 500, 32),
                                                        Noise(700, 1100, 32)};
    for (const auto& picture : pictures) {
        // The budget is a quality's size plus some bytes: that quality at least fits when none
        // are taken off.
        const std::pair<int, long> budgets[] = {{100, 0}, {100, 5000}, {100, -1}, {93, 0}, {80, 10},
                                                {71, 0},  {64, -1},    {55, 0},   {50, 0}};
        for (const auto& [atQuality, extra] : budgets) {
            const size_t budget = SizeAt(*picture, atQuality) + extra;
            SCOPED_TRACE(std::to_string(atQuality) + " " + std::to_string(budget));
            const BudgetedJpeg r = JpegWithinBudget(*picture, budget);
            ASSERT_EQ(r.outcome, BudgetedJpeg::Outcome::Fits);
            EXPECT_GE(r.quality, extra < 0 ? kBudgetLeastQuality : atQuality);
            EXPECT_LE(r.encodes, kBudgetMaxEncodes);
            EXPECT_EQ(std::pair(r.width, r.height), std::pair(picture->width, picture->height));
            EXPECT_LE(r.bytes.size(), budget);
            EXPECT_EQ(r.bytes.size(), SizeAt(*picture, r.quality));
            if (r.quality < 100) {
                EXPECT_GT(SizeAt(*picture, r.quality + 1), budget);
            }
        }
    }
}

// Below what quality 50 needs the picture shrinks, keeping its shape, until it fits; the
// density the file records follows the smaller size.
TEST(JpegBudget, TightBudgetReducesThePicture) {
    const auto picture = Noise(1200, 800);
    const size_t least = SizeAt(*picture, 50);
    for (double share : {0.7, 0.25, 0.05}) {
        const size_t budget = static_cast<size_t>(least * share);
        SCOPED_TRACE(budget);
        int lastWidth = 0;
        const BudgetedJpeg r = JpegWithinBudget(*picture, budget, [&](int w, int) {
            lastWidth = w;
            return ImageMetadata{.exif = {}, .densityDpi = w / 4};
        });
        ASSERT_EQ(r.outcome, BudgetedJpeg::Outcome::Fits);
        EXPECT_LE(r.bytes.size(), budget);
        EXPECT_GE(r.quality, 50);
        EXPECT_LT(r.width, 1200);
        // Not much smaller than it needs to be: the steps follow the root of the shares.
        EXPECT_GE(r.width, share > 0.5 ? 850 : share > 0.1 ? 400 : 100);
        EXPECT_NEAR(r.height, r.width * 800 / 1200.0, 1.0);
        EXPECT_EQ(lastWidth, r.width);
        // The density in the JFIF header (bytes 14..15) is the reduced picture's.
        ASSERT_GT(r.bytes.size(), 16u);
        EXPECT_EQ(r.bytes[14] << 8 | r.bytes[15], r.width / 4);
    }
}

// A budget below what a picture 100 pixels long needs at quality 50 is refused, nothing given.
TEST(JpegBudget, ImpossibleBudgetRefused) {
    const auto picture = Noise(800, 600, 32);
    auto small = raster::Create(100, 75, 24, false, false);
    ASSERT_TRUE(raster::Stretch(*small, 0, 0, 100, 75, *picture, raster::StretchMode::Halftone));
    const size_t least = SizeAt(*small, 50);
    using enum BudgetedJpeg::Outcome;
    const std::pair<size_t, BudgetedJpeg::Outcome> cases[] = {
        {0, Refused}, {600, Refused}, {least - 1, Refused}, {least + 200, Fits}};
    for (const auto& [budget, outcome] : cases) {
        const BudgetedJpeg r = JpegWithinBudget(*picture, budget);
        EXPECT_EQ(r.outcome, outcome) << budget;
        EXPECT_EQ(r.bytes.empty(), outcome != Fits) << budget;
        EXPECT_GE(std::max(r.width, r.height), outcome == Fits ? 100 : 0) << budget;
    }
}

// The memory encoder writes, byte for byte, the file the file encoder writes (so a budget the
// file fits at quality 100 gives the export's own file); bad arguments are refused.
TEST(JpegBudget, MemoryEncoderMatchesTheFile) {
    const auto picture = Noise(301, 203);
    const OwnedEncoderRows rows = EncoderRowsOf(*picture);
    const std::string path = fixtures::WriteTemp("budget.jpg", {});
    const ImageMetadata md{.exif = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0},
                           .densityDpi = 300};
    const ImageMetadata* const withAndWithout[] = {nullptr, &md};
    for (const ImageMetadata* m : withAndWithout) {
        ASSERT_EQ(JpegEncode(path.c_str(), rows.rows.pixels, rows.rows.width, rows.rows.height,
                             static_cast<int>(rows.rows.stride), 10, m),
                  1);
        const Bytes file = fixtures::ReadFile(path);
        Bytes memory;
        ASSERT_TRUE(JpegEncodeToMemory(memory, rows.rows.pixels, rows.rows.width, rows.rows.height,
                                       static_cast<int>(rows.rows.stride), 100, m));
        EXPECT_EQ(file, memory);
        const BudgetedJpeg r = JpegWithinBudget(*picture, file.size(),
                                                [&](int, int) { return m ? *m : ImageMetadata{}; });
        EXPECT_EQ(r.bytes, file);
        EXPECT_EQ(r.encodes, 1);
    }
    Bytes out{1, 2, 3};
    EXPECT_FALSE(
        JpegEncodeToMemory(out, rows.rows.pixels, 301, 203, static_cast<int>(rows.rows.stride), 0));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(JpegEncodeToMemory(out, rows.rows.pixels, 301, 203, 100, 90));
}

}  // namespace
