// One track-bar move on a 200 % screen: the tone pass over the preview and over its copy at
// device resolution, the cast removal and the repaint of both. Measured against the same move on
// an ordinary screen in the same run (the program is started anew at the other scale in between),
// and set against the 16.7 ms of a 60 Hz frame.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/state.h"
#include "bench/bench_support.h"
#include "bench/time_reporter.h"
#include "imagelib/image.h"
#include "platform/raster.h"
#include "toolkit/control.h"
#include "toolkit/window.h"

namespace {

constexpr double kFrameSeconds = 1.0 / 60.0;

int g_scale = 0;  // scale of the running program, 0 before the first start

// The main window at `scale` with a 3000 x 2000 picture loaded (a usual camera picture's
// preview, 480 x 317) and a measured cast, so that every step of the move runs.
bool Prepare(int scale) {
    if (g_scale == scale) return true;
    if (g_scale != 0) bench::CloseMainWindow();
    setenv("QT_SCALE_FACTOR", std::to_string(scale).c_str(), 1);
    g_scale = 0;
    if (!bench::OpenMainWindow(3000, 2000, [](int x, int y, uint8_t* px) {
            px[0] = static_cast<uint8_t>(200 + (x * 55 / 3000));
            px[1] = static_cast<uint8_t>(y * 255 / 2000);
            px[2] = static_cast<uint8_t>((x ^ y) & 255);
        }))
        return false;
    g_app.castColour = 0x030201;
    if (WindowPixelRatio(kMainWindow) != scale) return false;
    g_scale = scale;
    return true;
}

void BM_TrackBarMove(benchmark::State& state) {
    const int scale = static_cast<int>(state.range(0));
    if (!Prepare(scale)) {
        state.SkipWithError("no main window at this scale");
        return;
    }
    int step = 0;
    for (auto _ : state) {
        ++step;
        ControlSetValue(kGammaBar, 150 + (step & 7));
        DispatchControl(kGammaBar);
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_TrackBarMove)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // The window is never shown on screen; the offscreen platform serves when none is chosen.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    benchmark::Initialize(&argc, argv);
    TimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto at1 = reporter.seconds.find("BM_TrackBarMove/1");
    const auto at2 = reporter.seconds.find("BM_TrackBarMove/2");
    if (at1 != reporter.seconds.end() && at2 != reporter.seconds.end() && at1->second > 0) {
        std::printf(
            "track-bar move at 200 %%: %.3f ms CPU, %.1f%% of a 60 Hz frame (16.7 ms), %.1fx the "
            "same move at 100 %% (%.3f ms)\n",
            at2->second * 1e3, 100.0 * at2->second / kFrameSeconds, at2->second / at1->second,
            at1->second * 1e3);
    }
    PixelsRelease();
    ShutDownLibraries();
    benchmark::Shutdown();
    return 0;
}
