// The output's choices: a size budget for the JPEG file and the sharpening after the reduction,
// chosen in the "Ausgabe" dialog, remembered between runs and named in the save button's tooltip.
#pragma once

#include <cstddef>
#include <string>

#include "app/settings.h"

// ---------------------------------------------------------------------------------------------
// Texts
// ---------------------------------------------------------------------------------------------

// A size budget as the dialog shows it: "unbegrenzt" for 0, whole kilo- and megabytes of 1000
// and 1000000 bytes as "200 KB" and "1 MB", else megabytes with a decimal comma ("1,5 MB"),
// kilobytes ("12,5 KB") or bytes ("999 Bytes").
std::string OutputSizeText(size_t bytes);
// A typed budget: a number (decimal comma or point) and an optional unit KB, MB or Bytes (K, M,
// B; any letter case), 1000-based; at least 1 byte, at most a terabyte, whole bytes. "unbegrenzt"
// is 0. False for anything else.
[[nodiscard]] bool ParseOutputSize(const std::string& text, size_t& bytes);
// What a write that cannot fit `bytes` says, even at the smallest size.
std::string BudgetRefusalText(size_t bytes);
