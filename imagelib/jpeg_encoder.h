// The JPEG encoder over libjpeg, registered under JPEG_ENCODER_ID.
#pragma once

#include <cstdint>
#include <vector>

#include "imagelib/save.h"

// ---------------------------------------------------------------------------------------------
// JPEG encoder
// ---------------------------------------------------------------------------------------------

// Registers the JPEG encoder once; later calls do nothing.
void RegisterJpegEncoder();
// Writes encoder-layout rows (bottom row first, blue-green-red, `stride` bytes each) as a
// baseline JPEG file. `quality` 0..10 (clamped) becomes libjpeg quality 0..100, so anything
// from 10 up gives 100. With `metadata`, the JFIF header records its density in dots per inch
// and its EXIF data follows as an APP1 segment; without, the JFIF header has no density. Library
// errors (disk full, no memory) return 0 and leave no file behind; the process never ends here.
[[nodiscard]] int JpegEncode(const char* path, const uint8_t* pixels, int width, int height,
                             int stride, int quality, const ImageMetadata* metadata = nullptr);
// The same file in memory (as JpegEncode would write it at that quality), at libjpeg quality
// 1..100, into `out` (replaced). False, and `out` empty, on bad arguments or a library error.
[[nodiscard]] bool JpegEncodeToMemory(std::vector<uint8_t>& out, const uint8_t* pixels, int width,
                                      int height, int stride, int quality,
                                      const ImageMetadata* metadata = nullptr);
