// The export: the adjustments committed to the full picture (image 100), the selection cut out
// into image 102, reduced to the chosen output size, then written as a JPEG file or put on the
// clipboard; afterwards the controls return to their defaults and the adjusted preview becomes
// the new starting point.
#pragma once

#include <cstdint>
#include <string>

#include "picture/appstate.h"

// One item of the output-size combo box (control 25): the length of the picture's shorter side
// (the width of a square one), 0 for no change.
struct OutputPreset {
    const char* item;
    int shorterSide;
};
constexpr int kOutputPresetCount = 8;
extern const OutputPreset kOutputPresets[kOutputPresetCount];

// Control numbers the export reads and writes.
constexpr int kControlOutputSize = 25;
constexpr int kControlProgress = 18;

// A rectangle in picture pixels.
struct CutRect {
    int x, y, width, height;
};

// ---------------------------------------------------------------------------------------------
// Export
// ---------------------------------------------------------------------------------------------

// Exports the selection: to a file chosen in the save dialog when `toClipboard` is 0, else to
// the clipboard. A cancelled dialog changes nothing. A failed delivery is reported in a message
// box; the adjusted picture stays in image 100, so saving again loses nothing.
void SelectionExport(uint8_t toClipboard);
// Reduces image 102 according to the preset chosen in control 25; never enlarges.
void OutputResize();

// ---------------------------------------------------------------------------------------------
// Pure helpers
// ---------------------------------------------------------------------------------------------

// The size of a width x height picture under preset `index`; false when it keeps its size
// (index 0 or out of range, or the shorter side already within the preset).
bool OutputSizeFor(int index, int width, int height, int& newWidth, int& newHeight);
// The selection in picture pixels: each of left, top, width, height times `factor`, rounded
// separately to the nearest integer (halves to even).
CutRect SelectionToPicture(const Selection& selection, float factor);
// The save dialog's default name: `fileName` with every ".bmp" removed, letter case ignored.
std::string ExportDefaultName(const std::string& fileName);
