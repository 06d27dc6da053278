#include "picture/straighten.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <numbers>

#include "picture/parallel.h"

namespace {

// Source positions in 32.32 fixed point: exact steps along a row, wide enough for any side.
constexpr int kFractionBits = 32;
constexpr double kOne = 4294967296.0;  // 2^32

ptrdiff_t RowStep(const raster::Bitmap& bm) {
    return bm.topDown ? bm.stride : -static_cast<ptrdiff_t>(bm.stride);
}

// The straightening's scale for a width x height picture: the largest s for which an s * width
// by s * height rectangle, turned back by the angle, fits into width x height.
double InscribedScale(int width, int height, double degrees) {
    const double rad = std::abs(degrees) * std::numbers::pi / 180.0;
    const double c = std::cos(rad), s = std::sin(rad);
    const double w = width, h = height;
    return std::min(w / (w * c + h * s), h / (w * s + h * c));
}

// Sample position in source pixel indices as a linear function of the output pixel (x, y).
struct SampleMap {
    double u0, ux, uy;
    double v0, vx, vy;
};

SampleMap MapFor(const raster::Bitmap& src, PixelOrientation o, double degrees, int outW,
                 int outH) {
    const bool swaps = SwapsSides(o);
    const double ow = swaps ? src.height : src.width, oh = swaps ? src.width : src.height;
    const double rad = degrees * std::numbers::pi / 180.0;
    const double c = std::cos(rad), s = std::sin(rad);
    const OrientMap m = ::MapFor(o, src.width, src.height);
    // Output pixel centre -> oriented picture (turned back about both centres; y points down,
    // so a clockwise turn of the picture is a turn back by [c s; -s c]) -> source indices.
    auto at = [&](double x, double y, double& u, double& v) {
        const double rx = x + 0.5 - outW / 2.0, ry = y + 0.5 - outH / 2.0;
        const double px = c * rx + s * ry + ow / 2.0 - 0.5;
        const double py = -s * rx + c * ry + oh / 2.0 - 0.5;
        u = m.ux * px + m.uy * py + m.u0;
        v = m.vx * px + m.vy * py + m.v0;
    };
    SampleMap map{};
    double u1 = 0, v1 = 0, u2 = 0, v2 = 0;
    at(0, 0, map.u0, map.v0);
    at(1, 0, u1, v1);
    at(0, 1, u2, v2);
    map.ux = u1 - map.u0;
    map.vx = v1 - map.v0;
    map.uy = u2 - map.u0;
    map.vy = v2 - map.v0;
    return map;
}

int64_t Fixed(double value) {
    return std::llround(value * kOne);
}

// One output pixel from the four source pixels at p, p + dx, p + dy and p + dx + dy: first down
// each column (8.8 fixed point, halved to stay within 15 bits), then across, rounded. A pixel of
// one colour c gives c exactly.
template <int kBytes>
void Blend(const uint8_t* p, int dx, ptrdiff_t dy, uint32_t fx, uint32_t fy, uint8_t* d) {
    for (int k = 0; k < kBytes; ++k) {
        const uint32_t left = (p[k] * (256 - fy) + p[k + dy] * fy) >> 1;
        const uint32_t right = (p[k + dx] * (256 - fy) + p[k + dx + dy] * fy) >> 1;
        d[k] = static_cast<uint8_t>((left * (256 - fx) + right * fx + 16384) >> 15);
    }
}

template <int kBytes>
void SampleRow(const raster::Bitmap& src, uint8_t* d, int count, int64_t u, int64_t v, int64_t du,
               int64_t dv) {
    const uint8_t* const base = src.Row(0);
    const ptrdiff_t step = RowStep(src);
    const int64_t maxU = static_cast<int64_t>(src.width - 1) << kFractionBits;
    const int64_t maxV = static_cast<int64_t>(src.height - 1) << kFractionBits;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128(), round = _mm_set1_epi32(16384);
#endif
    for (int i = 0; i < count; ++i, u += du, v += dv, d += kBytes) {
        // The inscribed rectangle keeps every centre inside; the clamp only absorbs rounding.
        const int64_t cu = std::clamp<int64_t>(u, 0, maxU);
        const int64_t cv = std::clamp<int64_t>(v, 0, maxV);
        const int x0 = static_cast<int>(cu >> kFractionBits);
        const int y0 = static_cast<int>(cv >> kFractionBits);
        const uint32_t fx = static_cast<uint32_t>(cu >> (kFractionBits - 8)) & 0xFF;
        const uint32_t fy = static_cast<uint32_t>(cv >> (kFractionBits - 8)) & 0xFF;
        const int dx = x0 < src.width - 1 ? kBytes : 0;
        const ptrdiff_t dy = y0 < src.height - 1 ? step : 0;
        const uint8_t* p = base + y0 * step + static_cast<ptrdiff_t>(x0) * kBytes;
#ifdef __SSE2__
        // The same arithmetic on the bytes of a pixel at once, where both neighbours exist: eight
        // bytes from p hold the pixel and its right neighbour (at 24 bits, and two bytes more,
        // which lie within the row as long as the pixel is not one of its last two).
        if (dx != 0 && dy != 0 && (kBytes == 4 || x0 < src.width - 2)) {
            const __m128i top =
                _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
            const __m128i bottom =
                _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + dy)), zero);
            __m128i column =
                _mm_add_epi16(_mm_mullo_epi16(top, _mm_set1_epi16(static_cast<short>(256 - fy))),
                              _mm_mullo_epi16(bottom, _mm_set1_epi16(static_cast<short>(fy))));
            column = _mm_srli_epi16(column, 1);
            const __m128i pairs = _mm_unpacklo_epi16(column, _mm_srli_si128(column, 2 * kBytes));
            __m128i sum =
                _mm_madd_epi16(pairs, _mm_set1_epi32(static_cast<int>(fx << 16 | (256 - fx))));
            sum = _mm_srli_epi32(_mm_add_epi32(sum, round), 15);
            sum = _mm_packs_epi32(sum, sum);
            const int32_t out = _mm_cvtsi128_si32(_mm_packus_epi16(sum, sum));
            std::memcpy(d, &out, kBytes);
            continue;
        }
