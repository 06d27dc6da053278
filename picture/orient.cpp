#include "picture/orient.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "picture/parallel.h"

namespace {

// Output columns per strip of a quarter turn: the strip's source rows are read front to back,
// a few pixels of each per output row, so that every source cache line is fetched once and the
// hardware can stream each of the rows; each output row receives one run of the strip's width,
// a whole number of cache lines at 32 bits.
constexpr int kTurnStrip = 64;

// Where source pixel (u, v) of a width x height picture lands in orientation `o`.
void Forward(PixelOrientation o, int width, int height, int& u, int& v) {
    if (o.mirrored) u = width - 1 - u;
    int w = width, h = height;
    for (int i = 0; i < o.turns; ++i) {
        const int x = h - 1 - v;
        v = u;
        u = x;
        std::swap(w, h);
    }
}

ptrdiff_t RowStep(const raster::Bitmap& bm) {
    return bm.topDown ? bm.stride : -static_cast<ptrdiff_t>(bm.stride);
}

template <int kBytes>
void CopyStrip(uint8_t* d, const uint8_t* s, ptrdiff_t step, int count) {
    for (int i = 0; i < count; ++i, d += kBytes, s += step)
        std::memcpy(d, s, kBytes);
}

// A quarter turn (or a mirrored one): output row y is source column u = uy * y + u0 and output
// column x is source row v = vx * x + v0.
struct TurnPlan {
    const raster::Bitmap& src;
    raster::Bitmap& dst;
    OrientMap m;
    int bytes;
};

// One strip of output columns [x0, x0 + n) at 32 bits over output rows [y0, y1), pixel by pixel.
void TurnStripPixels(const TurnPlan& p, int x0, int n, int y0, int y1) {
    const uint8_t* rows[kTurnStrip];
    for (int k = 0; k < n; ++k)
        rows[k] = p.src.Row(p.m.vx * (x0 + k) + p.m.v0);
    for (int y = y0; y < y1; ++y) {
        const size_t at = static_cast<size_t>(p.m.uy * y + p.m.u0) * 4;
        uint8_t* d = p.dst.Row(y) + static_cast<size_t>(x0) * 4;
        for (int k = 0; k < n; ++k)
            std::memcpy(d + k * 4, rows[k] + at, 4);
    }
}

#ifdef __SSE2__
// One strip at 32 bits: four output rows at a time, whose pixels lie side by side in each source
// row, turned as 4 x 4 blocks in registers. With `stream` every run is a whole number of aligned
// cache lines, written past the cache: the turned picture is far larger than the cache, and a
// line written whole need not be read first.
template <bool kStream>
void TurnStrip32(const TurnPlan& p, int x0, int n) {
    const uint8_t* rows[kTurnStrip];
    for (int k = 0; k < n; ++k)
        rows[k] = p.src.Row(p.m.vx * (x0 + k) + p.m.v0);
    const int height = p.dst.height, whole = n & ~3;
    const bool backwards = p.m.uy < 0;
    int y = 0;
    for (; y + 4 <= height; y += 4) {
        // The four source pixels of output rows y .. y + 3, lowest address first.
        const int u = backwards ? p.m.uy * (y + 3) + p.m.u0 : p.m.uy * y + p.m.u0;
        const size_t at = static_cast<size_t>(u) * 4;
        uint8_t* const d0 = p.dst.Row(y) + static_cast<size_t>(x0) * 4;
        uint8_t* const d1 = p.dst.Row(y + 1) + static_cast<size_t>(x0) * 4;
        uint8_t* const d2 = p.dst.Row(y + 2) + static_cast<size_t>(x0) * 4;
        uint8_t* const d3 = p.dst.Row(y + 3) + static_cast<size_t>(x0) * 4;
        for (int c = 0; c < whole; c += 4) {
            __m128i v[4];
            for (int k = 0; k < 4; ++k) {
                v[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[c + k] + at));
                if (backwards) v[k] = _mm_shuffle_epi32(v[k], _MM_SHUFFLE(0, 1, 2, 3));
            }
            const __m128i t0 = _mm_unpacklo_epi32(v[0], v[1]), t1 = _mm_unpacklo_epi32(v[2], v[3]);
            const __m128i t2 = _mm_unpackhi_epi32(v[0], v[1]), t3 = _mm_unpackhi_epi32(v[2], v[3]);
            const __m128i o[4] = {_mm_unpacklo_epi64(t0, t1), _mm_unpackhi_epi64(t0, t1),
                                  _mm_unpacklo_epi64(t2, t3), _mm_unpackhi_epi64(t2, t3)};
            uint8_t* const d[4] = {d0 + c * 4, d1 + c * 4, d2 + c * 4, d3 + c * 4};
            for (int k = 0; k < 4; ++k) {
                if (kStream) {
                    _mm_stream_si128(reinterpret_cast<__m128i*>(d[k]), o[k]);
                } else {
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(d[k]), o[k]);
                }
            }
        }
        if (whole < n) TurnStripPixels(p, x0 + whole, n - whole, y, y + 4);
    }
    if (y < height) TurnStripPixels(p, x0, n, y, height);
    // Streamed stores are ordered before whatever reads the picture next.
    if (kStream) _mm_sfence();
}
#endif

