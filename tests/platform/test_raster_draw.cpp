// Pixel rules of the raster's shapes.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "platform/raster.h"

using raster::Bitmap;
using raster::Mix;

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kRed = 0x0000FF;

std::unique_ptr<Bitmap> Make(int w, int h, int bpp = 32) {
    auto bm = raster::Create(w, h, bpp, true, bpp == 32);
    EXPECT_TRUE(bm);
    return bm;
}

std::set<std::pair<int, int>> Marked(const Bitmap& bm, uint32_t background = 0) {
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < bm.height; ++y)
        for (int x = 0; x < bm.width; ++x)
            if (raster::GetPixel(bm, x, y) != background) out.emplace(x, y);
    return out;
}

}  // namespace

TEST(RasterFill, FillIsClippedAndRightBottomExclusive) {
    struct Case {
        int x, y, w, h;
        int count;
    } cases[] = {{2, 3, 4, 5, 20},
                 {-2, -2, 4, 4, 4},
                 {8, 8, 10, 10, 4},
                 {0, 0, 0, 5, 0},
                 {5, 5, -2, 3, 0},
                 {-100, 0, 50, 50, 0},
                 {INT32_MAX - 1, 0, 100, 1, 0}};
    for (const Case& c : cases) {
        auto bm = Make(10, 10);
        raster::FillRect(*bm, c.x, c.y, c.w, c.h, kWhite);
        EXPECT_EQ(static_cast<int>(Marked(*bm).size()), c.count) << c.x << "," << c.y;
    }
    auto bm = Make(10, 10);
    raster::FillRect(*bm, 2, 3, 4, 5, kWhite);
    EXPECT_EQ(raster::GetPixel(*bm, 2, 3), kWhite);
    EXPECT_EQ(raster::GetPixel(*bm, 5, 7), kWhite);
    EXPECT_EQ(raster::GetPixel(*bm, 6, 7), 0u);
    EXPECT_EQ(raster::GetPixel(*bm, 5, 8), 0u);
}

TEST(RasterRectangle, OutlineCornersAndFill) {
    for (int bpp : {16, 24, 32}) {
        auto bm = Make(500, 500, bpp);
        raster::Rectangle(*bm, 13, 19, 482, 478, kWhite, false, 0);
        EXPECT_EQ(raster::GetPixel(*bm, 13, 19), kWhite);
        EXPECT_EQ(raster::GetPixel(*bm, 494, 496), kWhite);
        EXPECT_EQ(raster::GetPixel(*bm, 494, 19), kWhite);
        EXPECT_EQ(raster::GetPixel(*bm, 13, 496), kWhite);
        EXPECT_EQ(raster::GetPixel(*bm, 495, 496), 0u);
        EXPECT_EQ(raster::GetPixel(*bm, 494, 497), 0u);
        EXPECT_EQ(raster::GetPixel(*bm, 12, 19), 0u);
        EXPECT_EQ(raster::GetPixel(*bm, 14, 20), 0u);  // not filled
        EXPECT_EQ(Marked(*bm).size(), size_t{2 * 482 + 2 * 476}) << bpp;
    }
    auto bm = Make(20, 20);
    raster::Rectangle(*bm, 2, 2, 6, 5, kWhite, true, kRed);
    EXPECT_EQ(raster::GetPixel(*bm, 2, 2), kWhite);
    EXPECT_EQ(raster::GetPixel(*bm, 3, 3), kRed);
    EXPECT_EQ(raster::GetPixel(*bm, 6, 5), kRed);
    EXPECT_EQ(raster::GetPixel(*bm, 7, 5), kWhite);
    EXPECT_EQ(raster::GetPixel(*bm, 6, 6), kWhite);
    EXPECT_EQ(Marked(*bm).size(), 30u);
}

TEST(RasterRectangle, InvertTouchesEveryPixelOnce) {
    // Thin and small rectangles share their edges; each covered pixel must flip exactly once.
    struct Case {
        int w, h;
        bool filled;
        size_t count;
    } cases[] = {{1, 1, true, 1},  {1, 5, true, 5}, {5, 1, false, 5}, {2, 2, true, 4},
                 {3, 3, false, 8}, {3, 3, true, 9}, {6, 4, true, 24}, {6, 4, false, 16}};
    for (const Case& c : cases) {
        auto bm = Make(12, 12);
        raster::Rectangle(*bm, 3, 3, c.w, c.h, kRed, c.filled, kRed, Mix::Invert);
        auto marked = Marked(*bm);
        EXPECT_EQ(marked.size(), c.count) << c.w << "x" << c.h;
        for (auto [x, y] : marked)
            EXPECT_EQ(raster::GetPixel(*bm, x, y), kWhite);
        raster::Rectangle(*bm, 3, 3, c.w, c.h, kRed, c.filled, kRed, Mix::Invert);
        EXPECT_TRUE(Marked(*bm).empty());
    }
}

