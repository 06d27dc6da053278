// The tone pass against the documented examples and against a plain per-pixel evaluation of the
// formulas (three powers per pixel, nearbyint for every rounding).
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <vector>

#include "picture/tone.h"

namespace {

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

// ---- plain evaluation of the formulas, one pixel at a time ----

int Near(double x) {
    return static_cast<int>(std::nearbyint(x));
}

struct Reference {
    float e, w, s, f;
    int k, offset;
    explicit Reference(const ToneParams& p)
        : e(static_cast<float>((255.0 - p.gamma) / 100.0)),
          w(static_cast<float>(255.0 / p.white)),
          s(static_cast<float>((p.saturation - 100.0) / 100.0)),
          f(static_cast<float>(p.contrast / 100.0)),
          k(40 * p.black),
          offset(100 - p.contrast) {}

    int Channel(int v) const {
        const double scaled = static_cast<double>(f) * (static_cast<double>(v) / 255.0);
        const float b = static_cast<float>(scaled);
        const float pw =
            static_cast<float>(std::pow(static_cast<double>(b), static_cast<double>(e)));
        v = Near(255.0 * pw + static_cast<double>(offset));
        v = Near(static_cast<double>(v) * static_cast<double>(w));
        if (v < 0) v = 0;
        v = v - k / (v + 1);
        if (v < 0) v = 0;
        return v;
    }

    Rgb Pixel(Rgb in) const { return Mix(Channel(in.r), Channel(in.g), Channel(in.b)); }

