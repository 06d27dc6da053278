// The working pixels of the preview: the pixels as captured (the source, which the adjustments
// only read) and the adjusted pixels (the target, written back into the picture), held together
// with the shape they were captured at. Both buffers are packed top-down rows, blue, green, red
// and at 32 bits a fourth byte, each row exactly width * depth / 8 bytes. The pair is either
// complete or empty: no failure leaves a buffer without its shape or a shape without buffers.
#pragma once

#include <cstdint>
#include <memory>

#include "picture/pixel_rect.h"
#include "picture/tone.h"
#include "platform/raster.h"

// Largest buffer: the size of one buffer is a signed 32-bit count.
constexpr int64_t kPixelsMaxSize = INT32_MAX;

// width * height * (depth / 8) computed in 64 bits; -1 when a side is negative, the depth is not
// 24 or 32, or the result exceeds kPixelsMaxSize.
int64_t PixelsBufferSize(int width, int height, int depth);

class WorkingPixels {
public:
    // ------------------------------------------------------------------------------------------
    // Capture and store
    // ------------------------------------------------------------------------------------------

    // Replaces the pair by a copy of `bitmap`'s pixels in the source and a zero-filled target.
    // False, and the pair empty, when the bitmap is not 24 or 32 bits, too large, or the memory
    // cannot be had.
    [[nodiscard]] bool Capture(const raster::Bitmap& bitmap);
    // Copies the target into `bitmap`. False, writing nothing, when the pair is empty or the
    // bitmap's shape is not the captured one.
    [[nodiscard]] bool Store(raster::Bitmap& bitmap) const;
    // Frees both buffers; the pair is empty.
    void Release();

    // True when a pair is held; true for `bitmap` only when it has the captured shape.
    bool Captured() const { return source_ != nullptr; }
    bool Matches(const raster::Bitmap& bitmap) const;

    // ------------------------------------------------------------------------------------------
    // Adjustments (nothing happens on an empty pair)
    // ------------------------------------------------------------------------------------------

    // The tone pass from the source into the whole target.
    void AdjustTone(const ToneParams& tone, const ToneProgress& progress = {});
    // Removes `cast` from the target, in place.
    void RemoveCast(uint32_t cast);
    // The cast of the unadjusted pixels inside `frame`; 0 for an empty pair.
    uint32_t MeasureCast(const PixelRect& frame) const;

    int width() const { return width_; }
    int height() const { return height_; }
    int depth() const { return depth_; }
    int64_t size() const { return PixelsBufferSize(width_, height_, depth_); }
    const uint8_t* source() const { return source_.get(); }
    const uint8_t* target() const { return target_.get(); }

private:
    raster::PixelMemory source_;
    raster::PixelMemory target_;
    int width_ = 0;
    int height_ = 0;
    int depth_ = 0;
};
