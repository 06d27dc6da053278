#include "app/preview.h"

#include "app/devicepreview.h"
#include "app/frame.h"
#include "app/mainwindow.h"
#include "app/selection.h"
#include "imagelib/draw.h"
#include "imagelib/image.h"
#include "picture/appstate.h"
#include "picture/cast.h"
#include "picture/pixels.h"
#include "picture/tone.h"
#include "platform/raster.h"
#include "toolkit/control.h"
#include "toolkit/window.h"

namespace {

constexpr uint32_t kBlack = 0;

// Inside of group frame 0 (client 10,10 490 x 490) less its one-pixel border: the area the
// preview, its outline and the frame may cover.
constexpr int kAreaX = 11;
constexpr int kAreaY = 11;
constexpr int kAreaWidth = 488;
constexpr int kAreaHeight = 488;

// Set when a new preview was made and the area still shows what was there before.
bool g_clearArea = false;

// Paints the preview area in the window's background colour, taken from the surface's corner,
// which no control or preview covers.
void ClearPreviewArea(raster::Bitmap* surface) {
    const uint32_t background = raster::GetPixel(*surface, 0, 0);
    DrawSetMode(0);
    DrawRect(kAreaX, kAreaY, kAreaWidth, kAreaHeight, background);
}

}  // namespace

void BuildPreview(std::unique_ptr<raster::Bitmap> made) {
    if (!ImageExists(100)) return;
    int pw = 0;
    int ph = 0;
    frame::PreviewSize(ImageGetWidth(100), ImageGetHeight(100), pw, ph);
    if (made && made->width == pw && made->height == ph) {
        if (!ImageAdopt(101, std::move(made), IMAGE_SCREEN_BITMAP)) return;
    } else {
        if (!ImageNew(101, pw, ph)) return;
        if (DrawBegin(ImageDrawTarget(101))) {
            DrawBitmap(ImageGetBitmap(100), 0, 0, pw, ph);
            DrawEnd();
        }
    }
    g_clearArea = true;
    DevicePreviewRebuilt();
}

void RedrawPreview() {
    if (!ImageExists(101) || !ImageExists(100)) return;
    const int pw = ImageGetWidth(101);
    const int ph = ImageGetHeight(101);
    raster::Bitmap* surface = DrawBegin(WindowDrawTarget(kMainWindow));
    if (surface) {
        // A frame held at its minimum width may reach past the outline; it leaves no trail.
        const Selection& sel = g_app.selection;
        if (g_clearArea || sel.left + sel.width > pw || sel.top + sel.height > ph) {
            ClearPreviewArea(surface);
            g_clearArea = false;
        }
        DrawSetMode(DRAW_OUTLINED);
        DrawRect(frame::kPreviewX - 1, frame::kPreviewY - 1, pw + 2, ph + 2, kBlack);
        DrawBitmap(ImageGetBitmap(101), frame::kPreviewX, frame::kPreviewY, 0, 0);
        DrawSelectionFrame();
        DrawEnd();
        DevicePreviewPaint();
    }
    const std::string status =
        frame::StatusText(ImageGetWidth(100), ImageGetHeight(100), g_app.selection, pw);
    ControlSetText(kStatusLine, status.c_str());
}

void SetValueLabels() {
    const int gamma = ControlGetValue(kGammaBar);
    const int blackPoint = ControlGetValue(kBlackBar);
    const int whitePoint = ControlGetValue(kWhiteBar);
    const int saturation = ControlGetValue(kSaturationBar);
    const int contrast = ControlGetValue(kContrastBar);
    const frame::LabelTexts t =
        frame::ValueLabels(gamma, whitePoint, blackPoint, saturation, contrast);
    ControlSetText(kGammaLabel, t.gamma.c_str());
    ControlSetText(kWhiteLabel, t.whitePoint.c_str());
    ControlSetText(kBlackLabel, t.blackPoint.c_str());
    ControlSetText(kSaturationLabel, t.saturation.c_str());
    ControlSetText(kContrastLabel, t.contrast.c_str());
}

bool PreviewCaptured() {
    if (!ImageExists(101)) return false;
    const PixelBuffers& px = g_app.pixels;
    if (!px.source || !px.target || px.depth != ImageGetDepth(101)) return false;
    const int64_t expected =
        static_cast<int64_t>(ImageGetWidth(101)) * ImageGetHeight(101) * (ImageGetDepth(101) / 8);
    return px.size == expected;
}

void ApplyAdjustments() {
    SetValueLabels();
    if (!ImageExists(101)) return;
    // Without a capture of this preview there is nothing to adjust from; storing would write
    // foreign or missing pixels into it.
    if (!PreviewCaptured()) return;
    const ToneParams params{ControlGetValue(kGammaBar), ControlGetValue(kWhiteBar),
                            ControlGetValue(kBlackBar), ControlGetValue(kSaturationBar),
                            ControlGetValue(kContrastBar)};
    ToneAdjust(101, params.gamma, params.white, params.black, params.saturation, params.contrast,
               0);
    if (g_app.castColour > 0) CastRemove(101, g_app.castColour);
    PixelsStore(101);
    DevicePreviewAdjusted(ToneClampParams(params), g_app.castColour);
    RedrawPreview();
}

void ResetAdjustments() {
    ControlSetValue(kGammaBar, 155);
    ControlSetValue(kWhiteBar, 255);
    ControlSetValue(kBlackBar, 0);
    ControlSetValue(kSaturationBar, 100);
    ControlSetValue(kContrastBar, 100);
    g_app.castColour = 0;
    ControlSetValue(kCastCheckBox, 0);
    ControlHide(kCastSwatch, 1);
    // A label must never show another number than its bar.
    SetValueLabels();
}
