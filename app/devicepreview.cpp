#include "app/devicepreview.h"

#include <algorithm>
#include <cstring>

#include "app/frame.h"
#include "app/framepaint.h"
#include "app/ids.h"
#include "app/state.h"
#include "imagelib/draw.h"
#include "imagelib/image.h"
#include "picture/cast.h"
#include "picture/straighten.h"
#include "platform/raster.h"
#include "toolkit/window.h"

namespace {

constexpr uint32_t kBlack = 0;

void Release() {
    g_app.deviceCopies.source.reset();
    g_app.deviceCopies.shown.reset();
    g_app.deviceCopies.captured.clear();
}

// True when the working source buffer still holds what `copy` recorded; otherwise `copy`
// records it now.
bool SameCapture(std::vector<uint8_t>& copy) {
    const WorkingPixels& px = g_app.pixels;
    const uint8_t* begin = px.Captured() ? px.source() : nullptr;
    const size_t size = begin ? static_cast<size_t>(px.size()) : 0;
    if (size == copy.size() && (size == 0 || std::equal(begin, begin + size, copy.begin())))
        return true;
    copy.assign(begin, begin + size);
    return false;
}

// `target` := `source` with `how` applied, both packed 32-bit rows of the same size.
void Adjust(const raster::Bitmap& source, raster::Bitmap& target, const DeviceAdjustment& how) {
    if (!how.any) {
        std::memcpy(target.bits.get(), source.bits.get(), source.ByteSize());
        return;
    }
    ToneAdjustBuffer(source.bits.get(), target.bits.get(), source.width, source.height, 4,
                     how.params);
    if (how.cast > 0) CastRemoveBuffer(target.bits.get(), target.width, target.height, 4, how.cast);
}

// Brings the copies in line with image 101; false when they cannot be had.
bool Update(double ratio, int pw, int ph) {
    DeviceCopies& c = g_app.deviceCopies;
    bool rebuilt = false;
    if (c.rebuild || c.ratio != ratio || c.previewWidth != pw || c.previewHeight != ph ||
        !c.source) {
        Release();
        const int dw = frame::Nearest(pw * ratio);
        const int dh = frame::Nearest(ph * ratio);
        c.source = raster::Create(dw, dh, 32, true, true);
        c.shown = raster::Create(dw, dh, 32, true, true);
        const raster::Bitmap* picture = ImageGetBitmap(kPictureImage);
        if (!c.source || !c.shown || !picture) {
            Release();
            return false;
        }
        // The stretch of the ordinary preview, to the device size.
        raster::Stretch(*c.source, 0, 0, dw, dh, *picture, raster::StretchMode::Halftone);
        rebuilt = true;
        c.ratio = ratio;
        c.previewWidth = pw;
        c.previewHeight = ph;
        c.shownAs = DeviceAdjustment{};
        Adjust(*c.source, *c.shown, c.shownAs);
        c.rebuild = false;
    }
    // A later capture of the same preview is the adjusted preview taken as the new source (after
    // an export): what is shown becomes the source, and image 101 shows it as it is.
    if (rebuilt) {
        c.captureKnown = false;  // a new picture's preview is captured after its first paint
    } else if (!c.captureKnown) {
        SameCapture(c.captured);
        c.captureKnown = true;
    } else if (!SameCapture(c.captured)) {
        std::swap(c.source, c.shown);
        c.shownAs = DeviceAdjustment{};
        c.wanted = DeviceAdjustment{};
        Adjust(*c.source, *c.shown, c.shownAs);
    }
    if (!(c.shownAs == c.wanted)) {
        Adjust(*c.source, *c.shown, c.wanted);
        c.shownAs = c.wanted;
    }
    return true;
}

}  // namespace

void DevicePreviewRebuilt() {
    g_app.deviceCopies.rebuild = true;
    g_app.deviceCopies.wanted = DeviceAdjustment{};
}

void DevicePreviewAdjusted(const ToneParams& params, uint32_t cast) {
    g_app.deviceCopies.wanted = DeviceAdjustment{true, params, cast};
}

namespace {

// Brings the copies in line and opens the device surface with the area's background, the
// preview's outline and `picture` (the device copy as shown when null) stretched over the
// preview's place; the canvas placing the rest. Null when nothing is to be painted at device
// resolution (the layer is then dropped).
raster::Bitmap* BeginLayer(const raster::Bitmap* picture, frame::FrameCanvas& canvas) {
    const double ratio = WindowPixelRatio(kMainWindow);
    if (ratio <= 1 || !ImageExists(kPictureImage) || !ImageExists(kPreviewImage)) {
        WindowDropDeviceTarget(kMainWindow);
        Release();
        return nullptr;
    }
    const int pw = ImageGetWidth(kPreviewImage);
    const int ph = ImageGetHeight(kPreviewImage);
    if (!Update(ratio, pw, ph)) {
        WindowDropDeviceTarget(kMainWindow);
        return nullptr;
    }
    raster::Bitmap* surface = DrawBegin(WindowDeviceDrawTarget(
        kMainWindow, kPreviewAreaX, kPreviewAreaY, kPreviewAreaWidth, kPreviewAreaHeight));
    if (!surface) return nullptr;
    // The background of the area as the ordinary painting has it, then what lies on it.
    raster::Bitmap* logical = WindowDrawTarget(kMainWindow)->surface;
    DrawSetMode(0);
    DrawRect(0, 0, surface->width, surface->height, logical ? raster::GetPixel(*logical, 0, 0) : 0);
    canvas = frame::FrameCanvas{ratio, kPreviewAreaX, kPreviewAreaY};
    const int x = canvas.X(frame::kPreviewX);
    const int y = canvas.Y(frame::kPreviewY);
    const int line = canvas.Line();
    const raster::Bitmap& shown = *g_app.deviceCopies.shown;
    DrawRect(x - line, y - line, shown.width + 2 * line, shown.height + 2 * line, kBlack);
    DrawBitmap(picture ? picture : &shown, x, y, shown.width, shown.height);
    return surface;
}

}  // namespace

void DevicePreviewPaint() {
    frame::FrameCanvas canvas;
    if (!BeginLayer(nullptr, canvas)) return;
    DrawSelectionFrame(g_app.frame.selection, g_app.frame.ratio, canvas);
    if (g_app.thirdsGrid) DrawThirds(g_app.frame.selection, canvas);
    DrawEnd();
}

void DevicePreviewPaintStraightened(double degrees) {
    if (WindowPixelRatio(kMainWindow) <= 1) return;
    frame::FrameCanvas canvas;
    // The copies are brought in line first: the turn is made from the preview as it is shown.
    if (!BeginLayer(nullptr, canvas)) return;
    auto turned = Straighten(*g_app.deviceCopies.shown, PixelOrientation{}, degrees);
    if (turned) {
        const int x = canvas.X(frame::kPreviewX);
        const int y = canvas.Y(frame::kPreviewY);
        DrawBitmap(turned.get(), x, y, g_app.deviceCopies.shown->width,
                   g_app.deviceCopies.shown->height);
    }
    DrawEnd();
}
