// Every format the loader reads, by one table: each row a file written on the spot (BMP and icon
// files by ImageMagick, the others through their own libraries), the size, depth and row order the
// loaded picture must have, and the colour of every pixel. The memory path (the clipboard's) must
// give the very same bitmap, and so must a decode in this process instead of the confined helper.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "load_test_base.h"

using fixtures::Bytes;
using fixtures::IconEntry;
using fixtures::Joined;
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

// --- BMP, written by ImageMagick ---

// `n` distinct colours, for the palette files.
fixtures::Pattern Colours(int n) {
    return [n](int x, int y) {
        const int i = (x / 2 + 3 * y) % n;
        return Rgba{uint8_t(i * 7), uint8_t(255 - i * 3), uint8_t(i * 11 % 256), 255};
    };
}

// Channels of `bits` bits each (alpha too when `alpha` has bits), widened to the nearest of the
// 256 levels as the reader must widen them.
fixtures::Pattern Levels(int r, int g, int b, int a = 0) {
    return [=](int x, int y) {
        auto level = [](int v, int bits) {
            const int max = (1 << bits) - 1;
            return uint8_t(std::lround((v & max) * 255.0 / max));
        };
        const Rgba c = fixtures::Gradient(x, y);
        return Rgba{level(c.r, r), level(c.g, g), level(c.b, b),
                    a ? level(x * 3 + y, a) : uint8_t(255)};
    };
}

// Indexed pictures become screen-compatible 32-bit top-down bitmaps whose fourth byte is 0;
// 16 and 24 bits give 24-bit bitmaps; 32-bit files keep their fourth byte.
FormatCase Bmp(const char* name, const Bytes& file, const fixtures::Pattern& colour, int depth,
               bool palette = false, bool topDown = false) {
    const bool core = file.at(14) == 12;  // 16-bit sides
    auto side = [&](size_t at) {
        int32_t v = 0;
        std::memcpy(&v, &file.at(at), core ? 2 : 4);
        return std::abs(core ? int16_t(v) : v);
    };
    auto want = [=](int x, int y) {
        Rgba c = colour(x, y);
        c.a = palette ? 0 : depth == 24 ? 255 : c.a;
        return c;
    };
    const int width = side(18), height = side(core ? 20 : 22);
    topDown = topDown || palette;
    return {"bmp_" + std::string(name), file, width, height, depth, topDown, want, 0, palette};
}

// ImageMagick cuts the low bits off rather than rounding: one level up, the stored bits are the
// same either way.
fixtures::Pattern Nudged(const fixtures::Pattern& levels) {
    return [=](int x, int y) {
        Rgba c = levels(x, y);
        for (uint8_t* v : {&c.r, &c.g, &c.b, &c.a})
            *v = *v == 255 ? 255 : *v + 1;
        return c;
    };
}

// A v5 header cut to `size` bytes (52, 56, 108): the shorter headers keep the same first fields.
Bytes Header(Bytes v5, int size) {
    v5.erase(v5.begin() + 14 + size, v5.begin() + 14 + 124);
    const int offset = (v5.at(10) | v5.at(11) << 8) - (124 - size);
    v5.at(14) = uint8_t(size), v5.at(10) = uint8_t(offset), v5.at(11) = uint8_t(offset >> 8);
    return v5;
}

// Hand-written RLE8 or RLE4 data in a generated 4-colour file: a run, a literal of odd length, a
// move, a run cut at the right edge, an early end of line, end of picture before the last rows.
// Skipped pixels stay black.
FormatCase Rle(bool four) {
    Bytes file =
        fixtures::Convert(6, 4, Colours(4), four ? "-type Palette" : "-type Palette -compress RLE");
    if (file.at(28) != (four ? 4 : 8)) throw std::runtime_error("convert chose another depth");
    file.resize(file.at(10) | file.at(11) << 8);  // up to the pixels
    file.at(30) = four ? 2 : 1;
    std::fill(file.begin() + 34, file.begin() + 38, 0);  // no stated size of the pixel data
    std::vector<Rgba> palette = {{0, 0, 0, 255}};
    for (int i = 0; i < 4; ++i)  // the order ImageMagick gave the table
        palette.push_back(Rgba{file[54 + 4 * i + 2], file[54 + 4 * i + 1], file[54 + 4 * i], 255});
    const Bytes literal = four ? Bytes{0, 3, 0x23, 0x20} : Bytes{0, 3, 2, 3, 2, 0};  // 2 3 2
    file.insert(file.end(), {3, uint8_t(four ? 0x11 : 1)});  // bottom row: three pixels of 1
    file.insert(file.end(), literal.begin(), literal.end());
    file.insert(file.end(), {0, 0,                         // end of line
                             0, 2, 1, 1,                   // move right 1, up 1: x = 1, third row
                             9, uint8_t(four ? 0x33 : 3),  // run clipped at the right edge
                             0, 1});  // end of picture: the top row stays black
    // Rows top to bottom as palette indices + 1, 0 for black.
    static const int rows[4][6] = {
        {0, 0, 0, 0, 0, 0}, {0, 4, 4, 4, 4, 4}, {0, 0, 0, 0, 0, 0}, {2, 2, 2, 3, 4, 3}};
    return Bmp(
        four ? "4bpp_rle4_hand" : "8bpp_rle8_hand", file,
        [=](int x, int y) { return palette[rows[y][x]]; }, 32, true);
}

