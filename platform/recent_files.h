// The desktop's list of recently used files (the freedesktop recently-used.xbel in the user's
// data folder), so that file choosers list what the program wrote under "Recent".
#pragma once

#include <string>

// ---------------------------------------------------------------------------------------------
// Recent files
// ---------------------------------------------------------------------------------------------

// Adds (or refreshes) `path` with its media type and this program as the application that
// registered it. The list is read, changed and written back whole (atomically); a list that
// exists but cannot be read is left as it is rather than replaced. False when nothing was
// recorded.
bool AddRecentFile(const std::string& path, const char* mimeType);
// The list's file: recently-used.xbel in $XDG_DATA_HOME, or in ~/.local/share without it.
std::string RecentFilesPath();
