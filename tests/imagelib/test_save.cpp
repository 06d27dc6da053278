// The BMP writer, the encoder registry, the JPEG encoder and complete-or-nothing file writing.
#include <grp.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>

#include <gtest/gtest.h>

#include "imagelib/image.h"
#include "imagelib/jpeg_encoder.h"
#include "imagelib/load.h"
#include "imagelib/save.h"
#include "platform/raster.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string ReadText(const std::string& path) {
    const Bytes b = ReadAll(path);
    return std::string(b.begin(), b.end());
}

uint32_t Le32(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// Names in a folder.
std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename());
    return names;
}

// Image `number`: a w x h bitmap of `bpp` bits, grey, with a red top-left pixel and a blue
// bottom-right one (or 8x8 blocks of them when `blocks`, so that JPEG keeps the colours).
void MakePicture(int number, int w, int h, int bpp, bool blocks = false) {
    auto bm = raster::Create(w, h, bpp, bpp == 24, false);
    ASSERT_TRUE(bm);
    raster::FillRect(*bm, 0, 0, w, h, 0x808080);
    const int s = blocks ? 8 : 1;
    raster::FillRect(*bm, 0, 0, s, s, 0x0000FF);
    raster::FillRect(*bm, w - s, h - s, s, s, 0xFF0000);
    ASSERT_TRUE(ImageAdopt(number, std::move(bm), 0));
}

// The luminance quantisation table of a JPEG file, or the one libjpeg makes for a quality.
std::vector<uint16_t> LuminanceTable(const Bytes* file, int quality = 0) {
    jpeg_error_mgr err;
    std::vector<uint16_t> t;
    auto take = [&](JQUANT_TBL* q) { t.assign(q->quantval, q->quantval + DCTSIZE2); };
    if (file) {
        jpeg_decompress_struct c{};
        c.err = jpeg_std_error(&err);
        jpeg_create_decompress(&c);
        jpeg_mem_src(&c, file->data(), file->size());
        jpeg_read_header(&c, TRUE);
        take(c.quant_tbl_ptrs[0]);
        jpeg_destroy_decompress(&c);
    } else {
        jpeg_compress_struct c{};
        c.err = jpeg_std_error(&err);
        jpeg_create_compress(&c);
        c.in_color_space = JCS_RGB;
        c.input_components = 3;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, quality, FALSE);
        take(c.quant_tbl_ptrs[0]);
        jpeg_destroy_compress(&c);
    }
    return t;
}

class SaveTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ImageInit();
        ImageResetDecoders();
        RegisterJpegEncoder();
        RegisterJpegDecoder();
    }
    void SetUp() override {
        char templ[] = "/tmp/kadrovo-save-XXXXXX";
        ASSERT_TRUE(mkdtemp(templ));
        dir = templ;
    }
    void TearDown() override {
        ImageReleaseAll();
        fs::remove_all(dir);
    }
    std::string In(const std::string& name) const { return dir + "/" + name; }
    // Saves image `number` and reads the file back through our own decoders.
    std::unique_ptr<raster::Bitmap> SaveAndLoad(int number, uint32_t format, int quality) {
        const std::string path = In("roundtrip");
        if (ImageSaveFile(number, path.c_str(), format, quality) != 1) return nullptr;
        const Bytes b = ReadAll(path);
        return ImageDecodeMemory(b.data(), b.size());
    }
    std::string dir;
};

// --- BMP writer ----------------------------------------------------------------------------------

