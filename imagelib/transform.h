// Resizing and cropping of numbered images. Both make a new bitmap with the kind (screen or not)
// and depth of the source and replace the old one only once the new one is complete, so a
// failure never loses a picture.
#pragma once

#include "platform/raster.h"

// Stretch mode of ImageScale: 0 smooths (area average when reducing), anything else takes the
// nearest source pixel.
constexpr int IMAGE_SCALE_SMOOTH = 0;
constexpr int IMAGE_SCALE_NEAREST = 3;

// ---------------------------------------------------------------------------------------------
// Resize and crop
// ---------------------------------------------------------------------------------------------

// Resizes image `number` to width x height. Same size: returns the current bitmap untouched.
// Returns the new bitmap, or null (free number, refused size, no memory: the image is kept).
raster::Bitmap* ImageScale(int number, int width, int height, int mode);
// Copies the width x height rectangle at (x, y) of image `source` into image `target`. The
// rectangle is first clipped to the source picture, so it never brings in pixels from outside.
// Returns the target's new bitmap, or null (nothing left after clipping, no source, no memory:
// the target keeps what it held). One of the numbered image operations; the export cuts the
// bitmap it holds (picture/export.h) and does not call it.
raster::Bitmap* ImageCrop(int source, int target, int x, int y, int width, int height);
