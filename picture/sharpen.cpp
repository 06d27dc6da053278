#include "picture/sharpen.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "picture/parallel.h"

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

// The passes below run a row at a time in stages over whole rows, with the kernel's width and
// the pixel's size known to the compiler and no clamp or branch per tap, so that each stage
// becomes vector code (this file is built at -O3 for that).

// Lightness of one row and its horizontal blur (times 64). The edge pixels are repeated into a
// padded copy first. The blur is summed in 16 bits: a sum of weights summing to 64 times 255
// fits, and the bits kept are those of the full sum cast as before whatever the weights.
template <int Taps, int Bytes>
void AcrossRow(const uint8_t* __restrict src, int w, const uint16_t* __restrict weights,
               uint8_t* __restrict l, uint16_t* __restrict padded, uint16_t* __restrict a) {
    constexpr int reach = Taps / 2;
    for (int x = 0; x < w; ++x) {
        const uint8_t* px = src + x * Bytes;
        l[x] = static_cast<uint8_t>((77 * px[2] + 150 * px[1] + 29 * px[0] + 128) >> 8);
    }
    for (int k = 0; k < reach; ++k) {
        padded[k] = l[0];
        padded[reach + w + k] = l[w - 1];
    }
    for (int x = 0; x < w; ++x)
        padded[reach + x] = l[x];
    for (int x = 0; x < w; ++x) {
        uint16_t sum = 0;
        for (int k = 0; k < Taps; ++k)
            sum = static_cast<uint16_t>(sum + weights[k] * padded[x + k]);
        a[x] = sum;
    }
}

// The vertical blur of one row (in 1/4096 levels).
template <int Taps>
void DownRow(const uint16_t* const* rows, int w, const int* weights, int* __restrict blur) {
    for (int x = 0; x < w; ++x) {
        int sum = 0;
        for (int k = 0; k < Taps; ++k)
            sum += weights[k] * rows[k][x];
        blur[x] = sum;
    }
}

// The range of each column of three (rows above, at and below), the edge columns repeated on
// either side, in `lo` and `hi` of w + 2.
void ColumnRange(const uint8_t* __restrict above, const uint8_t* __restrict at,
                 const uint8_t* __restrict below, int w, uint8_t* __restrict lo,
                 uint8_t* __restrict hi) {
    for (int x = 0; x < w; ++x) {
        const uint8_t a = above[x], b = at[x], c = below[x];
        lo[x + 1] = std::min(a, std::min(b, c));
        hi[x + 1] = std::max(a, std::max(b, c));
    }
    lo[0] = lo[1], hi[0] = hi[1];
    lo[w + 1] = lo[w], hi[w + 1] = hi[w];
}

// The mask's arithmetic. Differences are in 1/4096 levels: 64 for each blur direction. Within
// the threshold nothing changes; beyond it, that much less; the change rounded half away from
// zero, so that darkening and lightening are alike; the result held to the 3 x 3 range widened
// by the halo.
struct Mask {
    int threshold;  // in 1/4096 levels
    int amount;
    int halo;
    static constexpr int unit = 4096 * 100;

    // As written, for any strength.
    int Change(int l, int blur, int lo, int hi) const {
        const int diff = l * 4096 - blur;
        const int masked = diff > threshold    ? diff - threshold
                           : diff < -threshold ? diff + threshold
                                               : 0;
        const int scaled = masked * amount;
        const int raw = (scaled >= 0 ? scaled + unit / 2 : scaled - unit / 2) / unit;
        const int margin = ((hi - lo) * halo + 50) / 100;
        return std::clamp(l + raw, lo - margin, hi + margin) - l;
    }
};

// Whether FastChangeRow gives Mask::Change exactly: weights that are not negative and sum to 64
// keep |diff| within 4096 * 255, and then, for the amounts and halos below, both divisions by
// 100 see numbers under 43690, for which (n * 5243) >> 19 is n / 100.
bool FastChangeFits(const SharpenParams& p) {
    int sum = 0;
    for (int k = 0; k < p.taps; ++k) {
        if (p.weights[k] < 0) return false;
        sum += p.weights[k];
    }
    return sum == 64 && p.amount >= 1 && p.amount <= 160 && p.haloPercent >= 0 &&
           p.haloPercent <= 160 && p.threshold >= 0 && p.threshold <= 255;
}

constexpr int Div100(int n) {
    return (n * 5243) >> 19;
}

