// The output's choices: a size budget for the JPEG file and the sharpening after the reduction,
// chosen in the "Ausgabe" dialog, remembered between runs and named in the save button's tooltip.
#pragma once

#include <cstddef>
#include <string>

#include "app/settings.h"

// The dialog's title and lists, and the preferences that keep its choices.
inline constexpr const char* kOutputTitle = "Ausgabe";
inline constexpr const char* kOutputSizeLabel = "Dateigrösse höchstens";
inline constexpr const char* kOutputSharpenLabel = "Nachschärfen";
inline constexpr size_t kOutputSizeItems[] = {0,       200000,  500000,  1000000,
                                              2000000, 5000000, 10000000};
inline constexpr const char* kSharpenItems[] = {"aus", "Bildschirm", "Druck"};  // Sharpening order
inline constexpr const char* kOutputSizePreference = "ausgabe/hoechstens";
inline constexpr const char* kOutputSharpenPreference = "ausgabe/nachschaerfen";
// A typed budget goes no higher (the preferences keep whole numbers of this range).
inline constexpr size_t kOutputMostBytes = 2000000000;

// ---------------------------------------------------------------------------------------------
// Texts
// ---------------------------------------------------------------------------------------------

// A size budget as the dialog shows it: "unbegrenzt" for 0, whole kilo- and megabytes of 1000
// and 1000000 bytes as "200 KB" and "1 MB", else megabytes with a decimal comma ("1,5 MB"),
// kilobytes ("12,5 KB") or bytes ("999 Bytes").
std::string OutputSizeText(size_t bytes);
// A typed budget: a number (decimal comma or point) and an optional unit KB, MB or Bytes (K, M,
// B; any letter case), 1000-based; at least 1 byte, at most kOutputMostBytes, whole bytes.
// "unbegrenzt" is 0. False for anything else.
[[nodiscard]] bool ParseOutputSize(const std::string& text, size_t& bytes);
// What a write that cannot fit `bytes` says, even at the smallest size.
std::string BudgetRefusalText(size_t bytes);
// The tooltip of "Bild speichern...": its own text, and the output's choices when they are not
// the defaults.
std::string SaveButtonTip(const OutputSettings& output);

// ---------------------------------------------------------------------------------------------
// Choosing and keeping
// ---------------------------------------------------------------------------------------------

// Takes the output's choices from the preferences into g_app.output (the defaults for what is
// not kept or out of range) and names them in the save button's tooltip.
void LoadOutputSettings();
// The "Ausgabe" dialog: on OK its choices become g_app.output, are kept in the preferences and
// named in the tooltip; cancelled, nothing changes.
void OutputRequested();
