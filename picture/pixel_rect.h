// A rectangle of pixels, its fields in reading order. The selection frame (in preview pixels)
// and the cut of an export (in picture pixels) are both such rectangles.
#pragma once

#include <cstdint>

struct PixelRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool operator==(const PixelRect&) const = default;
};
