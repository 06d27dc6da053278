// A folder of forty 12-megapixel photos (4000 x 3000 JPEGs) made ready for "10 x 15" prints at
// "Foto bis 10cm x 15cm": the centred 3:2 frame cut out and reduced to 1800 x 1200, JPEG at the
// highest quality. Our batch command against
// - the floor of that work: djpeg decoding each photo and cjpeg -quality 100 encoding a picture of
//   the output's size (the reduced frame, made once beforehand), each a fresh process as from a
//   shell loop, two files at a time as our batch works;
// - ImageMagick's mogrify (gravity centre crop, resize, quality 100) and a libvips loop
//   (vips_thumbnail with a centre crop, then a JPEG save at Q 100), as their users run them, each
//   with every core it wants, in a child process of its own.
// Rounds run the contenders in turn, so that a change in the machine's load falls on all alike;
// printed are the median wall times, the peak memory of each, and the ratios against ours
// (ours over the floor: the cost above decoding and encoding). --rounds=N (3), --compare=PATH
// runs another build of the program as one more contender.
#include <spawn.h>
#include <unistd.h>
#include <vips/vips.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "imagelib/image.h"
#include "imagelib/jpeg_encoder.h"
#include "imagelib/library_start.h"
#include "imagelib/save.h"
#include "platform/raster.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kPhotos = 40, kW = 4000, kH = 3000;

fs::path g_dir;
std::vector<std::string> g_inputs;

std::string g_reduced;  // the output-sized picture the floor encodes, as a PPM file

// The output-sized picture: the centred 3:2 frame of the photo reduced to 1800 x 1200, as the
// batch makes it, so that the floor's encoder has the same pixels to code.
void MakeReduced(const raster::Bitmap& photo) {
    auto reduced = raster::Create(1800, 1200, 24, true, false);
    const int cutHeight = kW * 2 / 3;
    if (!reduced || !raster::StretchPart(*reduced, 0, 0, 1800, 1200, photo, 0, (kH - cutHeight) / 2,
                                         kW, cutHeight, raster::StretchMode::Halftone))
        std::abort();
    g_reduced = g_dir / "reduced.ppm";
    std::FILE* f = std::fopen(g_reduced.c_str(), "wb");
    std::fprintf(f, "P6\n1800 1200\n255\n");
    std::vector<uint8_t> rgb(1800 * 3);
    for (int y = 0; y < 1200; ++y) {
        const uint8_t* row = reduced->Row(y);
        for (int x = 0; x < 1800; ++x) {
            rgb[3 * x] = row[3 * x + 2];
            rgb[3 * x + 1] = row[3 * x + 1];
            rgb[3 * x + 2] = row[3 * x];
        }
        std::fwrite(rgb.data(), 1, rgb.size(), f);
    }
    if (std::fclose(f) != 0) std::abort();
}

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
    ImageLibraryStart();
    const fs::path first = g_dir / "photo00.jpg";
    if (!BitmapSaveFile(*bm, first.c_str(), JPEG_ENCODER_ID, 9)) std::abort();
    g_inputs.push_back(first);
    MakeReduced(*bm);
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

std::string g_compare;  // another build of the program, or empty

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

Run RunBatch(const char* binary) {
    std::vector<std::string> argv = {binary,  "--batch", "--format", "10x15",          "--size",
                                     "10x15", "--quiet", "--out",    OutDir("kadrovo")};
    argv.insert(argv.end(), g_inputs.begin(), g_inputs.end());
    return Spawn(argv);
}

Run RunKadrovo() {
    return RunBatch(KADROVO_BINARY);
}

Run RunCompared() {
    return RunBatch(g_compare.c_str());
}

// djpeg and cjpeg per photo, two photos at a time. Peak memory is the largest of one process.
Run RunFloor() {
    const std::string out = OutDir("floor");
    std::atomic<size_t> next{0};
    std::atomic<bool> ok{true};
    std::atomic<long> peak{0};
    auto worker = [&] {
        for (size_t i = next++; i < g_inputs.size(); i = next++) {
            const std::string target = out + "/" + fs::path(g_inputs[i]).filename().string();
            for (const Run& r :
                 {Spawn({"djpeg", "-outfile", "/dev/null", g_inputs[i]}),
                  Spawn({"cjpeg", "-quality", "100", "-outfile", target, g_reduced})}) {
                if (!r.ok) ok = false;
                long p = peak;
                while (r.peakKiB > p && !peak.compare_exchange_weak(p, r.peakKiB)) {
                }
            }
        }
    };
    const auto start = std::chrono::steady_clock::now();
    std::thread a(worker), b(worker);
    a.join();
    b.join();
    Run r;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.peakKiB = peak;
    r.ok = ok;
    return r;
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

struct Contender {
    const char* name;
    Run (*run)();
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--rounds=", 0) == 0) {
            rounds = std::max(1, std::atoi(a.c_str() + 9));
        } else if (a.rfind("--compare=", 0) == 0) {
            g_compare = a.substr(10);
        } else {
            std::fprintf(stderr, "usage: bench_batch [--rounds=N] [--compare=KADROVO]\n");
            return 2;
        }
    }
    MakePhotos();
    std::vector<Contender> contenders = {{"kadrovo", RunKadrovo},
                                         {"floor (djpeg + cjpeg)", RunFloor},
                                         {"mogrify", RunMogrify},
                                         {"vips", RunVips}};
    if (!g_compare.empty()) contenders.push_back({"compared build", RunCompared});
    std::map<std::string, std::vector<double>> times;
    std::map<std::string, long> peak;
    for (int round = 0; round < rounds; ++round) {
        for (const Contender& c : contenders) {
            const Run r = c.run();
            if (!r.ok) {
                std::fprintf(stderr, "%s failed\n", c.name);
                return 1;
            }
            times[c.name].push_back(r.seconds);
            peak[c.name] = std::max(peak[c.name], r.peakKiB);
            std::printf("round %d  %-22s %7.2f s  %6.0f MiB\n", round + 1, c.name, r.seconds,
                        static_cast<double>(r.peakKiB) / 1024.0);
            std::fflush(stdout);
        }
    }
    const double ours = Median(times["kadrovo"]);
    std::printf("\nmedians of %d rounds, %d photos of %d x %d:\n", rounds, kPhotos, kW, kH);
    for (const Contender& c : contenders)
        std::printf("  %-22s %7.2f s  peak %6.0f MiB\n", c.name, Median(times[c.name]),
                    static_cast<double>(peak[c.name]) / 1024.0);
    std::printf("kadrovo time / floor time: %.2f\n", ours / Median(times["floor (djpeg + cjpeg)"]));
    for (const char* tool : {"mogrify", "vips"})
        std::printf("%s time / kadrovo time: %.2f\n", tool, Median(times[tool]) / ours);
    if (!g_compare.empty())
        std::printf("compared build time / kadrovo time: %.2f\n",
                    Median(times["compared build"]) / ours);
    fs::remove_all(g_dir);
    return 0;
}
