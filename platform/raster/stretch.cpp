// The stretch of a whole bitmap or a part of it onto a rectangle, halftone or nearest: vertical
// sums of the source rows, then the horizontal pass, a band of destination rows at a time,
// shared with the helper thread for large sources.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>

#include "platform/helper_thread.h"
#include "platform/raster.h"
#include "platform/raster/filter.h"
#include "platform/raster/pixel.h"

namespace raster {

using namespace filter;

namespace {

// Stretches from a source of at least this many pixels are shared with the helper thread, in
// bands of destination rows made from about kBandSourceRows source rows each.
constexpr long long kSharedStretchPixels = 1LL << 20;
constexpr long long kBandSourceRows = 128;

}  // namespace

bool Stretch(Bitmap& dst, int dx, int dy, int dw, int dh, const Bitmap& src, StretchMode mode,
             Rop rop) {
    return StretchPart(dst, dx, dy, dw, dh, src, 0, 0, src.width, src.height, mode, rop);
}

bool StretchPart(Bitmap& dst, int dx, int dy, int dw, int dh, const Bitmap& src, int sx, int sy,
                 int sw, int sh, StretchMode mode, Rop rop) {
    if (!dst.bits || !src.bits || dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0 || sx < 0 || sy < 0 ||
        sw > src.width - sx || sh > src.height - sy) {
        return false;
    }
    if (&dst == &src) {
        std::unique_ptr<Bitmap> copy = Clone(src);
        if (!copy) return false;
        return StretchPart(dst, dx, dy, dw, dh, *copy, sx, sy, sw, sh, mode, rop);
    }
    // Visible part of the destination rectangle, in its own coordinates.
    long long vx0 = std::max<long long>(0, -static_cast<long long>(dx));
    long long vy0 = std::max<long long>(0, -static_cast<long long>(dy));
    long long vx1 = std::min<long long>(dw, static_cast<long long>(dst.width) - dx);
    long long vy1 = std::min<long long>(dh, static_cast<long long>(dst.height) - dy);
    if (vx0 >= vx1 || vy0 >= vy1) return false;

    Axis ax, ay;
    try {
        MakeAxis(ax, sw, dw, static_cast<int>(vx0), static_cast<int>(vx1), mode);
        MakeAxis(ay, sh, dh, static_cast<int>(vy0), static_cast<int>(vy1), mode);
    } catch (const std::bad_alloc&) {
        return false;
    }

    // Channels summed per source pixel: a 16-bit source row is widened to 3 first.
    const int channels = src.bpp == 32 ? 4 : 3;
    const size_t n = static_cast<size_t>(sw) * channels;
    // Row j of the part.
    const size_t skip = static_cast<size_t>(sx) * src.BytesPerPixel();
    auto part = [&](int j) { return src.Row(sy + j) + skip; };
    const Horizontal horizontal(dst, ax, ay.denominator, channels, rop);

    // Destination rows [y0, y1), each made from its own source rows alone; false without memory.
    auto rows = [&](long long y0, long long y1) {
        std::unique_ptr<uint32_t[]> acc(new (std::nothrow) uint32_t[n + Horizontal::kSpare]());
        std::unique_ptr<uint16_t[]> mid(new (std::nothrow) uint16_t[n]);
        std::unique_ptr<uint8_t[]> scratch;
        if (src.bpp == 16) scratch.reset(new (std::nothrow) uint8_t[2 * n]);
        if (!acc || !mid || (src.bpp == 16 && !scratch)) return false;
        auto row = [&](int j, int slot) -> const uint8_t* {
            if (src.bpp != 16) return part(j);
            uint8_t* out = scratch.get() + slot * n;
            const uint8_t* in = part(j);
            for (int x = 0; x < sw; ++x) {
                pixel::Bgr c = pixel::Load(in + x * 2, 16);
                out[x * 3] = c.b;
                out[x * 3 + 1] = c.g;
                out[x * 3 + 2] = c.r;
            }
            return out;
        };
        for (long long y = y0; y < y1; ++y) {
            const Tap& t = ay.taps[static_cast<size_t>(y - vy0)];
            // Vertical pass: the weighted sum of the source rows of this destination row.
            if (t.count == 1) {
                Combine(acc.get(), false, row(t.first, 0), t.wFirst, nullptr, 0, nullptr, 0, n);
            } else {
                bool keep = false;
                int pending = 0;
                const int end = t.first + t.count - 1;
                for (int j = t.first + 1; j < end;) {
                    if (pending == 0) std::memset(mid.get(), 0, n * sizeof(uint16_t));
                    // Up to four rows at a time where the source rows can be read as they are.
                    const int k =
                        src.bpp == 16 ? 1 : std::min({4, end - j, kMaxUnweighted - pending});
                    if (k > 1) {
                        const uint8_t* some[4] = {part(j), part(j + 1), nullptr, nullptr};
                        for (int i = 2; i < k; ++i)
                            some[i] = part(j + i);
                        if (k == 4) {
                            AddRows<4>(mid.get(), some, n);
                        } else if (k == 3) {
                            AddRows<3>(mid.get(), some, n);
                        } else {
                            AddRows<2>(mid.get(), some, n);
                        }
                    } else {
                        AddRow(mid.get(), row(j, 0), n);
                    }
                    j += k;
                    pending += k;
                    if (pending == kMaxUnweighted) {
                        Combine(acc.get(), keep, nullptr, 0, nullptr, 0, mid.get(), t.wMid, n);
                        keep = true;
                        pending = 0;
                    }
                }
                Combine(acc.get(), keep, row(t.first, 0), t.wFirst, row(t.first + t.count - 1, 1),
                        t.wLast, pending ? mid.get() : nullptr, t.wMid, n);
            }
            horizontal.Run(acc.get(),
                           dst.Row(static_cast<int>(dy + y)) + (dx + vx0) * dst.BytesPerPixel());
        }
        return true;
    };

    // A large stretch is shared with the helper thread, a band of destination rows at a time.
    // Every destination row is computed the same way wherever it is computed.
    const bool share = static_cast<long long>(sw) * sh >= kSharedStretchPixels;
    const long long count = vy1 - vy0;
    // Bands of about kBandSourceRows source rows: few enough that taking one costs nothing.
    const long long band = std::clamp<long long>(kBandSourceRows * dh / sh, 1, count);
    std::atomic<bool> ok{true};
    helper::ShareRows(static_cast<int>(count), static_cast<int>(band), share,
                      [&](int first, int last) {
                          if (!rows(vy0 + first, vy0 + last)) ok = false;
                      });
    return ok;
}

}  // namespace raster
