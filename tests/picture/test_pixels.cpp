// The working pixels against bitmaps of every row layout, and the in-place adjustment of a whole
// picture against the capture, adjust and store route through them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "picture/cast.h"
#include "picture/export.h"
#include "picture/working_pixels.h"
#include "platform/raster.h"

namespace {

// Channel value of byte `c` of pixel (x, y) in the test pattern; 255 occurs, to see it clipped.
uint8_t Pattern(int x, int y, int c) {
    return static_cast<uint8_t>((x * 37 + y * 91 + c * 59) % 256);
}

// A bitmap of the given layout filled with the pattern; padding and fourth bytes get
// recognisable values.
std::unique_ptr<raster::Bitmap> Make(int width, int height, int bpp, bool topDown) {
    auto bm = raster::Create(width, height, bpp, topDown, false);
    std::memset(bm->bits.get(), 0xEE, bm->ByteSize());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < bpp / 8; ++c)
                bm->Row(y)[x * (bpp / 8) + c] = c == 3 ? 0x77 : Pattern(x, y, c);
    return bm;
}

// Blue, green and red of every pixel, row by row from the top.
std::vector<uint8_t> Colours(const raster::Bitmap& bm) {
    std::vector<uint8_t> out;
    for (int y = 0; y < bm.height; ++y)
        for (int x = 0; x < bm.width; ++x)
            out.insert(out.end(), bm.Row(y) + x * (bm.bpp / 8), bm.Row(y) + x * (bm.bpp / 8) + 3);
    return out;
}

std::vector<uint8_t> Bytes(const raster::Bitmap& bm) {
    return std::vector<uint8_t>(bm.bits.get(), bm.bits.get() + bm.ByteSize());
}

struct Layout {
    int width, height, bpp;
    bool topDown;
    int size;  // bytes of each working buffer
};
// Odd and even widths (row padding), both row orders, both depths.
const Layout kLayouts[] = {{3, 2, 24, false, 18}, {5, 3, 24, true, 45}, {7, 4, 32, true, 112}};

TEST(WorkingPixels, CaptureGivesPackedRowsAndTheDefaultPassOnlyLowersTheTopValue) {
    for (const Layout& l : kLayouts) {
        SCOPED_TRACE(testing::Message() << l.width << "x" << l.height << "x" << l.bpp);
        auto bm = Make(l.width, l.height, l.bpp, l.topDown);
        WorkingPixels px;
        ASSERT_TRUE(px.Capture(*bm));
        ASSERT_EQ(px.size(), l.size);
        const int p = l.bpp / 8;
        for (int y = 0; y < l.height; ++y)
            for (int x = 0; x < l.width; ++x)
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(px.source()[(y * l.width + x) * p + c], Pattern(x, y, c));
        EXPECT_EQ(std::count(px.target(), px.target() + l.size, 0), l.size);

        // Back through the default pass: only 255 becomes 254; the target's fourth byte stays
        // zero and row padding is untouched.
        std::vector<uint8_t> want = Bytes(*bm);
        for (int y = 0; y < l.height; ++y) {
            uint8_t* row = want.data() + (bm->Row(y) - bm->bits.get());
            for (int x = 0; x < l.width * p; ++x)
                row[x] = x % p == 3 ? 0 : (row[x] == 255 ? 254 : row[x]);
        }
        px.AdjustTone(kToneDefaults);
        ASSERT_TRUE(px.Store(*bm));
        EXPECT_EQ(Bytes(*bm), want);
    }
}

TEST(WorkingPixels, InPlaceAdjustmentMatchesCaptureAdjustStore) {
    const ToneParams settings[] = {kToneDefaults, {20, 100, 245, 0, 200}, {200, 180, 30, 170, 60}};
    for (const Layout& l : kLayouts)
        for (const ToneParams& tone : settings) {
            auto viaPair = Make(l.width, l.height, l.bpp, l.topDown);
            auto inPlace = Make(l.width, l.height, l.bpp, l.topDown);
            WorkingPixels px;
            ASSERT_TRUE(px.Capture(*viaPair));
            px.AdjustTone(tone);
            px.RemoveCast(0x0A0305);
            ASSERT_TRUE(px.Store(*viaPair));
            std::vector<int> progress;
            AdjustPicture(*inPlace, tone, 0x0A0305, [&](int v) { progress.push_back(v); });
            EXPECT_EQ(Colours(*inPlace), Colours(*viaPair)) << l.width << "x" << l.bpp;
            EXPECT_EQ(progress.size(), static_cast<size_t>(l.height));
        }
}

TEST(WorkingPixels, AFailureLeavesNothingHalfDone) {
    auto bm = Make(5, 3, 24, false);
    for (int nth : {1, 2}) {
        WorkingPixels px;
        ASSERT_TRUE(px.Capture(*bm));
        raster::FailAllocationForTest(nth);
        EXPECT_FALSE(px.Capture(*bm));
        raster::FailAllocationForTest(0);
        EXPECT_FALSE(px.Captured());
        EXPECT_EQ(std::make_tuple(px.width(), px.height(), px.depth()), std::make_tuple(0, 0, 0));
        // What the shell runs next leaves the picture as it was.
        const std::vector<uint8_t> before = Bytes(*bm);
        px.AdjustTone({20, 100, 245, 0, 200});
        px.RemoveCast(0x0A0000);
        EXPECT_FALSE(px.Store(*bm));
        EXPECT_EQ(Bytes(*bm), before);
    }
    // A bitmap of another shape, even of the same byte count, is refused.
    WorkingPixels px;
    auto small = Make(4, 3, 24, false);
    ASSERT_TRUE(px.Capture(*small));
    const int others[][4] = {{6, 4, 24, 0}, {3, 3, 32, 1}, {6, 2, 24, 0}};
    for (auto [w, h, bpp, topDown] : others) {
        auto other = Make(w, h, bpp, topDown != 0);
        const std::vector<uint8_t> before = Bytes(*other);
        EXPECT_FALSE(px.Store(*other));
        EXPECT_EQ(Bytes(*other), before);
    }
}

TEST(WorkingPixels, BufferSizeRefusesWhatASigned32BitCountCannotHold) {
    EXPECT_EQ(PixelsBufferSize(23170, 23170, 32), 2147395600);  // just below 2^31
    EXPECT_EQ(PixelsBufferSize(23171, 23171, 32), -1);
    EXPECT_EQ(PixelsBufferSize(-1, 5, 24), -1);
}

}  // namespace
