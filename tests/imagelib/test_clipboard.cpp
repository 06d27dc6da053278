// Pictures through the real clipboard (the offscreen platform keeps one in the process): the
// packed DIB we offer, every format we accept, and data whose header lies.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imagelib/clipboard.h"
#include "imagelib/image.h"
#include "imagelib/jpeg_encoder.h"
#include "imagelib/load.h"
#include "load_fixtures.h"
#include "platform/clipboard.h"
#include "platform/display.h"
#include "platform/raster.h"
#include "toolkit/window.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Stores `v` little-endian in `size` bytes at `at`.
void Put32(Bytes& b, size_t at, uint32_t v, int size = 4) {
    for (int i = 0; i < size; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A packed DIB with a 40-byte header: `extra` (masks, colour table) then the rows as given.
Bytes Dib(int32_t w, int32_t h, int bpp, uint32_t compression, uint32_t clrUsed, const Bytes& extra,
          const Bytes& rows) {
    Bytes b(40);
    Put32(b, 0, 40);
    Put32(b, 4, static_cast<uint32_t>(w));
    Put32(b, 8, static_cast<uint32_t>(h));
    Put32(b, 12, 1, 2);
    Put32(b, 14, bpp, 2);
    Put32(b, 16, compression);
    Put32(b, 20, static_cast<uint32_t>(rows.size()));
    Put32(b, 32, clrUsed);
    b.insert(b.end(), extra.begin(), extra.end());
    b.insert(b.end(), rows.begin(), rows.end());
    return b;
}

Bytes AsFile(const Bytes& dib, uint32_t offBits) {
    Bytes f = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Put32(f, 2, static_cast<uint32_t>(14 + dib.size()));
    Put32(f, 10, offBits);
    f.insert(f.end(), dib.begin(), dib.end());
    return f;
}

Bytes Masks(uint32_t r, uint32_t g, uint32_t b) {
    Bytes m(12);
    Put32(m, 0, r);
    Put32(m, 4, g);
    Put32(m, 8, b);
    return m;
}

class ClipboardTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(ToolkitInit());
        ImageInit();
        ImageResetDecoders();
        RegisterJpegDecoder();
        RegisterPngDecoder();
        RegisterJpegEncoder();
    }
    void SetUp() override {
        // A picture to lose: every failure must keep it.
        ASSERT_TRUE(ImageNew(100, 7, 5));
        kept = ImageGetBitmap(100);
    }
    void TearDown() override { ImageReleaseAll(); }

    static void Offer(const std::string& mime, const Bytes& data) {
        ASSERT_TRUE(ClipboardSet({{mime, data}}));
    }
    // Takes the clipboard's picture into image 100 and returns its top row, left to right.
    static std::vector<uint32_t> Paste(int expectW, int expectH) {
        raster::Bitmap* bm = ImageFromClipboard(100);
        EXPECT_TRUE(bm);
        if (!bm) return {};
        EXPECT_EQ(ImageGetWidth(100), expectW);
        EXPECT_EQ(ImageGetHeight(100), expectH);
        EXPECT_EQ(ImageGetFlags(100), IMAGE_SCREEN_BITMAP);
        EXPECT_EQ(ImageGetDepth(100), DisplayBitmapBpp());
        std::vector<uint32_t> row;
        for (int x = 0; x < expectW; ++x)
            row.push_back(raster::GetPixel(*bm, x, 0));
        return row;
    }
    void ExpectKept() {
        EXPECT_EQ(ImageGetBitmap(100), kept);
        EXPECT_EQ(ImageGetWidth(100), 7);
    }
    raster::Bitmap* kept = nullptr;
};

constexpr uint32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kWhite = 0xFFFFFF;

// --- going out -----------------------------------------------------------------------------------

TEST_F(ClipboardTest, RoundTripOffersBmpAndPng) {
    for (int bpp : {24, 32}) {
        SCOPED_TRACE(bpp);
        auto bm = raster::Create(5, 3, bpp, bpp == 32, false);
        ASSERT_TRUE(bm);
        raster::FillRect(*bm, 0, 0, 5, 3, 0x336699);
        raster::SetPixel(*bm, 0, 0, kRed);
        raster::SetPixel(*bm, 4, 0, kGreen);
        ASSERT_TRUE(ImageAdopt(5, std::move(bm), 0));
        ASSERT_NE(ImageToClipboard(5), 0);
        const std::vector<std::string> formats = ClipboardFormats();
        EXPECT_EQ(ClipboardGet("image/bmp").size(), 14u + 40 + 16 * 3);  // a BMP file
        // Each offer on its own gives the same picture back.
        for (const char* mime : {"image/bmp", "image/png"}) {
            SCOPED_TRACE(mime);
            EXPECT_NE(std::find(formats.begin(), formats.end(), mime), formats.end());
            Offer(mime, ClipboardGet(mime));
            EXPECT_EQ(Paste(5, 3),
                      (std::vector<uint32_t>{kRed, 0x336699, 0x336699, 0x336699, kGreen}));
            EXPECT_EQ(raster::GetPixel(*ImageGetBitmap(100), 2, 2), 0x336699u);
            ASSERT_NE(ImageToClipboard(5), 0);
        }
    }
    // Nothing to copy leaves the clipboard alone.
    Offer("text/plain", {'h', 'i'});
    EXPECT_EQ(ImageToClipboard(55), 0);
    EXPECT_EQ(ClipboardGet("text/plain"), (Bytes{'h', 'i'}));
}

// --- coming in -----------------------------------------------------------------------------------

