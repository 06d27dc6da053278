// Files cut short: the outcome of every load says how much of the picture the file held. A cut
// inside the picture loads its decoded rows, exactly as the whole file decodes them, with the rest
// grey and reported incomplete; a cut before the first row is refused as damaged; a whole file is
// never reported incomplete.
#include <algorithm>

#include "load_test_base.h"

using fixtures::Bytes;
using fixtures::Rgba;

namespace {

// Noise, so that compressed data spreads evenly over the rows and a cut lands mid-picture.
Rgba Noise(int x, int y) {
    const uint32_t h = ((x * 73856093u) ^ (y * 19349663u)) * 2654435761u;
    return Rgba{uint8_t(h >> 8), uint8_t(h >> 16), uint8_t(h >> 24), 255};
}

constexpr int kW = 64;
constexpr int kH = 96;

enum class Ends { Whole, Incomplete, Damaged };

struct CutCase {
    const char* name;
    Bytes (*make)();
    double keep;  // fraction of the file kept
    Ends ends;
    bool turned = false;  // stored on its side (EXIF orientation 6)
};

Bytes Png() {
    return fixtures::MakePng({.width = kW, .height = kH, .colourType = 6, .colour = Noise});
}
Bytes PngRgb() {
    return fixtures::MakePng({.width = kW, .height = kH, .colourType = 2, .colour = Noise});
}
Bytes PngInterlaced() {
    return fixtures::MakePng(
        {.width = kW, .height = kH, .colourType = 2, .interlaced = true, .colour = Noise});
}
Bytes Jpeg() {
    return fixtures::MakeJpeg({.width = kW, .height = kH, .quality = 98, .colour = Noise});
}
Bytes JpegTurned() {
    return fixtures::MakeJpeg(
        {.width = kW, .height = kH, .quality = 98, .orientation = 6, .colour = Noise});
}
Bytes JpegCmyk() {
    return fixtures::MakeJpeg(
        {.width = kW, .height = kH, .kind = fixtures::JpegKind::CmykAdobe, .colour = Noise});
}
Bytes JpegProgressive() {
    return fixtures::MakeJpeg({.width = kW, .height = kH, .progressive = true, .colour = Noise});
}
Bytes Webp() {
    return fixtures::MakeWebp({.width = kW, .height = kH, .colour = Noise});
}
Bytes WebpLossless() {
    return fixtures::MakeWebp({.width = kW, .height = kH, .lossless = true, .colour = Noise});
}
Bytes Heic() {
    return fixtures::MakeHeif({.width = kW, .height = kH, .colour = Noise});
}
Bytes Avif() {
    return fixtures::MakeHeif({.width = kW, .height = kH, .avif = true, .colour = Noise});
}
Bytes Bmp() {
    return fixtures::Convert(kW, kH, Noise, "");
}

const CutCase kCases[] = {
    {"png_whole", Png, 1.0, Ends::Whole},
    {"png_cut_in_half", Png, 0.5, Ends::Incomplete},
    {"png_rgb_cut_late", PngRgb, 0.9, Ends::Incomplete},
    {"png_interlaced_whole", PngInterlaced, 1.0, Ends::Whole},
    // The last of the seven passes holds the odd rows: a cut in it leaves the rows above whole.
    {"png_interlaced_cut_in_last_pass", PngInterlaced, 0.8, Ends::Incomplete},
    {"png_interlaced_cut_in_early_pass", PngInterlaced, 0.2, Ends::Damaged},
    {"jpeg_whole", Jpeg, 1.0, Ends::Whole},
    {"jpeg_cut_in_half", Jpeg, 0.5, Ends::Incomplete},
    {"jpeg_turned_cut_in_half", JpegTurned, 0.5, Ends::Incomplete, true},
    {"jpeg_cmyk_cut_in_half", JpegCmyk, 0.5, Ends::Incomplete},
    {"jpeg_progressive_whole", JpegProgressive, 1.0, Ends::Whole},
    {"webp_whole", Webp, 1.0, Ends::Whole},
    {"webp_cut_in_half", Webp, 0.5, Ends::Incomplete},
    {"webp_lossless_whole", WebpLossless, 1.0, Ends::Whole},
    {"webp_lossless_cut_in_half", WebpLossless, 0.5, Ends::Incomplete},
    {"heic_whole", Heic, 1.0, Ends::Whole},
    {"heic_cut_in_half", Heic, 0.5, Ends::Damaged},
    {"heic_cut_near_the_end", Heic, 0.95, Ends::Damaged},
    {"avif_cut_near_the_end", Avif, 0.95, Ends::Damaged},
    {"bmp_whole", Bmp, 1.0, Ends::Whole},
    {"bmp_cut_in_half", Bmp, 0.5, Ends::Damaged},
};

class CutFiles : public LoadTest, public ::testing::WithParamInterface<CutCase> {};

TEST_P(CutFiles, SayHowMuchOfThePictureWasRead) {
    const CutCase& k = GetParam();
    const Bytes whole = k.make();
    ASSERT_FALSE(whole.empty()) << "no encoder";
    raster::Bitmap* full = Load(whole, "whole.bin");
    ASSERT_NE(full, nullptr);
    const auto reference = raster::Clone(*full);

    Bytes cut = whole;
    cut.resize(static_cast<size_t>(static_cast<double>(whole.size()) * k.keep));
    const LoadResult r = ImageLoadFile(101, fixtures::WriteTemp("cut.bin", cut).c_str());
    switch (k.ends) {
        case Ends::Damaged:
            EXPECT_EQ(r.bitmap, nullptr);
            EXPECT_EQ(r.error, LoadError::Damaged);
            EXPECT_FALSE(r.Incomplete());
            return;
        case Ends::Whole:
            ASSERT_NE(r.bitmap, nullptr);
            EXPECT_FALSE(r.Incomplete());
            EXPECT_EQ(r.rows.decoded, kH);
            EXPECT_EQ(r.rows.total, kH);
            return;
        case Ends::Incomplete:
            break;
    }
    ASSERT_NE(r.bitmap, nullptr) << static_cast<int>(r.error);
    EXPECT_EQ(r.error, LoadError::None);
    ASSERT_TRUE(r.Incomplete());
    EXPECT_EQ(r.rows.total, kH);
    ASSERT_GT(r.rows.decoded, 0);
    ASSERT_LT(r.rows.decoded, kH);
    // Stored rows map to upright columns for a turned picture (orientation 6: stored row y is
    // upright column width - 1 - y).
    const bool turned = k.turned;
    ASSERT_EQ(turned ? r.bitmap->width : r.bitmap->height, kH);
    auto at = [&](const raster::Bitmap& bm, int along, int across) {
        return turned ? PixelAt(bm, bm.width - 1 - along, across) : PixelAt(bm, across, along);
    };
    const int across = turned ? r.bitmap->height : r.bitmap->width;
    // The rows reported decoded are the whole file's rows. A lossy decoder may smooth the last
    // block row against the missing data below it, so only the rows above are compared exactly.
    const int exact = std::max(0, r.rows.decoded - 16);
    for (int y = 0; y < exact; ++y)
        for (int x = 0; x < across; ++x)
            ASSERT_EQ(at(*r.bitmap, y, x), at(*reference, y, x)) << "row " << y << " col " << x;
    for (int y = r.rows.decoded; y < kH; ++y)
        for (int x = 0; x < across; ++x)
            ASSERT_EQ(at(*r.bitmap, y, x), (Rgba{128, 128, 128, 255})) << "row " << y;
}

INSTANTIATE_TEST_SUITE_P(Load, CutFiles, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
