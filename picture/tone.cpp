#include "picture/tone.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <vector>

#include "picture/parallel.h"

namespace {

// 0.3 as the weight is held: the double just above the literal.
const double kWeightRed = std::nextafter(0.3, 1.0);
constexpr double kWeightGreen = 0.59;
constexpr double kWeightBlue = 0.11;

// Adding and removing 1.5 * 2^52 leaves x rounded to an integer under the default rounding mode
// (nearest, halves to even) for |x| < 2^51; a call to nearbyint per channel would cost more than
// the rest of the pixel. The build never contracts or reassociates, so the pair is not folded.
inline int Nearest(double x) {
    constexpr double kShift = 6755399441055744.0;
    double t = x + kShift;
    t -= kShift;
    return static_cast<int>(t);
}

inline uint8_t Limit254(int v) {
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 254 ? 254 : v));
}

// Runs pixel(blue, green, red, target pixel) over every row, on both cores for a large picture
// (see ParallelRows), reporting each row's progress in order on the calling thread. The fourth
// byte of a 32-bit pixel is left alone.
template <class Pixel>
void EachPixel(const uint8_t* source, ptrdiff_t sourceStep, uint8_t* target, ptrdiff_t targetStep,
               int width, int height, int bytesPerPixel, const ToneProgress& progress,
               Pixel pixel) {
    // The band works on copies: its stores of bytes could otherwise alias anything reached
    // through the closure, and every value would be read again after every pixel.
    auto band = [=](int first, int last) {
        Pixel each = pixel;
        for (int y = first; y < last; ++y) {
            const uint8_t* s = source + y * sourceStep;
            uint8_t* t = target + y * targetStep;
            for (int x = 0; x < width; ++x, s += bytesPerPixel, t += bytesPerPixel)
                each(s[0], s[1], s[2], t);
        }
    };
    std::function<void(int)> row;
    if (progress)
        row = [&](int y) { progress(static_cast<int>((static_cast<int64_t>(y) * 100) / height)); };
    ParallelRows(width, height, band, row);
}

}  // namespace

ToneParams ToneClampParams(const ToneParams& p) {
    return ToneParams{
        std::clamp(p.gamma, kToneMinimum.gamma, kToneMaximum.gamma),
        std::clamp(p.white, kToneMinimum.white, kToneMaximum.white),
        std::clamp(p.black, kToneMinimum.black, kToneMaximum.black),
        std::clamp(p.saturation, kToneMinimum.saturation, kToneMaximum.saturation),
        std::clamp(p.contrast, kToneMinimum.contrast, kToneMaximum.contrast),
    };
}

int ToneLuminance(int red, int green, int blue) {
    return Nearest(kWeightRed * red + kWeightGreen * green + kWeightBlue * blue);
}

void ToneChannelTable(const ToneParams& positions, int32_t table[256]) {
    const ToneParams params = ToneClampParams(positions);
    const float exponent = static_cast<float>(255 - params.gamma) / 100.0f;
    const float whiteScale = 255.0f / static_cast<float>(params.white);
    const int blackStrength = 40 * params.black;
    const float contrast = static_cast<float>(params.contrast) / 100.0f;
    const int offset = 100 - params.contrast;
    for (int v = 0; v < 256; ++v) {
        const float base = static_cast<float>(static_cast<double>(contrast) * (v / 255.0));
        const float power =
            static_cast<float>(std::pow(static_cast<double>(base), static_cast<double>(exponent)));
        int c = Nearest(255.0 * static_cast<double>(power) + offset);
        c = Nearest(c * static_cast<double>(whiteScale));
        if (c < 0) c = 0;
        c -= blackStrength / (c + 1);
        if (c < 0) c = 0;
        table[v] = c;
    }
}

void ToneAdjustBuffer(const uint8_t* source, uint8_t* target, int width, int height,
                      int bytesPerPixel, const ToneParams& positions,
                      const ToneProgress& progress) {
    const ptrdiff_t rowBytes = static_cast<ptrdiff_t>(width) * bytesPerPixel;
    ToneAdjustRows(source, rowBytes, target, rowBytes, width, height, bytesPerPixel, positions,
                   progress);
}

