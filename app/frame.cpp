#include "app/frame.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>

#include "picture/export.h"
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

PreviewSides PreviewSize(int width, int height) {
    assert(width > 0 && height > 0);
    const float f = static_cast<float>(static_cast<double>(height) / width);
    PreviewSides p = width > height
                         ? PreviewSides{kBoxWidth, Nearest(static_cast<double>(kBoxHeight) * f)}
                         : PreviewSides{Nearest(static_cast<double>(kBoxWidth) / f), kBoxHeight};
    // Extreme shapes would round a side to 0, and an image needs at least one pixel.
    p.width = std::max(p.width, 1);
    p.height = std::max(p.height, 1);
    return p;
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
    } else if (InsideFrame(sel, mx, my)) {
        state.moving = true;
        state.grabX = mx - sel.left;
        state.grabY = my - sel.top;
    }
}

bool InsideFrame(const Selection& sel, int mx, int my) {
    return sel.left + kPreviewX < mx && mx < sel.left + sel.width + kPreviewX &&
           sel.top + kPreviewY < my && my < sel.top + sel.height + kPreviewY;
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

std::optional<int> WholeNumber(std::string_view text) {
    constexpr int kLargest = 1000000;
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > kLargest) return std::nullopt;
    }
    return negative ? -value : value;
}

FrameEntry CheckFrameEntry(const std::array<std::string, 4>& typed, int width, int height,
                           float ratio, int minWidth) {
    FrameEntry entry;
    std::array<int, 4> v{};
    for (size_t i = 0; i < typed.size(); ++i) {
        const std::optional<int> n = WholeNumber(typed[i]);
        if (!n) {
            entry.why +=
                std::string(entry.why.empty() ? "" : "\n") + kFrameFields[i] + ": keine ganze Zahl";
            entry.refused = true;
            continue;
        }
        v[i] = *n;
    }
    if (entry.refused) return entry;
    auto note = [&](int field, const std::string& text) {
        entry.why += std::string(entry.why.empty() ? "" : "\n") + kFrameFields[field] + ": " + text;
    };
    const int widest = std::max(LargestFrame(width, height, ratio).width, 1);
    const int narrowest = std::min(minWidth, widest);
    PixelRect& f = entry.frame;
    f = {v[0], v[1], v[2], 0};
    if (f.width < narrowest) {
        f.width = narrowest;
        note(2, "mindestens " + std::to_string(narrowest));
    } else if (f.width > widest) {
        f.width = widest;
        note(2, "höchstens " + std::to_string(widest) + " in diesem Format");
    }
    f.height = std::min(HeightFor(f.width, ratio), height);
    if (v[3] != f.height) note(3, "folgt der Breite: " + std::to_string(f.height));
    auto inside = [&](int& start, int size, int limit, int field) {
        if (start < 0) {
            start = 0;
            note(field, "nicht unter 0");
        } else if (start > limit - size) {
            start = limit - size;
            note(field,
                 "höchstens " + std::to_string(start) + ", sonst reicht der Rahmen über das Bild");
        }
    };
    inside(f.left, f.width, width, 0);
    inside(f.top, f.height, height, 1);
    return entry;
}

PixelRect CentredFrame(int frameWidth, float ratio, int width, int height) {
    PixelRect f{0, 0, frameWidth, HeightFor(frameWidth, ratio)};
    f.left = (width - f.width) / 2;
    f.top = (height - f.height) / 2;
    return f;
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
