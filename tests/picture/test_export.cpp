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

TEST(ExportPicture, AdjustsThePictureThenCutsAndReduces) {
    const ExportSettings settings{{90, 230, 10, 140, 120}, 0x000503, 7};  // avatar: 100 wide
    auto picture = Bands(), reference = Bands();
    // The same steps one by one: adjust, cut, stretch.
    AdjustPicture(*reference, settings.tone, settings.cast);
    auto cut = raster::Create(30, 20, 24, false, false);
    ASSERT_TRUE(raster::Blit(*cut, 0, 0, 30, 20, *reference, 10, 10));
    // The frame reaches past the right edge: the cut is 30 x 20, under 100 on its shorter side.
    const ExportResult r = ExportPicture(*picture, PixelRect{10, 10, 31, 20}, settings);
    ASSERT_TRUE(r.adjusted);
    ASSERT_TRUE(r.cut);
    EXPECT_EQ(Bytes(*picture), Bytes(*reference));
    EXPECT_EQ(Bytes(*r.cut), Bytes(*cut));

    // Preset 2 (300) on a larger picture reduces through the smoothing stretch.
    auto big = raster::Create(600, 450, 24, false, false);
    const ExportResult reduced =
        ExportPicture(*big, PixelRect{0, 0, 600, 450}, {kToneDefaults, 0, 2});
    ASSERT_TRUE(reduced.cut);
    EXPECT_EQ(std::make_pair(reduced.cut->width, reduced.cut->height), std::make_pair(400, 300));
}

TEST(ExportPicture, NoMemoryForTheCutTouchesNothing) {
    for (int nth : {1, 2}) {  // the cut, then its reduction
        auto picture = Bands(240, 160);
        const std::vector<uint8_t> before = Bytes(*picture);
        raster::FailAllocationForTest(nth);
        const ExportResult r =
            ExportPicture(*picture, PixelRect{0, 0, 240, 160}, {{60, 255, 0, 100, 100}, 0, 7});
        raster::FailAllocationForTest(0);
        EXPECT_FALSE(r.adjusted);
        EXPECT_FALSE(r.cut);
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
