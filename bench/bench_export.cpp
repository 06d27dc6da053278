// The export of a JPEG photo: decode, all five adjustments on the whole picture, a colour cast
// removed, a cut of two thirds of each side (4000 x 2667 at 24 megapixels), preset 5 ("Foto bis
// 15cm x 20cm", shorter side 1800) with the smoothing stretch, JPEG at the highest quality.
//
// Against, on the same file in the same run:
// - vips as its users run such a job: one pipeline in one process through the libvips C API
//   (load, gamma and linear adjustment, crop, box shrink, save at quality 100);
// - ImageMagick's single convert command (24 megapixels only: it needs minutes beyond);
// - the floor: djpeg of the file plus cjpeg -quality 100 of a picture of the output size.
// Every contender runs in a child process with its own threads as they come, so that its peak
// memory (ru_maxrss from wait4) is its own. "idle" is the peak of a child that does nothing:
// what every child starts with. The contenders run in rounds, each once per round (see Measure);
// printed are the median wall time and the highest peak memory, per megapixel at 6, 24 and 100
// megapixels, and the ratios. --benchmark_filter='BM_Export/24' picks one size.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#ifdef KADROVO_HAVE_VIPS
#include <vips/vips.h>
#endif

#include "bench/bench_support.h"
#include "imagelib/image.h"
#include "imagelib/jpeg_encoder.h"
#include "imagelib/library_start.h"
#include "imagelib/load.h"
#include "imagelib/save.h"
#include "imagelib/transform.h"
#include "picture/cast.h"
#include "picture/export.h"
#include "picture/tone.h"
#include "platform/raster.h"

