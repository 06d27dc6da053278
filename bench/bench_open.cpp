// Opening a JPEG photo as the user sees it: file to preview (decode, orientation, preview
// reduction, repaint and capture, the whole LoadPicture of the main window), at 6, 24 and 100
// megapixels, stored upright (orientation 1) and, the same pixels, with EXIF orientation 6 as
// phones store portraits.
//
// The headline is the open in a fresh process, what "Open with" gives a user: this program is
// started again for each open (window built, then the one open timed, then its peak memory over
// what it held before). Its baseline is a bare libjpeg-turbo decode in a fresh process too: this
// program started again to decode the file with the library alone, the way djpeg does (stdio
// source, accurate DCT, fancy upsampling), into one buffer for the whole picture, timed the same
// way. Beside it, for reference, djpeg itself writing to /dev/null, a whole process less the same
// process for a 16 x 16 picture (its start-up); it holds no more than a few rows at a time.
// Beside the fresh figures the warm ones: the same file opened again and again in one process,
// against the bare decode in that process. Wall-clock time (the open may hand work to a second
// thread); every figure is the median of rounds that run all contenders in turn, so that a change
// in the machine's load falls on all alike.
//
// The cost of confined decoding: the same open with the decoder run in this process and in the
// confined helper, in alternate turns, for a 12-megapixel HEIC made by heif-enc
// (libheif-examples) from a JPEG of the same photo; each turn also releases the picture it
// opened. Before either turn the spare helper has finished starting up, as it has between a
// user's opens; its start-up (starting a program linked with the codec libraries) is paid once
// before the first confined open. The cost is the median over rounds of confined less in
// process within the round, with its quartiles beside it for the spread.
// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on
#include <benchmark/benchmark.h>
#include <fcntl.h>
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
#include "bench/bench_support.h"
#include "imagelib/confined_decode.h"
#include "imagelib/image.h"
#include "imagelib/load_limits.h"

