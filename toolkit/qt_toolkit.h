// Toolkit internals that have no room of their own: the control font, the file dialog set-up and
// the translations. Qt-only: included by the toolkit's own sources and its tests, never by a
// public header.
#pragma once

#include <cstdint>
#include <string>

class QFileDialog;
class QFont;

// ---------------------------------------------------------------------------------------------
// Font (startup.cpp)
// ---------------------------------------------------------------------------------------------

// The font every new control gets: the one chosen with ToolkitSetFont, else a narrow face at
// the size of a classic dialog font.
QFont ToolkitControlFont();

// ---------------------------------------------------------------------------------------------
// Requesters (requester.cpp)
// ---------------------------------------------------------------------------------------------

// Sets up `dialog` as the open (or save) requester: the desktop's own dialog where the platform
// offers one, else Qt's; the filters of `pattern` with their display texts exactly as given (a
// GTK dialog shows the text before the first parenthesis), the pair `patternIndex` chosen,
// `folder` and `name` preselected, no overwrite question from the dialog itself and no added
// extension.
void ToolkitConfigureFileDialog(QFileDialog& dialog, bool save, const std::string& title,
                                const std::string& folder, const std::string& name,
                                const std::string& pattern, int patternIndex);

// ---------------------------------------------------------------------------------------------
// Desktop (desktop.cpp)
// ---------------------------------------------------------------------------------------------

// Installs Qt's own German translations (dialogs, standard buttons, context menus, key names)
// into the running application; without them Qt's English texts stay.
void ToolkitLoadTranslations();
