// The frame by numbers: the dialog "Rahmen" that takes the frame's place and size in picture
// pixels and lays it on the preview as a drag would.
#pragma once

#include "picture/pixel_rect.h"

inline constexpr const char* kFrameDialogTitle = "Rahmen";

// ---------------------------------------------------------------------------------------------
// Frame by numbers
// ---------------------------------------------------------------------------------------------

// Asks for the frame, starting from where it cuts the picture now, with "Zentrieren" (same size,
// centred) and "Maximal" (the largest frame of the ratio, centred); the height follows the width
// and the width the height. On OK the frame is applied (ApplyFrameNumbers) and recorded as a
// step. Nothing without a picture and preview.
void FrameNumbersRequested();
// Lays the frame `cut` (picture pixels) on the preview: the nearest frame in preview pixels,
// narrowed as a drag narrows it; repaints, so the status line says where it cuts.
void ApplyFrameNumbers(const PixelRect& cut);
