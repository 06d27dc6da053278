// Orientation from EXIF data: which way the camera was turned, and putting pixels upright.
// Every offset read from the file is bounds-checked; both TIFF byte orders are understood.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------------------------
// EXIF parsing
// ---------------------------------------------------------------------------------------------

// The orientation (1..8) stored in a TIFF structure (the part of an APP1 segment after
// "Exif\0\0"), tag 0x0112 of IFD0, stored as one value of any integer type; 1 when absent or
// invalid.
int ExifOrientationFromTiff(const uint8_t* tiff, size_t size);
// Where the TIFF structure of a JPEG file's EXIF data lies (after "Exif\0\0" in the first APP1
// segment before the first scan); false when there is none.
bool ExifFindInJpeg(const uint8_t* data, size_t size, size_t* offset, size_t* length);

// ---------------------------------------------------------------------------------------------
// Orientation mapping
// ---------------------------------------------------------------------------------------------

// True when the orientation swaps width and height (5..8).
bool ExifSwapsSides(int orientation);
// Where the stored pixel (x, y) of a picture stored as width x height lands in the upright
// picture. Orientations outside 2..8 leave the pixel where it is.
void ExifMapPixel(int orientation, int width, int height, int x, int y, int* outX, int* outY);
