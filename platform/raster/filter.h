// The arithmetic of the halftone stretch, shared by Stretch and RowReducer: the taps that say
// which source pixels make each destination pixel with which integer weights, the vertical sums
// of source rows, the exact division by the weights' total, and the horizontal pass that turns a
// row of vertical sums into destination pixels. No rounding happens before that final division,
// so every way of feeding rows in gives the same pixels.
#pragma once

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/raster.h"
#include "platform/raster/pixel.h"

namespace raster::filter {

// ---------------------------------------------------------------------------------------------
// Taps
// ---------------------------------------------------------------------------------------------

// How one destination position along an axis is made from consecutive source pixels: `count`
// pixels from `first`, weighted wFirst, then wMid for each inner one, then wLast. The weights of
// every position sum to the axis's `denominator`, so a value is sum(weight * pixel) / denominator
// exactly; no weight is rounded.
struct Tap {
    int first;
    int count;
    uint32_t wFirst, wMid, wLast;
};

struct Axis {
    std::vector<Tap> taps;  // one per visible destination position
    uint32_t denominator = 1;
};

// Taps for destination positions [from, to) of a d-long axis made from s source pixels.
void MakeAxis(Axis& a, int s, int d, int from, int to, StretchMode mode);

// ---------------------------------------------------------------------------------------------
// Vertical sums
// ---------------------------------------------------------------------------------------------

// sum[i] += row[i] over n bytes. The inner rows of a reduction all weigh the same, so they are
// summed unweighted first; at most kMaxUnweighted rows keep the 16-bit sums from overflowing.
constexpr int kMaxUnweighted = 257;

// sum[i] += r[0][i] + ... + r[K-1][i] over n bytes: K rows in one pass over the sums.
template <int K>
void AddRows(uint16_t* __restrict sum, const uint8_t* const* r, size_t n) {
    size_t i = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        __m128i lo = zero, hi = zero;
        for (int k = 0; k < K; ++k) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r[k] + i));
            lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(v, zero));
            hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(v, zero));
        }
        __m128i* s = reinterpret_cast<__m128i*>(sum + i);
        _mm_storeu_si128(s, _mm_add_epi16(_mm_loadu_si128(s), lo));
        _mm_storeu_si128(s + 1, _mm_add_epi16(_mm_loadu_si128(s + 1), hi));
    }
#endif
    for (; i < n; ++i) {
        unsigned v = sum[i];
        for (int k = 0; k < K; ++k)
            v += r[k][i];
        sum[i] = static_cast<uint16_t>(v);
    }
}

inline void AddRow(uint16_t* sum, const uint8_t* row, size_t n) {
    AddRows<1>(sum, &row, n);
}

// acc[i] = wa * a[i] + wb * b[i] + wm * mid[i], plus acc[i] itself when `keep`; a null row adds
// nothing. Every weight fits 16 bits and every result 32 bits.
void Combine(uint32_t* __restrict acc, bool keep, const uint8_t* a, uint32_t wa, const uint8_t* b,
             uint32_t wb, const uint16_t* mid, uint32_t wm, size_t n);

// ---------------------------------------------------------------------------------------------
// Division and the horizontal pass
// ---------------------------------------------------------------------------------------------

// Rounds sum / den to the nearest integer, halves up, for sums of at most 255 * den (what a
// weighted mean of 8-bit values reaches; anything larger gives 255): floor(n / d) with
// n = 2 sum + den and d = 2 den, by one multiplication with a fixed-point reciprocal
// M = ceil(2^(64 + s) / d). That is exact while n * d < 2^(64 + s) for every n: n * M / 2^(64 + s)
// then exceeds n / d by less than 1 / d, too little to reach the next integer.
struct Divider {
    explicit Divider(uint64_t den) : den(den) {
        const unsigned __int128 d = 2 * static_cast<unsigned __int128>(den);
        const unsigned __int128 most = (511 * static_cast<unsigned __int128>(den) + 1) * d;
        while (most >> (64 + shift) != 0)
            ++shift;
        const unsigned __int128 power = static_cast<unsigned __int128>(1) << (64 + shift);
        magic = static_cast<uint64_t>(power / d + (power % d != 0));
    }
    uint8_t operator()(uint64_t sum) const {
        if (sum > 255 * den) return 255;
        const uint64_t n = 2 * sum + den;
        const uint64_t q = static_cast<uint64_t>((static_cast<unsigned __int128>(n) * magic) >> 64);
        return static_cast<uint8_t>(q >> shift);
    }
    uint64_t den;
    unsigned shift = 0;
    uint64_t magic = 0;
};

