// Resizing and cropping numbered images.
#include <gtest/gtest.h>

#include "imagelib/image.h"
#include "imagelib/transform.h"
#include "platform/display.h"
#include "platform/raster.h"

namespace {

class TransformTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ImageInit(); }
    void TearDown() override { ImageReleaseAll(); }

    // A non-screen bitmap of `bpp` bits whose pixel (x, y) has red x, green y, blue 7.
    static void MakeRamp(int number, int w, int h, int bpp) {
        auto bm = ImageMakeBitmap(w, h, 0, bpp);
        ASSERT_TRUE(bm);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                raster::SetPixel(*bm, x, y, (x & 255) | (y & 255) << 8 | 7 << 16);
        ASSERT_TRUE(ImageAdopt(number, std::move(bm), 0));
    }
};

TEST_F(TransformTest, ScaleToTheSameSizeChangesNothing) {
    MakeRamp(5, 30, 20, 24);
    raster::Bitmap* before = ImageGetBitmap(5);
    EXPECT_EQ(ImageScale(5, 30, 20, IMAGE_SCALE_SMOOTH), before);
    EXPECT_EQ(ImageGetBitmap(5), before);
}

TEST_F(TransformTest, ScaleKeepsKindAndDepth) {
    struct Case {
        bool screen;
        int bpp;
    };
    for (Case c : {Case{false, 24}, Case{false, 32}, Case{true, 0}}) {
        SCOPED_TRACE(c.bpp);
        if (c.screen) {
            ASSERT_TRUE(ImageNew(5, 3000, 2000));
        } else {
            MakeRamp(5, 3000, 2000, c.bpp);
        }
        const int depth = ImageGetDepth(5), flags = ImageGetFlags(5);
        raster::Bitmap* scaled = ImageScale(5, 900, 600, IMAGE_SCALE_SMOOTH);
        ASSERT_TRUE(scaled);
        EXPECT_EQ(ImageGetBitmap(5), scaled);
        EXPECT_EQ(ImageGetWidth(5), 900);
        EXPECT_EQ(ImageGetHeight(5), 600);
        EXPECT_EQ(ImageGetDepth(5), depth);
        EXPECT_EQ(ImageGetFlags(5), flags);
        EXPECT_EQ(scaled->bpp, c.screen ? DisplayBitmapBpp() : c.bpp);
    }
}

TEST_F(TransformTest, SmoothScaleAveragesNearestDoesNot) {
    // Alternating black and white columns: averaging gives grey, nearest keeps pure values.
    auto bm = ImageMakeBitmap(200, 10, 0, 24);
    ASSERT_TRUE(bm);
    for (int x = 0; x < 200; x += 2)
        raster::FillRect(*bm, x, 0, 1, 10, 0xFFFFFF);
    auto copy = raster::Clone(*bm);
    ASSERT_TRUE(ImageAdopt(5, std::move(bm), 0));
    ASSERT_TRUE(ImageAdopt(6, std::move(copy), 0));
    ASSERT_TRUE(ImageScale(5, 50, 5, IMAGE_SCALE_SMOOTH));
    ASSERT_TRUE(ImageScale(6, 50, 5, IMAGE_SCALE_NEAREST));
    const uint32_t grey = raster::GetPixel(*ImageGetBitmap(5), 25, 2) & 0xFF;
    EXPECT_GT(grey, 100u);
    EXPECT_LT(grey, 155u);
    const uint32_t pure = raster::GetPixel(*ImageGetBitmap(6), 25, 2) & 0xFF;
    EXPECT_TRUE(pure == 0 || pure == 255) << pure;
}

TEST_F(TransformTest, FailedScaleKeepsThePicture) {
    MakeRamp(5, 30, 20, 24);
    raster::Bitmap* before = ImageGetBitmap(5);
    for (auto [w, h] : {std::pair{0, 10}, std::pair{10, -1}, std::pair{40000, 10}}) {
        EXPECT_EQ(ImageScale(5, w, h, IMAGE_SCALE_SMOOTH), nullptr);
        EXPECT_EQ(ImageGetBitmap(5), before);
        EXPECT_EQ(ImageGetWidth(5), 30);
    }
    EXPECT_EQ(ImageScale(77, 10, 10, IMAGE_SCALE_SMOOTH), nullptr);
    EXPECT_FALSE(ImageExists(77));
}

