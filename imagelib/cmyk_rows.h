// Rows of inks turned into light: CMYK and YCCK JPEG files store four inks per pixel, inverted
// (0 = full ink), and the picture needs blue, green, red. Through the file's CMYK profile when it
// has a usable one, else by a plain rule.
#pragma once

#include <cstdint>
#include <memory>

#include "imagelib/colour_profile.h"

// ---------------------------------------------------------------------------------------------
// CMYK rows
// ---------------------------------------------------------------------------------------------

class CmykRows {
public:
    // Converts rows of `width` pixels by the plain rule.
    explicit CmykRows(int width) : width_(width) {}

    // Converts through `profile` (CMYK to sRGB) from now on; keeps the plain rule when the
    // profile is null or its working row cannot be had.
    void UseProfile(std::unique_ptr<SrgbConversion> profile);
    // Turns the inverted C, M, Y, K of a row at `p` into blue, green, red in place (the row's
    // first 3 * width bytes): through the profile, else taking an inverted ink as the light its
    // colour lets through, dimmed by the inverted black. One row at a time.
    void ConvertRow(uint8_t* p);

private:
    int width_ = 0;
    std::unique_ptr<SrgbConversion> profile_;
    std::unique_ptr<uint8_t[]> inkRow_;  // one row of inks, converted from
};
