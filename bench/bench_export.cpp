// The export of a 24-megapixel JPEG photo: decode, all five adjustments on the whole picture, a
// colour cast removed, a 4000 x 2667 cut, preset 5 ("Foto bis 15cm x 20cm", 2700 x 1800) with the
// smoothing stretch, JPEG at the highest quality. The same work by ImageMagick's convert and by
// the vips command-line tool on the same file, in the same run. Every contender runs in a child
// process so that its peak memory (ru_maxrss from wait4) is its own; all run on one thread.
// Prints the time ratios of the two tools against ours.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "imagelib/image.h"
#include "imagelib/jpeg_encoder.h"
#include "imagelib/load.h"
#include "imagelib/save.h"
#include "imagelib/transform.h"
#include "picture/cast.h"
#include "picture/export.h"
#include "picture/pixels.h"
#include "picture/tone.h"
#include "platform/raster.h"

extern char** environ;

namespace {

constexpr int kW = 6000, kH = 4000, kCutW = 4000, kCutH = 2667, kPreset = 5;
// Gamma exponent 1.35, white point 230, black point 20, saturation +30 %, contrast 120 %.
constexpr ToneParams kTone{120, 230, 20, 130, 120};
constexpr uint32_t kCast = 5 | 10 << 8;  // red 5, green 10, blue 0

std::string g_dir;

const std::string& Dir() {
    if (g_dir.empty()) {
        char templ[] = "/tmp/kadrovo-bench-XXXXXX";
        g_dir = mkdtemp(templ);
    }
    return g_dir;
}

// A photo-like 6000 x 4000 picture (gradients, noise, hard edges) as a quality-90 JPEG.
const std::string& Input() {
    static std::string path;
    if (!path.empty()) return path;
    auto bm = raster::Create(kW, kH, 24, true, false);
    uint32_t noise = 12345;
    for (int y = 0; y < kH; ++y) {
        uint8_t* row = bm->Row(y);
        for (int x = 0; x < kW; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const bool edge = ((x / 97) + (y / 61)) % 2 == 0;
            row[3 * x] = static_cast<uint8_t>((x * 255 / kW + (noise >> 28)) & 255);
            row[3 * x + 1] = static_cast<uint8_t>((y * 255 / kH + (noise >> 24 & 15)) & 255);
            row[3 * x + 2] = static_cast<uint8_t>(edge ? 220 - (noise >> 29) : 30 + (noise >> 29));
        }
    }
    ImageInit();
    RegisterJpegEncoder();
    ImageAdopt(1, std::move(bm), 0);
    path = Dir() + "/in.jpg";
    if (!ImageSaveFile(1, path.c_str(), JPEG_ENCODER_ID, 9)) std::abort();
    ImageRelease(1);
    return path;
}

// Our export, the steps SelectionExport runs between the dialog and the closing step.
int OurExport(const std::string& in, const std::string& out) {
    ImageInit();
    ImageResetDecoders();
    RegisterJpegDecoder();
    RegisterPngDecoder();
    RegisterJpegEncoder();
    if (!ImageLoadFile(100, in.c_str()) || !PixelsCapture(100)) return 1;
    ToneAdjust(100, kTone.gamma, kTone.white, kTone.black, kTone.saturation, kTone.contrast, 0);
    CastRemove(100, kCast);
    PixelsStore(100);
    PixelsRelease();
    if (!ImageCrop(100, 102, 0, 0, kCutW, kCutH)) return 1;
    int w = 0, h = 0;
    if (!OutputSizeFor(kPreset, kCutW, kCutH, w, h) || !ImageScale(102, w, h, 0)) return 1;
    return ImageSaveFile(102, out.c_str(), JPEG_ENCODER_ID, 80) ? 0 : 1;
}

struct Run {
    double seconds = 0;
    long peakKiB = 0;
    bool ok = true;
};

Run Wait(pid_t child, std::chrono::steady_clock::time_point start) {
    Run r;
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) r.ok = false;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.peakKiB = usage.ru_maxrss;
    r.ok = r.ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return r;
}

Run RunOurs() {
    const std::string in = Input(), out = Dir() + "/ours.jpg";
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) _exit(OurExport(in, out));
    return Wait(child, start);
}

