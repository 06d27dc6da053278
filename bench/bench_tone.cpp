// The tone pass against a plain per-pixel evaluation of its formulas (three powers per pixel), on
// a preview-sized and a 24-megapixel picture. Prints each speed-up measured in the same run.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/time_reporter.h"
#include "picture/tone.h"

namespace {

// Off the defaults everywhere, so that every stage, saturation included, does work.
constexpr ToneParams kParams{120, 230, 20, 130, 110};

int Near(double x) {
    return static_cast<int>(std::nearbyint(x));
}

int PlainChannel(int v, float e, float w, int k, float f, int offset) {
    const float b = static_cast<float>(static_cast<double>(f) * (v / 255.0));
    const float p = static_cast<float>(std::pow(static_cast<double>(b), static_cast<double>(e)));
    v = Near(255.0 * p + offset);
    v = Near(v * static_cast<double>(w));
    if (v < 0) v = 0;
    v -= k / (v + 1);
    return v < 0 ? 0 : v;
}

void PlainPass(const uint8_t* src, uint8_t* dst, int width, int height, int bpp,
               const ToneParams& prm) {
    const float e = static_cast<float>(255 - prm.gamma) / 100.0f;
    const float w = 255.0f / static_cast<float>(prm.white);
    const float s = static_cast<float>(prm.saturation - 100) / 100.0f;
    const float f = static_cast<float>(prm.contrast) / 100.0f;
    const int k = 40 * prm.black, offset = 100 - prm.contrast;
    const double weightRed = 0.30000000000000004;
    const size_t pixels = static_cast<size_t>(width) * height;
    for (size_t i = 0; i < pixels; ++i, src += bpp, dst += bpp) {
        const int r = PlainChannel(src[2], e, w, k, f, offset);
        const int g = PlainChannel(src[1], e, w, k, f, offset);
        const int b = PlainChannel(src[0], e, w, k, f, offset);
        const int y = Near(weightRed * r + 0.59 * g + 0.11 * b);
        auto sat = [&](int v) {
            const int o = Near(v + static_cast<double>(s) * (v - y));
            return static_cast<uint8_t>(o < 0 ? 0 : (o > 254 ? 254 : o));
        };
        dst[2] = sat(r);
        dst[1] = sat(g);
        dst[0] = sat(b);
    }
}

struct Picture {
    int width, height;
    std::vector<uint8_t> source, target;
};

// A picture with varied, photo-like content: smooth gradients with some noise.
Picture& Get(int width, int height) {
    static std::map<int64_t, Picture> cache;
    Picture& p = cache[int64_t{width} * 100000 + height];
    if (p.source.empty()) {
        p.width = width;
        p.height = height;
        p.source.resize(static_cast<size_t>(width) * height * 4);
        p.target.resize(p.source.size());
        uint32_t noise = 12345;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                noise = noise * 1664525u + 1013904223u;
                uint8_t* px = &p.source[(static_cast<size_t>(y) * width + x) * 4];
                px[0] = static_cast<uint8_t>((x * 255 / width + (noise >> 28)) & 255);
                px[1] = static_cast<uint8_t>((y * 255 / height + (noise >> 24 & 15)) & 255);
                px[2] = static_cast<uint8_t>(((x + y) * 127 / (width + height) + 64) & 255);
            }
    }
    return p;
}

void BM_TonePass(benchmark::State& state) {
    Picture& p = Get(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        ToneAdjustBuffer(p.source.data(), p.target.data(), p.width, p.height, 4, kParams);
        benchmark::DoNotOptimize(p.target.data());
        benchmark::ClobberMemory();
    }
}

void BM_PlainFormula(benchmark::State& state) {
    Picture& p = Get(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        PlainPass(p.source.data(), p.target.data(), p.width, p.height, 4, kParams);
        benchmark::DoNotOptimize(p.target.data());
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_TonePass)->Args({480, 476})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainFormula)->Args({480, 476})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TonePass)->Args({6000, 4000})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainFormula)->Args({6000, 4000})->Unit(benchmark::kMillisecond);

void PrintRatio(const TimeReporter& r, const char* what, const std::string& args) {
    const auto fast = r.seconds.find("BM_TonePass/" + args);
    const auto plain = r.seconds.find("BM_PlainFormula/" + args);
    if (fast == r.seconds.end() || plain == r.seconds.end() || fast->second <= 0) return;
    std::printf("%s: table-driven pass %.3f ms, plain formulas %.3f ms (CPU), %.1fx faster\n", what,
                fast->second * 1e3, plain->second * 1e3, plain->second / fast->second);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    TimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintRatio(reporter, "preview 480 x 476", "480/476");
    PrintRatio(reporter, "24 megapixels 6000 x 4000", "6000/4000");
    benchmark::Shutdown();
    return 0;
}