void AddBmp(std::vector<FormatCase>& t) {
    using fixtures::Convert, fixtures::Gradient;
    const auto seeThrough = [](int x, int y) {
        Rgba p = Gradient(x, y);
        p.a = static_cast<uint8_t>(x * 30 + y);
        return p;
    };
    Bytes noFields = Convert(7, 4, Nudged(Levels(5, 5, 5)), "-define bmp:subtype=RGB555", "BMP:");
    noFields.at(30) = 0;  // 16 bits without bit fields is 5-5-5
    Bytes topDown = Convert(7, 4, Gradient, "-flip");
    topDown.at(22) = uint8_t(-4), topDown.at(23) = topDown.at(24) = topDown.at(25) = 0xFF;
    // Red and blue masks swapped in the header: the reader must follow the masks, alpha included.
    Bytes swapped = Header(Convert(7, 4, seeThrough, "", "BMP:"), 56);
    std::swap_ranges(swapped.begin() + 54, swapped.begin() + 58, swapped.begin() + 62);
    const auto redBlue = [=](int x, int y) {
        Rgba c = seeThrough(x, y);
        std::swap(c.r, c.b);
        return c;
    };
    // Palette files of 13 x 5 pixels in `n` colours.
    auto indexed = [](const char* name, int n, const std::string& options = "",
                      const std::string& out = "BMP3:") {
        return Bmp(name, Convert(13, 5, Colours(n), "-type Palette " + options, out), Colours(n),
                   32, true);
    };
    const Bytes rgb565 =
        Convert(7, 4, Nudged(Levels(5, 6, 5)), "-define bmp:subtype=RGB565", "BMP:");
    const Bytes v4 = Header(Convert(13, 5, Colours(12), "-type Palette", "BMP:"), 108);
    for (FormatCase c : {
             indexed("1bpp", 2),
             indexed("4bpp", 12),
             indexed("8bpp_short_table", 40),
             indexed("8bpp_rle8", 40, "-compress RLE"),
             indexed("8bpp_core_header", 40, "", "BMP2:"),
             Bmp("4bpp_v4_header", v4, Colours(12), 32, true),
             Rle(false),
             Rle(true),
             Bmp("16bpp_555", noFields, Levels(5, 5, 5), 24),
             Bmp("16bpp_565_v5", rgb565, Levels(5, 6, 5), 24),
             Bmp("16bpp_565_v2_header", Header(rgb565, 52), Levels(5, 6, 5), 24),
             Bmp("32bpp_swapped_masks_v3_header", swapped, redBlue, 32),
             Bmp("16bpp_4444_v5",
                 Convert(7, 4, Nudged(Levels(4, 4, 4, 4)), "-define bmp:subtype=ARGB4444", "BMP:"),
                 Levels(4, 4, 4, 4), 24),
             Bmp("24bpp_bottom_up", Convert(7, 4, Gradient, ""), Gradient, 24),
             Bmp("24bpp_top_down", topDown, Gradient, 24, false, true),
             Bmp("24bpp_core_header", Convert(7, 4, Gradient, "", "BMP2:"), Gradient, 24),
             Bmp("32bpp_fourth_byte_kept", Convert(7, 4, seeThrough, "-define bmp3:alpha=true"),
                 seeThrough, 32),
             Bmp("32bpp_rgba_bitfields_v5", Convert(7, 4, seeThrough, "", "BMP:"), seeThrough, 32),
         })
        t.push_back(std::move(c));
}

// --- PNG: every colour type and depth, interlaced or not, and transparency chunks ---