// The horizontal pass of a halftone stretch: one vertically summed row (32-bit sums, C channels
// per source pixel) into one destination row, each value divided by both axes' denominators.
class Horizontal {
public:
    Horizontal(const Bitmap& dst, const Axis& ax, uint32_t verticalDenominator, int channels,
               Rop rop)
        : dst_(dst),
          ax_(ax),
          divide_(static_cast<uint64_t>(ax.denominator) * verticalDenominator),
          channels_(channels),
          rop_(rop),
          dn_(dst.BytesPerPixel()),
          keepFourth_(channels == 4 && dst.bpp == 32 && !dst.screen),
          plainCopy_(rop == Rop::SrcCopy && dst.bpp != 16),
          innerFits32_(InnerFits32(ax, verticalDenominator)) {}

    // Values after each row of vertical sums that Run reads: one spare for the vector loads.
    static constexpr size_t kSpare = 1;

    void Run(const uint32_t* acc, uint8_t* d) const {
        if (channels_ == 4) {
            Pass<4>(acc, d);
        } else {
            Pass<3>(acc, d);
        }
    }

private:
    // True when the inner sum of every tap fits 32 bits: each vertical sum is at most 255 times
    // the vertical denominator.
    static bool InnerFits32(const Axis& ax, uint32_t verticalDenominator) {
        uint64_t most = 0;
        for (const Tap& t : ax.taps)
            most = std::max<uint64_t>(most, t.count > 2 ? t.count - 2 : 0);
        return most * 255 * verticalDenominator < (uint64_t{1} << 32);
    }

    template <int C>
    void Pass(const uint32_t* acc, uint8_t* d) const {
        for (const Tap& t : ax_.taps) {
            const uint32_t* p = acc + static_cast<size_t>(t.first) * C;
            uint64_t sum[C];
            for (int c = 0; c < C; ++c)
                sum[c] = static_cast<uint64_t>(t.wFirst) * p[c];
            if (t.count > 1) {
                uint64_t inner[C] = {};
                const uint32_t* q = p + C;
#ifdef __SSE2__
                if (innerFits32_) {
                    // A pixel's channels side by side in one vector (the row has a spare value
                    // at its end for the 3-channel load of the last pixel).
                    __m128i v = _mm_setzero_si128();
                    for (int k = 1; k < t.count - 1; ++k, q += C)
                        v = _mm_add_epi32(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(q)));
                    alignas(16) uint32_t lanes[4];
                    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), v);
                    for (int c = 0; c < C; ++c)
                        inner[c] = lanes[c];
                } else
#endif
                {
                    for (int k = 1; k < t.count - 1; ++k, q += C) {
                        for (int c = 0; c < C; ++c)
                            inner[c] += q[c];
                    }
                }
                for (int c = 0; c < C; ++c) {
                    sum[c] += static_cast<uint64_t>(t.wMid) * inner[c] +
                              static_cast<uint64_t>(t.wLast) * q[c];
                }
            }
            pixel::Bgr colour{divide_(sum[0]), divide_(sum[1]), divide_(sum[2])};
            uint8_t fourth = 0;
            if constexpr (C == 4) fourth = keepFourth_ ? divide_(sum[3]) : 0;
            if (plainCopy_) {  // the usual case, without the general pixel writer
                d[0] = colour.b;
                d[1] = colour.g;
                d[2] = colour.r;
                if (dn_ == 4) d[3] = fourth;
            } else {
                pixel::Put(d, dst_, colour, fourth, rop_);
            }
            d += dn_;
        }
    }

    const Bitmap& dst_;
    const Axis& ax_;
    Divider divide_;
    int channels_;
    Rop rop_;
    int dn_;
    bool keepFourth_;
    bool plainCopy_;
    bool innerFits32_;
};

}  // namespace raster::filter
