// Icon files with BMP and PNG entries: the best entry is chosen and delivered as 32 bits, laid
// over white by its alpha or its mask.
#include "load_test_base.h"

using fixtures::IconEntry;
using fixtures::Rgba;

namespace {

// AND-mask pattern: set = transparent.
bool Ring(int x, int y) {
    return (x + y) % 5 == 0;
}

// A square entry of one colour; 32-bit entries get alpha x * 8 when `withAlpha`.
IconEntry DibEntry(int size, int bpp, Rgba fill, bool withAlpha = false) {
    fixtures::BmpDesc s;
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
    fixtures::PngDesc s;
    s.width = s.height = size;
    s.colourType = colourType;
    s.colour = [fill](int x, int) { return Rgba{fill.r, fill.g, fill.b, uint8_t(x * 4)}; };
    return IconEntry{fixtures::MakePng(s), size, size, 32};
}

const Rgba kRed{200, 10, 10, 255}, kGreen{10, 200, 10, 255}, kBlue{10, 10, 200, 255};

struct IcoCase {
    const char* name;
    std::vector<IconEntry> entries;
    int size;       // side of the entry that must be chosen
    Rgba colour;    // its colour
    int alphaStep;  // alpha stored: x * alphaStep, or from the mask when 0, or opaque when -1
};

std::vector<IcoCase> Cases() {
    return {
        {"largest_wins",
         {DibEntry(16, 32, kRed), DibEntry(32, 8, kGreen), DibEntry(24, 24, kBlue)},
         32,
         kGreen,
         0},
        {"most_colourful_among_equals",
         {DibEntry(32, 4, kRed), DibEntry(32, 24, kBlue), DibEntry(32, 8, kGreen)},
         32,
         kBlue,
         0},
        {"one_bit_entry", {DibEntry(16, 1, kRed)}, 16, kRed, 0},
        {"own_alpha_of_32_bits", {DibEntry(20, 32, kBlue, true)}, 20, kBlue, 8},
        {"png_entry_largest", {DibEntry(32, 32, kRed), PngEntry(48, 6, kGreen)}, 48, kGreen, 4},
        {"png_rgb_entry_opaque", {PngEntry(16, 2, kBlue)}, 16, kBlue, -1},
    };
}

class IcoVariants : public LoadTest, public ::testing::WithParamInterface<IcoCase> {};

TEST_P(IcoVariants, BestEntryAs32BitPicture) {
    const IcoCase& k = GetParam();
    raster::Bitmap* bm = Load(fixtures::MakeIco(k.entries), std::string(k.name) + ".ico");
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(ImageGetDepth(100), 32);
    EXPECT_EQ(ImageGetWidth(100), k.size);
    EXPECT_EQ(ImageGetHeight(100), k.size);
    EXPECT_EQ(ImageGetFlags(100), 0);
    for (int y = 0; y < k.size; ++y)
        for (int x = 0; x < k.size; ++x) {
            Rgba stored = k.colour;
            stored.a = k.alphaStep > 0                  ? uint8_t(x * k.alphaStep)
                       : k.alphaStep < 0 || !Ring(x, y) ? 255
                                                        : 0;
            ASSERT_EQ(PixelAt(*bm, x, y), OnWhite(stored)) << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Ico, IcoVariants, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

using IcoLoad = LoadTest;

// A damaged best entry gives way to the next; a cut-off mask leaves the pixels it lacks opaque.
TEST_F(IcoLoad, DamagedEntriesAndMasks) {
    IconEntry broken = DibEntry(64, 24, kRed);
    broken.data.resize(60);  // header and a few bytes of pixels
    ASSERT_NE(Load(fixtures::MakeIco({broken, DibEntry(16, 24, kBlue)}), "damaged.ico"), nullptr);
    EXPECT_EQ(ImageGetWidth(100), 16);

    IconEntry e = DibEntry(8, 24, kGreen);
    e.data.resize(e.data.size() - 8);  // the last mask rows (the picture's top) are missing
    raster::Bitmap* bm = Load(fixtures::MakeIco({e}), "short_mask.ico");
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(PixelAt(*bm, 0, 0), kGreen);                      // the mask would make it white
    EXPECT_EQ(PixelAt(*bm, 3, 7), (Rgba{255, 255, 255, 255}));  // bottom row: its mask is there
}

}  // namespace
