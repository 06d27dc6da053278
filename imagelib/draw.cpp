#include "imagelib/draw.h"

namespace {

// The one drawing state of the process. `open` is the descriptor handed to DrawBegin, read again
// by every operation: its owner may take the surface away (a window closed) or replace it (a
// window resized) while the target is open. `target` keeps the copy whose finish DrawEnd runs.
struct DrawState {
    DrawTarget* open = nullptr;  // null: no target open
    DrawTarget target;
    uint32_t frontColour = 0;
    uint32_t backColour = 0xFFFFFF;
    int mode = 0;
};

DrawState g_draw;

// The pixels to draw on, or null when nothing can be drawn.
raster::Bitmap* Surface() {
    if (!g_draw.open) return nullptr;
    raster::Bitmap* surface = g_draw.open->surface;
    return surface && surface->bits ? surface : nullptr;
}

raster::Mix CurrentMix() {
    return (g_draw.mode & DRAW_INVERT) ? raster::Mix::Invert : raster::Mix::Copy;
}

// Rectangles and circles are filled unless the outlined mode selected the null brush.
bool Filled() {
    return !(g_draw.mode & DRAW_OUTLINED);
}

}  // namespace

void DrawInit() {
    g_draw = DrawState{};
}

raster::Bitmap* DrawBegin(DrawTarget* target) {
    DrawEnd();
    if (!target) return nullptr;
    g_draw.target = *target;
    g_draw.mode = 0;
    if (!target->surface || !target->surface->bits) return nullptr;
    g_draw.open = target;
    g_draw.frontColour = 0;
    g_draw.backColour = 0xFFFFFF;
    return target->surface;
}

void DrawEnd() {
    if (!g_draw.open) return;
    DrawTarget* open = g_draw.open;
    void (*finish)(DrawTarget*) = g_draw.target.finish;
    // Closed before the finish runs, so that a finish reaching back into the surface sees it shut.
    g_draw.open = nullptr;
    if (finish) finish(open);
}

void DrawForget(const DrawTarget* target) {
    if (!g_draw.open || !target || g_draw.open != target) return;
    g_draw.open = nullptr;
}

void DrawSetMode(int flags) {
    if (!g_draw.open) return;
    g_draw.mode = flags;
}

void DrawBitmap(const raster::Bitmap* bitmap, int x, int y, int width, int height) {
    raster::Bitmap* surface = Surface();
    if (!surface || !bitmap || !bitmap->bits) return;
    raster::Rop rop = (g_draw.mode & DRAW_INVERT) ? raster::Rop::NotSrcErase : raster::Rop::SrcCopy;
    int w = bitmap->width, h = bitmap->height;
    if (width != 0 && height != 0) {
        w = width;
        h = height;
    }
    if (w == bitmap->width && h == bitmap->height) {
        raster::Blit(*surface, x, y, w, h, *bitmap, 0, 0, rop);
    } else {
        raster::Stretch(*surface, x, y, w, h, *bitmap, raster::StretchMode::Halftone, rop);
    }
}

void DrawRect(int x, int y, int width, int height, uint32_t colour) {
    raster::Bitmap* surface = Surface();
    if (!surface) return;
    if (width == 1 && height == 1) {
        raster::SetPixel(*surface, x, y, colour);
        return;
    }
    raster::Rectangle(*surface, x, y, width, height, colour, Filled(), colour, CurrentMix());
}

void DrawLine(int x, int y, int dx, int dy, uint32_t colour) {
    raster::Bitmap* surface = Surface();
    if (!surface) return;
    long long x1 = static_cast<long long>(x) + dx, y1 = static_cast<long long>(y) + dy;
    if (x1 < INT32_MIN || x1 > INT32_MAX || y1 < INT32_MIN || y1 > INT32_MAX) return;
    raster::Line(*surface, x, y, static_cast<int>(x1), static_cast<int>(y1), colour, CurrentMix());
}

void DrawCircle(int x, int y, int radius, uint32_t colour) {
    raster::Bitmap* surface = Surface();
    if (!surface) return;
    if (radius == 1) {
        DrawRect(x, y, 2, 2, colour);
        return;
    }
    long long l = static_cast<long long>(x) - radius, t = static_cast<long long>(y) - radius;
    long long r = static_cast<long long>(x) + radius, b = static_cast<long long>(y) + radius;
    if (l < INT32_MIN || r > INT32_MAX || t < INT32_MIN || b > INT32_MAX || l > INT32_MAX ||
        r < INT32_MIN || t > INT32_MAX || b < INT32_MIN) {
        return;
    }
    raster::Ellipse(*surface, static_cast<int>(l), static_cast<int>(t), static_cast<int>(r),
                    static_cast<int>(b), colour, Filled(), colour, CurrentMix());
}
