// The main window, window 0, with its 27 controls.
#pragma once

#include "app/ids.h"

// Client size of the main window.
constexpr int kMainClientWidth = 711;
constexpr int kMainClientHeight = 562;

// Title once the controls have their starting state.
constexpr const char* kMainTitle = "Kadrovo V0.3";

// ---------------------------------------------------------------------------------------------
// Main window
// ---------------------------------------------------------------------------------------------

// Opens window 0 (client 711 x 562, centred, fixed size, title "Kadrovo") and creates controls
// 0 to 26 with their tooltips. Stops at the first failure to open the window or begin its
// control list; returns false then.
[[nodiscard]] bool BuildMainWindow();
// The frame step of keyboard command `command` (event 273): true with (dx, dy) in preview pixels
// for Alt with an arrow key (one pixel; ten with Shift as well), false for any other number.
[[nodiscard]] bool FrameStepFor(int command, int& dx, int& dy);
// Gives the controls their ranges, items and starting values, hides the swatch, accepts dropped
// files and sets the final title.
void SetStartingState();
