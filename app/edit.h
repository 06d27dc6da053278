// Edits in the main window: turn, mirror and straighten the picture, undo and redo every step,
// the keys and the preview's context menu that reach them. The document (g_app.document) keeps
// the history; this is where the window's settings, image 100 and the preview meet it.
#pragma once

#include <iterator>

#include "app/document.h"
#include "app/settings.h"

// Keyboard commands of the edits (event 273), above the frame's arrow-key steps.
constexpr int kCommandUndo = 101;
constexpr int kCommandRedo = 102;
constexpr int kCommandTurnRight = 103;
constexpr int kCommandTurnLeft = 104;
constexpr int kCommandMirror = 105;
constexpr int kCommandStraighten = 106;
// Ways of looking at the picture; they change neither the picture nor the settings.
constexpr int kCommandResultView = 121;
constexpr int kCommandBeforeAfter = 122;
constexpr int kCommandThirds = 123;
constexpr int kCommandFrameNumbers = 124;
constexpr int kCommandDoubleClick = 125;  // on the preview: the result view when inside the frame
// The output's choices (size budget, sharpening).
constexpr int kCommandOutput = 131;

// An entry of the preview's context menu: its text, the keys shown beside it, its command.
struct EditMenuEntry {
    const char* text;
    const char* keys;
    int command;
};
inline constexpr EditMenuEntry kPreviewMenu[] = {
    {"Rückgängig", "Ctrl+Z", kCommandUndo},
    {"Wiederholen", "Ctrl+Shift+Z", kCommandRedo},
    {"Rechts drehen", "Ctrl+R", kCommandTurnRight},
    {"Links drehen", "Ctrl+Shift+R", kCommandTurnLeft},
    {"Spiegeln", "Ctrl+M", kCommandMirror},
    {"Begradigen...", "Ctrl+B", kCommandStraighten},
    {"Ergebnis ansehen", "Ctrl+E", kCommandResultView},
    {"Vorher / Nachher", "\\", kCommandBeforeAfter},
    {"Drittel-Raster", "Ctrl+G", kCommandThirds},
    {"Rahmen eingeben...", "Ctrl+F", kCommandFrameNumbers},
    {"Ausgabe...", "Ctrl+,", kCommandOutput},
};
// Further keys of the same commands, not shown in the menu.
struct EditKey {
    const char* keys;
    int command;
};
inline constexpr EditKey kExtraEditKeys[] = {{"Ctrl+Y", kCommandRedo}};

// The straightening dialog's title, range and step.
inline constexpr const char* kStraightenTitle = "Begradigen";
inline constexpr double kStraightenStep = 0.1;

// ---------------------------------------------------------------------------------------------
// Window set-up
// ---------------------------------------------------------------------------------------------

// Gives window 0 the edit keys, the preview's context menu and double click, and the preview's
// tooltip naming them.
void AddEditCommands();

// ---------------------------------------------------------------------------------------------
// Commands
// ---------------------------------------------------------------------------------------------

// Runs edit command `command`; false for a number that is no edit command.
bool RunEditCommand(int command);
// Turns, mirrors or straightens the picture as `edit` says and records the step: the preview is
// made anew, the frame laid as for a new picture, the settings kept. Nothing without a picture;
// a message when the memory cannot be had (then nothing changed).
void EditPicture(const PictureEdit& edit);
// Asks for the straightening angle with a live preview and straightens by it on OK.
void StraightenRequested();
// Undoes (or redoes) one step and gives back the settings around it.
void UndoStep(bool redo);

// ---------------------------------------------------------------------------------------------
// History of the settings
// ---------------------------------------------------------------------------------------------

// The window's settings, cast and frame as they stand, the controls read as `controls`.
ViewState CurrentView(const WindowSettings& controls);
// A new picture: the history is cleared and the settings as they stand are its start.
void HistoryStart();
// After an action: a change of the settings since the last one becomes a step; `run` not 0 folds
// the changes of one run (a drag, keys held down) into one step.
void HistoryNoteSettings(int run);
// Ends the open run (the button was released, or the keys rested).
void HistoryEndRun();
// The export's commit: `before` is the view as the export began; called after its closing step.
void HistoryNoteCommit(const PictureEdit& commit, const ViewState& before);
