// Icon files with BMP and PNG entries: the best entry is chosen and delivered as 32 bits.
#include "imagelib/ico_reader.h"
#include "load_test_base.h"

using fixtures::BmpDesc;
using fixtures::IconEntry;
using fixtures::PngDesc;
using fixtures::Rgba;

namespace {

bool Ring(int x, int y) {
    return (x + y) % 5 == 0;
}  // AND-mask pattern: set = transparent

IconEntry DibEntry(int size, int bpp, Rgba fill, bool withAlpha = false) {
    BmpDesc s;
    s.width = size;
    s.height = size;
    s.bpp = bpp;
    if (bpp <= 8) {
        for (int i = 0; i < (1 << bpp); ++i)
            s.palette.push_back(i == 1 ? fill : Rgba{9, 9, 9, 255});
        s.index = [](int, int) { return 1u; };
    } else {
        s.colour = [fill, withAlpha](int x, int) {
            Rgba c = fill;
            c.a = withAlpha ? static_cast<uint8_t>(x * 8) : 0;
            return c;
        };
        if (bpp == 32)
            s.index = [fill, withAlpha](int x, int) {
                uint32_t a = withAlpha ? static_cast<uint32_t>(x * 8) & 0xFF : 0;
                return a << 24 | uint32_t{fill.r} << 16 | uint32_t{fill.g} << 8 | fill.b;
            };
    }
    return IconEntry{fixtures::MakeIconDib(s, Ring), size, size, bpp};
}

IconEntry PngEntry(int size, int colourType, Rgba fill) {
    PngDesc s;
    s.width = size;
    s.height = size;
    s.colourType = colourType;
    s.colour = [fill](int x, int) {
        Rgba c = fill;
        c.a = static_cast<uint8_t>(x * 4);
        return c;
    };
    return IconEntry{fixtures::MakePng(s), size, size, 32};
}

const Rgba kRed{200, 10, 10, 255}, kGreen{10, 200, 10, 255}, kBlue{10, 10, 200, 255};

struct IcoCase {
    const char* name;
    std::vector<IconEntry> entries;
    int size;     // side of the entry that must be chosen
    Rgba colour;  // its colour
    // Alpha expected at (x, y).
    std::function<uint8_t(int, int)> alpha;
};

uint8_t FromMask(int x, int y) {
    return Ring(x, y) ? 0 : 255;
}

std::vector<IcoCase> Cases() {
    return {
        {"largest_wins",
         {DibEntry(16, 32, kRed), DibEntry(32, 8, kGreen), DibEntry(24, 24, kBlue)},
         32,
         kGreen,
         FromMask},
        {"most_colourful_among_equals",
         {DibEntry(32, 4, kRed), DibEntry(32, 24, kBlue), DibEntry(32, 8, kGreen)},
         32,
         kBlue,
         FromMask},
        {"one_bit_entry", {DibEntry(16, 1, kRed)}, 16, kRed, FromMask},
        {"own_alpha_of_32_bits",
         {DibEntry(20, 32, kBlue, true)},
         20,
         kBlue,
         [](int x, int) { return static_cast<uint8_t>(x * 8); }},
        {"png_entry_largest",
         {DibEntry(32, 32, kRed), PngEntry(48, 6, kGreen)},
         48,
         kGreen,
         [](int x, int) { return static_cast<uint8_t>(x * 4); }},
        {"png_rgb_entry_opaque",
         {PngEntry(16, 2, kBlue)},
         16,
         kBlue,
         [](int, int) { return uint8_t{255}; }},
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
            Rgba want = k.colour;
            want.a = k.alpha(x, y);
            ASSERT_EQ(PixelAt(*bm, x, y), want) << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Ico, IcoVariants, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

using IcoLoad = LoadTest;

TEST_F(IcoLoad, DamagedBestEntryGivesWayToTheNext) {
    IconEntry broken = DibEntry(64, 24, kRed);
    broken.data.resize(60);  // header and a few bytes of pixels
    raster::Bitmap* bm = Load(fixtures::MakeIco({broken, DibEntry(16, 24, kBlue)}), "damaged.ico");
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(ImageGetWidth(100), 16);
}

TEST_F(IcoLoad, MaskCutOffLeavesPixelsOpaque) {
    IconEntry e = DibEntry(8, 24, kGreen);
    e.data.resize(e.data.size() - 8);  // the last mask rows (the picture's top) are missing
    raster::Bitmap* bm = Load(fixtures::MakeIco({e}), "short_mask.ico");
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(PixelAt(*bm, 0, 0).a, 255);  // the mask would make it transparent
    EXPECT_EQ(PixelAt(*bm, 3, 7).a, 0);    // bottom row: its mask is there
}

}  // namespace
