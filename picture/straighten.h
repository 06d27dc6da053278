// Straightening: a picture turned by a small angle about its centre and cut to the largest
// centred rectangle of its own aspect ratio that lies wholly inside the turned picture, at the
// picture's own scale. Every output pixel is one bilinear interpolation of the source, so a
// picture is straightened from the source as it was, never from an earlier straightened copy.
#pragma once

#include <memory>

#include "picture/orient.h"
#include "picture/sides.h"
#include "platform/raster.h"

// The angles the straightening takes, in degrees; positive turns the picture clockwise.
inline constexpr double kStraightenMaxDegrees = 15.0;

// ---------------------------------------------------------------------------------------------
// Sizes
// ---------------------------------------------------------------------------------------------

// The size of a width x height picture straightened by `degrees`: s * width by s * height, both
// rounded down and at least 1, where s = min(W / (W cos + H sin), H / (W sin + H cos)) with the
// sine taken positive. 0 degrees keeps the size.
[[nodiscard]] Sides StraightenedSize(int width, int height, double degrees);

// ---------------------------------------------------------------------------------------------
// Pixel work
// ---------------------------------------------------------------------------------------------

// Writes `src`, put in orientation `o` and then turned by `degrees`, into `dst`, which must have
// the straightened size of the oriented picture and the source's depth (24 or 32 bits, every
// byte of a pixel interpolated). At 0 degrees this is OrientInto, exact. Each output pixel
// interpolates the four source pixels around its centre with weights in 1/256 pixel, so a
// picture of one colour stays exactly that colour. A large picture is shared with a second
// core; the bytes are the same. False, writing nothing, when the shapes do not fit.
bool StraightenInto(const raster::Bitmap& src, PixelOrientation o, double degrees,
                    raster::Bitmap& dst);
// A new bitmap of the source's kind holding the straightened picture; null when the memory
// cannot be had or the depth is not 24 or 32 bits.
std::unique_ptr<raster::Bitmap> Straighten(const raster::Bitmap& src, PixelOrientation o,
                                           double degrees);
