#include "imagelib/draw.h"

#include <gtest/gtest.h>

#include <set>

#include "imagelib/image.h"
#include "platform/display.h"

namespace {

constexpr uint32_t kYellow = 0x00FFFF;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kGrey = 0x808080;

using Points = std::set<std::pair<int, int>>;

int g_finished = 0;
void CountFinish(DrawTarget*) {
    ++g_finished;
}

// A window-like target: a client-area bitmap whose finish would show it on screen.
class DrawTest : public testing::Test {
protected:
    void SetUp() override {
        DisplaySetDepthForTesting(24);
        DrawInit();
        ImageInit();
        g_finished = 0;
        surface = raster::Create(520, 520, 32, true, true);
        window.kind = 1;
        window.surface = surface.get();
        window.finish = CountFinish;
        Clear();
    }
    void TearDown() override {
        DrawEnd();
        ImageReleaseAll();
        DisplaySetDepthForTesting(0);
    }
    void Clear() { raster::FillRect(*surface, 0, 0, 520, 520, kGrey); }
    uint32_t At(int x, int y) const { return raster::GetPixel(*surface, x, y); }
    Points Changed() const {
        Points out;
        for (int y = 0; y < surface->height; ++y)
            for (int x = 0; x < surface->width; ++x)
                if (At(x, y) != kGrey) out.emplace(x, y);
        return out;
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
    EXPECT_TRUE(Changed().empty());
    ASSERT_TRUE(DrawBegin(&window));
    // The window's surface replaced while open (a resize): drawing goes to the new one.
    auto resized = raster::Create(40, 40, 32, true, true);
    window.surface = resized.get();
    DrawRect(0, 0, 3, 3, kYellow);
    EXPECT_EQ(raster::GetPixel(*resized, 1, 1), kYellow);
    EXPECT_TRUE(Changed().empty());
    // Taken away (the window closed): nothing is drawn any more, and the close still finishes.
    window.surface = nullptr;
    DrawRect(0, 0, 40, 40, kWhite);
    DrawLine(0, 5, 30, 0, kWhite);
    EXPECT_EQ(raster::GetPixel(*resized, 20, 20), 0u);
    DrawEnd();
    EXPECT_EQ(g_finished, 1);
}
