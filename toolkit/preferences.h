// Preferences: small values the program keeps between its runs, in the user's configuration
// folder ($XDG_CONFIG_HOME/kadrovo/kadrovo.conf, else ~/.config/kadrovo/kadrovo.conf). The file
// is looked up anew on every call, so a changed environment takes effect at once.
#pragma once

// ---------------------------------------------------------------------------------------------
// Preferences
// ---------------------------------------------------------------------------------------------

// The whole number kept under `key` ("ansicht/drittel"), or `fallback` when none is kept or the
// kept text is no number.
[[nodiscard]] int PreferenceGet(const char* key, int fallback);
// Keeps `value` under `key`; false when the file cannot be written.
bool PreferenceSet(const char* key, int value);
