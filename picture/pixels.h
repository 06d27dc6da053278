// The one pair of working pixel buffers (g_app.pixels): the source holds the pixels of the image
// captured last as packed top-down rows (blue, green, red and at 32 bits a fourth byte; each row
// exactly width * depth / 8 bytes), the target receives the adjusted pixels and is written back
// into the image. Only 24- and 32-bit images are captured.
#pragma once

#include <cstdint>

// Largest buffer size: PixelBuffers.size is a signed 32-bit count.
constexpr int64_t kPixelsMaxSize = INT32_MAX;

// ---------------------------------------------------------------------------------------------
// Working buffers
// ---------------------------------------------------------------------------------------------

// Releases the current pair, then copies the pixels of `image` into a new source buffer and
// allocates a zero-filled target of the same size. Returns 1 on success and for a number that
// holds no image (nothing allocated, size 0). Returns 0 when the image cannot be captured: a
// depth other than 24 or 32, a size beyond kPixelsMaxSize, or memory that cannot be had; both
// buffers are then absent and size is 0. Callers must check: after a 0 they leave every picture
// and control as it was (the adjustments and PixelsStore do nothing without buffers).
int PixelsCapture(int image);
// Copies the target buffer into the pixels of `image`. Returns 1, or 0 and writes nothing when
// no pair is captured or the image's width, height or depth differ from those of the capture.
int PixelsStore(int image);
// Frees both buffers (those allocated) and marks them absent; size and depth become 0.
void PixelsRelease();

// ---------------------------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------------------------

// width * height * (depth / 8) computed in 64 bits; -1 when a side is negative, the depth is not
// 24 or 32, or the result exceeds kPixelsMaxSize.
int64_t PixelsBufferSize(int width, int height, int depth);

// Test hook: the n-th buffer allocation from now on (1 = the next source, 2 = the next target)
// fails as if the memory could not be had; 0 switches the failure off.
void PixelsFailAllocationForTest(int nth);
