// The display the program runs on: the depth that screen-compatible bitmaps follow. The depth
// itself is plain state, so that the readers that make such bitmaps need no GUI framework; the
// Qt-backed side (DisplayFollowScreen) makes it follow the screen once the GUI runs.
#pragma once

// Colour depth of the primary screen in bits per pixel: the screen's own once DisplayFollowScreen
// was called and a GUI runs, 24 (a usual X display) before that. A value set with
// DisplaySetDepthForTesting wins.
int DisplayDepth();
// Bits per pixel of a screen-compatible bitmap at the display's depth: 32 for a depth of 24 or
// more, the depth itself below that.
int DisplayBitmapBpp();
// Overrides the reported depth (0 restores the real one). For tests only.
void DisplaySetDepthForTesting(int depth);
// Where the real depth comes from: `source` returns it, or 0 when there is no screen to ask (the
// usual 24 then stands); null forgets the source.
void DisplaySetDepthSource(int (*source)());

// ---------------------------------------------------------------------------------------------
// Qt-backed (library `platform`)
// ---------------------------------------------------------------------------------------------

// From now on the depth is the primary screen's, asked each time while a GUI application runs.
void DisplayFollowScreen();
