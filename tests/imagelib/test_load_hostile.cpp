// Damaged and hostile files: every one fails cleanly, quickly, with its reason and without
// touching the picture already held under the number.
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "load_test_base.h"

using fixtures::Bytes;

namespace {

using fixtures::BmpSaying, fixtures::Joined;

// A big-endian field of `size` bytes.
Bytes Big(uint32_t v, int size) {
    Bytes b;
    fixtures::Put(b, v, size, true);
    return b;
}

// `file` with `value` written `skip` bytes past the start of every `marker` in it.
Bytes Patched(Bytes file, const Bytes& marker, size_t skip, const Bytes& value) {
    for (auto at = file.begin();
         (at = std::search(at, file.end(), marker.begin(), marker.end())) != file.end(); ++at)
        std::copy(value.begin(), value.end(), at + static_cast<long>(skip));
    return file;
}

// A PNG chunk from its type and body: the length before, the CRC after.
Bytes PngChunk(const Bytes& typed) {
    const uLong crc = crc32(0, typed.data(), static_cast<uInt>(typed.size()));
    return Joined({Big(typed.size() - 4, 4), typed, Big(crc, 4)});
}

// A generated 4 x 4 PNG whose header says width x height and colour `type`; with `tinyData`
// the image data stays, else the file ends after the header.
Bytes PngSaying(uint32_t w, uint32_t h, bool tinyData = true, uint8_t type = 2) {
    const Bytes png = fixtures::MakePng({.width = 4, .height = 4});
    const Bytes ihdr =
        PngChunk(Joined({{'I', 'H', 'D', 'R'}, Big(w, 4), Big(h, 4), {8, type, 0, 0, 0}}));
    return Joined({Bytes(png.begin(), png.begin() + 8), ihdr,
                   tinyData ? Bytes(png.begin() + 33, png.end()) : Bytes{}});
}

// A PNG whose sPLT chunk claims nearly 2 GB: libpng would try to allocate it.
Bytes SpltBomb() {
    return Joined({PngSaying(1, 1, false),
                   Big(0x7FFFFFF0, 4),
                   {'s', 'P', 'L', 'T', 'p', 'a', 'l', 0, 8, 0, 0, 0, 0, 0, 0, 0}});
}

// A JPEG whose frame header (SOF0: length, precision, height, width) announces width x height,
// followed by a little scan data.
Bytes JpegOfSize(int width, int height) {
    return Patched(fixtures::MakeJpeg({.width = 16, .height = 16}), {0xFF, 0xC0}, 5,
                   Joined({Big(height, 2), Big(width, 2)}));
}

Bytes Cut(Bytes b, size_t keep) {
    b.resize(std::min(keep, b.size()));
    return b;
}

// The file with `part` put in at `at` (after a PNG's IHDR chunk at 33, a JPEG's SOI at 2).
Bytes Inserted(Bytes file, size_t at, const Bytes& part) {
    file.insert(file.begin() + static_cast<long>(at), part.begin(), part.end());
    return file;
}

// A 4 x 3 BMP written by ImageMagick.
Bytes Bmp() {
    return fixtures::Convert(4, 3, fixtures::Gradient, "");
}

// A lossless WebP header announcing 16383 x 16383 pixels (14-bit sides less one, no alpha), and
// a few bytes of data.
Bytes WebpOfSize16383() {
    return fixtures::WebpFile(
        {fixtures::RiffChunk("VP8L", Joined({{0x2F, 0xFE, 0xBF, 0xFF, 0x0F}, Bytes(13, 0x55)}))});
}

// Pixels per byte are judged by the coded image data alone: padding in an unknown chunk does not
// make a 2100 x 2100 picture from a few hundred bytes plausible.
const fixtures::Bytes kPadding(1000, 0x5A);

Bytes FlatWebp(int side) {
    const fixtures::Pattern flat = [](int, int) { return fixtures::Rgba{64, 64, 128, 255}; };
    return fixtures::MakeWebp({.width = side, .height = side, .lossless = true, .colour = flat});
}

// An animation on a 2100 x 2100 canvas whose one frame is a single pixel, padded.
Bytes PaddedAnimation() {
    const Bytes pixel = FlatWebp(1);
    const Bytes vp8x = {0x02, 0, 0, 0, 0x33, 0x08, 0, 0x33, 0x08, 0};  // animation; 2099 twice
    const Bytes anim = {0, 0, 0, 0, 0, 0};                             // background, loop count
    Bytes frame = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 100, 0, 0, 0};  // at 0,0, 1 x 1, 100 ms
    frame.insert(frame.end(), pixel.begin() + 12, pixel.end());
    return fixtures::WebpFile({fixtures::RiffChunk("VP8X", vp8x), fixtures::RiffChunk("ANIM", anim),
                               fixtures::RiffChunk("ANMF", frame),
                               fixtures::RiffChunk("PADD", kPadding)});
}

