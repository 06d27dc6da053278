// Ways of looking at the picture before it leaves, none of which changes the picture, the
// history or the controls: the preview without its adjustments ("before") and the lines at the
// frame's thirds.
#pragma once

#include "app/settings.h"

// The preference that keeps the thirds grid on or off between runs.
inline constexpr const char* kThirdsPreference = "ansicht/drittel";
inline constexpr const char* kBeforeText = "Vorher";

// ---------------------------------------------------------------------------------------------
// Before and after
// ---------------------------------------------------------------------------------------------

// Switches the preview between the adjusted picture and the picture as it would be with the
// track bars and the cast removal at their defaults; nothing without a captured preview.
void ToggleBeforeAfter();
// Back to the adjusted preview of `settings` when the preview shows "before"; else nothing.
void ShowAfter(const WindowSettings& settings);
// Shows the "Vorher" label in the lower-left corner of a preview `previewHeight` rows high while
// the preview shows "before"; hides it otherwise.
void ShowBeforeLabel(int previewHeight);

// ---------------------------------------------------------------------------------------------
// Thirds grid
// ---------------------------------------------------------------------------------------------

// Takes the grid's state from the preferences (off when none is kept).
void LoadThirdsGrid();
// Shows or hides the grid, keeps the choice and repaints.
void ToggleThirdsGrid();
