// The mouse as the GUI framework last saw it: the left button and the cursor position on the
// screen. Without a running GUI nothing is pressed and the cursor stands at the origin.
#pragma once

// True while the left mouse button is held down.
bool InputLeftButtonDown();
// Cursor position in global screen coordinates.
void InputCursorScreenPos(int& x, int& y);
