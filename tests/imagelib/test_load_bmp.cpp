// BMP files of every kind our reader takes, written byte by byte, loaded through ImageLoadFile.
#include <cmath>

#include "imagelib/bmp_reader.h"
#include "load_test_base.h"

using fixtures::BmpDesc;
using fixtures::Rgba;

namespace {

std::vector<Rgba> Palette(int entries) {
    std::vector<Rgba> p;
    for (int i = 0; i < entries; ++i)
        p.push_back(Rgba{static_cast<uint8_t>(i * 7), static_cast<uint8_t>(255 - i * 3),
                         static_cast<uint8_t>(i * 11 % 256), 255});
    return p;
}

// A channel stored in `bits` bits, as 8 bits: the nearest of the 256 levels.
uint8_t Widen(uint32_t value, int bits) {
    return static_cast<uint8_t>(std::lround(value * 255.0 / ((1u << bits) - 1)));
}

struct BmpCase {
    const char* name;
    BmpDesc desc;
    int depth;     // depth of the loaded bitmap
    bool topDown;  // its row order
    bool screen;   // screen-compatible
    int fourth;    // expected fourth byte of a 32-bit file: -1 = the expected colour's alpha
    // The colour expected at (x, y).
    std::function<Rgba(int, int)> expected;
};

BmpDesc Indexed(int bpp, int headerSize = 40, int compression = 0, int entries = 0) {
    BmpDesc s;
    s.width = 13;
    s.height = 5;
    s.bpp = bpp;
    s.headerSize = headerSize;
    s.compression = compression;
    s.palette = Palette(entries ? entries : 1 << bpp);
    int n = static_cast<int>(s.palette.size());
    s.index = [n](int x, int y) { return static_cast<uint32_t>((x / 2 + 3 * y) % n); };
    return s;
}

std::function<Rgba(int, int)> FromPalette(const BmpDesc& s) {
    return [s](int x, int y) { return s.palette[s.index(x, y)]; };
}

BmpDesc Direct(int bpp, int headerSize = 40, bool topDown = false) {
    BmpDesc s;
    s.width = 7;
    s.height = 4;
    s.bpp = bpp;
    s.headerSize = headerSize;
    s.topDown = topDown;
    return s;
}

BmpDesc Masked(int bpp, int headerSize, uint32_t r, uint32_t g, uint32_t b, uint32_t a = 0) {
    BmpDesc s = Direct(bpp, headerSize);
    s.compression = 3;
    s.masks[0] = r, s.masks[1] = g, s.masks[2] = b, s.masks[3] = a;
    return s;
}

// Expected colour of a masked pixel: each channel's stored bits widened to 8.
std::function<Rgba(int, int)> FromMasks(const BmpDesc& s) {
    return [s](int x, int y) {
        uint32_t v = fixtures::PackMasked(s.colour(x, y), s.masks);
        Rgba c;
        uint8_t* out[4] = {&c.r, &c.g, &c.b, &c.a};
        for (int i = 0; i < 4; ++i) {
            uint32_t m = s.masks[i];
            if (!m) {
                *out[i] = 255;
                continue;
            }
            int shift = 0, bits = 0;
            while (!((m >> shift) & 1))
                ++shift;
            while (shift + bits < 32 && ((m >> (shift + bits)) & 1))
                ++bits;
            *out[i] = Widen((v & m) >> shift, bits);
        }
        return c;
    };
}

std::function<Rgba(int, int)> Exact(const BmpDesc& s) {
    return s.colour;
}

std::vector<BmpCase> Cases() {
    std::vector<BmpCase> c;
    auto indexed = [&](const char* name, BmpDesc s) {
        c.push_back({name, s, 32, true, true, 0, FromPalette(s)});
    };
    indexed("1bpp", Indexed(1));
    indexed("4bpp", Indexed(4));
    indexed("8bpp", Indexed(8));
    indexed("8bpp_short_table", Indexed(8, 40, 0, 20));
    indexed("8bpp_rle8", Indexed(8, 40, 1));
    indexed("4bpp_rle4", Indexed(4, 40, 2));
    indexed("8bpp_core_header", Indexed(8, 12));
    indexed("1bpp_core_header", Indexed(1, 12));
    indexed("4bpp_v4_header", Indexed(4, 108));
    indexed("8bpp_v5_header", Indexed(8, 124));

    BmpDesc s555 = Direct(16);
    s555.masks[0] = 0x7C00, s555.masks[1] = 0x3E0, s555.masks[2] = 0x1F;
    c.push_back({"16bpp_555", s555, 24, false, false, -1, FromMasks(s555)});
    BmpDesc s565 = Masked(16, 40, 0xF800, 0x7E0, 0x1F);
    c.push_back({"16bpp_565_bitfields", s565, 24, false, false, -1, FromMasks(s565)});
    BmpDesc s4444 = Masked(16, 56, 0xF00, 0xF0, 0xF, 0xF000);
    c.push_back({"16bpp_4444_v3_header", s4444, 24, false, false, -1, FromMasks(s4444)});
    BmpDesc s565v5 = Masked(16, 124, 0xF800, 0x7E0, 0x1F);
    s565v5.topDown = true;
    c.push_back({"16bpp_565_v5_topdown", s565v5, 24, true, false, -1, FromMasks(s565v5)});

    c.push_back({"24bpp_bottom_up", Direct(24), 24, false, false, -1, Exact(Direct(24))});
    c.push_back({"24bpp_top_down", Direct(24, 40, true), 24, true, false, -1, Exact(Direct(24))});
    c.push_back({"24bpp_core_header", Direct(24, 12), 24, false, false, -1, Exact(Direct(24))});
    c.push_back({"24bpp_v2_header", Direct(24, 52), 24, false, false, -1, Exact(Direct(24))});
    c.push_back({"32bpp_bottom_up", Direct(32), 32, false, false, 0, Exact(Direct(32))});
    c.push_back(
        {"32bpp_top_down_v4", Direct(32, 108, true), 32, true, false, 0, Exact(Direct(32))});
    BmpDesc std32 = Masked(32, 40, 0xFF0000, 0xFF00, 0xFF);
    c.push_back({"32bpp_standard_bitfields", std32, 32, false, false, 0, Exact(std32)});
    BmpDesc rgba = Masked(32, 108, 0xFF000000u, 0xFF0000, 0xFF00, 0xFF);
    rgba.colour = [](int x, int y) {
        Rgba p = fixtures::Gradient(x, y);
        p.a = static_cast<uint8_t>(x * 30);
        return p;
    };
    c.push_back({"32bpp_rgba_bitfields_v4", rgba, 32, false, false, -1, FromMasks(rgba)});
    BmpDesc ten = Masked(32, 56, 0x3FF00000, 0xFFC00, 0x3FF);
    c.push_back({"32bpp_10bit_bitfields", ten, 32, false, false, -1, FromMasks(ten)});
    return c;
}

class BmpVariants : public LoadTest, public ::testing::WithParamInterface<BmpCase> {};

TEST_P(BmpVariants, LoadsWithDepthRowOrderAndColours) {
    const BmpCase& k = GetParam();
    raster::Bitmap* bm = Load(fixtures::MakeBmp(k.desc), std::string(k.name) + ".bmp");
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(ImageGetWidth(100), k.desc.width);
    EXPECT_EQ(ImageGetHeight(100), k.desc.height);
    EXPECT_EQ(ImageGetDepth(100), k.depth);
    EXPECT_EQ(ImageGetFlags(100), 0);  // even a screen-compatible bitmap loaded from a file
    EXPECT_EQ(bm->topDown, k.topDown);
    EXPECT_EQ(bm->screen, k.screen);
    for (int y = 0; y < k.desc.height; ++y)
        for (int x = 0; x < k.desc.width; ++x) {
            Rgba want = k.expected(x, y);
            Rgba got = PixelAt(*bm, x, y);
            // A 32-bit file keeps its fourth byte as stored, or gives alpha by its masks.
            if (k.depth == 32 && !k.screen) {
                if (k.fourth >= 0) want.a = static_cast<uint8_t>(k.fourth);
            } else {
                want.a = got.a;
            }
            if (k.screen) {
                EXPECT_EQ(bm->Row(y)[x * 4 + 3], 0);
            }
            ASSERT_EQ(got, want) << "pixel " << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Bmp, BmpVariants, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

using BmpLoad = LoadTest;

TEST_F(BmpLoad, IndexedPicturesFollowA16BitDisplay) {
    DisplaySetDepthForTesting(16);
    BmpDesc s = Indexed(8);
    raster::Bitmap* bm = Load(fixtures::MakeBmp(s), "screen16.bmp");
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(bm->bpp, 16);
    Rgba want = s.palette[s.index(3, 2)];
    uint32_t v = bm->Row(2)[6] | bm->Row(2)[7] << 8;
    EXPECT_EQ(v, uint32_t((want.r >> 3) << 11 | (want.g >> 2) << 5 | want.b >> 3));
}

// Hand-written RLE8 data: a run, a literal of odd length, a move, a run cut at the right edge,
// an early end of line, end of picture before the last rows. Skipped pixels stay black.
TEST_F(BmpLoad, Rle8RunsLiteralsMovesAndEarlyEnd) {
    BmpDesc s = Indexed(8, 40, 1, 4);
    s.width = 6;
    s.height = 4;
    fixtures::Bytes dib = fixtures::MakeDib(s);
    size_t pixels = 40 + 4 * 4;
    dib.resize(pixels);
    fixtures::Bytes rle = {
        3, 1,              // bottom row: three pixels of colour 1
        0, 3, 2, 3, 2, 0,  // literal 2 3 2 (padded)
        0, 0,              // end of line
        0, 2, 1, 1,        // move right 1, up 1: now x = 1 on row 2 (from the bottom)
        9, 3,              // run clipped at the right edge
        0, 1,              // end of picture: the top row stays black
    };
    dib.insert(dib.end(), rle.begin(), rle.end());
    fixtures::Bytes file = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0};
    uint32_t off = 14 + 40 + 16;
    for (int i = 0; i < 4; ++i)
        file.push_back(static_cast<uint8_t>(off >> (8 * i)));
    file.insert(file.end(), dib.begin(), dib.end());
    raster::Bitmap* bm = Load(file, "rle8_hand.bmp");
    ASSERT_NE(bm, nullptr);
    auto colour = [&](int i) {
        Rgba c = s.palette[i];
        c.a = 0;
        return c;
    };
    const Rgba black{0, 0, 0, 0};
    const int bottom = 3;
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(PixelAt(*bm, x, bottom), colour(1));
    EXPECT_EQ(PixelAt(*bm, 3, bottom), colour(2));
    EXPECT_EQ(PixelAt(*bm, 4, bottom), colour(3));
    EXPECT_EQ(PixelAt(*bm, 5, bottom), colour(2));
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(PixelAt(*bm, x, 2), black);  // skipped row
    EXPECT_EQ(PixelAt(*bm, 0, 1), black);      // skipped pixel
    for (int x = 1; x < 6; ++x)
        EXPECT_EQ(PixelAt(*bm, x, 1), colour(3));
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(PixelAt(*bm, x, 0), black);
}

TEST_F(BmpLoad, FailedBmpIsNotOfferedToTheDecoders) {
    // Starts with "BM" but holds a PNG after it: still a failed BMP.
    fixtures::Bytes bytes = {'B', 'M'};
    fixtures::Bytes png = fixtures::MakePng({});
    bytes.insert(bytes.end(), png.begin(), png.end());
    EXPECT_EQ(Load(bytes, "bm_then_png.bmp"), nullptr);
    EXPECT_FALSE(ImageExists(100));
}

// Packed DIBs, as the clipboard hands them over: masks after a 40-byte header, a colour table
// of `colours used` entries even above 8 bits, and top-down rows.
TEST(PackedDib, LocatesPixelsAfterMasksAndTables) {
    DisplaySetDepthForTesting(24);
    BmpDesc masked = Masked(16, 40, 0xF800, 0x7E0, 0x1F);
    auto bm =
        BmpDecodePackedDib(fixtures::MakeDib(masked).data(), fixtures::MakeDib(masked).size());
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(bm->bpp, 24);
    auto want = FromMasks(masked);
    EXPECT_EQ(raster::GetPixel(*bm, 3, 2),
              uint32_t(want(3, 2).r | want(3, 2).g << 8 | want(3, 2).b << 16));

    BmpDesc withTable = Direct(24, 40, true);
    withTable.palette = Palette(3);  // colours used = 3 at 24 bits: skipped
    fixtures::Bytes dib = fixtures::MakeDib(withTable);
    bm = BmpDecodePackedDib(dib.data(), dib.size());
    ASSERT_NE(bm, nullptr);
    EXPECT_TRUE(bm->topDown);
    for (int y = 0; y < withTable.height; ++y)
        for (int x = 0; x < withTable.width; ++x) {
            Rgba c = withTable.colour(x, y);
            ASSERT_EQ(raster::GetPixel(*bm, x, y), uint32_t(c.r | c.g << 8 | c.b << 16));
        }

    BmpDesc indexed = Indexed(4);
    dib = fixtures::MakeDib(indexed);
    bm = BmpDecodePackedDib(dib.data(), dib.size());
    ASSERT_NE(bm, nullptr);
    Rgba c = indexed.palette[indexed.index(5, 1)];
    EXPECT_EQ(raster::GetPixel(*bm, 5, 1), uint32_t(c.r | c.g << 8 | c.b << 16));
    DisplaySetDepthForTesting(0);
}

TEST(PackedDib, RefusesCutOffData) {
    fixtures::Bytes dib = fixtures::MakeDib(Direct(24));
    for (size_t keep : {size_t{0}, size_t{11}, size_t{39}, dib.size() - 1})
        EXPECT_EQ(BmpDecodePackedDib(dib.data(), keep), nullptr) << keep;
}

}  // namespace