TEST_F(SaveTest, BmpFileSizesHeaderAndRowOrder) {
    struct Case {
        int w, h, bpp;  // bpp 0: a screen image
        uint32_t stride, fileSize;
    };
    const Case cases[] = {
        {1, 7, 24, 4, 54 + 4 * 7},  // 3 pixel bytes and 1 padding byte
        {33, 10, 24, 100, 1054},
        {33, 10, 32, 100, 1054},  // the fourth byte is dropped
        {3, 2, 0, 12, 54 + 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << "@" << c.bpp);
        if (c.bpp) {
            MakePicture(5, c.w, c.h, c.bpp);
        } else {
            ASSERT_TRUE(ImageNew(5, c.w, c.h));
        }
        const std::string path = In("out.bmp");
        ASSERT_EQ(ImageSaveFile(5, path.c_str(), IMAGE_FORMAT_BMP, 0), 1);
        const Bytes b = ReadAll(path);
        ASSERT_EQ(b.size(), c.fileSize);
        EXPECT_EQ(b[0] | b[1] << 8, 'B' | 'M' << 8);
        EXPECT_EQ(Le32(b, 2), c.fileSize);
        EXPECT_EQ(Le32(b, 10), 54u);
        EXPECT_EQ(Le32(b, 18), static_cast<uint32_t>(c.w));
        EXPECT_EQ(Le32(b, 22), static_cast<uint32_t>(c.h));
        EXPECT_EQ(b[28], 24);
        EXPECT_EQ(Le32(b, 34), c.stride * c.h);
        if (!c.bpp) continue;
        // Bottom row first: the blue bottom-right pixel ends the first row, the red top-left
        // pixel starts the last row; blue, green, red order.
        const size_t lastRow = 54 + static_cast<size_t>(c.stride) * (c.h - 1);
        EXPECT_EQ(b[lastRow + 2], 255);
        EXPECT_EQ(b[54 + (c.w - 1) * 3], 255);
    }
}

TEST_F(SaveTest, RefusedSavesCreateNoFile) {
    MakePicture(5, 4, 4, 24);
    const std::string path = In("none.jpg");
    EXPECT_EQ(ImageSaveFile(5, path.c_str(), 0x12345678, 80), 0);       // no such encoder
    EXPECT_EQ(ImageSaveFile(6, path.c_str(), IMAGE_FORMAT_BMP, 0), 0);  // no such image
    EXPECT_EQ(ImageSaveFile(5, nullptr, IMAGE_FORMAT_BMP, 0), 0);
    EXPECT_EQ(ImageSaveFile(5, "", IMAGE_FORMAT_BMP, 0), 0);
    EXPECT_EQ(ImageSaveFile(5, dir.c_str(), JPEG_ENCODER_ID, 80), 0);  // a folder
    EXPECT_EQ(ImageSaveFile(5, In("no/such/folder.jpg").c_str(), JPEG_ENCODER_ID, 80), 0);
    EXPECT_TRUE(Entries(dir).empty());
}

TEST_F(SaveTest, EncoderRegistryTakesTheFirstMatch) {
    static int calls[2];
    static const ImageEncoder first{0x41414141,
                                    [](const char*, const uint8_t*, int, int, int, int q) {
                                        ++calls[0];
                                        return q;
                                    }};
    static const ImageEncoder second{0x41414141,
                                     [](const char*, const uint8_t*, int, int, int, int) {
                                         ++calls[1];
                                         return 0;
                                     }};
    ImageRegisterEncoder(&first);
    ImageRegisterEncoder(&second);
    uint8_t pixel[4] = {};
    EXPECT_EQ(ImageEncode("x", pixel, 0x41414141, 1, 1, 4, 1), 1);
    EXPECT_EQ(calls[0], 1);
    EXPECT_EQ(calls[1], 0);
    EXPECT_EQ(ImageEncode("x", pixel, 0x42424242, 1, 1, 4, 1), 0);
}

// --- JPEG encoder --------------------------------------------------------------------------------

TEST_F(SaveTest, JpegRoundTripKeepsOrientationAndColourOrder) {
    for (int bpp : {24, 32}) {
        SCOPED_TRACE(bpp);
        MakePicture(5, 40, 24, bpp, true);
        auto bm = SaveAndLoad(5, JPEG_ENCODER_ID, 80);
        ASSERT_TRUE(bm);
        EXPECT_EQ(bm->width, 40);
        EXPECT_EQ(bm->height, 24);
        const uint32_t red = raster::GetPixel(*bm, 2, 2), blue = raster::GetPixel(*bm, 37, 21);
        EXPECT_GT(red & 0xFF, 220u);
        EXPECT_LT(red >> 8 & 0xFF, 35u);
        EXPECT_LT(red >> 16 & 0xFF, 35u);
        EXPECT_LT(blue & 0xFF, 35u);
        EXPECT_GT(blue >> 16 & 0xFF, 220u);
    }
}

