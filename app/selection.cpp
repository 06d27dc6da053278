#include "app/selection.h"

#include "app/frame.h"
#include "app/ids.h"
#include "app/state.h"
#include "imagelib/image.h"
#include "picture/export.h"
#include "toolkit/control.h"

namespace {

int PreviewWidth() {
    return ImageGetWidth(kPreviewImage);
}
int PreviewHeight() {
    return ImageGetHeight(kPreviewImage);
}

}  // namespace

void ResetSelection(bool keepFrame, WindowSettings& settings) {
    if (!ImageExists(kPictureImage)) return;
    FrameState& f = g_app.frame;
    if (keepFrame) {
        f.ratio = frame::RatioFor(settings.format, settings.portrait);
        return;
    }
    const bool landscape = ImageGetWidth(kPictureImage) > ImageGetHeight(kPictureImage);
    settings.portrait = !landscape;
    f.ratio = frame::RatioFor(settings.format, settings.portrait);
    f.selection = frame::DefaultFrame(landscape, f.ratio);
    ControlSetValue(kPortraitToggle, settings.portrait ? 1 : 0);
    ClampSelection();
}

void ClampSelection() {
    frame::Clamp(g_app.frame.selection, g_app.frame.ratio, PreviewWidth(), PreviewHeight());
}

PixelRect SelectionCut() {
    const FrameState& f = g_app.frame;
    return PreviewFrameCut({f.selection, f.ratio, PreviewWidth(), PreviewHeight(),
                            ImageGetWidth(kPictureImage), ImageGetHeight(kPictureImage)});
}

bool SelectionMouseStep(bool down, int mx, int my) {
    FrameState& f = g_app.frame;
    f.buttonDown = down;
    const bool wasDragging = f.resizing || f.moving;
    if (down && ImageExists(kPreviewImage)) {
        frame::DragStart(f, mx, my, PreviewWidth(), PreviewHeight());
    } else {
        f.resizing = false;
        f.moving = false;
    }
    // Repainting shows the window anew, which is itself an event and a further pass: ask for it
    // only when the frame changed (or the drag just began), so a button held still costs nothing.
    const Selection before = f.selection;
    if (f.resizing) frame::ResizeTo(f.selection, f.ratio, mx, PreviewWidth(), PreviewHeight());
    if (f.moving)
        frame::MoveTo(f.selection, f.ratio, mx, my, f.grabX, f.grabY, PreviewWidth(),
                      PreviewHeight());
    return (f.resizing || f.moving) && (!wasDragging || before != f.selection);
}

bool NudgeSelection(int dx, int dy) {
    FrameState& f = g_app.frame;
    if (!ImageExists(kPreviewImage) || f.resizing || f.moving) return false;
    Selection& sel = f.selection;
    frame::MoveTo(sel, f.ratio, sel.left + dx, sel.top + dy, 0, 0, PreviewWidth(), PreviewHeight());
    return true;
}