TEST_F(TransformTest, CropCopiesTheRectangle) {
    MakeRamp(5, 50, 40, 32);
    raster::Bitmap* cut = ImageCrop(5, 6, 10, 5, 20, 15);
    ASSERT_TRUE(cut);
    EXPECT_EQ(ImageGetWidth(6), 20);
    EXPECT_EQ(ImageGetHeight(6), 15);
    EXPECT_EQ(ImageGetDepth(6), 32);
    EXPECT_EQ(ImageGetFlags(6), 0);
    EXPECT_EQ(raster::GetPixel(*cut, 0, 0), 10u | 5u << 8 | 7u << 16);
    EXPECT_EQ(raster::GetPixel(*cut, 19, 14), 29u | 19u << 8 | 7u << 16);
}

TEST_F(TransformTest, CropIsClippedToThePicture) {
    // Rounding x, y, w and h separately can reach a pixel past the edge; no black may come in.
    struct Case {
        int x, y, w, h;
        int outW, outH, firstRed, firstGreen;
    };
    const Case cases[] = {
        {0, 0, 51, 40, 50, 40, 0, 0},      // one column too many
        {10, 20, 40, 21, 40, 20, 10, 20},  // one row too many at the bottom
        {-2, -3, 10, 10, 8, 7, 0, 0},      // starts above and left of the picture
        {45, 35, 1000, 1000, 5, 5, 45, 35},
        {0, 0, 0x7fffffff, 0x7fffffff, 50, 40, 0, 0},  // x + w overflows an int
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " " << c.w << "x" << c.h);
        MakeRamp(5, 50, 40, 24);
        raster::Bitmap* cut = ImageCrop(5, 6, c.x, c.y, c.w, c.h);
        ASSERT_TRUE(cut);
        EXPECT_EQ(ImageGetWidth(6), c.outW);
        EXPECT_EQ(ImageGetHeight(6), c.outH);
        EXPECT_EQ(raster::GetPixel(*cut, 0, 0),
                  static_cast<uint32_t>(c.firstRed | c.firstGreen << 8 | 7 << 16));
        // The last column and row are picture pixels, not black.
        EXPECT_EQ(raster::GetPixel(*cut, c.outW - 1, c.outH - 1) >> 16, 7u);
    }
}

TEST_F(TransformTest, FailedCropKeepsTheTarget) {
    MakeRamp(5, 50, 40, 24);
    ASSERT_TRUE(ImageNew(6, 8, 8));
    raster::Bitmap* target = ImageGetBitmap(6);
    struct Case {
        int source, x, y, w, h;
    };
    for (Case c : {Case{5, 50, 0, 10, 10}, Case{5, 0, 40, 10, 10}, Case{5, -10, 0, 10, 10},
                   Case{5, 0, 0, 0, 10}, Case{5, 0, 0, 10, -5}, Case{9, 0, 0, 10, 10}}) {
        EXPECT_EQ(ImageCrop(c.source, 6, c.x, c.y, c.w, c.h), nullptr);
        EXPECT_EQ(ImageGetBitmap(6), target);
        EXPECT_EQ(ImageGetWidth(6), 8);
    }
}

TEST_F(TransformTest, CropOntoItsOwnNumberAndAScreenImage) {
    ASSERT_TRUE(ImageNew(5, 40, 30));
    raster::Bitmap* cut = ImageCrop(5, 5, 5, 5, 10, 10);
    ASSERT_TRUE(cut);
    EXPECT_EQ(ImageGetBitmap(5), cut);
    EXPECT_EQ(ImageGetWidth(5), 10);
    EXPECT_EQ(ImageGetFlags(5), IMAGE_SCREEN_BITMAP);
    EXPECT_EQ(ImageGetDepth(5), DisplayBitmapBpp());
}

}  // namespace
