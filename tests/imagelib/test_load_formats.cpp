// Every format the loader reads, by one table: each row a file written on the spot (BMP and icon
// bytes by hand, the others through their own libraries), the size, depth and row order the
// loaded picture must have, and the colour of every pixel. The memory path (the clipboard's) must
// give the very same bitmap.
#include <cmath>
#include <cstring>

#include "load_test_base.h"

using fixtures::BmpDesc;
using fixtures::Bytes;
using fixtures::IconEntry;
using fixtures::PngDesc;
using fixtures::Rgba;

namespace {

struct FormatCase {
    std::string name;
    Bytes file;
    int width, height;
    int depth;  // of the loaded bitmap
    bool topDown = true;
    std::function<Rgba(int, int)> want;
    int tolerance = 0;  // lossy formats: per channel, alpha not compared
    bool screen = false;
    bool grey = false;  // red, green and blue must be exactly equal
};

void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << c.name;
}

// --- BMP ---

BmpDesc Indexed(int bpp, int headerSize = 40, int compression = 0, int entries = 0) {
    BmpDesc s;
    s.width = 13;
    s.height = 5;
    s.bpp = bpp;
    s.headerSize = headerSize;
    s.compression = compression;
    for (int i = 0; i < (entries ? entries : 1 << bpp); ++i)
        s.palette.push_back(Rgba{uint8_t(i * 7), uint8_t(255 - i * 3), uint8_t(i * 11 % 256), 255});
    const int n = static_cast<int>(s.palette.size());
    s.index = [n](int x, int y) { return static_cast<uint32_t>((x / 2 + 3 * y) % n); };
    return s;
}

BmpDesc Direct(int bpp, int headerSize = 40, bool topDown = false, uint32_t r = 0, uint32_t g = 0,
               uint32_t b = 0, uint32_t a = 0) {
    BmpDesc s;
    s.width = 7;
    s.height = 4;
    s.bpp = bpp;
    s.headerSize = headerSize;
    s.topDown = topDown;
    s.compression = r ? 3 : 0;
    s.masks[0] = r, s.masks[1] = g, s.masks[2] = b, s.masks[3] = a;
    return s;
}

// A masked pixel: each channel's stored bits widened to the nearest of the 256 levels.
Rgba FromMasks(const BmpDesc& s, int x, int y) {
    const uint32_t v = fixtures::PackMasked(s.colour(x, y), s.masks);
    uint8_t c[4];
    for (int i = 0; i < 4; ++i) {
        const uint32_t m = s.masks[i];
        const int shift = m ? __builtin_ctz(m) : 0;
        c[i] = m ? uint8_t(std::lround(((v & m) >> shift) * 255.0 / (m >> shift))) : 255;
    }
    return Rgba{c[0], c[1], c[2], c[3]};
}

enum class Want { Palette, Masks, Exact };

// Indexed pictures become screen-compatible 32-bit top-down bitmaps whose fourth byte is 0;
// 32-bit files keep their fourth byte as stored (0 here) or give alpha by their masks.
FormatCase Bmp(const char* name, const BmpDesc& s, Want want, int depth) {
    const bool topDown = want == Want::Palette || s.topDown;
    return {std::string("bmp_") + name,
            fixtures::MakeBmp(s),
            s.width,
            s.height,
            depth,
            topDown,
            [=](int x, int y) {
                Rgba c = want == Want::Palette ? s.palette[s.index(x, y)]
                         : want == Want::Masks ? FromMasks(s, x, y)
                                               : s.colour(x, y);
                if (depth == 24) c.a = 255;
                if (want != Want::Masks && depth == 32) c.a = 0;
                return c;
            },
            0,
            want == Want::Palette};
}

