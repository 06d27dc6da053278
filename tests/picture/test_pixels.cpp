// The working pixel buffers against real image objects of every row layout, and the tone and cast
// passes through them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "imagelib/image.h"
#include "picture/appstate.h"
#include "picture/cast.h"
#include "picture/pixels.h"
#include "picture/tone.h"
#include "platform/raster.h"

namespace {

constexpr int kImage = 101;

// Channel value of byte `c` of pixel (x, y) in the test pattern; 255 occurs, to see it clipped.
uint8_t Pattern(int x, int y, int c) {
    return static_cast<uint8_t>((x * 37 + y * 91 + c * 59) % 256);
}

// Makes image `number` with the given layout, filled with the pattern; padding bytes and fourth
// bytes get recognisable values.
raster::Bitmap* MakeImage(int number, int width, int height, int bpp, bool topDown) {
    auto bm = raster::Create(width, height, bpp, topDown, false);
    if (!bm) return nullptr;
    std::memset(bm->bits.get(), 0xEE, bm->ByteSize());
    for (int y = 0; y < height; ++y) {
        uint8_t* row = bm->Row(y);
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < bpp / 8; ++c)
                row[x * (bpp / 8) + c] = c == 3 ? 0x77 : Pattern(x, y, c);
    }
    return ImageAdopt(number, std::move(bm), 0);
}

class PixelsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ImageInit(); }
    void SetUp() override { AppStateReset(); }
    void TearDown() override {
        PixelsRelease();
        PixelsFailAllocationForTest(0);
        ImageReleaseAll();
    }
    static std::vector<uint8_t> Bytes(const raster::Bitmap& bm) {
        return std::vector<uint8_t>(bm.bits.get(), bm.bits.get() + bm.ByteSize());
    }
    static bool Absent() {
        return !g_app.pixels.source && !g_app.pixels.target && g_app.pixels.size == 0;
    }
};

TEST_F(PixelsTest, CaptureGivesPackedRowsAndTheDefaultPassOnlyLowersTheTopValue) {
    // Odd and even widths (row padding), both row orders, both depths: width, height, depth,
    // top-down, buffer size.
    const int layouts[][5] = {{3, 2, 24, 0, 18}, {5, 3, 24, 1, 45}, {7, 4, 32, 1, 112}};
    for (auto [width, height, bpp, topDown, size] : layouts) {
        SCOPED_TRACE(testing::Message() << width << "x" << height << "x" << bpp
                                        << (topDown ? " top-down" : " bottom-up"));
        raster::Bitmap* bm = MakeImage(kImage, width, height, bpp, topDown);
        ASSERT_NE(bm, nullptr);
        ASSERT_EQ(PixelsCapture(kImage), 1);
        ASSERT_EQ(g_app.pixels.depth, bpp);
        ASSERT_EQ(g_app.pixels.size, size);
        const int p = bpp / 8;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(g_app.pixels.source[(y * width + x) * p + c], Pattern(x, y, c))
                        << x << "," << y;
        EXPECT_EQ(std::count(g_app.pixels.target.get(), g_app.pixels.target.get() + size, 0), size);

        // Back through the default pass: only 255 becomes 254; the target's fourth byte stays
        // zero and row padding is untouched.
        std::vector<uint8_t> want = Bytes(*bm);
        for (int y = 0; y < height; ++y) {
            uint8_t* row = want.data() + (bm->Row(y) - bm->bits.get());
            for (int x = 0; x < width * p; ++x)
                row[x] = x % p == 3 ? 0 : (row[x] == 255 ? 254 : row[x]);
        }
        ToneAdjust(kImage, 155, 255, 0, 100, 100, 0);
        ASSERT_EQ(PixelsStore(kImage), 1);
        EXPECT_EQ(Bytes(*bm), want);
    }
}

TEST_F(PixelsTest, FailedAllocationLeavesNoBuffersAndTheImageAlone) {
    for (int nth : {1, 2}) {
        SCOPED_TRACE(nth);
        raster::Bitmap* bm = MakeImage(kImage, 5, 3, 24, false);
        ASSERT_NE(bm, nullptr);
        const std::vector<uint8_t> before = Bytes(*bm);
        ASSERT_EQ(PixelsCapture(kImage), 1);
        PixelsFailAllocationForTest(nth);
        EXPECT_EQ(PixelsCapture(kImage), 0);
        EXPECT_TRUE(Absent());
        // What the shell runs next must leave the picture as it was.
        ToneAdjust(kImage, 20, 100, 245, 0, 200, 0);
        CastRemove(kImage, 0x0A0000);
        EXPECT_EQ(PixelsStore(kImage), 0);
        EXPECT_EQ(Bytes(*ImageGetBitmap(kImage)), before);
        PixelsFailAllocationForTest(0);
        EXPECT_EQ(PixelsCapture(kImage), 1);
    }
}

TEST_F(PixelsTest, StoreRefusesAnImageThatChanged) {
    // Larger; the same byte count at another depth (36 like 4 x 3 x 24); another shape.
    const int changed[][3] = {{6, 4, 24}, {3, 3, 32}, {6, 2, 24}};
    for (auto [width, height, bpp] : changed) {
        ASSERT_NE(MakeImage(kImage, 4, 3, 24, false), nullptr);
        ASSERT_EQ(PixelsCapture(kImage), 1);
        raster::Bitmap* bm = MakeImage(kImage, width, height, bpp, true);
        ASSERT_NE(bm, nullptr);
        const std::vector<uint8_t> before = Bytes(*bm);
        ToneAdjust(kImage, 155, 255, 0, 100, 100, 0);
        CastRemove(kImage, 0x000A00);
        EXPECT_EQ(PixelsStore(kImage), 0) << width << "x" << height << "x" << bpp;
        EXPECT_EQ(Bytes(*bm), before) << width << "x" << height << "x" << bpp;
    }
}

TEST(PixelsBufferSize, RefusesWhatASigned32BitSizeCannotHold) {
    EXPECT_EQ(PixelsBufferSize(23170, 23170, 32), 2147395600);  // just below 2^31
    EXPECT_EQ(PixelsBufferSize(23171, 23171, 32), -1);
    EXPECT_EQ(PixelsBufferSize(-1, 5, 24), -1);
}

}  // namespace
