// The main window, window 0, with its 27 controls.
#pragma once

#include <optional>

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
// A move of the frame, in preview pixels.
struct FrameNudge {
    int dx, dy;
};
// The frame step of keyboard command `command` (event 273): Alt with an arrow key moves one
// pixel, ten with Shift as well; none for any other number.
[[nodiscard]] std::optional<FrameNudge> FrameStepFor(int command);
// Gives the controls their ranges, items and starting values, hides the swatch, accepts dropped
// files, takes the thirds grid's kept state and sets the final title.
void SetStartingState();
