#include "imagelib/image.h"

#include <gtest/gtest.h>

#include "imagelib/draw.h"
#include "platform/display.h"

namespace {

class ImageTest : public testing::Test {
protected:
    void SetUp() override {
        DisplaySetDepthForTesting(24);
        DrawInit();
        ImageInit();
    }
    void TearDown() override {
        DrawEnd();
        ImageReleaseAll();
        DisplaySetDepthForTesting(0);
    }
};

bool AllBlack(const raster::Bitmap& bm) {
    for (int y = 0; y < bm.height; ++y)
        for (int x = 0; x < bm.width; ++x)
            if (raster::GetPixel(bm, x, y) != 0) return false;
    return true;
}

}  // namespace

TEST_F(ImageTest, NewImageIsBlackAndScreenCompatible) {
    raster::Bitmap* bm = ImageNew(100, 640, 480);
    ASSERT_TRUE(bm);
    EXPECT_EQ(ImageGetBitmap(100), bm);
    EXPECT_NE(ImageExists(100), 0);
    EXPECT_EQ(ImageGetWidth(100), 640);
    EXPECT_EQ(ImageGetHeight(100), 480);
    EXPECT_EQ(ImageGetDepth(100), 32);
    EXPECT_EQ(ImageGetFlags(100), IMAGE_SCREEN_BITMAP);
    EXPECT_TRUE(bm->screen);
    EXPECT_TRUE(AllBlack(*bm));
    for (size_t i = 3; i < bm->ByteSize(); i += 4)
        ASSERT_EQ(bm->bits[i], 0);
}

TEST_F(ImageTest, ShallowDisplayGivesSixteenBitImages) {
    DisplaySetDepthForTesting(16);
    ASSERT_TRUE(ImageNew(1, 10, 10));
    EXPECT_EQ(ImageGetDepth(1), 16);
    EXPECT_EQ(ImageGetBitmap(1)->bpp, 16);
}

TEST_F(ImageTest, QueriesOfFreeNumbersAnswerZero) {
    for (int n : {7, 5000, -1, 0, 100}) {
        EXPECT_EQ(ImageExists(n), 0) << n;
        EXPECT_EQ(ImageGetWidth(n), 0);
        EXPECT_EQ(ImageGetHeight(n), 0);
        EXPECT_EQ(ImageGetDepth(n), 0);
        EXPECT_EQ(ImageGetFlags(n), 0);
        EXPECT_EQ(ImageGetBitmap(n), nullptr);
        EXPECT_EQ(ImageDrawTarget(n), nullptr);
    }
}

TEST_F(ImageTest, NewOverAnImageReplacesIt) {
    ASSERT_TRUE(ImageNew(100, 20, 10));
    raster::Bitmap* second = ImageNew(100, 30, 40);
    ASSERT_TRUE(second);
    EXPECT_EQ(ImageGetBitmap(100), second);
    EXPECT_EQ(ImageGetWidth(100), 30);
    EXPECT_EQ(ImageGetHeight(100), 40);
}

TEST_F(ImageTest, RefusedSizesLeaveTheNumberFree) {
    struct Case {
        int w, h;
    } cases[] = {{32768, 10}, {10, 32768}, {0, 10}, {10, -3}, {INT32_MAX, INT32_MAX}};
    for (const Case& c : cases) {
        ASSERT_TRUE(ImageNew(100, 8, 8));
        EXPECT_EQ(ImageNew(100, c.w, c.h), nullptr) << c.w << "x" << c.h;
        // The old image is gone as well: creation under a number releases it first.
        EXPECT_EQ(ImageExists(100), 0);
    }
    EXPECT_TRUE(ImageNew(100, 32767, 1));
    EXPECT_EQ(ImageGetWidth(100), 32767);
}

TEST_F(ImageTest, ReleaseIsHarmlessOnFreeNumbers) {
    ASSERT_TRUE(ImageNew(3, 4, 4));
    ImageRelease(3);
    EXPECT_EQ(ImageExists(3), 0);
    ImageRelease(3);
    ImageRelease(77);
    ImageRelease(-2);
    EXPECT_EQ(ImageExists(3), 0);
}

TEST_F(ImageTest, ReleaseAllFreesEveryNumber) {
    for (int n : {1, 3, 100, 101, 102, 300})
        ASSERT_TRUE(ImageNew(n, 2, 2));
    ImageReleaseAll();
    for (int n : {1, 3, 100, 101, 102, 300})
        EXPECT_EQ(ImageExists(n), 0);
}