// Runs one command line; single-threaded, as our export is.
Run RunTool(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    setenv("MAGICK_THREAD_LIMIT", "1", 1);
    setenv("OMP_NUM_THREADS", "1", 1);
    setenv("VIPS_CONCURRENCY", "1", 1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    Run r;
    if (posix_spawnp(&child, args[0], &actions, nullptr, args.data(), environ) != 0) {
        r.ok = false;
    } else {
        r = Wait(child, start);
    }
    posix_spawn_file_actions_destroy(&actions);
    return r;
}

// The real convert, not a wrapper script in front of it.
std::string Convert() {
    struct stat st {};
    return stat("/usr/bin/convert", &st) == 0 ? "/usr/bin/convert" : "convert";
}

Run RunImageMagick() {
    return RunTool({Convert(),
                    Input(),
                    "-level",
                    "3%,90.2%,0.74",
                    "-modulate",
                    "100,130",
                    "-brightness-contrast",
                    "0x20",
                    "-channel",
                    "R",
                    "-evaluate",
                    "subtract",
                    "2%",
                    "-channel",
                    "G",
                    "-evaluate",
                    "subtract",
                    "4%",
                    "+channel",
                    "-crop",
                    "4000x2667+0+0",
                    "+repage",
                    "-filter",
                    "Box",
                    "-resize",
                    "2700x1800!",
                    "-quality",
                    "100",
                    Dir() + "/magick.jpg"});
}

// vips runs one operation per call; intermediate pictures go through its own uncompressed
// format. Times add up, the peak is the largest of the calls.
Run RunVips() {
    const std::string d = Dir() + "/";
    const std::vector<std::vector<std::string>> steps = {
        {"vips", "crop", Input(), d + "v1.v", "0", "0", "4000", "2667"},
        {"vips", "gamma", d + "v1.v", d + "v2.v", "--exponent", "0.74"},
        {"vips", "linear", "--", d + "v2.v", d + "v3.v", "1.33 1.33 1.33", "-25 -30 -20"},
        {"vips", "colourspace", d + "v3.v", d + "v4.v", "lch"},
        {"vips", "linear", d + "v4.v", d + "v5.v", "1 1.3 1", "0 0 0"},
        {"vips", "colourspace", d + "v5.v", d + "v6.v", "srgb"},
        {"vips", "resize", d + "v6.v", d + "vips.jpg[Q=100]", "0.675", "--kernel", "linear"},
    };
    Run total;
    for (const auto& step : steps) {
        const Run r = RunTool(step);
        total.seconds += r.seconds;
        total.peakKiB = std::max(total.peakKiB, r.peakKiB);
        total.ok = total.ok && r.ok;
    }
    return total;
}

std::map<std::string, double> g_meanSeconds;

template <Run (*Contender)()>
void Measure(benchmark::State& state, const char* name) {
    Input();
    long peak = 0;
    double sum = 0;
    for (auto _ : state) {
        const Run r = Contender();
        if (!r.ok) {
            state.SkipWithError("the export failed");
            return;
        }
        state.SetIterationTime(r.seconds);
        sum += r.seconds;
        peak = std::max(peak, r.peakKiB);
    }
    g_meanSeconds[name] = sum / static_cast<double>(state.iterations());
    state.counters["peak_MiB"] = static_cast<double>(peak) / 1024.0;
}

void BM_ExportKadrovo(benchmark::State& s) {
    Measure<RunOurs>(s, "kadrovo");
}
void BM_ExportImageMagick(benchmark::State& s) {
    Measure<RunImageMagick>(s, "imagemagick");
}
void BM_ExportVips(benchmark::State& s) {
    Measure<RunVips>(s, "vips");
}

BENCHMARK(BM_ExportKadrovo)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExportImageMagick)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExportVips)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const double ours = g_meanSeconds["kadrovo"];
    if (ours > 0) {
        for (const char* tool : {"imagemagick", "vips"}) {
            if (g_meanSeconds.count(tool))
                std::printf("%s time / kadrovo time: %.2f\n", tool, g_meanSeconds[tool] / ours);
        }
    }
    if (!g_dir.empty()) std::system(("rm -rf '" + g_dir + "'").c_str());
    return 0;
}
