// Quarter turns, the mirror and the straightening, against their definitions: pixels moved one
// by one, the inscribed rectangle, one colour kept, and the same bytes on one core and on two.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <tuple>
#include <vector>

#include "picture/orient.h"
#include "picture/straighten.h"
#include "platform/raster.h"
#include "tests/picture/noise.h"

namespace {

const uint8_t* At(const raster::Bitmap& bm, int x, int y) {
    return bm.Row(y) + static_cast<size_t>(x) * bm.BytesPerPixel();
}

// Every orientation: turns 0..3, plain and mirrored.
const PixelOrientation kAllOrientations[] = {{0, false}, {1, false}, {2, false}, {3, false},
                                             {0, true},  {1, true},  {2, true},  {3, true}};

// The definition, one pixel at a time: after a clockwise quarter turn output (x, y) comes from
// source (y, H - 1 - x); after the mirror from (W - 1 - x, y).
std::unique_ptr<raster::Bitmap> ByDefinition(const raster::Bitmap& src, PixelOrientation o) {
    auto cur = raster::Clone(src);
    auto step = [](const raster::Bitmap& in, bool turn) {
        auto out = raster::Create(turn ? in.height : in.width, turn ? in.width : in.height, in.bpp,
                                  in.topDown, in.screen);
        for (int y = 0; y < out->height; ++y)
            for (int x = 0; x < out->width; ++x)
                std::memcpy(out->Row(y) + x * in.BytesPerPixel(),
                            turn ? At(in, y, in.height - 1 - x) : At(in, in.width - 1 - x, y),
                            in.BytesPerPixel());
        return out;
    };
    if (o.mirrored) cur = step(*cur, false);
    for (int i = 0; i < o.turns; ++i)
        cur = step(*cur, true);
    return cur;
}

TEST(Orient, EveryOrientationMovesThePixelsByItsDefinitionAndComposes) {
    // Beside the small shapes, ones whose turns fill a whole strip of columns and leave a part of
    // one, with rows left over from the groups of four and columns from the blocks of sixteen;
    // at 24 bits by blocks and (last field false) pixel by pixel.
    const std::tuple<int, int, int, bool> shapes[] = {
        {7, 5, 24, true},    {5, 7, 32, true},  {1, 9, 24, true},   {6, 6, 32, true},
        {9, 70, 24, true},   {9, 70, 32, true}, {23, 37, 24, true}, {37, 23, 24, true},
        {23, 37, 24, false}, {40, 1, 24, true}};
    for (const auto& [w, h, bpp, blocks] : shapes) {
        raster::AllowShufflesForTest(blocks);
        auto src = Noise(w, h, bpp);
        for (PixelOrientation a : kAllOrientations) {
            SCOPED_TRACE(testing::Message() << w << "x" << h << " bpp " << bpp << " turns "
                                            << a.turns << " mirrored " << a.mirrored);
            auto oriented = Orient(*src, a);
            ASSERT_TRUE(oriented);
            EXPECT_EQ(Pixels(*oriented), Pixels(*ByDefinition(*src, a)));
            EXPECT_EQ(Pixels(*Orient(*oriented, Inverse(a))), Pixels(*src));
            // At 0 degrees the straightening is the exact orientation.
            EXPECT_EQ(Pixels(*Straighten(*src, a, 0.0)), Pixels(*oriented));
            for (PixelOrientation b : kAllOrientations)
                EXPECT_EQ(Pixels(*Orient(*oriented, b)), Pixels(*Orient(*src, Compose(a, b))));
        }
    }
    raster::AllowShufflesForTest(true);
}

TEST(Orient, RefusesShapesThatDoNotFit) {
    auto src = Noise(4, 3, 32);
    EXPECT_FALSE(OrientInto(*src, kTurnRight, *raster::Create(4, 3, 32, true, true)));  // unturned
    EXPECT_FALSE(OrientInto(*src, kTurnRight, *raster::Create(3, 4, 24, false, false)));  // depth
    EXPECT_EQ(Orient(*raster::Create(4, 3, 16, true, true), kMirror), nullptr);  // unknown depth
}

// s * W x s * H rounded down must fit into the turned picture, and one pixel more must not.
TEST(Straighten, SizeIsTheLargestInscribedRectangleOfTheSameAspect) {
    auto fits = [](double w, double h, int width, int height, double degrees) {
        const double rad = std::abs(degrees) * std::numbers::pi / 180.0;
        const double c = std::cos(rad), s = std::sin(rad);
        return w * c + h * s <= width + 1e-9 && w * s + h * c <= height + 1e-9;
    };
    const std::pair<int, int> sizes[] = {{4000, 3000}, {3000, 4000}, {640, 480}, {480, 640},
                                         {1000, 1000}, {5000, 800},  {800, 5000}};
    for (const auto& [width, height] : sizes) {
        for (double degrees : {0.1, 1.0, -2.5, 7.3, -15.0, 15.0}) {
            SCOPED_TRACE(testing::Message() << width << "x" << height << " at " << degrees);
            const auto [w, h] = StraightenedSize(width, height, degrees);
            EXPECT_TRUE(fits(w, h, width, height, degrees));
            const double larger = static_cast<double>(w + 1) / width;
            EXPECT_FALSE(fits(w + 1, larger * height, width, height, degrees));
            // The aspect ratio is the picture's, within the rounding of one pixel.
            EXPECT_NEAR(static_cast<double>(w) / h, static_cast<double>(width) / height,
                        static_cast<double>(width) / height / h + 1.0 / h);
            EXPECT_EQ(StraightenedSize(width, height, -degrees), (Sides{w, h}));
        }
    }
}

// No pixel of an empty corner reaches the output: one colour in, that colour everywhere out.
TEST(Straighten, OneColourStaysThatColourEverywhere) {
    for (const auto& [bpp, o, degrees] : {std::tuple{32, PixelOrientation{}, 15.0},
                                          {32, kTurnRight, -15.0},
                                          {24, kMirror, 15.0},
                                          {24, PixelOrientation{3, true}, -0.1},
                                          {32, PixelOrientation{2, false}, 8.8}}) {
        const int width = 301, height = 173;
        auto src = raster::Create(width, height, bpp, bpp == 32, bpp == 32);
        raster::FillRect(*src, 0, 0, width, height, 0x2080C0);
        auto out = Straighten(*src, o, degrees);
        ASSERT_TRUE(out);
        for (int y = 0; y < out->height; ++y)
            for (int x = 0; x < out->width; ++x)
                ASSERT_EQ(raster::GetPixel(*out, x, y), 0x2080C0u)
                    << bpp << " bpp at " << degrees << ": " << x << "," << y;
    }
}

// Positive angles turn clockwise: a horizontal line through the middle falls to the right.
TEST(Straighten, PositiveAnglesTurnClockwise) {
    const int width = 400, height = 200;
    auto src = raster::Create(width, height, 32, true, true);
    raster::FillRect(*src, 0, height / 2 - 1, width, 2, 0xFFFFFF);
    auto out = Straighten(*src, PixelOrientation{}, 10.0);
    ASSERT_TRUE(out);
    auto lineAt = [&](int x) {
        int best = 0;
        for (int y = 0; y < out->height; ++y)
            if (At(*out, x, y)[1] > At(*out, x, best)[1]) best = y;
        return best;
    };
    EXPECT_LT(lineAt(out->width / 8), out->height / 2);
    EXPECT_GT(lineAt(out->width * 7 / 8), out->height / 2);
}

// A 32-bit pixel is interpolated four bytes at a time, a 24-bit one byte by byte: the colours
// must come out the same.
TEST(Straighten, ThirtyTwoAndTwentyFourBitPicturesGiveTheSameColours) {
    auto deep = Noise(97, 61, 32);
    auto flat = raster::Create(97, 61, 24, false, false);
    for (int y = 0; y < 61; ++y)
        for (int x = 0; x < 97; ++x)
            std::memcpy(flat->Row(y) + x * 3, At(*deep, x, y), 3);
    for (double degrees : {-15.0, -0.3, 6.1}) {
        auto a = Straighten(*deep, kTurnLeft, degrees), b = Straighten(*flat, kTurnLeft, degrees);
        ASSERT_EQ(std::pair(a->width, a->height), std::pair(b->width, b->height));
        for (int y = 0; y < a->height; ++y)
            for (int x = 0; x < a->width; ++x)
                ASSERT_EQ(raster::GetPixel(*a, x, y), raster::GetPixel(*b, x, y))
                    << degrees << ": " << x << "," << y;
    }
}

// Large pictures share the work with the helper thread: the bytes are those of one core, and a
// turn written past the cache (32 bits, rows of whole cache lines) still moves each pixel to its
// place.
TEST(Straighten, OneCoreAndTwoCoresGiveTheSameBytes) {
    for (const auto& [w, h, bpp] : {std::tuple{1400, 900, 24}, {2050, 1024, 32}}) {
        auto src = Noise(w, h, bpp);
        std::vector<uint8_t> one, oneTurned;
        OnOneCore([&] {
            one = Pixels(*Straighten(*src, kTurnLeft, 3.7));
            oneTurned = Pixels(*Orient(*src, kTurnRight));
        });
        EXPECT_EQ(Pixels(*Straighten(*src, kTurnLeft, 3.7)), one) << bpp;
        EXPECT_EQ(Pixels(*Orient(*src, kTurnRight)), oneTurned) << bpp;
        EXPECT_EQ(oneTurned, Pixels(*ByDefinition(*src, kTurnRight))) << bpp;
        EXPECT_EQ(Pixels(*Orient(*src, kTurnLeft)), Pixels(*ByDefinition(*src, kTurnLeft))) << bpp;
    }
}

}  // namespace
