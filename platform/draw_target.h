// What the drawing surface paints on: a window's client area or an image. The windows and the
// images hand such targets out; the drawing surface opens them. Both sides know only this.
#pragma once

#include "platform/raster.h"

// What the surface paints on. Handed out by WindowDrawTarget (kind 1) and ImageDrawTarget (kind 2).
struct DrawTarget {
    int kind = 0;                           // 1 = a window's client area, 2 = an image
    raster::Bitmap* surface = nullptr;      // the pixels drawn on
    void (*finish)(DrawTarget*) = nullptr;  // run by DrawEnd: shows a window's surface on screen,
                                            // or closes an image target
    void* owner = nullptr;                  // the window or image library state behind the target
};
