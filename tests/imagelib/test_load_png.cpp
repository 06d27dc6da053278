// PNG files of every colour type and bit depth, interlaced or not, written with libpng.
#include "imagelib/png_decoder.h"
#include "load_test_base.h"

using fixtures::PngDesc;
using fixtures::Rgba;

namespace {

// An 8-bit sample as stored at `depth` bits and widened back the way PNG viewers do.
uint8_t ThroughDepth(uint8_t v, int depth) {
    if (depth >= 8) return v;
    uint32_t max = (1u << depth) - 1;
    uint32_t stored = (v * max + 127) / 255;
    return static_cast<uint8_t>(stored * 255 / max);
}

Rgba Translucent(int x, int y) {
    Rgba c = fixtures::Gradient(x, y);
    c.a = static_cast<uint8_t>(x * 40 + y * 9);
    return c;
}

struct PngCase {
    int colourType;
    int bitDepth;
    bool interlaced;
};

std::string Name(const PngCase& c) {
    return "type" + std::to_string(c.colourType) + "_depth" + std::to_string(c.bitDepth) +
           (c.interlaced ? "_interlaced" : "");
}

PngDesc SpecFor(const PngCase& c) {
    PngDesc s;
    s.width = 19;  // odd sizes exercise row padding and the interlace passes
    s.height = 11;
    s.colourType = c.colourType;
    s.bitDepth = c.bitDepth;
    s.interlaced = c.interlaced;
    s.colour = Translucent;
    if (c.colourType == 3) {
        int n = 1 << std::min(c.bitDepth, 8);
        for (int i = 0; i < n; ++i)
            s.palette.push_back(Rgba{static_cast<uint8_t>(i * 9), static_cast<uint8_t>(250 - i),
                                     static_cast<uint8_t>(i * 31), 255});
        s.index = [n](int x, int y) { return static_cast<uint32_t>((x + y * 5) % n); };
    }
    return s;
}

Rgba Expected(const PngDesc& s, int x, int y) {
    if (s.colourType == 3) return s.palette[s.index(x, y)];
    Rgba c = s.colour(x, y);
    if (s.colourType == 0 || s.colourType == 4) {
        uint8_t g = ThroughDepth(c.r, s.bitDepth);
        c.r = c.g = c.b = g;
    }
    if (!(s.colourType & 4)) c.a = 255;
    return c;
}

std::vector<PngCase> Cases() {
    std::vector<PngCase> cases;
    const std::pair<int, std::vector<int>> depths[] = {
        {0, {1, 2, 4, 8, 16}}, {2, {8, 16}}, {3, {1, 2, 4, 8}}, {4, {8, 16}}, {6, {8, 16}}};
    for (const auto& [type, list] : depths)
        for (int d : list)
            for (bool interlaced : {false, true})
                cases.push_back({type, d, interlaced});
    return cases;
}

class PngVariants : public LoadTest, public ::testing::WithParamInterface<PngCase> {};

TEST_P(PngVariants, LoadsEveryPixelWithTheAnnouncedDepth) {
    PngDesc s = SpecFor(GetParam());
    raster::Bitmap* bm = Load(fixtures::MakePng(s), Name(GetParam()) + ".png");
    ASSERT_NE(bm, nullptr);
    bool alpha = s.colourType & 4;
    EXPECT_EQ(ImageGetDepth(100), alpha ? 32 : 24);
    EXPECT_EQ(ImageGetWidth(100), s.width);
    EXPECT_EQ(ImageGetHeight(100), s.height);
    EXPECT_EQ(ImageGetFlags(100), 0);
    EXPECT_TRUE(bm->topDown);
    EXPECT_EQ(bm->stride, alpha ? s.width * 4 : s.width * 3 + s.width % 4);
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
            ASSERT_EQ(PixelAt(*bm, x, y), Expected(s, x, y)) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Png, PngVariants, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return Name(info.param); });

using PngLoad = LoadTest;

TEST_F(PngLoad, PaletteWithTransparencyLoadsAs24Bit) {
    PngDesc s = SpecFor({3, 4, false});
    s.paletteAlpha = {0, 128, 255, 7};
    raster::Bitmap* bm = Load(fixtures::MakePng(s), "palette_trns.png");
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(ImageGetDepth(100), 24);
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
            ASSERT_EQ(PixelAt(*bm, x, y), Expected(s, x, y));
}

// Grey below 8 bits with a transparent grey level would gain an alpha channel when expanded;
// the rows must still hold the 3 bytes per pixel the probe announced.
TEST_F(PngLoad, GreyWithTransparencyDeliversThreeBytesPerPixel) {
    for (int depth : {1, 2, 4, 8, 16}) {
        PngDesc s = SpecFor({0, depth, depth == 2});
        s.transparentGrey = 1;
        raster::Bitmap* bm = Load(fixtures::MakePng(s), "grey_trns.png");
        ASSERT_NE(bm, nullptr) << depth;
        EXPECT_EQ(ImageGetDepth(100), 24) << depth;
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x)
                ASSERT_EQ(PixelAt(*bm, x, y), Expected(s, x, y)) << depth << ": " << x << "," << y;
    }
}

TEST_F(PngLoad, TruncatedFileKeepsTheRowsDecoded) {
    PngDesc s;
    s.width = 64;
    s.height = 64;
    s.colour = [](int x, int y) {  // noise, so that the data does not shrink to nothing
        uint32_t h = (x * 73856093u) ^ (y * 19349663u);
        h *= 2654435761u;
        return Rgba{static_cast<uint8_t>(h >> 8), static_cast<uint8_t>(h >> 16),
                    static_cast<uint8_t>(h >> 24), 255};
    };
    fixtures::Bytes png = fixtures::MakePng(s);
    ASSERT_GT(png.size(), 8000u);
    png.resize(png.size() / 2);
    raster::Bitmap* bm = Load(png, "truncated.png");
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(PixelAt(*bm, 10, 0), Expected(s, 10, 0));
    EXPECT_EQ(PixelAt(*bm, 63, 63), (Rgba{0, 0, 0, 255}));  // never reached: black
}

TEST(PngMemory, PeekSizeReadsTheHeaderOnly) {
    PngDesc s = SpecFor({6, 16, false});
    fixtures::Bytes png = fixtures::MakePng(s);
    int w = 0, h = 0, bits = 0;
    ASSERT_TRUE(PngPeekSize(png.data(), png.size(), &w, &h, &bits));
    EXPECT_EQ(w, 19);
    EXPECT_EQ(h, 11);
    EXPECT_EQ(bits, 64);
    EXPECT_FALSE(PngPeekSize(png.data(), 20, &w, &h, &bits));
    png[1] = 'X';
    EXPECT_FALSE(PngPeekSize(png.data(), png.size(), &w, &h, &bits));
}

}  // namespace
