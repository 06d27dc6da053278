// Copying and stretching, checked against straightforward references.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "platform/raster.h"

using raster::Bitmap;

namespace {

std::unique_ptr<Bitmap> Random(int w, int h, int bpp, bool topDown, unsigned seed) {
    auto bm = raster::Create(w, h, bpp, topDown, false);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int i = 0; i < w * bm->BytesPerPixel(); ++i)
            bm->Row(y)[i] = rng() & 0xFF;
    return bm;
}

// Channel c (0 blue, 1 green, 2 red) of pixel (x, y).
int Channel(const Bitmap& bm, int x, int y, int c) {
    return (raster::GetPixel(bm, x, y) >> (8 * (2 - c))) & 0xFF;
}

// The exact area average of the source pixels under destination pixel (x, y), in doubles.
double AreaAverage(const Bitmap& src, int dw, int dh, int x, int y, int c) {
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

TEST(RasterBlit, CopiesClippedRectangles) {
    auto src = Random(20, 10, 24, false, 1);
    struct Case {
        int dx, dy, w, h, sx, sy;
        bool ok;
    } cases[] = {{0, 0, 20, 10, 0, 0, true},   {5, 3, 20, 10, 0, 0, true},
                 {-4, -2, 10, 10, 0, 0, true}, {0, 0, 10, 10, -3, -5, true},
                 {0, 0, 5, 5, 30, 0, false},   {40, 0, 5, 5, 0, 0, false},
                 {0, 0, 0, 5, 0, 0, false}};
    for (const Case& c : cases) {
        auto dst = raster::Create(16, 12, 32, true, true);
        raster::FillRect(*dst, 0, 0, 16, 12, 0x123456);
        EXPECT_EQ(raster::Blit(*dst, c.dx, c.dy, c.w, c.h, *src, c.sx, c.sy), c.ok);
        for (int y = 0; y < 12; ++y) {
            for (int x = 0; x < 16; ++x) {
                int sx = x - c.dx + c.sx, sy = y - c.dy + c.sy;
                bool inside = x >= c.dx && x < c.dx + c.w && y >= c.dy && y < c.dy + c.h &&
                              sx >= 0 && sy >= 0 && sx < 20 && sy < 10;
                uint32_t want = inside ? raster::GetPixel(*src, sx, sy) : 0x123456u;
                ASSERT_EQ(raster::GetPixel(*dst, x, y), want) << x << "," << y;
            }
        }
        for (int i = 0; i < 16 * 12; ++i)
            ASSERT_EQ(dst->bits[i * 4 + 3], 0);
    }
}

TEST(RasterBlit, ConvertsBetweenDepthsAndKeepsAlphaBetweenDibs) {
    for (int sbpp : {16, 24, 32}) {
        for (int dbpp : {16, 24, 32}) {
            auto src = Random(9, 7, sbpp, true, 2);
            auto dst = raster::Create(9, 7, dbpp, false, false);
            ASSERT_TRUE(raster::Blit(*dst, 0, 0, 9, 7, *src, 0, 0));
            for (int y = 0; y < 7; ++y) {
                for (int x = 0; x < 9; ++x) {
                    uint32_t s = raster::GetPixel(*src, x, y), d = raster::GetPixel(*dst, x, y);
                    if (dbpp == 16 && sbpp != 16) {  // 5-6-5 keeps the top bits
                        s &= 0xF8FCF8;
                        d &= 0xF8FCF8;
                    }
                    ASSERT_EQ(d, s) << sbpp << "->" << dbpp;
                }
            }
            if (sbpp == 32 && dbpp == 32) {
                EXPECT_EQ(dst->Row(3)[4 * 4 + 3], src->Row(3)[4 * 4 + 3]);
            }
        }
    }
}

TEST(RasterBlit, NotSrcEraseIsNotOfSourceOrDest) {
    auto src = Random(6, 6, 24, true, 3);
    auto dst = Random(6, 6, 24, false, 4);
    auto before = raster::Clone(*dst);
    ASSERT_TRUE(raster::Blit(*dst, 0, 0, 6, 6, *src, 0, 0, raster::Rop::NotSrcErase));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(raster::GetPixel(*dst, x, y),
                      ~(raster::GetPixel(*src, x, y) | raster::GetPixel(*before, x, y)) & 0xFFFFFF);
}

TEST(RasterStretch, HalftoneReductionIsTheAreaAverage) {
    struct Case {
        int sw, sh, dw, dh, sbpp, dbpp;
    } cases[] = {{60, 40, 48, 32, 24, 32}, {100, 70, 33, 21, 32, 24}, {37, 53, 10, 9, 24, 24},
                 {64, 64, 16, 16, 32, 32}, {25, 30, 25, 7, 24, 32},   {300, 5, 7, 5, 24, 32},
                 {1000, 3, 1, 1, 24, 24}};
    for (const Case& c : cases) {
        auto src = Random(c.sw, c.sh, c.sbpp, c.sw % 2 == 0, 5);
        auto dst = raster::Create(c.dw, c.dh, c.dbpp, true, c.dbpp == 32);
        ASSERT_TRUE(raster::Stretch(*dst, 0, 0, c.dw, c.dh, *src, raster::StretchMode::Halftone));
        double total = 0;
        int worst = 0;
        for (int y = 0; y < c.dh; ++y)
            for (int x = 0; x < c.dw; ++x) {
                for (int ch = 0; ch < 3; ++ch) {
                    double exact = AreaAverage(*src, c.dw, c.dh, x, y, ch);
                    int got = Channel(*dst, x, y, ch);
                    int diff = std::abs(got - static_cast<int>(std::lround(exact)));
                    total += diff;
                    worst = std::max(worst, diff);
                }
            }
        EXPECT_LE(worst, 1) << c.sw << "x" << c.sh << "->" << c.dw << "x" << c.dh;
        EXPECT_LT(total / (c.dw * c.dh * 3), 0.05) << c.sw << "x" << c.sh;
    }
}

TEST(RasterStretch, EnlargingIsSmoothAndKeepsFlatAreas) {
    // A flat picture stays flat, a horizontal ramp stays monotonic, and every value lies between
    // the source values around it.
    auto flat = raster::Create(5, 4, 24, true, false);
    raster::FillRect(*flat, 0, 0, 5, 4, 0x336699);
    auto big = raster::Create(23, 17, 32, true, true);
    ASSERT_TRUE(raster::Stretch(*big, 0, 0, 23, 17, *flat, raster::StretchMode::Halftone));
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 23; ++x)
            ASSERT_EQ(raster::GetPixel(*big, x, y), 0x336699u);

    auto ramp = raster::Create(4, 1, 24, true, false);
    for (int x = 0; x < 4; ++x)
        raster::SetPixel(*ramp, x, 0, 0x010101u * (x * 80));
    auto wide = raster::Create(19, 3, 24, true, false);
    ASSERT_TRUE(raster::Stretch(*wide, 0, 0, 19, 3, *ramp, raster::StretchMode::Halftone));
    int prev = -1, distinct = 0;
    for (int x = 0; x < 19; ++x) {
        int v = Channel(*wide, x, 1, 0);
        EXPECT_GE(v, prev);
        if (v != prev) ++distinct;
        prev = v;
    }
    EXPECT_EQ(Channel(*wide, 0, 0, 0), 0);
    EXPECT_EQ(Channel(*wide, 18, 0, 0), 240);
    EXPECT_GT(distinct, 8);  // smooth, not blocky
}

