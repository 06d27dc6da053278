// Loading a 24-megapixel JPEG into image 100, against a bare libjpeg-turbo decode of the same
// file in the same run. Prints the ratio of the two (ours / bare).
// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/time_reporter.h"
#include "imagelib/image.h"
#include "imagelib/load.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// A photo-like picture: smooth shading, edges and a little grain, so the coder has real work.
void PhotoRow(int y, std::vector<uint8_t>& row) {
    uint32_t seed = 2166136261u ^ static_cast<uint32_t>(y);
    for (int x = 0; x < kWidth; ++x) {
        seed = seed * 1664525u + 1013904223u;
        int grain = static_cast<int>(seed >> 28) - 8;
        double sky = 0.5 + 0.5 * std::sin(x * 0.0021) * std::cos(y * 0.0017);
        bool hill = y > kHeight / 2 + 300 * std::sin(x * 0.003);
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

// Writes the picture as a quality-90 JPEG once per run; returns its path.
const std::string& PhotoFile() {
    static std::string path = [] {
        std::string p = "/tmp/kadrovo-bench-load-" + std::to_string(::getpid()) + ".jpg";
        std::FILE* f = std::fopen(p.c_str(), "wb");
        jpeg_compress_struct c;
        jpeg_error_mgr err;
        c.err = jpeg_std_error(&err);
        jpeg_create_compress(&c);
        jpeg_stdio_dest(&c, f);
        c.image_width = kWidth;
        c.image_height = kHeight;
        c.input_components = 3;
        c.in_color_space = JCS_RGB;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, 90, TRUE);
        jpeg_start_compress(&c, TRUE);
        std::vector<uint8_t> row(kWidth * 3);
        while (c.next_scanline < c.image_height) {
            PhotoRow(static_cast<int>(c.next_scanline), row);
            JSAMPROW r = row.data();
            jpeg_write_scanlines(&c, &r, 1);
        }
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
        std::fclose(f);
        return p;
    }();
    return path;
}

void BM_ImageLoadFile(benchmark::State& state) {
    const std::string& path = PhotoFile();
    for (auto _ : state) {
        raster::Bitmap* bm = ImageLoadFile(100, path.c_str()).bitmap;
        if (!bm) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(bm);
    }
}
BENCHMARK(BM_ImageLoadFile)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The plain library loop: stdio source, accurate DCT, RGB rows into a fresh picture buffer.
void BM_BareLibjpeg(benchmark::State& state) {
    const std::string& path = PhotoFile();
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        jpeg_decompress_struct d;
        jpeg_error_mgr err;
        d.err = jpeg_std_error(&err);
        jpeg_create_decompress(&d);
        jpeg_stdio_src(&d, f);
        jpeg_read_header(&d, TRUE);
        d.dct_method = JDCT_ISLOW;
        jpeg_start_decompress(&d);
        size_t stride = (d.output_width * 3 + 3) & ~3u;
        std::unique_ptr<uint8_t[]> pixels(new uint8_t[stride * d.output_height]());
        while (d.output_scanline < d.output_height) {
            JSAMPROW r = pixels.get() + d.output_scanline * stride;
            jpeg_read_scanlines(&d, &r, 1);
        }
        jpeg_finish_decompress(&d);
        jpeg_destroy_decompress(&d);
        std::fclose(f);
        benchmark::DoNotOptimize(pixels.get());
    }
}
BENCHMARK(BM_BareLibjpeg)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    ImageResetDecoders();
    ImageInit();
    RegisterJpegDecoder();
    RegisterPngDecoder();
    TimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double ours = 0, bare = 0;
    for (const auto& [name, time] : reporter.seconds) {
        if (name.rfind("BM_ImageLoadFile", 0) == 0) ours = time;
        if (name.rfind("BM_BareLibjpeg", 0) == 0) bare = time;
    }
    if (ours > 0 && bare > 0)
        std::printf("24-megapixel JPEG: ImageLoadFile / bare libjpeg = %.3f\n", ours / bare);
    ImageReleaseAll();
    std::remove(PhotoFile().c_str());
    return 0;
}
