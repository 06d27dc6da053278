// Colour profiles: a picture whose file describes its colours (an embedded ICC profile, or the
// primaries and transfer curve of a HEIF/AVIF file) is converted to sRGB when it is loaded, so
// that the preview, the adjustments and the export all work on sRGB. Relative colorimetric with
// black-point compensation. A picture without a profile, with an sRGB one, or with one that
// cannot be used (damaged, or of another colour space than the file's samples: a grey profile on
// an RGB picture describes nothing in it) is left exactly as decoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// ---------------------------------------------------------------------------------------------
// Conversion to sRGB
// ---------------------------------------------------------------------------------------------

// What the file's samples are, whatever rows the decoder makes of them.
enum class CodedColours {
    Rgb,   // red, green, blue (YCbCr included)
    Grey,  // one sample, delivered as equal blue, green, red
    Cmyk,  // four inks stored inverted (0 = full ink), as in CMYK and YCCK JPEG files
};

class SrgbConversion {
public:
    // The conversion an embedded ICC profile asks for, for samples `coded` delivered as rows
    // of `bytesPerPixel` (3: blue, green, red; 4: the same and alpha, kept). CMYK samples come
    // as four bytes per pixel and leave as three (through ConvertRow). Null when nothing is to
    // be done: no profile, a profile that changes no colour by more than one level (sRGB
    // itself), a damaged profile, or one whose colour space is not that of the samples. A grey
    // profile is used for 3-byte rows only.
    static std::unique_ptr<SrgbConversion> FromIcc(const uint8_t* icc, size_t size,
                                                   int bytesPerPixel, CodedColours coded);
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
    // Converts one row of `width` pixels from `in` to `out` (separate buffers); the only way for
    // CMYK samples.
    void ConvertRow(const uint8_t* in, uint8_t* out, int width) const;

private:
    SrgbConversion() = default;
    static std::unique_ptr<SrgbConversion> FromProfile(void* profile, int bytesPerPixel,
                                                       CodedColours coded);
    void* transform_ = nullptr;
    int bytesPerPixel_ = 3;
};
