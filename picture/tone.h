// Tone adjustment: gamma, white point, black point, saturation and contrast from the five track
// bar positions, applied from source rows into target rows (which may be the same).
// Every figure is computed with the same single- and double-precision steps as the per-pixel
// formulas; the per-channel stage is evaluated once per value into a 256-entry table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>

// Track bar positions, in the order the callers read them.
struct ToneParams {
    int gamma;       // 20..255; exponent (255 - gamma) / 100
    int white;       // 100..255; white scale 255 / white
    int black;       // 0..245; black strength 40 * black
    int saturation;  // 0..200; factor (saturation - 100) / 100
    int contrast;    // 50..200; factor contrast / 100, offset 100 - contrast
    bool operator==(const ToneParams&) const = default;
};

// The five settings in the order of their track bars: the name their value label shows, the
// position range and the default. Gamma is shown as 255 minus its position (the exponent in
// hundredths).
struct ToneSetting {
    const char* name;
    int ToneParams::*field;
    int minimum, maximum, standard;
    bool shownInverted;
};
inline constexpr ToneSetting kToneSettings[] = {
    {"Gamma", &ToneParams::gamma, 20, 255, 155, true},
    {"Whitepoint", &ToneParams::white, 100, 255, 255, false},
    {"Blackpoint", &ToneParams::black, 0, 245, 0, false},
    {"Sättigung", &ToneParams::saturation, 0, 200, 100, false},
    {"Kontrast", &ToneParams::contrast, 50, 200, 100, false},
};
inline constexpr int kToneSettingCount = 5;
static_assert(std::size(kToneSettings) == kToneSettingCount);

// The positions formed from one column of the table.
constexpr ToneParams ToneColumn(int ToneSetting::*column) {
    ToneParams p{};
    for (const ToneSetting& s : kToneSettings)
        p.*(s.field) = s.*column;
    return p;
}
inline constexpr ToneParams kToneMinimum = ToneColumn(&ToneSetting::minimum);
inline constexpr ToneParams kToneMaximum = ToneColumn(&ToneSetting::maximum);
inline constexpr ToneParams kToneDefaults = ToneColumn(&ToneSetting::standard);

// The number a value label shows for `position` of `setting`.
constexpr int ToneShownValue(const ToneSetting& setting, int position) {
    return setting.shownInverted ? 255 - position : position;
}

// Called with the progress value, (y * 100) / height, before each row y is processed.
using ToneProgress = std::function<void(int value)>;

// ---------------------------------------------------------------------------------------------
// Passes
// ---------------------------------------------------------------------------------------------

// Positions clamped to the track bar ranges; every function here clamps what it is given.
ToneParams ToneClampParams(const ToneParams& params);

// The per-channel stage (contrast and gamma, white point, black point) for every channel value
// 0..255; results are >= 0 and not yet limited to 254.
void ToneChannelTable(const ToneParams& params, int32_t table[256]);

// The pass over packed top-down rows of width * bytesPerPixel bytes (3 or 4). Reads bytes 0..2
// of each source pixel and writes bytes 0..2 of the target pixel; a fourth byte is left alone.
// A large picture is shared with a second core (see ParallelRows); the bytes are the same.
// `progress`, when set, receives (y * 100) / height for each row y in order, on the calling
// thread, before that row is processed by it. Source and target may be the same buffer.
void ToneAdjustBuffer(const uint8_t* source, uint8_t* target, int width, int height,
                      int bytesPerPixel, const ToneParams& params,
                      const ToneProgress& progress = {});
// The same pass over rows that lie `sourceStep` and `targetStep` bytes apart (negative for rows
// stored bottom-up, wider than the pixels for padded rows): row y of the source begins at
// source + y * sourceStep. Source and target may be the same rows, which adjusts in place.
void ToneAdjustRows(const uint8_t* source, ptrdiff_t sourceStep, uint8_t* target,
                    ptrdiff_t targetStep, int width, int height, int bytesPerPixel,
                    const ToneParams& params, const ToneProgress& progress = {});

// The pass prepared once for a set of positions, to be run over any number of row ranges: the
// export adjusts the rows of its cut first and the others later. With a cast, its removal
// (CastRemoveRows) is applied to each pixel right after the tone pass, in the same sweep: the
// bytes are those of the two passes run one after the other.
class TonePass {
public:
    explicit TonePass(const ToneParams& params, uint32_t cast = 0);
    ~TonePass();
    TonePass(const TonePass&) = delete;
    TonePass& operator=(const TonePass&) = delete;

    // The pass over rows as ToneAdjustRows takes them, shared with the helper thread when large.
    // `row`, when set, is called on the calling thread with each row y in order before that
    // row is processed by it.
    void Run(const uint8_t* source, ptrdiff_t sourceStep, uint8_t* target, ptrdiff_t targetStep,
             int width, int height, int bytesPerPixel, const std::function<void(int y)>& row = {});

private:
    struct Tables;
    std::unique_ptr<Tables> tables_;
};

// Luminance as both passes compute it: nearest(0.3 r + 0.59 g + 0.11 b), 0.3 being the double
// just above it, halves to even.
int ToneLuminance(int red, int green, int blue);
