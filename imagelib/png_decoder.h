// The PNG decoder: every colour type and bit depth, interlaced or not, delivered as 24-bit
// blue, green, red rows (grey, RGB, palette; transparency from a tRNS chunk is dropped) or as
// 32-bit blue, green, red, alpha rows (grey with alpha, RGB with alpha). 16-bit samples keep
// their high byte. Memory the library may take is capped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "imagelib/decoder.h"
#include "platform/raster.h"

// ---------------------------------------------------------------------------------------------
// PNG decoder
// ---------------------------------------------------------------------------------------------

// The decoder record (probe, decode, width, height, discard) that RegisterPngDecoder registers.
const ImageDecoder* PngDecoder();
// Decodes a whole PNG file held in memory into a new top-down bitmap (24 or 32 bits as the
// probe announces), or null when the probe refuses it or not one row could be decoded. A
// decoding error after the first rows keeps them and fills the rest with grey.
std::unique_ptr<raster::Bitmap> PngDecodeMemory(const uint8_t* data, size_t size);
// Width, height and bits per pixel (bit depth times channels) from the IHDR chunk, without
// decoding anything. False when the data does not start with a PNG signature and IHDR.
bool PngPeekSize(const uint8_t* data, size_t size, int* width, int* height, int* bitsPerPixel);
