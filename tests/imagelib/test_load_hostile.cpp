// Damaged and hostile files: every one fails cleanly, quickly and without touching the picture
// already held under the number. Also the decoder table's order and bookkeeping.
#include <zlib.h>

#include <climits>

#include "imagelib/exif.h"
#include "load_test_base.h"

using fixtures::Bytes;

namespace {

void PutBig32(Bytes& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8)
        b.push_back(static_cast<uint8_t>(v >> s));
}

// A PNG chunk with a correct CRC.
void Chunk(Bytes& b, const char* type, const Bytes& data) {
    PutBig32(b, static_cast<uint32_t>(data.size()));
    Bytes typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    b.insert(b.end(), typed.begin(), typed.end());
    PutBig32(b, static_cast<uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
}

Bytes PngHeader(uint32_t w, uint32_t h, uint8_t depth = 8, uint8_t type = 2) {
    Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr;
    PutBig32(ihdr, w);
    PutBig32(ihdr, h);
    ihdr.insert(ihdr.end(), {depth, type, 0, 0, 0});
    Chunk(b, "IHDR", ihdr);
    return b;
}

// A PNG of the given size whose image data is a few bytes of a zlib stream.
Bytes PngWithTinyData(uint32_t w, uint32_t h) {
    Bytes b = PngHeader(w, h), z(64, 0), raw(16, 0);
    uLongf zlen = z.size();
    compress(z.data(), &zlen, raw.data(), raw.size());
    z.resize(zlen);
    Chunk(b, "IDAT", z);
    Chunk(b, "IEND", {});
    return b;
}

// A PNG whose sPLT chunk claims nearly 2 GB: libpng would try to allocate it.
Bytes SpltBomb() {
    Bytes b = PngHeader(1, 1);
    PutBig32(b, 0x7FFFFFF0);
    b.insert(b.end(), {'s', 'P', 'L', 'T', 'p', 'a', 'l', 0, 8, 0, 0, 0, 0, 0, 0, 0});
    return b;
}

// A JPEG header that announces width x height, followed by a little scan data.
Bytes JpegOfSize(int width, int height) {
    fixtures::JpegDesc s;
    s.width = s.height = 16;
    Bytes j = fixtures::MakeJpeg(s);
    for (size_t i = 2; i + 9 < j.size(); ++i)
        if (j[i] == 0xFF && j[i + 1] == 0xC0) {  // SOF0: length, precision, height, width
            j[i + 5] = static_cast<uint8_t>(height >> 8), j[i + 6] = static_cast<uint8_t>(height);
            j[i + 7] = static_cast<uint8_t>(width >> 8), j[i + 8] = static_cast<uint8_t>(width);
            break;
        }
    return j;
}

Bytes BmpHeaderOnly(int32_t w, int32_t h, uint16_t bpp, uint32_t compression) {
    fixtures::BmpDesc s;
    s.width = s.height = 2;
    Bytes b = fixtures::MakeBmp(s);
    for (int i = 0; i < 4; ++i) {
        b[18 + i] = static_cast<uint8_t>(static_cast<uint32_t>(w) >> (8 * i));
        b[22 + i] = static_cast<uint8_t>(static_cast<uint32_t>(h) >> (8 * i));
        b[30 + i] = static_cast<uint8_t>(compression >> (8 * i));
    }
    b[28] = static_cast<uint8_t>(bpp);
    return b;
}

Bytes Cut(Bytes b, size_t keep) {
    b.resize(std::min(keep, b.size()));
    return b;
}

Bytes IcoWith(std::initializer_list<uint8_t> tail) {
    Bytes b = {0, 0, 1, 0};
    b.insert(b.end(), tail);
    return b;
}

const char kText[] = "Dies ist kein Bild, sondern eine Einkaufsliste.\n";

struct BadFile {
    const char* name;
    Bytes bytes;
};

std::vector<BadFile> BadFileTable() {
    Bytes ff = {0xFF, 0xD8}, bm = {'B', 'M'};
    for (int i = 0; i < 200; ++i)
        ff.push_back(static_cast<uint8_t>(i * 37)), bm.push_back(static_cast<uint8_t>(i * 91 + 3));
    fixtures::PngDesc png;
    Bytes goodPng = fixtures::MakePng(png);
    Bytes badCrc = goodPng;
    badCrc[29] ^= 0x55;  // IHDR CRC
    return {
        {"empty", {}},
        {"one_byte", {'B'}},
        {"text", Bytes(std::begin(kText), std::end(kText) - 1)},
        {"ff_d8_garbage", ff},
        {"bm_garbage", bm},
        {"bm_header_cut", Cut(fixtures::MakeBmp({}), 20)},
        {"bm_pixels_cut", Cut(fixtures::MakeBmp({}), 14 + 40 + 5)},
        {"bm_width_40000", BmpHeaderOnly(40000, 10, 24, 0)},
        {"bm_height_min_int", BmpHeaderOnly(10, INT32_MIN, 24, 0)},
        {"bm_30000_square_without_pixels", BmpHeaderOnly(30000, 30000, 24, 0)},
        {"bm_rle8_bomb", BmpHeaderOnly(32767, 32767, 8, 1)},
        {"bm_rle8_16000_square_tiny_data", BmpHeaderOnly(16000, 16000, 8, 1)},
        {"bm_rle_top_down", BmpHeaderOnly(4, -4, 8, 1)},
        {"bm_jpeg_inside", BmpHeaderOnly(4, 4, 24, 4)},
        {"bm_zero_width", BmpHeaderOnly(0, 4, 24, 0)},
        {"bm_bpp_7", BmpHeaderOnly(4, 4, 7, 0)},
        {"png_signature_only", Cut(goodPng, 8)},
        {"png_cut_in_header", Cut(goodPng, 20)},
        {"png_no_image_data", PngHeader(10, 10)},
        {"png_bad_header_crc", badCrc},
        {"png_width_100000", PngWithTinyData(100000, 1)},
        {"png_30000_square_tiny_data", PngWithTinyData(30000, 30000)},
        {"png_16000_square_tiny_data", PngWithTinyData(16000, 16000)},
        {"png_bad_colour_type", PngHeader(4, 4, 8, 5)},
        {"png_splt_bomb", SpltBomb()},
        {"jpeg_65500_square_header", JpegOfSize(65500, 65500)},
        {"jpeg_32000_square_header", JpegOfSize(32000, 32000)},
        {"jpeg_8000_square_tiny_data", JpegOfSize(8000, 8000)},
        {"jpeg_zero_width", JpegOfSize(0, 16)},
        {"jpeg_cut_in_header", Cut(fixtures::MakeJpeg({}), 100)},
        {"ico_no_entries", IcoWith({0, 0})},
        {"ico_entry_outside",
         IcoWith({1, 0, 16, 16, 0, 0, 1, 0, 32, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F})},
        {"ico_many_entries_cut", IcoWith({0xFF, 0xFF, 16, 16, 0, 0})},
    };
}

class BadFiles : public LoadTest, public ::testing::WithParamInterface<BadFile> {};

TEST_P(BadFiles, FailAndKeepThePreviousPicture) {
    fixtures::BmpDesc previous;
    raster::Bitmap* before = Load(fixtures::MakeBmp(previous), "previous.bmp");
    ASSERT_NE(before, nullptr);
    EXPECT_EQ(Load(GetParam().bytes, std::string(GetParam().name) + ".bin"), nullptr);
    EXPECT_EQ(ImageGetBitmap(100), before);
    EXPECT_EQ(ImageGetWidth(100), previous.width);
    EXPECT_EQ(ImageGetHeight(100), previous.height);
    // The in-memory path refuses it as well.
    EXPECT_EQ(ImageDecodeMemory(GetParam().bytes.data(), GetParam().bytes.size()), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Hostile, BadFiles, ::testing::ValuesIn(BadFileTable()),
                         [](const auto& info) { return std::string(info.param.name); });

using Registry = LoadTest;

TEST_F(Registry, MissingFilesAndPicturesOverTheLimitsFail) {
    for (const char* path : {"/nonexistent/kadrovo.jpg", "/tmp", static_cast<const char*>(nullptr)})
        EXPECT_EQ(ImageLoadFile(100, path), nullptr);
    // 1200 pixels against a limit of 1000, refused before decoding in every format.
    fixtures::PngDesc png;
    fixtures::JpegDesc jpeg;
    fixtures::BmpDesc bmp;
    png.width = jpeg.width = bmp.width = 40;
    png.height = jpeg.height = bmp.height = 30;
    LoadLimits small;
    small.maxPixels = 1000;
    ImageSetLoadLimits(small);
    const Bytes files[] = {fixtures::MakePng(png), fixtures::MakeJpeg(jpeg),
                           fixtures::MakeBmp(bmp)};
    for (const Bytes& f : files)
        EXPECT_EQ(Load(f, "limit.bin"), nullptr);
    ImageSetLoadLimits(LoadLimits{});
    for (const Bytes& f : files)
        EXPECT_NE(Load(f, "limit.bin"), nullptr);
}

// A probe whose decode never runs is released by the next probe or by the reset (the sanitizer
// build sees a leak otherwise); decoding without a current decoder gives nothing.
TEST_F(Registry, ProbesAreReleased) {
    const std::string jpeg = fixtures::WriteTemp("probe.jpg", fixtures::MakeJpeg({}));
    const std::string png = fixtures::WriteTemp("probe.png", fixtures::MakePng({}));
    EXPECT_EQ(ImageFindDecoder(png.c_str()), DECODE_24BIT);
    EXPECT_EQ(ImageFindDecoder(jpeg.c_str()), DECODE_24BIT);
    ImageResetDecoders();
    EXPECT_EQ(ImageDecodeBitmap(DECODE_24BIT), nullptr);
    EXPECT_EQ(ImageFindDecoder(jpeg.c_str()), 0);  // no decoders registered
    RegisterJpegDecoder();
    RegisterPngDecoder();
}

// The bomb rule for JPEG files (more pixels than a complete file of that size could describe)
// must not refuse a real picture that compresses as well as JPEG allows: uniform grey,
// progressive, with optimised tables.
TEST_F(Registry, LargeUniformJpegIsNoBomb) {
    fixtures::JpegDesc s;
    s.width = 4096;
    s.height = 4096;
    s.kind = fixtures::JpegKind::Grey;
    s.progressive = true;
    s.optimize = true;
    s.quality = 50;
    s.colour = [](int, int) { return fixtures::Rgba{77, 77, 77, 255}; };
    fixtures::Bytes j = fixtures::MakeJpeg(s);
    ASSERT_LT(j.size(), 100000u);  // far smaller than 1 byte per 170 pixels
    raster::Bitmap* bm = Load(j, "uniform.jpg");
    ASSERT_NE(bm, nullptr);
    EXPECT_NEAR(raster::GetPixel(*bm, 4000, 4000) & 0xFF, 77, 2);
}

// EXIF parsing on its own: both byte orders, and offsets that point anywhere.
TEST(Exif, OrientationIsBoundsChecked) {
    const Bytes little = {'I',  'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12,
                          0x01, 3,   0,  1, 0, 0, 0, 6, 0, 0, 0};
    const Bytes big = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 8, 0, 0};
    EXPECT_EQ(ExifOrientationFromTiff(little.data(), little.size()), 6);
    EXPECT_EQ(ExifOrientationFromTiff(big.data(), big.size()), 8);
    for (size_t keep = 0; keep < little.size() - 2; ++keep)
        EXPECT_EQ(ExifOrientationFromTiff(little.data(), keep), 1) << keep;
    // Byte to change, its new value, and the orientation then found.
    const struct {
        size_t at;
        uint8_t value;
        int orientation;
    } edits[] = {
        {7, 0x7F, 1},  // IFD offset far outside
        {9, 0xFF, 6},  // 65281 entries announced, one present
        {18, 9, 1},    // no such orientation
        {12, 5, 1},    // a fraction (RATIONAL), not an integer
        {14, 2, 1},    // two values
    };
    for (const auto& e : edits) {
        Bytes b = little;
        b[e.at] = e.value;
        EXPECT_EQ(ExifOrientationFromTiff(b.data(), b.size()), e.orientation) << e.at;
    }
    const Bytes lying = {0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xFF, 'E', 'x', 'i', 'f', 0, 0};
    EXPECT_EQ(ExifOrientationFromJpeg(lying.data(), lying.size()), 1);
}

}  // namespace