// A HEIC whose ispe box announces width x height for its 32 x 24 coded picture.
Bytes HeicOfSize(uint32_t width, uint32_t height) {
    return Patched(fixtures::MakeHeif({}), {'i', 's', 'p', 'e'}, 8,
                   Joined({Big(width, 4), Big(height, 4)}));
}

// The same behind a free box of 40000 bytes: the picture's 256 megapixels would be plausible for
// the file, but not for its few hundred bytes of coded data.
Bytes PaddedHeic() {
    return Joined(
        {HeicOfSize(16000, 16000), Big(40000, 4), {'f', 'r', 'e', 'e'}, Bytes(40000 - 8, 0x5A)});
}

Bytes IcoWith(std::initializer_list<uint8_t> tail) {
    return Joined({{0, 0, 1, 0}, Bytes(tail)});
}

const char kText[] = "Dies ist kein Bild, sondern eine Einkaufsliste.\n";

// Where the image data of a generated file starts: just past an SOS or IDAT header.
size_t DataStart(const Bytes& b, bool jpeg) {
    for (size_t i = 0; i + 4 < b.size(); ++i) {
        if (jpeg && b[i] == 0xFF && b[i + 1] == 0xDA) return i + 2 + (b[i + 2] << 8 | b[i + 3]);
        if (!jpeg && std::equal(b.begin() + i, b.begin() + i + 4, "IDAT")) return i + 4 + 2;
    }
    return b.size();
}

struct BadFile {
    const char* name;
    Bytes bytes;
    LoadError why;
};

