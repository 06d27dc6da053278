// Window toolkit, window half: numbered top-level windows and the single polling call
// EventWait that turns everything the windows receive into event codes. Nothing here includes
// the GUI framework: callers work with numbers and texts (UTF-8).
#pragma once

#include <cstdint>
#include <functional>
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
constexpr int EVENT_COMMAND = 273;    // keyboard accelerator; EventParam is its command number

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
[[nodiscard]] bool ToolkitInit();
// Font of the windows and controls made from now on: `family` (null keeps the default) at
// `pixelSize` pixels (0 keeps the size). Nothing before ToolkitInit.
void ToolkitSetFont(const char* family, int pixelSize);
// Closes every window and, when ToolkitInit started the GUI framework, ends it in order: on X11
// the clipboard's contents are then handed to a running clipboard manager, so that what the
// program copied stays available after it ends. ToolkitInit may start it again.
void ToolkitShutDown();

// ---------------------------------------------------------------------------------------------
// Windows
// ---------------------------------------------------------------------------------------------

// Opens window `number` with a client area of width x height (an open window of that number is
// closed first). Returns a non-zero handle, or 0.
uintptr_t WindowOpen(int number, int x, int y, int width, int height, const char* title,
                     uint32_t flags);
// The window's handle, or 0 when the number is free. Kept as one of the numbered window
// operations; the program itself addresses its window by number only.
uintptr_t WindowHandle(int number);
// Sets the window title; a null text or a free number does nothing.
void WindowSetTitle(int number, const char* text);
// Closes the window and its controls; a free number does nothing.
void WindowClose(int number);
// Closes every open window in ascending number order.
void WindowCloseAll();
// Makes the window accept dropped files (event 563).
void WindowAcceptFiles(int number, bool accept);
// Keys pressed while the window is active raise event 273 with `command` as EventParam instead
// of reaching a control. `keys` in the portable form "Ctrl+Shift+C", "Alt+Left". False when the
// window is free or the keys cannot be read.
bool WindowAddAccelerator(int number, const char* keys, int command);
// An entry of a context menu: its text, the keys shown beside it (may be null), the command that
// choosing it raises as event 273.
struct WindowMenuEntry {
    const char* text;
    const char* keys;
    int command;
};
// A press of the right button (or the menu key) over the client rectangle (x, y) width x height
// opens a menu of `entries`, in their order; choosing one raises event 273 with its command. A
// later call replaces the menu. False when the window is free.
bool WindowSetContextMenu(int number, int x, int y, int width, int height,
                          const std::vector<WindowMenuEntry>& entries);

// A double click of the left button on the window's own surface inside the client rectangle
// (x, y) width x height raises event 273 with `command` (0: none); the clicks themselves count as
// presses. A later call replaces it. False when the window is free.
bool WindowSetDoubleClick(int number, int x, int y, int width, int height, int command);

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
// Window of the last event, -1 when it went to no toolkit window. One of the numbered event
// queries; the program has one window and does not ask.
int EventWindowNumber();
// First parameter of the last event returned as its own number; after 563 the drop handle.
uintptr_t EventParam();

// Keeps the windows painted and movable until `done` returns true (asked every few
// milliseconds), for work on another thread the program waits for. Input meanwhile is queued as
// events, which EventWait hands out afterwards.
void EventPumpUntil(const std::function<bool()>& done);

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
// True after a press of the left button that reached the window's own surface (its frames and
// texts included) until the button is released; false after a press that a control (button,
// check box, combo box, track bar) or another window took.
[[nodiscard]] bool WindowSurfacePressed(int number);
// A drawing target on the window's client-area surface, or null when the number is free. The
// surface is shown under the window's controls; DrawEnd puts what was drawn on screen.
DrawTarget* WindowDrawTarget(int number);
// Device pixels per pixel of the window's client area on its screen: 1 on an ordinary screen, 2
// on a 200 % screen. 1 for a free number.
double WindowPixelRatio(int number);
// The part of the screen that window `number` is on that windows may take (less panels and docks),
// in device pixels, and the screen's device pixels per pixel. False for a free number.
bool WindowScreenArea(int number, int& width, int& height, double& ratio);
// A drawing target at device resolution over the client rectangle (x, y) width x height: its
// surface has width x ratio by height x ratio pixels (rounded up) and is shown, one surface pixel
// per device pixel, over the client-area surface until it is dropped or the ratio changes. Null
// for a free number or an empty rectangle.
DrawTarget* WindowDeviceDrawTarget(int number, int x, int y, int width, int height);
// Removes the device-resolution surface; the client-area surface shows alone again. Not while
// its target is open for drawing.
void WindowDropDeviceTarget(int number);

// ---------------------------------------------------------------------------------------------
// Busy cursor
// ---------------------------------------------------------------------------------------------

// Shows the busy cursor over the program's windows for the guard's lifetime, whatever way the
// scope is left; guards nest. Requesters opened meanwhile show the ordinary pointer.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    bool shown_;
};