TEST_F(ImageTest, MakeBitmapKinds) {
    struct Case {
        int flags, depth;
        int bpp;
        bool topDown, screen;
    } cases[] = {{IMAGE_SCREEN_BITMAP, 0, 32, true, true},
                 {IMAGE_SCREEN_BITMAP, 24, 32, true, true},
                 {0, 24, 24, false, false},
                 {0, 32, 32, false, false}};
    for (const Case& c : cases) {
        auto bm = ImageMakeBitmap(5, 3, c.flags, c.depth);
        ASSERT_TRUE(bm);
        EXPECT_EQ(bm->bpp, c.bpp);
        EXPECT_EQ(bm->topDown, c.topDown);
        EXPECT_EQ(bm->screen, c.screen);
        EXPECT_EQ(bm->stride % 4, 0);
        EXPECT_TRUE(AllBlack(*bm));
    }
    EXPECT_FALSE(ImageMakeBitmap(5, 3, 0, 7));
    EXPECT_FALSE(ImageMakeBitmap(32768, 3, 0, 24));
    EXPECT_FALSE(ImageMakeBitmap(3, 32768, IMAGE_SCREEN_BITMAP, 0));
}

TEST_F(ImageTest, AdoptStoresTheDescriptionAndDropFrees) {
    auto bm = ImageMakeBitmap(7, 9, 0, 24);
    raster::Bitmap* raw = bm.get();
    EXPECT_EQ(ImageAdopt(100, std::move(bm), 0), raw);
    EXPECT_EQ(ImageGetWidth(100), 7);
    EXPECT_EQ(ImageGetHeight(100), 9);
    EXPECT_EQ(ImageGetDepth(100), 24);
    EXPECT_EQ(ImageGetFlags(100), 0);
    EXPECT_EQ(ImageAdopt(100, nullptr, 0), nullptr);
    EXPECT_EQ(ImageExists(100), 0);
    EXPECT_EQ(ImageAdopt(-1, ImageMakeBitmap(2, 2, 0, 32), 0), nullptr);

    ASSERT_TRUE(
        ImageAdopt(102, ImageMakeBitmap(2, 2, IMAGE_SCREEN_BITMAP, 0), IMAGE_SCREEN_BITMAP));
    EXPECT_EQ(ImageGetFlags(102), IMAGE_SCREEN_BITMAP);
    ImageDrop(102);
    EXPECT_EQ(ImageExists(102), 0);
    ImageDrop(102);
}

TEST_F(ImageTest, DrawTargetDrawsIntoTheImage) {
    ASSERT_TRUE(ImageNew(101, 20, 20));
    DrawTarget* t = ImageDrawTarget(101);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->kind, 2);
    EXPECT_EQ(t->surface, ImageGetBitmap(101));
    ASSERT_EQ(DrawBegin(t), ImageGetBitmap(101));
    DrawRect(2, 3, 4, 5, 0xFFFFFF);
    DrawEnd();
    EXPECT_EQ(raster::GetPixel(*ImageGetBitmap(101), 2, 3), 0xFFFFFFu);
    EXPECT_EQ(raster::GetPixel(*ImageGetBitmap(101), 6, 3), 0u);
    // DrawEnd closed the target: the descriptor no longer opens anything.
    EXPECT_EQ(DrawBegin(t), nullptr);
}

TEST_F(ImageTest, OnlyOneImageIsATargetAtATime) {
    ASSERT_TRUE(ImageNew(100, 10, 10));
    ASSERT_TRUE(ImageNew(101, 10, 10));
    ASSERT_TRUE(DrawBegin(ImageDrawTarget(100)));
    // Asking for 101 closes 100's target, and the surface that was drawing on it stops.
    DrawTarget* t = ImageDrawTarget(101);
    ASSERT_TRUE(t);
    DrawRect(0, 0, 10, 10, 0xFFFFFF);
    EXPECT_TRUE(AllBlack(*ImageGetBitmap(100)));
    EXPECT_TRUE(AllBlack(*ImageGetBitmap(101)));
    ASSERT_EQ(DrawBegin(t), ImageGetBitmap(101));
    DrawRect(0, 0, 10, 10, 0xFFFFFF);
    DrawEnd();
    EXPECT_EQ(raster::GetPixel(*ImageGetBitmap(101), 9, 9), 0xFFFFFFu);
    EXPECT_TRUE(AllBlack(*ImageGetBitmap(100)));
}

TEST_F(ImageTest, ReleasingTheImageBeingDrawnOnStopsTheDrawing) {
    ASSERT_TRUE(ImageNew(101, 10, 10));
    ASSERT_TRUE(DrawBegin(ImageDrawTarget(101)));
    ImageRelease(101);
    DrawRect(0, 0, 10, 10, 0xFFFFFF);  // must not reach the freed pixels
    DrawEnd();
    ASSERT_TRUE(ImageNew(101, 10, 10));
    EXPECT_TRUE(AllBlack(*ImageGetBitmap(101)));
    // Replacing the image through a new creation behaves the same.
    ASSERT_TRUE(DrawBegin(ImageDrawTarget(101)));
    ASSERT_TRUE(ImageNew(101, 10, 10));
    DrawRect(0, 0, 10, 10, 0xFFFFFF);
    EXPECT_TRUE(AllBlack(*ImageGetBitmap(101)));
}
