#include "app/frame.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace frame {

namespace {

// Height over width of each format, portrait and landscape. The quotients are formed in float,
// which gives the float nearest to each fraction.
struct FormatRatio {
    float portrait;
    float landscape;
};
constexpr FormatRatio kRatios[kFormatCount] = {
    {13.0f / 9.0f, 9.0f / 13.0f},    // 9 x 13
    {1.5f, 2.0f / 3.0f},             // 10 x 15
    {18.0f / 13.0f, 13.0f / 18.0f},  // 13 x 18
    {4.0f / 3.0f, 0.75f},            // 15 x 20
    {1.5f, 2.0f / 3.0f},             // 20 x 30
    {4.0f / 3.0f, 0.75f},            // 30 x 40
    {1.5f, 2.0f / 3.0f},             // 40 x 60
    {4.0f / 3.0f, 0.75f},            // ebay
    {1.0f, 1.0f},                    // quadratisch
    {16.0f / 9.0f, 0.5625f},         // 16:9
};

// The narrowing shared by the clamp and the resize step: right edge inside the preview, bottom
// edge inside unless the frame is at its minimum width, height following the width.
void NarrowToPreview(Selection& sel, float ratio, int pw, int ph) {
    if (static_cast<int64_t>(sel.left) + sel.width > pw) sel.width = pw - sel.left;
    if (static_cast<double>(sel.width) * static_cast<double>(ratio) + sel.top > ph)
        sel.width = Nearest((static_cast<double>(ph) - sel.top) / static_cast<double>(ratio));
    if (sel.width < kMinWidth) sel.width = kMinWidth;
    sel.height = HeightFor(sel.width, ratio);
}

}  // namespace

int Nearest(double value) {
    if (std::isnan(value)) return 0;
    constexpr double kMax = std::numeric_limits<int>::max();
    constexpr double kMin = std::numeric_limits<int>::min();
    if (value >= kMax) return std::numeric_limits<int>::max();
    if (value <= kMin) return std::numeric_limits<int>::min();
    // The default rounding mode rounds halves to the even neighbour.
    return static_cast<int>(std::nearbyint(value));
}

float RatioFor(int index, bool portrait) {
    if (index < 0 || index >= kFormatCount) index = 0;
    return portrait ? kRatios[index].portrait : kRatios[index].landscape;
}

void PreviewSize(int width, int height, int& previewWidth, int& previewHeight) {
    const float f = static_cast<float>(static_cast<double>(height) / width);
    if (width > height) {
        previewWidth = kBoxWidth;
        previewHeight = Nearest(static_cast<double>(kBoxHeight) * f);
    } else {
        previewWidth = Nearest(static_cast<double>(kBoxWidth) / f);
        previewHeight = kBoxHeight;
    }
    // Extreme shapes would round a side to 0, and an image needs at least one pixel.
    if (previewWidth < 1) previewWidth = 1;
    if (previewHeight < 1) previewHeight = 1;
}

int HeightFor(int width, float ratio) {
    return Nearest(static_cast<double>(width) * static_cast<double>(ratio));
}

Selection DefaultFrame(bool landscape, float ratio) {
    Selection sel{};
    if (landscape) {
        sel.width = kBoxWidth;
    } else {
        sel.width = Nearest(static_cast<double>(kBoxHeight) / static_cast<double>(ratio));
    }
    sel.height = HeightFor(sel.width, ratio);
    return sel;
}

void Clamp(Selection& sel, float ratio, int pw, int ph) {
    if (sel.left < 0) sel.left = 0;
    if (sel.top < 0) sel.top = 0;
    NarrowToPreview(sel, ratio, pw, ph);
}

void DragStart(AppState& state, int mx, int my, int pw, int ph) {
    if (state.resizing || state.moving) return;
    if (mx >= pw + kPreviewX || my >= ph + kPreviewY) return;
    const Selection& sel = state.selection;
    state.cornerX = sel.left + sel.width + kPreviewX;
    state.cornerY = sel.top + sel.height + kPreviewY;
    state.cornerDistX = std::abs(mx - state.cornerX);
    state.cornerDistY = std::abs(my - state.cornerY);
    if (state.cornerDistX < kCornerReach && state.cornerDistY < kCornerReach) {
        state.resizing = 1;
    } else if (sel.left + kPreviewX < mx && mx < sel.left + sel.width + kPreviewX &&
               sel.top + kPreviewY < my && my < sel.top + sel.height + kPreviewY) {
        state.moving = 1;
        state.grabX = mx - sel.left;
        state.grabY = my - sel.top;
    }
}

void ResizeTo(Selection& sel, float ratio, int mx, int pw, int ph) {
    sel.width = mx - sel.left - kPreviewX;
    NarrowToPreview(sel, ratio, pw, ph);
}

void MoveTo(Selection& sel, float ratio, int mx, int my, int grabX, int grabY, int pw, int ph) {
    sel.left = mx - grabX;
    sel.top = my - grabY;
    if (sel.left < 0) sel.left = 0;
    if (sel.top < 0) sel.top = 0;
    if (sel.left + sel.width > pw) sel.left = pw - sel.width;
    if (sel.top + sel.height > ph) sel.top = ph - sel.height;
    Clamp(sel, ratio, pw, ph);
}

std::string StatusText(int width, int height, const Selection& sel, int pw) {
    const float f = static_cast<float>(static_cast<double>(width) / pw);
    const int selWidth = Nearest(static_cast<double>(sel.width) * static_cast<double>(f));
    const int selHeight = Nearest(static_cast<double>(sel.height) * static_cast<double>(f));
    return "Bild: " + std::to_string(width) + "x" + std::to_string(height) +
           " / Auswahl: " + std::to_string(selWidth) + "x" + std::to_string(selHeight);
}

LabelTexts ValueLabels(int gamma, int whitePoint, int blackPoint, int saturation, int contrast) {
    LabelTexts t;
    t.gamma = "Gamma: " + std::to_string(255 - gamma);
    t.whitePoint = "Whitepoint: " + std::to_string(whitePoint);
    t.blackPoint = "Blackpoint: " + std::to_string(blackPoint);
    t.saturation = "Sättigung: " + std::to_string(saturation);
    t.contrast = "Kontrast: " + std::to_string(contrast);
    return t;
}

}  // namespace frame
