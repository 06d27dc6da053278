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
        raster::FillRect(*surface, 0, 0, 520, 520, kGrey);
        window.kind = 1;
        window.surface = surface.get();
        window.finish = CountFinish;
    }
    void TearDown() override {
        DrawEnd();
        ImageReleaseAll();
        DisplaySetDepthForTesting(0);
    }
    uint32_t At(int x, int y) const { return raster::GetPixel(*surface, x, y); }
    std::set<std::pair<int, int>> Changed() const {
        std::set<std::pair<int, int>> out;
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
    DrawRect(3, 3, 1, 1, kWhite);
    DrawBitmap(surface.get(), 0, 0, 0, 0);
    DrawSetMode(DRAW_INVERT);
    EXPECT_TRUE(Changed().empty());
    DrawTarget empty;
    empty.kind = 1;
    EXPECT_EQ(DrawBegin(&empty), nullptr);  // a target without a surface leaves it closed
    DrawRect(0, 0, 50, 50, kWhite);
    EXPECT_TRUE(Changed().empty());
}

TEST_F(DrawTest, BeginAndEndRunTheFinishOnce) {
    EXPECT_EQ(DrawBegin(&window), surface.get());
    EXPECT_EQ(g_finished, 0);
    DrawEnd();
    EXPECT_EQ(g_finished, 1);
    DrawEnd();
    EXPECT_EQ(g_finished, 1);
    // A second DrawBegin closes the first target.
    DrawBegin(&window);
    DrawBegin(&window);
    EXPECT_EQ(g_finished, 2);
    DrawEnd();
    EXPECT_EQ(g_finished, 3);
}

TEST_F(DrawTest, OpeningTheWindowClosesAnImageTarget) {
    ASSERT_TRUE(ImageNew(101, 8, 8));
    DrawTarget* image = ImageDrawTarget(101);
    ASSERT_TRUE(DrawBegin(image));
    ASSERT_TRUE(DrawBegin(&window));
    EXPECT_EQ(DrawBegin(image), nullptr);  // its context was deleted
}

TEST_F(DrawTest, RectangleRules) {
    struct Case {
        int mode;
        int x, y, w, h;
        uint32_t colour;
        std::vector<std::pair<std::pair<int, int>, uint32_t>> probes;
        size_t changed;
    } cases[] = {
        // The preview outline: outer corners (13, 19) and (494, 496), inside untouched.
        {DRAW_OUTLINED,
         13,
         19,
         482,
         478,
         kBlack,
         {{{13, 19}, kBlack},
          {{494, 496}, kBlack},
          {{494, 19}, kBlack},
          {{13, 496}, kBlack},
          {{14, 20}, kGrey},
          {{495, 496}, kGrey},
          {{494, 497}, kGrey}},
         2 * 482 + 2 * 476},
        // Filled by default, in black as in colour.
        {0, 5, 5, 4, 3, kBlack, {{{6, 6}, kBlack}, {{8, 7}, kBlack}, {{9, 7}, kGrey}}, 12},
        {0, 5, 5, 4, 3, kYellow, {{{6, 6}, kYellow}, {{8, 7}, kYellow}}, 12},
        {DRAW_OUTLINED, 5, 5, 4, 3, kYellow, {{{6, 6}, kGrey}, {{8, 7}, kYellow}}, 10},
        // 1 x 1 sets exactly one pixel whatever the mode.
        {DRAW_OUTLINED, 7, 9, 1, 1, kYellow, {{{7, 9}, kYellow}}, 1},
        {DRAW_INVERT | DRAW_OUTLINED, 7, 9, 1, 1, kYellow, {{{7, 9}, kYellow}}, 1},
        // Invert: the colour does not matter, the pixels under the shape are inverted.
        {DRAW_INVERT, 2, 2, 3, 3, kYellow, {{{3, 3}, 0x7F7F7F}, {{4, 4}, 0x7F7F7F}}, 9},
        {DRAW_INVERT | DRAW_OUTLINED, 2, 2, 3, 3, kBlack, {{{3, 3}, kGrey}, {{2, 2}, 0x7F7F7F}}, 8},
    };
    for (const Case& c : cases) {
        raster::FillRect(*surface, 0, 0, 520, 520, kGrey);
        ASSERT_TRUE(DrawBegin(&window));
        DrawSetMode(c.mode);
        DrawRect(c.x, c.y, c.w, c.h, c.colour);
        DrawEnd();
        for (const auto& [p, colour] : c.probes)
            EXPECT_EQ(At(p.first, p.second), colour) << c.mode << " " << p.first << "," << p.second;
        EXPECT_EQ(Changed().size(), c.changed) << c.mode << " " << c.w << "x" << c.h;
    }
}

