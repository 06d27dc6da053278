// The BMP writer, the encoder registry, the JPEG encoder and complete-or-nothing file writing.
#include <dirent.h>
#include <grp.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>

#include <gtest/gtest.h>

#include "imagelib/image.h"
#include "imagelib/jpeg_encoder.h"
#include "imagelib/save.h"
#include "platform/raster.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

uint32_t Le32(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// Names in a folder other than . and ..
std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

struct TempDir {
    std::string path;
    TempDir() {
        char templ[] = "/tmp/kadrovo-save-XXXXXX";
        path = mkdtemp(templ);
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

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

// A noisy picture that compresses badly, for the full-disk test.
void MakeNoise(int number, int w, int h) {
    auto bm = raster::Create(w, h, 24, true, false);
    ASSERT_TRUE(bm);
    uint32_t seed = 12345;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 3; ++x)
            bm->Row(y)[x] = static_cast<uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
    ASSERT_TRUE(ImageAdopt(number, std::move(bm), 0));
}

struct JpegInfo {
    bool ok = false;
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // top row first
    std::vector<uint16_t> luminanceTable;
};

struct JumpErr {
    jpeg_error_mgr pub;
    jmp_buf jump;
};
void JumpOut(j_common_ptr c) {
    longjmp(reinterpret_cast<JumpErr*>(c->err)->jump, 1);
}

bool DecodeInto(jpeg_decompress_struct* c, const Bytes* data, JpegInfo* out, jmp_buf* jump) {
    if (setjmp(*jump)) return false;
    jpeg_create_decompress(c);
    jpeg_mem_src(c, data->data(), data->size());
    jpeg_read_header(c, TRUE);
    out->luminanceTable.assign(c->quant_tbl_ptrs[0]->quantval,
                               c->quant_tbl_ptrs[0]->quantval + DCTSIZE2);
    c->out_color_space = JCS_RGB;
    jpeg_start_decompress(c);
    out->width = c->output_width;
    out->height = c->output_height;
    out->rgb.resize(static_cast<size_t>(out->width) * out->height * 3);
    while (c->output_scanline < c->output_height) {
        JSAMPROW row = out->rgb.data() + static_cast<size_t>(c->output_scanline) * out->width * 3;
        jpeg_read_scanlines(c, &row, 1);
    }
    jpeg_finish_decompress(c);
    return true;
}

JpegInfo DecodeJpeg(const Bytes& data) {
    JpegInfo info;
    jpeg_decompress_struct c{};
    JumpErr err{};
    c.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JumpOut;
    info.ok = !data.empty() && DecodeInto(&c, &data, &info, &err.jump);
    jpeg_destroy_decompress(&c);
    return info;
}

// The luminance quantisation table libjpeg makes for a library quality.
std::vector<uint16_t> TableForQuality(int quality) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    c.in_color_space = JCS_RGB;
    c.input_components = 3;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, FALSE);
    std::vector<uint16_t> t(c.quant_tbl_ptrs[0]->quantval,
                            c.quant_tbl_ptrs[0]->quantval + DCTSIZE2);
    jpeg_destroy_compress(&c);
    return t;
}

class SaveTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ImageInit();
        RegisterJpegEncoder();
    }
    void TearDown() override { ImageReleaseAll(); }
    TempDir dir;
};

// --- BMP writer ----------------------------------------------------------------------------------

