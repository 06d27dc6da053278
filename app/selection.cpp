#include "app/selection.h"

#include "app/frame.h"
#include "app/mainwindow.h"
#include "app/preview.h"
#include "imagelib/draw.h"
#include "imagelib/image.h"
#include "picture/appstate.h"
#include "toolkit/control.h"

namespace {

constexpr uint32_t kBlack = 0;
constexpr uint32_t kYellow = 65535;

int PreviewWidth() {
    return ImageGetWidth(101);
}
int PreviewHeight() {
    return ImageGetHeight(101);
}

bool SameFrame(const Selection& a, const Selection& b) {
    return a.height == b.height && a.width == b.width && a.left == b.left && a.top == b.top;
}

}  // namespace

float RatioForFormat(uint8_t portrait) {
    return frame::RatioFor(ControlGetValue(kFormatCombo), portrait == 1);
}

void ResetSelection(uint8_t keepFrame) {
    if (!ImageExists(100)) return;
    if (keepFrame) {
        g_app.ratio = RatioForFormat(ControlGetValue(kPortraitToggle) != 0 ? 1 : 0);
        return;
    }
    const bool landscape = ImageGetWidth(100) > ImageGetHeight(100);
    g_app.ratio = RatioForFormat(landscape ? 0 : 1);
    g_app.selection = frame::DefaultFrame(landscape, g_app.ratio);
    ControlSetValue(kPortraitToggle, landscape ? 0 : 1);
    ClampSelection();
}

void ClampSelection() {
    frame::Clamp(g_app.selection, g_app.ratio, PreviewWidth(), PreviewHeight());
}

void SelectionMouseStep(bool down, int mx, int my) {
    g_app.buttonState = down ? 1 : 0;
    const bool wasDragging = g_app.resizing || g_app.moving;
    if (down && ImageExists(101)) {
        frame::DragStart(g_app, mx, my, PreviewWidth(), PreviewHeight());
    } else {
        g_app.resizing = 0;
        g_app.moving = 0;
    }
    // Repainting shows the window anew, which is itself an event and a further pass: repaint only
    // when the frame changed (or the drag just began), so a button held still costs nothing.
    if (g_app.resizing == 1) {
        const Selection before = g_app.selection;
        frame::ResizeTo(g_app.selection, g_app.ratio, mx, PreviewWidth(), PreviewHeight());
        if (!wasDragging || !SameFrame(before, g_app.selection)) RedrawPreview();
    }
    if (g_app.moving == 1) {
        const Selection before = g_app.selection;
        frame::MoveTo(g_app.selection, g_app.ratio, mx, my, g_app.grabX, g_app.grabY,
                      PreviewWidth(), PreviewHeight());
        if (!wasDragging || !SameFrame(before, g_app.selection)) RedrawPreview();
    }
}

void NudgeSelection(int dx, int dy) {
    if (!ImageExists(101) || g_app.resizing || g_app.moving) return;
    Selection& sel = g_app.selection;
    frame::MoveTo(sel, g_app.ratio, sel.left + dx, sel.top + dy, 0, 0, PreviewWidth(),
                  PreviewHeight());
    RedrawPreview();
}

void DrawSelectionFrame(const FrameCanvas& canvas) {
    Selection& sel = g_app.selection;
    sel.height = frame::HeightFor(sel.width, g_app.ratio);
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