TEST_F(DrawTest, LineLeavesItsEndPoint) {
    ASSERT_TRUE(DrawBegin(&window));
    DrawLine(10, 10, 20, 0, kYellow);
    DrawLine(40, 40, 0, -5, kYellow);
    DrawEnd();
    for (int x = 10; x <= 29; ++x)
        EXPECT_EQ(At(x, 10), kYellow) << x;
    EXPECT_EQ(At(30, 10), kGrey);
    EXPECT_EQ(At(9, 10), kGrey);
    for (int y = 36; y <= 40; ++y)
        EXPECT_EQ(At(40, y), kYellow) << y;
    EXPECT_EQ(At(40, 35), kGrey);
    EXPECT_EQ(Changed().size(), 25u);
}

TEST_F(DrawTest, CircleRules) {
    ASSERT_TRUE(DrawBegin(&window));
    DrawSetMode(DRAW_OUTLINED);
    DrawCircle(100, 100, 1, kYellow);  // 2 x 2 square from (100, 100), even outlined
    DrawEnd();
    EXPECT_EQ(Changed(),
              (std::set<std::pair<int, int>>{{100, 100}, {101, 100}, {100, 101}, {101, 101}}));

    raster::FillRect(*surface, 0, 0, 520, 520, kGrey);
    ASSERT_TRUE(DrawBegin(&window));
    DrawSetMode(DRAW_OUTLINED);
    DrawCircle(200, 200, 6, kYellow);
    DrawEnd();
    auto ring = Changed();
    ASSERT_FALSE(ring.empty());
    for (auto [x, y] : ring) {
        EXPECT_GE(x, 194);
        EXPECT_LE(x, 205);
        EXPECT_GE(y, 194);
        EXPECT_LE(y, 205);
    }
    EXPECT_TRUE(ring.count({194, 200}));
    EXPECT_TRUE(ring.count({205, 200}));
    EXPECT_TRUE(ring.count({200, 194}));
    EXPECT_TRUE(ring.count({200, 205}));
    EXPECT_FALSE(ring.count({200, 200}));
    EXPECT_FALSE(ring.count({197, 200}));

    raster::FillRect(*surface, 0, 0, 520, 520, kGrey);
    ASSERT_TRUE(DrawBegin(&window));
    DrawCircle(200, 200, 6, kYellow);  // filled
    DrawEnd();
    auto disc = Changed();
    for (auto p : ring)
        EXPECT_TRUE(disc.count(p));
    EXPECT_TRUE(disc.count({200, 200}));
    EXPECT_TRUE(disc.count({197, 200}));
    EXPECT_GT(disc.size(), ring.size());
}

TEST_F(DrawTest, BitmapsCopiedOrSmoothed) {
    auto checker = raster::Create(4, 4, 24, false, false);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            raster::SetPixel(*checker, x, y, (x + y) % 2 ? kWhite : kBlack);
    ASSERT_TRUE(DrawBegin(&window));
    DrawBitmap(checker.get(), 10, 10, 0, 0);  // own size
    DrawBitmap(checker.get(), 30, 30, 4, 4);  // same size given
    DrawBitmap(checker.get(), 50, 50, 2, 2);  // reduced: averaged to mid grey
    DrawBitmap(checker.get(), 70, 70, 4, 0);  // one side 0: own size
    DrawEnd();
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            uint32_t want = (x + y) % 2 ? kWhite : kBlack;
            EXPECT_EQ(At(10 + x, 10 + y), want);
            EXPECT_EQ(At(30 + x, 30 + y), want);
            EXPECT_EQ(At(70 + x, 70 + y), want);
        }
    }
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(At(50 + x, 50 + y), kGrey);  // 127.5 rounds to 128
    EXPECT_EQ(At(52, 50), kGrey);
    EXPECT_EQ(At(14, 10), kGrey);
}

