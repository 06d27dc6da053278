#include "app/selection.h"

#include "app/frame.h"
#include "app/ids.h"
#include "app/preview.h"
#include "app/state.h"
#include "imagelib/draw.h"
#include "imagelib/image.h"
#include "toolkit/control.h"

namespace {

constexpr uint32_t kBlack = 0;
constexpr uint32_t kYellow = 65535;

int PreviewWidth() {
    return ImageGetWidth(kPreviewImage);
}
int PreviewHeight() {
    return ImageGetHeight(kPreviewImage);
}

}  // namespace

float RatioForFormat(bool portrait) {
    return frame::RatioFor(ControlGetValue(kFormatCombo), portrait);
}

void ResetSelection(bool keepFrame) {
    if (!ImageExists(kPictureImage)) return;
    FrameState& f = g_app.frame;
    if (keepFrame) {
        f.ratio = RatioForFormat(ControlGetValue(kPortraitToggle) != 0);
        return;
    }
    const bool landscape = ImageGetWidth(kPictureImage) > ImageGetHeight(kPictureImage);
    f.ratio = RatioForFormat(!landscape);
    f.selection = frame::DefaultFrame(landscape, f.ratio);
    ControlSetValue(kPortraitToggle, landscape ? 0 : 1);
    ClampSelection();
}

void ClampSelection() {
    frame::Clamp(g_app.frame.selection, g_app.frame.ratio, PreviewWidth(), PreviewHeight());
}

void SelectionMouseStep(bool down, int mx, int my) {
    FrameState& f = g_app.frame;
    f.buttonDown = down;
    const bool wasDragging = f.resizing || f.moving;
    if (down && ImageExists(kPreviewImage)) {
        frame::DragStart(f, mx, my, PreviewWidth(), PreviewHeight());
    } else {
        f.resizing = false;
        f.moving = false;
    }
    // Repainting shows the window anew, which is itself an event and a further pass: repaint only
    // when the frame changed (or the drag just began), so a button held still costs nothing.
    if (f.resizing) {
        const Selection before = f.selection;
        frame::ResizeTo(f.selection, f.ratio, mx, PreviewWidth(), PreviewHeight());
        if (!wasDragging || before != f.selection) RedrawPreview();
    }
    if (f.moving) {
        const Selection before = f.selection;
        frame::MoveTo(f.selection, f.ratio, mx, my, f.grabX, f.grabY, PreviewWidth(),
                      PreviewHeight());
        if (!wasDragging || before != f.selection) RedrawPreview();
    }
}

void NudgeSelection(int dx, int dy) {
    FrameState& f = g_app.frame;
    if (!ImageExists(kPreviewImage) || f.resizing || f.moving) return;
    Selection& sel = f.selection;
    frame::MoveTo(sel, f.ratio, sel.left + dx, sel.top + dy, 0, 0, PreviewWidth(), PreviewHeight());
    RedrawPreview();
}

void DrawSelectionFrame(const FrameCanvas& canvas) {
    Selection& sel = g_app.frame.selection;
    sel.height = frame::HeightFor(sel.width, g_app.frame.ratio);
    const int x = sel.left + frame::kPreviewX;
    const int y = sel.top + frame::kPreviewY;
    const int cx = sel.left + sel.width / 2 + frame::kPreviewX;
    const int cy = sel.top + sel.height / 2 + frame::kPreviewY;
    // The handle sits 4 pixels up and left of the corner point of the drag-start test.
    const int hx = x + sel.width - 4;
    const int hy = y + sel.height - 4;

    // Each one-pixel line of the frame becomes `line` target pixels, drawn as nested outlines
    // (or parallel lines) inward from where the client pixel begins.
    const int line = canvas.Line();
    auto rect = [&](int rx, int ry, int w, int h, uint32_t colour) {
        for (int i = 0; i < line; ++i)
            DrawRect(canvas.X(rx) + i, canvas.Y(ry) + i, canvas.Size(w) - 2 * i,
                     canvas.Size(h) - 2 * i, colour);
    };
    auto ring = [&](int px, int py, int radius, uint32_t colour) {
        for (int i = 0; i < line; ++i)
            DrawCircle(canvas.X(px), canvas.Y(py), canvas.Size(radius) - i, colour);
    };
    auto stroke = [&](int px, int py, int dx, int dy, uint32_t colour) {
        for (int i = 0; i < line; ++i)
            DrawLine(canvas.X(px) + (dx == 0 ? i : 0), canvas.Y(py) + (dy == 0 ? i : 0),
                     canvas.Size(dx), canvas.Size(dy), colour);
    };

    DrawSetMode(DRAW_OUTLINED);
    ring(hx, hy, 4, kBlack);
    rect(x + 1, y + 1, sel.width, sel.height, kBlack);
    rect(x, y, sel.width, sel.height, kYellow);
    ring(cx + 1, cy + 1, 6, kBlack);
    ring(cx, cy, 6, kYellow);
    stroke(cx - 9, cy + 1, 20, 0, kBlack);
    stroke(cx + 1, cy - 9, 0, 20, kBlack);
    stroke(cx - 10, cy, 20, 0, kYellow);
    stroke(cx, cy - 10, 0, 20, kYellow);
    DrawSetMode(0);
    DrawCircle(canvas.X(hx), canvas.Y(hy), canvas.Size(3), kYellow);
}
