// The command line of the batch export: `kadrovo --batch [OPTION]... --out DIR FILE...`. Plain
// C++ without the GUI framework, so that a batch runs where no display is.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <cstddef>

#include "picture/sharpen.h"
#include "picture/tone.h"

enum class Orientation { Auto, Portrait, Landscape };
enum class OutputType { Jpeg, Png };
enum class Placement { TopLeft, Centre, At };

// Every choice of a batch, with the window's defaults (placement: centred).
struct BatchOptions {
    int format = 0;  // index into frame::kPrintFormats
    Orientation orientation = Orientation::Auto;
    int preset = 0;                   // index into kOutputPresets
    ToneParams tone = kToneDefaults;  // track bar positions (the options give label values)
    bool removeCast = false;
    OutputType type = OutputType::Jpeg;
    Placement placement = Placement::Centre;
    int left = 0, top = 0;  // picture pixels, for Placement::At
    std::string outDir;
    bool overwrite = false;
    bool allowIncomplete = false;  // export what a file that broke off held, grey rest and all
    bool quiet = false;
    size_t maxBytes = 0;  // JPEG files at most this long (0: no limit)
    Sharpening sharpen = Sharpening::Off;
    // Applied after the file's own orientation, before the frame: quarter turns clockwise, then
    // the mirror, then the straightening in degrees (as the window's edits in that order).
    int turns = 0;
    bool mirror = false;
    double straighten = 0;
    std::vector<std::string> files;  // "-": one name per line from standard input
};

// ---------------------------------------------------------------------------------------------
// Parsing
// ---------------------------------------------------------------------------------------------

// What the command line asks for: options to run with, or help, or an error message.
struct BatchCommand {
    std::optional<BatchOptions> options;
    bool help = false;
    std::string error;
};

// True when the arguments ask for a batch (one of them is --batch).
[[nodiscard]] bool IsBatchCommand(int argc, const char* const* argv);
// Reads argv[1..] ("--batch" among them). Options take their value as the next argument or
// after "="; every value is checked against the window's choices and ranges.
[[nodiscard]] BatchCommand ParseBatchCommand(int argc, const char* const* argv);
// The usage text of --batch --help.
std::string BatchUsage();
