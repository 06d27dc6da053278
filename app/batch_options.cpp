#include "app/batch_options.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <iterator>

#include "app/frame.h"
#include "picture/export.h"
#include "picture/straighten.h"

namespace {

// The option of each tone setting, in the order of kToneSettings.
constexpr const char* kToneOptions[] = {"gamma", "whitepoint", "blackpoint", "saturation",
                                        "contrast"};
static_assert(std::size(kToneOptions) == kToneSettingCount);

// Letter case and spaces do not matter when a choice is named: "10 x 15", "10x15", "EBAY".
std::string Folded(const std::string& text) {
    std::string out;
    for (unsigned char c : text)
        if (c != ' ') out += static_cast<char>(std::tolower(c));
    return out;
}

template <class Table>
int IndexOf(const Table& table, const std::string& value) {
    const std::string wanted = Folded(value);
    for (size_t i = 0; i < std::size(table); ++i)
        if (Folded(table[i].item) == wanted || Folded(table[i].shortName) == wanted)
            return static_cast<int>(i);
    return -1;
}

// The numbers a tone option takes are those the setting's value label shows in the window
// ("Gamma: 100" at the default), not its track bar's positions.
int ShownLow(const ToneSetting& s) {
    return std::min(ToneShownValue(s, s.minimum), ToneShownValue(s, s.maximum));
}
int ShownHigh(const ToneSetting& s) {
    return std::max(ToneShownValue(s, s.minimum), ToneShownValue(s, s.maximum));
}

// A whole decimal number within [low, high].
bool Number(const std::string& text, int low, int high, int& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < low || v > high) return false;
    out = static_cast<int>(v);
    return true;
}

// A straightening angle: a decimal number of degrees within the window's range, in its steps of
// a tenth.
bool Angle(const std::string& text, double& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    const double tenths = v * 10.0;
    if (*end != '\0' || !std::isfinite(v) || std::abs(v) > kStraightenMaxDegrees ||
        std::abs(tenths - std::nearbyint(tenths)) > 1e-6)
        return false;
    out = std::nearbyint(tenths) / 10.0;
    return true;
}

// A byte count with an optional k or M (1000 and 1000000, as upload limits are stated): at
// least 1, at most a terabyte.
bool ByteCount(const std::string& text, size_t& out) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    unsigned long long unit = 1;
    const std::string suffix = end;
    if (suffix == "k" || suffix == "K") {
        unit = 1000;
    } else if (suffix == "M") {
        unit = 1000000;
    } else if (!suffix.empty()) {
        return false;
    }
    constexpr unsigned long long kMost = 1000000000000ULL;
    if (v == 0 || v > kMost / unit) return false;
    out = static_cast<size_t>(v * unit);
    return true;
}

bool Position(const std::string& text, BatchOptions& o) {
    const std::string v = Folded(text);
    if (v == "topleft") {
        o.placement = Placement::TopLeft;
        return true;
    }
    if (v == "center" || v == "centre") {
        o.placement = Placement::Centre;
        return true;
    }
    const size_t comma = v.find(',');
    if (comma == std::string::npos) return false;
    o.placement = Placement::At;
    return Number(v.substr(0, comma), 0, 1 << 30, o.left) &&
           Number(v.substr(comma + 1), 0, 1 << 30, o.top);
}

}  // namespace

bool IsBatchCommand(int argc, const char* const* argv) {
    for (int i = 1; i < argc && argv; ++i)
        if (std::string(argv[i]) == "--batch") return true;
    return false;
}

BatchCommand ParseBatchCommand(int argc, const char* const* argv) {
    BatchCommand command;
    BatchOptions o;
    auto fail = [&command](const std::string& message) {
        command.error = message;
        return command;
    };
    bool onlyFiles = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (onlyFiles || arg == "-" || arg.rfind("--", 0) != 0) {
            o.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyFiles = true;
            continue;
        }
        std::string value;
        bool hasValue = false;
        const size_t equals = arg.find('=');
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
            arg.resize(equals);
            hasValue = true;
        }
        const std::string name = arg.substr(2);
        // Switches.
        if (name == "batch" || name == "cast" || name == "overwrite" || name == "quiet" ||
            name == "help" || name == "allow-incomplete" || name == "mirror") {
            if (hasValue) return fail("--" + name + " nimmt keinen Wert");
            if (name == "cast") o.removeCast = true;
            if (name == "overwrite") o.overwrite = true;
            if (name == "allow-incomplete") o.allowIncomplete = true;
            if (name == "quiet") o.quiet = true;
            if (name == "mirror") o.mirror = true;
            if (name == "help") command.help = true;
            continue;
        }
        int toneIndex = -1;
        for (int t = 0; t < kToneSettingCount; ++t)
            if (name == kToneOptions[t]) toneIndex = t;
        if (toneIndex < 0 && name != "format" && name != "size" && name != "orientation" &&
            name != "type" && name != "position" && name != "out" && name != "rotate" &&
            name != "straighten" && name != "max-bytes" && name != "sharpen")
            return fail("unbekannte Option: --" + name);
        if (!hasValue) {
            if (i + 1 >= argc) return fail("--" + name + " braucht einen Wert");
            value = argv[++i];
        }
        const std::string bad = "ungültiger Wert für --" + name + ": " + value;
        if (name == "format") {
            if ((o.format = IndexOf(frame::kPrintFormats, value)) < 0) return fail(bad);
        } else if (name == "size") {
            if ((o.preset = IndexOf(kOutputPresets, value)) < 0) return fail(bad);
        } else if (name == "orientation") {
            const std::string v = Folded(value);
            if (v == "auto") {
                o.orientation = Orientation::Auto;
            } else if (v == "portrait") {
                o.orientation = Orientation::Portrait;
            } else if (v == "landscape") {
                o.orientation = Orientation::Landscape;
            } else {
                return fail(bad);
            }
        } else if (name == "type") {
            const std::string v = Folded(value);
            if (v == "jpeg" || v == "jpg") {
                o.type = OutputType::Jpeg;
            } else if (v == "png") {
                o.type = OutputType::Png;
            } else {
                return fail(bad);
            }
        } else if (name == "position") {
            if (!Position(value, o)) return fail(bad);
        } else if (name == "rotate") {
            int degrees = 0;
            if (!Number(value, 90, 270, degrees) || degrees % 90 != 0) return fail(bad);
            o.turns = degrees / 90;
        } else if (name == "straighten") {
            if (!Angle(value, o.straighten)) return fail(bad);
        } else if (name == "max-bytes") {
            if (!ByteCount(value, o.maxBytes)) return fail(bad);
        } else if (name == "sharpen") {
            const std::string v = Folded(value);
            if (v == "screen") {
                o.sharpen = Sharpening::Screen;
            } else if (v == "print") {
                o.sharpen = Sharpening::Print;
            } else if (v == "off") {
                o.sharpen = Sharpening::Off;
            } else {
                return fail(bad);
            }
        } else if (name == "out") {
            if (value.empty()) return fail(bad);
            o.outDir = value;
        } else {
            const ToneSetting& s = kToneSettings[toneIndex];
            int shown = 0;
            if (!Number(value, ShownLow(s), ShownHigh(s), shown)) return fail(bad);
            // The value label's number back to its bar's position; the mapping is its own
            // inverse.
            o.tone.*(s.field) = ToneShownValue(s, shown);
        }
    }
    if (command.help) return command;
    if (o.outDir.empty()) return fail("--out DIR fehlt");
    if (o.maxBytes > 0 && o.type != OutputType::Jpeg) return fail("--max-bytes gilt nur für JPEG");
    if (o.files.empty()) return fail("keine Datei genannt");
    command.options = std::move(o);
    return command;
}

