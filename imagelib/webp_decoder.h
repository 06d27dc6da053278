// The WebP decoder, through libwebp: lossy and lossless files, with or without alpha, and the
// first frame of an animation. Delivered as 24-bit rows, or 32-bit ones with alpha (the loader
// lays them on white); an embedded ICC profile is converted to sRGB. Pictures over the loader's
// limits are refused before decoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "imagelib/decoder.h"
#include "platform/raster.h"

// ---------------------------------------------------------------------------------------------
// WebP decoder
// ---------------------------------------------------------------------------------------------

// The decoder record that RegisterWebpDecoder registers.
const ImageDecoder* WebpDecoder();
// Registers the WebP decoder; a second call does nothing.
void RegisterWebpDecoder();
// Decodes a whole WebP file held in memory into a new 24-bit (32-bit with alpha) top-down bitmap,
// or null when it is refused or cannot be decoded.
std::unique_ptr<raster::Bitmap> WebpDecodeMemory(const uint8_t* data, size_t size);
