#include "app/commandline.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

// Every option the program knows, in the order the usage text lists them. A new option is one
// more row here and a look at it in ParseCommandLine.
struct OptionRow {
    const char* shortName;  // null for a long name alone
    const char* longName;
    const char* description;
};
constexpr OptionRow kHelp{"h", "help", "Zeigt diese Hilfe und endet."};
constexpr OptionRow kVersion{"v", "version", "Zeigt Programmname und Version und endet."};
// A batch never reaches this parser (main hands it to the batch export first); its row only
// points to the batch's own help.
constexpr OptionRow kBatch{nullptr, "batch",
                           "Exportiert viele Bilder ohne Fenster; mehr mit --batch --help."};
constexpr const OptionRow* kOptions[] = {&kHelp, &kVersion, &kBatch};

constexpr const char* kFileArgument = "DATEI";
constexpr const char* kFileDescription =
    "Bild (BMP, Icon, JPEG, PNG, HEIC/HEIF, AVIF oder WebP), das beim Start geladen wird; von "
    "mehreren nur das erste.";

std::string OptionNames(const OptionRow& option) {
    return (option.shortName ? std::string("-") + option.shortName + ", " : std::string(4, ' ')) +
           "--" + option.longName;
}

const OptionRow* FindOption(const std::string& name) {
    for (const OptionRow* option : kOptions)
        if (name == option->longName || (option->shortName && name == option->shortName))
            return option;
    return nullptr;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "%20" and the like decoded; a "%" without two hex digits stays as it is.
std::string PercentDecoded(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
            HexDigit(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The path of a "file:" URL: "file:///p", "file://localhost/p" and "file:/p" give "/p"; another
// host gives "".
std::string UrlPath(const std::string& url) {
    std::string rest = url.substr(5);
    if (rest.rfind("//", 0) == 0) {
        const size_t slash = rest.find('/', 2);
        const std::string host = rest.substr(2, slash == std::string::npos ? slash : slash - 2);
        if (!host.empty() && host != "localhost") return {};
        rest = slash == std::string::npos ? std::string() : rest.substr(slash);
    }
    return PercentDecoded(rest);
}

}  // namespace

std::string CommandLinePath(const std::string& argument) {
    const std::string path = argument.rfind("file:", 0) == 0 ? UrlPath(argument) : argument;
    if (path.empty()) return {};
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) return {};
    absolute = absolute.lexically_normal();
    std::string out = absolute.string();
    // A trailing "/." cleans to a trailing slash, which names the folder itself.
    if (out.size() > 1 && out.back() == '/' && path.back() != '/') out.pop_back();
    return out;
}

std::string CommandLineUsage(const char* program) {
    size_t column = std::string(kFileArgument).size();
    for (const OptionRow* option : kOptions)
        column = std::max(column, OptionNames(*option).size());
    auto row = [column](const std::string& names, const char* description) {
        return "  " + names + std::string(column - names.size() + 2, ' ') + description + "\n";
    };
    std::string text = std::string("Aufruf: ") + program + " [OPTION] [" + kFileArgument +
                       "]\nBereitet ein Foto zum Drucken, für Auktionen und für E-Mails vor.\n"
                       "\nOptionen:\n";
    for (const OptionRow* option : kOptions)
        text += row(OptionNames(*option), option->description);
    text += "\nArgumente:\n" + row(kFileArgument, kFileDescription);
    return text;
}

CommandLine ParseCommandLine(int argc, const char* const* argv, const char* program,
                             const char* version) {
    std::vector<std::string> files;
    std::string firstError;  // what is wrong with the first faulty option
    bool help = false;
    bool showVersion = false;
    bool onlyFiles = false;
    for (int i = 1; i < argc && argv; ++i) {
        const std::string arg = argv[i];
        if (onlyFiles || arg == "-" || arg.empty() || arg[0] != '-') {
            files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyFiles = true;
            continue;
        }
        // "--name", "-name" and "-n" all name an option; "=value" is refused, none takes one.
        const std::string body = arg.substr(arg.rfind("--", 0) == 0 ? 2 : 1);
        const size_t equals = body.find('=');
        const std::string name = body.substr(0, equals);
        const OptionRow* option = FindOption(name);
        if (option == nullptr) {
            if (firstError.empty())
                firstError =
                    std::string("unbekannte Option: ") + (name.size() == 1 ? "-" : "--") + name;
            continue;
        }
        if (equals != std::string::npos) {
            if (firstError.empty())
                firstError = std::string("unerwarteter Wert nach ") + arg.substr(0, arg.find('='));
            continue;
        }
        help = help || option == &kHelp;
        showVersion = showVersion || option == &kVersion;
    }

    CommandLine result;
    if (!firstError.empty()) {
        std::fprintf(stderr, "%s: %s\n", program, firstError.c_str());
        std::fputs(CommandLineUsage(program).c_str(), stderr);
        result.run = false;
        result.exitCode = 2;
        return result;
    }
    if (help) {
        std::fputs(CommandLineUsage(program).c_str(), stdout);
        result.run = false;
        return result;
    }
    if (showVersion) {
        std::printf("%s %s\n", program, version);
        result.run = false;
        return result;
    }
    if (!files.empty()) {
        result.file = CommandLinePath(files.front());
        result.notOpened = static_cast<int>(files.size()) - 1;
    }
    return result;
}
