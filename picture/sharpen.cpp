#include "picture/sharpen.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "picture/parallel.h"

namespace {

int Lightness(const uint8_t* p) {
    return (77 * p[2] + 150 * p[1] + 29 * p[0] + 128) >> 8;
}

}  // namespace

SharpenParams SharpenParamsFor(Sharpening kind) {
    switch (kind) {
        case Sharpening::Screen:
            // exp(-x^2 / (2 * 0.6^2)) at x = 0, 1 (the tap at 2 rounds to nothing).
            return {3, {11, 42, 11, 0, 0}, 60, 2, 15};
        case Sharpening::Print:
            return {5, {3, 16, 26, 16, 3}, 100, 3, 15};
        case Sharpening::Off:
            break;
    }
    return {3, {0, 64, 0, 0, 0}, 0, 0, 0};
}

bool SharpenBitmap(raster::Bitmap& bitmap, Sharpening kind) {
    if (kind == Sharpening::Off) return true;
    return SharpenBitmap(bitmap, SharpenParamsFor(kind));
}

namespace {

// The mask with `Taps` weights known to the compiler, so that its loops unroll; all sums fit 32
// bits (a blur is at most 64 * 64 * 255, a change before the division at most 4096 * 255 * the
// amount).
template <int Taps>
void Sharpen(raster::Bitmap& bm, const SharpenParams& p, uint8_t* light, uint16_t* across) {
    const int w = bm.width, h = bm.height;
    const int bytes = bm.BytesPerPixel();
    constexpr int reach = Taps / 2;
    int weights[Taps];
    for (int k = 0; k < Taps; ++k)
        weights[k] = p.weights[k];

    ParallelRows(w, h, [&](int first, int last) {
        for (int y = first; y < last; ++y) {
            const uint8_t* src = bm.Row(y);
            uint8_t* l = light + static_cast<size_t>(y) * w;
            for (int x = 0; x < w; ++x)
                l[x] = static_cast<uint8_t>(Lightness(src + x * bytes));
            uint16_t* a = across + static_cast<size_t>(y) * w;
            auto edge = [&](int x) {
                int sum = 0;
                for (int k = 0; k < Taps; ++k)
                    sum += weights[k] * l[std::clamp(x + k - reach, 0, w - 1)];
                a[x] = static_cast<uint16_t>(sum);
            };
            const int inner = std::max(reach, w - reach);
            for (int x = 0; x < std::min(reach, w); ++x)
                edge(x);
            for (int x = reach; x < w - reach; ++x) {
                int sum = 0;
                for (int k = 0; k < Taps; ++k)
                    sum += weights[k] * l[x + k - reach];
                a[x] = static_cast<uint16_t>(sum);
            }
            for (int x = inner; x < w; ++x)
                edge(x);
        }
    });

    // Differences are in 1/4096 levels: 64 for each blur direction. Each row goes in stages
    // over whole rows, which the compiler turns into vector code: the blur, the 3 x 3 range, the
    // change of lightness, then the change added to the pixels that have one.
    const int threshold = p.threshold * 4096;
    const int amount = p.amount, halo = p.haloPercent;
    constexpr int unit = 4096 * 100;
    ParallelRows(w, h, [&](int first, int last) {
        std::vector<int> blur(w);
        std::vector<uint8_t> columnLo(w + 2), columnHi(w + 2);
        std::vector<int16_t> change(w);
        for (int y = first; y < last; ++y) {
            const uint16_t* rows[Taps];
            for (int k = 0; k < Taps; ++k)
                rows[k] = across + static_cast<size_t>(std::clamp(y + k - reach, 0, h - 1)) * w;
            const uint8_t* near[3];
            for (int k = 0; k < 3; ++k)
                near[k] = light + static_cast<size_t>(std::clamp(y + k - 1, 0, h - 1)) * w;
            for (int x = 0; x < w; ++x) {
                int sum = 0;
                for (int k = 0; k < Taps; ++k)
                    sum += weights[k] * rows[k][x];
                blur[x] = sum;
            }
            // The range of each column of three, the edge columns repeated on either side.
            for (int x = 0; x < w; ++x) {
                const uint8_t a = near[0][x], b = near[1][x], c = near[2][x];
                columnLo[x + 1] = std::min(a, std::min(b, c));
                columnHi[x + 1] = std::max(a, std::max(b, c));
            }
            columnLo[0] = columnLo[1], columnHi[0] = columnHi[1];
            columnLo[w + 1] = columnLo[w], columnHi[w + 1] = columnHi[w];
            const uint8_t* l = near[1];
            for (int x = 0; x < w; ++x) {
                const int lo = std::min(columnLo[x], std::min(columnLo[x + 1], columnLo[x + 2]));
                const int hi = std::max(columnHi[x], std::max(columnHi[x + 1], columnHi[x + 2]));
                const int diff = l[x] * 4096 - blur[x];
                // Within the threshold nothing changes; beyond it, that much less.
                const int masked = diff > threshold    ? diff - threshold
                                   : diff < -threshold ? diff + threshold
                                                       : 0;
                // Rounded half away from zero, so that darkening and lightening are alike.
                const int scaled = masked * amount;
                const int raw = (scaled >= 0 ? scaled + unit / 2 : scaled - unit / 2) / unit;
                const int margin = ((hi - lo) * halo + 50) / 100;
                change[x] =
                    static_cast<int16_t>(std::clamp(l[x] + raw, lo - margin, hi + margin) - l[x]);
            }
            uint8_t* dst = bm.Row(y);
            for (int x = 0; x < w; ++x) {
                if (change[x] == 0) continue;
                uint8_t* px = dst + x * bytes;
                for (int c = 0; c < 3; ++c)
                    px[c] = static_cast<uint8_t>(std::clamp(px[c] + change[x], 0, 255));
            }
        }
    });
}

}  // namespace

bool SharpenBitmap(raster::Bitmap& bm, const SharpenParams& p) {
    if (p.amount <= 0) return true;
    if (bm.bpp != 24 && bm.bpp != 32) return false;
    const int w = bm.width, h = bm.height;
    if (w < 3 || h < 3 || !bm.bits) return true;
    if (p.taps != 3 && p.taps != 5) return false;
    const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
    // The lightness and its horizontal blur (times 64), kept whole: every row of the result
    // reads the rows around it, which the pass may have changed already.
    std::unique_ptr<uint8_t[]> light(new (std::nothrow) uint8_t[count]);
    std::unique_ptr<uint16_t[]> across(new (std::nothrow) uint16_t[count]);
    if (!light || !across) return false;
    if (p.taps == 3) {
        Sharpen<3>(bm, p, light.get(), across.get());
    } else {
        Sharpen<5>(bm, p, light.get(), across.get());
    }
    return true;
}