std::vector<BadFile> BadFileTable() {
    using E = LoadError;
    Bytes ff = {0xFF, 0xD8}, bm = {'B', 'M'};
    for (int i = 0; i < 200; ++i)
        ff.push_back(static_cast<uint8_t>(i * 37)), bm.push_back(static_cast<uint8_t>(i * 91 + 3));
    Bytes goodPng = fixtures::MakePng({});
    Bytes badCrc = goodPng;
    badCrc[29] ^= 0x55;  // IHDR CRC
    Bytes goodJpeg = fixtures::MakeJpeg({}),
          goodProgressive = fixtures::MakeJpeg({.progressive = true});
    const Bytes heic = fixtures::MakeHeif({}), webp = fixtures::MakeWebp({});
    return {
        {"empty", {}, E::NotAPicture},
        {"one_byte", {'B'}, E::NotAPicture},
        {"text", Bytes(std::begin(kText), std::end(kText) - 1), E::NotAPicture},
        {"ff_d8_garbage", ff, E::Damaged},
        {"bm_garbage", bm, E::TooLarge},
        {"bm_header_cut", Cut(Bmp(), 20), E::Damaged},
        {"bm_pixels_cut", Cut(Bmp(), 14 + 40 + 5), E::Damaged},
        {"bm_width_40000", BmpSaying(40000, 10, 24), E::TooLarge},
        {"bm_height_min_int", BmpSaying(10, INT32_MIN, 24), E::TooLarge},
        {"bm_30000_square_without_pixels", BmpSaying(30000, 30000, 24), E::TooLarge},
        {"bm_rle8_bomb", BmpSaying(32767, 32767, 8, 1), E::TooLarge},
        {"bm_rle8_16000_square_tiny_data", BmpSaying(16000, 16000, 8, 1), E::Damaged},
        {"bm_rle_top_down", BmpSaying(4, -4, 8, 1), E::Damaged},
        {"bm_jpeg_inside", BmpSaying(4, 4, 24, 4), E::Damaged},
        {"bm_zero_width", BmpSaying(0, 4, 24), E::Damaged},
        {"bm_bpp_7", BmpSaying(4, 4, 7, 0), E::Damaged},
        {"bm_then_png", Joined({{'B', 'M'}, goodPng}), E::TooLarge},  // never offered to PNG
        {"png_signature_only", Cut(goodPng, 8), E::Damaged},
        {"png_cut_in_header", Cut(goodPng, 20), E::Damaged},
        {"png_cut_at_image_data", Cut(goodPng, DataStart(goodPng, false)), E::Damaged},
        {"png_no_image_data", PngSaying(10, 10, false), E::Damaged},
        {"png_bad_header_crc", badCrc, E::Damaged},
        {"png_width_100000", PngSaying(100000, 1), E::TooLarge},
        {"png_30000_square_tiny_data", PngSaying(30000, 30000), E::TooLarge},
        {"png_16000_square_tiny_data", PngSaying(16000, 16000), E::Damaged},
        {"png_bad_colour_type", PngSaying(4, 4, true, 5), E::Damaged},
        {"png_splt_bomb", SpltBomb(), E::Damaged},
        {"jpeg_65500_square_header", JpegOfSize(65500, 65500), E::TooLarge},
        {"jpeg_32000_square_header", JpegOfSize(32000, 32000), E::TooLarge},
        {"jpeg_8000_square_tiny_data", JpegOfSize(8000, 8000), E::Damaged},
        {"jpeg_zero_width", JpegOfSize(0, 16), E::Damaged},
        {"jpeg_cut_in_header", Cut(goodJpeg, 100), E::Damaged},
        {"jpeg_cut_at_image_data", Cut(goodJpeg, DataStart(goodJpeg, true)), E::Damaged},
        {"jpeg_progressive_cut_in_first_scan",
         Cut(goodProgressive, DataStart(goodProgressive, true) + 4), E::Damaged},
        {"heic_ftyp_only", Cut(heic, 32), E::Damaged},
        {"heic_40000_wide", HeicOfSize(40000, 24), E::TooLarge},
        {"heic_16000_square_tiny_data", HeicOfSize(16000, 16000), E::Damaged},
        {"heic_16000_square_padded", PaddedHeic(), E::Damaged},
        {"heic_decodes_larger_than_announced", HeicOfSize(16, 12), E::Damaged},
        {"heic_grid_over_the_side_limit",
         fixtures::MakeHeifBoxes({.gridWidth = 40000, .gridHeight = 40000}), E::TooLarge},
        {"heic_grid_larger_than_its_ispe",
         fixtures::MakeHeifBoxes({.gridWidth = 20000, .gridHeight = 20000}), E::TooLarge},
        {"iso_video_brands",
         fixtures::MakeHeifBoxes({.major = "isom", .compatible = {"isom", "mp41"}}),
         E::NotAPicture},
        {"webp_cut_in_header", Cut(webp, 20), E::Damaged},
        {"webp_16383_square_tiny_data", WebpOfSize16383(), E::Damaged},
        {"webp_2100_square_padded",
         fixtures::WebpExtended(FlatWebp(2100), 2100, 2100, {}, {{"PADD", kPadding}}), E::Damaged},
        {"webp_animation_canvas_padded", PaddedAnimation(), E::Damaged},
        {"ico_no_entries", IcoWith({0, 0}), E::NotAPicture},
        {"ico_entry_outside",
         IcoWith({1, 0, 16, 16, 0, 0, 1, 0, 32, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F}),
         E::NotAPicture},
        {"ico_many_entries_cut", IcoWith({0xFF, 0xFF, 16, 16, 0, 0}), E::NotAPicture},
    };
}

class BadFiles : public LoadTest, public ::testing::WithParamInterface<BadFile> {};

