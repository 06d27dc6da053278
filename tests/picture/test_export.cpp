// The export's pixel work: output sizes, the cut, and the whole step on a bitmap.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "picture/export.h"
#include "platform/raster.h"

namespace {

// --- pure helpers --------------------------------------------------------------------------------

TEST(OutputSize, PresetsOnlyEverReduce) {
    auto size = [](int preset, int w, int h) {
        int nw = 0, nh = 0;
        return OutputSizeFor(preset, w, h, nw, nh) ? std::to_string(nw) + "x" + std::to_string(nh)
                                                   : std::string("kept");
    };
    EXPECT_EQ(size(1, 3000, 4000), "600x800");
    EXPECT_EQ(size(1, 500, 400), "kept");
    EXPECT_EQ(size(7, 300, 200), "150x100");
    EXPECT_EQ(size(2, 400, 301), "399x300");
    EXPECT_EQ(size(8, 4000, 3000), "kept");
}

TEST(OutputSize, SelectionIsScaledAndRoundedSeparately) {
    EXPECT_EQ(FrameToPicture(PixelRect{0, 0, 240, 160}, 4000.0f / 480.0f),
              (PixelRect{0, 0, 2000, 1333}));
    // 2.5, 17.5, 12.5 and 7.5: halves go to the even neighbour.
    EXPECT_EQ(FrameToPicture(PixelRect{1, 7, 5, 3}, 2.5f), (PixelRect{2, 18, 12, 8}));
    // A frame rounded past the picture is clipped to it.
    EXPECT_EQ(ClipToPicture(PixelRect{-1, 2, 12, 20}, 10, 8), (PixelRect{0, 2, 10, 6}));
    EXPECT_EQ(ClipToPicture(PixelRect{10, 0, 5, 5}, 10, 8).width, 0);
}

// A picture of vertical bands, at the depth and row order of a loaded file.
std::unique_ptr<raster::Bitmap> Bands(int width = 40, int height = 30) {
    auto bm = raster::Create(width, height, 24, false, false);
    for (int x = 0; x < width; x += 4)
        raster::FillRect(*bm, x, 0, 4, height, static_cast<uint32_t>(x * 6 % 256) | 0x305000);
    return bm;
}

std::vector<uint8_t> Bytes(const raster::Bitmap& bm) {
    return std::vector<uint8_t>(bm.bits.get(), bm.bits.get() + bm.ByteSize());
}

// Against the same steps one at a time on one thread: adjust all, cut, stretch. Large pictures
// are shared with the helper thread, and a delivery runs there beside the adjustment of the rows
// outside the cut.
TEST(ExportPicture, AdjustsThePictureThenCutsAndReducesOverlappedOrNot) {
    struct Case {
        int width, height;
        PixelRect frame;
        ExportSettings settings;
        int outWidth, outHeight;
    } cases[] = {
        // Past the right edge: a 30 x 20 cut, under the avatar's 100 on its shorter side.
        {40, 30, {10, 10, 31, 20}, {{90, 230, 10, 140, 120}, 0x000503, 7}, 30, 20},
        {600, 450, {0, 0, 600, 450}, {kToneDefaults, 0, 2}, 400, 300},
        {1500, 1000, {200, 300, 1200, 650}, {{120, 230, 20, 130, 120}, 0x00050A, 1}, 1108, 600},
        {1500, 1000, {0, 100, 1500, 800}, {{60, 200, 5, 100, 150}, 0x0A0000, 0}, 1500, 800},
    };
    for (const Case& c : cases)
        for (bool deliver : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.width << " deliver " << deliver);
            auto picture = Bands(c.width, c.height), reference = Bands(c.width, c.height);
            AdjustPicture(*reference, c.settings.tone, c.settings.cast);
            const PixelRect cut = ClipToPicture(c.frame, c.width, c.height);
            auto want = raster::Create(cut.width, cut.height, 24, false, false);
            ASSERT_TRUE(
                raster::Blit(*want, 0, 0, cut.width, cut.height, *reference, cut.left, cut.top));
            if (c.outWidth != cut.width) {
                auto reduced = raster::Create(c.outWidth, c.outHeight, 24, false, false);
                ASSERT_TRUE(OutputResize(*want, *reduced));
                want = std::move(reduced);
            }
            std::vector<uint8_t> delivered;
            std::vector<int> progress;
            const ExportResult r = ExportPicture(
                *picture, c.frame, c.settings, [&](int v) { progress.push_back(v); },
                deliver ? ExportDelivery([&](const raster::Bitmap& bm) {
                    delivered = Bytes(bm);
                    return true;
                })
                        : ExportDelivery());
            ASSERT_TRUE(r.adjusted && r.cut);
            EXPECT_EQ(r.delivered, deliver);
            EXPECT_TRUE(Bytes(*picture) == Bytes(*reference));
            EXPECT_TRUE(Bytes(*r.cut) == Bytes(*want));
            if (deliver) EXPECT_TRUE(delivered == Bytes(*want));
            ASSERT_EQ(progress.size(), static_cast<size_t>(c.height));
            for (int y = 0; y < c.height; ++y)
                ASSERT_EQ(progress[y], y * 100 / c.height);
        }
}

TEST(ExportPicture, NoMemoryForTheResultTouchesNothing) {
    for (int preset : {7, 0}) {  // the reduced cut, the cut at full size
        auto picture = Bands(240, 160);
        const std::vector<uint8_t> before = Bytes(*picture);
        raster::FailAllocationForTest(1);
        const ExportResult r =
            ExportPicture(*picture, PixelRect{0, 0, 240, 160}, {{60, 255, 0, 100, 100}, 0, preset});
        raster::FailAllocationForTest(0);
        EXPECT_FALSE(r.adjusted || r.cut);
        EXPECT_EQ(Bytes(*picture), before);
    }
    // A frame outside the picture still commits the adjustments, with nothing to deliver.
    auto picture = Bands();
    const ExportResult r =
        ExportPicture(*picture, PixelRect{50, 0, 10, 10}, {{60, 255, 0, 100, 100}, 0, 0});
    EXPECT_TRUE(r.adjusted);
    EXPECT_FALSE(r.cut);
    EXPECT_NE(Bytes(*picture), Bytes(*Bands()));
}

}  // namespace