// Mask::Change over a row without a branch or a division: the sign taken off and put back,
// the division by 4096 * 100 as a shift and a multiplication. Its multiplications of 32 bits
// take several instructions each before AVX2, so a copy for AVX2 is chosen when the processor
// has it; integers, so the same figures either way.
__attribute__((target_clones("avx2", "default"))) void FastChangeRow(
    const Mask& m, const uint8_t* __restrict l, const int* __restrict blur,
    const uint8_t* __restrict columnLo, const uint8_t* __restrict columnHi, int w,
    int16_t* __restrict change) {
    const int threshold = m.threshold, amount = m.amount, halo = m.halo;
    for (int x = 0; x < w; ++x) {
        const int lo = std::min<int>(columnLo[x], std::min(columnLo[x + 1], columnLo[x + 2]));
        const int hi = std::max<int>(columnHi[x], std::max(columnHi[x + 1], columnHi[x + 2]));
        const int v = l[x];
        const int diff = v * 4096 - blur[x];
        const int size = std::max((diff < 0 ? -diff : diff) - threshold, 0);
        const int q = Div100((size * amount + Mask::unit / 2) >> 12);
        const int raw = diff < 0 ? -q : q;
        const int margin = Div100((hi - lo) * halo + 50);
        change[x] = static_cast<int16_t>(std::min(std::max(v + raw, lo - margin), hi + margin) - v);
    }
}

// The same change added to red, green and blue of every pixel, spread first over the bytes of
// the row (nothing for a fourth byte) so that the addition runs over the bytes in one go.
template <int Bytes>
void ApplyRow(const int16_t* __restrict change, int w, int16_t* __restrict spread,
              uint8_t* __restrict dst) {
    for (int x = 0; x < w; ++x)
        for (int c = 0; c < Bytes; ++c)
            spread[x * Bytes + c] = c < 3 ? change[x] : 0;
    for (int i = 0; i < w * Bytes; ++i)
        dst[i] = static_cast<uint8_t>(std::min(std::max(dst[i] + spread[i], 0), 255));
}

template <int Taps, int Bytes>
void Sharpen(raster::Bitmap& bm, const SharpenParams& p, uint8_t* light, uint16_t* across) {
    const int w = bm.width, h = bm.height;
    constexpr int reach = Taps / 2;
    int weights[Taps];
    uint16_t weights16[Taps];
    for (int k = 0; k < Taps; ++k) {
        weights[k] = p.weights[k];
        weights16[k] = static_cast<uint16_t>(p.weights[k]);
    }

    ParallelRows(w, h, [&](int first, int last) {
        std::vector<uint16_t> padded(w + 2 * reach);
        for (int y = first; y < last; ++y)
            AcrossRow<Taps, Bytes>(bm.Row(y), w, weights16, light + static_cast<size_t>(y) * w,
                                   padded.data(), across + static_cast<size_t>(y) * w);
    });

    const Mask mask{p.threshold * 4096, p.amount, p.haloPercent};
    const bool fast = FastChangeFits(p);
    ParallelRows(w, h, [&](int first, int last) {
        std::vector<int> blur(w);
        std::vector<uint8_t> columnLo(w + 2), columnHi(w + 2);
        std::vector<int16_t> change(w), spread(static_cast<size_t>(w) * Bytes);
        for (int y = first; y < last; ++y) {
            const uint16_t* rows[Taps];
            for (int k = 0; k < Taps; ++k)
                rows[k] = across + static_cast<size_t>(std::clamp(y + k - reach, 0, h - 1)) * w;
            const uint8_t* near[3];
            for (int k = 0; k < 3; ++k)
                near[k] = light + static_cast<size_t>(std::clamp(y + k - 1, 0, h - 1)) * w;
            DownRow<Taps>(rows, w, weights, blur.data());
            ColumnRange(near[0], near[1], near[2], w, columnLo.data(), columnHi.data());
            const uint8_t* l = near[1];
            if (fast) {
                FastChangeRow(mask, l, blur.data(), columnLo.data(), columnHi.data(), w,
                              change.data());
            } else {
                for (int x = 0; x < w; ++x) {
                    const int lo =
                        std::min(columnLo[x], std::min(columnLo[x + 1], columnLo[x + 2]));
                    const int hi =
                        std::max(columnHi[x], std::max(columnHi[x + 1], columnHi[x + 2]));
                    change[x] = static_cast<int16_t>(mask.Change(l[x], blur[x], lo, hi));
                }
            }
            ApplyRow<Bytes>(change.data(), w, spread.data(), bm.Row(y));
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
    const auto run = p.taps == 3 ? (bm.bpp == 24 ? Sharpen<3, 3> : Sharpen<3, 4>)
                                 : (bm.bpp == 24 ? Sharpen<5, 3> : Sharpen<5, 4>);
    run(bm, p, light.get(), across.get());
    return true;
}
