// Bitmaps of the raster: strides, the pixel rules of its shapes, copying and
// stretching (checked against straightforward references) and the failure of huge allocations.
#include "platform/raster.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <random>
#include <set>
#include <tuple>
#include <vector>

using raster::Mix;
using raster::StretchMode;

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kRed = 0x0000FF;

std::unique_ptr<raster::Bitmap> Make(int w, int h, int bpp = 32, bool topDown = true,
                                     bool screen = true) {
    auto bm = raster::Create(w, h, bpp, topDown, screen && bpp == 32);
    EXPECT_TRUE(bm);
    return bm;
}

// A bitmap of random bytes (fourth bytes included).
std::unique_ptr<raster::Bitmap> Random(int w, int h, int bpp, bool topDown, unsigned seed) {
    auto bm = raster::Create(w, h, bpp, topDown, false);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int i = 0; i < w * bm->BytesPerPixel(); ++i)
            bm->Row(y)[i] = rng() & 0xFF;
    return bm;
}

// Pixels that differ from `background`.
std::set<std::pair<int, int>> Marked(const raster::Bitmap& bm, uint32_t background = 0) {
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < bm.height; ++y)
        for (int x = 0; x < bm.width; ++x)
            if (raster::GetPixel(bm, x, y) != background) out.emplace(x, y);
    return out;
}

// The colours of the w x h rectangle at (x0, y0), row by row.
std::vector<uint32_t> Pixels(const raster::Bitmap& bm, int x0, int y0, int w, int h) {
    std::vector<uint32_t> out;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x)
            out.push_back(raster::GetPixel(bm, x, y));
    return out;
}
std::vector<uint32_t> Pixels(const raster::Bitmap& bm) {
    return Pixels(bm, 0, 0, bm.width, bm.height);
}

// Channel c (0 blue, 1 green, 2 red) of pixel (x, y).
int Channel(const raster::Bitmap& bm, int x, int y, int c) {
    return (raster::GetPixel(bm, x, y) >> (8 * (2 - c))) & 0xFF;
}

// The exact area average of the source pixels under destination pixel (x, y), in doubles.
double AreaAverage(const raster::Bitmap& src, int dw, int dh, int x, int y, int c) {
    double sx = static_cast<double>(src.width) / dw, sy = static_cast<double>(src.height) / dh;
    double x0 = x * sx, x1 = (x + 1) * sx, y0 = y * sy, y1 = (y + 1) * sy;
    double sum = 0;
    for (int j = static_cast<int>(std::floor(y0)); j < std::ceil(y1) && j < src.height; ++j) {
        double wy = std::min<double>(j + 1, y1) - std::max<double>(j, y0);
        for (int i = static_cast<int>(std::floor(x0)); i < std::ceil(x1) && i < src.width; ++i) {
            double wx = std::min<double>(i + 1, x1) - std::max<double>(i, x0);
            sum += wx * wy * Channel(src, i, j, c);
        }
    }
    return sum / (sx * sy);
}

}  // namespace

TEST(RasterCreate, StridesAndRefusedSizesRefusedBeforeAnyAllocation) {
    const int strides[][3] = {{1, 24, 4}, {5, 24, 16}, {3, 16, 8}, {0, 24, 0}, {INT_MAX, 32, 0}};
    for (auto [width, bpp, stride] : strides)
        EXPECT_EQ(raster::StrideFor(width, bpp), static_cast<size_t>(stride)) << width;
    const std::tuple<int, int, int, bool> cases[] = {
        {1, 1, 24, true},        {32767, 1, 24, true},    {32767, 32767, 16, true},
        {32768, 1, 24, false},   {1, 32768, 32, false},   {0, 10, 24, false},
        {-5, 10, 32, false},     {10, 10, 8, false},      {100, 100, 12, false},
        {INT_MAX, 1, 32, false}, {1, INT_MAX, 32, false}, {40000, 40000, 32, false}};
    for (auto [w, h, bpp, ok] : cases) {
        EXPECT_EQ(raster::SizeAllowed(w, h, bpp), ok) << w << "x" << h << "x" << bpp;
        if (ok) continue;
        // A refused size never reaches the pixel allocation: the failure set up for the next
        // one is still waiting afterwards.
        raster::FailAllocationForTest(1);
        EXPECT_FALSE(raster::Create(w, h, bpp, true, false));
        EXPECT_FALSE(raster::Create(1, 1, 24, true, false)) << w << "x" << h;
        raster::FailAllocationForTest(0);
    }
}

