#include "picture/orient.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "picture/parallel.h"

namespace {

// Output pixels per column strip: the rows of a band are walked one strip at a time, so that a
// turn reads each source row for a whole strip while its cache lines are still at hand.
constexpr int kStripPixels = 64;

// Where source pixel (u, v) of a width x height picture lands in orientation `o`.
void Forward(Orientation o, int width, int height, int& u, int& v) {
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

}  // namespace

Orientation Compose(Orientation first, Orientation then) {
    // R^q M^m is "mirror, then q quarter turns"; a mirror turns the sense of the turns before it.
    const int turns = then.mirrored ? then.turns - first.turns : then.turns + first.turns;
    return {((turns % 4) + 4) % 4, first.mirrored != then.mirrored};
}

Orientation Inverse(Orientation o) {
    // A mirrored orientation is its own inverse.
    if (o.mirrored) return o;
    return {(4 - o.turns % 4) % 4, false};
}

bool SwapsSides(Orientation o) {
    return o.turns % 2 != 0;
}

OrientMap MapFor(Orientation o, int width, int height) {
    // The forward map is a signed permutation plus an offset; its inverse is the transpose.
    int tx = 0, ty = 0, ax = 1, ay = 0, bx = 0, by = 1;
    Forward(o, width, height, tx, ty);
    Forward(o, width, height, ax, ay);
    Forward(o, width, height, bx, by);
    const int m00 = ax - tx, m10 = ay - ty, m01 = bx - tx, m11 = by - ty;
    return {m00, m10, -(m00 * tx + m10 * ty), m01, m11, -(m01 * tx + m11 * ty)};
}

bool OrientInto(const raster::Bitmap& src, Orientation o, raster::Bitmap& dst) {
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
    auto band = [&](int first, int last) {
        for (int x0 = 0; x0 < width; x0 += kStripPixels) {
            const int count = std::min(kStripPixels, width - x0);
            for (int y = first; y < last; ++y) {
                const ptrdiff_t u = ptrdiff_t{m.uy} * y + m.u0 + ptrdiff_t{m.ux} * x0;
                const ptrdiff_t v = ptrdiff_t{m.vy} * y + m.v0 + ptrdiff_t{m.vx} * x0;
                const uint8_t* s = base + v * srcStep + u * bytes;
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

std::unique_ptr<raster::Bitmap> Orient(const raster::Bitmap& src, Orientation o) {
    const bool swaps = SwapsSides(o);
    auto out = raster::Create(swaps ? src.height : src.width, swaps ? src.width : src.height,
                              src.bpp, src.topDown, src.screen);
    if (!out || !OrientInto(src, o, *out)) return nullptr;
    return out;
}