TEST(RasterStretch, SameSizeIsACopyAndNearestPicksSourcePixels) {
    auto src = Random(13, 11, 24, false, 6);
    auto same = raster::Create(13, 11, 24, true, false);
    ASSERT_TRUE(raster::Stretch(*same, 0, 0, 13, 11, *src, raster::StretchMode::Halftone));
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 13; ++x)
            ASSERT_EQ(raster::GetPixel(*same, x, y), raster::GetPixel(*src, x, y));

    auto nearest = raster::Create(26, 5, 24, true, false);
    ASSERT_TRUE(raster::Stretch(*nearest, 0, 0, 26, 5, *src, raster::StretchMode::ColorOnColor));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 26; ++x)
            ASSERT_EQ(raster::GetPixel(*nearest, x, y),
                      raster::GetPixel(*src, x / 2, (2 * y + 1) * 11 / 10));
}

TEST(RasterStretch, ClippedDestinationMatchesTheUnclippedPart) {
    auto src = Random(90, 70, 32, true, 7);
    auto whole = raster::Create(40, 30, 32, true, true);
    ASSERT_TRUE(raster::Stretch(*whole, 0, 0, 40, 30, *src, raster::StretchMode::Halftone));
    auto part = raster::Create(25, 20, 32, true, true);
    ASSERT_TRUE(raster::Stretch(*part, -10, -5, 40, 30, *src, raster::StretchMode::Halftone));
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 25; ++x)
            ASSERT_EQ(raster::GetPixel(*part, x, y), raster::GetPixel(*whole, x + 10, y + 5));
    EXPECT_FALSE(raster::Stretch(*part, 30, 0, 10, 10, *src, raster::StretchMode::Halftone));
    EXPECT_FALSE(raster::Stretch(*part, 0, 0, 0, 10, *src, raster::StretchMode::Halftone));
}

TEST(RasterStretch, MixedAxesAndFourthBytes) {
    // Enlarged along one axis, reduced along the other: a flat picture stays flat.
    auto flat = raster::Create(100, 10, 32, false, false);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 100; ++x) {
            uint8_t* p = flat->Row(y) + x * 4;
            p[0] = 10, p[1] = 200, p[2] = 77, p[3] = 128;
        }
    auto dib = raster::Create(30, 41, 32, false, false);
    auto screen = raster::Create(30, 41, 32, true, true);
    ASSERT_TRUE(raster::Stretch(*dib, 0, 0, 30, 41, *flat, raster::StretchMode::Halftone));
    ASSERT_TRUE(raster::Stretch(*screen, 0, 0, 30, 41, *flat, raster::StretchMode::Halftone));
    for (int y = 0; y < 41; ++y) {
        for (int x = 0; x < 30; ++x) {
            ASSERT_EQ(raster::GetPixel(*dib, x, y), 0x0AC84Du);
            ASSERT_EQ(dib->Row(y)[x * 4 + 3], 128);   // a picture's fourth byte is averaged too
            ASSERT_EQ(screen->Row(y)[x * 4 + 3], 0);  // the screen's stays 0
        }
    }
}

TEST(RasterStretch, NotSrcEraseAppliesToTheStretchedPixels) {
    auto src = raster::Create(4, 4, 24, true, false);
    raster::FillRect(*src, 0, 0, 4, 4, 0x0000F0);
    auto dst = raster::Create(2, 2, 32, true, true);
    raster::FillRect(*dst, 0, 0, 2, 2, 0x0F0000);
    ASSERT_TRUE(raster::Stretch(*dst, 0, 0, 2, 2, *src, raster::StretchMode::Halftone,
                                raster::Rop::NotSrcErase));
    EXPECT_EQ(raster::GetPixel(*dst, 1, 1), 0xF0FF0Fu);  // ~(0x0000F0 | 0x0F0000)
}
