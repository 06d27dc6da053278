#include "imagelib/load_limits.h"

#include "imagelib/decoder.h"
#include "platform/raster.h"

namespace {

LoadLimits g_limits;

}  // namespace

const LoadLimits& ImageLoadLimits() {
    return g_limits;
}

void ImageSetLoadLimits(const LoadLimits& limits) {
    g_limits = limits;
}

bool ImageLoadSizeAllowed(int width, int height, int bpp) {
    if (width < 1 || height < 1 || width > raster::kMaxSide || height > raster::kMaxSide)
        return false;
    if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > g_limits.maxPixels)
        return false;
    return raster::SizeAllowed(width, height, bpp);
}

int PictureSizeRefusal(int width, int height, int bpp, size_t fileBytes, uint64_t maxPixelsPerByte,
                       uint64_t workingBytesPerPixel) {
    if (!ImageLoadSizeAllowed(width, height, bpp)) return DECODE_TOO_LARGE;
    const uint64_t pixels = uint64_t(width) * uint64_t(height);
    if (pixels > kSmallPicture && pixels / maxPixelsPerByte > fileBytes) return DECODE_DAMAGED;
    if (workingBytesPerPixel && pixels * workingBytesPerPixel > g_limits.maxDecoderMemory)
        return DECODE_TOO_LARGE;
    return 0;
}
