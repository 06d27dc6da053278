#include "picture/tone.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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
inline int NearestQuick(double x) {
    constexpr double kShift = 6755399441055744.0;
    double t = x + kShift;
    t -= kShift;
    return static_cast<int>(t);
}

inline uint8_t Limit254(int v) {
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 254 ? 254 : v));
}

// Runs pixel(blue, green, red, target pixel) over every row, on both cores for a large picture
// (see ParallelRows), calling `row` for each row in order on the calling thread. The fourth byte
// of a 32-bit pixel is left alone.
template <class Pixel>
void EachPixel(const uint8_t* source, ptrdiff_t sourceStep, uint8_t* target, ptrdiff_t targetStep,
               int width, int height, int bytesPerPixel, const std::function<void(int)>& row,
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
    return NearestQuick(kWeightRed * red + kWeightGreen * green + kWeightBlue * blue);
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
        int c = NearestQuick(255.0 * static_cast<double>(power) + offset);
        c = NearestQuick(c * static_cast<double>(whiteScale));
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
    std::function<void(int)> row;
    if (progress && height > 0)
        row = [&](int y) { progress(static_cast<int>((static_cast<int64_t>(y) * 100) / height)); };
    TonePass(positions).Run(source, sourceStep, target, targetStep, width, height, bytesPerPixel,
                            row);
}

struct TonePass::Tables {
    int32_t channel[256];
    // Without saturation the luminance cannot change a channel: v + 0 * (v - Y) is v exactly, so
    // the whole pixel reduces to one table per channel (blue, green, red), the cast included.
    bool plain = false;
    uint8_t final[3][256];
    // Plain tables that only limit every value to one ceiling (the defaults: 255 becomes 254):
    // a minimum over the row's bytes, sixteen at a time. -1 otherwise.
    int ceiling = -1;
    // With saturation: the weighted terms of the luminance, each the very product the formula
    // forms, and the cast's own table per channel.
    double termRed[256], termGreen[256], termBlue[256];
    bool cast = false;
    uint8_t castMap[3][256];
    std::vector<int32_t> steps;
    int32_t reach = 0;
    // The final byte depends on the channel value and the pixel's luminance alone: one row of
    // 256 bytes per luminance, built the first time a pixel of that luminance turns up (all of
    // them before a pass that is shared between threads).
    size_t rows = 0;
    std::unique_ptr<uint8_t[]> finals;
    std::vector<uint8_t> built;

    const uint8_t* Row(int32_t lum) {
        uint8_t* out = finals.get() + static_cast<size_t>(lum) * 256;
        if (!built[static_cast<size_t>(lum)]) {
            const int32_t* step0 = steps.data() + reach;  // indexed by d
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
    }
};

TonePass::~TonePass() = default;

TonePass::TonePass(const ToneParams& positions, uint32_t cast) : tables_(new Tables) {
    Tables& t = *tables_;
    // The arithmetic below relies on the track bar ranges (no division by zero, bounded values).
    const ToneParams params = ToneClampParams(positions);
    ToneChannelTable(params, t.channel);
    const float saturation = static_cast<float>(params.saturation - 100) / 100.0f;

    // The cast removal of CastRemoveRows: what each channel gains, limited to 0..254.
    const int castOf[3] = {static_cast<int>((cast >> 16) & 0xFF),
                           static_cast<int>((cast >> 8) & 0xFF), static_cast<int>(cast & 0xFF)};
    const int mean = (castOf[0] + castOf[1] + castOf[2]) / 3;
    t.cast = cast > 0;
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v)
            t.castMap[c][v] = t.cast ? Limit254(v - castOf[c] + mean) : static_cast<uint8_t>(v);

    if (saturation == 0.0f) {
        t.plain = true;
        for (int c = 0; c < 3; ++c)
            for (int v = 0; v < 256; ++v)
                t.final[c][v] = t.castMap[c][Limit254(t.channel[v])];
        t.ceiling = t.final[0][255];
        for (int c = 0; c < 3; ++c)
            for (int v = 0; v < 256; ++v)
                if (t.final[c][v] != std::min(v, t.ceiling)) t.ceiling = -1;
        return;
    }

    int32_t top = 0;
    for (int v = 0; v < 256; ++v) {
        t.termRed[v] = kWeightRed * t.channel[v];
        t.termGreen[v] = kWeightGreen * t.channel[v];
        t.termBlue[v] = kWeightBlue * t.channel[v];
        top = std::max(top, t.channel[v]);
    }

