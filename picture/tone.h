// Tone adjustment: gamma, white point, black point, saturation and contrast from the five track
// bar positions, applied from the source buffer into the target buffer of the captured picture.
// Every figure is computed with the same single- and double-precision steps as the per-pixel
// formulas; the per-channel stage is evaluated once per value into a 256-entry table.
#pragma once

#include <cstdint>
#include <functional>

// Track bar positions, in the order the callers read them.
struct ToneParams {
    int gamma;       // 20..255; exponent (255 - gamma) / 100
    int white;       // 100..255; white scale 255 / white
    int black;       // 0..245; black strength 40 * black
    int saturation;  // 0..200; factor (saturation - 100) / 100
    int contrast;    // 50..200; factor contrast / 100, offset 100 - contrast
};

// Position ranges and defaults of the five track bars.
constexpr ToneParams kToneMinimum{20, 100, 0, 0, 50};
constexpr ToneParams kToneMaximum{255, 255, 245, 200, 200};
constexpr ToneParams kToneDefaults{155, 255, 0, 100, 100};

// Called with the progress value before each row is processed.
using ToneProgress = std::function<void(int value)>;

// ---------------------------------------------------------------------------------------------
// Picture pass
// ---------------------------------------------------------------------------------------------

// Fills the whole target buffer from the source buffer of the captured `image` (the one captured
// last). When progressControl > 0 that control's value is set to (y * 100) / height before each
// row y (on both cores for a large picture, see ToneAdjustBuffer). Positions outside their track
// bar ranges are clamped to them. Does nothing when no pair is captured or the image's size no
// longer matches the buffers. Returns 0.
int ToneAdjust(int image, int gamma, int white, int black, int saturation, int contrast,
               int progressControl);

// ---------------------------------------------------------------------------------------------
// Buffer pass (pure)
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

// Luminance as both passes compute it: nearest(0.3 r + 0.59 g + 0.11 b), 0.3 being the double
// just above it, halves to even.
int ToneLuminance(int red, int green, int blue);
