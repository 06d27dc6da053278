// The working pixel buffers against real image objects of every row layout, and the tone and cast
// passes through them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "imagelib/image.h"
#include "picture/appstate.h"
#include "picture/cast.h"
#include "picture/pixels.h"
#include "picture/tone.h"
#include "platform/raster.h"
#include "toolkit/control.h"
#include "toolkit/window.h"

namespace {

constexpr int kImage = 101;

// Channel value of byte `c` of pixel (x, y) in the test pattern; 255 occurs, to see it clipped.
uint8_t Pattern(int x, int y, int c) {
    return static_cast<uint8_t>((x * 37 + y * 91 + c * 59) % 256);
}

// Makes image `number` with the given layout, filled with the pattern; padding bytes and fourth
// bytes get recognisable values.
raster::Bitmap* MakeImage(int number, int width, int height, int bpp, bool topDown) {
    auto bm = raster::Create(width, height, bpp, topDown, false);
    if (!bm) return nullptr;
    std::memset(bm->bits.get(), 0xEE, bm->ByteSize());
    for (int y = 0; y < height; ++y) {
        uint8_t* row = bm->Row(y);
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < bpp / 8; ++c)
                row[x * (bpp / 8) + c] = c == 3 ? 0x77 : Pattern(x, y, c);
    }
    return ImageAdopt(number, std::move(bm), 0);
}

class PixelsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ImageInit(); }
    void SetUp() override {
        AppStateReset();
        PixelsFailAllocationForTest(0);
    }
    void TearDown() override {
        PixelsRelease();
        PixelsFailAllocationForTest(0);
        ImageReleaseAll();
    }
    static std::vector<uint8_t> Bytes(const raster::Bitmap& bm) {
        return std::vector<uint8_t>(bm.bits.get(), bm.bits.get() + bm.ByteSize());
    }
    static bool Absent() {
        return !g_app.pixels.source && !g_app.pixels.target && g_app.pixels.size == 0;
    }
};

struct Layout {
    int width, height, bpp;
    bool topDown;
};

const Layout kLayouts[] = {
    {3, 2, 24, false}, {3, 2, 24, true}, {5, 3, 24, false}, {1, 1, 24, true},
    {3, 2, 32, false}, {3, 2, 32, true}, {7, 4, 32, true},  {4, 5, 24, false},
};

TEST_F(PixelsTest, CaptureGivesPackedTopDownRows) {
    for (const Layout& l : kLayouts) {
        SCOPED_TRACE(testing::Message() << l.width << "x" << l.height << "x" << l.bpp
                                        << (l.topDown ? " top-down" : " bottom-up"));
        ASSERT_NE(MakeImage(kImage, l.width, l.height, l.bpp, l.topDown), nullptr);
        ASSERT_EQ(PixelsCapture(kImage), 1);
        const int p = l.bpp / 8;
        ASSERT_EQ(g_app.pixels.depth, l.bpp);
        ASSERT_EQ(g_app.pixels.size, l.width * l.height * p);
        for (int y = 0; y < l.height; ++y)
            for (int x = 0; x < l.width; ++x)
                for (int c = 0; c < 3; ++c)
                    ASSERT_EQ(g_app.pixels.source[(y * l.width + x) * p + c], Pattern(x, y, c))
                        << x << "," << y;
        for (int i = 0; i < g_app.pixels.size; ++i)
            ASSERT_EQ(g_app.pixels.target[i], 0);
    }
}

TEST_F(PixelsTest, DocumentedSizes) {
    struct Case {
        int width, height, bpp, size, offsetOf21;
    } cases[] = {{3, 2, 32, 24, 20}, {3, 2, 24, 18, 15}};
    for (const Case& c : cases) {
        raster::Bitmap* bm = MakeImage(kImage, c.width, c.height, c.bpp, false);
        ASSERT_NE(bm, nullptr);
        ASSERT_EQ(PixelsCapture(kImage), 1);
        EXPECT_EQ(g_app.pixels.size, c.size);
        EXPECT_EQ(g_app.pixels.source[c.offsetOf21], bm->Row(1)[2 * (c.bpp / 8)]);
    }
}