void ToneAdjustRows(const uint8_t* source, ptrdiff_t sourceStep, uint8_t* target,
                    ptrdiff_t targetStep, int width, int height, int bytesPerPixel,
                    const ToneParams& positions, const ToneProgress& progress) {
    if (source == nullptr || target == nullptr || width <= 0 || height <= 0) return;
    if (bytesPerPixel != 3 && bytesPerPixel != 4) return;

    // The arithmetic below relies on the track bar ranges (no division by zero, bounded values).
    const ToneParams params = ToneClampParams(positions);
    int32_t channel[256];
    ToneChannelTable(params, channel);
    const float saturation = static_cast<float>(params.saturation - 100) / 100.0f;

    // Without saturation the luminance cannot change a channel: v + 0 * (v - Y) is v exactly, so
    // the whole pixel reduces to one table per channel value.
    if (saturation == 0.0f) {
        uint8_t final[256];
        for (int v = 0; v < 256; ++v)
            final[v] = Limit254(channel[v]);
        const uint8_t* table = final;
        EachPixel(source, sourceStep, target, targetStep, width, height, bytesPerPixel, progress,
                  [=](uint8_t b, uint8_t g, uint8_t r, uint8_t* t) {
                      t[0] = table[b];
                      t[1] = table[g];
                      t[2] = table[r];
                  });
        return;
    }

    // The weighted terms of the luminance, each the very product the formula forms.
    double termRed[256], termGreen[256], termBlue[256];
    int32_t top = 0;
    for (int v = 0; v < 256; ++v) {
        termRed[v] = kWeightRed * channel[v];
        termGreen[v] = kWeightGreen * channel[v];
        termBlue[v] = kWeightBlue * channel[v];
        top = std::max(top, channel[v]);
    }

    // Saturation, nearest(v + S (v - Y)), by integers. S is a float of at least 2^-7 in magnitude
    // (24-bit mantissa, lowest bit >= 2^-30) and v, |v - Y| < 2^13, so S (v - Y) and v + S (v - Y)
    // are exact in double and the rounding splits into v + floor(x) plus a carry: 1 above a half,
    // 0 below it, and on a half the step to the even neighbour. One entry per difference d = v - Y
    // holds floor(S d) * 4 + (1 when above a half) + (2 when exactly a half).
    const double factor = saturation;
    const int32_t reach = top + 2;  // Y lies in 0..top + 1
    std::vector<int32_t> steps(static_cast<size_t>(2 * reach + 1));
    for (int32_t d = -reach; d <= reach; ++d) {
        const double x = factor * d;
        const double whole = std::floor(x);
        const double fraction = x - whole;
        const int32_t carry = fraction > 0.5 ? 1 : (fraction == 0.5 ? 2 : 0);
        steps[static_cast<size_t>(d + reach)] = static_cast<int32_t>(whole) * 4 + carry;
    }
    const int32_t* step0 = steps.data() + reach;  // indexed by d

    // The final byte depends on the channel value and the pixel's luminance alone: one row of 256
    // bytes per luminance, built the first time a pixel of that luminance turns up.
    const size_t rows = static_cast<size_t>(top) + 2;  // Y lies in 0..top + 1
    std::unique_ptr<uint8_t[]> finals(new uint8_t[rows * 256]);
    std::vector<uint8_t> built(rows, 0);
    auto row = [&](int32_t lum) -> const uint8_t* {
        uint8_t* out = finals.get() + static_cast<size_t>(lum) * 256;
        if (!built[static_cast<size_t>(lum)]) {
            for (int i = 0; i < 256; ++i) {
                const int32_t v = channel[i];
                const int32_t e = step0[v - lum];
                int32_t t = v + (e >> 2);
                t += (e & 1) | ((e >> 1) & t & 1);
                out[i] = Limit254(t);
            }
            built[static_cast<size_t>(lum)] = 1;
        }
        return out;
    };

    if (ParallelWorthIt(width, height)) {
        // Shared between threads, the rows are all built beforehand and only read.
        for (int32_t lum = 0; lum < static_cast<int32_t>(rows); ++lum)
            row(lum);
        const uint8_t* table = finals.get();
        const double *red = termRed, *green = termGreen, *blue = termBlue;
        EachPixel(source, sourceStep, target, targetStep, width, height, bytesPerPixel, progress,
                  [=](uint8_t b, uint8_t g, uint8_t r, uint8_t* t) {
                      const uint8_t* out =
                          table + static_cast<size_t>(Nearest(red[r] + green[g] + blue[b])) * 256;
                      t[0] = out[b];
                      t[1] = out[g];
                      t[2] = out[r];
                  });
        return;
    }
    EachPixel(source, sourceStep, target, targetStep, width, height, bytesPerPixel, progress,
              [&](uint8_t b, uint8_t g, uint8_t r, uint8_t* t) {
                  const uint8_t* out = row(Nearest(termRed[r] + termGreen[g] + termBlue[b]));
                  t[0] = out[b];
                  t[1] = out[g];
                  t[2] = out[r];
              });
}
