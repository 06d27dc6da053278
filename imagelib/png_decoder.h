// The PNG decoder: every colour type and bit depth, interlaced or not, delivered as 24-bit
// blue, green, red rows (grey, RGB, palette; transparency from a tRNS chunk is dropped) or as
// 32-bit blue, green, red, alpha rows (grey with alpha, RGB with alpha). 16-bit samples keep
// their high byte. Memory the library may take is capped.
#pragma once

#include "imagelib/decoder.h"

// ---------------------------------------------------------------------------------------------
// PNG decoder
// ---------------------------------------------------------------------------------------------

// The format record of PNG files in the loader's format table (load.h).
const ImageDecoder* PngDecoder();
// Width, height and bits per pixel (bit depth times channels) from the IHDR chunk, without
// decoding anything. False when the data does not start with a PNG signature and IHDR.
[[nodiscard]] bool PngPeekSize(ByteView file, int& width, int& height, int& bitsPerPixel);
