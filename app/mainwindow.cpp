#include "app/mainwindow.h"

#include <iterator>
#include <string>

#include "app/edit.h"
#include "app/frame.h"
#include "app/output.h"
#include "app/view.h"
#include "picture/export.h"
#include "picture/tone.h"
#include "toolkit/control.h"
#include "toolkit/window.h"

namespace {

constexpr const char* kUiFontFamily = "DejaVu Sans Condensed";
constexpr int kUiFontPixels = 11;

void Tip(int number, const char* text) {
    ControlSetTip(number, text);
}

// Keys of the buttons, named in their tooltips.
struct ButtonKeys {
    int number;
    const char* keys;
};
constexpr ButtonKeys kButtonKeys[] = {{kLoadButton, "Ctrl+O"},
                                      {kSaveButton, "Ctrl+S"},
                                      {kClipboardSaveButton, "Ctrl+Shift+C"},
                                      {kClipboardLoadButton, "Ctrl+V"},
                                      {kQuitButton, "Ctrl+Q"}};

// Keyboard commands that move the frame; the command number is the row's index plus one.
struct FrameStep {
    const char* keys;
    int dx, dy;
};
constexpr FrameStep kFrameSteps[] = {
    {"Alt+Left", -1, 0},      {"Alt+Right", 1, 0},        {"Alt+Up", 0, -1},
    {"Alt+Down", 0, 1},       {"Alt+Shift+Left", -10, 0}, {"Alt+Shift+Right", 10, 0},
    {"Alt+Shift+Up", 0, -10}, {"Alt+Shift+Down", 0, 10},
};

void SetRange(int number, int minimum, int maximum, int value) {
    ControlSetAttribute(number, ATTR_MINIMUM, minimum);
    ControlSetAttribute(number, ATTR_MAXIMUM, maximum);
    ControlSetValue(number, value);
}

}  // namespace

bool BuildMainWindow() {
    // The requested position is ignored: the window is centred on the screen.
    // A narrow face at the size of the classic dialog font: every caption fits its control.
    ToolkitSetFont(kUiFontFamily, kUiFontPixels);
    const uint32_t flags =
        WINDOW_CAPTION | WINDOW_SYSMENU | WINDOW_MINIMIZEBOX | WINDOW_CENTRE_SCREEN;
    if (!WindowOpen(kMainWindow, 240, 115, kMainClientWidth, kMainClientHeight, "Kadrovo", flags))
        return false;
    if (!ControlListBegin(kMainWindow)) return false;

    ControlCreateFrame(kPreviewFrame, 10, 10, 490, 490, "");
    ControlCreateText(kFormatLabel, 510, 20, 180, 15, "Seitenverhältnis bzw. Zielformat:", 0);
    ControlCreateComboBox(kFormatCombo, 510, 35, 130, 120);
    Tip(kFormatCombo, "Zielformat auswählen");
    ControlCreateButton(kSaveButton, 110, 510, 90, 40, "Bild speichern...", 0);
    Tip(kSaveButton, "Speichern des aktuellen Bildausschnittes");
    ControlCreateButton(kQuitButton, 510, 510, 190, 40, "Programm beenden", 0);
    Tip(kQuitButton, "Jetzt sofort beenden");
    ControlCreateFrame(kAdjustFrame, 510, 120, 194, 333, "Bildbearbeitung");
    for (int i = 0; i < kToneSettingCount; ++i) {
        const std::string name = std::string(kToneSettings[i].name) + ":";
        ControlCreateText(kToneBars[i].label, 522, 137 + 50 * i, 170, 15, name.c_str(), 0);
        ControlCreateTrackBar(kToneBars[i].bar, 512, 152 + 50 * i, 190, 30, 0, 10);
    }
    ControlCreateButton(kLoadButton, 10, 510, 90, 40, "Bild laden...", 0);
    Tip(kLoadButton, "Neues Bild einladen");
    ControlCreateButton(kDefaultsButton, 540, 420, 136, 20, "Standardwerte", 0);
    Tip(kDefaultsButton, "Alle Einstellungen zurück auf Standard");
    ControlCreateProgressBar(kProgressBar, 510, 480, 190, 20, 0, 10, PROGRESS_SMOOTH);
    ControlCreateButton(kPortraitToggle, 650, 34, 50, 22, "portrait", BUTTON_TOGGLE);
    Tip(kPortraitToggle, "Auschnitt drehen");
    ControlCreateCheckBox(kCastCheckBox, 520, 387, 120, 15, "Farbstich entfernen");
    Tip(kCastCheckBox, "Ermittelt und entfernt den Farbstich aus dem gerade aktuellen Bereich");
    ControlCreateText(kCastSwatch, 670, 387, 15, 15, "", TEXT_SUNKEN);
    Tip(kCastSwatch, "Ermittelter Farbstich (übertrieben dargestellt)");
    ControlCreateButton(kClipboardLoadButton, 240, 510, 110, 40, "Bild aus dem Clipboard holen",
                        BUTTON_MULTILINE);
    Tip(kClipboardLoadButton, "Einladen des Bildes aus der Zwischenablage");
    ControlCreateButton(kClipboardSaveButton, 360, 510, 110, 40, "Bild in das Clipboard speichern",
                        BUTTON_MULTILINE);
    Tip(kClipboardSaveButton, "Speichern des aktuellen Bildausschnittes in die Zwischenablage");
    ControlCreateText(kOutputLabel, 510, 65, 190, 15, "Ausgabeoptimierung:", 0);
    ControlCreateComboBox(kOutputCombo, 510, 80, 190, 150);
    // Sizes up to 32767 x 32767 make a long line: its font narrows to keep it whole.
    ControlCreateText(kStatusLine, 510, 455, 190, 15, "Bild: 0 x 0 - Selektion: 0 x 0",
                      TEXT_CENTRED | TEXT_FIT);
    // A button that could not be made has no keys; nothing else is lost.
    for (const ButtonKeys& b : kButtonKeys)
        (void)ControlSetShortcut(b.number, b.keys);
    for (size_t i = 0; i < std::size(kFrameSteps); ++i)
        WindowAddAccelerator(kMainWindow, kFrameSteps[i].keys, static_cast<int>(i) + 1);
    AddEditCommands();
    return true;
}

std::optional<FrameNudge> FrameStepFor(int command) {
    if (command < 1 || command > static_cast<int>(std::size(kFrameSteps))) return std::nullopt;
    return FrameNudge{kFrameSteps[command - 1].dx, kFrameSteps[command - 1].dy};
}

void SetStartingState() {
    for (int i = 0; i < kToneSettingCount; ++i) {
        const ToneSetting& setting = kToneSettings[i];
        SetRange(kToneBars[i].bar, setting.minimum, setting.maximum, setting.standard);
    }
    WindowAcceptFiles(kMainWindow, true);
    SetRange(kProgressBar, 0, 100, 100);
    for (const frame::PrintFormat& format : frame::kPrintFormats)
        ControlAddItem(kFormatCombo, -1, format.item);
    ControlSetValue(kFormatCombo, 0);
    for (const OutputPreset& preset : kOutputPresets)
        ControlAddItem(kOutputCombo, -1, preset.item);
    ControlSetValue(kOutputCombo, 0);
    ControlHide(kCastSwatch, 1);
    LoadThirdsGrid();
    LoadOutputSettings();
    WindowSetTitle(kMainWindow, kMainTitle);
}
