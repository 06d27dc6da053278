// The program's place on the desktop: its name, version and icon as the desktop sees them.
#pragma once

#include <span>
#include <string>

// ---------------------------------------------------------------------------------------------
// Application identity
// ---------------------------------------------------------------------------------------------

// Names the running program for the desktop: `desktopId` is the name of its .desktop file
// without the extension (it ties the windows to the menu entry), `iconFiles` are PNG files or
// resources of the one icon in several sizes. Every window shows that icon.
// Nothing before ToolkitInit.
void ToolkitSetApplication(const char* name, const char* version, const char* desktopId,
                           std::span<const char* const> iconFiles);