TEST(RasterRectangle, NegativeSizesAreNormalised) {
    auto a = Make(20, 20), b = Make(20, 20);
    raster::Rectangle(*a, 12, 10, -6, -4, kWhite, true, kWhite);
    raster::Rectangle(*b, 6, 6, 6, 4, kWhite, true, kWhite);
    EXPECT_EQ(Marked(*a), Marked(*b));
}

TEST(RasterLine, EndPointIsNotDrawn) {
    struct Case {
        int x0, y0, x1, y1;
        std::vector<std::pair<int, int>> pixels;
    } cases[] = {
        {10, 10, 13, 10, {{10, 10}, {11, 10}, {12, 10}}},
        {10, 10, 7, 10, {{10, 10}, {9, 10}, {8, 10}}},
        {5, 2, 5, 5, {{5, 2}, {5, 3}, {5, 4}}},
        {5, 5, 5, 2, {{5, 5}, {5, 4}, {5, 3}}},
        {1, 1, 4, 4, {{1, 1}, {2, 2}, {3, 3}}},
        {4, 1, 1, 4, {{4, 1}, {3, 2}, {2, 3}}},
        {0, 0, 4, 2, {{0, 0}, {1, 1}, {2, 1}, {3, 2}}},
        {0, 0, 2, 4, {{0, 0}, {1, 1}, {1, 2}, {2, 3}}},
        {3, 3, 3, 3, {}},
    };
    for (const Case& c : cases) {
        auto bm = Make(16, 16);
        raster::Line(*bm, c.x0, c.y0, c.x1, c.y1, kWhite);
        std::set<std::pair<int, int>> want(c.pixels.begin(), c.pixels.end());
        EXPECT_EQ(Marked(*bm), want) << c.x0 << "," << c.y0 << " -> " << c.x1 << "," << c.y1;
    }
}

TEST(RasterLine, OnePixelPerMajorStepAndConnected) {
    for (auto [dx, dy] :
         std::vector<std::pair<int, int>>{{37, 11}, {-23, 40}, {9, -31}, {-50, -50}}) {
        auto bm = Make(120, 120);
        raster::Line(*bm, 60, 60, 60 + dx, 60 + dy, kWhite);
        auto marked = Marked(*bm);
        EXPECT_EQ(marked.size(), static_cast<size_t>(std::max(std::abs(dx), std::abs(dy))));
        EXPECT_TRUE(marked.count({60, 60}));
        EXPECT_FALSE(marked.count({60 + dx, 60 + dy}));
        for (auto [x, y] : marked) {  // every pixel but the last has an 8-neighbour
            bool neighbour = false;
            for (int ny = -1; ny <= 1; ++ny)
                for (int nx = -1; nx <= 1; ++nx)
                    if ((nx || ny) && marked.count({x + nx, y + ny})) neighbour = true;
            EXPECT_TRUE(neighbour) << x << "," << y;
        }
    }
}

TEST(RasterLine, ClippedLinesMatchTheUnclippedOnes) {
    // Drawn on a small bitmap that sees a window of a large one, shifted by (-100, -80).
    struct Case {
        int x0, y0, x1, y1;
    } cases[] = {
        {0, 0, 300, 200}, {290, 10, 5, 190}, {150, 0, 151, 299}, {-1000000, 90, 1000000, 95}};
    for (const Case& c : cases) {
        auto big = Make(400, 300), small = Make(50, 40);
        raster::Line(*big, c.x0, c.y0, c.x1, c.y1, kWhite);
        raster::Line(*small, c.x0 - 100, c.y0 - 80, c.x1 - 100, c.y1 - 80, kWhite);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 50; ++x)
                ASSERT_EQ(raster::GetPixel(*small, x, y), raster::GetPixel(*big, x + 100, y + 80))
                    << x << "," << y;
    }
    // A line from far away crosses the bitmap without visiting every far-off step.
    auto bm = Make(10, 10);
    raster::Line(*bm, INT32_MIN, 5, INT32_MAX, 5, kWhite);
    EXPECT_EQ(Marked(*bm).size(), 10u);
}