TEST(RasterCreateDeathTest, AllocationFailureGivesNullNotACrash) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer cannot run under a small address-space limit";
#endif
    // In a child limited to a small address space, a 4 GiB bitmap cannot be had.
    auto tryHuge = [] {
        rlimit lim{512u << 20, 512u << 20};
        setrlimit(RLIMIT_AS, &lim);
        std::exit(raster::Create(32767, 32767, 32, true, true) ? 1 : 0);
    };
    EXPECT_EXIT(tryHuge(), testing::ExitedWithCode(0), "");
}

// Every size of pixel memory, from new[] or from a mapping of its own, is zero-filled when asked,
// writable to its last byte, and given back through its release; a large picture starts at a
// huge-page boundary so that the kernel can back it with huge pages.
TEST(RasterMemory, ZeroedWritableAndReleasedAtEverySize) {
    constexpr size_t kMiB = size_t{1} << 20;
    const std::pair<size_t, bool> cases[] = {
        {0, false},       {1, false},           {4096, false},          {8 * kMiB - 1, false},
        {8 * kMiB, true}, {8 * kMiB + 1, true}, {6000 * 4000 * 3, true}};
    for (auto [size, large] : cases) {
        // Dirty the heap first, so that a zero-filled answer is not zero by chance.
        for (int i = 0; i < 4; ++i) {
            raster::PixelMemory dirty = raster::AllocatePixels(size, false);
            std::fill_n(dirty.get(), std::max<size_t>(size, 1), uint8_t{0xA5});
        }
        raster::PixelMemory m = raster::AllocatePixels(size, true);
        ASSERT_TRUE(m) << size;
        EXPECT_EQ(std::count(m.get(), m.get() + size, 0), static_cast<long>(size)) << size;
        m[std::max<size_t>(size, 1) - 1] = 1;
#if !defined(__SANITIZE_ADDRESS__)
        EXPECT_EQ(large, reinterpret_cast<uintptr_t>(m.get()) % (2 * kMiB) == 0) << size;
        EXPECT_EQ(large, m.get_deleter().release != nullptr) << size;
#endif
    }
    // Memory from elsewhere (a mapping shared with another process, say) goes back its own way.
    static std::vector<std::pair<uint8_t*, size_t>> released;
    uint8_t own[16];
    {
        raster::Bitmap bm;
        bm.bits = raster::PixelMemory(
            own,
            raster::PixelRelease{
                [](uint8_t* bits, size_t size) { released.emplace_back(bits, size); }, sizeof own});
    }
    EXPECT_EQ(released, (std::vector<std::pair<uint8_t*, size_t>>{{own, sizeof own}}));
}

TEST(RasterShapes, PixelCountsAndInvertFlipsEveryPixelOnce) {
    // Right and bottom edges are exclusive and everything is clipped. Inverting covers the same
    // pixels, each once even where thin outlines share their edges, so a second time undoes it.
    // F a fill, L a line, E a filled ellipse (x, y and x, y); R a filled, O an outlined rectangle
    // of width x height at (3, 4).
    struct Case {
        char shape;
        int a, b, c, d;
        size_t count;
    } cases[] = {
        {'F', 2, 3, 4, 5, 20},        {'F', -2, -2, 4, 4, 4},         {'F', 28, 28, 9, 9, 4},
        {'F', 5, 5, -2, 3, 0},        {'F', INT_MAX - 1, 0, 9, 1, 0}, {'O', 20, 18, 0, 0, 72},
        {'R', 6, 5, 0, 0, 30},        {'R', 1, 1, 0, 0, 1},           {'R', 1, 5, 0, 0, 5},
        {'O', 5, 1, 0, 0, 5},         {'O', 3, 3, 0, 0, 8},           {'L', 2, 3, 27, 20, 25},
        {'L', 20, 2, 7, 26, 24},      {'L', 25, 25, 5, 5, 20},        {'E', 5, 5, 5, 20, 0},
        {'E', -40, -40, -20, -20, 0}, {'E', -30, -30, 60, 60, 900}};
    auto draw = [](raster::Bitmap& bm, const Case& c, Mix m) {
        if (c.shape == 'F') return raster::FillRect(bm, c.a, c.b, c.c, c.d, kWhite, m);
        if (c.shape == 'L') return raster::Line(bm, c.a, c.b, c.c, c.d, kWhite, m);
        if (c.shape == 'E') return raster::Ellipse(bm, c.a, c.b, c.c, c.d, kWhite, true, kWhite, m);
        raster::Rectangle(bm, 3, 4, c.a, c.b, kWhite, c.shape == 'R', kRed, m);
    };
    for (int bpp : {16, 24, 32})
        for (size_t i = 0; i < std::size(cases); ++i) {
            auto copy = Make(30, 30, bpp), inverted = Make(30, 30, bpp);
            draw(*copy, cases[i], Mix::Copy);
            draw(*inverted, cases[i], Mix::Invert);
            EXPECT_EQ(Marked(*copy).size(), cases[i].count) << "case " << i << ", " << bpp;
            EXPECT_EQ(Marked(*inverted), Marked(*copy)) << "case " << i << ", " << bpp;
            EXPECT_EQ(Marked(*inverted, kWhite).size(), 900 - cases[i].count) << "all white";
            draw(*inverted, cases[i], Mix::Invert);
            EXPECT_TRUE(Marked(*inverted).empty()) << "case " << i << ", " << bpp;
        }
    // Negative sizes and swapped corners are normalised.
    auto a = Make(30, 30), b = Make(30, 30);
    raster::Rectangle(*a, 2, 2, 6, 5, kWhite, true, kRed);
    raster::Rectangle(*b, 8, 7, -6, -5, kWhite, true, kRed);
    raster::Ellipse(*a, 20, 25, 5, 3, kWhite, true, kRed);
    raster::Ellipse(*b, 5, 3, 20, 25, kWhite, true, kRed);
    EXPECT_EQ(Pixels(*a), Pixels(*b));
    EXPECT_EQ(raster::GetPixel(*a, 3, 3), kRed);
}

