#include "imagelib/image.h"

#include <gtest/gtest.h>

#include <algorithm>

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
    return std::all_of(bm.bits.get(), bm.bits.get() + bm.ByteSize(),
                       [](uint8_t b) { return b == 0; });
}

}  // namespace

TEST_F(ImageTest, RefusedSizesLeaveTheNumberFree) {
    struct Case {
        int w, h;
    } cases[] = {{32768, 10}, {10, 32768}, {0, 10}, {10, -3}, {INT32_MAX, INT32_MAX}};
    for (const Case& c : cases) {
        ASSERT_TRUE(ImageNew(100, 8, 8));
        EXPECT_EQ(ImageNew(100, c.w, c.h), nullptr) << c.w << "x" << c.h;
        // The old image is gone as well: creation under a number releases it first.
        EXPECT_EQ(ImageExists(100), 0);
        EXPECT_FALSE(ImageMakeBitmap(c.w, c.h, 0, 24));
    }
    EXPECT_FALSE(ImageMakeBitmap(5, 3, 0, 7));
    EXPECT_TRUE(ImageNew(100, 32767, 1));
}

TEST_F(ImageTest, DrawTargetDrawsIntoTheImageUntilReleased) {
    ASSERT_TRUE(ImageNew(100, 10, 10));
    ASSERT_TRUE(ImageNew(101, 20, 20));
    ASSERT_TRUE(DrawBegin(ImageDrawTarget(100)));
    // Asking for 101 closes 100's target, and the surface that was drawing on it stops.
    DrawTarget* t = ImageDrawTarget(101);
    ASSERT_TRUE(t);
    DrawRect(0, 0, 10, 10, 0xFFFFFF);
    EXPECT_TRUE(AllBlack(*ImageGetBitmap(100)));
    ASSERT_EQ(DrawBegin(t), ImageGetBitmap(101));
    DrawRect(2, 3, 4, 5, 0xFFFFFF);
    DrawEnd();
    EXPECT_EQ(raster::GetPixel(*ImageGetBitmap(101), 2, 3), 0xFFFFFFu);
    EXPECT_EQ(raster::GetPixel(*ImageGetBitmap(101), 6, 3), 0u);
    EXPECT_EQ(DrawBegin(t), nullptr);  // DrawEnd closed the target

    // Releasing or replacing the image being drawn on stops the drawing.
    for (bool replace : {false, true}) {
        ASSERT_TRUE(ImageNew(101, 10, 10));
        ASSERT_TRUE(DrawBegin(ImageDrawTarget(101)));
        if (replace) {
            ASSERT_TRUE(ImageNew(101, 10, 10));
        } else {
            ImageRelease(101);
        }
        DrawRect(0, 0, 10, 10, 0xFFFFFF);  // must not reach the freed pixels
        DrawEnd();
        if (!replace) {
            ASSERT_TRUE(ImageNew(101, 10, 10));
        }
        EXPECT_TRUE(AllBlack(*ImageGetBitmap(101))) << replace;
    }
}