    // Luminance and saturation from the three per-channel results.
    Rgb Mix(int r, int g, int b) const {
        const double weightRed = 0.30000000000000004;
        const int y = Near(weightRed * r + 0.59 * g + 0.11 * b);
        auto sat = [&](int v) {
            int o = Near(static_cast<double>(v) + static_cast<double>(s) * (v - y));
            return o < 0 ? 0 : (o > 254 ? 254 : o);
        };
        return {sat(r), sat(g), sat(b)};
    }
};

// ---- helpers over packed buffers ----

std::vector<uint8_t> Pack(const std::vector<Rgb>& pixels, int bpp, uint8_t fourth = 0) {
    std::vector<uint8_t> out;
    for (const Rgb& c : pixels) {
        out.push_back(static_cast<uint8_t>(c.b));
        out.push_back(static_cast<uint8_t>(c.g));
        out.push_back(static_cast<uint8_t>(c.r));
        if (bpp == 4) out.push_back(fourth);
    }
    return out;
}

Rgb At(const std::vector<uint8_t>& buf, size_t index, int bpp) {
    const size_t o = index * bpp;
    return {buf[o + 2], buf[o + 1], buf[o]};
}

Rgb AdjustOne(Rgb in, const ToneParams& p) {
    std::vector<uint8_t> src = Pack({in}, 3), dst(3, 0);
    ToneAdjustBuffer(src.data(), dst.data(), 1, 1, 3, p);
    return At(dst, 0, 3);
}

ToneParams With(int gamma, int white, int black, int saturation, int contrast) {
    return {gamma, white, black, saturation, contrast};
}

// ---- the documented examples ----

struct Example {
    const char* what;
    ToneParams params;
    Rgb in, out;
};

const Example kExamples[] = {
    {"defaults, 255 becomes 254", kToneDefaults, {255, 0, 128}, {254, 0, 128}},
    {"defaults, mid grey kept", kToneDefaults, {128, 128, 128}, {128, 128, 128}},
    {"black point 245, bright", With(155, 255, 245, 100, 100), {254, 254, 254}, {216, 216, 216}},
    {"black point 245, dark", With(155, 255, 245, 100, 100), {98, 99, 0}, {0, 1, 0}},
    {"white point 100", With(155, 100, 0, 100, 100), {100, 50, 200}, {254, 127, 254}},
    {"saturation 0 gives grey", With(155, 255, 0, 0, 100), {200, 0, 0}, {60, 60, 60}},
    {"saturation 200", With(155, 255, 0, 200, 100), {200, 0, 0}, {254, 0, 0}},
    {"contrast 200 keeps 100", With(155, 255, 0, 100, 200), {100, 100, 100}, {100, 100, 100}},
    {"contrast 200", With(155, 255, 0, 100, 200), {0, 128, 255}, {0, 156, 254}},
    {"contrast 50", With(155, 255, 0, 100, 50), {0, 128, 255}, {50, 114, 178}},
    {"gamma 20", With(20, 255, 0, 100, 100), {128, 64, 32}, {50, 10, 2}},
    {"gamma 20, grey", With(20, 255, 0, 100, 100), {128, 128, 128}, {50, 50, 50}},
    {"gamma 255, black", With(255, 255, 0, 100, 100), {0, 0, 0}, {254, 254, 254}},
    {"gamma 255, colour", With(255, 255, 0, 100, 100), {17, 200, 99}, {254, 254, 254}},
};

TEST(ToneExamples, DocumentedPixels) {
    for (const Example& ex : kExamples) {
        EXPECT_EQ(AdjustOne(ex.in, ex.params), ex.out) << ex.what;
        EXPECT_EQ(Reference(ex.params).Pixel(ex.in), ex.out) << "reference: " << ex.what;
    }
}

TEST(ToneExamples, DefaultsKeepEverythingButTheTopValue) {
    int32_t table[256];
    ToneChannelTable(kToneDefaults, table);
    for (int v = 0; v < 256; ++v)
        EXPECT_EQ(table[v], v) << v;
}

TEST(ToneExamples, LuminanceWeightsAndTies) {
    struct Case {
        int r, g, b, y;
    } cases[] = {
        {0, 0, 0, 0},    {255, 255, 255, 255}, {250, 240, 235, 242},
        {200, 0, 0, 60}, {15, 0, 0, 5},  // 4.500000000000001: the weight lies just above 0.3
        {35, 0, 0, 11},  {0, 0, 50, 6},  // 5.5, halves to even
        {0, 0, 150, 16},                 // 16.5, halves to even
        {0, 150, 0, 88},                 // 88.5, halves to even
        {0, 0, 5, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ToneLuminance(c.r, c.g, c.b), c.y) << c.r << "," << c.g;
}

// ---- the table-driven pass equals the plain formulas everywhere ----

// Every (r, g) pair for a few blue values, over a grid of positions with every range end.
TEST(ToneExhaustive, MatchesPlainFormulasOverSliderGrid) {
    const int gammas[] = {20, 21, 100, 154, 155, 156, 200, 254, 255};
    const int whites[] = {100, 101, 180, 254, 255};
    const int blacks[] = {0, 1, 120, 245};
    const int saturations[] = {0, 1, 50, 99, 100, 101, 150, 199, 200};
    const int contrasts[] = {50, 51, 99, 100, 101, 170, 200};
    const int blues[] = {0, 77, 255};

    std::vector<Rgb> pixels;
    for (int b : blues)
        for (int g = 0; g < 256; ++g)
            for (int r = 0; r < 256; ++r)
                pixels.push_back({r, g, b});
    const std::vector<uint8_t> src = Pack(pixels, 3);
    std::vector<uint8_t> dst(src.size());

    // The full cross product is too slow for the reference; vary one position at a time around
    // the defaults, then every position at its extremes together.
    std::vector<ToneParams> grid;
    for (int v : gammas)
        grid.push_back(With(v, 255, 0, 100, 100));
    for (int v : whites)
        grid.push_back(With(155, v, 0, 100, 100));
    for (int v : blacks)
        grid.push_back(With(155, 255, v, 100, 100));
    for (int v : saturations)
        grid.push_back(With(155, 255, 0, v, 100));
    for (int v : contrasts)
        grid.push_back(With(155, 255, 0, 100, v));
    for (int g : {20, 255})
        for (int w : {100, 255})
            for (int k : {0, 245})
                for (int s : {0, 200})
                    for (int n : {50, 200})
                        grid.push_back(With(g, w, k, s, n));
    grid.push_back(With(90, 140, 30, 170, 130));

    for (const ToneParams& p : grid) {
        const Reference ref(p);
        ToneAdjustBuffer(src.data(), dst.data(), 256 * 3, 256, 3, p);
        int mismatches = 0;
        for (size_t i = 0; i < pixels.size() && mismatches < 5; ++i) {
            const Rgb want = ref.Pixel(pixels[i]);
            const Rgb got = At(dst, i, 3);
            if (got != want) {
                ++mismatches;
                ADD_FAILURE() << "positions " << p.gamma << "/" << p.white << "/" << p.black << "/"
                              << p.saturation << "/" << p.contrast << " pixel " << pixels[i]
                              << " got " << got << " want " << want;
            }
        }
    }
}

// Every one of the 16.7 million colours, on a few settings. The per-channel stage is looked up
// here too (it is checked for every position below); the rest runs per pixel.
TEST(ToneExhaustive, EveryColour) {
    std::vector<uint8_t> src((size_t{1} << 24) * 3);
    size_t i = 0;
    for (int b = 0; b < 256; ++b)
        for (int g = 0; g < 256; ++g)
            for (int r = 0; r < 256; ++r) {
                src[i++] = static_cast<uint8_t>(b);
                src[i++] = static_cast<uint8_t>(g);
                src[i++] = static_cast<uint8_t>(r);
            }
    std::vector<uint8_t> dst(src.size());
    for (const ToneParams& p : {With(90, 140, 30, 170, 130), With(37, 111, 7, 37, 189)}) {
        const Reference ref(p);
        int channel[256];
        for (int v = 0; v < 256; ++v)
            channel[v] = ref.Channel(v);
        ToneAdjustBuffer(src.data(), dst.data(), 4096, 4096, 3, p);
        for (size_t j = 0; j < src.size(); j += 3) {
            const Rgb want = ref.Mix(channel[src[j + 2]], channel[src[j + 1]], channel[src[j]]);
            ASSERT_EQ(At(dst, j / 3, 3), want)
                << "saturation " << p.saturation << " pixel " << At(src, j / 3, 3);
        }
    }
}

// Saturation is the one stage that is not evaluated per channel value: every position, on a mild
// and on the widest channel range (values up to about 3000 before the limit).
TEST(ToneExhaustive, EverySaturationPosition) {
    std::vector<Rgb> pixels;
    for (int g = 0; g < 256; g += 3)
        for (int r = 0; r < 256; ++r)
            pixels.push_back({r, g, (r * 7 + g * 13) % 256});
    const std::vector<uint8_t> src = Pack(pixels, 3);
    std::vector<uint8_t> dst(src.size());
    const int width = 256, height = static_cast<int>(pixels.size()) / width;
    for (ToneParams p : {With(155, 255, 0, 0, 100), With(20, 100, 0, 0, 200)}) {
        for (p.saturation = 0; p.saturation <= 200; ++p.saturation) {
            const Reference ref(p);
            ToneAdjustBuffer(src.data(), dst.data(), width, height, 3, p);
            for (size_t i = 0; i < pixels.size(); ++i)
                ASSERT_EQ(At(dst, i, 3), ref.Pixel(pixels[i]))
                    << "saturation " << p.saturation << " gamma " << p.gamma << " pixel "
                    << pixels[i];
        }
    }
}

// Every single-precision parameter comes out the same whether the division is done in single
// precision or in double precision and then rounded.
TEST(ToneExhaustive, ChannelTableMatchesPlainFormulasForEveryPosition) {
    for (int g = kToneMinimum.gamma; g <= kToneMaximum.gamma; ++g)
        for (int n = kToneMinimum.contrast; n <= kToneMaximum.contrast; n += 5) {
            const ToneParams p = With(g, 255 - (g % 156), (g * 7) % 246, 100, n);
            const Reference ref(p);
            int32_t table[256];
            ToneChannelTable(p, table);
            for (int v = 0; v < 256; ++v)
                ASSERT_EQ(table[v], ref.Channel(v))
                    << "gamma " << g << " contrast " << n << " v " << v;
        }
}

// ---- buffer layout, progress, range ----

TEST(ToneBuffer, FourthByteAndInPlace) {
    const std::vector<Rgb> pixels = {{255, 0, 128}, {10, 20, 30}, {200, 100, 50}};
    const ToneParams p = With(120, 230, 20, 160, 120);
    std::vector<uint8_t> src = Pack(pixels, 4, 0xAB);
    std::vector<uint8_t> dst(src.size(), 0);
    ToneAdjustBuffer(src.data(), dst.data(), 3, 1, 4, p);
    const Reference ref(p);
    for (size_t i = 0; i < pixels.size(); ++i) {
        EXPECT_EQ(At(dst, i, 4), ref.Pixel(pixels[i]));
        EXPECT_EQ(dst[i * 4 + 3], 0) << "fourth byte written";
        EXPECT_EQ(src[i * 4 + 3], 0xAB);
    }
    ToneAdjustBuffer(src.data(), src.data(), 3, 1, 4, p);
    EXPECT_EQ(std::vector<uint8_t>(src.begin(), src.begin() + 3),
              std::vector<uint8_t>(dst.begin(), dst.begin() + 3));
}

TEST(ToneBuffer, ProgressBeforeEachRow) {
    struct Case {
        int height;
        std::vector<int> first;
        int last;
    } cases[] = {
        {1, {0}, 0},
        {200, {0, 0, 1, 1, 2, 2, 3}, 99},
        {3, {0, 33, 66}, 66},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> src(static_cast<size_t>(c.height) * 2 * 3, 90), dst(src.size());
        std::vector<int> seen;
        ToneAdjustBuffer(src.data(), dst.data(), 2, c.height, 3, kToneDefaults,
                         [&](int v) { seen.push_back(v); });
        ASSERT_EQ(seen.size(), static_cast<size_t>(c.height));
        for (size_t i = 0; i < c.first.size(); ++i)
            EXPECT_EQ(seen[i], c.first[i]) << i;
        EXPECT_EQ(seen.back(), c.last);
        for (size_t i = 1; i < seen.size(); ++i)
            EXPECT_LE(seen[i - 1], seen[i]);
    }
}

TEST(ToneBuffer, PositionsClampedToTrackBarRanges) {
    struct Case {
        ToneParams in, out;
    } cases[] = {
        {With(0, 0, -5, -1, 0), With(20, 100, 0, 0, 50)},
        {With(999, 300, 300, 300, 300), With(255, 255, 245, 200, 200)},
        {kToneDefaults, kToneDefaults},
    };
    for (const Case& c : cases) {
        const ToneParams got = ToneClampParams(c.in);
        EXPECT_EQ(got.gamma, c.out.gamma);
        EXPECT_EQ(got.white, c.out.white);
        EXPECT_EQ(got.black, c.out.black);
        EXPECT_EQ(got.saturation, c.out.saturation);
        EXPECT_EQ(got.contrast, c.out.contrast);
        // The pass itself clamps: no division by zero, no negative exponent.
        const std::vector<uint8_t> src = Pack({{0, 0, 0}, {255, 128, 1}}, 3);
        std::vector<uint8_t> raw(src.size()), clamped(src.size());
        ToneAdjustBuffer(src.data(), raw.data(), 2, 1, 3, c.in);
        ToneAdjustBuffer(src.data(), clamped.data(), 2, 1, 3, c.out);
        EXPECT_EQ(raw, clamped);
    }
}

TEST(ToneBuffer, RefusesOddLayouts) {
    std::vector<uint8_t> src(12, 50), dst(12, 7);
    ToneAdjustBuffer(src.data(), dst.data(), 2, 2, 2, kToneDefaults);  // 16-bit pixels
    ToneAdjustBuffer(src.data(), dst.data(), 0, 2, 3, kToneDefaults);
    ToneAdjustBuffer(nullptr, dst.data(), 2, 2, 3, kToneDefaults);
    EXPECT_EQ(dst, std::vector<uint8_t>(12, 7));
}

}  // namespace
