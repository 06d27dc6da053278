// The BMP writer and the JPEG encoder by round trips, and complete-or-nothing file writing.
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imagelib/image.h"
#include "imagelib/jpeg_encoder.h"
#include "imagelib/library_start.h"
#include "imagelib/load.h"
#include "imagelib/save.h"
#include "load_fixtures.h"
#include "platform/raster.h"
#include "tests/picture/noise.h"

namespace {

namespace fs = std::filesystem;
using fixtures::Bytes;

std::string ReadText(const std::string& path) {
    const Bytes b = fixtures::ReadFile(path);
    return std::string(b.begin(), b.end());
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

// The first quantisation table of a JPEG file (the luminance one), in stored order.
Bytes LuminanceTable(const Bytes& f) {
    for (size_t i = 0; i + 69 <= f.size(); ++i)
        if (f[i] == 0xFF && f[i + 1] == 0xDB) return Bytes(f.begin() + i + 5, f.begin() + i + 69);
    return {};
}

class SaveTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ImageLibraryStart(); }
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
        return ImageDecodeMemory(fixtures::ReadFile(path));
    }
    std::string dir;
};

// --- encoders -----------------------------------------------------------------------------------

// Every kind of image comes back from a BMP or a JPEG file as it was (JPEG: near enough), upright
// and in the right colour order; the BMP file has its padded 24-bit size. The quality argument
// counts in tenths of the library's scale, clamped: 80 gives 100, the finest table; 7 gives 70.
TEST_F(SaveTest, RoundTripsThroughBmpAndJpeg) {
    for (int bpp : {24, 32, 0}) {  // 0: a screen image
        SCOPED_TRACE(bpp);
        if (bpp) {
            MakePicture(5, 41, 24, bpp, true);
        } else {
            ASSERT_TRUE(ImageNew(5, 41, 24));
            raster::FillRect(*ImageGetBitmap(5), 3, 2, 7, 5, 0x123456);
        }
        const raster::Bitmap& in = *ImageGetBitmap(5);
        auto bmp = SaveAndLoad(5, IMAGE_FORMAT_BMP, 0);
        ASSERT_TRUE(bmp);
        EXPECT_EQ(fixtures::ReadFile(In("roundtrip")).size(), 54u + 124 * 24);
        auto jpeg = SaveAndLoad(5, JPEG_ENCODER_ID, 80);
        ASSERT_TRUE(jpeg);
        ASSERT_EQ(std::make_pair(jpeg->width, jpeg->height), std::make_pair(41, 24));
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 41; ++x) {
                const uint32_t want = raster::GetPixel(in, x, y);
                ASSERT_EQ(raster::GetPixel(*bmp, x, y), want) << x << "," << y;
                if (x % 8 != 2 || y % 8 != 2) continue;
                for (int c = 0; c < 24; c += 8)
                    EXPECT_NEAR(raster::GetPixel(*jpeg, x, y) >> c & 0xFF, want >> c & 0xFF, 30);
            }
    }
    auto table = [&](int quality) {
        EXPECT_EQ(ImageSaveFile(5, In("q").c_str(), JPEG_ENCODER_ID, quality), 1);
        return LuminanceTable(fixtures::ReadFile(In("q")));
    };
    EXPECT_EQ(table(80), Bytes(64, 1));
    EXPECT_EQ(table(10), table(80));
    EXPECT_EQ(table(7).at(0), 10);  // the library's base value 16, scaled to 60 % and rounded
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

// --- complete-or-nothing writing -----------------------------------------------------------------

