// PNG files of every colour type and bit depth, interlaced or not, written with libpng.
#include "load_test_base.h"

using fixtures::PngDesc;
using fixtures::Rgba;

namespace {

struct PngCase {
    int colourType;
    int bitDepth;
    bool interlaced;
};

std::string Name(const PngCase& c) {
    return "type" + std::to_string(c.colourType) + "_depth" + std::to_string(c.bitDepth) +
           (c.interlaced ? "_interlaced" : "");
}

// Odd sizes exercise row padding and the interlace passes; palettes fill the depth.
PngDesc DescFor(const PngCase& c) {
    PngDesc s;
    s.width = 19;
    s.height = 11;
    s.colourType = c.colourType;
    s.bitDepth = c.bitDepth;
    s.interlaced = c.interlaced;
    s.colour = [](int x, int y) {
        Rgba p = fixtures::Gradient(x, y);
        p.a = static_cast<uint8_t>(x * 40 + y * 9);
        return p;
    };
    const int n = c.colourType == 3 ? 1 << c.bitDepth : 0;
    for (int i = 0; i < n; ++i)
        s.palette.push_back(Rgba{uint8_t(i * 9), uint8_t(250 - i), uint8_t(i * 31), 255});
    s.index = [n](int x, int y) { return static_cast<uint32_t>((x + y * 5) % n); };
    return s;
}

// Grey samples stored at fewer than 8 bits come back widened the way PNG viewers do; pixels with
// alpha come laid over white.
Rgba Expected(const PngDesc& s, int x, int y) {
    if (s.colourType == 3) return s.palette[s.index(x, y)];
    Rgba c = s.colour(x, y);
    if (s.colourType == 0 || s.colourType == 4) {
        const uint32_t max = (1u << std::min(s.bitDepth, 8)) - 1;
        c.r = c.g = c.b = static_cast<uint8_t>((c.r * max + 127) / 255 * 255 / max);
    }
    return s.colourType & 4 ? OnWhite(c) : Rgba{c.r, c.g, c.b, 255};
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
    PngDesc s = DescFor(GetParam());
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

// Palette with transparency, and grey below 8 bits with a transparent grey level (which would
// gain an alpha channel when expanded): 24-bit pictures with the 3 bytes per pixel announced.
TEST_F(PngLoad, TransparencyChunkGives24BitPictures) {
    std::vector<PngDesc> cases;
    for (int depth : {1, 2, 4, 8, 16}) {
        cases.push_back(DescFor({0, depth, depth == 2}));
        cases.back().transparentGrey = 1;
    }
    cases.push_back(DescFor({3, 4, false}));
    cases.back().paletteAlpha = {0, 128, 255, 7};
    for (const PngDesc& s : cases) {
        SCOPED_TRACE(testing::Message() << "type " << s.colourType << " depth " << s.bitDepth);
        raster::Bitmap* bm = Load(fixtures::MakePng(s), "trns.png");
        ASSERT_NE(bm, nullptr);
        EXPECT_EQ(ImageGetDepth(100), 24);
        EXPECT_EQ(bm->stride, s.width * 3 + s.width % 4);
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x)
                ASSERT_EQ(PixelAt(*bm, x, y), Expected(s, x, y)) << x << "," << y;
    }
}

// WebP and AVIF pictures with alpha lie on white, by the one rule for every path.
TEST_F(PngLoad, WebpAndAvifAlphaLiesOnWhite) {
    auto seeThrough = [](int x, int y) {
        return Rgba{static_cast<uint8_t>(x * 13), static_cast<uint8_t>(200 - y * 9), 40,
                    static_cast<uint8_t>(x * 17 + y)};
    };
    fixtures::WebpDesc webp;
    webp.alpha = webp.lossless = true;
    webp.colour = seeThrough;
    fixtures::HeifDesc avif;
    avif.alpha = avif.avif = true;
    avif.colour = seeThrough;
    const struct {
        fixtures::Bytes file;
        int tolerance;
    } cases[] = {{fixtures::MakeWebp(webp), 0}, {fixtures::MakeHeif(avif), 8}};
    for (const auto& c : cases) {
        raster::Bitmap* bm = Load(c.file, "alpha.bin");
        ASSERT_NE(bm, nullptr);
        for (int y = 0; y < 24; y += 5)
            for (int x = 0; x < 32; x += 3)
                ASSERT_TRUE(Near(PixelAt(*bm, x, y), OnWhite(seeThrough(x, y)), c.tolerance))
                    << x << "," << y << " got " << PixelAt(*bm, x, y);
    }
}

TEST_F(PngLoad, TruncatedFileKeepsTheRowsDecodedAndIsGreyAfterThem) {
    PngDesc s;
    s.width = s.height = 64;
    s.colourType = 6;
    s.colour = [](int x, int y) {  // noise, so that the data does not shrink to nothing
        uint32_t h = ((x * 73856093u) ^ (y * 19349663u)) * 2654435761u;
        return Rgba{uint8_t(h >> 8), uint8_t(h >> 16), uint8_t(h >> 24), 255};
    };
    fixtures::Bytes png = fixtures::MakePng(s);
    ASSERT_GT(png.size(), 8000u);
    png.resize(png.size() / 2);
    raster::Bitmap* bm = Load(png, "truncated.png");
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(PixelAt(*bm, 10, 0), Expected(s, 10, 0));
    EXPECT_EQ(PixelAt(*bm, 63, 63), (Rgba{128, 128, 128, 255}));  // never reached
}

}  // namespace
