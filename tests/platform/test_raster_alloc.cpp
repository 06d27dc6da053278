// Size limits: refused sizes are refused before anything is allocated, which is checked by
// counting every allocation of this test program while a creation runs.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <new>

#include "platform/raster.h"

// The address sanitizer keeps its own allocator; counting is left to the plain builds.
#if defined(__SANITIZE_ADDRESS__)
#define KADROVO_COUNT_ALLOCATIONS 0
#else
#define KADROVO_COUNT_ALLOCATIONS 1
#endif

namespace {
bool g_counting = false;
size_t g_allocations = 0;

// Creates a bitmap and reports how many allocations that took.
std::unique_ptr<raster::Bitmap> CountedCreate(int w, int h, int bpp, size_t& allocations) {
    g_allocations = 0;
    g_counting = true;
    auto bm = raster::Create(w, h, bpp, true, false);
    g_counting = false;
    allocations = g_allocations;
    return bm;
}
}  // namespace

#if KADROVO_COUNT_ALLOCATIONS
// The array and nothrow forms end up here by default.
void* operator new(size_t size) {
    if (g_counting) ++g_allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
#endif

TEST(RasterAllocation, RefusedSizesAllocateNothing) {
    struct Case {
        int w, h, bpp;
        bool ok;
    } cases[] = {{1, 1, 24, true},        {32767, 1, 24, true},    {32767, 32767, 16, true},
                 {32768, 1, 24, false},   {1, 32768, 32, false},   {0, 10, 24, false},
                 {-5, 10, 32, false},     {10, 10, 8, false},      {100, 100, 12, false},
                 {INT_MAX, 1, 32, false}, {1, INT_MAX, 32, false}, {40000, 40000, 32, false}};
    for (const Case& c : cases) {
        EXPECT_EQ(raster::SizeAllowed(c.w, c.h, c.bpp), c.ok) << c.w << "x" << c.h << "x" << c.bpp;
        if (c.ok) continue;
        size_t allocations = 0;
        EXPECT_FALSE(CountedCreate(c.w, c.h, c.bpp, allocations));
        EXPECT_EQ(allocations, 0u) << c.w << "x" << c.h;
    }
    // An accepted size allocates: the counter does see creations.
    size_t allocations = 0;
    EXPECT_TRUE(CountedCreate(2, 2, 24, allocations));
    EXPECT_TRUE(allocations > 0 || !KADROVO_COUNT_ALLOCATIONS);
}
