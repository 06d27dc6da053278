// The preview's working pixels (g_app.pixels): the capture of image 101 and the tone and cast
// steps over it. Every operation here is a thin step over the pure pixel work of picture/; each
// works on the captured preview and does nothing when the pixels hold no capture of it.
#pragma once

#include <cstdint>

#include "picture/tone.h"

// ---------------------------------------------------------------------------------------------
// Working pixels of the preview
// ---------------------------------------------------------------------------------------------

// Captures the preview's pixels as the new source (the target zero-filled). True also without a
// preview (nothing is captured then). False when it cannot be captured (depth, size, memory): the
// pair is then empty, and callers leave every picture as it was.
[[nodiscard]] bool PixelsCapture();
// Writes the adjusted pixels into the preview. False, writing nothing, when no pair is held or
// the preview's shape differs from the capture.
[[nodiscard]] bool PixelsStore();
// Frees the pair.
void PixelsRelease();
// The tone pass from the captured pixels into the target.
void ToneAdjust(const ToneParams& tone);
// Removes `cast` from the adjusted pixels.
void CastRemove(uint32_t cast);
// The cast inside the frame, measured on the unadjusted pixels; 0 without a capture.
[[nodiscard]] uint32_t CastMeasure();
// True when the working pixels hold a capture of the preview at its present shape.
[[nodiscard]] bool PixelsHold();
