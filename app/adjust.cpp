#include "app/adjust.h"

#include "app/ids.h"
#include "app/state.h"
#include "imagelib/image.h"
#include "toolkit/control.h"

bool PixelsHold(int image) {
    const raster::Bitmap* bm = ImageGetBitmap(image);
    return bm != nullptr && g_app.pixels.Matches(*bm);
}

bool PixelsCapture(int image) {
    PixelsRelease();
    const raster::Bitmap* bm = ImageGetBitmap(image);
    // A free number has nothing to capture, which is not a failure.
    return bm == nullptr || g_app.pixels.Capture(*bm);
}

bool PixelsStore(int image) {
    raster::Bitmap* bm = ImageGetBitmap(image);
    return bm != nullptr && g_app.pixels.Store(*bm);
}

void PixelsRelease() {
    g_app.pixels.Release();
}

void ToneAdjust(int image, const ToneParams& tone, int progressControl) {
    if (!PixelsHold(image)) return;
    ToneProgress progress;
    if (progressControl > 0)
        progress = [progressControl](int value) { ControlSetValue(progressControl, value); };
    g_app.pixels.AdjustTone(tone, progress);
}

void CastRemove(int image, uint32_t cast) {
    if (PixelsHold(image)) g_app.pixels.RemoveCast(cast);
}

uint32_t CastMeasure(int image) {
    return PixelsHold(image) ? g_app.pixels.MeasureCast(g_app.frame.selection) : 0;
}

ToneParams ReadToneBars() {
    ToneParams p{};
    for (int i = 0; i < kToneSettingCount; ++i)
        p.*(kToneSettings[i].field) = ControlGetValue(kToneBars[i].bar);
    return p;
}