PngDesc PngFor(int colourType, int bitDepth, bool interlaced) {
    // Odd sizes exercise row padding and the interlace passes.
    PngDesc s{.width = 19, .height = 11, .colourType = colourType, .bitDepth = bitDepth};
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

// Grey below 8 bits comes back widened the way PNG viewers do it. Alpha, and the transparency a
// tRNS chunk gives, come laid over white; a tRNS chunk leaves the picture at 24 bits.
FormatCase Png(const std::string& name, const PngDesc& s) {
    const bool alpha = s.colourType & 4;
    auto want = [=](int x, int y) {
        if (s.colourType == 3) {
            const uint32_t i = s.index(x, y);
            Rgba c = s.palette[i];
            c.a = i < s.paletteAlpha.size() ? s.paletteAlpha[i] : 255;
            return OnWhite(c);
        }
        Rgba c = s.colour(x, y);
        const auto sample = [&](uint8_t v) { return fixtures::Sample(v, s.bitDepth); };
        if (s.colourType == 0 || s.colourType == 4) {
            if (s.colourType == 0 && sample(c.r) == uint32_t(s.transparentGrey))
                return Rgba{255, 255, 255, 255};
            const uint32_t max = (1u << std::min(s.bitDepth, 8)) - 1;
            c.r = c.g = c.b = static_cast<uint8_t>((c.r * max + 127) / 255 * 255 / max);
        }
        const auto& t = s.transparentRgb;
        if (s.colourType == 2 && t && sample(c.r) == sample(t->r) && sample(c.g) == sample(t->g) &&
            sample(c.b) == sample(t->b))
            return Rgba{255, 255, 255, 255};
        return alpha ? OnWhite(c) : Rgba{c.r, c.g, c.b, 255};
    };
    return {"png_" + name, fixtures::MakePng(s), s.width, s.height, alpha ? 32 : 24, true, want};
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
                // Transparency by tRNS: a dark grey level, one colour, palette entries.
                PngDesc trns = PngFor(type, d, interlaced);
                const Rgba dark = trns.colour(1, 0), single = trns.colour(2, 1);
                if (type == 0) trns.transparentGrey = int(fixtures::Sample(dark.r, d));
                if (type == 2) trns.transparentRgb = single;
                if (type == 3 && d >= 4) trns.paletteAlpha = {0, 128, 255, 7};
                if (type != 4 && type != 6 && (type != 3 || d >= 4))
                    t.push_back(Png(name + "_trns", trns));
            }
}

// --- icons: the largest, most colourful entry that can be read, on white by its alpha or mask ---

// A pattern transparent on a ring, or with alpha x * alphaStep.
fixtures::Pattern Masked(const fixtures::Pattern& colour, int alphaStep = 0) {
    return [=](int x, int y) {
        Rgba c = colour(x, y);
        c.a = alphaStep ? uint8_t(x * alphaStep) : (x + y) % 5 == 0 ? 0 : 255;
        return c;
    };
}

fixtures::Pattern Fill(Rgba fill, int alphaStep = 0) {
    return Masked([fill](int, int) { return fill; }, alphaStep);
}

// An entry made of the BMP file ImageMagick writes at `bits` per pixel: 32 bits keep the
// pattern's alpha, fewer carry it as the AND mask (set where alpha is 0).
IconEntry DibEntry(int size, const fixtures::Pattern& colour, int bits) {
    const fixtures::Pattern opaque = [=](int x, int y) {
        return Rgba{colour(x, y).r, colour(x, y).g, colour(x, y).b, 255};
    };
    const char* options = bits == 32   ? "-define bmp3:alpha=true"
                          : bits == 24 ? "-type TrueColor"
                                       : "-type Palette -compress None";
    IconEntry e =
        fixtures::EntryOf(fixtures::Convert(size, size, bits == 32 ? colour : opaque, options));
    if (e.bitCount != bits) throw std::runtime_error("convert chose another depth");
    const int stride = (size + 31) / 32 * 4;  // mask rows, bottom-up, at the end
    for (int y = 0; bits < 32 && y < size; ++y)
        for (int x = 0; x < size; ++x)
            if (colour(x, y).a == 0)
                e.data.at(e.data.size() - (y + 1) * stride + x / 8) |= 0x80 >> x % 8;
    return e;
}

// A PNG entry of colour type 6 (alpha x * 4) or 2.
IconEntry PngEntry(int size, int colourType, Rgba fill) {
    const PngDesc s{
        .width = size, .height = size, .colourType = colourType, .colour = Fill(fill, 4)};
    return IconEntry{fixtures::MakePng(s), size, size, 32};
}

