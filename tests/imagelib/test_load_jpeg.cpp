// JPEG files written with libjpeg: baseline, progressive, greyscale, four-component, truncated,
// and turned by EXIF orientation.
#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "imagelib/exif.h"
#include "load_test_base.h"

using fixtures::JpegDesc;
using fixtures::JpegKind;
using fixtures::Rgba;

namespace {

JpegDesc Desc(int width, int height, fixtures::Pattern colour = Smooth) {
    return {.width = width, .height = height, .colour = std::move(colour)};
}

constexpr int kTolerance = 10;

using JpegLoad = LoadTest;

// (A cut in the rows of a sequential file: the cut-file table.) A progressive file cut in a
// later scan has every row, only coarser.
TEST_F(JpegLoad, ProgressiveFileCutInALaterScanHasEveryRow) {
    fixtures::Bytes jpeg =
        fixtures::MakeJpeg({.width = 160, .height = 160, .progressive = true, .colour = Smooth});
    jpeg.resize(jpeg.size() * 3 / 4);
    raster::Bitmap* bm = Load(jpeg, "truncated_progressive.jpg");
    ASSERT_NE(bm, nullptr);
    EXPECT_TRUE(Near(PixelAt(*bm, 150, 150), Smooth(150, 150), kTolerance));
}

// The limits against hostile files must leave room for the largest photos: 100 megapixels,
// progressive (the decoder then holds every coefficient of the picture at once), colour at full
// chroma resolution. Too many progressive scans are refused. The bomb rule (more pixels than a
// complete file of that size could describe) takes a picture that compresses as well as JPEG
// allows: uniform grey, progressive, with optimised tables.
TEST_F(JpegLoad, LimitsTakeHundredMegapixelsButNotTooManyScans) {
    JpegDesc s = Desc(12500, 8000, [](int x, int y) {
        return Rgba{static_cast<uint8_t>(x / 64), static_cast<uint8_t>(y / 32), 90, 255};
    });
    s.quality = 30;
    s.progressive = true;  // the simple progression has 10 scans
    s.fullChroma = true;
    fixtures::Bytes jpeg = fixtures::MakeJpeg(s);
    raster::Bitmap* bm = Load(jpeg, "100mp.jpg");
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(std::make_pair(ImageGetWidth(100), ImageGetHeight(100)), std::make_pair(12500, 8000));
    EXPECT_TRUE(Near(PixelAt(*bm, 12000, 7900), s.colour(12000, 7900), kTolerance));
    ImageSetLoadLimits({.maxJpegScans = 5});
    EXPECT_EQ(Load(jpeg, "scans.jpg"), nullptr);
    ImageSetLoadLimits(LoadLimits{});
    s = Desc(4096, 4096, [](int, int) { return Rgba{77, 77, 77, 255}; });
    s.kind = fixtures::JpegKind::Grey;
    s.progressive = s.optimize = true;
    s.quality = 50;
    jpeg = fixtures::MakeJpeg(s);
    ASSERT_LT(jpeg.size(), 100000u);  // far smaller than 1 byte per 170 pixels
    bm = Load(jpeg, "uniform.jpg");
    ASSERT_NE(bm, nullptr);
    EXPECT_NEAR(raster::GetPixel(*bm, 4000, 4000) & 0xFF, 77, 2);
}

// A picture stored 40 x 24 with a red block at its stored top-left corner and a green block at
// its stored top-right corner. EXIF (JPEG, PNG's eXIf chunk, WebP's EXIF chunk) or the irot and
// imir boxes (HEIC, AVIF) say how the camera was held; the loaded picture is upright. (In HEIC the
// boxes alone decide: the Exif test of the format table.)
enum class Container { Jpeg, Heic, Avif, Png, Webp };

struct OrientationCase {
    int orientation;
    bool bigEndian;
    // Corners of the upright picture (0 top-left, 1 top-right, 2 bottom-right, 3 bottom-left)
    // where the red and green blocks must land.
    int red;
    int green;
    int type = 3;  // TIFF field type the orientation is stored as
    Container container = Container::Jpeg;
};

const char* const kContainerSuffix[] = {"", "_heic", "_avif", "_png", "_webp"};

class JpegOrientation : public LoadTest, public ::testing::WithParamInterface<OrientationCase> {};

Rgba Marked(int x, int y) {
    if (y < 8 && x < 8) return Rgba{230, 20, 20, 255};
    if (y < 8 && x >= 32) return Rgba{20, 230, 20, 255};
    return Rgba{20, 20, 90, 255};
}

TEST_P(JpegOrientation, CornerMarksLandUpright) {
    const OrientationCase& k = GetParam();
    const fixtures::Bytes exif = fixtures::ExifTiff(k.orientation, k.bigEndian, k.type);
    fixtures::Bytes file;
    if (k.container == Container::Jpeg) {
        JpegDesc s = Desc(40, 24, Marked);
        s.quality = 100, s.orientation = k.orientation;
        s.exifBigEndian = k.bigEndian, s.exifType = k.type;
        file = fixtures::MakeJpeg(s);
    } else if (k.container == Container::Png) {
        file = fixtures::MakePng({.width = 40, .height = 24, .colour = Marked, .exif = exif});
    } else if (k.container == Container::Webp) {
        const fixtures::WebpDesc s{.width = 40, .height = 24, .lossless = true, .colour = Marked};
        file = fixtures::WebpExtended(fixtures::MakeWebp(s), 40, 24, {}, {{"EXIF", exif}});
    } else {
        fixtures::HeifDesc s{.width = 40, .height = 24, .orientation = k.orientation};
        s.avif = k.container == Container::Avif, s.colour = Marked;
        file = fixtures::MakeHeif(s);
        ASSERT_FALSE(file.empty()) << "no encoder";
    }
    raster::Bitmap* bm = Load(file, "orientation.bin");
    ASSERT_NE(bm, nullptr);
    const bool turned = k.orientation >= 5;
    int w = turned ? 24 : 40, h = turned ? 40 : 24;
    ASSERT_EQ(std::make_pair(ImageGetWidth(100), ImageGetHeight(100)), std::make_pair(w, h));
    const int cx[4] = {3, w - 4, w - 4, 3}, cy[4] = {3, 3, h - 4, h - 4};
    for (int corner = 0; corner < 4; ++corner) {
        Rgba want = corner == k.red     ? Marked(0, 0)
                    : corner == k.green ? Marked(39, 0)
                                        : Marked(20, 20);
        EXPECT_TRUE(Near(PixelAt(*bm, cx[corner], cy[corner]), want, 24))
            << "corner " << corner << " got " << PixelAt(*bm, cx[corner], cy[corner]);
    }

    if (k.container != Container::Jpeg) return;
    // Several strips of rows, turned in tiles on a second thread: exactly the pixels of the
    // same file without EXIF, turned; and the preview reduced while the rows arrived is exactly
    // the stretch of the finished picture.
    JpegDesc big = Desc(203, 301);
    ASSERT_NE(Load(fixtures::MakeJpeg(big), "stored.jpg"), nullptr);
    const auto stored = raster::Clone(*ImageGetBitmap(100));
    big.orientation = k.orientation;
    big.exifBigEndian = k.bigEndian;
    FoundDecoder found =
        ImageFindDecoder(fixtures::WriteTemp("big.jpg", fixtures::MakeJpeg(big)).c_str());
    ASSERT_EQ(found.bpp, 24);
    auto picture = raster::Create(turned ? 301 : 203, turned ? 203 : 301, 24, true, false);
    auto preview = raster::Create(picture->width / 3, picture->height / 4, 32, true, true);
    bool made = false;
    ASSERT_TRUE(
        found.decoder->DecodeWithPreview(picture->bits.get(), picture->stride, *preview, made)
            .Whole());
    ASSERT_TRUE(made);
    for (int y = 0; y < 301; ++y)
        for (int x = 0; x < 203; ++x) {
            int ux = 0, uy = 0;
            ExifMapPixel(k.orientation, 203, 301, x, y, &ux, &uy);
            ASSERT_EQ(raster::GetPixel(*picture, ux, uy), raster::GetPixel(*stored, x, y));
        }
    auto expected = raster::Create(preview->width, preview->height, 32, true, true);
    raster::Stretch(*expected, 0, 0, expected->width, expected->height, *picture,
                    raster::StretchMode::Halftone);
    EXPECT_TRUE(SameBits(*preview, *expected));
}

// Writers store the orientation as any integer type; a non-integer type (7) is ignored. HEIF and
// AVIF turn and mirror by their irot and imir boxes.
INSTANTIATE_TEST_SUITE_P(
    Exif, JpegOrientation,
    ::testing::Values(OrientationCase{0, false, 0, 1},  // no EXIF at all
                      OrientationCase{1, false, 0, 1}, OrientationCase{2, false, 1, 0},
                      OrientationCase{3, false, 2, 3}, OrientationCase{4, false, 3, 2},
                      OrientationCase{5, false, 0, 3}, OrientationCase{6, false, 1, 2},
                      OrientationCase{7, false, 2, 1}, OrientationCase{8, false, 3, 0},
                      OrientationCase{8, true, 3, 0}, OrientationCase{6, true, 1, 2, 3},
                      OrientationCase{6, false, 1, 2, 4}, OrientationCase{6, true, 1, 2, 4},
                      OrientationCase{6, false, 1, 2, 9}, OrientationCase{6, true, 1, 2, 9},
                      OrientationCase{3, true, 0, 1, 7},
                      OrientationCase{6, false, 1, 2, 3, Container::Heic},
                      OrientationCase{2, false, 1, 0, 3, Container::Heic},
                      OrientationCase{8, false, 3, 0, 3, Container::Avif},
                      OrientationCase{6, false, 1, 2, 3, Container::Png},
                      OrientationCase{3, true, 2, 3, 3, Container::Png},
                      OrientationCase{5, false, 0, 3, 4, Container::Png},
                      OrientationCase{8, false, 3, 0, 3, Container::Webp},
                      OrientationCase{4, true, 3, 2, 3, Container::Webp}),
    [](const auto& info) {
        const OrientationCase& k = info.param;
        return "orientation" + std::to_string(k.orientation) + "_type" + std::to_string(k.type) +
               (k.bigEndian ? "_big_endian" : "") + kContainerSuffix[static_cast<int>(k.container)];
    });

// A grey profile with a linear curve: far from sRGB's.
fixtures::Bytes GreyProfile() {
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    cmsHPROFILE grey = cmsCreateGrayProfile(cmsD50_xyY(), linear);
    cmsFreeToneCurve(linear);
    return fixtures::SavedProfile(grey);
}

// Four 16 x 16 patches side by side, at full quality and chroma resolution.
JpegDesc Patches(const std::array<Rgba, 4>& colours, JpegKind kind = JpegKind::Rgb) {
    JpegDesc s = Desc(64, 16, [colours](int x, int) { return colours[std::min(x / 16, 3)]; });
    s.kind = kind, s.quality = 100, s.fullChroma = true;
    return s;
}

Rgba Patch(const raster::Bitmap& bm, int i) {
    return PixelAt(bm, i * 16 + 8, 8);
}

// Embedded colour profiles: a Display P3 picture comes out in sRGB; without a profile, with an
// sRGB one or with a damaged one the pixels are exactly those of the plain file.
TEST_F(JpegLoad, ProfilesAreConvertedToSrgb) {
    // Pure sRGB red, green and blue, and a grey, as Display P3 numbers (lcms, absolute).
    const fixtures::Bytes p3 = fixtures::DisplayP3Profile();
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE display = cmsOpenProfileFromMem(p3.data(), static_cast<cmsUInt32Number>(p3.size()));
    cmsHTRANSFORM toP3 = cmsCreateTransform(srgb, TYPE_RGBA_8, display, TYPE_RGBA_8,
                                            INTENT_RELATIVE_COLORIMETRIC, 0);
    const std::array<Rgba, 4> patches = {{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {120, 120, 120}}};
    std::array<Rgba, 4> stored = patches;
    cmsDoTransform(toP3, patches.data(), stored.data(), 4);
    cmsDeleteTransform(toP3);
    cmsCloseProfile(display);
    ASSERT_GT(std::abs(stored[0].r - 255) + stored[0].g, 20);  // P3 red is another number
    JpegDesc s = Patches(stored);
    auto pixels = [&](const fixtures::Bytes& icc) {
        s.icc = icc;
        raster::Bitmap* bm = Load(fixtures::MakeJpeg(s), "profile.jpg");
        return bm ? std::vector<uint8_t>(bm->bits.get(), bm->bits.get() + bm->ByteSize())
                  : std::vector<uint8_t>{};
    };
    const std::vector<uint8_t> plain = pixels({});
    ASSERT_FALSE(plain.empty());
    fixtures::Bytes broken = p3;
    std::fill(broken.begin() + 128, broken.end(), 0xA5);  // header kept, tag table destroyed
    // A profile of another colour space than the samples describes nothing in them: a grey one
    // on an RGB JPEG or WebP (read as grey, it would make a grey picture of one channel).
    const fixtures::Bytes grey = GreyProfile(), cut(p3.begin(), p3.begin() + 200);
    for (const fixtures::Bytes& icc : {broken, cut, grey, fixtures::SavedProfile(srgb)})
        EXPECT_EQ(pixels(icc), plain) << icc.size();
    const fixtures::Bytes webp =
        fixtures::MakeWebp({.width = 64, .height = 16, .lossless = true, .colour = s.colour});
    ASSERT_NE(Load(webp, "plain.webp"), nullptr);
    const auto plainWebp = raster::Clone(*ImageGetBitmap(100));
    ASSERT_NE(Load(fixtures::WebpExtended(webp, 64, 16, grey, {}), "grey.webp"), nullptr);
    EXPECT_TRUE(SameBits(*ImageGetBitmap(100), *plainWebp));

    pixels(p3);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(Near(Patch(*ImageGetBitmap(100), i), patches[i], 4))
            << i << ": " << Patch(*ImageGetBitmap(100), i) << " want " << patches[i];
}

// A CMYK JPEG with a CMYK profile (Ghostscript's, from Debian's libgs-common) is converted
// through it, relative colorimetric with black-point compensation; a profile of another colour
// space on it is ignored, and the inks are read as without a profile.
TEST_F(JpegLoad, CmykProfilesConvertTheInks) {
    const fixtures::Bytes cmyk =
        fixtures::ReadFile("/usr/share/color/icc/ghostscript/default_cmyk.icc");
    ASSERT_GT(cmyk.size(), 128u) << "needs the package libgs-common";
    JpegDesc s = Patches({{{230, 40, 40}, {40, 200, 60}, {40, 60, 210}, {128, 128, 128}}},
                         JpegKind::CmykAdobe);
    ASSERT_NE(Load(fixtures::MakeJpeg(s), "plain.jpg"), nullptr);
    const auto plain = raster::Clone(*ImageGetBitmap(100));
    s.icc = cmyk;
    ASSERT_NE(Load(fixtures::MakeJpeg(s), "cmyk.jpg"), nullptr);
    // What the same inks give through the profile, computed here from the ink amounts.
    cmsHPROFILE inks =
        cmsOpenProfileFromMem(cmyk.data(), static_cast<cmsUInt32Number>(cmyk.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM t =
        cmsCreateTransform(inks, TYPE_CMYK_8, srgb, TYPE_RGBA_8, INTENT_RELATIVE_COLORIMETRIC,
                           cmsFLAGS_BLACKPOINTCOMPENSATION);
    int differs = 0;
    for (int i = 0; i < 4; ++i) {
        const Rgba naive = Patch(*plain, i), got = Patch(*ImageGetBitmap(100), i);
        // The plain reading is the light each inverted ink lets through: recover the inks.
        const int k = std::max({naive.r, naive.g, naive.b});
        const auto ink = [k](int v) {
            return uint8_t(255 - (k ? std::min(255, v * 255 / k) : 255));
        };
        const uint8_t amounts[4] = {ink(naive.r), ink(naive.g), ink(naive.b), uint8_t(255 - k)};
        Rgba want;
        cmsDoTransform(t, amounts, &want, 1);
        EXPECT_TRUE(Near(got, want, 6)) << i << ": " << got << " want " << want;
        differs += !Near(want, naive, 12);
    }
    EXPECT_GE(differs, 2);  // the profile matters for these colours
    cmsDeleteTransform(t);
    cmsCloseProfile(inks);
    cmsCloseProfile(srgb);
    s.icc = GreyProfile();
    ASSERT_NE(Load(fixtures::MakeJpeg(s), "grey_on_cmyk.jpg"), nullptr);
    EXPECT_TRUE(SameBits(*ImageGetBitmap(100), *plain));
}

}  // namespace
