// The tone pass against the worked examples and against a plain per-pixel evaluation of the
// formulas (three powers per pixel, nearbyint for every rounding).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <tuple>
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

Rgb At(const std::vector<uint8_t>& buf, size_t index, int bpp) {
    return {buf[index * bpp + 2], buf[index * bpp + 1], buf[index * bpp]};
}

ToneParams With(int gamma, int white, int black, int saturation, int contrast) {
    return {gamma, white, black, saturation, contrast};
}

TEST(Tone, WorkedExamples) {
    struct Example {
        const char* what;
        ToneParams params;
        Rgb in, out;
    } examples[] = {
        {"defaults, 255 becomes 254", kToneDefaults, {255, 0, 128}, {254, 0, 128}},
        {"black point 245, bright",
         With(155, 255, 245, 100, 100),
         {254, 254, 254},
         {216, 216, 216}},
        {"white point 100", With(155, 100, 0, 100, 100), {100, 50, 200}, {254, 127, 254}},
        {"saturation 0 gives grey", With(155, 255, 0, 0, 100), {200, 0, 0}, {60, 60, 60}},
        {"contrast 200", With(155, 255, 0, 100, 200), {0, 128, 255}, {0, 156, 254}},
        {"gamma 20", With(20, 255, 0, 100, 100), {128, 64, 32}, {50, 10, 2}},
        {"gamma 255, colour", With(255, 255, 0, 100, 100), {17, 200, 99}, {254, 254, 254}},
    };
    for (const Example& ex : examples) {
        std::vector<uint8_t> src = Pack({ex.in}, 3), dst(3, 0);
        ToneAdjustBuffer(src.data(), dst.data(), 1, 1, 3, ex.params);
        EXPECT_EQ(At(dst, 0, 3), ex.out) << ex.what;
        // In place, four bytes a pixel: the fourth byte stays.
        std::vector<uint8_t> four = Pack({ex.in}, 4, 0xAB);
        ToneAdjustBuffer(four.data(), four.data(), 1, 1, 4, ex.params);
        EXPECT_EQ(four, Pack({ex.out}, 4, 0xAB)) << ex.what;
        EXPECT_EQ(Reference(ex.params).Pixel(ex.in), ex.out) << "reference: " << ex.what;
    }
}

// Every (r, g) pair for a few blue values, over a grid of positions with every range end: one
// position at a time around the defaults, then every position at its extremes together.
TEST(Tone, TablePassMatchesPlainFormulasOverSliderGrid) {
    std::vector<ToneParams> grid = {With(90, 140, 30, 170, 130)};
    for (int v : {20, 21, 100, 154, 155, 156, 200, 254, 255})
        grid.push_back(With(v, 255, 0, 100, 100));
    for (int v : {100, 101, 180, 254})
        grid.push_back(With(155, v, 0, 100, 100));
    for (int v : {1, 120, 245})
        grid.push_back(With(155, 255, v, 100, 100));
    for (int v : {0, 1, 50, 99, 101, 150, 199, 200})
        grid.push_back(With(155, 255, 0, v, 100));
    for (int v : {50, 51, 99, 101, 170, 200})
        grid.push_back(With(155, 255, 0, 100, v));
    for (int g : {20, 255})
        for (int w : {100, 255})
            for (int k : {0, 245})
                for (int s : {0, 200})
                    for (int n : {50, 200})
                        grid.push_back(With(g, w, k, s, n));

    std::vector<Rgb> pixels;
    for (int b : {0, 77, 255})
        for (int g = 0; g < 256; ++g)
            for (int r = 0; r < 256; ++r)
                pixels.push_back({r, g, b});
    const std::vector<uint8_t> src = Pack(pixels, 3);
    std::vector<uint8_t> dst(src.size());
    for (const ToneParams& p : grid) {
        const Reference ref(p);
        ToneAdjustBuffer(src.data(), dst.data(), 256 * 3, 256, 3, p);
        for (size_t i = 0; i < pixels.size(); ++i) {
            const Rgb want = ref.Pixel(pixels[i]), got = At(dst, i, 3);
            if (got == want) continue;
            ADD_FAILURE() << "positions " << p.gamma << "/" << p.white << "/" << p.black << "/"
                          << p.saturation << "/" << p.contrast << " pixel " << pixels[i] << " got "
                          << got << " want " << want;
            break;  // the first mismatch of a setting is enough
        }
    }
}

TEST(Tone, ProgressInOrderAndLargePicturesSharedWithoutChangingAByte) {
    auto progress = [](int height) {
        std::vector<uint8_t> buf(static_cast<size_t>(height) * 2 * 3, 90);
        std::vector<int> seen;
        ToneAdjustBuffer(buf.data(), buf.data(), 2, height, 3, kToneDefaults,
                         [&](int v) { seen.push_back(v); });
        return seen;
    };
    EXPECT_EQ(progress(1), std::vector<int>{0});
    const std::vector<int> seen = progress(200);
    ASSERT_EQ(seen.size(), 200u);
    EXPECT_EQ(std::vector<int>(seen.begin(), seen.begin() + 7),
              (std::vector<int>{0, 0, 1, 1, 2, 2, 3}));
    EXPECT_EQ(seen.back(), 99);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));

    // Large enough to be shared between two threads: the bytes of one pass per row, the cast
    // removal's too, and the progress still comes once per row, in order.
    const int w = 1024, h = 1100;
    const size_t rowBytes = size_t{w} * 4;
    std::vector<uint8_t> src(rowBytes * h);
    uint32_t noise = 99;
    for (uint8_t& v : src) {
        noise = noise * 1664525u + 1013904223u;
        v = static_cast<uint8_t>(noise >> 24);
    }
    for (int saturation : {100, 170}) {
        const ToneParams p{120, 230, 20, saturation, 120};
        std::vector<uint8_t> whole(src.size()), rows(src.size());
        std::vector<int> values;
        ToneAdjustBuffer(src.data(), whole.data(), w, h, 4, p, [&](int v) { values.push_back(v); });
        CastRemoveBuffer(whole.data(), w, h, 4, 0x030A05);
        for (int y = 0; y < h; ++y) {
            ToneAdjustBuffer(&src[y * rowBytes], &rows[y * rowBytes], w, 1, 4, p);
            CastRemoveBuffer(&rows[y * rowBytes], w, 1, 4, 0x030A05);
        }
        EXPECT_TRUE(whole == rows) << "saturation " << saturation;
        EXPECT_EQ(values.size(), size_t{h});
        EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    }
}

TEST(Tone, PositionsClampedToTrackBarRanges) {
    const std::pair<ToneParams, ToneParams> cases[] = {
        {With(0, 0, -5, -1, 0), kToneMinimum}, {With(999, 300, 300, 300, 300), kToneMaximum}};
    for (auto [in, out] : cases) {
        const ToneParams got = ToneClampParams(in);
        EXPECT_EQ(std::tie(got.gamma, got.white, got.black, got.saturation, got.contrast),
                  std::tie(out.gamma, out.white, out.black, out.saturation, out.contrast));
        // The pass itself clamps: no division by zero, no negative exponent.
        const std::vector<uint8_t> src = Pack({{0, 0, 0}, {255, 128, 1}}, 3);
        std::vector<uint8_t> raw(src.size()), clamped(src.size());
        ToneAdjustBuffer(src.data(), raw.data(), 2, 1, 3, in);
        ToneAdjustBuffer(src.data(), clamped.data(), 2, 1, 3, out);
        EXPECT_EQ(raw, clamped);
    }
}

}  // namespace
