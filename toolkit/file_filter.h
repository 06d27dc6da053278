// File-dialog helpers without the GUI framework: the translation of a "display|wildcards|..."
// pattern into the dialog's filter list and the split of a default file into folder and name.
#pragma once

#include <string>
#include <vector>

// ---------------------------------------------------------------------------------------------
// Filters
// ---------------------------------------------------------------------------------------------

// One wildcard made to match in any letter case ("*.jpg" -> "*.[jJ][pP][gG]"); "*.*" matches
// every name. Characters the dialog cannot take in a pattern become "?".
std::string WildcardAnyCase(const std::string& wildcard);
// The dialog's filters, one per pair: the display text exactly as given, then the wildcards in
// parentheses. A display text without wildcards gets "*". Empty for an empty or null pattern.
std::vector<std::string> DialogFilters(const char* pattern);

// ---------------------------------------------------------------------------------------------
// Default file
// ---------------------------------------------------------------------------------------------

// A proposed file: the folder a dialog starts in and the name it proposes, each empty for none.
struct DefaultFile {
    std::string folder;
    std::string name;
};
// Splits `defaultFile` at its last "/" into folder and name ("/x" gives folder "/"); without a
// "/" all of it is the name. A name that fails FileNameValid is dropped.
[[nodiscard]] DefaultFile SplitDefaultFile(const char* defaultFile);
