// Drawing surface: a small immediate-mode drawing interface over the raster. Opened on one
// target at a time (an image or a window's client area), it draws bitmaps, rectangles, lines and
// circles. Coordinates are pixels of the target from its top-left corner. Every drawing operation
// does nothing while no target is open.
#pragma once

#include <cstdint>

#include "platform/draw_target.h"
#include "platform/raster.h"

// Mode flags of DrawSetMode.
constexpr int DRAW_TRANSPARENT = 1;  // text and hatch backgrounds left transparent
constexpr int DRAW_INVERT = 2;       // shapes invert the pixels under them; bitmaps NOTSRCERASE
constexpr int DRAW_OUTLINED = 4;     // rectangles and circles without fill

// ---------------------------------------------------------------------------------------------
// Drawing surface
// ---------------------------------------------------------------------------------------------

// Start-up: resets the surface state. Run once before any drawing.
void DrawInit();
// Closes an open target, then opens `target`; returns its surface, or null (nothing can be drawn).
raster::Bitmap* DrawBegin(DrawTarget* target);
// Closes the open target (runs its finish operation); nothing when none is open.
void DrawEnd();
// The target is going away: if it is the open one, the surface closes without running its
// finish operation, so nothing is drawn into pixels that may be gone. Others are left open.
void DrawForget(const DrawTarget* target);
// Sets the mode flags for the open target; every DrawBegin starts from 0.
void DrawSetMode(int flags);
// Draws `bitmap` at (x, y): 1:1 when width and height are 0 or equal its size, else a smooth
// (halftone) stretch to width x height.
void DrawBitmap(const raster::Bitmap* bitmap, int x, int y, int width, int height);
// Rectangle from (x, y) to (x + width, y + height), edges right/bottom exclusive; a 1 x 1
// rectangle sets exactly one pixel whatever the mode.
void DrawRect(int x, int y, int width, int height, uint32_t colour);
// Line from (x, y) to (x + dx, y + dy); the end point is not drawn.
void DrawLine(int x, int y, int dx, int dy, uint32_t colour);
// Circle in the box (x - r, y - r) to (x + r, y + r), right/bottom exclusive; radius 1 draws the
// 2 x 2 square whose top-left pixel is (x, y).
void DrawCircle(int x, int y, int radius, uint32_t colour);
