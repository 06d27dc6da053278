// Frame and preview arithmetic: the pure rules behind the selection frame, the preview size and
// the texts of the status line and value labels. No toolkit, no images, no globals; the shell's
// operations in selection.h and preview.h feed these with the current numbers.
#pragma once

#include <cstdint>
#include <string>

#include "picture/appstate.h"

namespace frame {

// Client point at which preview pixel (0, 0) is shown.
constexpr int kPreviewX = 14;
constexpr int kPreviewY = 20;
// Bounding box of the preview.
constexpr int kBoxWidth = 480;
constexpr int kBoxHeight = 476;
// Narrowest frame; wins over the preview bounds.
constexpr int kMinWidth = 25;
// Half the side of the square around the frame's corner point that starts a resize.
constexpr int kCornerReach = 20;
// Number of format items (combo box 2).
constexpr int kFormatCount = 10;

// ---------------------------------------------------------------------------------------------
// Rounding and ratios
// ---------------------------------------------------------------------------------------------

// Nearest integer, halves to the even neighbour; saturates at the int range.
int Nearest(double value);
// Height / width of the frame for format item `index`, upright when `portrait`; an index outside
// the table counts as item 0.
float RatioFor(int index, bool portrait);

// ---------------------------------------------------------------------------------------------
// Preview size
// ---------------------------------------------------------------------------------------------

// Preview size for a picture of width x height (both positive): a landscape picture is 480 wide,
// anything else 476 high; the other side follows H / W held as a float. Sides are at least 1.
void PreviewSize(int width, int height, int& previewWidth, int& previewHeight);

// ---------------------------------------------------------------------------------------------
// Frame rules (pw, ph: the preview's width and height)
// ---------------------------------------------------------------------------------------------

// Height of a frame `width` wide at `ratio`.
int HeightFor(int width, float ratio);
// The largest frame of `ratio` at the top-left corner, for a new picture: width 480 when
// `landscape`, else the width whose height is 476. Not yet clamped.
Selection DefaultFrame(bool landscape, float ratio);
// Keeps the frame inside the preview by narrowing it (never moving it), at least 25 wide, height
// following the width.
void Clamp(Selection& sel, float ratio, int pw, int ph);
// Drag-start test for a press at client point (mx, my): may set state.resizing (press in the
// corner square) or state.moving with the grab offset (press strictly inside the frame), and
// records the corner point and distances. Does nothing while a drag is under way or the press
// lies right of or below the preview.
void DragStart(AppState& state, int mx, int my, int pw, int ph);
// Resize step: the right edge follows the pointer at client x `mx`, the top-left corner stays.
void ResizeTo(Selection& sel, float ratio, int mx, int pw, int ph);
// Move step: the top-left corner follows the pointer at (mx, my) less the grab offset, kept
// inside the preview; the size stays (then Clamp).
void MoveTo(Selection& sel, float ratio, int mx, int my, int grabX, int grabY, int pw, int ph);

// ---------------------------------------------------------------------------------------------
// Texts
// ---------------------------------------------------------------------------------------------

// Status line for a width x height picture with the frame `sel` on a preview `pw` wide:
// "Bild: 800x600 / Auswahl: 800x533".
std::string StatusText(int width, int height, const Selection& sel, int pw);

// The five value labels for the track-bar positions (gamma is shown as 255 minus its position).
struct LabelTexts {
    std::string gamma, whitePoint, blackPoint, saturation, contrast;
};
LabelTexts ValueLabels(int gamma, int whitePoint, int blackPoint, int saturation, int contrast);

}  // namespace frame
