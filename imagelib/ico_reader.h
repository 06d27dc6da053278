// Reading icon files (.ico): a directory of entries, each a PNG file or a DIB whose colour rows
// are followed by a 1-bit AND mask. The largest, most colourful entry that can be read becomes a
// 32-bit picture (blue, green, red, alpha; top row first).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "imagelib/decoder.h"
#include "platform/raster.h"

// ---------------------------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------------------------

// The format record of icon files, second in the loader's table.
const ImageDecoder* IcoFormat();
// True when the data starts like an icon file: reserved 0, type 1, at least one entry.
bool IcoLooksLike(ByteView head);
// The picture of the best entry as a 32-bit top-down bitmap, or null when no entry can be read.
// Alpha: a 32-bit entry's own alpha when any pixel has some, else 255 where the AND mask is
// clear and 0 where it is set.
std::unique_ptr<raster::Bitmap> IcoDecode(ByteView file);
