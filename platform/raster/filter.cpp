#include "platform/raster/filter.h"

namespace raster::filter {

namespace {

constexpr uint32_t kBilinearOne = 1 << 14;

// Area average: destination pixel i covers source [i * s / d, (i + 1) * s / d). Counted in units
// of 1/d source pixel, a source pixel is d units and a destination pixel s units, so the
// overlaps are integers summing to s.
Tap AreaTap(int s, int d, int i) {
    long long lo = static_cast<long long>(i) * s, hi = lo + s;
    int j0 = static_cast<int>(lo / d), j1 = static_cast<int>((hi - 1) / d);
    Tap t{j0, j1 - j0 + 1, 0, static_cast<uint32_t>(d), 0};
    if (j0 == j1) {
        t.wFirst = static_cast<uint32_t>(s);
        return t;
    }
    t.wFirst = static_cast<uint32_t>((static_cast<long long>(j0) + 1) * d - lo);
    t.wLast = static_cast<uint32_t>(hi - static_cast<long long>(j1) * d);
    return t;
}

// Bilinear: the two source pixels around the destination pixel's centre, edges clamped.
Tap BilinearTap(int s, int d, int i) {
    long long num = (2LL * i + 1) * s - d, den = 2LL * d;  // centre in source pixels: num / den
    int j = 0;
    uint32_t frac = 0;
    if (num > 0) {
        j = static_cast<int>(num / den);
        frac = static_cast<uint32_t>(((num % den) * kBilinearOne * 2 + den) / (2 * den));
        if (frac == kBilinearOne) {
            ++j;
            frac = 0;
        }
    }
    if (j >= s - 1) {
        j = s - 1;
        frac = 0;
    }
    if (frac == 0) return Tap{j, 1, kBilinearOne, 0, 0};
    return Tap{j, 2, kBilinearOne - frac, 0, frac};
}

Tap NearestTap(int s, int d, int i) {
    long long j = ((2LL * i + 1) * s) / (2LL * d);
    return Tap{static_cast<int>(std::min<long long>(j, s - 1)), 1, 1, 0, 0};
}

}  // namespace

void MakeAxis(Axis& a, int s, int d, int from, int to, StretchMode mode) {
    a.taps.reserve(to - from);
    a.denominator = mode == StretchMode::ColorOnColor ? 1u
                    : d <= s                          ? static_cast<uint32_t>(s)
                                                      : kBilinearOne;
    for (int i = from; i < to; ++i) {
        if (mode == StretchMode::ColorOnColor) {
            a.taps.push_back(NearestTap(s, d, i));
        } else if (d <= s) {
            a.taps.push_back(AreaTap(s, d, i));
        } else {
            a.taps.push_back(BilinearTap(s, d, i));
        }
    }
}

void Combine(uint32_t* __restrict acc, bool keep, const uint8_t* a, uint32_t wa, const uint8_t* b,
             uint32_t wb, const uint16_t* mid, uint32_t wm, size_t n) {
    size_t i = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    const __m128i va = _mm_set1_epi16(static_cast<short>(wa));
    const __m128i vb = _mm_set1_epi16(static_cast<short>(wb));
    const __m128i vm = _mm_set1_epi16(static_cast<short>(wm));
    // 8 unsigned 16-bit values times a 16-bit weight, as two vectors of 32-bit products.
    auto mul = [](__m128i x, __m128i w, __m128i& lo, __m128i& hi) {
        __m128i l = _mm_mullo_epi16(x, w), h = _mm_mulhi_epu16(x, w);
        lo = _mm_unpacklo_epi16(l, h);
        hi = _mm_unpackhi_epi16(l, h);
    };
    for (; i + 8 <= n; i += 8) {
        __m128i lo = zero, hi = zero, l2, h2, x;
        if (a) {
            x = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + i)), zero);
            mul(x, va, lo, hi);
        }
        if (b) {
            x = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + i)), zero);
            mul(x, vb, l2, h2);
            lo = _mm_add_epi32(lo, l2);
            hi = _mm_add_epi32(hi, h2);
        }
        if (mid) {
            mul(_mm_loadu_si128(reinterpret_cast<const __m128i*>(mid + i)), vm, l2, h2);
            lo = _mm_add_epi32(lo, l2);
            hi = _mm_add_epi32(hi, h2);
        }
        __m128i* d = reinterpret_cast<__m128i*>(acc + i);
        if (keep) {
            lo = _mm_add_epi32(lo, _mm_loadu_si128(d));
            hi = _mm_add_epi32(hi, _mm_loadu_si128(d + 1));
        }
        _mm_storeu_si128(d, lo);
        _mm_storeu_si128(d + 1, hi);
    }
#endif
    for (; i < n; ++i) {
        uint32_t v = a ? wa * a[i] : 0;
        if (b) v += wb * b[i];
        if (mid) v += wm * mid[i];
        acc[i] = keep ? acc[i] + v : v;
    }
}

}  // namespace raster::filter