TEST_F(PixelsTest, DefaultPassRoundTripOnlyLowersTopValue) {
    for (const Layout& l : kLayouts) {
        SCOPED_TRACE(testing::Message() << l.width << "x" << l.height << "x" << l.bpp);
        raster::Bitmap* bm = MakeImage(kImage, l.width, l.height, l.bpp, l.topDown);
        ASSERT_NE(bm, nullptr);
        std::vector<uint8_t> want = Bytes(*bm);
        const int p = l.bpp / 8;
        for (int y = 0; y < l.height; ++y) {
            const size_t row = static_cast<size_t>(bm->Row(y) - bm->bits.get());
            for (int x = 0; x < l.width; ++x) {
                for (int c = 0; c < 3; ++c)
                    if (want[row + x * p + c] == 255) want[row + x * p + c] = 254;
                if (p == 4) want[row + x * p + 3] = 0;  // the target's fourth byte stays zero
            }
        }
        ASSERT_EQ(PixelsCapture(kImage), 1);
        ToneAdjust(kImage, 155, 255, 0, 100, 100, 0);
        ASSERT_EQ(PixelsStore(kImage), 1);
        EXPECT_EQ(Bytes(*ImageGetBitmap(kImage)), want);  // padding bytes untouched too
    }
}

TEST_F(PixelsTest, SecondCaptureReplacesThePair) {
    ASSERT_NE(MakeImage(kImage, 5, 3, 24, false), nullptr);
    ASSERT_NE(MakeImage(100, 2, 2, 32, true), nullptr);
    ASSERT_EQ(PixelsCapture(kImage), 1);
    ASSERT_EQ(PixelsCapture(100), 1);
    EXPECT_EQ(g_app.pixels.size, 16);
    EXPECT_EQ(g_app.pixels.depth, 32);
    PixelsRelease();
    EXPECT_TRUE(Absent());
    PixelsRelease();  // twice is harmless
    EXPECT_TRUE(Absent());
}

TEST_F(PixelsTest, FreeNumberCapturesNothing) {
    EXPECT_EQ(PixelsCapture(55), 1);
    EXPECT_TRUE(Absent());
    EXPECT_EQ(PixelsStore(55), 0);
    EXPECT_EQ(ToneAdjust(55, 155, 255, 0, 100, 100, 0), 0);
    EXPECT_EQ(CastMeasure(55), 0u);
}

TEST_F(PixelsTest, FailedAllocationLeavesNoBuffersAndTheImageAlone) {
    for (int nth : {1, 2}) {
        SCOPED_TRACE(nth);
        raster::Bitmap* bm = MakeImage(kImage, 5, 3, 24, false);
        ASSERT_NE(bm, nullptr);
        const std::vector<uint8_t> before = Bytes(*bm);
        ASSERT_EQ(PixelsCapture(kImage), 1);
        PixelsFailAllocationForTest(nth);
        EXPECT_EQ(PixelsCapture(kImage), 0);
        EXPECT_TRUE(Absent());
        // What the shell runs next must leave the picture as it was.
        ToneAdjust(kImage, 20, 100, 245, 0, 200, 0);
        CastRemove(kImage, 0x0A0000);
        EXPECT_EQ(PixelsStore(kImage), 0);
        EXPECT_EQ(Bytes(*ImageGetBitmap(kImage)), before);
        PixelsFailAllocationForTest(0);
        EXPECT_EQ(PixelsCapture(kImage), 1);
    }
}

