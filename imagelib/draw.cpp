#include "imagelib/draw.h"

namespace {

// The one drawing state of the process. `open` is the descriptor handed to DrawBegin; `target`
// keeps a copy of it, so that a descriptor rewritten later does not redirect the drawing.
struct DrawState {
    raster::Bitmap* surface = nullptr;  // null: no target open
    DrawTarget* open = nullptr;
    DrawTarget target;
    uint32_t frontColour = 0;
    uint32_t backColour = 0xFFFFFF;
    int mode = 0;
};

DrawState g_draw;

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
    g_draw.surface = target->surface;
    g_draw.frontColour = 0;
    g_draw.backColour = 0xFFFFFF;
    return g_draw.surface;
}

void DrawEnd() {
    if (!g_draw.surface) return;
    DrawTarget* open = g_draw.open;
    void (*finish)(DrawTarget*) = g_draw.target.finish;
    // Closed before the finish runs, so that a finish reaching back into the surface sees it shut.
    g_draw.surface = nullptr;
    g_draw.open = nullptr;
    if (finish) finish(open);
}

void DrawForget(const DrawTarget* target) {
    if (!g_draw.surface || !target || g_draw.open != target) return;
    g_draw.surface = nullptr;
    g_draw.open = nullptr;
}

void DrawSetMode(int flags) {
    if (!g_draw.surface) return;
    g_draw.mode = flags;
}

void DrawBitmap(const raster::Bitmap* bitmap, int x, int y, int width, int height) {
    if (!g_draw.surface || !bitmap || !bitmap->bits) return;
    raster::Rop rop = (g_draw.mode & DRAW_INVERT) ? raster::Rop::NotSrcErase : raster::Rop::SrcCopy;
    int w = bitmap->width, h = bitmap->height;
    if (width != 0 && height != 0) {
        w = width;
        h = height;
    }
    if (w == bitmap->width && h == bitmap->height) {
        raster::Blit(*g_draw.surface, x, y, w, h, *bitmap, 0, 0, rop);
    } else {
        raster::Stretch(*g_draw.surface, x, y, w, h, *bitmap, raster::StretchMode::Halftone, rop);
    }
}

void DrawRect(int x, int y, int width, int height, uint32_t colour) {
    if (!g_draw.surface) return;
    if (width == 1 && height == 1) {
        raster::SetPixel(*g_draw.surface, x, y, colour);
        return;
    }
    raster::Rectangle(*g_draw.surface, x, y, width, height, colour, Filled(), colour, CurrentMix());
}

void DrawLine(int x, int y, int dx, int dy, uint32_t colour) {
    if (!g_draw.surface) return;
    long long x1 = static_cast<long long>(x) + dx, y1 = static_cast<long long>(y) + dy;
    if (x1 < INT32_MIN || x1 > INT32_MAX || y1 < INT32_MIN || y1 > INT32_MAX) return;
    raster::Line(*g_draw.surface, x, y, static_cast<int>(x1), static_cast<int>(y1), colour,
                 CurrentMix());
}

void DrawCircle(int x, int y, int radius, uint32_t colour) {
    if (!g_draw.surface) return;
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
    raster::Ellipse(*g_draw.surface, static_cast<int>(l), static_cast<int>(t), static_cast<int>(r),
                    static_cast<int>(b), colour, Filled(), colour, CurrentMix());
}
