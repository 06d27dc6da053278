#include "picture/working_pixels.h"

#include <cstring>
#include <utility>

#include "picture/cast.h"

int64_t PixelsBufferSize(int width, int height, int depth) {
    if (width < 0 || height < 0 || (depth != 24 && depth != 32)) return -1;
    const int64_t size = int64_t{width} * int64_t{height} * (depth / 8);
    return size > kPixelsMaxSize ? -1 : size;
}

bool WorkingPixels::Matches(const raster::Bitmap& bm) const {
    return Captured() && bm.bits && bm.width == width_ && bm.height == height_ &&
           bm.bpp == depth_ && bm.stride >= int64_t{width_} * (depth_ / 8);
}

void WorkingPixels::Release() {
    *this = WorkingPixels{};
}

bool WorkingPixels::Capture(const raster::Bitmap& bm) {
    Release();
    const int64_t size = PixelsBufferSize(bm.width, bm.height, bm.bpp);
    if (size <= 0 || !bm.bits || bm.stride < int64_t{bm.width} * (bm.bpp / 8)) return false;
    // The target starts all zero; the source is overwritten whole right away.
    auto source = raster::AllocatePixels(static_cast<size_t>(size), false);
    if (!source) return false;
    auto target = raster::AllocatePixels(static_cast<size_t>(size), true);
    if (!target) return false;

    // Bitmap rows may be padded and may run bottom-up; the buffers hold packed top-down rows.
    const size_t rowBytes = static_cast<size_t>(bm.width) * static_cast<size_t>(bm.bpp / 8);
    for (int y = 0; y < bm.height; ++y)
        std::memcpy(source.get() + static_cast<size_t>(y) * rowBytes, bm.Row(y), rowBytes);

    source_ = std::move(source);
    target_ = std::move(target);
    width_ = bm.width;
    height_ = bm.height;
    depth_ = bm.bpp;
    return true;
}

bool WorkingPixels::Store(raster::Bitmap& bm) const {
    // Writing into a bitmap whose shape changed since the capture would run past its rows or mix
    // up its pixels.
    if (!Matches(bm)) return false;
    const size_t rowBytes = static_cast<size_t>(width_) * static_cast<size_t>(depth_ / 8);
    for (int y = 0; y < height_; ++y)
        std::memcpy(bm.Row(y), target_.get() + static_cast<size_t>(y) * rowBytes, rowBytes);
    return true;
}

void WorkingPixels::AdjustTone(const ToneParams& tone, const ToneProgress& progress) {
    if (!Captured()) return;
    ToneAdjustBuffer(source_.get(), target_.get(), width_, height_, depth_ / 8, tone, progress);
}

void WorkingPixels::RemoveCast(uint32_t cast) {
    if (!Captured()) return;
    CastRemoveBuffer(target_.get(), width_, height_, depth_ / 8, cast);
}

uint32_t WorkingPixels::MeasureCast(const PixelRect& frame) const {
    if (!Captured()) return 0;
    return CastMeasureBuffer(source_.get(), width_, height_, depth_ / 8, frame);
}
