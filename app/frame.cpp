#include "app/frame.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "picture/tone.h"

namespace frame {

namespace {

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

int PrintDpi(int formatIndex, int width, int height) {
    if (formatIndex < 0 || formatIndex >= kFormatCount || width <= 0 || height <= 0) return 0;
    const int cm = kPrintFormats[formatIndex].shortSideCm;
    return cm > 0 ? Nearest(std::min(width, height) * 2.54 / cm) : 0;
}

std::string PrintResolutionText(int formatIndex, int dpi) {
    if (formatIndex < 0 || formatIndex >= kFormatCount || !kPrintFormats[formatIndex].shortSideCm)
        return {};
    return std::string(kPrintFormats[formatIndex].item) + " cm: " + std::to_string(dpi) + " dpi";
}

int ExportDensity(int formatIndex, int width, int height) {
    constexpr int kScreenDensity = 72;
    const int dpi = PrintDpi(formatIndex, width, height);
    return dpi > 0 ? dpi : kScreenDensity;
}

float RatioFor(int index, bool portrait) {
    if (index < 0 || index >= kFormatCount) index = 0;
    return portrait ? kPrintFormats[index].portrait : kPrintFormats[index].landscape;
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

void DragStart(FrameState& state, int mx, int my, int pw, int ph) {
    if (state.resizing || state.moving) return;
    if (mx >= pw + kPreviewX || my >= ph + kPreviewY) return;
    const Selection& sel = state.selection;
    state.cornerX = sel.left + sel.width + kPreviewX;
    state.cornerY = sel.top + sel.height + kPreviewY;
    state.cornerDistX = std::abs(mx - state.cornerX);
    state.cornerDistY = std::abs(my - state.cornerY);
    if (state.cornerDistX < kCornerReach && state.cornerDistY < kCornerReach) {
        state.resizing = true;
    } else if (sel.left + kPreviewX < mx && mx < sel.left + sel.width + kPreviewX &&
               sel.top + kPreviewY < my && my < sel.top + sel.height + kPreviewY) {
        state.moving = true;
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

std::string StatusText(int width, int height, const PixelRect& cut) {
    return "Bild: " + std::to_string(width) + "x" + std::to_string(height) +
           " / Auswahl: " + std::to_string(cut.width) + "x" + std::to_string(cut.height);
}

std::string ValueLabel(int index, int position) {
    const ToneSetting& setting = kToneSettings[index];
    return std::string(setting.name) + ": " + std::to_string(ToneShownValue(setting, position));
}

}  // namespace frame
