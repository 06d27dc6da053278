#include "picture/sharpen.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

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

bool SharpenBitmap(raster::Bitmap& bm, const SharpenParams& p) {
    if (p.amount <= 0) return true;
    if (bm.bpp != 24 && bm.bpp != 32) return false;
    const int w = bm.width, h = bm.height;
    if (w < 3 || h < 3 || !bm.bits) return true;
    const int bytes = bm.BytesPerPixel();
    const int reach = p.taps / 2;
    const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
    // The lightness and its horizontal blur (times 64), kept whole: every row of the result
    // reads the rows around it, which the pass may have changed already.
    std::unique_ptr<uint8_t[]> light(new (std::nothrow) uint8_t[count]);
    std::unique_ptr<uint16_t[]> across(new (std::nothrow) uint16_t[count]);
    if (!light || !across) return false;

    ParallelRows(w, h, [&](int first, int last) {
        for (int y = first; y < last; ++y) {
            const uint8_t* src = bm.Row(y);
            uint8_t* l = light.get() + static_cast<size_t>(y) * w;
            for (int x = 0; x < w; ++x)
                l[x] = static_cast<uint8_t>(Lightness(src + x * bytes));
            uint16_t* a = across.get() + static_cast<size_t>(y) * w;
            for (int x = 0; x < w; ++x) {
                int sum = 0;
                for (int k = 0; k < p.taps; ++k)
                    sum += p.weights[k] * l[std::clamp(x + k - reach, 0, w - 1)];
                a[x] = static_cast<uint16_t>(sum);
            }
        }
    });

    // Differences are in 1/4096 levels: 64 for each blur direction.
    const int64_t threshold = int64_t{p.threshold} * 4096;
    ParallelRows(w, h, [&](int first, int last) {
        for (int y = first; y < last; ++y) {
            const uint16_t* rows[5];
            for (int k = 0; k < p.taps; ++k)
                rows[k] =
                    across.get() + static_cast<size_t>(std::clamp(y + k - reach, 0, h - 1)) * w;
            const uint8_t* near[3];
            for (int k = 0; k < 3; ++k)
                near[k] = light.get() + static_cast<size_t>(std::clamp(y + k - 1, 0, h - 1)) * w;
            uint8_t* dst = bm.Row(y);
            for (int x = 0; x < w; ++x) {
                int blur = 0;
                for (int k = 0; k < p.taps; ++k)
                    blur += p.weights[k] * rows[k][x];
                const int l = near[1][x];
                int64_t diff = int64_t{l} * 4096 - blur;
                if (diff > threshold) {
                    diff -= threshold;
                } else if (diff < -threshold) {
                    diff += threshold;
                } else {
                    continue;
                }
                int lo = 255, hi = 0;
                for (int k = 0; k < 3; ++k)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int v = near[k][std::clamp(x + dx, 0, w - 1)];
                        lo = std::min(lo, v);
                        hi = std::max(hi, v);
                    }
                // Rounded half away from zero, so that darkening and lightening are alike.
                const int64_t scaled = diff * p.amount;
                const int64_t unit = int64_t{4096} * 100;
                int change =
                    static_cast<int>((scaled >= 0 ? scaled + unit / 2 : scaled - unit / 2) / unit);
                const int margin = ((hi - lo) * p.haloPercent + 50) / 100;
                change = std::clamp(l + change, lo - margin, hi + margin) - l;
                if (change == 0) continue;
                uint8_t* px = dst + x * bytes;
                for (int c = 0; c < 3; ++c)
                    px[c] = static_cast<uint8_t>(std::clamp(px[c] + change, 0, 255));
            }
        }
    });
    return true;
}
