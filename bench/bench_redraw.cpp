// One drag step of the selection frame: the move update and the repaint of a 480 x 476 preview
// with outline, frame and status line onto the main window's surface. Measured against a bare
// 1:1 copy of the same preview onto the same surface in the same run, and set against the
// 16.7 ms of a 60 Hz frame.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "app/preview.h"
#include "app/selection.h"
#include "app/state.h"
#include "bench/bench_support.h"
#include "bench/time_reporter.h"
#include "imagelib/image.h"
#include "platform/raster.h"
#include "toolkit/window.h"

namespace {

constexpr double kFrameSeconds = 1.0 / 60.0;

bool g_ready = false;

// The main window with a square picture loaded: its preview is the largest, 480 x 476.
bool Prepare() {
    if (g_ready) return true;
    if (!bench::OpenMainWindow(1200, 1200, [](int x, int y, uint8_t* px) {
            px[0] = static_cast<uint8_t>(x * 255 / 1200);
            px[1] = static_cast<uint8_t>(y * 255 / 1200);
            px[2] = static_cast<uint8_t>((x ^ y) & 255);
        }))
        return false;
    g_app.frame.selection = Selection{20, 20, 300, 0};
    ClampSelection();
    g_ready = ImageGetWidth(101) == 480 && ImageGetHeight(101) == 476;
    return g_ready;
}

void BM_DragStep(benchmark::State& state) {
    if (!Prepare()) {
        state.SkipWithError("no main window");
        return;
    }
    // Press inside the frame, then move one pixel to and fro: every step moves and repaints.
    (void)SelectionMouseStep(true, 150, 150);
    int step = 0;
    for (auto _ : state) {
        ++step;
        if (SelectionMouseStep(true, 150 + (step & 1), 150)) RedrawPreview(ReadWindowSettings());
        benchmark::ClobberMemory();
    }
    (void)SelectionMouseStep(false, 0, 0);
}

void BM_PlainCopy(benchmark::State& state) {
    if (!Prepare()) {
        state.SkipWithError("no main window");
        return;
    }
    DrawTarget* target = WindowDrawTarget(kMainWindow);
    const raster::Bitmap* preview = ImageGetBitmap(101);
    for (auto _ : state) {
        raster::Blit(*target->surface, 14, 20, preview->width, preview->height, *preview, 0, 0);
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_DragStep)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    // The window is never shown on screen; the offscreen platform serves when none is chosen.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    benchmark::Initialize(&argc, argv);
    TimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto step = reporter.seconds.find("BM_DragStep");
    const auto copy = reporter.seconds.find("BM_PlainCopy");
    if (step != reporter.seconds.end() && copy != reporter.seconds.end() && copy->second > 0) {
        std::printf(
            "drag step (480 x 476 preview): %.3f ms CPU, %.1f%% of a 60 Hz frame (16.7 ms), "
            "%.1fx a bare copy of the preview (%.3f ms)\n",
            step->second * 1e3, 100.0 * step->second / kFrameSeconds, step->second / copy->second,
            copy->second * 1e3);
    }
    ShutDownLibraries();
    benchmark::Shutdown();
    return 0;
}
