// The result view of a 24-megapixel picture (6000 x 4000) at "Originalgrösse", the whole picture
// framed, all five adjustments and a colour cast: the export's pixels made on their own thread,
// reduced to fit the screen and handed to the window (answered by a script, so that no window is
// waited for), timed from the request as the user sees it, in wall time.
//
// Against, in the same run: what the user does without it, the window's export of the same
// frame to a JPEG file that a picture viewer then opens (the viewer's own time is left out, which
// only makes the ratio less flattering). The target is 0.4 s for the view.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/edit.h"
#include "app/export.h"
#include "app/ids.h"
#include "app/resultview.h"
#include "app/state.h"
#include "bench/bench_support.h"
#include "bench/time_reporter.h"
#include "imagelib/image.h"
#include "platform/raster.h"
#include "toolkit/control.h"
#include "toolkit/requester.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr double kTargetSeconds = 0.4;

// Answers the picture window at once and the save dialog with the benchmark's file.
struct Answers : RequesterScript {
    std::string file;
    int shownWidth = 0;
    int Message(const std::string&, const std::string&, int) override { return IDYES; }
    std::string File(bool, const std::string&, const std::string&, const std::string&,
                     const std::string&, int) override {
        return file;
    }
    void Picture(const std::string&, const raster::Bitmap& picture, const std::string&) override {
        shownWidth = picture.width;
    }
};

Answers g_answers;
bool g_ready = false;

bool Prepare() {
    if (g_ready) return true;
    if (!bench::OpenMainWindow(kWidth, kHeight, [](int x, int y, uint8_t* px) {
            px[0] = static_cast<uint8_t>(x * 255 / kWidth);
            px[1] = static_cast<uint8_t>(y * 255 / kHeight);
            px[2] = static_cast<uint8_t>((x ^ y) & 255);
        }))
        return false;
    RequesterSetScript(&g_answers);
    g_answers.file = (std::filesystem::temp_directory_path() / "kadrovo-bench-view.jpg").string();
    ControlSetValue(kOutputCombo, 0);  // Originalgrösse
    const int positions[] = {120, 230, 20, 130, 120};
    for (int i = 0; i < 5; ++i)
        ControlSetValue(kToneBars[i].bar, positions[i]);
    g_app.castColour = 5 | 10 << 8;
    g_ready = true;
    return true;
}

void BM_ResultView(benchmark::State& state) {
    if (!Prepare()) {
        state.SkipWithError("no main window");
        return;
    }
    for (auto _ : state) {
        g_answers.shownWidth = 0;
        ResultViewRequested();
        if (g_answers.shownWidth == 0) state.SkipWithError("nothing shown");
    }
}

// The export without its closing step, which would make the adjusted picture the new start and
// change what the next round exports.
void BM_ExportToFile(benchmark::State& state) {
    if (!Prepare()) {
        state.SkipWithError("no main window");
        return;
    }
    const WindowSettings window = ReadWindowSettings();
    for (auto _ : state) {
        auto pixels = ExportPixels(window, g_app.output.sharpen);
        if (!pixels || !ExportWriteJpeg(*pixels, g_answers.file.c_str(), window.format, nullptr))
            state.SkipWithError("export failed");
    }
}

BENCHMARK(BM_ResultView)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_ExportToFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    benchmark::Initialize(&argc, argv);
    TimeReporter reporter(TimeReporter::Clock::Wall, TimeReporter::Key::Function);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto view = reporter.seconds.find("BM_ResultView");
    const auto file = reporter.seconds.find("BM_ExportToFile");
    if (view != reporter.seconds.end() && file != reporter.seconds.end() && file->second > 0) {
        std::printf(
            "result view of %d x %d at Originalgrösse: %.0f ms wall (target %.0f ms), %.2fx the "
            "export to a JPEG file (%.0f ms); shown %d pixels wide\n",
            kWidth, kHeight, view->second * 1e3, kTargetSeconds * 1e3, view->second / file->second,
            file->second * 1e3, g_answers.shownWidth);
    }
    std::filesystem::remove(g_answers.file);
    RequesterSetScript(nullptr);
    ShutDownLibraries();
    benchmark::Shutdown();
    return 0;
}
