// The window program's command line: its options, its German usage text and the picture to open
// at start. Read without opening a display; a batch command never comes here (see batch.h).
#pragma once

#include <string>

// ---------------------------------------------------------------------------------------------
// Command line
// ---------------------------------------------------------------------------------------------

// What the command line asks for.
struct CommandLine {
    bool run = true;    // false: end at once with exitCode (help, version or a usage error)
    int exitCode = 0;   // 0 after help or version, 2 after a usage error
    std::string file;   // picture to open at start, as an absolute path; empty for none
    int notOpened = 0;  // pictures named after it, which the window does not open
};

// Reads argv[1..]. "-h"/"--help" (also "-help") prints the usage text and "-v"/"--version" the
// program's name and version on standard output; an unknown option, or a value given to one,
// prints what is wrong and the usage on standard error (exit code 2). "--" ends the options.
// Of several pictures named (as a file manager passes a selection), the first one is opened and
// the others are counted.
[[nodiscard]] CommandLine ParseCommandLine(int argc, const char* const* argv, const char* program,
                                           const char* version);
// The usage text that --help prints.
[[nodiscard]] std::string CommandLineUsage(const char* program);
// A picture named on the command line as the loader takes it: a local file URL (as file managers
// may pass one) becomes its path, a relative path is made absolute and every path is cleaned of
// "." and "..", so that the name means the same file later. "" for a URL of another host.
[[nodiscard]] std::string CommandLinePath(const std::string& argument);