TEST(RasterLine, ClippedLinesMatchTheUnclippedOnes) {
    // Drawn on a small bitmap that sees a window of a large one, shifted by (-100, -80).
    const int cases[][4] = {
        {0, 0, 300, 200}, {290, 10, 5, 190}, {150, 0, 151, 299}, {-1000000, 90, 1000000, 95}};
    for (auto [x0, y0, x1, y1] : cases) {
        auto big = Make(400, 300), small = Make(50, 40);
        raster::Line(*big, x0, y0, x1, y1, kWhite);
        raster::Line(*small, x0 - 100, y0 - 80, x1 - 100, y1 - 80, kWhite);
        EXPECT_EQ(Pixels(*small), Pixels(*big, 100, 80, 50, 40)) << x0 << "," << y0;
    }
    // A line from far away crosses the bitmap without visiting every far-off step.
    auto bm = Make(10, 10);
    raster::Line(*bm, INT_MIN, 5, INT_MAX, 5, kWhite);
    EXPECT_EQ(Marked(*bm).size(), 10u);
}

TEST(RasterEllipse, OutlineAndFillRules) {
    // The outline touches the four sides of its box and no more, is symmetric and one or two runs
    // wide in every row; filling keeps that outline and fills the rest of each row's span.
    for (auto [w, h] : {std::pair{12, 12}, {4, 4}, {3, 3}, {15, 7}, {2, 9}, {1, 5}, {40, 23}}) {
        auto outline = Make(60, 60), filled = Make(60, 60);
        raster::Ellipse(*outline, 10, 10, 10 + w, 10 + h, kWhite, false, 0);
        raster::Ellipse(*filled, 10, 10, 10 + w, 10 + h, kWhite, true, kRed);
        auto ring = Marked(*outline);
        for (int y = 0; y < 60; ++y) {
            std::vector<int> xs;
            int runs = 0;
            for (int x = 0; x < 60; ++x) {
                if (!ring.count({x, y})) continue;
                xs.push_back(x);
                runs += !ring.count({x - 1, y});
                EXPECT_TRUE(x >= 10 && x < 10 + w && ring.count({2 * 10 + w - 1 - x, y}) &&
                            ring.count({x, 2 * 10 + h - 1 - y}))
                    << w << "x" << h << ": " << x << "," << y;
            }
            ASSERT_EQ(!xs.empty(), y >= 10 && y < 10 + h) << w << "x" << h << ": row " << y;
            if (xs.empty()) continue;
            EXPECT_TRUE(runs == 1 || runs == 2) << w << "x" << h << ": row " << y;
            for (int x = 0; x < 60; ++x) {
                uint32_t want = ring.count({x, y})                ? kWhite
                                : x > xs.front() && x < xs.back() ? kRed
                                                                  : 0;
                ASSERT_EQ(raster::GetPixel(*filled, x, y), want)
                    << w << "x" << h << ": " << x << "," << y;
            }
        }
        EXPECT_TRUE(ring.count({10, 10 + (h - 1) / 2})) << w << "x" << h << ": the left side";
        EXPECT_TRUE(w < 6 || h < 6 || !ring.count({10 + w / 2, 10 + h / 2})) << "an empty centre";
    }
}