TEST_F(PixelsTest, StoreRefusesAnImageThatChanged) {
    struct Case {
        const char* what;
        int width, height, bpp;
    } cases[] = {
        {"larger", 6, 4, 24},
        {"smaller", 2, 2, 24},
        {"same bytes, other depth", 3, 3, 32},  // 36 bytes like 4 x 3 x 24
        {"same bytes, other shape", 6, 2, 24},
    };
    for (const Case& c : cases) {
        ASSERT_NE(MakeImage(kImage, 4, 3, 24, false), nullptr);
        ASSERT_EQ(PixelsCapture(kImage), 1);
        raster::Bitmap* bm = MakeImage(kImage, c.width, c.height, c.bpp, true);
        ASSERT_NE(bm, nullptr);
        const std::vector<uint8_t> before = Bytes(*bm);
        ToneAdjust(kImage, 155, 255, 0, 100, 100, 0);
        CastRemove(kImage, 0x000A00);
        EXPECT_EQ(PixelsStore(kImage), 0) << c.what;
        EXPECT_EQ(Bytes(*bm), before) << c.what;
    }
}

TEST_F(PixelsTest, SizeLimits) {
    struct Case {
        int width, height, depth;
        int64_t size;
    } cases[] = {
        {3, 2, 32, 24},
        {3, 2, 24, 18},
        {0, 5, 24, 0},
        {6000, 4000, 32, 96000000},
        {23170, 23170, 32, 2147395600},  // just below 2^31
        {23171, 23171, 32, -1},
        {32767, 32767, 24, -1},
        {32767, 32767, 32, -1},
        {-1, 5, 24, -1},
        {5, 5, 16, -1},
        {5, 5, 8, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PixelsBufferSize(c.width, c.height, c.depth), c.size)
            << c.width << "x" << c.height << "x" << c.depth;
}

TEST_F(PixelsTest, OtherDepthsAreRefused) {
    auto bm = raster::Create(4, 4, 16, true, true);
    if (!bm) GTEST_SKIP() << "no 16-bit bitmaps";
    ASSERT_NE(ImageAdopt(kImage, std::move(bm), 0), nullptr);
    EXPECT_EQ(PixelsCapture(kImage), 0);
    EXPECT_TRUE(Absent());
}

TEST_F(PixelsTest, CastThroughTheCapturedPreview) {
    raster::Bitmap* bm = MakeImage(kImage, 10, 8, 32, false);
    ASSERT_NE(bm, nullptr);
    raster::FillRect(*bm, 0, 0, 10, 8, 0x00EBF0FA);  // (250, 240, 235)
    ASSERT_EQ(PixelsCapture(kImage), 1);
    g_app.selection = Selection{10, 20, 5, 4};  // reaches past the right and bottom edges
    const uint32_t cast = CastMeasure(kImage);
    EXPECT_EQ(cast, 1295u);
    ToneAdjust(kImage, 155, 255, 0, 100, 100, 0);
    CastRemove(kImage, cast);
    ASSERT_EQ(PixelsStore(kImage), 1);
    // 250 - 15 + 6, 240 - 5 + 6, 235 + 6
    EXPECT_EQ(raster::GetPixel(*bm, 9, 7), 0x00F1F1F1u);
}

// The public pass sets a real progress bar before each row; the last value stays.
TEST_F(PixelsTest, ProgressBarFollowsTheRows) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (!ToolkitInit()) GTEST_SKIP() << "no display";
    ASSERT_NE(WindowOpen(0, 0, 0, 300, 100, "Test", 0), 0u);
    ASSERT_NE(ControlListBegin(0), 0u);
    ASSERT_NE(ControlCreateProgressBar(18, 10, 10, 200, 20, 0, 100, PROGRESS_SMOOTH), 0u);
    struct Case {
        int height, progressControl, last;
    } cases[] = {{1, 18, 0}, {200, 18, 99}, {3, 18, 66}, {200, 0, 42}};
    for (const Case& c : cases) {
        ASSERT_NE(MakeImage(kImage, 2, c.height, 24, false), nullptr);
        ASSERT_EQ(PixelsCapture(kImage), 1);
        ControlSetValue(18, 42);
        ToneAdjust(kImage, 155, 255, 0, 100, 100, c.progressControl);
        EXPECT_EQ(ControlGetValue(18), c.last) << c.height << " rows";
    }
    WindowCloseAll();
}

}  // namespace
