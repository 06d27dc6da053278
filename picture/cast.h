// Colour cast: measured from the nearly white pixels inside the selection frame of the unadjusted
// preview, removed from the adjusted pixels after each tone pass. A cast is a colour value
// red | green << 8 | blue << 16 with each component 0..30; 0 means no cast.
#pragma once

#include <cstdint>

#include "picture/appstate.h"

// Luminance window of the pixels that take part in the measurement, inclusive.
constexpr int kCastLowestLuminance = 221;
constexpr int kCastHighestLuminance = 252;
// Largest value of each cast component.
constexpr int kCastCap = 30;

// ---------------------------------------------------------------------------------------------
// Captured picture
// ---------------------------------------------------------------------------------------------

// The cast inside g_app.selection, read from the source buffer of the captured `image` (the
// preview). 0 when no pair is captured or the image's size no longer matches the buffers.
uint32_t CastMeasure(int image);
// Removes `cast` from every pixel of the target buffer of the captured `image`, in place.
// Does nothing when no pair is captured or the size no longer matches. Returns 0.
int CastRemove(int image, uint32_t cast);
// The swatch colour showing the cast four times stronger on mid grey: each component 128 + 4c
// (cast components 0..30, so each stays within 128..248).
uint32_t CastSwatchColour(uint32_t cast);

// ---------------------------------------------------------------------------------------------
// Buffers (pure)
// ---------------------------------------------------------------------------------------------

// The cast over packed top-down rows (bytesPerPixel 3 or 4). Samples rows top .. top+height-2
// (the frame's last row is left out) and columns left .. left+width-1, both clipped to the
// picture; pixels of luminance 221..252 count. Each component is its integer mean minus the
// smallest mean, capped at 30.
uint32_t CastMeasureBuffer(const uint8_t* source, int width, int height, int bytesPerPixel,
                           const Selection& frame);
// Subtracts each cast component from its channel and adds back their integer mean, limiting the
// results to 0..254; bytes 0..2 of each pixel only. A large picture is shared with a second core.
void CastRemoveBuffer(uint8_t* target, int width, int height, int bytesPerPixel, uint32_t cast);
