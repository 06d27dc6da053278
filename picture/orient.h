// Quarter turns and the left-right mirror of a picture: exact moves of whole pixels, no
// resampling. An orientation is one of the eight ways a rectangle can lie; orientations compose
// and invert exactly, so any sequence of turns and mirrors is one orientation away from the
// picture it started from.
#pragma once

#include <memory>

#include "platform/raster.h"

// Mirrored left to right first (when `mirrored`), then turned `turns` quarter turns clockwise
// (0..3).
struct PixelOrientation {
    int turns = 0;
    bool mirrored = false;
    bool operator==(const PixelOrientation&) const = default;
};

inline constexpr PixelOrientation kTurnRight{1, false};
inline constexpr PixelOrientation kTurnLeft{3, false};
inline constexpr PixelOrientation kMirror{0, true};

// ---------------------------------------------------------------------------------------------
// PixelOrientation arithmetic
// ---------------------------------------------------------------------------------------------

// `first`, then `then`: one orientation with the same effect.
PixelOrientation Compose(PixelOrientation first, PixelOrientation then);
// The orientation that undoes `o`.
PixelOrientation Inverse(PixelOrientation o);
// True when `o` swaps width and height.
bool SwapsSides(PixelOrientation o);

// Where pixel (x, y) of a width x height picture comes from in the source: source pixel
// (x * ux + y * uy + u0, x * vx + y * vy + v0) for output pixel (x, y) of the oriented picture.
// The coefficients are -1, 0 or 1 (the offsets the matching corner); the oriented picture is
// height x width when SwapsSides.
struct OrientMap {
    int ux, uy, u0;
    int vx, vy, v0;
};
OrientMap MapFor(PixelOrientation o, int width, int height);

// ---------------------------------------------------------------------------------------------
// Pixel work
// ---------------------------------------------------------------------------------------------

// Writes `src` in orientation `o` into `dst`, which must have the oriented size and the source's
// depth (24 or 32 bits; any row order, any stride). Every byte of each pixel is moved as it is.
// A large picture is shared with a second core; the bytes are the same. False, writing nothing,
// when the shapes do not fit.
bool OrientInto(const raster::Bitmap& src, PixelOrientation o, raster::Bitmap& dst);
// A new bitmap of the source's kind holding `src` in orientation `o`; null when the memory
// cannot be had or the depth is not 24 or 32 bits.
std::unique_ptr<raster::Bitmap> Orient(const raster::Bitmap& src, PixelOrientation o);
