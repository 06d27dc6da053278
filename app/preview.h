// The preview (image 101), its repaint onto the main window with outline and frame, the status
// line, the five value labels, and the adjustment controls' defaults.
#pragma once

// ---------------------------------------------------------------------------------------------
// Preview and status line
// ---------------------------------------------------------------------------------------------

// Makes image 101 from image 100, at most 480 x 476; nothing without image 100.
void BuildPreview();
// Paints outline, preview and frame onto window 0 and writes the status line; nothing unless
// images 100 and 101 exist.
void RedrawPreview();
// Rewrites the five value labels from the track bars, then (with a preview) adjusts the preview
// from the captured pixels, removes a measured cast and repaints.
void ApplyAdjustments();
// Track bars to their defaults, no cast, check box cleared, swatch hidden. Labels untouched.
void ResetAdjustments();
