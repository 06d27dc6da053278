// Cast measurement and removal over buffers: the worked examples, the sampled area and the
// luminance window.
#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "picture/cast.h"

namespace {

struct Rgb {
    int r, g, b;
};

uint32_t Colour(int r, int g, int b) {
    return static_cast<uint32_t>(r | g << 8 | b << 16);
}

// A width x height picture, every pixel `fill`, packed with `bpp` bytes per pixel; fourth bytes
// hold 0x5A.
struct Picture {
    int width, height, bpp;
    std::vector<uint8_t> bytes;
    Picture(int w, int h, int b, Rgb fill)
        : width(w), height(h), bpp(b), bytes(static_cast<size_t>(w) * h * b, 0x5A) {
        for (int i = 0; i < w * h; ++i)
            Set(i % w, i / w, fill);
    }
    uint8_t* At(int x, int y) { return &bytes[(static_cast<size_t>(y) * width + x) * bpp]; }
    void Set(int x, int y, Rgb c) {
        uint8_t* p = At(x, y);
        p[0] = uint8_t(c.b), p[1] = uint8_t(c.g), p[2] = uint8_t(c.r);
    }
    uint32_t Get(int x, int y) { return Colour(At(x, y)[2], At(x, y)[1], At(x, y)[0]); }
    uint32_t Measure(int left, int top, int w, int h) const {
        return CastMeasureBuffer(bytes.data(), width, height, bpp, PixelRect{left, top, w, h});
    }
};

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
            const uint32_t cast = Picture(8, 6, bpp, pixel).Measure(1, 1, 5, 4);
            EXPECT_EQ(cast, want) << pixel.r << "," << pixel.g << "," << pixel.b << " bpp " << bpp;
            EXPECT_EQ(CastSwatchColour(cast), swatch) << cast;
        }
}

TEST(CastMeasure, SampledArea) {
    // Row 0 carries a red cast, row 1 a green one, row 2 a strong blue one; the rest is too dark
    // to count.
    Picture pic(6, 5, 4, {20, 20, 20});
    for (int x = 1; x < 5; ++x) {
        pic.Set(x, 0, {250, 240, 235});
        pic.Set(x, 1, {230, 245, 230});
        pic.Set(x, 2, {220, 225, 255});
    }
    pic.Set(0, 0, {251, 240, 235});  // outside the frame's columns below
    // Arguments: left, top, width, height. The frame's last row is left out.
    EXPECT_EQ(pic.Measure(1, 0, 4, 2), Colour(15, 5, 0));  // two rows high: the first only
    EXPECT_EQ(pic.Measure(1, 0, 4, 1), 0u);                // one row high: nothing
    EXPECT_EQ(pic.Measure(1, 1, 4, 2), Colour(0, 15, 0));
    EXPECT_EQ(pic.Measure(0, 0, 2, 2), Colour(15, 5, 0));       // integer means: red 501 / 2
    EXPECT_EQ(pic.Measure(1, 0, 4, 3), Colour(8, 10, 0));       // three rows: the mean of two
    EXPECT_EQ(pic.Measure(-3, -2, 100, 100), Colour(0, 2, 5));  // clipped at every edge
    EXPECT_EQ(pic.Measure(7, 0, 5, 5), 0u);                     // beside the picture
    EXPECT_EQ(pic.Measure(1, 1, 0, 0), 0u);                     // empty
    EXPECT_EQ(pic.Measure(2147483000, 2147483000, 2147483647, 2147483647), 0u);  // no overflow
}

TEST(CastRemove, WorkedPixelsAndClipping) {
    const std::tuple<uint32_t, Rgb, uint32_t> cases[] = {
        {Colour(15, 5, 0), {100, 100, 100}, Colour(91, 101, 106)},
        {Colour(15, 5, 0), {10, 250, 254}, Colour(1, 251, 254)},
        {Colour(30, 0, 0), {5, 250, 254}, Colour(0, 254, 254)},  // mean 10: limited both ways
        {Colour(0, 0, 30), {255, 0, 40}, Colour(254, 10, 20)},
        {Colour(30, 30, 30), {7, 8, 9}, Colour(7, 8, 9)},
    };
    for (int bpp : {3, 4})
        for (auto [cast, in, out] : cases) {
            Picture pic(3, 2, bpp, in);
            CastRemoveBuffer(pic.bytes.data(), pic.width, pic.height, bpp, cast);
            for (int i = 0; i < 6; ++i) {
                EXPECT_EQ(pic.Get(i % 3, i / 3), out) << in.r << " bpp " << bpp;
                if (bpp == 4) {
                    EXPECT_EQ(pic.At(i % 3, i / 3)[3], 0x5A) << "fourth byte touched";
                }
            }
        }
}

}  // namespace
