#include "imagelib/draw.h"

#include <gtest/gtest.h>

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

TEST_F(DrawTest, RectangleRules) {
    struct Probe {
        int x, y;
        uint32_t colour;
    };
    struct Case {
        int mode, x, y, w, h;
        uint32_t colour;
        size_t changed;
        std::vector<Probe> probes;
    } cases[] = {
        // The preview outline: outer corners (13, 19) and (494, 496), inside untouched.
        {DRAW_OUTLINED,
         13,
         19,
         482,
         478,
         kBlack,
         2 * 482 + 2 * 476,
         {{13, 19, kBlack},
          {494, 496, kBlack},
          {494, 19, kBlack},
          {13, 496, kBlack},
          {14, 20, kGrey},
          {495, 496, kGrey},
          {494, 497, kGrey}}},
        {0, 5, 5, 4, 3, kBlack, 12, {{6, 6, kBlack}, {8, 7, kBlack}, {9, 7, kGrey}}},
        {DRAW_OUTLINED, 5, 5, 4, 3, kYellow, 10, {{6, 6, kGrey}, {8, 7, kYellow}}},
        // 1 x 1 sets exactly one pixel whatever the mode.
        {DRAW_OUTLINED, 7, 9, 1, 1, kYellow, 1, {{7, 9, kYellow}}},
        {DRAW_INVERT | DRAW_OUTLINED, 7, 9, 1, 1, kYellow, 1, {{7, 9, kYellow}}},
        // Invert: the colour does not matter, the pixels under the shape are inverted.
        {DRAW_INVERT, 2, 2, 3, 3, kYellow, 9, {{3, 3, kInverted}, {4, 4, kInverted}}},
        {DRAW_INVERT | DRAW_OUTLINED, 2, 2, 3, 3, kBlack, 8, {{3, 3, kGrey}, {2, 2, kInverted}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.mode << " " << c.w << "x" << c.h);
        Begin(c.mode);
        DrawRect(c.x, c.y, c.w, c.h, c.colour);
        DrawEnd();
        for (const Probe& p : c.probes)
            EXPECT_EQ(At(p.x, p.y), p.colour) << p.x << "," << p.y;
        EXPECT_EQ(Changed().size(), c.changed);
    }
}

TEST_F(DrawTest, LineLeavesItsEndPoint) {
    Begin(0);
    DrawLine(10, 10, 20, 0, kYellow);
    DrawLine(40, 40, 0, -5, kYellow);
    DrawEnd();
    Points want;
    for (int x = 10; x <= 29; ++x)
        want.emplace(x, 10);
    for (int y = 36; y <= 40; ++y)
        want.emplace(40, y);
    EXPECT_EQ(Changed(), want);
}

TEST_F(DrawTest, CircleRules) {
    Begin(DRAW_OUTLINED);
    DrawCircle(100, 100, 1, kYellow);  // 2 x 2 square from (100, 100), even outlined
    DrawEnd();
    EXPECT_EQ(Changed(), (Points{{100, 100}, {101, 100}, {100, 101}, {101, 101}}));
    // Radius 6 at (200, 200): a ring inside the box (194, 194)-(205, 205) touching its sides,
    // filled it covers the ring and its inside.
    Points shapes[2];
    for (int mode : {DRAW_OUTLINED, 0}) {
        Begin(mode);
        DrawCircle(200, 200, 6, kYellow);
        DrawEnd();
        shapes[mode ? 0 : 1] = Changed();
    }
    const Points &ring = shapes[0], &disc = shapes[1];
    for (auto [x, y] : ring) {
        EXPECT_TRUE(x >= 194 && x <= 205 && y >= 194 && y <= 205) << x << "," << y;
        EXPECT_TRUE(disc.count({x, y}));
    }
    for (auto p : Points{{194, 200}, {205, 200}, {200, 194}, {200, 205}})
        EXPECT_TRUE(ring.count(p));
    EXPECT_FALSE(ring.count({197, 200}));
    EXPECT_TRUE(disc.count({197, 200}));
}

TEST_F(DrawTest, BitmapsCopiedSmoothedOrInverted) {
    auto checker = raster::Create(4, 4, 24, false, false);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            raster::SetPixel(*checker, x, y, (x + y) % 2 ? kWhite : kBlack);
    Begin(0);
    DrawBitmap(checker.get(), 10, 10, 0, 0);  // own size
    DrawBitmap(checker.get(), 30, 30, 4, 0);  // one side 0: own size
    DrawBitmap(checker.get(), 50, 50, 2, 2);  // reduced: averaged to mid grey
    DrawEnd();
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(At(10 + x, 10 + y), (x + y) % 2 ? kWhite : kBlack);
            EXPECT_EQ(At(30 + x, 30 + y), (x + y) % 2 ? kWhite : kBlack);
        }
    EXPECT_EQ(Changed().size(), 32u);  // the reduced copy is grey: 127.5 rounds to 128

    // Invert mode draws bitmaps as NOTSRCERASE: ~(source | destination).
    auto bm = raster::Create(2, 1, 24, true, false);
    raster::SetPixel(*bm, 0, 0, kBlack);
    raster::SetPixel(*bm, 1, 0, 0x0000FF);
    Begin(DRAW_INVERT);
    DrawBitmap(bm.get(), 5, 5, 0, 0);
    DrawEnd();
    EXPECT_EQ(At(5, 5), kInverted);
    EXPECT_EQ(At(6, 5), 0x7F7F00u);
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
