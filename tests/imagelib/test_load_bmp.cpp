// BMP files of every kind our reader takes, written byte by byte, loaded through ImageLoadFile.
#include <cmath>

#include "load_test_base.h"

using fixtures::BmpDesc;
using fixtures::Rgba;

namespace {

BmpDesc Indexed(int bpp, int headerSize = 40, int compression = 0, int entries = 0) {
    BmpDesc s;
    s.width = 13;
    s.height = 5;
    s.bpp = bpp;
    s.headerSize = headerSize;
    s.compression = compression;
    for (int i = 0; i < (entries ? entries : 1 << bpp); ++i)
        s.palette.push_back(Rgba{static_cast<uint8_t>(i * 7), static_cast<uint8_t>(255 - i * 3),
                                 static_cast<uint8_t>(i * 11 % 256), 255});
    int n = static_cast<int>(s.palette.size());
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

// Expected colour of a masked pixel: each channel's stored bits widened to the nearest of the
// 256 levels.
Rgba FromMasks(const BmpDesc& s, int x, int y) {
    uint32_t v = fixtures::PackMasked(s.colour(x, y), s.masks);
    uint8_t c[4];
    for (int i = 0; i < 4; ++i) {
        uint32_t m = s.masks[i];
        int shift = m ? __builtin_ctz(m) : 0;
        c[i] =
            m ? static_cast<uint8_t>(std::lround(((v & m) >> shift) * 255.0 / (m >> shift))) : 255;
    }
    return Rgba{c[0], c[1], c[2], c[3]};
}

enum class Want { Palette, Masks, Exact };

struct BmpCase {
    const char* name;
    BmpDesc desc;
    Want want;
    int depth;     // depth of the loaded bitmap
    bool topDown;  // its row order
};

std::vector<BmpCase> Cases() {
    BmpDesc rgba = Direct(32, 108, false, 0xFF000000u, 0xFF0000, 0xFF00, 0xFF);
    rgba.colour = [](int x, int y) {
        Rgba p = fixtures::Gradient(x, y);
        p.a = static_cast<uint8_t>(x * 30);
        return p;
    };
    BmpDesc s555 = Direct(16, 40, false, 0x7C00, 0x3E0, 0x1F);
    s555.compression = 0;  // 16 bits without bit fields is 5-5-5
    // Indexed pictures become screen-compatible 32-bit top-down bitmaps.
    return {
        {"1bpp", Indexed(1), Want::Palette, 32, true},
        {"4bpp", Indexed(4), Want::Palette, 32, true},
        {"8bpp", Indexed(8), Want::Palette, 32, true},
        {"8bpp_short_table", Indexed(8, 40, 0, 20), Want::Palette, 32, true},
        {"8bpp_rle8", Indexed(8, 40, 1), Want::Palette, 32, true},
        {"4bpp_rle4", Indexed(4, 40, 2), Want::Palette, 32, true},
        {"8bpp_core_header", Indexed(8, 12), Want::Palette, 32, true},
        {"4bpp_v4_header", Indexed(4, 108), Want::Palette, 32, true},
        {"8bpp_v5_header", Indexed(8, 124), Want::Palette, 32, true},
        {"16bpp_555", s555, Want::Masks, 24, false},
        {"16bpp_565_bitfields", Direct(16, 40, false, 0xF800, 0x7E0, 0x1F), Want::Masks, 24, false},
        {"16bpp_4444_v3_header", Direct(16, 56, false, 0xF00, 0xF0, 0xF, 0xF000), Want::Masks, 24,
         false},
        {"16bpp_565_v5_topdown", Direct(16, 124, true, 0xF800, 0x7E0, 0x1F), Want::Masks, 24, true},
        {"24bpp_bottom_up", Direct(24), Want::Exact, 24, false},
        {"24bpp_top_down", Direct(24, 40, true), Want::Exact, 24, true},
        {"24bpp_core_header", Direct(24, 12), Want::Exact, 24, false},
        {"24bpp_v2_header", Direct(24, 52), Want::Exact, 24, false},
        {"32bpp_bottom_up", Direct(32), Want::Exact, 32, false},
        {"32bpp_top_down_v4", Direct(32, 108, true), Want::Exact, 32, true},
        {"32bpp_rgba_bitfields_v4", rgba, Want::Masks, 32, false},
        {"32bpp_10bit_bitfields", Direct(32, 56, false, 0x3FF00000, 0xFFC00, 0x3FF), Want::Masks,
         32, false},
    };
}

class BmpVariants : public LoadTest, public ::testing::WithParamInterface<BmpCase> {};

TEST_P(BmpVariants, LoadsWithDepthRowOrderAndColours) {
    const BmpCase& k = GetParam();
    const BmpDesc& s = k.desc;
    raster::Bitmap* bm = Load(fixtures::MakeBmp(s), std::string(k.name) + ".bmp");
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(ImageGetWidth(100), s.width);
    EXPECT_EQ(ImageGetHeight(100), s.height);
    EXPECT_EQ(ImageGetDepth(100), k.depth);
    EXPECT_EQ(ImageGetFlags(100), 0);  // even a screen-compatible bitmap loaded from a file
    EXPECT_EQ(bm->topDown, k.topDown);
    EXPECT_EQ(bm->screen, k.want == Want::Palette);
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x) {
            Rgba got = PixelAt(*bm, x, y);
            Rgba want = k.want == Want::Palette ? s.palette[s.index(x, y)]
                        : k.want == Want::Masks ? FromMasks(s, x, y)
                                                : s.colour(x, y);
            // A screen bitmap's fourth byte is 0; a 32-bit file keeps its fourth byte as stored
            // (0 here) or gives alpha by its masks.
            if (k.depth == 24) want.a = 255;
            if (k.want != Want::Masks && k.depth == 32) want.a = 0;
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
    dib.resize(40 + 4 * 4);
    dib.insert(dib.end(), {
                              3, 1,              // bottom row: three pixels of colour 1
                              0, 3, 2, 3, 2, 0,  // literal 2 3 2 (padded)
                              0, 0,              // end of line
                              0, 2, 1, 1,        // move right 1, up 1: x = 1 on the third row
                              9, 3,              // run clipped at the right edge
                              0, 1,              // end of picture: the top row stays black
                          });
    fixtures::Bytes file = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 14 + 40 + 16, 0, 0, 0};
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

TEST_F(BmpLoad, FailedBmpIsNotOfferedToTheDecoders) {
    // Starts with "BM" but holds a PNG after it: still a failed BMP.
    fixtures::Bytes bytes = {'B', 'M'};
    fixtures::Bytes png = fixtures::MakePng({});
    bytes.insert(bytes.end(), png.begin(), png.end());
    EXPECT_EQ(Load(bytes, "bm_then_png.bmp"), nullptr);
    EXPECT_FALSE(ImageExists(100));
}

}  // namespace
