// The program's place on the desktop: its command line, its name, version and icon as the
// desktop sees them, and an orderly end that lets a clipboard manager keep what was copied.
#pragma once

#include <span>
#include <string>

// ---------------------------------------------------------------------------------------------
// Command line
// ---------------------------------------------------------------------------------------------

// What the command line asks for.
struct CommandLine {
    bool run = true;   // false: end at once with exitCode (help, version or a usage error)
    int exitCode = 0;  // 0 after help or version, 2 after a usage error
    std::string file;  // picture to open at start, as an absolute path; empty for none
};

// Reads argv[1..] without opening a display. "-h"/"--help" prints the German usage text and
// "-v"/"--version" the program's name and version on standard output; an unknown option prints
// the usage on standard error (exit code 2). Of several pictures named, the last one counts, as
// with several files dropped at once.
CommandLine ParseCommandLine(int argc, const char* const* argv, const char* program,
                             const char* version);
// The usage text that --help prints.
std::string CommandLineUsage(const char* program);

// ---------------------------------------------------------------------------------------------
// Application identity
// ---------------------------------------------------------------------------------------------

// Names the running program for the desktop: `desktopId` is the name of its .desktop file
// without the extension (it ties the windows to the menu entry), `iconFiles` are PNG files or
// resources of the one icon in several sizes. Every window shows that icon.
// Nothing before ToolkitInit.
void ToolkitSetApplication(const char* name, const char* version, const char* desktopId,
                           std::span<const char* const> iconFiles);
