// Input translation: the keys and mouse actions that reach the toolkit's windows and their
// controls become events (key down 256, mouse moved 512, buttons 513...), in the codes and
// parameters of the classic window messages; Tab and Shift+Tab go to the focus cycle before any
// control sees them. Qt-only: included by the toolkit's own sources.
#pragma once

// ---------------------------------------------------------------------------------------------
// Input translation
// ---------------------------------------------------------------------------------------------

// Starts translating the running application's input (replaces a translation already running).
void InputTranslationStart();
// Stops it; nothing when none runs.
void InputTranslationStop();