namespace {

struct Size {
    int megapixels, width, height;
};
constexpr Size kSizes[] = {{6, 3000, 2000}, {24, 6000, 4000}, {100, 12240, 8160}};
constexpr Size kTiny = {0, 16, 16};  // djpeg's start-up

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

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Peak resident memory so far, in KiB.
long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// ---------------------------------------------------------------------------------------------
// Fresh processes
// ---------------------------------------------------------------------------------------------

// The child's side: opens (or decodes) the file once and prints its peak before and after and
// the seconds the open took.
int MeasureChild(const char* kind, const char* path) {
    const bool open = std::strcmp(kind, "open") == 0;
    if (open && !MainWindow()) return 1;
    const long before = PeakKiB();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = open ? LoadPicture(path) && ImageExists(101) : BareDecode(path);
    const double seconds = Since(start);
    std::printf("%ld %ld %.9f\n", before, PeakKiB(), seconds);
    return ok ? 0 : 1;
}

struct Fresh {
    double seconds = -1;
    double peakMiB = -1;  // over what the child held before the open
};

// This program started again for one open or bare decode of `path`.
Fresh InFreshProcess(const char* kind, const std::string& path) {
    const std::string command =
        "exec /proc/" + std::to_string(::getpid()) + "/exe --measure " + kind + " '" + path + "'";
    std::FILE* p = popen(command.c_str(), "r");
    if (!p) return {};
    long before = 0, after = 0;
    double seconds = 0;
    const bool got = std::fscanf(p, "%ld %ld %lf", &before, &after, &seconds) == 3;
    if (pclose(p) != 0 || !got) return {};
    return {seconds, static_cast<double>(after - before) / 1024.0};
}

// djpeg decoding `path` to /dev/null, the whole process.
double Djpeg(const std::string& path) {
    const bench::Run run = bench::InChild([&] {
        const int out = open("/dev/null", O_WRONLY);
        if (out < 0 || dup2(out, 1) < 0) return 127;
        execlp("djpeg", "djpeg", path.c_str(), static_cast<char*>(nullptr));
        return 127;
    });
    return run.ok ? run.seconds : -1;
}

// Median seconds and peak MiB by megapixels and contender.
struct Figure {
    double seconds = 0, peakMiB = -1;
};
std::map<int, std::map<std::string, Figure>> g_fresh, g_warm;

void BM_FreshOpenRounds(benchmark::State& state) {
    const Size& size = kSizes[state.range(0)];
    std::map<std::string, std::vector<double>> seconds, peaks;
    for (auto _ : state) {
        const Fresh bare = InFreshProcess("bare", PhotoFile(size, 1));
        const Fresh upright = InFreshProcess("open", PhotoFile(size, 1));
        const Fresh turned = InFreshProcess("open", PhotoFile(size, 6));
        const double djpeg = Djpeg(PhotoFile(size, 1)), tiny = Djpeg(PhotoFile(kTiny, 1));
        if (bare.seconds < 0 || upright.seconds < 0 || turned.seconds < 0 || djpeg < 0 ||
            tiny < 0) {
            state.SkipWithError("an open or decode failed");
            return;
        }
        for (const auto& [name, f] :
             {std::pair{"bare", bare}, {"upright", upright}, {"turned", turned}}) {
            seconds[name].push_back(f.seconds);
            peaks[name].push_back(f.peakMiB);
        }
        seconds["djpeg"].push_back(djpeg - tiny);
        state.SetIterationTime(upright.seconds);
    }
    for (const auto& [name, times] : seconds)
        g_fresh[size.megapixels][name] = {Median(times),
                                          peaks.count(name) ? Median(peaks[name]) : -1};
}

// ---------------------------------------------------------------------------------------------
// One warm process
// ---------------------------------------------------------------------------------------------

// Rounds in turn: the bare decode, the upright open and the turned open once per round.
void BM_WarmOpenRounds(benchmark::State& state) {
    const Size& size = kSizes[state.range(0)];
    if (!MainWindow()) {
        state.SkipWithError("no main window");
        return;
    }
    std::map<std::string, std::vector<double>> seconds;
    auto timed = [&](const char* name, auto work) {
        const auto start = std::chrono::steady_clock::now();
        const bool ok = work();
        seconds[name].push_back(Since(start));
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
        g_warm[size.megapixels][name].seconds = Median(times);
}

// ---------------------------------------------------------------------------------------------
// Confinement
// ---------------------------------------------------------------------------------------------

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

// The confinement rounds by file: the median open in this process and confined, and the
// quartiles of the paired differences (confined less in process, within one round).
struct ConfinementFigures {
    double inside = 0, confined = 0;
    double extra[3] = {};  // lower quartile, median, upper quartile
    size_t rounds = 0;
};
std::map<std::string, ConfinementFigures> g_confinement;

// The q-quantile of `v` (0..1), interpolated between neighbours.
double Quantile(std::vector<double> v, double q) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const double at = q * static_cast<double>(v.size() - 1);
    const size_t below = static_cast<size_t>(at);
    const size_t above = std::min(below + 1, v.size() - 1);
    return v[below] + (v[above] - v[below]) * (at - static_cast<double>(below));
}

// Rounds of one open with the decoder in this process and one confined, the order swapped from
// round to round so that a drift in the machine's load falls on both alike. Each turn is the open
// and the release of the picture it made, so that freeing a picture's memory is paid by the turn
// that made it and never by the next (a confined picture's shared memory is given back on a
// thread of its own, as in the program, which waits only for handing it over).
// The headline is the median of the rounds' differences: the load of the other processes on
// the machine swings an open by more than the confinement costs, and both turns of a round see
// nearly the same load.
void BM_ConfinementRounds(benchmark::State& state, std::string name) {
    const std::string& path = HeicFile();
    if (!MainWindow() || path.empty()) {
        state.SkipWithError("no main window or no file");
        return;
    }
    std::map<bool, std::vector<double>> seconds;
    std::vector<double> extra;
    bool confinedFirst = false;
    for (auto _ : state) {
        for (bool confined : {confinedFirst, !confinedFirst}) {
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
            ImageRelease(100);
            seconds[confined].push_back(Since(start));
            if (!ok) {
                state.SkipWithError("an open failed");
                return;
            }
        }
        confinedFirst = !confinedFirst;
        extra.push_back(seconds[true].back() - seconds[false].back());
        state.SetIterationTime(seconds[true].back());
    }
    ImageSetLoadLimits(LoadLimits{});
    ConfinementFigures& f = g_confinement[name];
    f.inside = Median(seconds[false]);
    f.confined = Median(seconds[true]);
    for (int i = 0; i < 3; ++i)
        f.extra[i] = Quantile(extra, 0.25 * (i + 1));
    f.rounds = extra.size();
}

void Register() {
    for (int i = 0; i < 3; ++i) {
        const int rounds = kSizes[i].megapixels >= 100 ? 5 : kSizes[i].megapixels >= 24 ? 7 : 11;
        benchmark::RegisterBenchmark("BM_FreshOpen", BM_FreshOpenRounds)
            ->Arg(i)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(rounds);
    }
    for (int i = 0; i < 3; ++i) {
        const int rounds = kSizes[i].megapixels >= 100 ? 5 : kSizes[i].megapixels >= 24 ? 9 : 15;
        benchmark::RegisterBenchmark("BM_WarmOpen", BM_WarmOpenRounds)
            ->Arg(i)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(rounds);
    }
    benchmark::RegisterBenchmark("BM_Confinement/heic12", BM_ConfinementRounds, "12 MP HEIC")
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(21);
}

void PrintTable() {
    std::printf("\n%5s %-30s %9s %7s %8s %8s %11s\n", "MP", "", "time ms", "ms/MP", "/ bare",
                "peak MiB", "peak MiB/MP");
    for (const Size& size : kSizes) {
        const double mp = static_cast<double>(size.width) * size.height / 1e6;
        auto line = [&](const char* what, const Figure& f, double bare) {
            if (f.seconds <= 0) return;
            std::printf("%5d %-30s %9.1f %7.2f %8.3f", size.megapixels, what, f.seconds * 1e3,
                        f.seconds * 1e3 / mp, bare > 0 ? f.seconds / bare : 0.0);
            if (f.peakMiB >= 0) {
                std::printf(" %8.0f %11.2f\n", f.peakMiB, f.peakMiB / mp);
            } else {
                std::printf(" %8s %11s\n", "-", "-");
            }
        };
        auto& fresh = g_fresh[size.megapixels];
        const double freshBare = fresh["bare"].seconds;
        if (freshBare > 0) {
            line("fresh: bare decode", fresh["bare"], freshBare);
            line("fresh: djpeg less start-up", fresh["djpeg"], freshBare);
            line("fresh: open, upright", fresh["upright"], freshBare);
            line("fresh: open, orientation 6", fresh["turned"], freshBare);
        }
        auto& warm = g_warm[size.megapixels];
        const double warmBare = warm["bare"].seconds;
        if (warmBare > 0) {
            line("warm: bare decode", warm["bare"], warmBare);
            line("warm: open, upright", warm["upright"], warmBare);
            line("warm: open, orientation 6", warm["turned"], warmBare);
        }
    }
    std::printf("\n%-12s %7s %14s %12s %26s\n", "confinement", "rounds", "in process ms",
                "confined ms", "extra ms (quartiles)");
    for (const auto& [name, f] : g_confinement)
        std::printf("%-12s %7zu %14.1f %12.1f %8.1f %8.1f %8.1f\n", name.c_str(), f.rounds,
                    f.inside * 1e3, f.confined * 1e3, f.extra[0] * 1e3, f.extra[1] * 1e3,
                    f.extra[2] * 1e3);
}

}  // namespace

int main(int argc, char** argv) {
    // The window is never shown on screen; the offscreen platform serves when none is chosen.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (argc == 4 && std::strcmp(argv[1], "--measure") == 0) return MeasureChild(argv[2], argv[3]);
    benchmark::Initialize(&argc, argv);
    Register();
    // The files are written before the first round, not inside it.
    for (const Size& size : kSizes)
        for (int orientation : {1, 6})
            PhotoFile(size, orientation);
    PhotoFile(kTiny, 1);
    benchmark::RunSpecifiedBenchmarks();
    PrintTable();
    ShutDownLibraries();
    benchmark::Shutdown();
    for (const Size& size : kSizes)
        for (int orientation : {1, 6})
            std::remove(PhotoFile(size, orientation).c_str());
    std::remove(PhotoFile(kTiny, 1).c_str());
    if (!g_confinement.empty() && !HeicFile().empty()) std::remove(HeicFile().c_str());
    return 0;
}
