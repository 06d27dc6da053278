// Pictures to and from the system clipboard. Going out, a picture is offered as a BMP file
// (image/bmp: file header + packed device-independent bitmap) and as PNG (image/png), which
// between them every common program can paste. Coming in, image/png, image/bmp (a BMP file or a
// bare packed DIB), image/jpeg, image/webp, image/heic, image/heif, image/avif and a single
// copied picture file (text/uri-list) are accepted.
// Data from the clipboard is untrusted: every size is checked before it is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/raster.h"

// ---------------------------------------------------------------------------------------------
// Clipboard transfer
// ---------------------------------------------------------------------------------------------

// Makes a screen-compatible image (IMAGE_SCREEN_BITMAP, the display's depth) under `number` from
// the clipboard's picture. Returns its bitmap, or null (no picture, unreadable or lying data, no
// memory), in which case the number keeps what it held. Transparent parts of a PNG lie on white.
raster::Bitmap* ImageFromClipboard(int number);
// Puts image `number` on the clipboard as BitmapToClipboard does. Non-zero on success; on
// failure (also for a free number) the clipboard is left as it was.
[[nodiscard]] int ImageToClipboard(int number);
// Puts `bitmap` on the clipboard as image/bmp and image/png; needs no image table, as
// BitmapSaveFile. Non-zero on success; on failure the clipboard is left as it was.
[[nodiscard]] int BitmapToClipboard(const raster::Bitmap& bitmap);

// ---------------------------------------------------------------------------------------------
// Pictures as clipboard data
// ---------------------------------------------------------------------------------------------

// The picture as a PNG file (8-bit RGB), or empty when it cannot be made.
std::vector<uint8_t> PngFromBitmap(const raster::Bitmap* bitmap);
