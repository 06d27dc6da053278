// Window toolkit, window half: numbered top-level windows and the single polling call
// EventWait that turns everything the windows receive into event codes. Nothing here includes
// the GUI framework: callers work with numbers and texts (UTF-8).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DrawTarget;

// Event codes returned by EventWait.
constexpr int EVENT_NONE = 0;           // timeout: nothing arrived
constexpr int EVENT_MOVED = 3;          // window moved
constexpr int EVENT_RESIZED = 5;        // window resized (not when minimised)
constexpr int EVENT_REPAINT = 15;       // window background erased / repainted
constexpr int EVENT_CLOSE = 16;         // close request; the window stays open
constexpr int EVENT_CONTROL = 13100;    // control event; EventSource and EventDetail say more
constexpr int EVENT_ACTIVATED = 13104;  // window activated
constexpr int EVENT_KEYDOWN = 256;
constexpr int EVENT_MOUSEMOVE = 512;
constexpr int EVENT_LBUTTONDOWN = 513;
constexpr int EVENT_LBUTTONUP = 514;
constexpr int EVENT_RBUTTONDOWN = 516;
constexpr int EVENT_RBUTTONUP = 517;
constexpr int EVENT_DROPFILES = 563;  // files dropped; EventParam is the drop handle

// WindowOpen flags.
constexpr uint32_t WINDOW_CENTRE_SCREEN = 0x1;
constexpr uint32_t WINDOW_CENTRE_PARENT = 0x2;
constexpr uint32_t WINDOW_HIDDEN = 0x10000000;
constexpr uint32_t WINDOW_MAXIMIZE = 0x1000000;
constexpr uint32_t WINDOW_CAPTION = 0xC00000;
constexpr uint32_t WINDOW_SYSMENU = 0x80000;
constexpr uint32_t WINDOW_MINIMIZEBOX = 0x20000;
constexpr uint32_t WINDOW_MAXIMIZEBOX = 0x10000;
constexpr uint32_t WINDOW_SIZEBORDER = 0x40000;

// ---------------------------------------------------------------------------------------------
// Toolkit start-up
// ---------------------------------------------------------------------------------------------

// Starts the GUI framework if it is not running yet and makes the window and control tables.
// Returns false when no display can be opened.
bool ToolkitInit();
// Font of the windows and controls made from now on: `family` (null keeps the default) at
// `pixelSize` pixels (0 keeps the size). Nothing before ToolkitInit.
void ToolkitSetFont(const char* family, int pixelSize);

// ---------------------------------------------------------------------------------------------
// Windows
// ---------------------------------------------------------------------------------------------

// Opens window `number` with a client area of width x height (an open window of that number is
// closed first). Returns a non-zero handle, or 0.
uintptr_t WindowOpen(int number, int x, int y, int width, int height, const char* title,
                     uint32_t flags);
// The window's handle, or 0 when the number is free.
uintptr_t WindowHandle(int number);
// Sets the window title; a null text or a free number does nothing.
void WindowSetTitle(int number, const char* text);
// Closes the window and its controls; a free number does nothing.
void WindowClose(int number);
// Closes every open window in ascending number order.
void WindowCloseAll();
// Makes the window accept dropped files (event 563).
void WindowAcceptFiles(int number, bool accept);

// ---------------------------------------------------------------------------------------------
// Events
// ---------------------------------------------------------------------------------------------

// Waits for one event: timeout -1 waits for ever, 0 does not wait, N returns 0 after at most
// N ms without an event. Returns the event code.
int EventWait(int timeoutMs);
// Number of the control of the last control event (kept until the next one).
int EventSource();
// Sub-type of the last event; -1 unless it was a control event.
int EventDetail();
// Window of the last event, -1 when it went to no toolkit window.
int EventWindowNumber();
// First parameter of the last event returned as its own number; after 563 the drop handle.
uintptr_t EventParam();

// Files dropped: the names behind a drop handle, and its release.
// DropQueryCount is the number of names; DropQueryFile(handle, i) the i-th name (UTF-8 path).
int DropQueryCount(uintptr_t drop);
std::string DropQueryFile(uintptr_t drop, int index);
void DropFinish(uintptr_t drop);

// ---------------------------------------------------------------------------------------------
// Cursor and drawing
// ---------------------------------------------------------------------------------------------

// Cursor position in the window's client area, read now; -1 when the window is free or the cursor
// lies outside the client area (bounds inclusive: x == client width still counts as inside).
int WindowCursorX(int number);
int WindowCursorY(int number);
// A drawing target on the window's client-area surface, or null when the number is free. The
// surface is shown under the window's controls; DrawEnd puts what was drawn on screen.
DrawTarget* WindowDrawTarget(int number);
