// The clipboard between programs on a real X display: this test runs itself again under xvfb-run;
// xclip takes what we copy, in both formats, and offers a file that we paste.
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "imagelib/clipboard.h"
#include "imagelib/image.h"
#include "imagelib/library_start.h"
#include "imagelib/load.h"
#include "platform/raster.h"
#include "tests/picture/noise.h"
#include "toolkit/window.h"

extern char** environ;

namespace {

const auto kTimeOut = std::chrono::seconds(60);

// Runs `command` in a shell while our side of the clipboard is served; its exit code, or -1.
int RunServing(const std::string& command) {
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return -1;
    int status = 0;
    const auto end = std::chrono::steady_clock::now() + kTimeOut;
    while (waitpid(pid, &status, WNOHANG) != pid) {
        if (std::chrono::steady_clock::now() > end) kill(pid, SIGKILL);
        EventWait(20);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The picture copied, pixel for pixel.
void ExpectSame(const raster::Bitmap* bm, const raster::Bitmap& copied) {
    ASSERT_TRUE(bm);
    ASSERT_EQ(std::pair(bm->width, bm->height), std::pair(copied.width, copied.height));
    for (int y = 0; y < copied.height; ++y)
        for (int x = 0; x < copied.width; ++x)
            ASSERT_EQ(raster::GetPixel(*bm, x, y), raster::GetPixel(copied, x, y)) << x << "," << y;
}

}  // namespace

TEST(ClipboardX11, CopyAndPasteBetweenPrograms) {
    if (!std::getenv("KADROVO_ON_XVFB")) {
        if (std::system("command -v xvfb-run >/dev/null && command -v xclip >/dev/null") != 0)
            GTEST_SKIP() << "needs xvfb-run and xclip";
        const std::string self = std::filesystem::read_symlink("/proc/self/exe");
        EXPECT_EQ(
            std::system(("KADROVO_ON_XVFB=1 QT_QPA_PLATFORM=xcb xvfb-run -a " + self).c_str()), 0);
        return;
    }
    ASSERT_TRUE(ToolkitInit());
    ImageLibraryStart();
    char templ[] = "/tmp/kadrovo-x11-XXXXXX";
    ASSERT_TRUE(mkdtemp(templ));
    const std::string dir = templ;
    const auto copied = Noise(64, 48, 24, true);
    ASSERT_TRUE(ImageAdopt(5, raster::Clone(*copied), 0));
    ASSERT_NE(ImageToClipboard(5), 0);
    for (const std::string type : {"png", "bmp"}) {
        const std::string file = dir + "/taken." + type;
        ASSERT_EQ(RunServing("xclip -selection clipboard -t image/" + type + " -o > " + file), 0);
        ASSERT_TRUE(ImageLoadFile(7, file.c_str())) << type;
        ExpectSame(ImageGetBitmap(7), *copied);
    }
    // xclip stays in the background serving the file until it loses the clipboard.
    ASSERT_EQ(RunServing("xclip -selection clipboard -t image/png -i " + dir + "/taken.png"), 0);
    raster::Bitmap* pasted = nullptr;
    for (auto end = std::chrono::steady_clock::now() + kTimeOut;
         !(pasted = ImageFromClipboard(100)) && std::chrono::steady_clock::now() < end;)
        EventWait(20);
    ExpectSame(pasted, *copied);
    ImageReleaseAll();
    std::filesystem::remove_all(dir);
}
