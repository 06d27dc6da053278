// Reading icon files (.ico): a directory of entries, each a PNG file or a DIB whose colour rows
// are followed by a 1-bit AND mask. The largest, most colourful entry that can be read becomes a
// 32-bit picture (blue, green, red, alpha; top row first).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/raster.h"

// ---------------------------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------------------------

// True when the data starts like an icon file: reserved 0, type 1, at least one entry.
bool IcoLooksLike(const uint8_t* data, size_t size);
// The picture of the best entry as a 32-bit top-down bitmap, or null when no entry can be read.
// Alpha: a 32-bit entry's own alpha when any pixel has some, else 255 where the AND mask is
// clear and 0 where it is set.
std::unique_ptr<raster::Bitmap> IcoDecode(const uint8_t* data, size_t size);
