// The system clipboard as typed data (MIME types). Needs a running GUI application; without
// one every read gives nothing and every write fails.
#pragma once

#include <map>
#include <string>
#include <vector>

using ClipboardData = std::vector<unsigned char>;

// MIME types currently offered on the clipboard.
std::vector<std::string> ClipboardFormats();
// The data offered as `mime`; empty when not offered.
ClipboardData ClipboardGet(const std::string& mime);
// Replaces the clipboard's contents with the given formats. False when it cannot be done.
bool ClipboardSet(const std::map<std::string, ClipboardData>& formats);
