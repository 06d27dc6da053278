// Pictures through the real clipboard (the offscreen platform keeps one in the process): what we
// offer, packed DIBs, PNG, JPEG and copied files coming in, and data whose header lies.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imagelib/byte_order.h"
#include "imagelib/clipboard.h"
#include "imagelib/image.h"
#include "imagelib/jpeg_encoder.h"
#include "imagelib/library_start.h"
#include "imagelib/load.h"
#include "load_fixtures.h"
#include "platform/clipboard.h"
#include "platform/display.h"
#include "platform/raster.h"
#include "toolkit/window.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A packed DIB (40-byte header) of one pixel, its header saying what the arguments say.
Bytes Dib(int32_t w, int32_t h, int bpp = 24, uint32_t compression = 0, uint32_t colours = 0) {
    const Bytes file = fixtures::BmpSaying(w, h, bpp, compression, 4, colours);
    return Bytes(file.begin() + 14, file.end());
}

// The BMP file of that pixel with its pixels at `offBits`.
Bytes FileWithPixelsAt(uint32_t offBits) {
    Bytes f = fixtures::BmpSaying(1, 1, 24, 0, 4);
    Put32(&f.at(10), offBits);
    return f;
}

class ClipboardTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(ToolkitInit());
        ImageLibraryStart();
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
        EXPECT_EQ(std::pair(ImageGetWidth(100), ImageGetHeight(100)), std::pair(expectW, expectH));
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

// A packed DIB finds its pixels after the bit-field masks and the colour table, and gives the
// picture its file would give. Transparent PNG pixels lie on white as when loaded.
TEST_F(ClipboardTest, PackedDibsAndPngsGiveThePicturesOfTheirFiles) {
    // ImageMagick leaves out the masks of a 40-byte header with bit fields: they are put in.
    Bytes masked = fixtures::Convert(4, 3, fixtures::Gradient, "-define bmp:subtype=RGB565");
    ASSERT_EQ(masked.at(30), 3);
    masked.insert(masked.begin() + 54, {0, 0xF8, 0, 0, 0xE0, 7, 0, 0, 0x1F, 0, 0, 0});
    masked[10] += 12;
    const auto colours = [](int x, int y) {
        const int i = (x * 3 + y) % 20;
        return fixtures::Rgba{uint8_t(i * 12), uint8_t(200 - i), 77, 255};
    };
    Bytes topDown = fixtures::Convert(4, 3, fixtures::Gradient, "-flip");
    topDown[22] = uint8_t(-3), topDown[23] = topDown[24] = topDown[25] = 0xFF;
    const fixtures::Pattern seeThrough = [](int x, int y) {
        return fixtures::Rgba{200, 30, 90, uint8_t(x * 60 + y)};
    };
    const std::pair<std::string, Bytes> files[] = {
        {"image/bmp", masked},
        {"image/bmp", fixtures::Convert(5, 4, colours, "-type Palette")},
        {"image/bmp", topDown},
        {"image/png", fixtures::MakePng({.colourType = 6, .colour = seeThrough})}};
    for (const auto& [mime, file] : files) {
        const auto loaded = ImageDecodeMemory(file);
        ASSERT_TRUE(loaded);
        // The clipboard's bitmap offer is the file without its 14-byte file header.
        Offer(mime, mime == "image/bmp" ? Bytes(file.begin() + 14, file.end()) : file);
        const raster::Bitmap* pasted = ImageFromClipboard(100);
        ASSERT_TRUE(pasted);
        EXPECT_EQ(ImageGetFlags(100), IMAGE_SCREEN_BITMAP);
        for (int y = 0; y < loaded->height; ++y)
            for (int x = 0; x < loaded->width; ++x)
                ASSERT_EQ(raster::GetPixel(*pasted, x, y), raster::GetPixel(*loaded, x, y)) << mime;
    }
}

// Headers that only a packed DIB can have wrong, and offers that are no picture (the hostile-file
// table holds the damaged headers a file shares with them).
TEST_F(ClipboardTest, LyingHeadersTextAndGarbageKeepTheImage) {
    auto headerSaying = [&](uint32_t size) {
        Bytes b = Dib(1, 1);
        Put32(&b.at(0), size);
        return b;
    };
    struct Case {
        const char* name;
        Bytes data;
        const char* mime = "image/bmp";
    };
    const Case cases[] = {
        {"empty", {}},
        {"header size larger than the data", headerSaying(124)},
        {"unknown header size", headerSaying(41)},
        {"rows shorter than width x height", Dib(100, 100)},
        {"colour table past the end", Dib(1, 1, 8, 0, 256)},
        {"bit fields without masks", Dib(1, 1, 32, 3)},
        {"pixel offset past the end of the file", FileWithPixelsAt(5000)},
        {"pixel offset inside the header", FileWithPixelsAt(20)},
        {"text", {'h', 'e', 'l', 'l', 'o'}, "text/plain"},
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
    const fixtures::Pattern red = [](int, int) { return fixtures::Rgba{255, 0, 0, 255}; };
    const Bytes jpegBytes = fixtures::MakeJpeg({.width = 16, .height = 16, .colour = red});
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
