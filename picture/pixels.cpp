#include "picture/pixels.h"

#include <cstring>
#include <new>

#include "imagelib/image.h"
#include "picture/appstate.h"
#include "platform/raster.h"

namespace {

int g_failAllocation = 0;  // see PixelsFailAllocationForTest

// Shape of the capture; the buffers alone cannot tell 6 x 2 from 4 x 3 pixels.
int g_capturedWidth = 0;
int g_capturedHeight = 0;

// `zeroed`: the target starts all zero; the source is overwritten whole right away, so clearing
// it first would only cost a pass over up to 2 GB.
std::unique_ptr<uint8_t[]> Allocate(int64_t size, bool zeroed) {
    if (g_failAllocation > 0 && --g_failAllocation == 0) return nullptr;
    const size_t n = static_cast<size_t>(size);
    return std::unique_ptr<uint8_t[]>(zeroed ? new (std::nothrow) uint8_t[n]()
                                             : new (std::nothrow) uint8_t[n]);
}

// The image's bitmap when it agrees with the image's reported size and depth and holds every
// row the packed buffers address; else null.
raster::Bitmap* CheckedBitmap(int image, int width, int height, int depth) {
    raster::Bitmap* bm = ImageGetBitmap(image);
    if (bm == nullptr || !bm->bits) return nullptr;
    if (bm->width != width || bm->height != height || bm->bpp != depth) return nullptr;
    const int64_t rowBytes = int64_t{width} * (depth / 8);
    if (bm->stride < rowBytes) return nullptr;
    return bm;
}

}  // namespace

int64_t PixelsBufferSize(int width, int height, int depth) {
    if (width < 0 || height < 0 || (depth != 24 && depth != 32)) return -1;
    const int64_t size = int64_t{width} * int64_t{height} * (depth / 8);
    return size > kPixelsMaxSize ? -1 : size;
}

void PixelsFailAllocationForTest(int nth) {
    g_failAllocation = nth < 0 ? 0 : nth;
}

void PixelsRelease() {
    PixelBuffers& px = g_app.pixels;
    px.source.reset();
    px.target.reset();
    px.size = 0;
    px.depth = 0;
    g_capturedWidth = 0;
    g_capturedHeight = 0;
}

int PixelsCapture(int image) {
    PixelsRelease();
    const int width = ImageGetWidth(image);
    const int height = ImageGetHeight(image);
    const int depth = ImageGetDepth(image);
    // A free number reports nothing: there is nothing to capture, which is not a failure.
    if (width <= 0 || height <= 0 || depth <= 0) return 1;

    const int64_t size = PixelsBufferSize(width, height, depth);
    if (size <= 0) return 0;
    const raster::Bitmap* bm = CheckedBitmap(image, width, height, depth);
    if (bm == nullptr) return 0;

    auto source = Allocate(size, false);
    if (!source) return 0;
    auto target = Allocate(size, true);
    if (!target) return 0;

    // Bitmap rows may be padded and may run bottom-up; the buffers hold packed top-down rows.
    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(depth / 8);
    for (int y = 0; y < height; ++y)
        std::memcpy(source.get() + static_cast<size_t>(y) * rowBytes, bm->Row(y), rowBytes);

    PixelBuffers& px = g_app.pixels;
    px.depth = depth;
    px.size = static_cast<int32_t>(size);
    g_capturedWidth = width;
    g_capturedHeight = height;
    px.source = std::move(source);
    px.target = std::move(target);
    return 1;
}

int PixelsStore(int image) {
    PixelBuffers& px = g_app.pixels;
    if (!px.target || px.size <= 0) return 0;
    const int width = ImageGetWidth(image);
    const int height = ImageGetHeight(image);
    const int depth = ImageGetDepth(image);
    // Writing into an image whose size or depth changed since the capture would run past its
    // rows or mix up its pixels.
    if (depth != px.depth || PixelsBufferSize(width, height, depth) != px.size) return 0;
    if (width != g_capturedWidth || height != g_capturedHeight || width <= 0) return 0;
    raster::Bitmap* bm = CheckedBitmap(image, width, height, depth);
    if (bm == nullptr) return 0;

    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(depth / 8);
    for (int y = 0; y < height; ++y)
        std::memcpy(bm->Row(y), px.target.get() + static_cast<size_t>(y) * rowBytes, rowBytes);
    return 1;
}
