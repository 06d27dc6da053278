#include "imagelib/colour_profile.h"

#include <lcms2.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Grey samples in three-byte rows: the first byte of each pixel is read, the other two skipped.
constexpr cmsUInt32Number kGreyInBgr =
    COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(2);
// Profiles larger than this are not photographs' profiles.
constexpr size_t kMaxProfileBytes = size_t{16} << 20;

// lcms reports damaged profiles through its log; the loader says nothing and uses no profile.
void Quiet(cmsContext, cmsUInt32Number, const char*) {}

struct ProfileCloser {
    void operator()(void* p) const {
        if (p) cmsCloseProfile(p);
    }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

struct CurveFreer {
    void operator()(cmsToneCurve* c) const {
        if (c) cmsFreeToneCurve(c);
    }
};
using Curve = std::unique_ptr<cmsToneCurve, CurveFreer>;

// True when the transform moves no colour of a coarse grid, nor any grey, by more than one
// level: the profile is sRGB (or close enough that converting would only add rounding noise).
bool NearIdentity(cmsHTRANSFORM transform, bool grey) {
    static const uint8_t kLevels[] = {0, 16, 48, 96, 128, 160, 208, 255};
    constexpr int kGrid = sizeof kLevels * sizeof kLevels * sizeof kLevels;
    uint8_t in[(kGrid + 256) * 3], out[(kGrid + 256) * 3];
    int n = 0;
    for (int v = 0; v < 256; ++v, ++n)
        in[n * 3] = in[n * 3 + 1] = in[n * 3 + 2] = static_cast<uint8_t>(v);
    if (!grey)
        for (uint8_t b : kLevels)
            for (uint8_t g : kLevels)
                for (uint8_t r : kLevels) {
                    in[n * 3] = b, in[n * 3 + 1] = g, in[n * 3 + 2] = r;
                    ++n;
                }
    cmsDoTransform(transform, in, out, static_cast<cmsUInt32Number>(n));
    for (int i = 0; i < n * 3; ++i)
        if (std::abs(int{in[i]} - int{out[i]}) > 1) return false;
    return true;
}

}  // namespace

std::unique_ptr<SrgbConversion> SrgbConversion::FromProfile(void* profile, int bytesPerPixel,
                                                            CodedColours coded) {
    if (!profile || (bytesPerPixel != 3 && bytesPerPixel != 4)) return nullptr;
    cmsUInt32Number input = 0, check = 0;
    const cmsColorSpaceSignature space = cmsGetColorSpace(profile);
    if (space == cmsSigRgbData && coded == CodedColours::Rgb) {
        input = bytesPerPixel == 4 ? TYPE_BGRA_8 : TYPE_BGR_8;
        check = TYPE_BGR_8;
    } else if (space == cmsSigGrayData && coded == CodedColours::Grey && bytesPerPixel == 3) {
        input = check = kGreyInBgr;
    } else if (space == cmsSigCmykData && coded == CodedColours::Cmyk && bytesPerPixel == 3) {
        input = TYPE_CMYK_8_REV;  // inverted inks: 255 is no ink
    } else {
        return nullptr;
    }
    Profile srgb(cmsCreate_sRGBProfile());
    if (!srgb) return nullptr;
    const cmsUInt32Number flags =
        cmsFLAGS_BLACKPOINTCOMPENSATION | (bytesPerPixel == 4 ? cmsFLAGS_COPY_ALPHA : 0);
    const cmsUInt32Number output = bytesPerPixel == 4 ? TYPE_BGRA_8 : TYPE_BGR_8;
    // Inks are never the screen's colours already: only RGB and grey can be sRGB in disguise.
    if (check) {
        cmsHTRANSFORM probe = cmsCreateTransform(profile, check, srgb.get(), TYPE_BGR_8,
                                                 INTENT_RELATIVE_COLORIMETRIC, flags);
        if (!probe) return nullptr;
        const bool identity = NearIdentity(probe, check == kGreyInBgr);
        cmsDeleteTransform(probe);
        if (identity) return nullptr;
    }
    cmsHTRANSFORM transform =
        cmsCreateTransform(profile, input, srgb.get(), output, INTENT_RELATIVE_COLORIMETRIC, flags);
    if (!transform) return nullptr;
    std::unique_ptr<SrgbConversion> c(new (std::nothrow) SrgbConversion);
    if (!c) {
        cmsDeleteTransform(transform);
        return nullptr;
    }
    c->transform_ = transform;
    c->bytesPerPixel_ = bytesPerPixel;
    return c;
}

