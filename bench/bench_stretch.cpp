// The halftone stretch of a 24-megapixel picture into a preview (6000 x 4000 to 480 x 320),
// against the toolkit's own smooth scaling of the same pixels in the same pixel format (24 bits
// against RGB888, 32 bits against RGB32), the toolkit both with its thread pool as it comes and
// held to one thread. Prints the time ratios measured in the same run and how far each result
// lies from the exact area average.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QThreadPool>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/time_reporter.h"
#include "platform/raster.h"

namespace {

constexpr int kSrcW = 6000, kSrcH = 4000, kDstW = 480, kDstH = 320;

// Photo-like content: smooth gradients with noise and some hard edges.
std::unique_ptr<raster::Bitmap> MakePicture(int bpp) {
    auto bm = raster::Create(kSrcW, kSrcH, bpp, true, false);
    uint32_t noise = 12345;
    for (int y = 0; y < kSrcH; ++y) {
        uint8_t* row = bm->Row(y);
        for (int x = 0; x < kSrcW; ++x) {
            noise = noise * 1664525u + 1013904223u;
            uint8_t* px = row + static_cast<size_t>(x) * (bpp / 8);
            bool edge = ((x / 97) + (y / 61)) % 2 == 0;
            px[0] = static_cast<uint8_t>((x * 255 / kSrcW + (noise >> 28)) & 255);
            px[1] = static_cast<uint8_t>((y * 255 / kSrcH + (noise >> 24 & 15)) & 255);
            px[2] = static_cast<uint8_t>(edge ? 220 - (noise >> 29) : 30 + (noise >> 29));
            if (bpp == 32) px[3] = 0;
        }
    }
    return bm;
}

const raster::Bitmap& Picture(int bpp) {
    static std::map<int, std::unique_ptr<raster::Bitmap>> cache;
    auto& p = cache[bpp];
    if (!p) p = MakePicture(bpp);
    return *p;
}

// The same pixels as a QImage of the same depth: RGB32 for 32 bits, RGB888 for 24.
const QImage& QtPicture(int bpp) {
    static std::map<int, QImage> cache;
    QImage& image = cache[bpp];
    if (image.isNull()) {
        const raster::Bitmap& src = Picture(32);
        image =
            QImage(src.width, src.height, bpp == 32 ? QImage::Format_RGB32 : QImage::Format_RGB888);
        for (int y = 0; y < src.height; ++y) {
            const uint8_t* s = src.Row(y);
            uchar* d = image.scanLine(y);
            for (int x = 0; x < src.width; ++x) {
                if (bpp == 32) {
                    reinterpret_cast<QRgb*>(d)[x] = qRgb(s[x * 4 + 2], s[x * 4 + 1], s[x * 4]);
                } else {
                    d[x * 3] = s[x * 4 + 2];
                    d[x * 3 + 1] = s[x * 4 + 1];
                    d[x * 3 + 2] = s[x * 4];
                }
            }
        }
    }
    return image;
}

void BM_Halftone24(benchmark::State& state) {
    const raster::Bitmap& src = Picture(24);
    auto dst = raster::Create(kDstW, kDstH, 32, true, true);
    for (auto _ : state) {
        raster::Stretch(*dst, 0, 0, kDstW, kDstH, src, raster::StretchMode::Halftone);
        benchmark::DoNotOptimize(dst->bits.get());
        benchmark::ClobberMemory();
    }
}

void BM_Halftone32(benchmark::State& state) {
    const raster::Bitmap& src = Picture(32);
    auto dst = raster::Create(kDstW, kDstH, 32, true, true);
    for (auto _ : state) {
        raster::Stretch(*dst, 0, 0, kDstW, kDstH, src, raster::StretchMode::Halftone);
        benchmark::DoNotOptimize(dst->bits.get());
        benchmark::ClobberMemory();
    }
}

// The toolkit spreads a large scaling over its thread pool: wall-clock time is compared, with
// the pool as it comes (`threads` 0) and limited to one thread.
void QtSmooth(benchmark::State& state, int bpp, int threads) {
    const QImage& src = QtPicture(bpp);
    const int before = QThreadPool::globalInstance()->maxThreadCount();
    if (threads > 0) QThreadPool::globalInstance()->setMaxThreadCount(threads);
    for (auto _ : state) {
        QImage out = src.scaled(kDstW, kDstH, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        benchmark::DoNotOptimize(out.constBits());
    }
    QThreadPool::globalInstance()->setMaxThreadCount(before);
}

void BM_QtSmooth24(benchmark::State& s) {
    QtSmooth(s, 24, 0);
}
void BM_QtSmooth24OneThread(benchmark::State& s) {
    QtSmooth(s, 24, 1);
}
void BM_QtSmooth32(benchmark::State& s) {
    QtSmooth(s, 32, 0);
}
void BM_QtSmooth32OneThread(benchmark::State& s) {
    QtSmooth(s, 32, 1);
}

BENCHMARK(BM_Halftone24)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QtSmooth24)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QtSmooth24OneThread)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Halftone32)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QtSmooth32)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_QtSmooth32OneThread)->Unit(benchmark::kMillisecond)->UseRealTime();

