// The control table behind the Control operations of control.h, as the rest of the toolkit
// sees it. Qt-only: included by the toolkit's own sources and its tests, never by a public
// header.
#pragma once

class QWidget;

// ---------------------------------------------------------------------------------------------
// Control table
// ---------------------------------------------------------------------------------------------

// Makes the control table; false when the memory cannot be had.
[[nodiscard]] bool ToolkitControlsInit();
// Frees the records (and widgets) of every control in window `window`.
void ToolkitFreeWindowControls(int window);
// Moves the keyboard focus to the next (or previous) enabled, visible tab-stop control of
// `window`, in creation order, wrapping at both ends.
void ToolkitTabNavigate(QWidget* window, bool forward);
// The widget of control `number`, or null when the number is free.
QWidget* ToolkitControlWidget(int number);
