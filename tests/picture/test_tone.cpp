// The tone pass against the worked examples and against a plain per-pixel evaluation of the
// formulas (three powers per pixel, nearbyint for every rounding); the colour cast's measurement
// and removal: the worked examples, the sampled area and the luminance window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <tuple>
#include <utility>
#include <vector>

#include "picture/cast.h"
#include "picture/tone.h"

namespace {

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Rgb& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

int Near(double x) {
    return static_cast<int>(std::nearbyint(x));
}

// The formulas evaluated one pixel at a time, independently of the table-driven pass.
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
        const float b = static_cast<float>(static_cast<double>(f) * (v / 255.0));
        const float pw = static_cast<float>(std::pow(static_cast<double>(b), e));
        v = Near(255.0 * pw + offset);
        v = std::max(0, Near(v * static_cast<double>(w)));
        return std::max(0, v - k / (v + 1));
    }

    Rgb Pixel(Rgb in) const {
        const int r = Channel(in.r), g = Channel(in.g), b = Channel(in.b);
        const int y = Near(0.30000000000000004 * r + 0.59 * g + 0.11 * b);
        auto sat = [&](int v) {
            return std::clamp(Near(v + static_cast<double>(s) * (v - y)), 0, 254);
        };
        return {sat(r), sat(g), sat(b)};
    }
};

std::vector<uint8_t> Pack(const std::vector<Rgb>& pixels, int bpp, uint8_t fourth = 0) {
    std::vector<uint8_t> out;
    for (const Rgb& c : pixels) {
        out.insert(out.end(), {static_cast<uint8_t>(c.b), static_cast<uint8_t>(c.g),
                               static_cast<uint8_t>(c.r)});
        if (bpp == 4) out.push_back(fourth);
    }
    return out;
}

TEST(Tone, WorkedExamples) {
    const std::tuple<const char*, ToneParams, Rgb, Rgb> examples[] = {
        {"defaults, 255 becomes 254", kToneDefaults, {255, 0, 128}, {254, 0, 128}},
        {"black point 245", {155, 255, 245, 100, 100}, {254, 254, 254}, {216, 216, 216}},
        {"white point 100", {155, 100, 0, 100, 100}, {100, 50, 200}, {254, 127, 254}},
        {"saturation 0 gives grey", {155, 255, 0, 0, 100}, {200, 0, 0}, {60, 60, 60}},
        {"contrast 200", {155, 255, 0, 100, 200}, {0, 128, 255}, {0, 156, 254}},
        {"gamma 20", {20, 255, 0, 100, 100}, {128, 64, 32}, {50, 10, 2}},
        {"gamma 255, colour", {255, 255, 0, 100, 100}, {17, 200, 99}, {254, 254, 254}},
    };
    for (auto [what, params, in, out] : examples) {
        // In place, four bytes a pixel: the fourth byte stays.
        std::vector<uint8_t> four = Pack({in}, 4, 0xAB);
        ToneAdjustBuffer(four.data(), four.data(), 1, 1, 4, params);
        EXPECT_EQ(four, Pack({out}, 4, 0xAB)) << what;
        EXPECT_EQ(Reference(params).Pixel(in), out) << "reference: " << what;
    }
}

// Every (r, g) pair for a few blue values, over a grid of positions with every range end: one
// position at a time around the defaults, then every position at its extremes together.
// Positions outside the ranges act as the range ends.
TEST(Tone, TablePassMatchesPlainFormulasOverSliderGrid) {
    std::vector<std::pair<ToneParams, ToneParams>> grid = {
        {ToneParams{0, 0, -5, -1, 0}, kToneMinimum},
        {ToneParams{999, 300, 300, 300, 300}, kToneMaximum}};
    auto add = [&](const ToneParams& p) { grid.emplace_back(p, p); };
    add(ToneParams{90, 140, 30, 170, 130});
    const std::vector<int> steps[kToneSettingCount] = {{20, 21, 100, 154, 155, 156, 200, 254, 255},
                                                       {100, 101, 180, 254},
                                                       {1, 120, 245},
                                                       {0, 1, 50, 99, 101, 150, 199, 200},
                                                       {50, 51, 99, 101, 170, 200}};
    for (int bits = 0; bits < 1 << kToneSettingCount; ++bits) {
        ToneParams ends{};
        for (int i = 0; i < kToneSettingCount; ++i) {
            const ToneSetting& t = kToneSettings[i];
            ends.*(t.field) = bits >> i & 1 ? t.maximum : t.minimum;
            for (int v : bits == 0 ? steps[i] : std::vector<int>{}) {
                ToneParams one = kToneDefaults;
                one.*(t.field) = v;
                add(one);
            }
        }
        add(ends);
    }

    std::vector<Rgb> pixels;
    for (int b : {0, 77, 255})
        for (int g = 0; g < 256; ++g)
            for (int r = 0; r < 256; ++r)
                pixels.push_back({r, g, b});
    const std::vector<uint8_t> src = Pack(pixels, 3);
    std::vector<uint8_t> dst(src.size());
    for (const auto& [p, as] : grid) {
        const Reference ref(as);
        ToneAdjustBuffer(src.data(), dst.data(), 256 * 3, 256, 3, p);
        for (size_t i = 0; i < pixels.size(); ++i) {
            const Rgb want = ref.Pixel(pixels[i]), got{dst[3 * i + 2], dst[3 * i + 1], dst[3 * i]};
            if (got == want) continue;
            ADD_FAILURE() << "positions " << p.gamma << "/" << p.white << "/" << p.black << "/"
                          << p.saturation << "/" << p.contrast << " pixel " << pixels[i] << " got "
                          << got << " want " << want;
            break;  // the first mismatch of a setting is enough
        }
    }
}

