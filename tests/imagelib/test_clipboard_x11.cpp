// The clipboard between two programs on a real X display: one of our programs offers a picture,
// another takes it. Runs its own Xvfb; skipped when none can be started.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "imagelib/image.h"
#include "imagelib/load.h"
#include "platform/raster.h"

extern char** environ;

namespace {

constexpr auto kTimeOut = std::chrono::seconds(60);

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
            posix_spawn_file_actions_t* actions = nullptr) {
    std::vector<char*> args, env;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> envStrings(extraEnv);
    for (char** e = environ; *e; ++e)
        envStrings.emplace_back(*e);  // first entries win
    for (std::string& e : envStrings)
        env.push_back(e.data());
    env.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], actions, nullptr, args.data(), env.data()) != 0) return -1;
    return pid;
}

// Polls until `done` holds, for at most the time-out.
bool WaitUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + kTimeOut;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Waits for the child to end; its exit code, or -1 after the time-out (the child is killed).
int WaitExit(pid_t pid) {
    int status = 0;
    if (WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }))
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

class ClipboardX11 : public ::testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/kadrovo-x11-XXXXXX";
        ASSERT_TRUE(mkdtemp(templ));
        dir = templ;
        // Xvfb writes its display number to the pipe once it accepts clients.
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        xvfb = Spawn({"Xvfb", "-noreset", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                      "640x480x24", "-nolisten", "tcp"},
                     {}, &actions);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        char c;
        while (poll(&p, 1, 30000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (xvfb <= 0 || number.empty()) GTEST_SKIP() << "no Xvfb could be started";
        display = "DISPLAY=:" + number;
    }
    void TearDown() override {
        if (xvfb > 0) {
            kill(xvfb, SIGTERM);
            waitpid(xvfb, nullptr, 0);
        }
        std::filesystem::remove_all(dir);
    }

    std::string dir, display;
    pid_t xvfb = -1;
};

TEST_F(ClipboardX11, PictureCrossesBetweenPrograms) {
    const std::vector<std::string> env = {display, "QT_QPA_PLATFORM=xcb"};
    const std::string ready = dir + "/ready", done = dir + "/done", out = dir + "/taken.bmp";
    const pid_t offer = Spawn({CLIPBOARD_PEER, "offer", ready, done}, env);
    ASSERT_GT(offer, 0);
    struct stat st {};
    ASSERT_TRUE(WaitUntil([&] { return stat(ready.c_str(), &st) == 0; }));
    const pid_t take = Spawn({CLIPBOARD_PEER, "take", out}, env);
    ASSERT_GT(take, 0);
    EXPECT_EQ(WaitExit(take), 0);
    std::ofstream(done) << "done";
    EXPECT_EQ(WaitExit(offer), 0);

    ImageInit();
    ASSERT_TRUE(ImageLoadFile(7, out.c_str()));
    ASSERT_EQ(ImageGetWidth(7), 64);
    ASSERT_EQ(ImageGetHeight(7), 48);
    const raster::Bitmap& bm = *ImageGetBitmap(7);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(raster::GetPixel(bm, x, y), uint32_t(x * 4 | y * 5 << 8 | 99 << 16))
                << x << "," << y;
    ImageRelease(7);
}

}  // namespace