void AddBmp(std::vector<FormatCase>& t) {
    BmpDesc rgba = Direct(32, 108, false, 0xFF000000u, 0xFF0000, 0xFF00, 0xFF);
    rgba.colour = [](int x, int y) {
        Rgba p = fixtures::Gradient(x, y);
        p.a = static_cast<uint8_t>(x * 30);
        return p;
    };
    BmpDesc s555 = Direct(16, 40, false, 0x7C00, 0x3E0, 0x1F);
    s555.compression = 0;  // 16 bits without bit fields is 5-5-5
    using W = Want;
    for (FormatCase c : {
             Bmp("1bpp", Indexed(1), W::Palette, 32),
             Bmp("4bpp", Indexed(4), W::Palette, 32),
             Bmp("8bpp", Indexed(8), W::Palette, 32),
             Bmp("8bpp_short_table", Indexed(8, 40, 0, 20), W::Palette, 32),
             Bmp("8bpp_rle8", Indexed(8, 40, 1), W::Palette, 32),
             Bmp("4bpp_rle4", Indexed(4, 40, 2), W::Palette, 32),
             Bmp("8bpp_core_header", Indexed(8, 12), W::Palette, 32),
             Bmp("4bpp_v4_header", Indexed(4, 108), W::Palette, 32),
             Bmp("8bpp_v5_header", Indexed(8, 124), W::Palette, 32),
             Bmp("16bpp_555", s555, W::Masks, 24),
             Bmp("16bpp_565_bitfields", Direct(16, 40, false, 0xF800, 0x7E0, 0x1F), W::Masks, 24),
             Bmp("16bpp_4444_v3", Direct(16, 56, false, 0xF00, 0xF0, 0xF, 0xF000), W::Masks, 24),
             Bmp("16bpp_565_v5_topdown", Direct(16, 124, true, 0xF800, 0x7E0, 0x1F), W::Masks, 24),
             Bmp("24bpp_bottom_up", Direct(24), W::Exact, 24),
             Bmp("24bpp_top_down", Direct(24, 40, true), W::Exact, 24),
             Bmp("24bpp_core_header", Direct(24, 12), W::Exact, 24),
             Bmp("24bpp_v2_header", Direct(24, 52), W::Exact, 24),
             Bmp("32bpp_bottom_up", Direct(32), W::Exact, 32),
             Bmp("32bpp_top_down_v4", Direct(32, 108, true), W::Exact, 32),
             Bmp("32bpp_rgba_bitfields_v4", rgba, W::Masks, 32),
             Bmp("32bpp_10bit_bitfields", Direct(32, 56, false, 0x3FF00000, 0xFFC00, 0x3FF),
                 W::Masks, 32),
         })
        t.push_back(std::move(c));
}

// --- PNG: every colour type and depth, interlaced or not, and transparency chunks ---

PngDesc PngFor(int colourType, int bitDepth, bool interlaced) {
    PngDesc s;
    s.width = 19;  // odd sizes exercise row padding and the interlace passes
    s.height = 11;
    s.colourType = colourType;
    s.bitDepth = bitDepth;
    s.interlaced = interlaced;
    s.colour = [](int x, int y) {
        Rgba p = fixtures::Gradient(x, y);
        p.a = static_cast<uint8_t>(x * 40 + y * 9);
        return p;
    };
    const int n = colourType == 3 ? 1 << bitDepth : 0;
    for (int i = 0; i < n; ++i)
        s.palette.push_back(Rgba{uint8_t(i * 9), uint8_t(250 - i), uint8_t(i * 31), 255});
    s.index = [n](int x, int y) { return static_cast<uint32_t>((x + y * 5) % n); };
    return s;
}

// Grey below 8 bits comes back widened the way PNG viewers do it; alpha comes laid over white.
// A tRNS chunk never adds alpha: the picture stays at the 24 bits announced.
FormatCase Png(const std::string& name, const PngDesc& s) {
    const bool alpha = s.colourType & 4;
    return {"png_" + name,
            fixtures::MakePng(s),
            s.width,
            s.height,
            alpha ? 32 : 24,
            true,
            [=](int x, int y) {
                if (s.colourType == 3) return s.palette[s.index(x, y)];
                Rgba c = s.colour(x, y);
                if (s.colourType == 0 || s.colourType == 4) {
                    const uint32_t max = (1u << std::min(s.bitDepth, 8)) - 1;
                    c.r = c.g = c.b = static_cast<uint8_t>((c.r * max + 127) / 255 * 255 / max);
                }
                return alpha ? OnWhite(c) : Rgba{c.r, c.g, c.b, 255};
            }};
}

void AddPng(std::vector<FormatCase>& t) {
    const std::pair<int, std::vector<int>> depths[] = {
        {0, {1, 2, 4, 8, 16}}, {2, {8, 16}}, {3, {1, 2, 4, 8}}, {4, {8, 16}}, {6, {8, 16}}};
    for (const auto& [type, list] : depths)
        for (int d : list)
            for (bool interlaced : {false, true}) {
                const std::string name = "type" + std::to_string(type) + "_depth" +
                                         std::to_string(d) + (interlaced ? "_interlaced" : "");
                t.push_back(Png(name, PngFor(type, d, interlaced)));
                if (type == 0 || (type == 3 && d == 4 && !interlaced)) {
                    PngDesc trns = PngFor(type, d, interlaced);
                    trns.transparentGrey = type == 0 ? 1 : -1;
                    if (type == 3) trns.paletteAlpha = {0, 128, 255, 7};
                    t.push_back(Png(name + "_trns", trns));
                }
            }
}