void TurnStrips(const TurnPlan& p, int first, int last) {
    for (int strip = first; strip < last; ++strip) {
        const int x0 = strip * kTurnStrip, n = std::min(kTurnStrip, p.dst.width - x0);
        if (p.bytes == 3) {
            // Output row y is source column u = uy * y + u0: forwards from the first column or
            // backwards from the last.
            const uint8_t* rows[kTurnStrip];
            for (int k = 0; k < n; ++k)
                rows[k] = p.src.Row(p.m.vx * (x0 + k) + p.m.v0);
            raster::TurnRows24(rows, n, p.src.width, p.m.uy < 0,
                               p.dst.Row(0) + static_cast<size_t>(x0) * 3, RowStep(p.dst));
            continue;
        }
#ifdef __SSE2__
        // Streamed only where each row's run is whole aligned cache lines.
        const bool stream = n == kTurnStrip &&
                            reinterpret_cast<uintptr_t>(p.dst.bits.get()) % 64 == 0 &&
                            p.dst.stride % 64 == 0;
        if (stream) {
            TurnStrip32<true>(p, x0, n);
        } else {
            TurnStrip32<false>(p, x0, n);
        }
#else
        TurnStripPixels(p, x0, n, 0, p.dst.height);
#endif
    }
}

}  // namespace

PixelOrientation Compose(PixelOrientation first, PixelOrientation then) {
    // R^q M^m is "mirror, then q quarter turns"; a mirror turns the sense of the turns before it.
    const int turns = then.mirrored ? then.turns - first.turns : then.turns + first.turns;
    return {((turns % 4) + 4) % 4, first.mirrored != then.mirrored};
}

PixelOrientation Inverse(PixelOrientation o) {
    // A mirrored orientation is its own inverse.
    if (o.mirrored) return o;
    return {(4 - o.turns % 4) % 4, false};
}

bool SwapsSides(PixelOrientation o) {
    return o.turns % 2 != 0;
}

OrientMap MapFor(PixelOrientation o, int width, int height) {
    // The forward map is a signed permutation plus an offset; its inverse is the transpose.
    int tx = 0, ty = 0, ax = 1, ay = 0, bx = 0, by = 1;
    Forward(o, width, height, tx, ty);
    Forward(o, width, height, ax, ay);
    Forward(o, width, height, bx, by);
    const int m00 = ax - tx, m10 = ay - ty, m01 = bx - tx, m11 = by - ty;
    return {m00, m10, -(m00 * tx + m10 * ty), m01, m11, -(m01 * tx + m11 * ty)};
}

bool OrientInto(const raster::Bitmap& src, PixelOrientation o, raster::Bitmap& dst) {
    const int bytes = src.BytesPerPixel();
    const bool swaps = SwapsSides(o);
    if ((bytes != 3 && bytes != 4) || dst.bpp != src.bpp || !src.bits || !dst.bits ||
        dst.width != (swaps ? src.height : src.width) ||
        dst.height != (swaps ? src.width : src.height))
        return false;
    const OrientMap m = MapFor(o, src.width, src.height);
    if (m.ux == 0 && m.vy == 0) {
        // Each output column strip is written by one thread; the bytes moved are the same.
        const TurnPlan plan{src, dst, m, bytes};
        ParallelParts(dst.width, dst.height, (dst.width + kTurnStrip - 1) / kTurnStrip,
                      [&](int first, int last) { TurnStrips(plan, first, last); });
        return true;
    }
    // The rest keep rows as rows: each output row is one source row, forwards or backwards.
    const uint8_t* const base = src.Row(0);
    const ptrdiff_t srcStep = RowStep(src);
    const ptrdiff_t pixelStep = m.ux * bytes;
    const int width = dst.width;
    auto band = [&](int first, int last) {
        for (int y = first; y < last; ++y) {
            const ptrdiff_t v = ptrdiff_t{m.vy} * y + m.v0;
            const uint8_t* s = base + v * srcStep + ptrdiff_t{m.u0} * bytes;
            uint8_t* d = dst.Row(y);
            if (pixelStep == bytes)
                std::memcpy(d, s, static_cast<size_t>(width) * bytes);
            else if (bytes == 4)
                CopyStrip<4>(d, s, pixelStep, width);
            else
                CopyStrip<3>(d, s, pixelStep, width);
        }
    };
    ParallelRows(dst.width, dst.height, band);
    return true;
}

std::unique_ptr<raster::Bitmap> Orient(const raster::Bitmap& src, PixelOrientation o) {
    const bool swaps = SwapsSides(o);
    auto out = raster::Create(swaps ? src.height : src.width, swaps ? src.width : src.height,
                              src.bpp, src.topDown, src.screen);
    if (!out || !OrientInto(src, o, *out)) return nullptr;
    return out;
}
