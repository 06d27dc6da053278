// The preview at device resolution. On a screen with more than one device pixel per pixel (a
// 200 % screen) the preview area is painted once more at device resolution over the ordinary
// painting: the picture stretched from image 100 with the adjustments image 101 shows, its
// outline and the selection frame, all placed by the same preview-pixel figures. Nothing here
// changes a figure; at one device pixel per pixel none of it runs.
#pragma once

#include <cstdint>

#include "picture/tone.h"

// ---------------------------------------------------------------------------------------------
// Device preview
// ---------------------------------------------------------------------------------------------

// A new preview was made from image 100: the device copy is made anew at the next paint.
void DevicePreviewRebuilt();
// Image 101 now shows its captured pixels adjusted by `params` and, when not 0, freed of `cast`.
void DevicePreviewAdjusted(const ToneParams& params, uint32_t cast);
// Paints the preview area at device resolution over window 0 when its pixel ratio is above 1
// and images 100 and 101 exist; otherwise removes such a painting.
void DevicePreviewPaint();
// The live view of a straightening by `degrees` at device resolution: the preview as shown,
// turned and cut as the straightening would cut the picture, stretched over the preview, no
// frame. Nothing at one device pixel per pixel, where the ordinary painting shows it alone.
void DevicePreviewPaintStraightened(double degrees);