std::unique_ptr<SrgbConversion> SrgbConversion::FromIcc(const uint8_t* icc, size_t size,
                                                        int bytesPerPixel, CodedColours coded) {
    if (!icc || size < 132 || size > kMaxProfileBytes) return nullptr;
    cmsSetLogErrorHandler(Quiet);
    Profile profile(cmsOpenProfileFromMem(icc, static_cast<cmsUInt32Number>(size)));
    return FromProfile(profile.get(), bytesPerPixel, coded);
}

std::unique_ptr<SrgbConversion> SrgbConversion::FromPrimaries(const float primaries[8],
                                                              int transfer, int bytesPerPixel) {
    // Red, green, blue and white as CIE xy, in that order.
    static const float kSrgb[8] = {0.64f, 0.33f, 0.30f, 0.60f, 0.15f, 0.06f, 0.3127f, 0.3290f};
    bool srgbPrimaries = true;
    for (int i = 0; i < 8; ++i)
        srgbPrimaries = srgbPrimaries && std::abs(primaries[i] - kSrgb[i]) < 0.001f;
    // Parameters of lcms's parametric curve type 4 (IEC 61966-2.1) or a plain gamma (type 1).
    cmsFloat64Number params[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    int type = 4;
    switch (transfer) {
        case 1:   // BT.709
        case 2:   // unspecified
        case 6:   // BT.601
        case 13:  // sRGB
        case 14:  // BT.2020, 10 bits
        case 15:  // BT.2020, 12 bits
            // Pictures for screens: shown with the sRGB curve, as browsers do.
            if (srgbPrimaries) return nullptr;
            break;
        case 4:
            type = 1, params[0] = 2.2;
            break;
        case 5:
            type = 1, params[0] = 2.8;
            break;
        case 8:
            type = 1, params[0] = 1.0;
            break;
        default:
            return nullptr;
    }
    for (int i = 0; i < 8; ++i)
        if (!(primaries[i] > 0.0f && primaries[i] < 1.0f)) return nullptr;
    cmsSetLogErrorHandler(Quiet);
    Curve curve(cmsBuildParametricToneCurve(nullptr, type, params));
    if (!curve) return nullptr;
    cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
    const cmsCIExyY white = {primaries[6], primaries[7], 1.0};
    const cmsCIExyYTRIPLE rgb = {{primaries[0], primaries[1], 1.0},
                                 {primaries[2], primaries[3], 1.0},
                                 {primaries[4], primaries[5], 1.0}};
    Profile profile(cmsCreateRGBProfile(&white, &rgb, curves));
    return FromProfile(profile.get(), bytesPerPixel, CodedColours::Rgb);
}

SrgbConversion::~SrgbConversion() {
    if (transform_) cmsDeleteTransform(transform_);
}

void SrgbConversion::Apply(uint8_t* rows, size_t stride, int width, int height) const {
    if (!rows || width <= 0) return;
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(bytesPerPixel_);
    // lcms reads and writes different buffers; one row at a time costs one row of memory.
    std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[bytes]);
    if (!copy) return;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = rows + static_cast<size_t>(y) * stride;
        std::memcpy(copy.get(), row, bytes);
        cmsDoTransform(transform_, copy.get(), row, static_cast<cmsUInt32Number>(width));
    }
}

void SrgbConversion::ConvertRow(const uint8_t* in, uint8_t* out, int width) const {
    if (width > 0) cmsDoTransform(transform_, in, out, static_cast<cmsUInt32Number>(width));
}