uint32_t Colour(int r, int g, int b) {
    return static_cast<uint32_t>(r | g << 8 | b << 16);
}

TEST(CastMeasure, WorkedExamplesAndSwatches) {
    const std::tuple<Rgb, uint32_t, uint32_t> cases[] = {
        {{250, 240, 235}, 1295u, Colour(188, 148, 128)},              // luminance 242: (15, 5, 0)
        {{250, 215, 200}, Colour(30, 15, 0), Colour(248, 188, 128)},  // capped at 30
        {{240, 240, 240}, 0, Colour(128, 128, 128)},                  // neutral highlight
        {{255, 255, 255}, 0, Colour(128, 128, 128)},                  // too bright
        {{225, 230, 255}, Colour(0, 5, 30), Colour(128, 148, 248)},   // blue cast
        // The luminance window 221..252 is inclusive.
        {{226, 218, 218}, 0, Colour(128, 128, 128)},                // 220: left out
        {{227, 219, 219}, Colour(8, 0, 0), Colour(160, 128, 128)},  // 221: counted
        {{255, 250, 250}, Colour(5, 0, 0), Colour(148, 128, 128)},  // 252: counted
        {{255, 252, 252}, 0, Colour(128, 128, 128)},                // 253: left out
    };
    for (int bpp : {3, 4})
        for (auto [pixel, want, swatch] : cases) {
            const uint32_t cast = CastMeasureBuffer(Pack(std::vector<Rgb>(48, pixel), bpp).data(),
                                                    8, 6, bpp, {1, 1, 5, 4});
            EXPECT_EQ(cast, want) << pixel.r << "," << pixel.g << "," << pixel.b << " bpp " << bpp;
            EXPECT_EQ(CastSwatchColour(cast), swatch) << cast;
        }
}

TEST(CastMeasure, SampledArea) {
    // Row 0 carries a red cast, row 1 a green one, row 2 a strong blue one; the rest is too dark
    // to count.
    std::vector<Rgb> pixels(30, {20, 20, 20});
    for (int x = 1; x < 5; ++x) {
        pixels[x] = {250, 240, 235};
        pixels[6 + x] = {230, 245, 230};
        pixels[12 + x] = {220, 225, 255};
    }
    pixels[0] = {251, 240, 235};  // outside the frame's columns below
    const std::vector<uint8_t> pic = Pack(pixels, 4);
    auto measure = [&](int left, int top, int w, int h) {
        return CastMeasureBuffer(pic.data(), 6, 5, 4, PixelRect{left, top, w, h});
    };
    // Arguments: left, top, width, height. The frame's last row is left out.
    EXPECT_EQ(measure(1, 0, 4, 2), Colour(15, 5, 0));  // two rows high: the first only
    EXPECT_EQ(measure(1, 0, 4, 1), 0u);                // one row high: nothing
    EXPECT_EQ(measure(1, 1, 4, 2), Colour(0, 15, 0));
    EXPECT_EQ(measure(0, 0, 2, 2), Colour(15, 5, 0));       // integer means: red 501 / 2
    EXPECT_EQ(measure(1, 0, 4, 3), Colour(8, 10, 0));       // three rows: the mean of two
    EXPECT_EQ(measure(-3, -2, 100, 100), Colour(0, 2, 5));  // clipped at every edge
    EXPECT_EQ(measure(7, 0, 5, 5), 0u);                     // beside the picture
    EXPECT_EQ(measure(2147483000, 2147483000, 2147483647, 2147483647), 0u);  // no overflow
}

TEST(CastRemove, WorkedPixelsAndClipping) {
    const std::tuple<uint32_t, Rgb, Rgb> cases[] = {
        {Colour(15, 5, 0), {100, 100, 100}, {91, 101, 106}},
        {Colour(15, 5, 0), {10, 250, 254}, {1, 251, 254}},
        {Colour(30, 0, 0), {5, 250, 254}, {0, 254, 254}},  // mean 10: limited both ways
        {Colour(0, 0, 30), {255, 0, 40}, {254, 10, 20}},
        {Colour(30, 30, 30), {7, 8, 9}, {7, 8, 9}},
    };
    // Every pixel of a picture; a fourth byte stays as it is.
    for (int bpp : {3, 4})
        for (auto [cast, in, out] : cases) {
            std::vector<uint8_t> pic = Pack(std::vector<Rgb>(6, in), bpp, 0x5A);
            CastRemoveBuffer(pic.data(), 3, 2, bpp, cast);
            EXPECT_EQ(pic, Pack(std::vector<Rgb>(6, out), bpp, 0x5A)) << in << " bpp " << bpp;
        }
}

}  // namespace
