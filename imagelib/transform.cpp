#include "imagelib/transform.h"

#include <algorithm>
#include <cstdint>

#include "imagelib/image.h"

raster::Bitmap* ImageScale(int number, int width, int height, int mode) {
    raster::Bitmap* old = ImageGetBitmap(number);
    if (!old) return nullptr;
    if (width == ImageGetWidth(number) && height == ImageGetHeight(number)) return old;

    const int flags = ImageGetFlags(number);
    std::unique_ptr<raster::Bitmap> scaled =
        ImageMakeBitmap(width, height, flags, ImageGetDepth(number));
    if (!scaled) return nullptr;
    const auto stretch = mode == IMAGE_SCALE_SMOOTH ? raster::StretchMode::Halftone
                                                    : raster::StretchMode::ColorOnColor;
    // The old picture goes only when the new one is complete: a failed stretch keeps it.
    if (!raster::Stretch(*scaled, 0, 0, width, height, *old, stretch)) return nullptr;
    return ImageAdopt(number, std::move(scaled), static_cast<uint8_t>(flags));
}

raster::Bitmap* ImageCrop(int source, int target, int x, int y, int width, int height) {
    const raster::Bitmap* src = ImageGetBitmap(source);
    if (!src || width <= 0 || height <= 0) return nullptr;

    // Clip in 64 bits: x + width may not fit in an int. The callers round x, y, w and h
    // separately, so the rectangle can reach past the picture by a pixel; clipping keeps black
    // rows and columns out of the result.
    const int64_t srcW = ImageGetWidth(source), srcH = ImageGetHeight(source);
    const int64_t left = std::max<int64_t>(x, 0), top = std::max<int64_t>(y, 0);
    const int64_t right = std::min<int64_t>(int64_t{x} + width, srcW);
    const int64_t bottom = std::min<int64_t>(int64_t{y} + height, srcH);
    if (right <= left || bottom <= top) return nullptr;
    const int w = static_cast<int>(right - left), h = static_cast<int>(bottom - top);

    const int flags = ImageGetFlags(source);
    std::unique_ptr<raster::Bitmap> cut = ImageMakeBitmap(w, h, flags, ImageGetDepth(source));
    if (!cut) return nullptr;
    if (!raster::Blit(*cut, 0, 0, w, h, *src, static_cast<int>(left), static_cast<int>(top)))
        return nullptr;
    return ImageAdopt(target, std::move(cut), static_cast<uint8_t>(flags));
}