// --- icons: the largest, most colourful entry that can be read, on white by its alpha or mask ---

bool Ring(int x, int y) {  // AND mask: set = transparent
    return (x + y) % 5 == 0;
}

// A square entry of one colour; 32-bit entries get alpha x * 8 when `withAlpha`.
IconEntry DibEntry(int size, int bpp, Rgba fill, bool withAlpha = false) {
    BmpDesc s;
    s.width = s.height = size;
    s.bpp = bpp;
    if (bpp <= 8) {
        s.palette.assign(1 << bpp, Rgba{9, 9, 9, 255});
        s.palette[1] = fill;
    }
    s.index = [=](int x, int) -> uint32_t {
        const uint32_t a = withAlpha ? x * 8 & 0xFF : 0;
        return bpp <= 8 ? 1 : a << 24 | uint32_t{fill.r} << 16 | fill.g << 8 | fill.b;
    };
    return IconEntry{fixtures::MakeIconDib(s, Ring), size, size, bpp};
}

// A PNG entry of colour type 6 (alpha x * 4) or 2.
IconEntry PngEntry(int size, int colourType, Rgba fill) {
    PngDesc s;
    s.width = s.height = size;
    s.colourType = colourType;
    s.colour = [fill](int x, int) { return Rgba{fill.r, fill.g, fill.b, uint8_t(x * 4)}; };
    return IconEntry{fixtures::MakePng(s), size, size, 32};
}

// `alphaStep`: alpha stored x * alphaStep, or from the mask when 0, or opaque when -1.
FormatCase Ico(const char* name, const std::vector<IconEntry>& entries, int size, Rgba colour,
               int alphaStep) {
    return {std::string("ico_") + name,
            fixtures::MakeIco(entries),
            size,
            size,
            32,
            true,
            [=](int x, int y) {
                Rgba stored = colour;
                stored.a = alphaStep > 0                  ? uint8_t(x * alphaStep)
                           : alphaStep < 0 || !Ring(x, y) ? 255
                                                          : 0;
                return OnWhite(stored);
            }};
}

void AddIco(std::vector<FormatCase>& t) {
    const Rgba red{200, 10, 10, 255}, green{10, 200, 10, 255}, blue{10, 10, 200, 255};
    t.push_back(Ico("largest_wins",
                    {DibEntry(16, 32, red), DibEntry(32, 8, green), DibEntry(24, 24, blue)}, 32,
                    green, 0));
    t.push_back(Ico("most_colourful_among_equals",
                    {DibEntry(32, 4, red), DibEntry(32, 24, blue), DibEntry(32, 8, green)}, 32,
                    blue, 0));
    t.push_back(Ico("one_bit_entry", {DibEntry(16, 1, red)}, 16, red, 0));
    t.push_back(Ico("own_alpha_of_32_bits", {DibEntry(20, 32, blue, true)}, 20, blue, 8));
    t.push_back(
        Ico("png_entry_largest", {DibEntry(32, 32, red), PngEntry(48, 6, green)}, 48, green, 4));
    t.push_back(Ico("png_rgb_entry_opaque", {PngEntry(16, 2, blue)}, 16, blue, -1));
    IconEntry broken = DibEntry(64, 24, red);
    broken.data.resize(60);  // header and a few bytes of pixels: the next entry is taken
    t.push_back(Ico("damaged_best_entry_gives_way", {broken, DibEntry(16, 24, blue)}, 16, blue, 0));
}

// --- lossy formats: JPEG of every kind, HEIC, AVIF, WebP, with and without alpha ---

Rgba Smooth(int x, int y) {  // lossy coding stays close to it
    return Rgba{uint8_t(40 + x * 170 / 1024), uint8_t(30 + y * 190 / 720),
                uint8_t(200 - (x + y) * 150 / 1800), 255};
}

Rgba SeeThrough(int x, int y) {
    return Rgba{uint8_t(x * 13), uint8_t(200 - y * 9), 40, uint8_t(x * 17 + y)};
}

