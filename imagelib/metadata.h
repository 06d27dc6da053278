// What an exported JPEG tells about itself: from the original's EXIF data it keeps the capture
// date and time, the camera's make and model, the artist and the copyright; it adds Orientation 1
// (the pixels are upright already), the print resolution and the sRGB colour space. Everything
// else the original carried (GPS position, maker notes, thumbnails, every other tag) is dropped.
// Reading and writing go through libexif.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// ---------------------------------------------------------------------------------------------
// Export metadata
// ---------------------------------------------------------------------------------------------

// The body of the exported file's APP1 segment ("Exif\0\0" and a TIFF structure) built from
// `source` (the original's TIFF structure, with or without "Exif\0\0" in front; may be empty or
// damaged, then only the added tags are written) and `dpi` (1..65535). Empty when it cannot be
// made.
std::vector<uint8_t> ExportExif(const uint8_t* source, size_t size, int dpi);
