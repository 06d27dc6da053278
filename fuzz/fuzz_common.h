// Shared set-up of the fuzz targets: limits small enough for a sanitizer build to stay well
// inside the fuzzer's memory budget, so a finding means a real fault and not a large picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "imagelib/load.h"
#include "platform/display.h"
#include "platform/raster.h"

inline void FuzzSetUp() {
    static bool done = false;
    if (done) return;
    done = true;
    LoadLimits limits;
    limits.maxPixels = uint64_t{1} << 22;         // 4 megapixels
    limits.maxDecoderMemory = size_t{256} << 20;  // 256 MB for libjpeg
    limits.maxFileBytes = size_t{16} << 20;
    limits.pngIgnoreChecksums = true;  // mutated data reaches inflate and the row filters
    ImageSetLoadLimits(limits);
    DisplaySetDepthForTesting(24);  // no display: indexed BMPs become 32-bit screen bitmaps
}

// Reads every pixel byte of a decoded picture, if there is one, so that the sanitizers see any
// uninitialised or out-of-range row.
inline void FuzzTouch(const std::unique_ptr<raster::Bitmap>& bm) {
    if (!bm) return;
    volatile unsigned sum = 0;
    for (size_t i = 0; i < bm->ByteSize(); ++i)
        sum = sum + bm->bits[i];
}