void AddIco(std::vector<FormatCase>& t) {
    auto ico = [&t](const char* name, const std::vector<IconEntry>& entries, int size,
                    const fixtures::Pattern& colour) {
        auto want = [=](int x, int y) { return OnWhite(colour(x, y)); };
        t.push_back(
            {std::string("ico_") + name, fixtures::MakeIco(entries), size, size, 32, true, want});
    };
    const Rgba red{200, 10, 10, 255}, green{10, 200, 10, 255}, blue{10, 10, 200, 255};
    // Sides whose rows need padding (4 and 8 bits at 22, 24 bits at 18) place the mask.
    const auto four = Masked(Colours(12)), eight = Masked(Colours(40));
    ico("largest_wins",
        {DibEntry(16, Fill(red), 32), DibEntry(22, eight, 8), DibEntry(18, Fill(blue), 24)}, 22,
        eight);
    ico("most_colourful_among_equals",
        {DibEntry(18, four, 4), DibEntry(18, Fill(blue), 24), DibEntry(18, eight, 8)}, 18,
        Fill(blue));
    ico("four_bits_over_one", {DibEntry(22, Fill(red), 1), DibEntry(22, four, 4)}, 22, four);
    ico("one_bit_entry", {DibEntry(16, Fill(red), 1)}, 16, Fill(red));
    ico("own_alpha_of_32_bits", {DibEntry(20, Fill(blue, 8), 32)}, 20, Fill(blue, 8));
    ico("png_entry_largest", {DibEntry(32, Fill(red), 32), PngEntry(48, 6, green)}, 48,
        Fill(green, 4));
    const auto opaque = [blue](int, int) { return blue; };
    ico("png_rgb_entry_opaque", {PngEntry(16, 2, blue)}, 16, opaque);
    IconEntry cut = DibEntry(8, Fill(green), 1);
    cut.data.resize(cut.data.size() - 8);  // mask rows of the top two rows missing: opaque there
    ico("mask_cut_off", {cut}, 8, [=](int x, int y) { return y < 2 ? green : Fill(green)(x, y); });
    IconEntry broken = DibEntry(64, Fill(red), 32);
    broken.data.resize(60);  // header and a few bytes of pixels: the next entry is taken
    ico("damaged_best_entry_gives_way", {broken, DibEntry(16, Fill(blue), 32)}, 16, Fill(blue));
}

// --- lossy formats: JPEG of every kind, HEIC, AVIF, WebP, with and without alpha ---

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
        const bool grey = j.kind == JpegKind::Grey;
        auto want = [grey](int x, int y) {
            Rgba c = Smooth(x, y);
            if (grey) c.g = c.b = c.r;
            return c;
        };
        fixtures::JpegDesc s{
            .width = j.width, .height = j.height, .kind = j.kind, .colour = Smooth};
        s.progressive = j.progressive, s.arithmetic = j.arithmetic;
        t.push_back({std::string("jpeg_") + j.name, fixtures::MakeJpeg(s), s.width, s.height, 24,
                     true, want, 10, false, grey});
    }
    // Opaque smooth pictures, close to the pattern.
    auto lossy = [&t](const std::string& name, const Bytes& file, int width, int height,
                      const fixtures::Pattern& want = Smooth) {
        t.push_back({name, file, width, height, 24, true, want, 10});
    };
    // Box-built files: 128 x 64 HEIC, or 32 x 24 AVIF.
    auto boxes = [](fixtures::HeifBoxes d, bool avif = false) {
        d.colour = Smooth;
        if (avif) d.width = 32, d.height = 24, d.avif = true;
        return fixtures::MakeHeifBoxes(d);
    };
    lossy("heic", fixtures::MakeHeif({.colour = Smooth}), 32, 24);
    lossy("avif", fixtures::MakeHeif({.avif = true, .colour = Smooth}), 32, 24);
    lossy("webp", fixtures::MakeWebp({.colour = Smooth}), 32, 24);
    // Every brand of the HEIF family libheif reads, whether or not it calls the brand supported.
    for (const char* brand : {"mif1", "mif2", "heix", "heim", "heis", "hevc", "hevx", "msf1"})
        lossy(std::string("heic_brand_") + brand,
              boxes({.major = brand, .compatible = {brand, "mif1"}}), 128, 64);
    lossy("avif_brand_avis", boxes({.major = "avis", .compatible = {"avis", "avif", "mif1"}}, true),
          32, 24);
    // A turn or a crop named before the ispe box: the picture has the transformed size.
    lossy("heic_irot_before_ispe",
          boxes({.properties = {"code", "irot", "ispe"}, .quarterTurns = 1}), 64, 128,
          [](int x, int y) { return Smooth(127 - y, x); });
    lossy("avif_clap_before_ispe",
          boxes({.properties = {"code", "clap", "ispe"}, .clapWidth = 16, .clapHeight = 12}, true),
          16, 12, [](int x, int y) { return Smooth(x + 8, y + 6); });
    // With alpha, laid over white.
    auto onWhite = [](int x, int y) { return OnWhite(SeeThrough(x, y)); };
    t.push_back({"avif_alpha",
                 fixtures::MakeHeif({.avif = true, .alpha = true, .colour = SeeThrough}), 32, 24,
                 32, true, onWhite, 8});
    t.push_back({"webp_alpha_lossless",
                 fixtures::MakeWebp({.alpha = true, .lossless = true, .colour = SeeThrough}), 32,
                 24, 32, true, onWhite});
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
    EXPECT_EQ(std::pair(ImageGetWidth(100), ImageGetHeight(100)), std::pair(k.width, k.height));
    EXPECT_EQ(ImageGetDepth(100), k.depth);
    EXPECT_EQ(ImageGetFlags(100), 0);  // even a screen-compatible bitmap loaded from a file
    EXPECT_EQ(bm->topDown, k.topDown);
    EXPECT_EQ(bm->screen, k.screen);
    EXPECT_TRUE(k.depth != 24 || bm->stride == k.width * 3 + k.width % 4);  // 3004 for 1001
    const int step = k.tolerance ? 3 : 1;
    for (int y = 0; y < k.height; y += step)
        for (int x = 0; x < k.width; x += step) {
            const Rgba got = PixelAt(*bm, x, y), want = k.want(x, y);
            if (k.tolerance) {
                ASSERT_TRUE(Near(got, want, k.tolerance)) << x << "," << y << ": " << got;
            } else {
                ASSERT_EQ(got, want) << x << "," << y;
            }
            ASSERT_TRUE(!k.grey || (got.r == got.g && got.g == got.b)) << x << "," << y;
        }
    // From memory: the same bitmap, whether HEIF and WebP are decoded in the confined helper or
    // in this process.
    for (bool confined : {true, false}) {
        ImageSetLoadLimits({.decodeConfined = confined});
        const auto memory = ImageDecodeMemory(k.file);
        ASSERT_NE(memory, nullptr) << confined;
        EXPECT_TRUE(SameBits(*memory, *bm)) << confined;
    }
}

