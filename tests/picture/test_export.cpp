// The working pixels against bitmaps of every row layout (capture, the pass, store, and what a
// failure leaves), and the export's pixel work: output sizes, the cut, the whole step.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "picture/cast.h"
#include "picture/export.h"
#include "picture/working_pixels.h"
#include "platform/raster.h"
#include "tests/picture/noise.h"

namespace {

// --- pure helpers --------------------------------------------------------------------------------

// Presets only ever reduce; frames are scaled and rounded one field at a time, then clipped.
TEST(OutputSize, PresetsAndFrames) {
    auto size = [](int preset, int w, int h) {
        const std::optional<Sides> s = OutputSizeFor(preset, w, h);
        return s ? std::to_string(s->width) + "x" + std::to_string(s->height) : std::string("kept");
    };
    // Preset 7, the avatar, bounds the width whatever the shape.
    const std::tuple<int, int, int, const char*> presets[] = {
        {1, 4000, 3000, "800x600"}, {1, 3000, 4000, "600x800"}, {1, 500, 400, "kept"},
        {2, 400, 301, "399x300"},   {8, 4000, 3000, "kept"},    {7, 1600, 900, "100x56"},
        {7, 300, 200, "100x67"},    {7, 250, 250, "100x100"},   {7, 200, 300, "100x150"},
        {7, 100, 50, "kept"},       {7, 9000, 20, "100x1"}};
    for (const auto& [preset, w, h, want] : presets)
        EXPECT_EQ(size(preset, w, h), want) << preset << ": " << w << "x" << h;
    EXPECT_EQ(FrameToPicture(PixelRect{0, 0, 240, 160}, 4000.0f / 480.0f),
              (PixelRect{0, 0, 2000, 1333}));
    // 2.5, 17.5, 12.5 and 7.5: halves go to the even neighbour.
    EXPECT_EQ(FrameToPicture(PixelRect{1, 7, 5, 3}, 2.5f), (PixelRect{2, 18, 12, 8}));
    // A frame rounded past the picture is clipped to it.
    EXPECT_EQ(ClipToPicture(PixelRect{-1, 2, 12, 20}, 10, 8), (PixelRect{0, 2, 10, 6}));
    EXPECT_EQ(ClipToPicture(PixelRect{10, 0, 5, 5}, 10, 8).width, 0);
}

std::vector<uint8_t> Bytes(const raster::Bitmap& bm) {
    return std::vector<uint8_t>(bm.bits.get(), bm.bits.get() + bm.ByteSize());
}

// Against the plain steps on one thread: the tone pass and then the cast removal a row at a time,
// the cut, the stretch. Large pictures are shared with the helper thread, and a delivery runs
// there beside the adjustment of the rows outside the cut. ExportCut makes the same cut aside.
TEST(ExportPicture, AdjustsThePictureThenCutsAndReducesOverlappedOrNot) {
    const ExportSettings printSharpened{{110, 240, 0, 120, 100}, 0x020000, 4, Sharpening::Print};
    const std::tuple<int, int, int, PixelRect, ExportSettings, int, int> cases[] = {
        // Past the right edge: a 30 x 20 cut, under the avatar's 100 on its shorter side.
        {40, 30, 24, {10, 10, 31, 20}, {{90, 230, 10, 140, 120}, 0x000503, 7}, 30, 20},
        {1500, 1000, 24, {200, 300, 1200, 650}, {{120, 230, 20, 130, 120}, 0x00050A, 1}, 1108, 600},
        {1500, 1000, 32, {0, 100, 1500, 800}, {{60, 200, 5, 100, 150}, 0x0A0000, 0}, 1500, 800},
        {1200, 900, 32, {0, 0, 1200, 900}, {kToneDefaults, 0, 2}, 400, 300},
        {900, 1400, 24, {50, 0, 800, 1400}, printSharpened, 800, 1400},
        {1300, 700, 24, {0, 0, 1300, 700}, {kToneDefaults, 0, 3, Sharpening::Screen}, 1114, 600},
    };
    for (const auto& [width, height, bpp, frame, settings, outWidth, outHeight] : cases)
        for (bool deliver : {false, true}) {
            SCOPED_TRACE(testing::Message() << width << " deliver " << deliver);
            auto picture = Noise(width, height, bpp), reference = Noise(width, height, bpp);
            for (int y = 0; y < height; ++y) {
                uint8_t* row = reference->Row(y);
                ToneAdjustBuffer(row, row, width, 1, bpp / 8, settings.tone);
                if (settings.cast) CastRemoveBuffer(row, width, 1, bpp / 8, settings.cast);
            }
            const PixelRect cut = ClipToPicture(frame, width, height);
            auto want = raster::Create(cut.width, cut.height, bpp, bpp == 32, bpp == 32);
            ASSERT_TRUE(
                raster::Blit(*want, 0, 0, cut.width, cut.height, *reference, cut.left, cut.top));
            if (outWidth != cut.width) {
                auto reduced = raster::Create(outWidth, outHeight, bpp, bpp == 32, bpp == 32);
                ASSERT_TRUE(OutputResize(*want, *reduced));
                want = std::move(reduced);
            }
            ASSERT_TRUE(SharpenBitmap(*want, settings.sharpen));
            // Made aside, without touching the picture, the same pixels.
            const std::vector<uint8_t> untouched = Bytes(*picture);
            const auto aside = ExportCut(*picture, frame, settings);
            ASSERT_TRUE(aside);
            EXPECT_TRUE(Bytes(*picture) == untouched);
            EXPECT_TRUE(Bytes(*aside) == Bytes(*want));
            std::vector<uint8_t> delivered;
            std::vector<int> progress;
            const ExportDelivery keep = [&](const raster::Bitmap& bm) {
                delivered = Bytes(bm);
                return true;
            };
            const ExportResult r = ExportPicture(
                *picture, frame, settings, [&](int v) { progress.push_back(v); },
                deliver ? keep : ExportDelivery());
            ASSERT_TRUE(r.adjusted && r.cut);
            EXPECT_EQ(r.delivered, deliver);
            EXPECT_TRUE(Bytes(*picture) == Bytes(*reference));
            EXPECT_TRUE(Bytes(*r.cut) == Bytes(*want));
            EXPECT_TRUE(!deliver || delivered == Bytes(*want));
            // Once for every row, in order, whichever rows were done first.
            ASSERT_EQ(progress.size(), static_cast<size_t>(height));
            for (int y = 0; y < height; ++y)
                ASSERT_EQ(progress[y], y * 100 / height);
        }
}

// Odd and even widths (row padding), both row orders, both depths: captured and stored back
// through the default pass, the bitmap comes back with only 255 lowered to 254 (the fourth byte
// zero, the padding untouched). A capture failing at either of its allocations leaves nothing
// half done: what the shell runs next leaves the picture as it was.
TEST(WorkingPixels, EveryLayoutComesBackAndAFailureLeavesNothingHalfDone) {
    for (auto [width, height, bpp, topDown] :
         {std::tuple{3, 2, 24, false}, {5, 3, 24, true}, {7, 4, 32, true}}) {
        SCOPED_TRACE(testing::Message() << width << "x" << height << "x" << bpp);
        auto bm = Noise(width, height, bpp, topDown);
        std::vector<uint8_t> want = Bytes(*bm);
        for (int y = 0, p = bpp / 8; y < height; ++y) {
            uint8_t* row = want.data() + (bm->Row(y) - bm->bits.get());
            for (int x = 0; x < width * p; ++x)
                row[x] = x % p == 3 ? 0 : (row[x] == 255 ? 254 : row[x]);
        }
        WorkingPixels px;
        ASSERT_TRUE(px.Capture(*bm));
        px.AdjustTone(kToneDefaults);
        ASSERT_TRUE(px.Store(*bm));
        EXPECT_EQ(Bytes(*bm), want);
        for (int nth : {1, 2}) {
            ASSERT_TRUE(px.Capture(*bm));
            raster::FailAllocationForTest(nth);
            EXPECT_FALSE(px.Capture(*bm));
            raster::FailAllocationForTest(0);
            EXPECT_FALSE(px.Captured());
            px.AdjustTone({20, 100, 245, 0, 200});
            px.RemoveCast(0x0A0000);
            EXPECT_FALSE(px.Store(*bm));
            EXPECT_EQ(Bytes(*bm), want);
        }
    }
    // Sizes beyond a signed 32-bit count are refused.
    EXPECT_EQ(PixelsBufferSize(23170, 23170, 32), 2147395600);  // just below 2^31
    EXPECT_EQ(PixelsBufferSize(23171, 23171, 32), -1);
    // A bitmap of another shape, even of the same byte count, is refused.
    WorkingPixels px;
    ASSERT_TRUE(px.Capture(*Noise(4, 3)));
    for (auto [w, h, bpp, topDown] :
         {std::tuple{6, 4, 24, false}, {3, 3, 32, true}, {6, 2, 24, false}}) {
        auto other = Noise(w, h, bpp, topDown);
        const std::vector<uint8_t> before = Bytes(*other);
        EXPECT_FALSE(px.Store(*other));
        EXPECT_EQ(Bytes(*other), before);
    }
}

}  // namespace