TEST(RasterBlit, CopiesClippedRectanglesBetweenAllDepths) {
    const std::tuple<int, int, int, int, int, int, bool> cases[] = {
        {5, 3, 20, 10, 0, 0, true}, {-4, -2, 10, 10, 0, 0, true}, {0, 0, 10, 10, -3, -5, true},
        {0, 0, 5, 5, 30, 0, false}, {40, 0, 5, 5, 0, 0, false},   {0, 0, 0, 5, 0, 0, false}};
    for (int sbpp : {16, 24, 32})
        for (auto [dbpp, screen] : {std::pair{16, false}, {24, false}, {32, false}, {32, true}})
            for (auto [dx, dy, w, h, left, top, ok] : cases) {
                auto src = Random(20, 10, sbpp, false, 1);
                auto dst = Make(16, 12, dbpp, true, screen);
                raster::FillRect(*dst, 0, 0, 16, 12, 0x123456);
                auto before = Pixels(*dst);
                EXPECT_EQ(raster::Blit(*dst, dx, dy, w, h, *src, left, top), ok);
                // 5-6-5 keeps the top bits; between 32-bit pictures the fourth byte is copied too,
                // on the screen it stays 0.
                uint32_t mask = dbpp == 16 ? 0xF8FCF8 : 0xFFFFFF;
                for (int y = 0; y < 12; ++y)
                    for (int x = 0; x < 16; ++x) {
                        int sx = x - dx + left, sy = y - dy + top;
                        bool inside = x >= dx && x < dx + w && y >= dy && y < dy + h && sx >= 0 &&
                                      sy >= 0 && sx < 20 && sy < 10;
                        uint32_t want =
                            inside ? raster::GetPixel(*src, sx, sy) : before[y * 16 + x];
                        ASSERT_EQ(raster::GetPixel(*dst, x, y) & mask, want & mask)
                            << sbpp << "->" << dbpp << " at " << x << "," << y;
                        const int fourth =
                            inside && sbpp == 32 && !screen ? src->Row(sy)[sx * 4 + 3] : 0;
                        ASSERT_TRUE(dbpp != 32 || dst->Row(y)[x * 4 + 3] == fourth)
                            << x << "," << y;
                    }
            }
}

TEST(RasterStretch, HalftoneReductionIsTheAreaAverage) {
    const int cases[][6] = {{100, 70, 33, 21, 32, 24},   {37, 53, 10, 9, 24, 24},
                            {25, 30, 25, 7, 24, 32},     {1000, 3, 1, 1, 24, 24},
                            {9, 1300, 4, 2, 24, 32},     {30, 20, 30, 20, 24, 24},
                            {1100, 1000, 37, 23, 24, 32}};  // large: shared between two threads
    for (auto [sw, sh, dw, dh, sbpp, dbpp] : cases) {
        auto src = Random(sw, sh, sbpp, sw % 2 == 0, 5);
        auto dst = Make(dw, dh, dbpp);
        ASSERT_TRUE(raster::Stretch(*dst, 0, 0, dw, dh, *src, StretchMode::Halftone));
        double total = 0;
        int worst = 0;
        for (int y = 0; y < dh; ++y)
            for (int x = 0; x < dw; ++x)
                for (int ch = 0; ch < 3; ++ch) {
                    double exact = AreaAverage(*src, dw, dh, x, y, ch);
                    int diff =
                        std::abs(Channel(*dst, x, y, ch) - static_cast<int>(std::lround(exact)));
                    total += diff;
                    worst = std::max(worst, diff);
                }
        // At the same size every pixel is its source pixel.
        EXPECT_LE(worst, sw == dw && sh == dh ? 0 : 1) << sw << "x" << sh;
        EXPECT_LT(total / (dw * dh * 3), 0.05) << sw << "x" << sh;
    }
}

// (That nearest picks source pixels is the picture scaling's test.)
TEST(RasterStretch, ClippingKeepsTheRest) {
    // A destination reaching past the edges gets the pixels of the part that lies inside.
    auto big = Random(90, 70, 32, true, 7), whole = Make(40, 30), part = Make(25, 20);
    ASSERT_TRUE(raster::Stretch(*whole, 0, 0, 40, 30, *big, StretchMode::Halftone));
    ASSERT_TRUE(raster::Stretch(*part, -10, -5, 40, 30, *big, StretchMode::Halftone));
    EXPECT_EQ(Pixels(*part), Pixels(*whole, 10, 5, 25, 20));
    EXPECT_FALSE(raster::Stretch(*part, 30, 0, 10, 10, *big, StretchMode::Halftone));
    EXPECT_FALSE(raster::Stretch(*part, 0, 0, 0, 10, *big, StretchMode::Halftone));
    EXPECT_FALSE(raster::StretchPart(*part, 0, 0, 9, 9, *big, 80, 0, 11, 5, StretchMode::Halftone));
}