INSTANTIATE_TEST_SUITE_P(Load, Formats, ::testing::ValuesIn(Table()),
                         [](const auto& info) { return info.param.name; });

using FormatLoad = LoadTest;

TEST_F(FormatLoad, IndexedBmpFollowsA16BitDisplay) {
    DisplaySetDepthForTesting(16);
    raster::Bitmap* bm = Load(fixtures::Convert(13, 5, Colours(40), "-type Palette"), "16.bmp");
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(bm->bpp, 16);
    const Rgba want = Colours(40)(3, 2);
    const uint32_t v = bm->Row(2)[6] | bm->Row(2)[7] << 8;
    EXPECT_EQ(v, uint32_t((want.r >> 3) << 11 | (want.g >> 2) << 5 | want.b >> 3));
}

// A HEIF Exif item starts with the offset of its TIFF header; one written without that field
// starts with the header itself. Either way the loaded picture keeps the tags; their orientation
// turns nothing, as in HEIF the irot and imir boxes alone decide.
TEST_F(FormatLoad, HeifExifWithOrWithoutItsOffsetField) {
    // Room at the end to move the header into the offset field's place.
    const Bytes tiff = Joined({fixtures::ExifTiff(6), Bytes(4, 0)});
    const Bytes heic = fixtures::MakeHeif({.exif = tiff});
    const Bytes item = Joined({Bytes(4, 0), tiff}), moved = Joined({tiff, Bytes(4, 0)});
    const auto at = std::search(heic.begin(), heic.end(), item.begin(), item.end());
    ASSERT_NE(at, heic.end());
    Bytes bare = heic;
    std::copy(moved.begin(), moved.end(), bare.begin() + (at - heic.begin()));
    for (const Bytes& file : {heic, bare}) {
        ASSERT_NE(Load(file, "exif.heic"), nullptr);
        EXPECT_EQ(std::make_pair(ImageGetWidth(100), ImageGetHeight(100)), std::make_pair(32, 24));
        const std::vector<uint8_t>* exif = ImageGetExif(100);
        ASSERT_NE(exif, nullptr);
        ASSERT_GE(exif->size(), tiff.size() - 4);
        EXPECT_TRUE(std::equal(tiff.begin(), tiff.end() - 4, exif->begin()));
    }
}

}  // namespace
