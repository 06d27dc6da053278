// Refused sizes are refused before anything is allocated: every allocation of this test program
// is counted while a creation runs.
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
}  // namespace

#if KADROVO_COUNT_ALLOCATIONS
void* operator new(size_t size) {
    if (g_counting) ++g_allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    return ::operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}

#endif

TEST(RasterAllocation, RefusedSizesAllocateNothing) {
    if (!KADROVO_COUNT_ALLOCATIONS) GTEST_SKIP() << "allocations are not counted under ASan";
    struct Case {
        int w, h, bpp;
    } cases[] = {{32768, 1, 24}, {1, 32768, 32}, {INT_MAX, INT_MAX, 32}, {0, 0, 24},
                 {-1, 100, 24},  {100, 100, 12}, {40000, 40000, 32}};
    for (const Case& c : cases) {
        g_allocations = 0;
        g_counting = true;
        auto bm = raster::Create(c.w, c.h, c.bpp, true, false);
        g_counting = false;
        EXPECT_FALSE(bm);
        EXPECT_EQ(g_allocations, 0u) << c.w << "x" << c.h << "x" << c.bpp;
    }
    // An accepted size allocates: the counter does see creations.
    g_allocations = 0;
    g_counting = true;
    auto bm = raster::Create(2, 2, 24, true, false);
    g_counting = false;
    EXPECT_TRUE(bm);
    EXPECT_GT(g_allocations, 0u);
}