TEST_F(SaveTest, BmpFileSizesAndHeaderFollowTheTable) {
    struct Case {
        int w, h, bpp;
        uint32_t stride, fileSize;
    };
    const Case cases[] = {
        {1, 7, 24, 4, 54 + 4 * 7},                           // 3 pixel bytes and 1 padding byte
        {33, 10, 24, 100, 1054},   {33, 10, 32, 100, 1054},  // the fourth byte is dropped
        {4, 3, 32, 12, 54 + 36},   {2, 2, 24, 8, 54 + 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << "@" << c.bpp);
        MakePicture(5, c.w, c.h, c.bpp);
        const std::string path = dir / "out.bmp";
        ASSERT_EQ(ImageSaveFile(5, path.c_str(), IMAGE_FORMAT_BMP, 0), 1);
        const Bytes b = ReadAll(path);
        ASSERT_EQ(b.size(), c.fileSize);
        EXPECT_EQ(b[0], 'B');
        EXPECT_EQ(b[1], 'M');
        EXPECT_EQ(Le32(b, 2), c.fileSize);
        EXPECT_EQ(Le32(b, 10), 54u);
        EXPECT_EQ(Le32(b, 14), 40u);
        EXPECT_EQ(Le32(b, 18), static_cast<uint32_t>(c.w));
        EXPECT_EQ(Le32(b, 22), static_cast<uint32_t>(c.h));
        EXPECT_EQ(b[26] | b[27] << 8, 1);
        EXPECT_EQ(b[28] | b[29] << 8, 24);
        EXPECT_EQ(Le32(b, 30), 0u);
        EXPECT_EQ(Le32(b, 34), c.stride * c.h);
        // Bottom row first: the blue bottom-right pixel ends the first row, the red top-left
        // pixel starts the last row; blue, green, red order.
        const size_t lastRow = 54 + static_cast<size_t>(c.stride) * (c.h - 1);
        EXPECT_EQ(b[lastRow], 0);
        EXPECT_EQ(b[lastRow + 2], 255);
        const size_t bottomRight = 54 + static_cast<size_t>(c.w - 1) * 3;
        EXPECT_EQ(b[bottomRight], 255);
        EXPECT_EQ(b[bottomRight + 2], 0);
    }
}

TEST_F(SaveTest, ScreenImageSavesAs24Bits) {
    ASSERT_TRUE(ImageNew(5, 3, 2));
    const std::string path = dir / "screen.bmp";
    ASSERT_EQ(ImageSaveFile(5, path.c_str(), IMAGE_FORMAT_BMP, 0), 1);
    const Bytes b = ReadAll(path);
    EXPECT_EQ(b.size(), 54u + 12 * 2);
    EXPECT_EQ(b[28], 24);
}

TEST_F(SaveTest, RefusedSavesCreateNoFile) {
    MakePicture(5, 4, 4, 24);
    const std::string path = dir / "none.jpg";
    EXPECT_EQ(ImageSaveFile(5, path.c_str(), 0x12345678, 80), 0);       // no such encoder
    EXPECT_EQ(ImageSaveFile(6, path.c_str(), IMAGE_FORMAT_BMP, 0), 0);  // no such image
    EXPECT_EQ(ImageSaveFile(5, nullptr, IMAGE_FORMAT_BMP, 0), 0);
    EXPECT_EQ(ImageSaveFile(5, "", IMAGE_FORMAT_BMP, 0), 0);
    EXPECT_EQ(ImageSaveFile(5, dir.path.c_str(), JPEG_ENCODER_ID, 80), 0);  // a folder
    EXPECT_EQ(ImageSaveFile(5, (dir / "no/such/folder.jpg").c_str(), JPEG_ENCODER_ID, 80), 0);
    EXPECT_TRUE(Entries(dir.path).empty());
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

TEST_F(SaveTest, JpegKeepsOrientationAndColourOrder) {
    for (int bpp : {24, 32}) {
        SCOPED_TRACE(bpp);
        MakePicture(5, 40, 24, bpp, true);
        const std::string path = dir / "colours.jpg";
        ASSERT_EQ(ImageSaveFile(5, path.c_str(), JPEG_ENCODER_ID, 80), 1);
        JpegInfo j = DecodeJpeg(ReadAll(path));
        ASSERT_TRUE(j.ok);
        EXPECT_EQ(j.width, 40);
        EXPECT_EQ(j.height, 24);
        const uint8_t* topLeft = &j.rgb[(2 * 40 + 2) * 3];
        EXPECT_GT(topLeft[0], 220);
        EXPECT_LT(topLeft[1], 35);
        EXPECT_LT(topLeft[2], 35);
        const uint8_t* bottomRight = &j.rgb[((24 - 3) * 40 + 40 - 3) * 3];
        EXPECT_LT(bottomRight[0], 35);
        EXPECT_GT(bottomRight[2], 220);
    }
}

TEST_F(SaveTest, QualityIsClampedAndScaledByTen) {
    MakePicture(5, 64, 48, 24, true);
    auto save = [&](int quality) {
        const std::string path = dir / ("q" + std::to_string(quality) + ".jpg");
        EXPECT_EQ(ImageSaveFile(5, path.c_str(), JPEG_ENCODER_ID, quality), 1);
        return ReadAll(path);
    };
    const Bytes q80 = save(80);
    EXPECT_EQ(save(10), q80);
    EXPECT_EQ(save(200), q80);
    EXPECT_EQ(save(-3), save(0));
    struct Case {
        int argument, library;
    };
    for (Case c : {Case{80, 100}, Case{7, 70}, Case{1, 10}, Case{0, 1}, Case{-3, 1}}) {
        SCOPED_TRACE(c.argument);
        EXPECT_EQ(DecodeJpeg(save(c.argument)).luminanceTable, TableForQuality(c.library));
    }
}

// --- complete-or-nothing writing -----------------------------------------------------------------

TEST_F(SaveTest, ReplacingAFileKeepsItsPermissions) {
    MakePicture(5, 8, 8, 24);
    const std::string path = dir / "old.jpg";
    WriteAll(path, "old contents");
    chmod(path.c_str(), 0640);
    ASSERT_EQ(ImageSaveFile(5, path.c_str(), JPEG_ENCODER_ID, 80), 1);
    EXPECT_TRUE(DecodeJpeg(ReadAll(path)).ok);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Entries(dir.path), std::vector<std::string>{"old.jpg"});
}