namespace {

constexpr int kPreset = 5;
// Gamma exponent 1.35, white point 230, black point 20, saturation +30 %, contrast 120 %.
constexpr ToneParams kTone{120, 230, 20, 130, 120};
constexpr uint32_t kCast = 5 | 10 << 8;  // red 5, green 10, blue 0

struct Job {
    int megapixels;
    int width, height;  // the picture
    int cutW, cutH;     // the cut, from the top-left corner
    int outW, outH;     // the written picture
    std::string input;  // quality-90 JPEG of the picture
    std::string plain;  // PPM of the output size, for the floor's encoder
};

std::string g_dir;

const std::string& Dir() {
    if (g_dir.empty()) {
        char templ[] = "/tmp/kadrovo-bench-XXXXXX";
        g_dir = mkdtemp(templ);
    }
    return g_dir;
}

// A photo-like picture (gradients, noise, hard edges) as a quality-90 JPEG.
void WriteInput(Job& job) {
    auto bm = raster::Create(job.width, job.height, 24, true, false);
    uint32_t noise = 12345;
    for (int y = 0; y < job.height; ++y) {
        uint8_t* row = bm->Row(y);
        for (int x = 0; x < job.width; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const bool edge = ((x / 97) + (y / 61)) % 2 == 0;
            row[3 * x] = static_cast<uint8_t>((x * 255 / job.width + (noise >> 28)) & 255);
            row[3 * x + 1] =
                static_cast<uint8_t>((y * 255 / job.height + (noise >> 24 & 15)) & 255);
            row[3 * x + 2] = static_cast<uint8_t>(edge ? 220 - (noise >> 29) : 30 + (noise >> 29));
        }
    }
    ImageLibraryStart();
    ImageAdopt(1, std::move(bm), 0);
    job.input = Dir() + "/in" + std::to_string(job.megapixels) + ".jpg";
    if (!ImageSaveFile(1, job.input.c_str(), JPEG_ENCODER_ID, 9)) std::abort();
    ImageRelease(1);
}

// The output-sized picture the floor's encoder compresses, photo-like like the input.
void WritePlain(Job& job) {
    job.plain = Dir() + "/out" + std::to_string(job.megapixels) + ".ppm";
    std::FILE* f = std::fopen(job.plain.c_str(), "wb");
    if (!f) std::abort();
    std::fprintf(f, "P6\n%d %d\n255\n", job.outW, job.outH);
    std::vector<uint8_t> row(static_cast<size_t>(job.outW) * 3);
    uint32_t noise = 777;
    for (int y = 0; y < job.outH; ++y) {
        for (int x = 0; x < job.outW; ++x) {
            noise = noise * 1664525u + 1013904223u;
            row[3 * x] = static_cast<uint8_t>((x * 255 / job.outW + (noise >> 28)) & 255);
            row[3 * x + 1] = static_cast<uint8_t>((y * 255 / job.outH + (noise >> 24 & 15)) & 255);
            row[3 * x + 2] =
                static_cast<uint8_t>(((x / 65 + y / 41) % 2 ? 200 : 40) + (noise >> 29));
        }
        std::fwrite(row.data(), 1, row.size(), f);
    }
    std::fclose(f);
}

Job& GetJob(int megapixels) {
    static std::map<int, Job> jobs;
    Job& job = jobs[megapixels];
    if (!job.input.empty()) return job;
    job.megapixels = megapixels;
    // 3:2 pictures: 3000 x 2000, 6000 x 4000, 12240 x 8160.
    job.width = megapixels == 6 ? 3000 : megapixels == 24 ? 6000 : 12240;
    job.height = job.width * 2 / 3;
    job.cutW = (job.width * 2 + 2) / 3;
    job.cutH = (job.height * 2 + 2) / 3;
    const Sides out =
        OutputSizeFor(kPreset, job.cutW, job.cutH).value_or(Sides{job.cutW, job.cutH});
    job.outW = out.width;
    job.outH = out.height;
    WriteInput(job);
    WritePlain(job);
    return job;
}

// Our export, the steps SelectionExport runs between the dialog and the closing step: load, the
// pixel work with the file written as the window writes it, while the rest is adjusted.
int OurExport(const Job& job, const std::string& out) {
    ImageLibraryStart();
    if (!ImageLoadFile(100, job.input.c_str())) return 1;
    const ExportResult r = ExportPicture(
        *ImageGetBitmap(100), PixelRect{0, 0, job.cutW, job.cutH}, {kTone, kCast, kPreset}, {},
        [&](const raster::Bitmap& cut) {
            return cut.width == job.outW && cut.height == job.outH &&
                   BitmapSaveFile(cut, out.c_str(), JPEG_ENCODER_ID, kExportEncoderQuality);
        });
    return r.delivered ? 0 : 1;
}

#ifdef KADROVO_HAVE_VIPS
// The same job as one vips pipeline: gamma exponent 1.35, one linear step for white point,
// black point, contrast and the cast, the cut, a box shrink to the output size, quality 100.
int VipsExport(const Job& job, const std::string& out) {
    if (VIPS_INIT("bench_export")) return 1;
    VipsImage *in = nullptr, *gamma = nullptr, *lin = nullptr, *cut = nullptr, *small = nullptr;
    const double a[3] = {1.33, 1.33, 1.33}, b[3] = {-25, -30, -20};
    // Sequential access, as its own tools read a picture that is passed through once.
    int failed = vips_jpegload(job.input.c_str(), &in, "access", VIPS_ACCESS_SEQUENTIAL, nullptr) ||
                 vips_gamma(in, &gamma, "exponent", 1 / 1.35, nullptr) ||
                 vips_linear(gamma, &lin, a, b, 3, "uchar", TRUE, nullptr) ||
                 vips_crop(lin, &cut, 0, 0, job.cutW, job.cutH, nullptr) ||
                 vips_shrink(cut, &small, static_cast<double>(job.cutW) / job.outW,
                             static_cast<double>(job.cutH) / job.outH, nullptr) ||
                 vips_jpegsave(small, out.c_str(), "Q", 100, nullptr);
    for (VipsImage* image : {small, cut, lin, gamma, in})
        if (image) g_object_unref(image);
    vips_shutdown();
    return failed ? 1 : 0;
}
#endif

using bench::InChild;
using bench::Run;

// Runs one command line, its output to /dev/null. Through fork and exec rather than a spawn that
// shares this process's memory until the exec: the child would inherit this process's peak.
Run RunTool(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    return InChild([&] {
        const int out = open("/dev/null", O_WRONLY);
        if (out < 0 || dup2(out, 1) < 0) return 127;
        execvp(args[0], args.data());
        return 127;
    });
}

// The real convert, not a wrapper script in front of it.
std::string Convert() {
    struct stat st {};
    return stat("/usr/bin/convert", &st) == 0 ? "/usr/bin/convert" : "convert";
}

Run RunKadrovo(const Job& job) {
    return InChild([&] { return OurExport(job, Dir() + "/ours.jpg"); });
}

Run RunVips([[maybe_unused]] const Job& job) {
#ifdef KADROVO_HAVE_VIPS
    return InChild([&] { return VipsExport(job, Dir() + "/vips.jpg"); });
#else
    return Run{0, 0, false};
#endif
}

Run RunImageMagick(const Job& job) {
    const std::string crop = std::to_string(job.cutW) + "x" + std::to_string(job.cutH) + "+0+0";
    const std::string size = std::to_string(job.outW) + "x" + std::to_string(job.outH) + "!";
    return RunTool({Convert(),
                    job.input,
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
                    crop,
                    "+repage",
                    "-filter",
                    "Box",
                    "-resize",
                    size,
                    "-quality",
                    "100",
                    Dir() + "/magick.jpg"});
}

// Decoding the file and encoding the output-sized picture, nothing in between.
Run RunFloor(const Job& job) {
    Run decode = RunTool({"djpeg", job.input});
    Run encode = RunTool({"cjpeg", "-quality", "100", job.plain});
    return Run{decode.seconds + encode.seconds, std::max(decode.peakKiB, encode.peakKiB),
               decode.ok && encode.ok};
}

Run RunIdle(const Job&) {
    return InChild([] { return 0; });
}

struct Result {
    double seconds = 0;  // the median of the rounds
    double peakMiB = 0;  // the highest of the rounds
};
// By contender, then by megapixels.
std::map<std::string, std::map<int, Result>> g_results;

struct Contender {
    const char* name;
    Run (*run)(const Job&);
};

// Rounds in turn: every contender once per round, so that a change in the machine's load
// between rounds falls on all of them alike. ImageMagick, which takes seconds, runs in the first
// round only (at 24 megapixels: it needs minutes beyond); the idle child once, at 24.
void Measure(benchmark::State& state) {
    const Job& job = GetJob(static_cast<int>(state.range(0)));
    std::vector<Contender> contenders = {{"kadrovo", RunKadrovo}, {"floor", RunFloor}};
#ifdef KADROVO_HAVE_VIPS
    contenders.push_back({"vips", RunVips});
#endif
    std::map<std::string, std::vector<double>> seconds;
    std::map<std::string, long> peak;
    bool first = true;
    for (auto _ : state) {
        std::vector<Contender> round = contenders;
        if (first && job.megapixels == 24) {
            round.push_back({"imagemagick", RunImageMagick});
            round.push_back({"idle", RunIdle});
        }
        first = false;
        for (const Contender& c : round) {
            const Run r = c.run(job);
            if (!r.ok) {
                state.SkipWithError((std::string(c.name) + ": the export failed").c_str());
                return;
            }
            seconds[c.name].push_back(r.seconds);
            peak[c.name] = std::max(peak[c.name], r.peakKiB);
            if (c.run == RunKadrovo) state.SetIterationTime(r.seconds);
        }
    }
    for (auto& [name, times] : seconds) {
        std::sort(times.begin(), times.end());
        const size_t n = times.size();
        const double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
        g_results[name][job.megapixels] = {median, static_cast<double>(peak[name]) / 1024.0};
    }
    state.counters["peak_MiB"] = g_results["kadrovo"][job.megapixels].peakMiB;
}

void PrintTable() {
    const auto& ours = g_results["kadrovo"];
    const double idle = g_results["idle"].count(24) ? g_results["idle"][24].peakMiB : 0;
    std::printf("\nwall time and peak memory (idle child %.0f MiB)\n", idle);
    std::printf("%-12s %5s %10s %9s %10s %13s\n", "contender", "MP", "time ms", "ms/MP", "peak MiB",
                "(peak-idle)/MP");
    for (const auto& [name, bySize] : g_results) {
        if (name == "idle") continue;
        for (const auto& [mp, r] : bySize) {
            const Job& job = GetJob(mp);
            const double pixels = static_cast<double>(job.width) * job.height / 1e6;
            std::printf("%-12s %5d %10.0f %9.1f %10.0f %13.2f\n", name.c_str(), mp, r.seconds * 1e3,
                        r.seconds * 1e3 / pixels, r.peakMiB, (r.peakMiB - idle) / pixels);
        }
    }
    for (const auto& [mp, r] : ours) {
        const Job& job = GetJob(mp);
        std::printf("%d MP:", mp);
        for (const char* other : {"vips", "imagemagick", "floor"}) {
            const auto it = g_results[other].find(mp);
            if (it != g_results[other].end() && it->second.seconds > 0)
                std::printf("  kadrovo/%s time %.2f", other, r.seconds / it->second.seconds);
        }
        const double picture = static_cast<double>(job.width) * job.height * 3 / 1048576.0;
        const double cut = static_cast<double>(job.cutW) * job.cutH * 3 / 1048576.0;
        std::printf("\n      peak over idle %.0f MiB; picture + cut + 64 MiB = %.0f MiB\n",
                    r.peakMiB - idle, picture + cut + 64);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // The inputs first, so that the idle child starts from what every contender starts from.
    for (int mp : {6, 24, 100})
        GetJob(mp);
    for (int mp : {6, 24, 100})
        benchmark::RegisterBenchmark("BM_Export", Measure)
            ->Arg(mp)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(mp >= 100 ? 3 : 5);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintTable();
    if (!g_dir.empty()) std::system(("rm -rf '" + g_dir + "'").c_str());
    return 0;
}
