// A folder of forty 12-megapixel photos (4000 x 3000 JPEGs) made ready for "10 x 15" prints at
// "Foto bis 10cm x 15cm": the centred 3:2 frame cut out and reduced to 1800 x 1200, JPEG at the
// highest quality. Our batch command against the same work done as its users do it with
// ImageMagick's mogrify (gravity centre crop, resize, quality 100) and with a libvips loop
// (vips_thumbnail with a centre crop, then a JPEG save at Q 100), each with every core it
// wants, in a child process of its own. Prints the time ratios of the two against ours and
// the peak memory of each.
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <unistd.h>
#include <vips/vips.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "imagelib/image.h"
#include "imagelib/jpeg_encoder.h"
#include "imagelib/save.h"
#include "platform/raster.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kPhotos = 40, kW = 4000, kH = 3000;

fs::path g_dir;
std::vector<std::string> g_inputs;

// The photos: gradients, noise and hard edges, as a quality-90 JPEG, copied forty times.
void MakePhotos() {
    char templ[] = "/tmp/kadrovo-batch-bench-XXXXXX";
    g_dir = mkdtemp(templ);
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
    const fs::path first = g_dir / "photo00.jpg";
    if (!BitmapSaveFile(*bm, first.c_str(), JPEG_ENCODER_ID, 9)) std::abort();
    g_inputs.push_back(first);
    for (int i = 1; i < kPhotos; ++i) {
        const fs::path copy = g_dir / ("photo" + std::to_string(100 + i).substr(1) + ".jpg");
        fs::copy_file(first, copy);
        g_inputs.push_back(copy);
    }
}

// An empty output folder for one run.
std::string OutDir(const char* name) {
    const fs::path out = g_dir / name;
    fs::remove_all(out);
    fs::create_directories(out);
    return out;
}

using bench::Run;

Run Spawn(std::vector<std::string> argv) {
    std::vector<char*> args;
    for (std::string& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawnp(&child, args[0], nullptr, nullptr, args.data(), environ) != 0)
        return {0, 0, false};
    return bench::WaitChild(child, start);
}

Run RunKadrovo() {
    std::vector<std::string> argv = {KADROVO_BINARY, "--batch", "--format",
                                     "10x15",        "--size",  "10x15",
                                     "--quiet",      "--out",   OutDir("kadrovo")};
    argv.insert(argv.end(), g_inputs.begin(), g_inputs.end());
    return Spawn(argv);
}

Run RunMogrify() {
    std::vector<std::string> argv = {"mogrify", "-path",     OutDir("mogrify"), "-gravity",
                                     "center",  "-crop",     "4000x2667+0+0",   "+repage",
                                     "-resize", "1800x1200", "-quality",        "100"};
    argv.insert(argv.end(), g_inputs.begin(), g_inputs.end());
    return Spawn(argv);
}

// The libvips loop, in a child so that its memory and threads are its own.
Run RunVips() {
    const std::string out = OutDir("vips");
    return bench::InChild([&] {
        if (VIPS_INIT("bench_batch")) return 1;
        for (const std::string& in : g_inputs) {
            VipsImage* image = nullptr;
            if (vips_thumbnail(in.c_str(), &image, 1800, "height", 1200, "crop",
                               VIPS_INTERESTING_CENTRE, nullptr))
                return 1;
            const std::string target = out + "/" + fs::path(in).filename().string();
            const int failed = vips_jpegsave(image, target.c_str(), "Q", 100, nullptr);
            g_object_unref(image);
            if (failed) return 1;
        }
        return 0;
    });
}

std::map<std::string, double> g_seconds;

template <Run (*Contender)()>
void Measure(benchmark::State& state, const char* name) {
    long peak = 0;
    double sum = 0;
    for (auto _ : state) {
        const Run r = Contender();
        if (!r.ok) {
            state.SkipWithError("the batch failed");
            return;
        }
        state.SetIterationTime(r.seconds);
        sum += r.seconds;
        peak = std::max(peak, r.peakKiB);
    }
    g_seconds[name] = sum / static_cast<double>(state.iterations());
    state.counters["peak_MiB"] = static_cast<double>(peak) / 1024.0;
}

void BM_BatchKadrovo(benchmark::State& s) {
    Measure<RunKadrovo>(s, "kadrovo");
}
void BM_BatchMogrify(benchmark::State& s) {
    Measure<RunMogrify>(s, "mogrify");
}
void BM_BatchVips(benchmark::State& s) {
    Measure<RunVips>(s, "vips");
}

BENCHMARK(BM_BatchKadrovo)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(2);
BENCHMARK(BM_BatchMogrify)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(2);
BENCHMARK(BM_BatchVips)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    MakePhotos();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const double ours = g_seconds["kadrovo"];
    if (ours > 0) {
        for (const char* tool : {"mogrify", "vips"})
            if (g_seconds.count(tool))
                std::printf("%s time / kadrovo time: %.2f\n", tool, g_seconds[tool] / ours);
    }
    fs::remove_all(g_dir);
    return 0;
}