std::string BatchUsage() {
    std::string formats, sizes, tone;
    for (const frame::PrintFormat& f : frame::kPrintFormats)
        formats +=
            std::string(formats.empty() ? "" : ", ") + "\"" + f.item + "\" (" + f.shortName + ")";
    for (const OutputPreset& p : kOutputPresets)
        sizes +=
            std::string(sizes.empty() ? "" : ", ") + "\"" + p.item + "\" (" + p.shortName + ")";
    for (int t = 0; t < kToneSettingCount; ++t) {
        const ToneSetting& s = kToneSettings[t];
        const std::string option = "--" + std::string(kToneOptions[t]) + " N";
        tone += "  " + option + std::string(18 - option.size(), ' ') + s.name + " " +
                std::to_string(ShownLow(s)) + ".." + std::to_string(ShownHigh(s)) + " (Standard " +
                std::to_string(ToneShownValue(s, s.standard)) + ")\n";
    }
    return "Aufruf: kadrovo --batch [OPTION]... --out ORDNER DATEI...\n"
           "Exportiert viele Bilder wie der Knopf \"Bild speichern...\": Ausschnitt im Format,\n"
           "Bildbearbeitung, Ausgabegrösse. Aus urlaub.jpg wird ORDNER/urlaub_10x15.jpg, aus\n"
           "einer zweiten Datei urlaub.* desselben Aufrufs ORDNER/urlaub_10x15-2.jpg.\n"
           "DATEI \"-\" liest je eine Datei pro Zeile von der Standardeingabe. Gelesen werden\n"
           "BMP, Icon, JPEG, PNG, HEIC/HEIF, AVIF und WebP. Die Regler nehmen die Zahlen, die\n"
           "das Fenster neben ihnen zeigt.\n\n"
           "  --format F        Zielformat: " +
           formats +
           "\n"
           "  --orientation O   auto (wie das Bild), portrait oder landscape\n"
           "  --size S          Ausgabegrösse: " +
           sizes + "\n" + tone +
           "  --cast            Farbstich im Ausschnitt ermitteln und entfernen\n"
           "  --type T          jpeg (Standard) oder png\n"
           "  --position P      center (Standard), topleft oder LINKS,OBEN in Bildpunkten\n"
           "  --rotate G        Bild vor dem Ausschnitt um 90, 180 oder 270 Grad im\n"
           "                    Uhrzeigersinn drehen\n"
           "  --mirror          Bild danach von links nach rechts spiegeln\n"
           "  --straighten G    Bild danach um -15.0 bis 15.0 Grad begradigen (positiv im\n"
           "                    Uhrzeigersinn, Schritte von 0.1)\n"
           "  --max-bytes N     JPEG-Dateien höchstens N Bytes gross (k = 1000, M = 1000000):\n"
           "                    die höchste Qualität von 100 bis 50, die passt, sonst kleiner\n"
           "  --sharpen S       nach dem Verkleinern nachschärfen: screen (Bildschirm) oder\n"
           "                    print (Druck)\n"
           "  --out ORDNER      Zielordner, wird wenn nötig angelegt\n"
           "  --overwrite       vorhandene Dateien ersetzen (sonst übersprungen)\n"
           "  --allow-incomplete  auch unvollständige Dateien exportieren (der fehlende Teil\n"
           "                    ist grau); sonst scheitern sie\n"
           "  --quiet           keinen Fortschritt und keine übersprungenen Dateien zeigen\n\n"
           "Zum Schluss steht die Zählung: \"3 geschrieben, 1 übersprungen, 0 fehlgeschlagen\".\n"
           "Ende mit 0, wenn kein Bild scheiterte, 1, wenn eines scheiterte, 2 bei falschem "
           "Aufruf.\n";
}
