#include "imagelib/load_limits.h"

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
