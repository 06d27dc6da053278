// Drawing targets (a window-like surface and numbered images) and the sizes images refuse.
#include "imagelib/draw.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "imagelib/image.h"
#include "imagelib/library_start.h"
#include "platform/display.h"

namespace {

constexpr uint32_t kYellow = 0x00FFFF, kWhite = 0xFFFFFF, kGrey = 0x808080;

bool AllBlack(const raster::Bitmap& bm) {
    return std::all_of(bm.bits.get(), bm.bits.get() + bm.ByteSize(),
                       [](uint8_t b) { return b == 0; });
}

int g_finished = 0;  // finishes of the window target

// A window-like target: a client-area bitmap whose finish would show it on screen.
class DrawTest : public testing::Test {
protected:
    void SetUp() override {
        DisplaySetDepthForTesting(24);
        DrawInit();
        ImageLibraryStart();
        g_finished = 0;
        surface = raster::Create(520, 520, 32, true, true);
        window.kind = 1;
        window.surface = surface.get();
        window.finish = [](DrawTarget*) { ++g_finished; };
        raster::FillRect(*surface, 0, 0, 520, 520, kGrey);
    }
    void TearDown() override {
        DrawEnd();
        ImageReleaseAll();
        DisplaySetDepthForTesting(0);
    }
    uint32_t At(int x, int y) const { return raster::GetPixel(*surface, x, y); }
    // Nothing drawn on the surface: every pixel still grey.
    bool Untouched() const {
        for (int y = 0; y < surface->height; ++y)
            for (int x = 0; x < surface->width; ++x)
                if (At(x, y) != kGrey) return false;
        return true;
    }

    std::unique_ptr<raster::Bitmap> surface;
    DrawTarget window;
};

}  // namespace

TEST_F(DrawTest, TargetsFinishOnceAndModeResetsOnBegin) {
    EXPECT_EQ(DrawBegin(&window), surface.get());
    DrawBegin(&window);  // a second DrawBegin closes the first target
    EXPECT_EQ(g_finished, 1);
    DrawSetMode(DRAW_OUTLINED | DRAW_INVERT);
    DrawEnd();
    DrawEnd();
    EXPECT_EQ(g_finished, 2);
    // Opening the window closes an image target and deletes its context.
    ASSERT_TRUE(ImageNew(101, 8, 8));
    DrawTarget* image = ImageDrawTarget(101);
    ASSERT_TRUE(DrawBegin(image));
    ASSERT_TRUE(DrawBegin(&window));
    EXPECT_EQ(DrawBegin(image), nullptr);
    ASSERT_TRUE(DrawBegin(&window));
    DrawRect(0, 0, 3, 3, kYellow);
    DrawEnd();
    EXPECT_EQ(At(1, 1), kYellow);  // filled and not inverted: the mode started at zero
}

// Without a target, or with one whose surface is gone, nothing is drawn and nothing breaks.
TEST_F(DrawTest, FollowsTheSurfaceItsOwnerKeeps) {
    EXPECT_EQ(DrawBegin(nullptr), nullptr);
    DrawRect(0, 0, 50, 50, kWhite);
    DrawBitmap(surface.get(), 0, 0, 0, 0);
    DrawTarget empty;
    empty.kind = 1;
    EXPECT_EQ(DrawBegin(&empty), nullptr);  // a target without a surface leaves it closed
    DrawLine(0, 0, 50, 50, kWhite);
    EXPECT_TRUE(Untouched());
    ASSERT_TRUE(DrawBegin(&window));
    // The window's surface replaced while open (a resize): drawing goes to the new one.
    auto resized = raster::Create(40, 40, 32, true, true);
    window.surface = resized.get();
    DrawRect(0, 0, 3, 3, kYellow);
    EXPECT_EQ(raster::GetPixel(*resized, 1, 1), kYellow);
    EXPECT_TRUE(Untouched());
    // Taken away (the window closed): nothing is drawn any more, and the close still finishes.
    window.surface = nullptr;
    DrawRect(0, 0, 40, 40, kWhite);
    DrawLine(0, 5, 30, 0, kWhite);
    EXPECT_EQ(raster::GetPixel(*resized, 20, 20), 0u);
    DrawEnd();
    EXPECT_EQ(g_finished, 1);
}

TEST_F(DrawTest, RefusedSizesLeaveTheNumberFree) {
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

TEST_F(DrawTest, DrawTargetDrawsIntoTheImageUntilReleased) {
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
