// Colour cast: measured from the nearly white pixels inside the selection frame of the unadjusted
// preview, removed from the adjusted pixels after each tone pass. A cast is a colour value
// red | green << 8 | blue << 16 with each component 0..30; 0 means no cast.
#pragma once

#include <cstddef>
#include <cstdint>

#include "picture/pixel_rect.h"

// Luminance window of the pixels that take part in the measurement, inclusive.
constexpr int kCastLowestLuminance = 221;
constexpr int kCastHighestLuminance = 252;
// Largest value of each cast component.
constexpr int kCastCap = 30;

// ---------------------------------------------------------------------------------------------
// Measurement and removal
// ---------------------------------------------------------------------------------------------

// The cast over packed top-down rows (bytesPerPixel 3 or 4). Samples rows top .. top+height-2
// (the frame's last row is left out) and columns left .. left+width-1, both clipped to the
// picture; pixels of luminance 221..252 count. Each component is its integer mean minus the
// smallest mean, capped at 30.
uint32_t CastMeasureBuffer(const uint8_t* source, int width, int height, int bytesPerPixel,
                           const PixelRect& frame);
// Subtracts each cast component from its channel and adds back their integer mean, limiting the
// results to 0..254; bytes 0..2 of each pixel of packed rows only.
void CastRemoveBuffer(uint8_t* target, int width, int height, int bytesPerPixel, uint32_t cast);
// The same over rows `step` bytes apart (negative for bottom-up rows): row y begins at
// first + y * step.
void CastRemoveRows(uint8_t* first, ptrdiff_t step, int width, int height, int bytesPerPixel,
                    uint32_t cast);
// The swatch colour showing the cast four times stronger on mid grey: each component 128 + 4c
// (cast components 0..30, so each stays within 128..248).
uint32_t CastSwatchColour(uint32_t cast);
