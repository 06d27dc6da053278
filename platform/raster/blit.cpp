// 1:1 copies between bitmaps of any depths, under a raster operation.
#include <cstring>
#include <memory>

#include "platform/raster.h"
#include "platform/raster/pixel.h"

namespace raster {

bool Blit(Bitmap& dst, int dx, int dy, int w, int h, const Bitmap& src, int sx, int sy, Rop rop) {
    if (!dst.bits || !src.bits || w <= 0 || h <= 0) return false;
    if (&dst == &src) {
        std::unique_ptr<Bitmap> copy = Clone(src);
        if (!copy) return false;
        return Blit(dst, dx, dy, w, h, *copy, sx, sy, rop);
    }
    long long X = dx, Y = dy, SX = sx, SY = sy, W = w, H = h;
    // Clip against the source, then against the destination, moving both corners together.
    auto clip = [](long long& a, long long& b, long long& len, long long limit) {
        if (a < 0) {
            b -= a;
            len += a;
            a = 0;
        }
        if (a + len > limit) len = limit - a;
    };
    clip(SX, X, W, src.width);
    clip(SY, Y, H, src.height);
    clip(X, SX, W, dst.width);
    clip(Y, SY, H, dst.height);
    if (W <= 0 || H <= 0) return false;
    int sn = src.BytesPerPixel(), dn = dst.BytesPerPixel();
    for (long long r = 0; r < H; ++r) {
        const uint8_t* s = src.Row(static_cast<int>(SY + r)) + SX * sn;
        uint8_t* d = dst.Row(static_cast<int>(Y + r)) + X * dn;
        if (rop == Rop::SrcCopy && sn == dn) {
            std::memcpy(d, s, static_cast<size_t>(W) * dn);
            // A screen bitmap keeps its fourth bytes 0 whatever the source held there.
            if (dn == 4 && dst.screen && !src.screen) {
                for (long long i = 0; i < W; ++i)
                    d[i * 4 + 3] = 0;
            }
            continue;
        }
        for (long long i = 0; i < W; ++i, s += sn, d += dn) {
            uint8_t a = (sn == 4 && !src.screen) ? s[3] : 0;
            pixel::Put(d, dst, pixel::Load(s, src.bpp), a, rop);
        }
    }
    return true;
}

}  // namespace raster
