#include "app/framepaint.h"

#include <algorithm>

#include "imagelib/draw.h"

namespace {

constexpr uint32_t kBlack = 0;
constexpr uint32_t kYellow = 65535;
constexpr uint32_t kWhite = 0xffffff;

}  // namespace

void DrawSelectionFrame(Selection& sel, float ratio, const frame::FrameCanvas& canvas) {
    sel.height = frame::HeightFor(sel.width, ratio);
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

void DrawThirds(const Selection& sel, const frame::FrameCanvas& canvas) {
    const int line = canvas.Line();
    // Inside the outline and its shadow, up to the pixel before the frame's last.
    const int x0 = canvas.X(sel.left + frame::kPreviewX + 2);
    const int x1 = canvas.X(sel.left + frame::kPreviewX + sel.width - 1);
    const int y0 = canvas.Y(sel.top + frame::kPreviewY + 2);
    const int y1 = canvas.Y(sel.top + frame::kPreviewY + sel.height - 1);
    DrawSetMode(0);
    for (int k = 1; k <= 2; ++k) {
        const int x = canvas.X(sel.left + frame::kPreviewX + frame::Nearest(sel.width * k / 3.0));
        const int y = canvas.Y(sel.top + frame::kPreviewY + frame::Nearest(sel.height * k / 3.0));
        for (int v = y0; v < y1; v += 2 * line)
            DrawRect(x, v, line, std::min(line, y1 - v), kWhite);
        for (int h = x0; h < x1; h += 2 * line)
            DrawRect(h, y, std::min(line, x1 - h), line, kWhite);
    }
}
