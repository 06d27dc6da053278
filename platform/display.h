// The display the program runs on.
#pragma once

// Colour depth of the primary screen in bits per pixel (24 on a usual X display). Taken from the
// screen when a display is open; 24 before that. A value set with DisplaySetDepthForTesting wins.
int DisplayDepth();
// Bits per pixel of a screen-compatible bitmap at the display's depth: 32 for a depth of 24 or
// more, the depth itself below that.
int DisplayBitmapBpp();
// Overrides the reported depth (0 restores the real one). For tests only.
void DisplaySetDepthForTesting(int depth);
