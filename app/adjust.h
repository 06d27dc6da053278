// The preview's working pixels (g_app.pixels) reached through image numbers, and the track bars
// read as tone settings. Every operation here is a thin step over the pure pixel work.
#pragma once

#include <cstdint>

#include "picture/tone.h"

// ---------------------------------------------------------------------------------------------
// Working pixels of an image
// ---------------------------------------------------------------------------------------------

// Captures the pixels of `image` as the new source (the target zero-filled). True also for a
// number that holds no image (nothing is captured then). False when the image cannot be captured
// (depth, size, memory): the pair is then empty, and callers leave every picture as it was.
[[nodiscard]] bool PixelsCapture(int image);
// Writes the adjusted pixels into `image`. False, writing nothing, when no pair is held or the
// image's shape differs from the capture.
bool PixelsStore(int image);
// Frees the pair.
void PixelsRelease();
// The tone pass from the captured pixels of `image` into the target; when `progressControl` is
// not 0 that control follows the rows. Nothing when `image` is not the captured one.
void ToneAdjust(int image, const ToneParams& tone, int progressControl);
// Removes `cast` from the adjusted pixels of `image`; nothing when it is not the captured one.
void CastRemove(int image, uint32_t cast);
// The cast inside the frame, measured on the unadjusted pixels of `image`; 0 when it is not the
// captured one.
[[nodiscard]] uint32_t CastMeasure(int image);
// True when the working pixels hold a capture of `image` at its present shape.
[[nodiscard]] bool PixelsHold(int image);

// ---------------------------------------------------------------------------------------------
// Track bars
// ---------------------------------------------------------------------------------------------

// The positions of the five track bars.
ToneParams ReadToneBars();