TEST_F(DrawTest, InvertModeUsesNotSrcEraseForBitmaps) {
    auto bm = raster::Create(2, 1, 24, true, false);
    raster::SetPixel(*bm, 0, 0, kBlack);
    raster::SetPixel(*bm, 1, 0, 0x0000FF);
    ASSERT_TRUE(DrawBegin(&window));
    DrawSetMode(DRAW_INVERT);
    DrawBitmap(bm.get(), 5, 5, 0, 0);
    DrawEnd();
    EXPECT_EQ(At(5, 5), 0x7F7F7Fu);  // ~(0 | 0x80..)
    EXPECT_EQ(At(6, 5), 0x7F7F00u);  // ~(0xFF red | grey)
}

TEST_F(DrawTest, ModeStartsAtZeroOnEveryBegin) {
    ASSERT_TRUE(DrawBegin(&window));
    DrawSetMode(DRAW_OUTLINED | DRAW_INVERT);
    DrawEnd();
    ASSERT_TRUE(DrawBegin(&window));
    DrawRect(0, 0, 3, 3, kYellow);
    DrawEnd();
    EXPECT_EQ(At(1, 1), kYellow);
}

// The selection frame over a 480 x 320 selection at the preview's corner, drawn with the same
// calls as the shell: frame with shadow, centre ring and cross, corner handle.
TEST_F(DrawTest, SelectionFramePixels) {
    const int left = 0, top = 0, width = 480, height = 320;
    const int cx = left + width / 2 + 14, cy = top + height / 2 + 20;  // (254, 180)
    ASSERT_TRUE(DrawBegin(&window));
    DrawSetMode(DRAW_OUTLINED);
    DrawCircle(left + width + 10, top + height + 16, 4, kBlack);
    DrawRect(left + 15, top + 21, width, height, kBlack);
    DrawRect(left + 14, top + 20, width, height, kYellow);
    DrawCircle(cx + 1, cy + 1, 6, kBlack);
    DrawCircle(cx, cy, 6, kYellow);
    DrawLine(cx - 9, cy + 1, 20, 0, kBlack);
    DrawLine(cx + 1, cy - 9, 0, 20, kBlack);
    DrawLine(cx - 10, cy, 20, 0, kYellow);
    DrawLine(cx, cy - 10, 0, 20, kYellow);
    DrawSetMode(0);
    DrawCircle(left + width + 10, top + height + 16, 3, kYellow);
    DrawEnd();

    struct Probe {
        int x, y;
        uint32_t colour;
    } probes[] = {
        {14, 20, kYellow},   {493, 20, kYellow},  {14, 339, kYellow},  {493, 339, kYellow},
        {15, 21, kBlack},    {494, 21, kBlack},   {15, 340, kBlack},   {494, 340, kBlack},
        {494, 20, kGrey},    {14, 340, kGrey},    {16, 22, kGrey},     {300, 300, kGrey},
        {244, 180, kYellow}, {263, 180, kYellow}, {264, 180, kGrey},   {243, 180, kGrey},
        {254, 170, kYellow}, {254, 189, kYellow}, {254, 190, kGrey},   {245, 181, kBlack},
        {264, 181, kBlack},  {255, 171, kBlack},  {255, 190, kBlack},  {254, 181, kYellow},
        {248, 180, kYellow}, {259, 180, kYellow}, {260, 181, kBlack},  {250, 180, kYellow},
        {251, 178, kGrey},   {490, 336, kYellow}, {487, 336, kYellow}, {486, 336, kBlack},
        {490, 332, kBlack},  {493, 336, kYellow}, {485, 336, kGrey},
    };
    for (const Probe& p : probes)
        EXPECT_EQ(At(p.x, p.y), p.colour) << p.x << "," << p.y;
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