// The exact area average of every destination channel, in doubles (blue, green, red).
std::vector<double> ExactAverage(const raster::Bitmap& src) {
    std::vector<double> out(static_cast<size_t>(kDstW) * kDstH * 3);
    const double fx = static_cast<double>(src.width) / kDstW;
    const double fy = static_cast<double>(src.height) / kDstH;
    const int n = src.BytesPerPixel();
    for (int y = 0; y < kDstH; ++y) {
        const double y0 = y * fy, y1 = (y + 1) * fy;
        for (int x = 0; x < kDstW; ++x) {
            const double x0 = x * fx, x1 = (x + 1) * fx;
            double sum[3] = {0, 0, 0};
            for (int j = static_cast<int>(y0); j < y1 && j < src.height; ++j) {
                const double wy = std::min<double>(j + 1, y1) - std::max<double>(j, y0);
                const uint8_t* row = src.Row(j);
                for (int i = static_cast<int>(x0); i < x1 && i < src.width; ++i) {
                    const double w = wy * (std::min<double>(i + 1, x1) - std::max<double>(i, x0));
                    for (int c = 0; c < 3; ++c)
                        sum[c] += w * row[i * n + c];
                }
            }
            for (int c = 0; c < 3; ++c)
                out[(static_cast<size_t>(y) * kDstW + x) * 3 + c] = sum[c] / (fx * fy);
        }
    }
    return out;
}

struct Error {
    double mean = 0;
    double worst = 0;
};

// `channel(x, y, c)` of a result against the exact averages.
template <class Channel>
Error Compare(const std::vector<double>& exact, Channel channel) {
    Error e;
    for (int y = 0; y < kDstH; ++y) {
        for (int x = 0; x < kDstW; ++x) {
            for (int c = 0; c < 3; ++c) {
                double d = std::abs(channel(x, y, c) -
                                    exact[(static_cast<size_t>(y) * kDstW + x) * 3 + c]);
                e.mean += d;
                e.worst = std::max(e.worst, d);
            }
        }
    }
    e.mean /= static_cast<double>(kDstW) * kDstH * 3;
    return e;
}

void PrintQuality() {
    const raster::Bitmap& src = Picture(24);
    const std::vector<double> exact = ExactAverage(src);
    auto ours = raster::Create(kDstW, kDstH, 32, true, true);
    raster::Stretch(*ours, 0, 0, kDstW, kDstH, src, raster::StretchMode::Halftone);
    Error mine = Compare(exact, [&](int x, int y, int c) { return ours->Row(y)[x * 4 + c]; });
    QImage qt = QtPicture(32).scaled(kDstW, kDstH, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    Error theirs = Compare(exact, [&](int x, int y, int c) {
        QRgb p = qt.pixel(x, y);
        return c == 0 ? qBlue(p) : (c == 1 ? qGreen(p) : qRed(p));
    });
    std::printf(
        "difference from the exact area average (levels per channel): halftone mean %.3f "
        "worst %.3f; toolkit smooth mean %.3f worst %.3f\n",
        mine.mean, mine.worst, theirs.mean, theirs.worst);
}

void PrintRatio(const TimeReporter& r, const char* ours, const char* theirs) {
    const auto a = r.seconds.find(ours), b = r.seconds.find(theirs);
    if (a == r.seconds.end() || b == r.seconds.end() || b->second <= 0) return;
    std::printf("%s %.2f ms against %s %.2f ms (wall clock): time ratio %.2f (below 1 is faster)\n",
                ours, a->second * 1e3, theirs, b->second * 1e3, a->second / b->second);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    // Wall-clock time: the toolkit's scaling runs on pool threads.
    TimeReporter reporter(TimeReporter::Clock::Wall, TimeReporter::Key::Function);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintRatio(reporter, "BM_Halftone24", "BM_QtSmooth24");
    PrintRatio(reporter, "BM_Halftone24", "BM_QtSmooth24OneThread");
    PrintRatio(reporter, "BM_Halftone32", "BM_QtSmooth32");
    PrintRatio(reporter, "BM_Halftone32", "BM_QtSmooth32OneThread");
    PrintQuality();
    benchmark::Shutdown();
    return 0;
}
