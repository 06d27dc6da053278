// The window table: numbered top-level windows, their client-area surfaces and drawing targets.
// Qt-only: included by the toolkit's own sources and its tests, never by a public header. The
// public operations (WindowOpen, WindowClose, ...) are declared in window.h.
#pragma once

class QWidget;

// ---------------------------------------------------------------------------------------------
// Window table
// ---------------------------------------------------------------------------------------------

// Makes the (empty) window table; windows can be opened from now on. `onClose` is told of each
// window just before it closes, so that what lives in it goes first. False when the memory
// cannot be had.
[[nodiscard]] bool WindowTableStart(void (*onClose)(int window));
// No window can be opened until the next start. The windows are to be closed first.
void WindowTableStop();
// The top-level widget of window `number`, or null when the number is free.
QWidget* ToolkitWindowWidget(int number);
// Every press or release of the left button ends what an earlier press on a window's surface
// began; the window sets it anew for a press it receives itself.
void WindowSurfacePressEnded();
// Number of the toolkit window that `widget` belongs to (itself or an ancestor), or -1.
int ToolkitWindowNumberOf(const QWidget* widget);
