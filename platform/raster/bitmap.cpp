// Bitmaps: their sizes, creation, copies and reading their pixels.
#include <unistd.h>

#include <cstring>
#include <new>

#include "platform/raster.h"
#include "platform/raster/pixel.h"

namespace raster {

size_t StrideFor(int width, int bpp) {
    if (width < 0 || bpp <= 0) return 0;
    unsigned long long bits = static_cast<unsigned long long>(width) * static_cast<unsigned>(bpp);
    unsigned long long bytes = (bits + 31) / 32 * 4;
    if (bytes > static_cast<unsigned long long>(SIZE_MAX) || bytes > 0x7fffffffULL) return 0;
    return static_cast<size_t>(bytes);
}

bool SizeAllowed(int width, int height, int bpp) {
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return false;
    if (!pixel::IsValidBpp(bpp)) return false;
    size_t stride = StrideFor(width, bpp);
    if (stride == 0) return false;
    if (stride > SIZE_MAX / static_cast<size_t>(height)) return false;
    size_t bytes = stride * static_cast<size_t>(height);
    long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) {
        unsigned long long phys =
            static_cast<unsigned long long>(pages) * static_cast<unsigned long long>(pageSize);
        if (bytes > phys) return false;
    }
    return true;
}

std::unique_ptr<Bitmap> Create(int width, int height, int bpp, bool topDown, bool screen) {
    if (!SizeAllowed(width, height, bpp)) return nullptr;
    std::unique_ptr<Bitmap> bm(new (std::nothrow) Bitmap);
    if (!bm) return nullptr;
    bm->width = width;
    bm->height = height;
    bm->bpp = bpp;
    bm->topDown = topDown;
    bm->screen = screen;
    bm->stride = static_cast<int>(StrideFor(width, bpp));
    bm->bits = AllocatePixels(bm->ByteSize(), true);
    if (!bm->bits) return nullptr;
    return bm;
}

std::unique_ptr<Bitmap> Clone(const Bitmap& src) {
    std::unique_ptr<Bitmap> bm(new (std::nothrow) Bitmap);
    if (!bm) return nullptr;
    bm->width = src.width;
    bm->height = src.height;
    bm->bpp = src.bpp;
    bm->topDown = src.topDown;
    bm->screen = src.screen;
    bm->stride = src.stride;
    if (src.bits) {
        bm->bits = AllocatePixels(src.ByteSize(), false);
        if (!bm->bits) return nullptr;
        std::memcpy(bm->bits.get(), src.bits.get(), src.ByteSize());
    }
    return bm;
}

void ReadPacked(const Bitmap& bm, uint8_t* out) {
    size_t row = static_cast<size_t>(bm.width) * bm.BytesPerPixel();
    for (int y = 0; y < bm.height; ++y)
        std::memcpy(out + row * y, bm.Row(y), row);
}

void ToBgr24BottomUp(const Bitmap& bm, uint8_t* out) {
    size_t stride = StrideFor(bm.width, 24);
    size_t used = static_cast<size_t>(bm.width) * 3;
    int n = bm.BytesPerPixel();
    for (int k = 0; k < bm.height; ++k) {
        const uint8_t* s = bm.Row(bm.height - 1 - k);
        uint8_t* d = out + stride * k;
        if (bm.bpp == 24) {
            std::memcpy(d, s, used);
        } else {
            for (int x = 0; x < bm.width; ++x, s += n, d += 3) {
                pixel::Bgr c = pixel::Load(s, bm.bpp);
                d[0] = c.b;
                d[1] = c.g;
                d[2] = c.r;
            }
            d = out + stride * k;
        }
        std::memset(d + used, 0, stride - used);
    }
}

uint32_t GetPixel(const Bitmap& bm, int x, int y) {
    if (!bm.bits || x < 0 || y < 0 || x >= bm.width || y >= bm.height) return 0;
    pixel::Bgr c = pixel::Load(bm.Row(y) + static_cast<size_t>(x) * bm.BytesPerPixel(), bm.bpp);
    return c.r | (c.g << 8) | (static_cast<uint32_t>(c.b) << 16);
}

}  // namespace raster
