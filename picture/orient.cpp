#include "picture/orient.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "picture/parallel.h"

namespace {

// Output pixels per column strip: the rows of a band are walked one strip at a time, so that a
// turn reads each source row for a whole strip while its cache lines are still at hand.
constexpr int kStripPixels = 64;

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

#ifdef __SSE2__
// Four output rows at once for a 32-bit turn, where the four pixels above one another in the
// output lie side by side in one source row (`along` is +4 or -4 bytes from row to row): four
// such groups are read, turned as a 4 x 4 block in registers and written as four runs of four.
// `count` is a multiple of 4; `s` is the source of output pixel (x0, first row).
void TurnRows4(uint8_t* const d[4], const uint8_t* s, ptrdiff_t pixelStep, int along, int count) {
    const ptrdiff_t back = along < 0 ? -12 : 0;
    for (int i = 0; i < count; i += 4, s += 4 * pixelStep) {
        __m128i v[4];
        for (int k = 0; k < 4; ++k) {
            v[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + k * pixelStep + back));
            if (along < 0) v[k] = _mm_shuffle_epi32(v[k], _MM_SHUFFLE(0, 1, 2, 3));
        }
        const __m128i t0 = _mm_unpacklo_epi32(v[0], v[1]), t1 = _mm_unpacklo_epi32(v[2], v[3]);
        const __m128i t2 = _mm_unpackhi_epi32(v[0], v[1]), t3 = _mm_unpackhi_epi32(v[2], v[3]);
        const size_t at = static_cast<size_t>(i) * 4;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d[0] + at), _mm_unpacklo_epi64(t0, t1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d[1] + at), _mm_unpackhi_epi64(t0, t1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d[2] + at), _mm_unpacklo_epi64(t2, t3));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d[3] + at), _mm_unpackhi_epi64(t2, t3));
    }
}
#endif

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
    const uint8_t* const base = src.Row(0);
    const ptrdiff_t srcStep = RowStep(src);
    // Source bytes between two neighbouring output pixels of a row.
    const ptrdiff_t pixelStep = m.ux * bytes + m.vx * srcStep;
    const int width = dst.width;
    auto source = [&](int x, int y) {
        const ptrdiff_t u = ptrdiff_t{m.ux} * x + ptrdiff_t{m.uy} * y + m.u0;
        const ptrdiff_t v = ptrdiff_t{m.vx} * x + ptrdiff_t{m.vy} * y + m.v0;
        return base + v * srcStep + u * bytes;
    };
    // A 32-bit quarter turn: output neighbours in a column are source neighbours in a row.
    const bool blocks = bytes == 4 && m.ux == 0 && m.vy == 0;
    auto band = [&](int first, int last) {
        for (int x0 = 0; x0 < width; x0 += kStripPixels) {
            const int count = std::min(kStripPixels, width - x0);
            int y = first;
#ifdef __SSE2__
            const int whole = count & ~3;
            for (; blocks && whole > 0 && y + 4 <= last; y += 4) {
                uint8_t* const d[4] = {dst.Row(y) + x0 * 4, dst.Row(y + 1) + x0 * 4,
                                       dst.Row(y + 2) + x0 * 4, dst.Row(y + 3) + x0 * 4};
                TurnRows4(d, source(x0, y), pixelStep, m.uy * 4, whole);
                for (int r = 0; r < 4 && whole < count; ++r)
                    CopyStrip<4>(d[r] + whole * 4, source(x0 + whole, y + r), pixelStep,
                                 count - whole);
            }
#endif
            for (; y < last; ++y) {
                const uint8_t* s = source(x0, y);
                uint8_t* d = dst.Row(y) + static_cast<ptrdiff_t>(x0) * bytes;
                if (pixelStep == bytes)
                    std::memcpy(d, s, static_cast<size_t>(count) * bytes);
                else if (bytes == 4)
                    CopyStrip<4>(d, s, pixelStep, count);
                else
                    CopyStrip<3>(d, s, pixelStep, count);
            }
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
