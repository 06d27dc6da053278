#include "imagelib/draw.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "imagelib/image.h"
#include "platform/display.h"

namespace {

constexpr uint32_t kBlack = 0;
constexpr uint32_t kYellow = 0x00FFFF;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kGrey = 0x808080;
constexpr uint32_t kInverted = 0x7F7F7F;  // grey inverted

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
    // Clears the surface, opens the window in `mode` and leaves it open for the caller's calls.
    void Begin(int mode) {
        Clear();
        ASSERT_TRUE(DrawBegin(&window));
        DrawSetMode(mode);
    }
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

TEST_F(DrawTest, NothingIsDrawnWithoutATarget) {
    EXPECT_EQ(DrawBegin(nullptr), nullptr);
    DrawRect(0, 0, 50, 50, kWhite);
    DrawLine(0, 0, 50, 50, kWhite);
    DrawCircle(20, 20, 5, kWhite);
    DrawBitmap(surface.get(), 0, 0, 0, 0);
    DrawTarget empty;
    empty.kind = 1;
    EXPECT_EQ(DrawBegin(&empty), nullptr);  // a target without a surface leaves it closed
    DrawRect(0, 0, 50, 50, kWhite);
    EXPECT_TRUE(Changed().empty());
}

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

// Modes map onto the raster's shapes: outlined or filled, copied or inverted; a 1 x 1 rectangle
// or a radius-1 circle is the smallest shape whatever the mode.
TEST_F(DrawTest, ModesShapesAndBitmaps) {
    struct Case {
        int mode;
        std::function<void()> draw;
        size_t changed;
        uint32_t probe;  // the colour at (6, 6)
    } cases[] = {
        {0, [] { DrawRect(5, 5, 4, 3, kBlack); }, 12, kBlack},
        {DRAW_OUTLINED, [] { DrawRect(5, 5, 4, 3, kYellow); }, 10, kGrey},
        {DRAW_INVERT | DRAW_OUTLINED, [] { DrawRect(6, 6, 1, 1, kYellow); }, 1, kYellow},
        {DRAW_INVERT, [] { DrawRect(5, 5, 3, 3, kYellow); }, 9, kInverted},
        {DRAW_OUTLINED, [] { DrawCircle(6, 6, 1, kYellow); }, 4, kYellow},
        {0, [] { DrawLine(6, 6, 10, 0, kYellow); }, 10, kYellow},  // to (16, 6), end left out
    };
    for (const Case& c : cases) {
        Begin(c.mode);
        c.draw();
        DrawEnd();
        EXPECT_EQ(Changed().size(), c.changed) << c.mode;
        EXPECT_EQ(At(6, 6), c.probe) << c.mode;
    }
    // Bitmaps: own size when a side is 0, smoothed when reduced; inverted as ~(source | dest).
    auto checker = raster::Create(4, 4, 24, false, false);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            raster::SetPixel(*checker, x, y, (x + y) % 2 ? kWhite : kBlack);
    Begin(0);
    DrawBitmap(checker.get(), 30, 30, 4, 0);
    DrawBitmap(checker.get(), 50, 50, 2, 2);  // averaged to mid grey: 127.5 rounds to 128
    DrawEnd();
    EXPECT_EQ(At(31, 30), kWhite);
    EXPECT_EQ(Changed().size(), 16u);
    Begin(DRAW_INVERT);
    DrawBitmap(checker.get(), 5, 5, 0, 0);
    DrawEnd();
    EXPECT_EQ(At(5, 5), kInverted);
    EXPECT_EQ(At(6, 5), kBlack);
}

TEST_F(DrawTest, FollowsTheSurfaceItsOwnerKeeps) {
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
