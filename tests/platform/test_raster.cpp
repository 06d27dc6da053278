#include "platform/raster.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <vector>

using raster::Bitmap;

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kYellow = 0x00FFFF;

std::unique_ptr<Bitmap> Make(int w, int h, int bpp = 32, bool topDown = true, bool screen = true) {
    auto bm = raster::Create(w, h, bpp, topDown, screen);
    EXPECT_TRUE(bm);
    return bm;
}

// Pixels of `bm` that differ from `background`, as (x, y) pairs.
std::vector<std::pair<int, int>> Marked(const Bitmap& bm, uint32_t background = 0) {
    std::vector<std::pair<int, int>> out;
    for (int y = 0; y < bm.height; ++y)
        for (int x = 0; x < bm.width; ++x)
            if (raster::GetPixel(bm, x, y) != background) out.emplace_back(x, y);
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Creation and size limits
// ---------------------------------------------------------------------------------------------

TEST(RasterCreate, StrideIsRowBytesRoundedUpToFour) {
    struct Case {
        int width, bpp;
        size_t stride;
    } cases[] = {{1, 24, 4}, {2, 24, 8}, {3, 24, 12}, {5, 24, 16}, {7, 24, 24},
                 {1, 32, 4}, {3, 16, 8}, {2, 16, 4},  {0, 24, 0},  {INT_MAX, 32, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(raster::StrideFor(c.width, c.bpp), c.stride) << c.width << "x" << c.bpp;
        // The 24-bit stride is also w * 3 + w mod 4, the rule of BMP files.
        if (c.bpp == 24 && c.width > 0) {
            EXPECT_EQ(c.stride, static_cast<size_t>(c.width * 3 + c.width % 4));
        }
    }
}

TEST(RasterCreate, SizeAllowedRefusesBadSizes) {
    struct Case {
        int w, h, bpp;
        bool ok;
    } cases[] = {
        {1, 1, 24, true},         {32767, 1, 24, true},    {1, 32767, 32, true},
        {32768, 1, 24, false},    {1, 32768, 24, false},   {0, 10, 24, false},
        {10, 0, 24, false},       {-5, 10, 32, false},     {10, 10, 8, false},
        {10, 10, 0, false},       {INT_MAX, 1, 32, false}, {1, INT_MAX, 32, false},
        {32767, 32767, 16, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(raster::SizeAllowed(c.w, c.h, c.bpp), c.ok) << c.w << "x" << c.h << "x" << c.bpp;
        if (!c.ok) {
            EXPECT_FALSE(raster::Create(c.w, c.h, c.bpp, true, false));
        }
    }
}

TEST(RasterCreate, CreateDescribesAZeroFilledBitmap) {
    for (int bpp : {16, 24, 32}) {
        for (bool topDown : {true, false}) {
            auto bm = raster::Create(7, 3, bpp, topDown, bpp != 24);
            ASSERT_TRUE(bm);
            EXPECT_EQ(bm->width, 7);
            EXPECT_EQ(bm->height, 3);
            EXPECT_EQ(bm->bpp, bpp);
            EXPECT_EQ(bm->topDown, topDown);
            EXPECT_EQ(bm->stride % 4, 0);
            for (size_t i = 0; i < bm->ByteSize(); ++i)
                ASSERT_EQ(bm->bits[i], 0);
        }
    }
}

TEST(RasterCreateDeathTest, AllocationFailureGivesNullNotACrash) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer cannot run under a small address-space limit";
#endif
    // In a child limited to a small address space, a 4 GiB bitmap cannot be had.
    auto tryHuge = [] {
        rlimit lim{512u << 20, 512u << 20};
        setrlimit(RLIMIT_AS, &lim);
        auto bm = raster::Create(32767, 32767, 32, true, true);
        std::exit(bm ? 1 : 0);
    };
    EXPECT_EXIT(tryHuge(), testing::ExitedWithCode(0), "");
}

// ---------------------------------------------------------------------------------------------
// Raw access
// ---------------------------------------------------------------------------------------------

TEST(RasterAccess, PackedRowsRoundTripWhateverTheRowOrder) {
    for (int bpp : {24, 32}) {
        for (bool topDown : {true, false}) {
            auto bm = Make(5, 4, bpp, topDown, false);
            std::vector<uint8_t> in(5 * 4 * bpp / 8);
            for (size_t i = 0; i < in.size(); ++i)
                in[i] = static_cast<uint8_t>(i * 7 + 1);
            raster::WritePacked(*bm, in.data());
            // Packed row 0 is the top row: its first pixel is what GetPixel(0, 0) answers.
            uint32_t top = in[2] | (in[1] << 8) | (in[0] << 16);
            EXPECT_EQ(raster::GetPixel(*bm, 0, 0), top);
            std::vector<uint8_t> out(in.size());
            raster::ReadPacked(*bm, out.data());
            EXPECT_EQ(in, out) << bpp << " " << topDown;
        }
    }
}

TEST(RasterAccess, ToBgr24BottomUpFromEveryKind) {
    for (int bpp : {16, 24, 32}) {
        for (bool topDown : {true, false}) {
            auto bm = Make(3, 2, bpp, topDown, false);
            // Colours exact in 5-6-5 too.
            raster::SetPixel(*bm, 0, 0, 0x0000F8);  // red 248
            raster::SetPixel(*bm, 2, 0, 0xF80000);  // blue 248
            raster::SetPixel(*bm, 1, 1, 0x00FC00);  // green 252
            size_t stride = raster::StrideFor(3, 24);
            std::vector<uint8_t> out(stride * 2, 0xAA);
            raster::ToBgr24BottomUp(*bm, out.data());
            // First stored row is the bottom picture row.
            // 5-6-5 widens the top bits back over the low ones: 248 reads back as 255.
            uint8_t r = bpp == 16 ? 255 : 248, g = bpp == 16 ? 255 : 252, b = r;
            std::vector<uint8_t> want = {0, 0, 0, 0, g, 0, 0, 0, 0, 0, 0, 0,
                                         0, 0, r, 0, 0, 0, b, 0, 0, 0, 0, 0};
            EXPECT_EQ(out, want) << bpp << " " << topDown;
        }
    }
}

TEST(RasterAccess, PixelsOutsideAreIgnored) {
    auto bm = Make(4, 4);
    raster::SetPixel(*bm, -1, 0, kWhite);
    raster::SetPixel(*bm, 4, 0, kWhite);
    raster::SetPixel(*bm, 0, 4, kWhite);
    EXPECT_TRUE(Marked(*bm).empty());
    EXPECT_EQ(raster::GetPixel(*bm, 9, 9), 0u);
}

TEST(RasterAccess, ScreenBitmapsKeepFourthByteZero) {
    auto bm = Make(2, 1, 32, true, true);
    raster::SetPixel(*bm, 0, 0, kWhite);
    raster::FillRect(*bm, 1, 0, 1, 1, kYellow);
    EXPECT_EQ(bm->bits[3], 0);
    EXPECT_EQ(bm->bits[7], 0);
    EXPECT_EQ(raster::GetPixel(*bm, 1, 0), kYellow);
}