TEST_F(SaveTest, ReplacingAFileKeepsItsPermissions) {
    MakePicture(5, 8, 8, 24);
    const std::string path = In("old.jpg"), longName = In(std::string(250, 'n'));
    std::ofstream(path) << "old contents";
    chmod(path.c_str(), 0640);
    ASSERT_EQ(ImageSaveFile(5, path.c_str(), JPEG_ENCODER_ID, 80), 1);
    EXPECT_TRUE(ImageDecodeMemory(fixtures::ReadFile(path)));
    EXPECT_EQ(fs::status(path).permissions(), static_cast<fs::perms>(0640));
    // A name at the length limit leaves no room for a longer temporary name beside it.
    ASSERT_EQ(ImageSaveFile(5, longName.c_str(), JPEG_ENCODER_ID, 80), 1);
    EXPECT_EQ(Entries(dir).size(), 2u);
}

// Runs `body` in a child process and gives its exit status; `limit` first caps the size of any
// file it writes (a full disk: writes past it fail with EFBIG instead of ending the process), and
// a root child gives up its rights, so that a folder without write permission holds for it too.
int InChild(const std::function<bool()>& body, rlim_t limit = RLIM_INFINITY) {
    const pid_t child = fork();
    if (child == 0) {
        if (limit != RLIM_INFINITY) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit size{limit, limit};
            if (setrlimit(RLIMIT_FSIZE, &size) != 0) _exit(3);
        }
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
                               setresuid(65534, 65534, 65534) != 0))
            _exit(3);
        _exit(body() ? 0 : 1);
    }
    int status = -1;
    if (child < 0 || waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Saves that cannot complete, on a disk too small for a large noisy picture (a file-size limit)
// or into a folder the user may not write, fail without ending the process, in every format and
// whether or not they replace a file: the old file keeps its contents and no partial or
// temporary file stays behind.
TEST_F(SaveTest, FailedWritesLeaveTheOldFileAndNoPartialOne) {
    // Noise compresses badly: ~360 kB of BMP, well over 100 kB of JPEG.
    ASSERT_TRUE(ImageAdopt(5, Noise(400, 300, 24), 0));
    MakePicture(6, 16, 16, 24);
    const std::string old = In("picture.jpg");
    std::ofstream(old) << "the picture saved before";
    auto refused = [&](int number) {
        bool all = true;
        for (uint32_t format : {JPEG_ENCODER_ID, IMAGE_FORMAT_BMP})
            all = all && ImageSaveFile(number, old.c_str(), format, 80) == 0 &&
                  ImageSaveFile(number, In("new.bmp").c_str(), format, 80) == 0;
        return all;
    };
    // Unless read-only, the folder is open to everyone, so only the size limit can stop the big
    // picture; the small one still fits under it.
    const struct {
        const char* name;
        int number;     // the big noisy picture (5) or the small one (6)
        rlim_t limit;   // the size of a file the child may write
        bool readOnly;  // the folder
        bool refused;   // every save
    } cases[] = {{"disk full", 5, 64 * 1024, false, true},
                 {"small picture under the limit", 6, 64 * 1024, false, false},
                 {"read-only folder", 6, RLIM_INFINITY, true, true}};
    for (const auto& c : cases) {
        ASSERT_EQ(chmod(dir.c_str(), c.readOnly ? 0555 : 0777), 0);
        // The caller says the disk is full in its own words; the libraries' English stays
        // unprinted (the child writes to the captured stream).
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(InChild([&] { return refused(c.number) == c.refused; }, c.limit), 0) << c.name;
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << c.name;
        ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
        if (!c.refused) {
            // What the child wrote goes, so that the next case starts from the old file alone.
            ASSERT_EQ(ReadText(old).substr(0, 2), "\xff\xd8") << "the last write was a JPEG";
            std::ofstream(old) << "the picture saved before";
            fs::remove(In("new.bmp"));
            continue;
        }
        EXPECT_EQ(ReadText(old), "the picture saved before") << c.name;
        EXPECT_EQ(Entries(dir), std::vector<std::string>{"picture.jpg"}) << c.name;
    }
    EXPECT_TRUE(SaveAndLoad(6, JPEG_ENCODER_ID, 80));  // a picture that fits still does
}

}  // namespace
