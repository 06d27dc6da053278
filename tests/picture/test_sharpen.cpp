// Output sharpening judged by what it does to pictures: the overshoot at a hard edge, the
// contrast of fine detail, flat noise, grey and coloured edges, and one core against two.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <tuple>

#include "picture/sharpen.h"
#include "platform/raster.h"
#include "tests/picture/noise.h"

namespace {

using Fill = std::function<uint32_t(int x, int y)>;  // colour as red | green << 8 | blue << 16

std::unique_ptr<raster::Bitmap> Make(int w, int h, const Fill& fill, int bpp = 24,
                                     bool topDown = false) {
    auto bm = raster::Create(w, h, bpp, topDown, false);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            raster::SetPixel(*bm, x, y, fill(x, y));
    return bm;
}

uint32_t Grey(int v) {
    return static_cast<uint32_t>(v) * 0x010101u;
}
int Red(const raster::Bitmap& bm, int x, int y) {
    return static_cast<int>(raster::GetPixel(bm, x, y) & 0xff);
}

double Spread(const raster::Bitmap& bm) {
    double sum = 0, sq = 0;
    const int n = bm.width * bm.height;
    for (int y = 0; y < bm.height; ++y)
        for (int x = 0; x < bm.width; ++x) {
            const double v = Red(bm, x, y);
            sum += v;
            sq += v * v;
        }
    return std::sqrt(sq / n - (sum / n) * (sum / n));
}

struct Strength {
    Sharpening kind;
    int minOvershoot;  // levels past the bright side of a 50 -> 200 step, at least
    double minContrastGain;
};
const Strength kStrengths[] = {{Sharpening::Screen, 4, 1.15}, {Sharpening::Print, 10, 1.25}};

// A hard edge gains a visible rim on both sides, but no more than a fifth of the step; fine
// detail gains contrast.
TEST(Sharpen, EdgesCrisperWithSmallHalos) {
    for (const Strength& s : kStrengths) {
        SCOPED_TRACE(static_cast<int>(s.kind));
        auto step = Make(40, 20, [](int x, int) { return Grey(x < 20 ? 50 : 200); });
        ASSERT_TRUE(SharpenBitmap(*step, s.kind));
        int lo = 255, hi = 0;
        for (int x = 0; x < 40; ++x) {
            lo = std::min(lo, Red(*step, x, 10));
            hi = std::max(hi, Red(*step, x, 10));
        }
        EXPECT_GE(hi - 200, s.minOvershoot);
        EXPECT_GE(50 - lo, s.minOvershoot);
        EXPECT_LE(hi - 200, 150 / 5);
        EXPECT_LE(50 - lo, 150 / 5);
        // Far from the edge nothing changes.
        EXPECT_EQ(Red(*step, 5, 10), 50);
        EXPECT_EQ(Red(*step, 35, 10), 200);

        // Fine detail (stripes 2 pixels wide, 80 levels apart) gains contrast.
        auto stripes = Make(40, 20, [](int x, int) { return Grey(x % 4 < 2 ? 88 : 168); });
        ASSERT_TRUE(SharpenBitmap(*stripes, s.kind));
        const int contrast = Red(*stripes, 19, 10) - Red(*stripes, 21, 10);
        EXPECT_GE(contrast, 80 * s.minContrastGain) << contrast;
    }
}

// Fine noise on a flat area (film grain, sensor noise) stays as it was, within a tenth: the
// threshold keeps the mask from amplifying it.
TEST(Sharpen, FlatNoiseNotAmplified) {
    for (const Strength& s : kStrengths)
        for (double spread : {0.8, 1.5}) {
            SCOPED_TRACE(spread);
            std::mt19937 rng(1);
            std::normal_distribution<double> noise(0, spread);
            auto bm = Make(200, 200, [&](int, int) {
                return Grey(128 + static_cast<int>(std::lround(noise(rng))));
            });
            const double before = Spread(*bm);
            ASSERT_GT(before, spread * 0.8);
            ASSERT_TRUE(SharpenBitmap(*bm, s.kind));
            EXPECT_LE(Spread(*bm), before * 1.1);
        }
}

// Every channel moves by the same amount: a coloured edge keeps its channel differences wherever
// no channel hit 0 or 255 (so a grey picture stays grey).
TEST(Sharpen, LightnessOnly) {
    for (Sharpening kind : {Sharpening::Screen, Sharpening::Print}) {
        auto before = Make(30, 30, [](int x, int y) {
            return x < 15 ? 0x2060c0u : 0x60c040u + (y & 1) * 0x000800u;
        });
        auto after = raster::Clone(*before);
        ASSERT_TRUE(SharpenBitmap(*after, kind));
        int changed = 0;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 30; ++x) {
                // The same change d in every channel makes the colour d * 0x010101 larger.
                const int a = static_cast<int>(raster::GetPixel(*before, x, y));
                const int b = static_cast<int>(raster::GetPixel(*after, x, y));
                changed += a != b;
                EXPECT_EQ(b - a, ((b & 0xff) - (a & 0xff)) * 0x010101) << x << "," << y;
            }
        EXPECT_GT(changed, 0);
    }
}

// "Off" leaves every byte (fourth bytes and padding included); so does a picture too small to
// have a neighbourhood; a depth the pass does not know is refused untouched.
TEST(Sharpen, LeavesAloneWhatItMust) {
    const std::tuple<int, int, int, Sharpening, bool> cases[] = {
        {31, 17, 24, Sharpening::Off, true},    {31, 17, 32, Sharpening::Off, true},
        {2, 40, 24, Sharpening::Print, true},   {40, 2, 32, Sharpening::Screen, true},
        {31, 17, 16, Sharpening::Print, false},
    };
    for (auto [w, h, bpp, kind, ok] : cases) {
        auto bm = Make(
            w, h, [](int x, int y) { return Grey((x * 37 + y * 91) & 255); }, bpp);
        for (size_t i = 0; i < bm->ByteSize(); ++i)
            bm->bits[i] ^= static_cast<uint8_t>(i * 7);
        auto copy = raster::Clone(*bm);
        EXPECT_EQ(SharpenBitmap(*bm, kind), ok);
        EXPECT_EQ(std::memcmp(bm->bits.get(), copy->bits.get(), bm->ByteSize()), 0);
    }
}

// A picture of more than a megapixel is shared between the cores; with the helper kept busy
// the calling thread does it alone. The pixels are the same, for every row layout and depth.
TEST(Sharpen, OneCoreAndTwoAlike) {
    if (!helper::Available()) GTEST_SKIP() << "one core";
    for (bool topDown : {false, true})
        for (int bpp : {24, 32}) {
            auto two = Noise(1203, 901, bpp, topDown);
            auto one = raster::Clone(*two);
            ASSERT_TRUE(SharpenBitmap(*two, Sharpening::Print));
            bool ok = false;
            OnOneCore([&] { ok = SharpenBitmap(*one, Sharpening::Print); });
            ASSERT_TRUE(ok);
            EXPECT_EQ(std::memcmp(one->bits.get(), two->bits.get(), one->ByteSize()), 0);
        }
}

}  // namespace
