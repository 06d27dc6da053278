// Toolkit internals shared by the window, control and requester halves. Qt-only: included by the
// toolkit's own sources and its tests, never by a public header.
#pragma once

#include <cstdint>
#include <string>

class QFileDialog;
class QFont;
class QWidget;

// ---------------------------------------------------------------------------------------------
// Windows (window.cpp)
// ---------------------------------------------------------------------------------------------

// The top-level widget of window `number`, or null when the number is free.
QWidget* ToolkitWindowWidget(int number);
// Number of the toolkit window that `widget` belongs to (itself or an ancestor), or -1.
int ToolkitWindowNumberOf(const QWidget* widget);
// Queues a control event (13100) of control `source` in window `window` with `detail`.
void ToolkitPostControlEvent(int window, int source, int detail);
// The font every new control gets: the one chosen with ToolkitSetFont, else a narrow face at
// the size of a classic dialog font.
QFont ToolkitControlFont();

// ---------------------------------------------------------------------------------------------
// Controls (control.cpp)
// ---------------------------------------------------------------------------------------------

// Makes the control table; false when the memory cannot be had.
bool ToolkitControlsInit();
// Frees the records (and widgets) of every control in window `window`.
void ToolkitFreeWindowControls(int window);
// Moves the keyboard focus to the next (or previous) enabled, visible tab-stop control of
// `window`, in creation order, wrapping at both ends.
void ToolkitTabNavigate(QWidget* window, bool forward);
// The widget of control `number`, or null when the number is free.
QWidget* ToolkitControlWidget(int number);

// ---------------------------------------------------------------------------------------------
// Requesters (requester.cpp)
// ---------------------------------------------------------------------------------------------

// Sets up `dialog` as the open (or save) requester: the program's own non-native dialog, the
// filters of `pattern` with their display texts exactly as given, the pair `patternIndex` chosen,
// `folder` and `name` preselected, no overwrite question and no added extension.
void ToolkitConfigureFileDialog(QFileDialog& dialog, bool save, const std::string& title,
                                const std::string& folder, const std::string& name,
                                const std::string& pattern, int patternIndex);

// ---------------------------------------------------------------------------------------------
// Desktop (desktop.cpp)
// ---------------------------------------------------------------------------------------------

// Installs Qt's own German translations (dialogs, standard buttons, context menus, key names)
// into the running application; without them Qt's English texts stay.
void ToolkitLoadTranslations();
