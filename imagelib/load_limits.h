// Limits that keep hostile files from costing unbounded memory or time, shared by the loader and
// every decoder.
#pragma once

#include <cstddef>
#include <cstdint>

// The defaults let every legitimate photo of 100 megapixels through, progressive and
// four-component JPEGs included.
struct LoadLimits {
    uint64_t maxPixels = uint64_t{1} << 28;     // width * height of one picture
    size_t maxDecoderMemory = size_t{1} << 31;  // working memory of one decoder library
    int maxJpegScans = 300;                     // scans of a progressive JPEG
    size_t maxFileBytes = size_t{1} << 30;      // a file read whole into memory
    bool pngIgnoreChecksums = false;            // fuzzers: let mutated data reach inflate
    // The formats decoded by the large compression libraries go through a confined helper
    // process (see confined_decode.h), which may take this long before it is stopped.
    bool decodeConfined = true;
    int decodeSeconds = 30;
};

// ---------------------------------------------------------------------------------------------
// Limits
// ---------------------------------------------------------------------------------------------

// The limits in force.
const LoadLimits& ImageLoadLimits();
// Replaces the limits (fuzzers and tests use smaller ones).
void ImageSetLoadLimits(const LoadLimits& limits);
// True when a picture of this size may be decoded: sides 1..raster::kMaxSide, at most
// maxPixels pixels, and the raster accepts the bitmap.
[[nodiscard]] bool ImageLoadSizeAllowed(int width, int height, int bpp);
