// Resizing and cropping numbered images.
#include <gtest/gtest.h>

#include <algorithm>

#include "imagelib/image.h"
#include "imagelib/library_start.h"
#include "imagelib/transform.h"
#include "platform/display.h"
#include "platform/raster.h"

namespace {

class TransformTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ImageLibraryStart(); }
    void TearDown() override { ImageReleaseAll(); }

    // A non-screen bitmap of `bpp` bits whose pixel (x, y) has red x, green y, blue 7.
    static void MakeRamp(int number, int w, int h, int bpp) {
        auto bm = ImageMakeBitmap(w, h, 0, bpp);
        ASSERT_TRUE(bm);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                raster::SetPixel(*bm, x, y, Ramp(x, y));
        ASSERT_TRUE(ImageAdopt(number, std::move(bm), 0));
    }
    static uint32_t Ramp(int x, int y) { return (x & 255) | (y & 255) << 8 | 7 << 16; }
};

// The modes reach the raster's stretch (its own tests check the figures): smoothing averages,
// nearest picks source pixels.
TEST_F(TransformTest, ScalePassesTheMode) {
    for (int mode : {IMAGE_SCALE_SMOOTH, IMAGE_SCALE_NEAREST}) {
        ASSERT_TRUE(ImageAdopt(5, ImageMakeBitmap(200, 2, 0, 24), 0));
        for (int x = 0; x < 200; x += 2)  // black and white columns
            raster::FillRect(*ImageGetBitmap(5), x, 0, 1, 2, 0xFFFFFF);
        ASSERT_TRUE(ImageScale(5, 50, 1, mode));
        const uint32_t v = raster::GetPixel(*ImageGetBitmap(5), 25, 0) & 0xFF;
        EXPECT_EQ(v == 0 || v == 255, mode == IMAGE_SCALE_NEAREST) << v;
    }
}

TEST_F(TransformTest, SameSizeOrFailedScaleKeepsThePicture) {
    MakeRamp(5, 30, 20, 24);
    raster::Bitmap* before = ImageGetBitmap(5);
    EXPECT_EQ(ImageScale(5, 30, 20, IMAGE_SCALE_SMOOTH), before);
    for (auto [w, h] : {std::pair{0, 10}, std::pair{10, -1}, std::pair{40000, 10}}) {
        EXPECT_EQ(ImageScale(5, w, h, IMAGE_SCALE_SMOOTH), nullptr);
        EXPECT_EQ(ImageGetBitmap(5), before);
        EXPECT_EQ(ImageGetWidth(5), 30);
    }
    EXPECT_EQ(ImageScale(77, 10, 10, IMAGE_SCALE_SMOOTH), nullptr);
    EXPECT_FALSE(ImageExists(77));
}

// Rounding x, y, w and h separately can reach a pixel past the edge: the crop is clipped, no
// black may come in. A crop with nothing left, or from no image, fails and keeps the target.
TEST_F(TransformTest, CropIsClippedOrRefused) {
    struct Case {
        int x, y, w, h, outW, outH;  // outW 0: refused
        int source = 5;
    };
    const Case cases[] = {
        {10, 5, 20, 15, 20, 15},                 // inside
        {0, 0, 51, 40, 50, 40},                  // one column too many
        {10, 20, 40, 21, 40, 20},                // one row too many at the bottom
        {-2, -3, 10, 10, 8, 7},                  // starts above and left of the picture
        {45, 35, 1000, 1000, 5, 5},              // far past the corner
        {0, 0, 0x7fffffff, 0x7fffffff, 50, 40},  // x + w overflows an int
        {50, 0, 10, 10, 0, 0},
        {0, 40, 10, 10, 0, 0},
        {-10, 0, 10, 10, 0, 0},
        {0, 0, 0, 10, 0, 0},
        {0, 0, 10, -5, 0, 0},
        {0, 0, 10, 10, 0, 0, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " " << c.w << "x" << c.h);
        MakeRamp(5, 50, 40, 32);
        ASSERT_TRUE(ImageNew(6, 8, 8));
        raster::Bitmap* target = ImageGetBitmap(6);
        raster::Bitmap* cut = ImageCrop(c.source, 6, c.x, c.y, c.w, c.h);
        if (!c.outW) {
            EXPECT_EQ(cut, nullptr);
            EXPECT_EQ(ImageGetBitmap(6), target);
            continue;
        }
        ASSERT_TRUE(cut);
        EXPECT_EQ(ImageGetWidth(6) * 10000 + ImageGetHeight(6), c.outW * 10000 + c.outH);
        EXPECT_EQ(ImageGetDepth(6), 32);
        const int x0 = std::max(c.x, 0), y0 = std::max(c.y, 0);
        EXPECT_EQ(raster::GetPixel(*cut, 0, 0), Ramp(x0, y0));
        EXPECT_EQ(raster::GetPixel(*cut, c.outW - 1, c.outH - 1),
                  Ramp(x0 + c.outW - 1, y0 + c.outH - 1));
    }
    // Onto its own number, from a screen image: the result stays screen-compatible.
    raster::Bitmap* own = ImageCrop(6, 6, 2, 2, 4, 4);
    ASSERT_EQ(own, ImageGetBitmap(6));
    EXPECT_EQ(ImageGetWidth(6), 4);
    EXPECT_EQ(ImageGetFlags(6), IMAGE_SCREEN_BITMAP);
}

}  // namespace
