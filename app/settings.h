// The main window's settings as one value: what its controls say, read once at the start of an
// action and handed to every step of it, so that preview, frame and export work from one
// consistent reading and nothing below the shell's entry points asks the controls again.
#pragma once

#include <cstddef>

#include "picture/sharpen.h"
#include "picture/tone.h"

// ---------------------------------------------------------------------------------------------
// Window settings
// ---------------------------------------------------------------------------------------------

struct WindowSettings {
    ToneParams tone = kToneDefaults;  // the five track bars' positions, in kToneSettings order
    bool removeCast = false;          // the cast check box is ticked
    int format = 0;                   // item of the format combo box; -1 for none
    bool portrait = false;            // the portrait toggle is pressed in
    int outputSize = 0;               // item of the output-size combo box; -1 for none
    bool operator==(const WindowSettings&) const = default;
};

// The output's choices, made in their own dialog and remembered between runs: a size budget for
// a JPEG file and the sharpening after the reduction.
struct OutputSettings {
    size_t maxBytes = 0;  // 0: no budget
    Sharpening sharpen = Sharpening::Off;
    bool operator==(const OutputSettings&) const = default;
};

// The controls of window 0 as they stand.
[[nodiscard]] WindowSettings ReadWindowSettings();
// Puts every control of `settings` at its value; no events are raised. The value labels and the
// cast swatch are the caller's.
void WriteWindowSettings(const WindowSettings& settings);