TEST_F(SaveTest, QualityIsClampedAndScaledByTen) {
    MakePicture(5, 64, 48, 24, true);
    auto save = [&](int quality) {
        const std::string path = In("q" + std::to_string(quality) + ".jpg");
        EXPECT_EQ(ImageSaveFile(5, path.c_str(), JPEG_ENCODER_ID, quality), 1);
        return ReadAll(path);
    };
    const Bytes q80 = save(80);
    EXPECT_EQ(save(10), q80);
    EXPECT_EQ(save(200), q80);
    for (auto [argument, library] : {std::pair{80, 100}, std::pair{7, 70}, std::pair{1, 10},
                                     std::pair{0, 1}, std::pair{-3, 1}}) {
        const Bytes file = save(argument);
        EXPECT_EQ(LuminanceTable(&file), LuminanceTable(nullptr, library)) << argument;
    }
}

// --- complete-or-nothing writing -----------------------------------------------------------------

TEST_F(SaveTest, ReplacingAFileKeepsItsPermissions) {
    MakePicture(5, 8, 8, 24);
    const std::string path = In("old.jpg"), longName = In(std::string(250, 'n'));
    std::ofstream(path) << "old contents";
    chmod(path.c_str(), 0640);
    ASSERT_EQ(ImageSaveFile(5, path.c_str(), JPEG_ENCODER_ID, 80), 1);
    const Bytes b = ReadAll(path);
    EXPECT_TRUE(ImageDecodeMemory(b.data(), b.size()));
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    // A name at the length limit leaves no room for a longer temporary name beside it.
    ASSERT_EQ(ImageSaveFile(5, longName.c_str(), JPEG_ENCODER_ID, 80), 1);
    EXPECT_EQ(Entries(dir).size(), 2u);
}

// A small file system that a large noisy picture cannot fit on.
class FullDiskTest : public SaveTest {
protected:
    void SetUp() override {
        SaveTest::SetUp();
        mounted = mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") == 0;
        if (!mounted) GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    }
    void TearDown() override {
        if (mounted) umount(dir.c_str());
        SaveTest::TearDown();
    }
    bool mounted = false;
};

TEST_F(FullDiskTest, FailedWritesLeaveTheOldFileAndNoPartialOne) {
    // Noise compresses badly: ~360 kB of BMP, well over 100 kB of JPEG.
    auto noise = raster::Create(400, 300, 24, true, false);
    uint32_t seed = 12345;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400 * 3; ++x)
            noise->Row(y)[x] = static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
    ASSERT_TRUE(ImageAdopt(5, std::move(noise), 0));
    const std::string old = In("picture.jpg");
    std::ofstream(old) << "the picture saved before";
    for (uint32_t format : {JPEG_ENCODER_ID, IMAGE_FORMAT_BMP}) {
        SCOPED_TRACE(format);
        EXPECT_EQ(ImageSaveFile(5, old.c_str(), format, 80), 0);
        EXPECT_EQ(ReadText(old), "the picture saved before");
        EXPECT_EQ(ImageSaveFile(5, In("new.bmp").c_str(), format, 80), 0);
        EXPECT_EQ(Entries(dir), std::vector<std::string>{"picture.jpg"});
    }
    // The same file system still takes a picture that fits.
    MakePicture(6, 16, 16, 24);
    EXPECT_TRUE(SaveAndLoad(6, JPEG_ENCODER_ID, 80));
}

TEST_F(SaveTest, UnwritableFolderFailsWithoutEndingTheProcess) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to drop privileges";
    MakePicture(5, 16, 16, 24);
    const std::string old = In("kept.jpg");
    std::ofstream(old) << "kept";
    chmod(dir.c_str(), 0755);  // root's folder: others may not write
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
            setresuid(65534, 65534, 65534) != 0)
            _exit(3);
        const int jpeg = ImageSaveFile(5, old.c_str(), JPEG_ENCODER_ID, 80);
        const int bmp = ImageSaveFile(5, In("new.bmp").c_str(), IMAGE_FORMAT_BMP, 0);
        _exit(jpeg == 0 && bmp == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadText(old), "kept");
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"kept.jpg"});
}

}  // namespace
