// The JPEG decoder: whole files held in memory, decoded with the accurate integer DCT into
// 24-bit rows. Greyscale comes out as equal red, green and blue; four-component files (CMYK,
// YCCK, inverted Adobe files included) are converted to RGB; an EXIF orientation is applied so
// the picture comes out upright. A file that breaks off keeps the rows decoded before the break
// and is grey after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "imagelib/decoder.h"
#include "platform/raster.h"

// ---------------------------------------------------------------------------------------------
// JPEG decoder
// ---------------------------------------------------------------------------------------------

// The decoder record (probe, decode, width, height, discard) that RegisterJpegDecoder registers.
const ImageDecoder* JpegDecoder();
// Decodes a whole JPEG file held in memory into a new 24-bit top-down bitmap, or null when the
// probe refuses it or not one row could be decoded.
std::unique_ptr<raster::Bitmap> JpegDecodeMemory(const uint8_t* data, size_t size);
