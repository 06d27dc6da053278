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
    Bytes whole;
    double keep;  // fraction of the file kept
    Ends ends;
    bool turned = false;  // stored on its side (EXIF orientation 6)
};

Bytes Png(int colourType, bool interlaced = false) {
    fixtures::PngDesc s{.width = kW, .height = kH, .colourType = colourType, .colour = Noise};
    s.interlaced = interlaced;
    return fixtures::MakePng(s);
}
Bytes Jpeg(fixtures::JpegDesc s) {
    s.width = kW, s.height = kH, s.colour = Noise;
    return fixtures::MakeJpeg(s);
}
Bytes Webp(bool lossless) {
    return fixtures::MakeWebp({.width = kW, .height = kH, .lossless = lossless, .colour = Noise});
}
Bytes Heif(bool avif) {
    return fixtures::MakeHeif({.width = kW, .height = kH, .avif = avif, .colour = Noise});
}

// Every row first loads its whole file, which must not be reported incomplete.
std::vector<CutCase> Table() {
    using fixtures::JpegKind;
    return {
        {"png_cut_in_half", Png(6), 0.5, Ends::Incomplete},
        {"png_rgb_cut_late", Png(2), 0.9, Ends::Incomplete},
        // The last of the seven passes holds the odd rows: a cut in it leaves the rows above whole.
        {"png_interlaced_cut_in_last_pass", Png(2, true), 0.8, Ends::Incomplete},
        {"png_interlaced_cut_in_early_pass", Png(2, true), 0.2, Ends::Damaged},
        {"jpeg_cut_in_half", Jpeg({.quality = 98}), 0.5, Ends::Incomplete},
        {"jpeg_turned_cut_in_half", Jpeg({.quality = 98, .orientation = 6}), 0.5, Ends::Incomplete,
         true},
        {"jpeg_cmyk_cut_in_half", Jpeg({.kind = JpegKind::CmykAdobe}), 0.5, Ends::Incomplete},
        {"jpeg_progressive_whole", Jpeg({.progressive = true}), 1.0, Ends::Whole},
        {"webp_cut_in_half", Webp(false), 0.5, Ends::Incomplete},
        {"webp_lossless_cut_in_half", Webp(true), 0.5, Ends::Incomplete},
        {"heic_cut_in_half", Heif(false), 0.5, Ends::Damaged},
        {"heic_cut_near_the_end", Heif(false), 0.95, Ends::Damaged},
        {"avif_cut_near_the_end", Heif(true), 0.95, Ends::Damaged},
        {"bmp_cut_in_half", fixtures::Convert(kW, kH, Noise, ""), 0.5, Ends::Damaged},
    };
}

class CutFiles : public LoadTest, public ::testing::WithParamInterface<CutCase> {};

TEST_P(CutFiles, SayHowMuchOfThePictureWasRead) {
    const CutCase& k = GetParam();
    ASSERT_FALSE(k.whole.empty()) << "no encoder";
    const LoadResult full = ImageLoadFile(100, fixtures::WriteTemp("whole.bin", k.whole).c_str());
    ASSERT_NE(full.bitmap, nullptr);
    EXPECT_FALSE(full.Incomplete());
    EXPECT_EQ(std::make_pair(full.rows.decoded, full.rows.total), std::make_pair(kH, kH));
    if (k.ends == Ends::Whole) return;
    const auto reference = raster::Clone(*full.bitmap);

    const Bytes cut(k.whole.begin(), k.whole.begin() + static_cast<long>(k.whole.size() * k.keep));
    const LoadResult r = ImageLoadFile(101, fixtures::WriteTemp("cut.bin", cut).c_str());
    if (k.ends == Ends::Damaged) {
        EXPECT_EQ(r.bitmap, nullptr);
        EXPECT_EQ(r.error, LoadError::Damaged);
        EXPECT_FALSE(r.Incomplete());
        return;
    }
    ASSERT_NE(r.bitmap, nullptr) << static_cast<int>(r.error);
    EXPECT_EQ(r.error, LoadError::None);
    ASSERT_TRUE(r.Incomplete());
    EXPECT_EQ(r.rows.total, kH);
    ASSERT_GT(r.rows.decoded, 0);
    ASSERT_LT(r.rows.decoded, kH);
    // Stored rows map to upright columns for a turned picture (orientation 6: stored row y is
    // upright column width - 1 - y).
    ASSERT_EQ(k.turned ? r.bitmap->width : r.bitmap->height, kH);
    auto at = [&](const raster::Bitmap& bm, int along, int across) {
        return k.turned ? PixelAt(bm, bm.width - 1 - along, across) : PixelAt(bm, across, along);
    };
    const int across = k.turned ? r.bitmap->height : r.bitmap->width;
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

INSTANTIATE_TEST_SUITE_P(Load, CutFiles, ::testing::ValuesIn(Table()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
