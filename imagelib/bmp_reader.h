// Reading BMP pictures: whole BMP files, packed device-independent bitmaps (a header, colour
// table and pixels, as on the clipboard) and the colour part of icon entries. Understands header
// versions of 12, 40, 52, 56, 64, 108 and 124 bytes; 1, 4 and 8 bits per pixel with colour tables,
// RLE8 and RLE4; 16 bits (5-5-5, 5-6-5, bit fields); 24 bits; 32 bits (with bit fields);
// top-down and bottom-up rows. Every size and offset taken from the data is checked first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "imagelib/decoder.h"
#include "platform/raster.h"

// What a DIB header describes, after validation.
struct DibView {
    int width = 0;
    int height = 0;                  // rows of the picture, always positive
    int bpp = 0;                     // 1, 4, 8, 16, 24 or 32
    int compression = 0;             // 0 none, 1 RLE8, 2 RLE4, 3 bit fields
    bool topDown = false;            // the file stores the top row first
    uint32_t masks[4] = {};          // red, green, blue, alpha masks (16 and 32 bits per pixel)
    bool standardMasks = true;       // 32 bits: blue, green, red, fourth byte as stored
    const uint8_t* table = nullptr;  // colour table entries
    int tableEntries = 0;            // entries available in the data (at most 256)
    int tableEntrySize = 4;          // 3 for the 12-byte core header
    const uint8_t* pixels = nullptr;
    size_t pixelBytes = 0;  // bytes from `pixels` to the end of the data
    size_t rowBytes = 0;    // bytes per stored row of an uncompressed picture
};

// ---------------------------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------------------------

// The format record of BMP files, first in the loader's table; 32-bit files keep their fourth
// byte (it is rarely alpha).
const ImageDecoder* BmpFormat();
// A BMP file ("BM", 14-byte file header, DIB). 8 bits or fewer give a screen-compatible bitmap
// (raster::Create(w, h, DisplayBitmapBpp(), true, true)); 16 bits give 24-bit pixels; 24 and 32
// bits keep their depth; all keep the file's row order. Null when the data cannot be read.
std::unique_ptr<raster::Bitmap> BmpDecodeFile(ByteView file);
// A packed DIB: the header, then three masks when a 40-byte header says bit fields, then the
// colour table (colours used, or 2^bpp at 8 bits or fewer), then the pixels. A negative height
// means top-down rows. Same results as BmpDecodeFile.
std::unique_ptr<raster::Bitmap> BmpDecodePackedDib(ByteView dib);

// ---------------------------------------------------------------------------------------------
// Building blocks (icon entries)
// ---------------------------------------------------------------------------------------------

// Validates the DIB header at `dib` (`size` bytes to the end of the data) and fills `view`.
// `pixelOffset` is where the pixels start counted from `dib`, or 0 to take them right after the
// colour table. `heightDivisor` is 2 for icon entries, whose header counts colour and mask rows.
bool DibParse(const uint8_t* dib, size_t size, size_t pixelOffset, int heightDivisor,
              DibView* view);
// Decodes the picture into `out`: width * 4 bytes of blue, green, red, alpha per row, rows from
// the top, `outStride` apart. Alpha is the stored fourth byte at 32 bits, the alpha mask's value
// when there is one, else 255. False when the pixel data is too short (RLE data may end early).
bool DibDecodeBgra(const DibView& view, uint8_t* out, size_t outStride);
