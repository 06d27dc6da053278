// Pixel memory: where bitmaps get their bytes and how they give them back.
#include <new>

#include "platform/raster.h"

namespace raster {

namespace {
// Allocations left until the one that is made to fail (0: none); a test hook, so one per process.
int g_failAllocation = 0;
}  // namespace

void PixelRelease::operator()(uint8_t* bits) const {
    if (release) {
        release(bits, size);
    } else {
        delete[] bits;
    }
}

void FailAllocationForTest(int nth) {
    g_failAllocation = nth < 0 ? 0 : nth;
}

PixelMemory AllocatePixels(size_t size, bool zeroed) {
    if (g_failAllocation > 0 && --g_failAllocation == 0) return nullptr;
    const size_t n = size > 0 ? size : 1;
    return PixelMemory(zeroed ? new (std::nothrow) uint8_t[n]() : new (std::nothrow) uint8_t[n]);
}

}  // namespace raster
