// Asynchronous input state: the left mouse button and the cursor position on the screen, behind
// a small interface that tests can replace with a scripted source.
#pragma once

struct InputSource {
    virtual ~InputSource() = default;
    // True while the left mouse button is held down.
    virtual bool LeftButtonDown() = 0;
    // Cursor position in global screen coordinates.
    virtual void CursorScreenPos(int& x, int& y) = 0;
};

// The source in use: the real mouse unless a test installed its own.
InputSource& InputCurrent();
// Installs `source` (not owned); null restores the real mouse.
void InputSetSource(InputSource* source);