TEST_P(BadFiles, FailWithTheirReasonAndKeepThePreviousPicture) {
    raster::Bitmap* before = Load(Bmp(), "previous.bmp");
    ASSERT_NE(before, nullptr);
    const std::string path =
        fixtures::WriteTemp(std::string(GetParam().name) + ".bin", GetParam().bytes);
    ::testing::internal::CaptureStderr();
    const LoadResult result = ImageLoadFile(100, path.c_str());
    // The window or the batch reports the refusal in its own words; no library speaks.
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(result.bitmap, nullptr);
    EXPECT_EQ(result.error, GetParam().why);
    EXPECT_EQ(ImageGetBitmap(100), before);
    EXPECT_EQ(ImageGetWidth(100) * 10 + ImageGetHeight(100), 43);
    // The in-memory path refuses it as well.
    EXPECT_EQ(ImageDecodeMemory(GetParam().bytes), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Hostile, BadFiles, ::testing::ValuesIn(BadFileTable()),
                         [](const auto& info) { return std::string(info.param.name); });

using Registry = LoadTest;

TEST_F(Registry, MissingFilesAndPicturesOverTheLimitsFail) {
    const std::pair<const char*, LoadError> unreadable[] = {
        {"/nonexistent/kadrovo.jpg", LoadError::Unreadable},
        {"/dev/null", LoadError::Unreadable},
        {"/tmp", LoadError::Folder},
        {nullptr, LoadError::Unreadable}};
    for (const auto& [path, why] : unreadable)
        EXPECT_EQ(ImageLoadFile(100, path).error, why) << (path ? path : "null");
    EXPECT_FALSE(ImageExists(100));
    // 1200 pixels against a limit of 1000, refused before decoding in every format.
    const Bytes files[] = {fixtures::MakePng({.width = 40, .height = 30}),
                           fixtures::MakeJpeg({.width = 40, .height = 30}),
                           fixtures::Convert(40, 30, fixtures::Gradient, ""),
                           fixtures::MakeHeif({.width = 40, .height = 30}),
                           fixtures::MakeWebp({.width = 40, .height = 30})};
    ImageSetLoadLimits({.maxPixels = 1000});
    for (const Bytes& f : files)
        EXPECT_EQ(ImageLoadFile(100, fixtures::WriteTemp("limit.bin", f).c_str()).error,
                  LoadError::TooLarge);
    ImageSetLoadLimits(LoadLimits{});
    for (const Bytes& f : files)
        EXPECT_NE(Load(f, "limit.bin"), nullptr);
}

// The same pictures without padding load; a PNG or JPEG whose image data cannot hold its rows is
// refused by its probe however much text surrounds that data.
TEST_F(Registry, PaddingCountsForNothing) {
    Bytes webp = fixtures::WebpExtended(FlatWebp(2000), 2000, 2000, {}, {{"PADD", kPadding}});
    EXPECT_NE(Load(webp, "flat.webp"), nullptr);
    Bytes text = {'t', 'E', 'X', 't', 'C', 'o', 'm', 'm', 'e', 'n', 't', 0};
    text.resize(200000, 'x');
    const Bytes png = Inserted(PngSaying(8000, 8000), 33, PngChunk(text));
    // A JPEG of 8000 x 8000 pixels from a few hundred bytes of picture, padded with comments.
    const Bytes comment = Joined({{0xFF, 0xFE, 0xFF, 0xFF}, Bytes(0xFFFD, 'k')});
    const Bytes jpeg = Inserted(JpegOfSize(8000, 8000), 2, Joined({comment, comment}));
    for (const auto& [name, file] : {std::pair{"padded.png", png}, std::pair{"padded.jpg", jpeg}}) {
        const FoundDecoder found = ImageFindDecoder(fixtures::WriteTemp(name, file).c_str());
        EXPECT_EQ(found.decoder, nullptr) << name;
        EXPECT_EQ(found.error, LoadError::Damaged) << name;
    }
}

// Damage in an ancillary chunk only costs that chunk: the picture loads, and libpng's warning
// ("zTXt: ...") stays off standard error.
TEST_F(Registry, DamagedTextChunkLoadsSilently) {
    const Bytes png = Inserted(fixtures::MakePng({}), 33,
                               PngChunk({'z', 'T', 'X', 't', 'k', 0, 0, 0x78, 0x9C, 1, 2}));
    ::testing::internal::CaptureStderr();
    EXPECT_NE(Load(png, "ztxt.png"), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