TEST_F(SaveTest, NameAtTheLengthLimit) {
    MakePicture(5, 8, 8, 24);
    const std::string name(250, 'n');
    ASSERT_EQ(ImageSaveFile(5, (dir / name).c_str(), JPEG_ENCODER_ID, 80), 1);
    EXPECT_EQ(Entries(dir.path), std::vector<std::string>{name});
}

// A small file system that a large noisy picture cannot fit on.
class FullDiskTest : public SaveTest {
protected:
    void SetUp() override {
        mounted = mount("tmpfs", dir.path.c_str(), "tmpfs", 0, "size=64k") == 0;
        if (!mounted) GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    }
    void TearDown() override {
        if (mounted) umount(dir.path.c_str());
        SaveTest::TearDown();
    }
    bool mounted = false;
};

TEST_F(FullDiskTest, FailedWritesLeaveTheOldFileAndNoPartialOne) {
    MakeNoise(5, 400, 300);  // ~360 kB of BMP, well over 100 kB of JPEG
    const std::string old = dir / "picture.jpg";
    WriteAll(old, "the picture saved before");
    for (uint32_t format : {JPEG_ENCODER_ID, IMAGE_FORMAT_BMP}) {
        SCOPED_TRACE(format);
        EXPECT_EQ(ImageSaveFile(5, old.c_str(), format, 80), 0);
        const Bytes kept = ReadAll(old);
        EXPECT_EQ(std::string(kept.begin(), kept.end()), "the picture saved before");
        EXPECT_EQ(ImageSaveFile(5, (dir / "new.bmp").c_str(), format, 80), 0);
        EXPECT_EQ(Entries(dir.path), std::vector<std::string>{"picture.jpg"});
    }
    // The same file system still takes a picture that fits.
    MakePicture(6, 16, 16, 24);
    EXPECT_EQ(ImageSaveFile(6, old.c_str(), JPEG_ENCODER_ID, 80), 1);
    EXPECT_TRUE(DecodeJpeg(ReadAll(old)).ok);
}

TEST_F(SaveTest, UnwritableFolderFailsWithoutEndingTheProcess) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to drop privileges";
    MakePicture(5, 16, 16, 24);
    const std::string old = dir / "kept.jpg";
    WriteAll(old, "kept");
    chmod(dir.path.c_str(), 0755);  // root's folder: others may not write
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
            setresuid(65534, 65534, 65534) != 0)
            _exit(3);
        const int jpeg = ImageSaveFile(5, old.c_str(), JPEG_ENCODER_ID, 80);
        const int bmp = ImageSaveFile(5, (dir / "new.bmp").c_str(), IMAGE_FORMAT_BMP, 0);
        _exit(jpeg == 0 && bmp == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const Bytes kept = ReadAll(old);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "kept");
    EXPECT_EQ(Entries(dir.path), std::vector<std::string>{"kept.jpg"});
}

}  // namespace
