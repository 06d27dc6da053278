// Pixel memory: where bitmaps get their bytes and how they give them back.
//
// A large picture gets a mapping of its own, 2 MiB aligned and advised for transparent huge
// pages: the kernel hands it out zeroed, so a zero-filled bitmap costs no pass of its own, and a
// picture of 24 megapixels faults in a few dozen huge pages instead of tens of thousands of small
// ones. Smaller memory comes from new[]. Sanitizer builds take new[] for every size, so that a
// write past the end is caught however large the picture.
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <new>

#include "platform/raster.h"

#if defined(__SANITIZE_ADDRESS__)
#define KADROVO_RASTER_PLAIN_MEMORY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
#define KADROVO_RASTER_PLAIN_MEMORY 1
#endif
#endif

namespace raster {

namespace {

// Allocations left until the one that is made to fail (0: none); a test hook, so one per process.
int g_failAllocation = 0;

constexpr size_t kHugePage = size_t{2} << 20;
// From this size on a picture gets its own mapping: a quarter of it at most is rounding.
constexpr size_t kMappedFrom = 4 * kHugePage;

void Unmap(uint8_t* bits, size_t size) {
    munmap(bits, size);
}

// `size` bytes rounded up to whole huge pages, at a huge-page boundary; null when the address
// space cannot be had. Unused where pictures live in plain memory (the sanitizer build).
[[maybe_unused]] PixelMemory MapHuge(size_t size) {
    if (size > SIZE_MAX - 2 * kHugePage) return nullptr;
    const size_t length = (size + kHugePage - 1) / kHugePage * kHugePage;
    // One huge page more than needed, so that an aligned start lies inside; the rest goes back.
    const size_t reserve = length + kHugePage;
    void* got = mmap(nullptr, reserve, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (got == MAP_FAILED) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(got);
    const uintptr_t aligned = (start + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1);
    if (aligned > start) munmap(got, aligned - start);
    const uintptr_t end = start + reserve, used = aligned + length;
    if (end > used) munmap(reinterpret_cast<void*>(used), end - used);
    uint8_t* bits = reinterpret_cast<uint8_t*>(aligned);
    // Advice only: without huge pages the mapping works the same, page by page.
    (void)madvise(bits, length, MADV_HUGEPAGE);
    return PixelMemory(bits, PixelRelease{Unmap, length});
}

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
#ifndef KADROVO_RASTER_PLAIN_MEMORY
    if (size >= kMappedFrom) return MapHuge(size);  // zeroed by the kernel either way
#endif
    const size_t n = size > 0 ? size : 1;
    return PixelMemory(zeroed ? new (std::nothrow) uint8_t[n]() : new (std::nothrow) uint8_t[n]);
}

PixelMemory AllocateHugeWorkingMemory(size_t size) {
#ifndef KADROVO_RASTER_PLAIN_MEMORY
    return MapHuge(size > 0 ? size : 1);
#else
    return PixelMemory(new (std::nothrow) uint8_t[size > 0 ? size : 1]);
#endif
}

void PopulatePixels(const Bitmap& bm) {
#if !defined(KADROVO_RASTER_PLAIN_MEMORY) && defined(MADV_POPULATE_WRITE)
    if (!bm.bits || bm.bits.get_deleter().release != Unmap) return;
    // A huge page at a time, from the top, so that the rows written first are ready first.
    uint8_t* const bits = bm.bits.get();
    const size_t length = bm.bits.get_deleter().size;
    for (size_t at = 0; at < length; at += kHugePage)
        if (madvise(bits + at, std::min(kHugePage, length - at), MADV_POPULATE_WRITE) != 0) return;
#else
    (void)bm;
#endif
}

}  // namespace raster
