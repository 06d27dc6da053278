// The tone pass on a preview-sized and a 24-megapixel picture, against two baselines measured in
// the same run: the obvious fast way, one 256-entry table per channel (what the pass itself does
// when saturation is at its default), and a plain per-pixel evaluation of the formulas (three
// powers per pixel). The pass is timed with saturation off its default (its full work) and at
// the default. Wall-clock time: the pass may hand rows to a second thread.
#include <benchmark/benchmark.h>

#include <algorithm>
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

// One table per channel, applied to every pixel: the floor of any per-channel stage.
void PlainTables(const uint8_t* src, uint8_t* dst, int width, int height, int bpp,
                 const uint8_t (&tables)[3][256]) {
    const size_t pixels = static_cast<size_t>(width) * height;
    for (size_t i = 0; i < pixels; ++i, src += bpp, dst += bpp) {
        dst[0] = tables[0][src[0]];
        dst[1] = tables[1][src[1]];
        dst[2] = tables[2][src[2]];
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

void BM_TonePassNoSaturation(benchmark::State& state) {
    Picture& p = Get(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    ToneParams params = kParams;
    params.saturation = 100;
    for (auto _ : state) {
        ToneAdjustBuffer(p.source.data(), p.target.data(), p.width, p.height, 4, params);
        benchmark::DoNotOptimize(p.target.data());
        benchmark::ClobberMemory();
    }
}

void BM_PlainTables(benchmark::State& state) {
    Picture& p = Get(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    int32_t channel[256];
    ToneChannelTable(kParams, channel);
    uint8_t tables[3][256];
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v)
            tables[c][v] = static_cast<uint8_t>(std::min(channel[v], 254));
    for (auto _ : state) {
        PlainTables(p.source.data(), p.target.data(), p.width, p.height, 4, tables);
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

BENCHMARK(BM_TonePass)->Args({480, 476})->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_TonePassNoSaturation)->Args({480, 476})->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_PlainTables)->Args({480, 476})->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_PlainFormula)->Args({480, 476})->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_TonePass)->Args({6000, 4000})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TonePassNoSaturation)
    ->Args({6000, 4000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_PlainTables)->Args({6000, 4000})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainFormula)->Args({6000, 4000})->Unit(benchmark::kMillisecond)->UseRealTime();

void PrintRatio(const TimeReporter& r, const char* what, const std::string& args) {
    auto time = [&](const char* name) {
        const auto it = r.seconds.find(std::string(name) + "/" + args + "/real_time");
        return it == r.seconds.end() ? 0.0 : it->second;
    };
    const double pass = time("BM_TonePass"), plain = time("BM_TonePassNoSaturation");
    const double tables = time("BM_PlainTables"), formula = time("BM_PlainFormula");
    if (pass <= 0 || plain <= 0 || tables <= 0 || formula <= 0) return;
    std::printf(
        "%s (wall clock): pass %.3f ms, pass without saturation %.3f ms, one table per channel "
        "%.3f ms, plain formulas %.3f ms\n  pass / tables %.2f, pass without saturation / tables "
        "%.2f, pass / formulas %.3f (below 1 is faster)\n",
        what, pass * 1e3, plain * 1e3, tables * 1e3, formula * 1e3, pass / tables, plain / tables,
        pass / formula);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    TimeReporter reporter(TimeReporter::Clock::Wall);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintRatio(reporter, "preview 480 x 476", "480/476");
    PrintRatio(reporter, "24 megapixels 6000 x 4000", "6000/4000");
    benchmark::Shutdown();
    return 0;
}