void AddLossy(std::vector<FormatCase>& t) {
    using fixtures::JpegKind;
    const struct {
        const char* name;
        JpegKind kind;
        bool progressive, arithmetic = false;
        int width = 61, height = 47;
    } jpegs[] = {{"rgb_1001x700", JpegKind::Rgb, false, false, 1001, 700},
                 {"rgb_progressive", JpegKind::Rgb, true},
                 {"grey", JpegKind::Grey, false},
                 {"grey_progressive", JpegKind::Grey, true},
                 {"cmyk_plain", JpegKind::CmykPlain, false},
                 {"cmyk_adobe_inverted", JpegKind::CmykAdobe, false},
                 {"cmyk_adobe_progressive", JpegKind::CmykAdobe, true},
                 {"ycck_adobe", JpegKind::Ycck, false},
                 {"rgb_arithmetic", JpegKind::Rgb, false, true},
                 {"rgb_arithmetic_progressive", JpegKind::Rgb, true, true}};
    for (const auto& j : jpegs) {
        fixtures::JpegDesc s;
        s.width = j.width, s.height = j.height, s.colour = Smooth;
        s.kind = j.kind, s.progressive = j.progressive, s.arithmetic = j.arithmetic;
        const bool grey = j.kind == JpegKind::Grey;
        auto want = [grey](int x, int y) {
            Rgba c = Smooth(x, y);
            if (grey) c.g = c.b = c.r;
            return c;
        };
        t.push_back({std::string("jpeg_") + j.name, fixtures::MakeJpeg(s), s.width, s.height, 24,
                     true, want, 10, false, grey});
    }
    fixtures::HeifDesc heic, avif, avifAlpha;
    heic.colour = avif.colour = Smooth;
    avif.avif = avifAlpha.avif = avifAlpha.alpha = true;
    avifAlpha.colour = SeeThrough;
    fixtures::WebpDesc webp, webpAlpha;
    webp.colour = Smooth;
    webpAlpha.alpha = webpAlpha.lossless = true;
    webpAlpha.colour = SeeThrough;
    auto onWhite = [](int x, int y) { return OnWhite(SeeThrough(x, y)); };
    t.push_back({"heic", fixtures::MakeHeif(heic), 32, 24, 24, true, Smooth, 10});
    t.push_back({"avif", fixtures::MakeHeif(avif), 32, 24, 24, true, Smooth, 10});
    t.push_back({"avif_alpha", fixtures::MakeHeif(avifAlpha), 32, 24, 32, true, onWhite, 8});
    t.push_back({"webp", fixtures::MakeWebp(webp), 32, 24, 24, true, Smooth, 10});
    t.push_back({"webp_alpha_lossless", fixtures::MakeWebp(webpAlpha), 32, 24, 32, true, onWhite});
}

std::vector<FormatCase> Table() {
    std::vector<FormatCase> t;
    AddBmp(t);
    AddPng(t);
    AddIco(t);
    AddLossy(t);
    return t;
}

class Formats : public LoadTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(Formats, LoadWithTheirSizeDepthRowOrderAndColours) {
    const FormatCase& k = GetParam();
    raster::Bitmap* bm = Load(k.file, k.name);
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(ImageGetWidth(100), k.width);
    EXPECT_EQ(ImageGetHeight(100), k.height);
    EXPECT_EQ(ImageGetDepth(100), k.depth);
    EXPECT_EQ(ImageGetFlags(100), 0);  // even a screen-compatible bitmap loaded from a file
    EXPECT_EQ(bm->topDown, k.topDown);
    EXPECT_EQ(bm->screen, k.screen);
    if (k.depth == 24) EXPECT_EQ(bm->stride, k.width * 3 + k.width % 4);  // 3004 for 1001
    const int step = k.tolerance ? 3 : 1;
    for (int y = 0; y < k.height; y += step)
        for (int x = 0; x < k.width; x += step) {
            const Rgba got = PixelAt(*bm, x, y), want = k.want(x, y);
            if (k.tolerance) {
                ASSERT_TRUE(Near(got, want, k.tolerance)) << x << "," << y << ": " << got;
            } else {
                ASSERT_EQ(got, want) << x << "," << y;
            }
            if (k.grey) ASSERT_TRUE(got.r == got.g && got.g == got.b) << x << "," << y;
        }
    const auto memory = ImageDecodeMemory(k.file);
    ASSERT_NE(memory, nullptr);
    ASSERT_EQ(memory->ByteSize(), bm->ByteSize());
    EXPECT_EQ(std::memcmp(memory->bits.get(), bm->bits.get(), bm->ByteSize()), 0);
}