TEST_F(ClipboardTest, DibVariantsAreDecoded) {
    struct Case {
        const char* name;
        Bytes data;
        int w, h;
        std::vector<uint32_t> topRow;
    };
    const Bytes palette = {0, 0, 255, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0};
    const Case cases[] = {
        // 24 bits, bottom-up: the second stored row is the top one.
        {"24-bit bottom-up", Dib(1, 2, 24, 0, 0, {}, {255, 0, 0, 0, 0, 0, 255, 0}), 1, 2, {kRed}},
        // A negative height stores the top row first.
        {"24-bit top-down", Dib(1, -2, 24, 0, 0, {}, {0, 0, 255, 0, 255, 0, 0, 0}), 1, 2, {kRed}},
        {"8-bit table", Dib(3, 1, 8, 0, 4, palette, {1, 2, 3, 0}), 3, 1, {kBlue, kGreen, kWhite}},
        // Bit-field masks follow the 40-byte header; the pixels start after them.
        {"16-bit 5-6-5 bit fields",
         Dib(2, 1, 16, 3, 0, Masks(0xF800, 0x07E0, 0x001F), {0x00, 0xF8, 0xE0, 0x07}),
         2,
         1,
         {kRed, kGreen}},
        {"BMP file", AsFile(Dib(1, 1, 24, 0, 0, {}, {0, 255, 0, 0}), 54), 1, 1, {kGreen}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Offer("image/bmp", c.data);
        EXPECT_EQ(Paste(c.w, c.h), c.topRow);
    }
}

TEST_F(ClipboardTest, TransparentPngLiesOnWhite) {
    fixtures::PngDesc desc;
    desc.width = 4;
    desc.height = 1;
    desc.colourType = 6;
    const fixtures::Rgba colours[4] = {
        {255, 0, 0, 255}, {0, 0, 0, 0}, {0, 0, 255, 128}, {9, 9, 9, 0}};
    desc.colour = [&](int x, int) { return colours[x]; };
    Offer("image/png", fixtures::MakePng(desc));
    // Opaque red stays, transparent becomes white, half-transparent blue turns light blue.
    EXPECT_EQ(Paste(4, 1), (std::vector<uint32_t>{kRed, kWhite, 0xFF7F7F, kWhite}));
}

TEST_F(ClipboardTest, LyingHeadersTextAndGarbageKeepTheImage) {
    const Bytes row = {0, 0, 255, 0};
    auto headerSaying = [&](uint32_t size) {
        Bytes b = Dib(1, 1, 24, 0, 0, {}, row);
        Put32(b, 0, size);
        return b;
    };
    struct Case {
        const char* name;
        Bytes data;
        const char* mime = "image/bmp";
    };
    const Case cases[] = {
        {"empty", {}},
        {"header only half there", Bytes(20, 0)},
        {"header size larger than the data", headerSaying(124)},
        {"unknown header size", headerSaying(41)},
        {"rows shorter than width x height", Dib(100, 100, 24, 0, 0, {}, row)},
        {"negative width", Dib(-1, 1, 24, 0, 0, {}, row)},
        {"most negative height", Dib(1, INT32_MIN, 24, 0, 0, {}, row)},
        {"colour table past the end", Dib(1, 1, 8, 0, 256, Bytes(16, 0), row)},
        {"bit fields without masks", Dib(1, 1, 32, 3, 0, {}, row)},
        {"pixel offset past the end of the file", AsFile(Dib(1, 1, 24, 0, 0, {}, row), 5000)},
        {"pixel offset inside the header", AsFile(Dib(1, 1, 24, 0, 0, {}, row), 20)},
        {"BMP file cut", {'B', 'M', 1, 2, 3}},
        {"text", {'h', 'e', 'l', 'l', 'o'}, "text/plain"},
        {"PNG cut", {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0}, "image/png"},
        {"JPEG cut", {0xFF, 0xD8, 0xFF, 0xE0, 0, 0}, "image/jpeg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Offer(c.mime, c.data);
        EXPECT_EQ(ImageFromClipboard(100), nullptr);
        ExpectKept();
    }
    ASSERT_TRUE(ClipboardSet({}));
    EXPECT_EQ(ImageFromClipboard(100), nullptr);
    ExpectKept();
}

TEST_F(ClipboardTest, JpegAndCopiedFilesAreAccepted) {
    fixtures::JpegDesc red;
    red.width = red.height = 16;
    red.colour = [](int, int) { return fixtures::Rgba{255, 0, 0, 255}; };
    const Bytes jpegBytes = fixtures::MakeJpeg(red);
    const std::string jpeg = fixtures::WriteTemp("a picture.jpg", jpegBytes);
    const std::string base = jpeg.substr(0, jpeg.rfind('/'));
    // The picture itself, and a copied file: a comment, then the name with an escaped space.
    const std::string list = "# copied\r\nfile://" + base + "/a%20picture.jpg\r\n";
    for (const char* mime : {"image/jpeg", "text/uri-list"}) {
        Offer(mime, mime[0] == 'i' ? jpegBytes : Bytes(list.begin(), list.end()));
        auto row = Paste(16, 16);
        ASSERT_FALSE(row.empty()) << mime;
        EXPECT_GT(row[0] & 0xFF, 240u);
        EXPECT_LT(row[0] >> 8 & 0xFF, 16u);
    }
    ASSERT_TRUE(ImageNew(100, 7, 5));
    kept = ImageGetBitmap(100);
    const std::string refused[] = {"file://" + jpeg + "\r\nfile://" + jpeg + "\r\n",  // two files
                                   "file://" + base + "/missing.jpg", "http://example.org/x.jpg",
                                   "file://" + base, "file://" + base + "/%zz.jpg"};
    for (const std::string& list : refused) {
        Offer("text/uri-list", Bytes(list.begin(), list.end()));
        EXPECT_EQ(ImageFromClipboard(100), nullptr) << list;
        ExpectKept();
    }
}

}  // namespace