#endif
        Blend<kBytes>(p, dx, dy, fx, fy, d);
    }
}

}  // namespace

Sides StraightenedSize(int width, int height, double degrees) {
    if (degrees == 0) return {width, height};
    const double s = InscribedScale(width, height, degrees);
    return {std::max(1, static_cast<int>(std::floor(s * width))),
            std::max(1, static_cast<int>(std::floor(s * height)))};
}

bool StraightenInto(const raster::Bitmap& src, PixelOrientation o, double degrees,
                    raster::Bitmap& dst) {
    if (degrees == 0) return OrientInto(src, o, dst);
    const int bytes = src.BytesPerPixel();
    const bool swaps = SwapsSides(o);
    const auto [outW, outH] =
        StraightenedSize(swaps ? src.height : src.width, swaps ? src.width : src.height, degrees);
    if ((bytes != 3 && bytes != 4) || dst.bpp != src.bpp || !src.bits || !dst.bits ||
        dst.width != outW || dst.height != outH)
        return false;
    const SampleMap map = MapFor(src, o, degrees, outW, outH);
    const int64_t du = Fixed(map.ux), dv = Fixed(map.vx);
    // Each row starts from its own position, so a row's pixels never depend on who took it.
    auto band = [&](int first, int last) {
        for (int y = first; y < last; ++y) {
            const int64_t u = Fixed(map.u0 + map.uy * y), v = Fixed(map.v0 + map.vy * y);
            if (bytes == 4)
                SampleRow<4>(src, dst.Row(y), outW, u, v, du, dv);
            else
                SampleRow<3>(src, dst.Row(y), outW, u, v, du, dv);
        }
    };
    ParallelRows(outW, outH, band);
    return true;
}

std::unique_ptr<raster::Bitmap> Straighten(const raster::Bitmap& src, PixelOrientation o,
                                           double degrees) {
    const bool swaps = SwapsSides(o);
    const auto [w, h] =
        StraightenedSize(swaps ? src.height : src.width, swaps ? src.width : src.height, degrees);
    auto out = raster::Create(w, h, src.bpp, src.topDown, src.screen);
    if (!out || !StraightenInto(src, o, degrees, *out)) return nullptr;
    return out;
}
