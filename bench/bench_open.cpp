// Opening a JPEG photo as the user sees it: file to preview (decode, orientation, preview
// reduction, repaint and capture, the whole LoadPicture of the main window), against a bare
// libjpeg-turbo decode of the same file into memory the way djpeg decodes it (stdio source,
// accurate DCT, RGB rows), in the same run. The picture is stored upright (orientation 1) and, the
// same pixels, with EXIF orientation 6 as phones store portraits, at 6, 24 and 100 megapixels.
// Wall-clock time (the open may hand work to a second thread), the median of rounds that run
// the three in turn. Peak memory is measured in a child
// process (this program started again) that opens the file once; printed is the peak over what
// the child held before the open. Prints the ratios and the time and memory per megapixel.
// The cost of confined decoding: the same open with the decoder run in this process and in the
// confined helper, in alternate turns, for a 12-megapixel HEIC made by heif-enc
// (libheif-examples) from a JPEG of the same photo. Before either turn the spare
// helper has finished starting up, as it has between a user's opens; its start-up (starting a
// program linked with the codec libraries) is paid once before the first confined open.
// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/mainwindow.h"
#include "app/shell.h"
#include "imagelib/confined_decode.h"
#include "imagelib/image.h"
#include "imagelib/load_limits.h"

namespace {

struct Size {
    int megapixels, width, height;
};
constexpr Size kSizes[] = {{6, 3000, 2000}, {24, 6000, 4000}, {100, 12240, 8160}};

// A photo-like picture: smooth shading, edges and a little grain, so the coder has real work.
void PhotoRow(int y, int width, int height, std::vector<uint8_t>& row) {
    uint32_t seed = 2166136261u ^ static_cast<uint32_t>(y);
    for (int x = 0; x < width; ++x) {
        seed = seed * 1664525u + 1013904223u;
        int grain = static_cast<int>(seed >> 28) - 8;
        double sky = 0.5 + 0.5 * std::sin(x * 0.0021) * std::cos(y * 0.0017);
        bool hill = y > height / 2 + 300 * std::sin(x * 0.003);
        int r = hill ? 60 + static_cast<int>(80 * sky) : 120 + static_cast<int>(100 * sky);
        int g = hill ? 110 + static_cast<int>(60 * sky) : 150 + static_cast<int>(80 * sky);
        int b = hill ? 40 + static_cast<int>(30 * sky) : 200 + static_cast<int>(50 * sky);
        if ((x / 40 + y / 40) % 17 == 0) r = g = b = 230;  // scattered bright blocks
        auto clamp = [](int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
        row[x * 3] = clamp(r + grain);
        row[x * 3 + 1] = clamp(g + grain);
        row[x * 3 + 2] = clamp(b + grain);
    }
}

// An APP1 segment body with one IFD0 entry: the orientation.
std::vector<uint8_t> ExifOrientation(int orientation) {
    return {'E', 'x', 'i', 'f',  0,    0, 'M', 'M', 0, 42, 0, 0, 0,
            8,   0,   1,   0x01, 0x12, 0, 3,   0,   0, 0,  1, 0, static_cast<uint8_t>(orientation),
            0,   0,   0,   0,    0,    0};
}

// Writes the picture as a quality-90 JPEG in camera order (4:2:0) once per size and
// orientation; returns its path.
const std::string& PhotoFile(const Size& size, int orientation) {
    static std::map<int, std::string> paths;
    std::string& path = paths[size.megapixels * 10 + orientation];
    if (!path.empty()) return path;
    path = "/tmp/kadrovo-bench-open-" + std::to_string(::getpid()) + "-" +
           std::to_string(size.megapixels) + "-" + std::to_string(orientation) + ".jpg";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = size.width;
    c.image_height = size.height;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    const std::vector<uint8_t> exif = ExifOrientation(orientation);
    jpeg_write_marker(&c, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
    std::vector<uint8_t> row(static_cast<size_t>(size.width) * 3);
    while (c.next_scanline < c.image_height) {
        PhotoRow(static_cast<int>(c.next_scanline), size.width, size.height, row);
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
    return path;
}

// The plain library loop, as djpeg runs it, into one buffer for the whole picture.
bool BareDecode(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, f);
    jpeg_read_header(&d, TRUE);
    d.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&d);
    const size_t stride = size_t{d.output_width} * 3;
    std::unique_ptr<uint8_t[]> pixels(new uint8_t[stride * d.output_height]);
    while (d.output_scanline < d.output_height) {
        JSAMPROW r = pixels.get() + d.output_scanline * stride;
        jpeg_read_scanlines(&d, &r, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    std::fclose(f);
    benchmark::DoNotOptimize(pixels.get());
    return true;
}

bool g_window = false;

bool MainWindow() {
    if (!g_window) g_window = StartUpLibraries() && BuildMainWindow();
    if (g_window) SetStartingState();
    return g_window;
}

// Median wall seconds by megapixels and contender: "bare", "upright", "turned".
std::map<int, std::map<std::string, double>> g_medians;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Rounds in turn: the bare decode, the upright open and the turned open once per round, so that
// a change in the machine's load between rounds falls on all three alike; the medians are
// compared.
void BM_OpenRounds(benchmark::State& state) {
    const Size& size = kSizes[state.range(0)];
    if (!MainWindow()) {
        state.SkipWithError("no main window");
        return;
    }
    std::map<std::string, std::vector<double>> seconds;
    auto timed = [&](const char* name, auto work) {
        const auto start = std::chrono::steady_clock::now();
        const bool ok = work();
        seconds[name].push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        return ok;
    };
    for (auto _ : state) {
        const bool ok =
            timed("bare", [&] { return BareDecode(PhotoFile(size, 1)); }) &&
            timed("upright", [&] { return LoadPicture(PhotoFile(size, 1)) && ImageExists(101); }) &&
            timed("turned", [&] { return LoadPicture(PhotoFile(size, 6)) && ImageExists(101); });
        if (!ok) {
            state.SkipWithError("an open or decode failed");
            return;
        }
        state.SetIterationTime(seconds["upright"].back());
    }
    for (const auto& [name, times] : seconds)
        g_medians[size.megapixels][name] = Median(times);
}

// A 12-megapixel HEIC of the photo, made once by heif-enc; empty when it cannot be made.
const std::string& HeicFile() {
    static std::string path;
    if (!path.empty()) return path;
    const std::string jpeg = PhotoFile({12, 4000, 3000}, 1);
    const std::string heic = "/tmp/kadrovo-bench-open-" + std::to_string(::getpid()) + ".heic";
    const std::string command = "heif-enc -q 90 -o '" + heic + "' '" + jpeg + "' > /dev/null";
    if (std::system(command.c_str()) == 0) path = heic;
    std::remove(jpeg.c_str());
    return path;
}

// Median wall seconds of the confinement rounds by file and decoder place.
std::map<std::string, std::map<bool, double>> g_confinement;

// Rounds in turn: the open with the decoder in this process, then confined.
void BM_ConfinementRounds(benchmark::State& state, std::string name) {
    const std::string& path = HeicFile();
    if (!MainWindow() || path.empty()) {
        state.SkipWithError("no main window or no file");
        return;
    }
    std::map<bool, std::vector<double>> seconds;
    for (auto _ : state) {
        for (bool confined : {false, true}) {
            LoadLimits limits;
            limits.decodeConfined = confined;
            ImageSetLoadLimits(limits);
            // The helper the confined open takes has started up, as between a user's opens; its
            // start-up never overlaps either contender.
            if (!ConfinedHelperReady()) {
                state.SkipWithError("no decoding helper");
                return;
            }
            const auto start = std::chrono::steady_clock::now();
            const bool ok = LoadPicture(path) && ImageExists(101);
            seconds[confined].push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            if (!ok) {
                state.SkipWithError("an open failed");
                return;
            }
        }
        state.SetIterationTime(seconds[true].back());
    }
    ImageSetLoadLimits(LoadLimits{});
    for (bool confined : {false, true})
        g_confinement[name][confined] = Median(seconds[confined]);
}

// Peak resident memory so far, in KiB.
long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The child's side: opens (or decodes) the file once and prints the peak before and after.
int MeasureChild(const char* kind, const char* path) {
    const bool open = std::strcmp(kind, "open") == 0;
    if (open && !MainWindow()) return 1;
    const long before = PeakKiB();
    const bool ok = open ? LoadPicture(path) : BareDecode(path);
    std::printf("%ld %ld\n", before, PeakKiB());
    return ok ? 0 : 1;
}

// Peak memory of one open or bare decode over what the child held before it, in MiB.
double ChildPeakMiB(const char* self, const char* kind, const std::string& path) {
    const std::string command = std::string(self) + " --measure " + kind + " '" + path + "'";
    std::FILE* p = popen(command.c_str(), "r");
    long before = 0, after = 0;
    if (!p) return -1;
    const bool got = std::fscanf(p, "%ld %ld", &before, &after) == 2;
    return pclose(p) == 0 && got ? static_cast<double>(after - before) / 1024.0 : -1;
}

void Register() {
    for (int i = 0; i < 3; ++i) {
        const int rounds = kSizes[i].megapixels >= 100 ? 5 : kSizes[i].megapixels >= 24 ? 9 : 15;
        benchmark::RegisterBenchmark("BM_Open", BM_OpenRounds)
            ->Arg(i)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(rounds);
    }
    benchmark::RegisterBenchmark("BM_Confinement/heic12", BM_ConfinementRounds, "12 MP HEIC")
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(11);
}

}  // namespace

int main(int argc, char** argv) {
    // The window is never shown on screen; the offscreen platform serves when none is chosen.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (argc == 4 && std::strcmp(argv[1], "--measure") == 0) return MeasureChild(argv[2], argv[3]);
    benchmark::Initialize(&argc, argv);
    Register();
    benchmark::RunSpecifiedBenchmarks();
    std::printf("\n%5s %-22s %9s %7s %9s %8s %11s\n", "MP", "", "time ms", "ms/MP", "/ bare",
                "peak MiB", "peak MiB/MP");
    for (int i = 0; i < 3; ++i) {
        const Size& size = kSizes[i];
        auto& medians = g_medians[size.megapixels];
        const double bare = medians["bare"];
        if (bare <= 0) continue;
        const double mp = static_cast<double>(size.width) * size.height / 1e6;
        auto line = [&](const char* what, double t, const char* kind, int orientation) {
            const double peak = ChildPeakMiB(argv[0], kind, PhotoFile(size, orientation));
            std::printf("%5d %-22s %9.1f %7.2f %9.3f %8.0f %11.2f\n", size.megapixels, what,
                        t * 1e3, t * 1e3 / mp, t / bare, peak, peak / mp);
        };
        line("bare decode", bare, "bare", 1);
        const double upright = medians["upright"], turned = medians["turned"];
        if (upright > 0) line("open, upright", upright, "open", 1);
        if (turned > 0) line("open, orientation 6", turned, "open", 6);
        if (upright > 0 && turned > 0)
            std::printf("%5d orientation 6 / upright: %.3f\n", size.megapixels, turned / upright);
    }
    std::printf("\n%-12s %14s %12s %10s %8s\n", "confinement", "in process ms", "confined ms",
                "extra ms", "ratio");
    for (const auto& [name, medians] : g_confinement) {
        const double inside = medians.at(false), confined = medians.at(true);
        std::printf("%-12s %14.1f %12.1f %10.1f %8.3f\n", name.c_str(), inside * 1e3,
                    confined * 1e3, (confined - inside) * 1e3, confined / inside);
    }
    ShutDownLibraries();
    benchmark::Shutdown();
    if (!g_confinement.empty() && !HeicFile().empty()) std::remove(HeicFile().c_str());
    for (const Size& size : kSizes)
        for (int orientation : {1, 6})
            std::remove(PhotoFile(size, orientation).c_str());
    return 0;
}
