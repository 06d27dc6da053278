// The HEIF decoder, through libheif: HEIC (HEVC) and AVIF (AV1) files. The primary image is the
// one loaded, turned and mirrored as its irot and imir boxes say, delivered as 24-bit rows,
// or 32-bit ones with alpha (the loader lays them on white). Colours described by an ICC profile or
// by primaries and a transfer curve are converted to sRGB. Pictures over the loader's limits are
// refused before decoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "imagelib/decoder.h"
#include "platform/raster.h"

// ---------------------------------------------------------------------------------------------
// HEIF decoder
// ---------------------------------------------------------------------------------------------

// The decoder record that RegisterHeifDecoder registers.
const ImageDecoder* HeifDecoder();
// Registers the HEIF decoder; a second call does nothing.
void RegisterHeifDecoder();
// Decodes a whole HEIF file held in memory into a new 24-bit (32-bit with alpha) top-down bitmap,
// or null when it is refused or cannot be decoded.
std::unique_ptr<raster::Bitmap> HeifDecodeMemory(const uint8_t* data, size_t size);
