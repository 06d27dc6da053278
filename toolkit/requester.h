// Requesters: modal message box and file dialogs, and the file-name helpers that go with them.
// Every requester returns only when the user has closed it; meanwhile the program's other
// windows take no input. A requester shows the ordinary pointer even inside a busy stretch.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace raster {
struct Bitmap;
}

// Message box flags (combinable) and results.
constexpr int MB_OK = 0x0;
constexpr int MB_YESNO = 0x4;
constexpr int MB_ICONEXCLAMATION = 0x30;
constexpr int MB_DEFBUTTON2 = 0x100;  // the second button is the default: Return answers it
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// ---------------------------------------------------------------------------------------------
// Requesters
// ---------------------------------------------------------------------------------------------

// Shows a message box; a carriage return in the text breaks the line. Returns 1 (OK), 6 (Yes),
// 7 (No), or 0 when it cannot be shown.
int ShowMessage(const char* title, const char* text, int flags);
// Open and save dialogs. `pattern` is "display|wildcards|display|wildcards..." (wildcards joined
// by ";", matched without regard to letter case); `patternIndex` picks the pair shown first.
// `defaultFile` is split at the last "/" into folder and name. Returns the chosen path, or the
// empty string when cancelled.
std::string AskOpenFile(const char* title, const char* defaultFile, const char* pattern,
                        int patternIndex);
std::string AskSaveFile(const char* title, const char* defaultFile, const char* pattern,
                        int patternIndex);
// Asks for a number from `minimum` to `maximum` in steps of `step` (shown with one decimal) under
// `label`, starting at `value`; buttons "OK" and "Abbrechen". Typing that is no number in the
// range is refused by the field itself. `changed`, when set, is told every value the field takes
// while the dialog is open. True with `value` set on OK; false, `value` unchanged, otherwise.
bool AskNumber(const char* title, const char* label, double minimum, double maximum, double step,
               double& value, const std::function<void(double)>& changed = {});
// A form of one-line text fields, each under its label, with further buttons and "OK" /
// "Abbrechen". The program judges what is typed: the form only shows texts.
struct FieldForm {
    std::string note;                  // a line above the fields
    std::vector<std::string> labels;   // one field each, in tab order; the first has the focus
    std::vector<std::string> buttons;  // further buttons, above OK and Abbrechen
    // The user changed field `field`; may change `values` (another field following it).
    std::function<void(int field, std::vector<std::string>& values)> edited;
    // Button `button` was pressed; may change `values`; a text returned is shown as the reason
    // why it could not do all it was asked.
    std::function<std::string(int button, std::vector<std::string>& values)> pressed;
    // Return or OK: the empty text accepts `values`; any other text is shown in the form as the
    // reason why it stays open, with the values as the check may have changed them.
    std::function<std::string(std::vector<std::string>& values)> check;
};
// Shows `picture` in a modal window titled `title`, one picture pixel per device pixel, with the
// line `caption` under it; returns when the user closes it (Escape or the window's close button).
void ShowPicture(const char* title, const raster::Bitmap& picture, const char* caption);
// Shows `form` with `values` (one per label) in its fields until it is accepted (true, `values`
// as accepted) or cancelled (false, `values` unchanged).
bool AskFields(const char* title, const FieldForm& form, std::vector<std::string>& values);

// One field of AskChoices: a label beside a list of `items`. An editable list also takes a typed
// value, when `accepts` takes it (OK is greyed while the text is one it refuses).
struct ChoiceField {
    std::string label;
    std::vector<std::string> items;
    std::string value;  // shown first; on OK, the item chosen or the text typed
    bool editable = false;
    std::function<bool(const std::string&)> accepts;
};
// Asks for one value per field in a dialog titled `title` with "OK" and "Abbrechen". True with
// every field's `value` set on OK; false, the values unchanged, otherwise.
bool AskChoices(const char* title, std::vector<ChoiceField>& fields);

// ---------------------------------------------------------------------------------------------
// File-name helpers
// ---------------------------------------------------------------------------------------------

// False for a missing or empty text or one with a control character or any of " * / : < > ? \ |.
[[nodiscard]] bool FileNameValid(const char* text);
// The file-name part of a path: after the last "/" or "\", before a double quote.
std::string PathFilePart(const char* path);
// Size in bytes; -1 for an empty path or nothing there; -2 for a folder.
[[nodiscard]] int64_t FileSize(const char* path);

// ---------------------------------------------------------------------------------------------
// Test hook
// ---------------------------------------------------------------------------------------------

// Answers requesters without showing them, so that headless tests can drive the application.
// File() receives the default file already split into folder and name (a name failing
// FileNameValid already dropped) and returns what the dialog would: a path or "" for cancel.
struct RequesterScript {
    virtual ~RequesterScript() = default;
    virtual int Message(const std::string& title, const std::string& text, int flags) = 0;
    virtual std::string File(bool save, const std::string& title, const std::string& folder,
                             const std::string& name, const std::string& pattern,
                             int patternIndex) = 0;
    // AskNumber: true (OK) with `value` set, false (cancel). Unless overridden, cancels.
    virtual bool Number(const std::string& title, double minimum, double maximum, double& value,
                        const std::function<void(double)>& changed) {
        (void)title, (void)minimum, (void)maximum, (void)value, (void)changed;
        return false;
    }
    // ShowPicture: looks at the picture instead of showing it; returns as the closed window does.
    virtual void Picture(const std::string& title, const raster::Bitmap& picture,
                         const std::string& caption) {
        (void)title, (void)picture, (void)caption;
    }
    // AskFields: plays the user on `form` (through its callbacks) and answers true (OK) with
    // `values`, which the form's check must then accept, or false (cancel). Unless overridden,
    // cancels.
    virtual bool Fields(const std::string& title, const FieldForm& form,
                        std::vector<std::string>& values) {
        (void)title, (void)form, (void)values;
        return false;
    }
    // AskChoices: true (OK) with the values set, false (cancel). Unless overridden, cancels.
    virtual bool Choices(const std::string& title, std::vector<ChoiceField>& fields) {
        (void)title, (void)fields;
        return false;
    }
};

// Installs `script` (not owned); null restores the real dialogs. The tests' way of answering the
// modal dialogs, which would otherwise wait for a user.
void RequesterSetScript(RequesterScript* script);
