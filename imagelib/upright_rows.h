// Stored rows put upright: a picture whose EXIF orientation turns or mirrors it is decoded in the
// order its file stores it, and each decoded row is placed at once where the orientation puts its
// pixels, so the picture comes out upright without a second pass over it. Rows are blue, green,
// red, 3 bytes per pixel.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/raster.h"

// ---------------------------------------------------------------------------------------------
// Placing stored rows
// ---------------------------------------------------------------------------------------------

class UprightRows {
public:
    // The most rows one Place call takes.
    static constexpr int kMaxRows = 64;

    UprightRows() = default;
    // Places a picture stored `width` x `height` with EXIF `orientation` (1..8) into the upright
    // picture at buffer + k * stride, which outlives this.
    UprightRows(int orientation, int width, int height, uint8_t* buffer, size_t stride);

    // Copies stored rows [y0, y1), at most kMaxRows of them, row y at first + (y - y0) * rowStep,
    // to their upright places. A turned picture's rows are written as runs of consecutive
    // pixels, touching nothing outside the picture.
    void Place(const uint8_t* first, size_t rowStep, int y0, int y1) const;
    // Fills the places of stored rows [from, height) with kUndecodedGrey.
    void FillFrom(int from) const;

private:
    // Byte offset in the upright picture of stored pixel (x, y).
    ptrdiff_t Offset(int x, int y) const;

    int orientation_ = 1;
    int width_ = 0;
    int height_ = 0;
    uint8_t* buffer_ = nullptr;
    size_t stride_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Turning a finished picture
// ---------------------------------------------------------------------------------------------

// Copies `stored`, a picture as its file stores it, upright into `upright` (same depth, sides
// swapped when the EXIF `orientation` swaps them).
void TurnUpright(const raster::Bitmap& stored, int orientation, raster::Bitmap& upright);
