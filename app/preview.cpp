#include "app/preview.h"

#include <string>

#include "app/adjust.h"
#include "app/devicepreview.h"
#include "app/frame.h"
#include "app/framepaint.h"
#include "app/ids.h"
#include "app/selection.h"
#include "app/state.h"
#include "app/view.h"
#include "imagelib/draw.h"
#include "imagelib/image.h"
#include "picture/export.h"
#include "picture/tone.h"
#include "platform/raster.h"
#include "toolkit/control.h"
#include "toolkit/window.h"

namespace {

constexpr uint32_t kBlack = 0;

// Paints the preview area in the window's background colour, taken from the surface's corner,
// which no control or preview covers.
void ClearPreviewArea(raster::Bitmap* surface) {
    const uint32_t background = raster::GetPixel(*surface, 0, 0);
    DrawSetMode(0);
    DrawRect(kPreviewAreaX, kPreviewAreaY, kPreviewAreaWidth, kPreviewAreaHeight, background);
}

// The format combo box's own tooltip, to which the print resolution is added.
constexpr const char* kFormatTip = "Zielformat auswählen";
// Status text colours (red in the low byte) for a print resolution that will show: below 150 dpi
// orange, below 100 dpi red.
constexpr int32_t kOrange = 0x0070E0;
constexpr int32_t kRed = 0x0000D0;
constexpr int kSharpDpi = 150;
constexpr int kBlurredDpi = 100;

// Shows at which resolution the export would print in the chosen format, in the tooltips of the
// status line and the format combo box, and warns by the status line's colour. This runs on
// every redraw: the tooltips are only touched when they change.
void ShowPrintResolution(const PixelRect& cut, const WindowSettings& settings) {
    const auto [width, height] = ExportSize(cut, ImageGetWidth(kPictureImage),
                                            ImageGetHeight(kPictureImage), settings.outputSize);
    const int format = settings.format;
    const int dpi = frame::PrintDpi(format, width, height);
    const std::string tip = dpi > 0 ? frame::PrintResolutionText(format, dpi) : std::string();
    const int32_t colour = dpi <= 0 || dpi >= kSharpDpi ? -1 : dpi < kBlurredDpi ? kRed : kOrange;
    if (tip != ControlGetTip(kStatusLine)) {
        ControlSetTip(kStatusLine, tip.c_str());
        ControlSetTip(kFormatCombo, tip.empty() ? kFormatTip : (kFormatTip + ("\n" + tip)).c_str());
    }
    ControlSetColour(kStatusLine, COLOUR_TEXT, colour);
}

}  // namespace

void BuildPreview(std::unique_ptr<raster::Bitmap> made) {
    if (!ImageExists(kPictureImage)) return;
    const auto [pw, ph] =
        frame::PreviewSize(ImageGetWidth(kPictureImage), ImageGetHeight(kPictureImage));
    if (made && made->width == pw && made->height == ph) {
        if (!ImageAdopt(kPreviewImage, std::move(made), IMAGE_SCREEN_BITMAP)) return;
    } else {
        if (!ImageNew(kPreviewImage, pw, ph)) return;
        if (DrawBegin(ImageDrawTarget(kPreviewImage))) {
            DrawBitmap(ImageGetBitmap(kPictureImage), 0, 0, pw, ph);
            DrawEnd();
        }
    }
    g_app.previewAreaStale = true;
    DevicePreviewRebuilt();
}

void RedrawPreview(const WindowSettings& settings) {
    if (!ImageExists(kPreviewImage) || !ImageExists(kPictureImage)) return;
    const int pw = ImageGetWidth(kPreviewImage);
    const int ph = ImageGetHeight(kPreviewImage);
    raster::Bitmap* surface = DrawBegin(WindowDrawTarget(kMainWindow));
    if (surface) {
        // A frame held at its minimum width may reach past the outline; it leaves no trail.
        const Selection& sel = g_app.frame.selection;
        if (g_app.previewAreaStale || sel.left + sel.width > pw || sel.top + sel.height > ph) {
            ClearPreviewArea(surface);
            g_app.previewAreaStale = false;
        }
        DrawSetMode(DRAW_OUTLINED);
        DrawRect(frame::kPreviewX - 1, frame::kPreviewY - 1, pw + 2, ph + 2, kBlack);
        DrawBitmap(ImageGetBitmap(kPreviewImage), frame::kPreviewX, frame::kPreviewY, 0, 0);
        DrawSelectionFrame(g_app.frame.selection, g_app.frame.ratio);
        if (g_app.thirdsGrid) DrawThirds(g_app.frame.selection);
        DrawEnd();
        DevicePreviewPaint();
        ShowBeforeLabel(ph);
    }
    const PixelRect cut = SelectionCut();
    const std::string status =
        frame::StatusText(ImageGetWidth(kPictureImage), ImageGetHeight(kPictureImage), cut);
    ControlSetText(kStatusLine, status.c_str());
    ShowPrintResolution(cut, settings);
}

void SetValueLabels(const ToneParams& tone) {
    for (int i = 0; i < kToneSettingCount; ++i) {
        const std::string text = frame::ValueLabel(i, tone.*(kToneSettings[i].field));
        ControlSetText(kToneBars[i].label, text.c_str());
    }
}

bool PreviewCaptured() {
    return PixelsHold();
}

void ApplyAdjustments(const WindowSettings& settings) {
    SetValueLabels(settings.tone);
    // Without a capture of this preview there is nothing to adjust from; storing would write
    // foreign or missing pixels into it.
    if (!PreviewCaptured()) return;
    // "Before" shows the picture as the controls at their defaults would leave it.
    const ToneParams& tone = g_app.showBefore ? kToneDefaults : settings.tone;
    const uint32_t cast = g_app.showBefore ? 0 : g_app.castColour;
    ToneAdjust(tone);
    if (cast > 0) CastRemove(cast);
    (void)PixelsStore();
    DevicePreviewAdjusted(ToneClampParams(tone), cast);
    RedrawPreview(settings);
}

WindowSettings ResetAdjustments(WindowSettings settings) {
    settings.tone = kToneDefaults;
    settings.removeCast = false;
    WriteWindowSettings(settings);
    g_app.castColour = 0;
    ControlHide(kCastSwatch, 1);
    // A label must never show another number than its bar.
    SetValueLabels(settings.tone);
    return settings;
}
