// What the user is told about a picture file that was not loaded. The window's message box and
// the batch export's report on standard error say the same.
#pragma once

#include <string>
#include <string_view>

#include "imagelib/load.h"

// ---------------------------------------------------------------------------------------------
// Refusal
// ---------------------------------------------------------------------------------------------

// "Die Datei NAME konnte nicht geladen werden." (the name without its folder), then `gap`, then
// why: not a picture, damaged, too large (with the limits in force), a folder, or missing or
// unreadable.
// The message box puts a blank line between the two; a line of text puts a space.
std::string LoadRefusalText(const std::string& path, LoadError why, std::string_view gap = "\r\r");
// "Die Datei NAME ist unvollständig: nur der obere Teil (D von T Zeilen) konnte gelesen werden."
// for a picture whose file broke off after D of its T rows.
std::string LoadIncompleteText(const std::string& path, DecodedRows rows);
// Why `count` more files (named with the first on the command line, or dropped with another)
// were not opened, and where to turn for many pictures at once.
std::string NotOpenedText(int count);
