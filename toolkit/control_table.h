// The control table behind the Control operations of control.h, as the rest of the toolkit
// sees it: the numbered records, their widgets, and the events the widgets raise. Qt-only:
// included by the toolkit's own sources and its tests, never by a public header.
#pragma once

#include <cstdint>

class QWidget;
struct ControlRecord;

// ---------------------------------------------------------------------------------------------
// Control table
// ---------------------------------------------------------------------------------------------

// Makes the control table; false when the memory cannot be had.
[[nodiscard]] bool ToolkitControlsInit();
// Frees the records (and widgets) of every control in window `window`.
void ToolkitFreeWindowControls(int window);
// The record of control `number`, or null when the number is free.
ControlRecord* ToolkitFindControl(int number);
// The widget of a record.
QWidget* ToolkitWidgetOf(const ControlRecord* record);
// The window widget that controls created now go into (ControlListBegin); null when none.
QWidget* ToolkitControlParent();
// The creation steps common to every kind: font, geometry, then the number, which is replaced
// only now that the widget exists. Takes ownership of `w`; its handle, or 0 (then `w` is gone).
uintptr_t ToolkitRegisterControl(int number, QWidget* w, int kind, int x, int y, int width,
                                 int height);
// Raises a control event for widget `w` with `detail`, unless it is hidden or no control.
void ToolkitRaiseControlEvent(QWidget* w, int detail);

// ---------------------------------------------------------------------------------------------
// Tab navigation (tab_navigation.cpp)
// ---------------------------------------------------------------------------------------------

// Moves the keyboard focus to the next (or previous) enabled, visible tab-stop control of
// `window`: rows from top to bottom (tops within a few pixels share a row), each from left to
// right, wrapping at both ends.
void ToolkitTabNavigate(QWidget* window, bool forward);
