#include "app/adjust.h"

#include "app/ids.h"
#include "app/state.h"
#include "imagelib/image.h"

bool PixelsHold() {
    const raster::Bitmap* bm = ImageGetBitmap(kPreviewImage);
    return bm != nullptr && g_app.pixels.Matches(*bm);
}

bool PixelsCapture() {
    PixelsRelease();
    const raster::Bitmap* bm = ImageGetBitmap(kPreviewImage);
    // Without a preview there is nothing to capture, which is not a failure.
    return bm == nullptr || g_app.pixels.Capture(*bm);
}

bool PixelsStore() {
    raster::Bitmap* bm = ImageGetBitmap(kPreviewImage);
    return bm != nullptr && g_app.pixels.Store(*bm);
}

void PixelsRelease() {
    g_app.pixels.Release();
}

void ToneAdjust(const ToneParams& tone) {
    if (PixelsHold()) g_app.pixels.AdjustTone(tone, {});
}

void CastRemove(uint32_t cast) {
    if (PixelsHold()) g_app.pixels.RemoveCast(cast);
}

uint32_t CastMeasure() {
    return PixelsHold() ? g_app.pixels.MeasureCast(g_app.frame.selection) : 0;
}
