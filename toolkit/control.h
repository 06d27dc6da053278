// Window toolkit, control half: numbered controls (gadgets) in the window chosen with
// ControlListBegin. Values set by the program raise no events; user actions raise event 13100
// with the control's number as EventSource and the notification as EventDetail.
#pragma once

#include <cstdint>

// Kind codes.
constexpr int CONTROL_BUTTON = 1;
constexpr int CONTROL_TEXT = 3;
constexpr int CONTROL_CHECKBOX = 4;
constexpr int CONTROL_FRAME = 7;
constexpr int CONTROL_COMBOBOX = 8;
constexpr int CONTROL_PROGRESSBAR = 14;
constexpr int CONTROL_TRACKBAR = 17;

// Creation flags.
constexpr int BUTTON_TOGGLE = 4099;     // stays pressed or released on each click
constexpr int BUTTON_MULTILINE = 8192;  // wrapped caption
constexpr int TEXT_CENTRED = 1;
constexpr int TEXT_SUNKEN = 0x20000;
constexpr int TEXT_FIT = 0x1000;  // one line whose font narrows and shrinks until the text fits
constexpr int PROGRESS_SMOOTH = 1;

// Control attributes and colour selectors.
constexpr int ATTR_MINIMUM = 1;
constexpr int ATTR_MAXIMUM = 2;
constexpr int COLOUR_TEXT = 1;  // text colour (progress bar: bar colour)
constexpr int COLOUR_BACKGROUND = 2;

// Combo box notification codes (EventDetail).
constexpr int CBN_SELCHANGE = 1;
constexpr int CBN_SETFOCUS = 3;
constexpr int CBN_KILLFOCUS = 4;
constexpr int CBN_DROPDOWN = 7;
constexpr int CBN_CLOSEUP = 8;
constexpr int CBN_SELENDOK = 9;
constexpr int CBN_SELENDCANCEL = 10;

// ---------------------------------------------------------------------------------------------
// Creation (each returns a non-zero handle, or 0; a control held under the number is replaced
// only when the new one could be made)
// ---------------------------------------------------------------------------------------------

// Makes window `window` the parent of the controls created from now on; 0 when it is not open.
uintptr_t ControlListBegin(int window);
uintptr_t ControlCreateFrame(int number, int x, int y, int width, int height, const char* text);
uintptr_t ControlCreateText(int number, int x, int y, int width, int height, const char* text,
                            int flags);
uintptr_t ControlCreateButton(int number, int x, int y, int width, int height, const char* text,
                              int flags);
uintptr_t ControlCreateCheckBox(int number, int x, int y, int width, int height, const char* text);
uintptr_t ControlCreateComboBox(int number, int x, int y, int width, int height);
uintptr_t ControlCreateTrackBar(int number, int x, int y, int width, int height, int minimum,
                                int maximum);
uintptr_t ControlCreateProgressBar(int number, int x, int y, int width, int height, int minimum,
                                   int maximum, int flags);

// ---------------------------------------------------------------------------------------------
// Generic operations (a free number does nothing and returns 0). The numbered operations keep
// the int and handle results of their published interface; the toolkit's own additions answer
// with bool.
// ---------------------------------------------------------------------------------------------

// Button/check box: 1 when pressed or ticked; combo box: selected index or -1; track bar and
// progress bar: position. 0 for kinds without a value.
int ControlGetValue(int number);
void ControlSetValue(int number, int value);
// Track bar and progress bar: attribute 1 minimum, 2 maximum; the position is kept as far as the
// new range allows.
void ControlSetAttribute(int number, int attribute, int value);
// Combo box: position -1 appends, 0.. inserts there, below -1 does nothing. Returns 0.
int ControlAddItem(int number, int position, const char* text);
void ControlSetText(int number, const char* text);
// The control's current text (UTF-8); empty for a free number.
const char* ControlGetText(int number);
// Text: which 1 text colour, 2 background; progress bar: 1 bar, 2 background. -1 restores the
// default.
void ControlSetColour(int number, int which, int32_t colour);
// Hides the control when `hide` is not 0, shows it otherwise. A hidden control raises no events.
void ControlHide(int number, int hide);
// Attaches a tooltip; a second call replaces the text.
int ControlSetTip(int number, const char* text);
// Keys that press button `number` while its window is active (portable form: "Ctrl+O"); its
// tooltip names them after its text. False for another kind or unreadable keys.
[[nodiscard]] bool ControlSetShortcut(int number, const char* keys);
// The control's tooltip as shown, the keys of a shortcut included; empty when none.
const char* ControlGetTip(int number);
