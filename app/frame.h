// Frame and preview arithmetic: the pure rules behind the selection frame, the preview size and
// the texts of the status line and value labels. No toolkit, no images, no globals; the shell's
// operations in selection.h and preview.h feed these with the current numbers.
#pragma once

#include <array>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "imagelib/load.h"
#include "picture/pixel_rect.h"
#include "picture/rounding.h"

// The selection frame, in preview pixels.
using Selection = PixelRect;

// The frame and the mouse drag that moves or resizes it.
struct FrameState {
    float ratio = 0.0f;  // frame height / width
    Selection selection{};
    int32_t cornerX = 0, cornerY = 0;          // client point past the lower-right pixel
    int32_t cornerDistX = 0, cornerDistY = 0;  // pointer's distance from it at the last press
    int32_t grabX = 0, grabY = 0;              // pointer's offset from the top-left corner
    bool buttonDown = false;                   // left mouse button as read in the current pass
    bool moving = false;
    bool resizing = false;
};

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
// The print formats of the format combo box: item text, short form for the command line, the
// frame's height over width upright and across, and the shorter side of the print in cm (0 for
// the formats that are no print sizes). The quotients are formed in float, which gives the float
// nearest to each fraction.
struct PrintFormat {
    const char* item;
    const char* shortName;
    float portrait;
    float landscape;
    int shortSideCm;
};
inline constexpr PrintFormat kPrintFormats[] = {
    {"9 x 13", "9x13", 13.0f / 9.0f, 9.0f / 13.0f, 9},
    {"10 x 15", "10x15", 1.5f, 2.0f / 3.0f, 10},
    {"13 x 18", "13x18", 18.0f / 13.0f, 13.0f / 18.0f, 13},
    {"15 x 20", "15x20", 4.0f / 3.0f, 0.75f, 15},
    {"20 x 30", "20x30", 1.5f, 2.0f / 3.0f, 20},
    {"30 x 40", "30x40", 4.0f / 3.0f, 0.75f, 30},
    {"40 x 60", "40x60", 1.5f, 2.0f / 3.0f, 40},
    {"ebay", "ebay", 4.0f / 3.0f, 0.75f, 0},
    {"quadratisch", "quadratisch", 1.0f, 1.0f, 0},
    {"16:9", "16x9", 16.0f / 9.0f, 0.5625f, 0},
};
inline constexpr int kFormatCount = 10;
static_assert(std::size(kPrintFormats) == kFormatCount);

// ---------------------------------------------------------------------------------------------
// Rounding and ratios
// ---------------------------------------------------------------------------------------------

// Nearest integer, halves to the even neighbour; saturates at the int range (picture/rounding.h).
using ::Nearest;
// Height / width of the frame for format item `index`, upright when `portrait`; an index outside
// the table counts as item 0.
[[nodiscard]] float RatioFor(int index, bool portrait);

// ---------------------------------------------------------------------------------------------
// Preview size
// ---------------------------------------------------------------------------------------------

// Preview size for a picture of width x height (both positive): a landscape picture is 480 wide,
// anything else 476 high; the other side follows H / W held as a float. Sides are at least 1.
[[nodiscard]] PreviewSides PreviewSize(int width, int height);

// ---------------------------------------------------------------------------------------------
// Frame rules (pw, ph: the preview's width and height)
// ---------------------------------------------------------------------------------------------

// Height of a frame `width` wide at `ratio`.
[[nodiscard]] int HeightFor(int width, float ratio);
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
void DragStart(FrameState& state, int mx, int my, int pw, int ph);
// True when client point (mx, my) lies strictly inside the frame `sel`.
[[nodiscard]] bool InsideFrame(const Selection& sel, int mx, int my);
// Resize step: the right edge follows the pointer at client x `mx`, the top-left corner stays.
void ResizeTo(Selection& sel, float ratio, int mx, int pw, int ph);
// Move step: the top-left corner follows the pointer at (mx, my) less the grab offset, kept
// inside the preview; the size stays (then Clamp).
void MoveTo(Selection& sel, float ratio, int mx, int my, int grabX, int grabY, int pw, int ph);

// ---------------------------------------------------------------------------------------------
// Frame by numbers (picture pixels)
// ---------------------------------------------------------------------------------------------

// The labels of the typed frame's fields, in their order.
inline constexpr std::array<const char*, 4> kFrameFields = {"Links", "Oben", "Breite", "Höhe"};
// A whole number as typed: digits with an optional sign, blanks around them ignored; none for
// anything else or a number beyond a million.
[[nodiscard]] std::optional<int> WholeNumber(std::string_view text);
// What the typed frame gives.
struct FrameEntry {
    PixelRect frame{};     // the frame to take: as typed, or brought inside where `why` says
    std::string why;       // empty when taken as typed; else one line per field not taken so
    bool refused = false;  // a field held no whole number: there is no frame to take
};
// Reads the four fields (kFrameFields) for a width x height picture and a frame of `ratio`: the
// height follows the width; a width below `minWidth` or wider than the largest frame of the ratio,
// and a frame reaching past the picture's edges, are brought inside, and `why` says so.
FrameEntry CheckFrameEntry(const std::array<std::string, 4>& typed, int width, int height,
                           float ratio, int minWidth);
// A frame `frameWidth` wide of `ratio`, centred in a width x height picture.
PixelRect CentredFrame(int frameWidth, float ratio, int width, int height);

// ---------------------------------------------------------------------------------------------
// Where the frame is drawn
// ---------------------------------------------------------------------------------------------

// Client point (originX, originY) at the target's (0, 0), `scale` target pixels to a client
// pixel, lines `Line()` target pixels wide. The default is the window's client area itself.
struct FrameCanvas {
    double scale = 1;
    int originX = 0;
    int originY = 0;
    int X(int clientX) const { return Nearest((clientX - originX) * scale); }
    int Y(int clientY) const { return Nearest((clientY - originY) * scale); }
    int Size(int pixels) const { return Nearest(pixels * scale); }
    int Line() const { return scale > 1 ? Nearest(scale) : 1; }
};

// ---------------------------------------------------------------------------------------------
// Texts
// ---------------------------------------------------------------------------------------------

// Status line for a width x height picture and the cut of its frame (picture pixels, as the
// export cuts it): "Bild: 800x600 / Auswahl: 800x533".
std::string StatusText(int width, int height, const PixelRect& cut);

// The resolution in dots per inch at which a width x height picture prints in format item
// `formatIndex`: its shorter side over the format's shorter side, rounded; 0 for the formats
// that are no print sizes ("ebay", "quadratisch", "16:9").
int PrintDpi(int formatIndex, int width, int height);
// "10 x 15 cm: 305 dpi" for a print format; empty for the others.
std::string PrintResolutionText(int formatIndex, int dpi);
// The density an exported JPEG records: the print resolution, or 72 when there is none.
int ExportDensity(int formatIndex, int width, int height);

// The value label of tone setting `index` (kToneSettings) at `position`: "Gamma: 100" (gamma
// is shown as 255 minus its position).
std::string ValueLabel(int index, int position);

}  // namespace frame