    // Saturation, nearest(v + S (v - Y)), by integers. S is a float of at least 2^-7 in magnitude
    // (24-bit mantissa, lowest bit >= 2^-30) and v, |v - Y| < 2^13, so S (v - Y) and v + S (v - Y)
    // are exact in double and the rounding splits into v + floor(x) plus a carry: 1 above a half,
    // 0 below it, and on a half the step to the even neighbour. One entry per difference d = v - Y
    // holds floor(S d) * 4 + (1 when above a half) + (2 when exactly a half).
    const double factor = saturation;
    t.reach = top + 2;  // Y lies in 0..top + 1
    t.steps.resize(static_cast<size_t>(2 * t.reach + 1));
    for (int32_t d = -t.reach; d <= t.reach; ++d) {
        const double x = factor * d;
        const double whole = std::floor(x);
        const double fraction = x - whole;
        const int32_t carry = fraction > 0.5 ? 1 : (fraction == 0.5 ? 2 : 0);
        t.steps[static_cast<size_t>(d + t.reach)] = static_cast<int32_t>(whole) * 4 + carry;
    }
    t.rows = static_cast<size_t>(top) + 2;  // Y lies in 0..top + 1
    t.finals.reset(new uint8_t[t.rows * 256]);
    t.built.assign(t.rows, 0);
}

void TonePass::Run(const uint8_t* source, ptrdiff_t sourceStep, uint8_t* target,
                   ptrdiff_t targetStep, int width, int height, int bytesPerPixel,
                   const std::function<void(int)>& row) {
    if (source == nullptr || target == nullptr || width <= 0 || height <= 0) return;
    if (bytesPerPixel != 3 && bytesPerPixel != 4) return;
    Tables& t = *tables_;
    if (t.ceiling >= 0 && bytesPerPixel == 3) {
        const auto ceiling = static_cast<uint8_t>(t.ceiling);
        const size_t bytes = static_cast<size_t>(width) * 3;
        ParallelRows(
            width, height,
            [=](int first, int last) {
                for (int y = first; y < last; ++y) {
                    const uint8_t* s = source + y * sourceStep;
                    uint8_t* d = target + y * targetStep;
                    size_t i = 0;
#ifdef __SSE2__
                    // Sixteen bytes loaded before they are stored: also right in place.
                    const __m128i top = _mm_set1_epi8(static_cast<char>(ceiling));
                    for (; i + 16 <= bytes; i += 16) {
                        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
                        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_min_epu8(v, top));
                    }
#endif
                    for (; i < bytes; ++i)
                        d[i] = std::min(s[i], ceiling);
                }
            },
            row);
        return;
    }
    if (t.plain) {
        const uint8_t *blue = t.final[0], *green = t.final[1], *red = t.final[2];
        EachPixel(source, sourceStep, target, targetStep, width, height, bytesPerPixel, row,
                  [=](uint8_t b, uint8_t g, uint8_t r, uint8_t* p) {
                      p[0] = blue[b];
                      p[1] = green[g];
                      p[2] = red[r];
                  });
        return;
    }
    if (ParallelWorthIt(width, height)) {
        // Shared between threads, the rows are all built beforehand and only read.
        for (int32_t lum = 0; lum < static_cast<int32_t>(t.rows); ++lum)
            t.Row(lum);
        const uint8_t* table = t.finals.get();
        const double *red = t.termRed, *green = t.termGreen, *blue = t.termBlue;
        auto lookup = [=](uint8_t b, uint8_t g, uint8_t r) {
            return table + static_cast<size_t>(NearestQuick(red[r] + green[g] + blue[b])) * 256;
        };
        if (t.cast) {
            const uint8_t *castBlue = t.castMap[0], *castGreen = t.castMap[1],
                          *castRed = t.castMap[2];
            EachPixel(source, sourceStep, target, targetStep, width, height, bytesPerPixel, row,
                      [=](uint8_t b, uint8_t g, uint8_t r, uint8_t* p) {
                          const uint8_t* out = lookup(b, g, r);
                          p[0] = castBlue[out[b]];
                          p[1] = castGreen[out[g]];
                          p[2] = castRed[out[r]];
                      });
        } else {
            EachPixel(source, sourceStep, target, targetStep, width, height, bytesPerPixel, row,
                      [=](uint8_t b, uint8_t g, uint8_t r, uint8_t* p) {
                          const uint8_t* out = lookup(b, g, r);
                          p[0] = out[b];
                          p[1] = out[g];
                          p[2] = out[r];
                      });
        }
        return;
    }
    if (t.cast) {
        EachPixel(source, sourceStep, target, targetStep, width, height, bytesPerPixel, row,
                  [&t](uint8_t b, uint8_t g, uint8_t r, uint8_t* p) {
                      const uint8_t* out =
                          t.Row(NearestQuick(t.termRed[r] + t.termGreen[g] + t.termBlue[b]));
                      p[0] = t.castMap[0][out[b]];
                      p[1] = t.castMap[1][out[g]];
                      p[2] = t.castMap[2][out[r]];
                  });
        return;
    }
    EachPixel(source, sourceStep, target, targetStep, width, height, bytesPerPixel, row,
              [&t](uint8_t b, uint8_t g, uint8_t r, uint8_t* p) {
                  const uint8_t* out =
                      t.Row(NearestQuick(t.termRed[r] + t.termGreen[g] + t.termBlue[b]));
                  p[0] = out[b];
                  p[1] = out[g];
                  p[2] = out[r];
              });
}