INSTANTIATE_TEST_SUITE_P(Load, Formats, ::testing::ValuesIn(Table()),
                         [](const auto& info) { return info.param.name; });

using FormatLoad = LoadTest;

TEST_F(FormatLoad, IndexedBmpFollowsA16BitDisplay) {
    DisplaySetDepthForTesting(16);
    BmpDesc s = Indexed(8);
    raster::Bitmap* bm = Load(fixtures::MakeBmp(s), "screen16.bmp");
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(bm->bpp, 16);
    const Rgba want = s.palette[s.index(3, 2)];
    const uint32_t v = bm->Row(2)[6] | bm->Row(2)[7] << 8;
    EXPECT_EQ(v, uint32_t((want.r >> 3) << 11 | (want.g >> 2) << 5 | want.b >> 3));
}

// Hand-written RLE8 data: a run, a literal of odd length, a move, a run cut at the right edge,
// an early end of line, end of picture before the last rows. Skipped pixels stay black.
TEST_F(FormatLoad, Rle8RunsLiteralsMovesAndEarlyEnd) {
    BmpDesc s = Indexed(8, 40, 1, 4);
    s.width = 6;
    s.height = 4;
    Bytes dib = fixtures::MakeDib(s);
    dib.resize(40 + 4 * 4);
    dib.insert(dib.end(), {
                              3, 1,              // bottom row: three pixels of colour 1
                              0, 3, 2, 3, 2, 0,  // literal 2 3 2 (padded)
                              0, 0,              // end of line
                              0, 2, 1, 1,        // move right 1, up 1: x = 1 on the third row
                              9, 3,              // run clipped at the right edge
                              0, 1,              // end of picture: the top row stays black
                          });
    Bytes file = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 14 + 40 + 16, 0, 0, 0};
    file.insert(file.end(), dib.begin(), dib.end());
    raster::Bitmap* bm = Load(file, "rle8_hand.bmp");
    ASSERT_NE(bm, nullptr);
    // Rows top to bottom as palette indices, -1 for black.
    const int rows[4][6] = {{-1, -1, -1, -1, -1, -1},
                            {-1, 3, 3, 3, 3, 3},
                            {-1, -1, -1, -1, -1, -1},
                            {1, 1, 1, 2, 3, 2}};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            Rgba want = rows[y][x] < 0 ? Rgba{} : s.palette[rows[y][x]];
            want.a = 0;
            EXPECT_EQ(PixelAt(*bm, x, y), want) << x << "," << y;
        }
}

// An icon entry whose mask is cut off is opaque where the mask is missing.
TEST_F(FormatLoad, IconMaskCutOff) {
    const Rgba green{10, 200, 10, 255};
    IconEntry e = DibEntry(8, 24, green);
    e.data.resize(e.data.size() - 8);  // the last mask rows (the picture's top) are missing
    raster::Bitmap* bm = Load(fixtures::MakeIco({e}), "short_mask.ico");
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(PixelAt(*bm, 0, 0), green);                       // the mask would make it white
    EXPECT_EQ(PixelAt(*bm, 3, 7), (Rgba{255, 255, 255, 255}));  // bottom row: its mask is there
}

// Cut files keep the rows decoded before the cut; the rest is neutral grey.
TEST_F(FormatLoad, TruncatedPngIsGreyAfterItsDecodedRows) {
    PngDesc s;
    s.width = s.height = 64;
    s.colourType = 6;
    s.colour = [](int x, int y) {  // noise, so that the data does not shrink to nothing
        uint32_t h = ((x * 73856093u) ^ (y * 19349663u)) * 2654435761u;
        return Rgba{uint8_t(h >> 8), uint8_t(h >> 16), uint8_t(h >> 24), 255};
    };
    Bytes png = fixtures::MakePng(s);
    ASSERT_GT(png.size(), 8000u);
    png.resize(png.size() / 2);
    raster::Bitmap* bm = Load(png, "truncated.png");
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(PixelAt(*bm, 10, 0), s.colour(10, 0));
    EXPECT_EQ(PixelAt(*bm, 63, 63), (Rgba{128, 128, 128, 255}));  // never reached
}

}  // namespace
