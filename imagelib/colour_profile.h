// Colour profiles: a picture whose file describes its colours (an embedded ICC profile, or the
// primaries and transfer curve of a HEIF/AVIF file) is converted to sRGB when it is loaded, so
// that the preview, the adjustments and the export all work on sRGB. Relative colorimetric with
// black-point compensation. A picture without a profile, with an sRGB one, or with one that
// cannot be used (damaged, not RGB or grey) is left exactly as decoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// ---------------------------------------------------------------------------------------------
// Conversion to sRGB
// ---------------------------------------------------------------------------------------------

class SrgbConversion {
public:
    // The conversion an embedded ICC profile asks for, for rows of `bytesPerPixel` (3: blue,
    // green, red; 4: the same and alpha, kept). Null when nothing is to be done: no profile, a
    // profile that changes no colour by more than one level (sRGB itself), a damaged profile,
    // or one of another colour space. A grey profile is used for 3-byte rows only.
    static std::unique_ptr<SrgbConversion> FromIcc(const uint8_t* icc, size_t size,
                                                   int bytesPerPixel);
    // The same for colours given by their primaries and white point (CIE xy) and a transfer
    // curve as numbered in ITU-T H.273. Null for sRGB-like colours and for curves not
    // understood (the HDR curves among them).
    static std::unique_ptr<SrgbConversion> FromPrimaries(const float primaries[8], int transfer,
                                                         int bytesPerPixel);
    ~SrgbConversion();
    SrgbConversion(const SrgbConversion&) = delete;
    SrgbConversion& operator=(const SrgbConversion&) = delete;

    // Converts `height` rows of `width` pixels, row k at rows + k * stride, in place.
    void Apply(uint8_t* rows, size_t stride, int width, int height) const;

private:
    SrgbConversion() = default;
    static std::unique_ptr<SrgbConversion> FromProfile(void* profile, int bytesPerPixel);
    void* transform_ = nullptr;
    int bytesPerPixel_ = 3;
};