TEST(RasterLine, InvertFlipsEachPixelOnce) {
    auto bm = Make(30, 30);
    raster::Line(*bm, 2, 3, 27, 20, kRed, Mix::Invert);
    for (auto [x, y] : Marked(*bm))
        EXPECT_EQ(raster::GetPixel(*bm, x, y), kWhite);
    raster::Line(*bm, 2, 3, 27, 20, kRed, Mix::Invert);
    EXPECT_TRUE(Marked(*bm).empty());
}

TEST(RasterEllipse, StaysInsideItsBoxAndIsSymmetric) {
    for (auto [w, h] : std::vector<std::pair<int, int>>{
             {12, 12}, {8, 8}, {6, 6}, {4, 4}, {3, 3}, {15, 7}, {2, 9}, {1, 5}, {40, 23}}) {
        for (bool filled : {false, true}) {
            auto bm = Make(60, 60);
            raster::Ellipse(*bm, 10, 10, 10 + w, 10 + h, kWhite, filled, kRed);
            auto marked = Marked(*bm);
            ASSERT_FALSE(marked.empty());
            int minX = 99, maxX = -1, minY = 99, maxY = -1;
            for (auto [x, y] : marked) {
                minX = std::min(minX, x), maxX = std::max(maxX, x);
                minY = std::min(minY, y), maxY = std::max(maxY, y);
                // Mirror images across both axes of the box.
                EXPECT_TRUE(marked.count({2 * 10 + w - 1 - x, y})) << w << "x" << h;
                EXPECT_TRUE(marked.count({x, 2 * 10 + h - 1 - y})) << w << "x" << h;
            }
            // Touches all four sides of the box, never beyond.
            EXPECT_EQ(minX, 10);
            EXPECT_EQ(maxX, 10 + w - 1);
            EXPECT_EQ(minY, 10);
            EXPECT_EQ(maxY, 10 + h - 1);
        }
    }
}

TEST(RasterEllipse, RingOfRadiusSixIsThinAndClosed) {
    auto bm = Make(30, 30);
    raster::Ellipse(*bm, 9, 9, 21, 21, kWhite, false, 0);  // centre (15, 15), radius 6
    auto ring = Marked(*bm);
    // The centre is empty, the four extreme points are on the ring.
    EXPECT_FALSE(ring.count({15, 15}));
    for (auto p : {std::pair{9, 15}, std::pair{20, 15}, std::pair{15, 9}, std::pair{15, 20}})
        EXPECT_TRUE(ring.count(p)) << p.first << "," << p.second;
    // Every row that has ring pixels has at most two runs, and the ring encloses the centre:
    // walking outwards from the centre in each axis direction meets it.
    for (int y = 9; y <= 20; ++y) {
        int runs = 0;
        for (int x = 9; x <= 20; ++x)
            if (ring.count({x, y}) && !ring.count({x - 1, y})) ++runs;
        EXPECT_GE(runs, 1);
        EXPECT_LE(runs, 2);
    }
    // Filled: the interior gets the brush and the outline is the same ring.
    auto filled = Make(30, 30);
    raster::Ellipse(*filled, 9, 9, 21, 21, kWhite, true, kRed);
    EXPECT_EQ(raster::GetPixel(*filled, 15, 15), kRed);
    for (auto p : ring)
        EXPECT_EQ(raster::GetPixel(*filled, p.first, p.second), kWhite);
    for (auto p : Marked(*filled)) {
        if (!ring.count(p)) {
            EXPECT_EQ(raster::GetPixel(*filled, p.first, p.second), kRed);
        }
    }
}

TEST(RasterEllipse, ClippedAndDegenerateBoxes) {
    auto bm = Make(10, 10);
    raster::Ellipse(*bm, 5, 5, 5, 20, kWhite, true, kWhite);         // zero width
    raster::Ellipse(*bm, -40, -40, -20, -20, kWhite, true, kWhite);  // outside
    EXPECT_TRUE(Marked(*bm).empty());
    raster::Ellipse(*bm, -20, -20, 30, 30, kWhite, true, kWhite);  // covers all
    EXPECT_EQ(Marked(*bm).size(), 100u);
    auto a = Make(30, 30), b = Make(30, 30);
    raster::Ellipse(*a, 20, 25, 5, 3, kWhite, true, kRed);
    raster::Ellipse(*b, 5, 3, 20, 25, kWhite, true, kRed);
    EXPECT_EQ(Marked(*a), Marked(*b));
}
