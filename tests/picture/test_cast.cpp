// Cast measurement and removal over buffers: the documented examples, the sampled area and the
// luminance window.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "picture/cast.h"

namespace {

struct Rgb {
    int r, g, b;
};

uint32_t Colour(int r, int g, int b) {
    return static_cast<uint32_t>(r) | static_cast<uint32_t>(g) << 8 |
           static_cast<uint32_t>(b) << 16;
}

// A width x height picture, every pixel `fill`, packed with `bpp` bytes per pixel.
struct Picture {
    int width, height, bpp;
    std::vector<uint8_t> bytes;
    Picture(int w, int h, int b, Rgb fill) : width(w), height(h), bpp(b) {
        bytes.assign(static_cast<size_t>(w) * h * b, 0x5A);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                Set(x, y, fill);
    }
    void Set(int x, int y, Rgb c) {
        uint8_t* p = &bytes[(static_cast<size_t>(y) * width + x) * bpp];
        p[0] = static_cast<uint8_t>(c.b);
        p[1] = static_cast<uint8_t>(c.g);
        p[2] = static_cast<uint8_t>(c.r);
    }
    uint32_t Get(int x, int y) const {
        const uint8_t* p = &bytes[(static_cast<size_t>(y) * width + x) * bpp];
        return Colour(p[2], p[1], p[0]);
    }
    uint32_t Measure(Selection frame) const {
        return CastMeasureBuffer(bytes.data(), width, height, bpp, frame);
    }
};

// Selection fields run height, width, left, top.
Selection Frame(int left, int top, int width, int height) {
    return {height, width, left, top};
}

TEST(CastMeasure, DocumentedCasts) {
    struct Case {
        const char* what;
        Rgb pixel;
        uint32_t cast, swatch;
    } cases[] = {
        {"luminance 242", {250, 240, 235}, Colour(15, 5, 0), Colour(188, 148, 128)},
        {"capped at 30", {250, 215, 200}, Colour(30, 15, 0), Colour(248, 188, 128)},
        {"neutral highlight", {240, 240, 240}, 0, Colour(128, 128, 128)},
        {"too bright", {255, 255, 255}, 0, Colour(128, 128, 128)},
        {"blue cast", {225, 230, 255}, Colour(0, 5, 30), Colour(128, 148, 248)},
    };
    for (int bpp : {3, 4})
        for (const Case& c : cases) {
            const Picture pic(8, 6, bpp, c.pixel);
            const uint32_t cast = pic.Measure(Frame(1, 1, 5, 4));
            EXPECT_EQ(cast, c.cast) << c.what << " bpp " << bpp;
            EXPECT_EQ(CastSwatchColour(cast), c.swatch) << c.what;
        }
    EXPECT_EQ(Colour(15, 5, 0), 1295u);
}

TEST(CastMeasure, LuminanceWindowIsInclusive) {
    struct Case {
        Rgb pixel;  // its luminance is given beside each case
        uint32_t cast;
    } cases[] = {
        {{226, 218, 218}, 0},                // 220: left out
        {{227, 219, 219}, Colour(8, 0, 0)},  // 221: counted
        {{255, 250, 250}, Colour(5, 0, 0)},  // 252: counted
        {{255, 252, 252}, 0},                // 253: left out
    };
    for (const Case& c : cases) {
        const Picture pic(3, 3, 3, c.pixel);
        EXPECT_EQ(pic.Measure(Frame(0, 0, 3, 3)), c.cast) << c.pixel.r << "," << c.pixel.g;
    }
}

TEST(CastMeasure, SampledArea) {
    // Row 0 carries a red cast, row 1 a green one, row 2 a strong blue one; the rest is neutral
    // or too dark to count.
    Picture pic(6, 5, 4, {20, 20, 20});
    for (int x = 1; x < 5; ++x) {
        pic.Set(x, 0, {250, 240, 235});
        pic.Set(x, 1, {230, 245, 230});
        pic.Set(x, 2, {220, 225, 255});
    }
    pic.Set(0, 0, {251, 240, 235});  // outside the frame's columns below
    struct Case {
        const char* what;
        Selection frame;
        uint32_t cast;
    } cases[] = {
        {"two rows high samples the first only", Frame(1, 0, 4, 2), Colour(15, 5, 0)},
        {"one row high samples nothing", Frame(1, 0, 4, 1), 0},
        {"last row left out", Frame(1, 1, 4, 2), Colour(0, 15, 0)},
        {"integer means", Frame(0, 0, 2, 2), Colour(15, 5, 0)},  // red 501 / 2
        {"three rows: mean of two", Frame(1, 0, 4, 3), Colour(8, 10, 0)},
        {"no highlights", Frame(0, 3, 6, 2), 0},
        {"frame reaching past every edge", Frame(-3, -2, 100, 100), Colour(0, 2, 5)},
        {"frame beside the picture", Frame(7, 0, 5, 5), 0},
        {"frame above the picture", Frame(0, -9, 6, 5), 0},
        {"empty frame", Frame(1, 1, 0, 0), 0},
        {"negative size", Frame(4, 4, -3, -3), 0},
        {"huge frame", Frame(2147483000, 2147483000, 2147483647, 2147483647), 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(pic.Measure(c.frame), c.cast) << c.what;
}

TEST(CastRemove, DocumentedPixels) {
    struct Case {
        uint32_t cast;
        Rgb in;
        uint32_t out;
    } cases[] = {
        {Colour(15, 5, 0), {100, 100, 100}, Colour(91, 101, 106)},
        {Colour(15, 5, 0), {10, 250, 254}, Colour(1, 251, 254)},
        {Colour(30, 0, 0), {5, 250, 254}, Colour(0, 254, 254)},  // mean 10: limited both ways
        {Colour(0, 0, 30), {255, 0, 40}, Colour(254, 10, 20)},
        {Colour(30, 30, 30), {7, 8, 9}, Colour(7, 8, 9)},
    };
    for (int bpp : {3, 4})
        for (const Case& c : cases) {
            Picture pic(3, 2, bpp, c.in);
            CastRemoveBuffer(pic.bytes.data(), pic.width, pic.height, bpp, c.cast);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x)
                    EXPECT_EQ(pic.Get(x, y), c.out) << c.in.r;
            if (bpp == 4) {
                for (size_t i = 3; i < pic.bytes.size(); i += 4)
                    EXPECT_EQ(pic.bytes[i], 0x5A) << "fourth byte touched";
            }
        }
}

}  // namespace
