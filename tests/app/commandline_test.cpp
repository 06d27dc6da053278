// The window program's command line: options, usage errors and the picture named, as exit codes,
// output streams and paths.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/commandline.h"

namespace {

struct Parsed {
    CommandLine line;
    std::string out, err;
};

Parsed Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "kadrovo");
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    Parsed p;
    p.line = ParseCommandLine(static_cast<int>(args.size()), args.data(), "kadrovo", "1.2.3");
    p.out = ::testing::internal::GetCapturedStdout();
    p.err = ::testing::internal::GetCapturedStderr();
    return p;
}

// What each call does: its exit code, the first line it says (help and version on standard
// output, usage errors on standard error; the program runs only when it says nothing), the file
// it opens and how many it does not.
TEST(CommandLine, OptionsAndUsageErrors) {
    const std::string cwd = std::filesystem::current_path().string();
    struct Case {
        std::vector<const char*> args;
        int exitCode;
        std::string said;
        std::string file = {};
        int notOpened = 0;
    };
    const Case cases[] = {
        {{}, 0, ""},
        {{"--help"}, 0, "Aufruf: kadrovo [OPTION] [DATEI]"},
        {{"-h", "a.jpg"}, 0, "Aufruf: kadrovo [OPTION] [DATEI]"},
        {{"-help"}, 0, "Aufruf: kadrovo [OPTION] [DATEI]"},
        {{"--version"}, 0, "kadrovo 1.2.3"},
        {{"-v"}, 0, "kadrovo 1.2.3"},
        // A usage error wins over help; the first faulty option is named.
        {{"--unbekannt", "--help", "-x"}, 2, "kadrovo: unbekannte Option: --unbekannt"},
        {{"-x"}, 2, "kadrovo: unbekannte Option: -x"},
        {{"-hx"}, 2, "kadrovo: unbekannte Option: --hx"},
        {{"--help=1"}, 2, "kadrovo: unerwarteter Wert nach --help"},
        // The first picture is opened, the others counted; "-" and everything after "--" are
        // names.
        {{"/a.jpg", "/b.jpg", "/c.jpg"}, 0, "", "/a.jpg", 2},
        {{"--", "--help"}, 0, "", cwd + "/--help"},
        {{"-", "/a.jpg"}, 0, "", cwd + "/-", 1},
    };
    for (const Case& c : cases) {
        const Parsed p = Parse(c.args);
        const std::string name = c.args.empty() ? "(none)" : c.args.front();
        const std::string& said = c.exitCode == 2 ? p.err : p.out;
        EXPECT_EQ(p.line.run, c.said.empty()) << name;
        EXPECT_EQ(p.line.exitCode, c.exitCode) << name;
        EXPECT_EQ(p.line.file, c.file) << name;
        EXPECT_EQ(p.line.notOpened, c.notOpened) << name;
        EXPECT_EQ(said.substr(0, said.find('\n')), c.said) << name;
        EXPECT_EQ((c.exitCode == 2 ? p.out : p.err), "") << name;
        // A usage error is followed by the whole usage text.
        if (c.exitCode == 2) {
            EXPECT_NE(p.err.find(CommandLineUsage("kadrovo")), std::string::npos);
        }
    }
}

// The usage text names every option with its short form, the way to the batch's own help and
// the kinds of picture a file may be.
TEST(CommandLine, UsageText) {
    const std::string usage = CommandLineUsage("kadrovo");
    for (const char* part : {"\n  -h, --help  ", "\n  -v, --version  ", "\n      --batch  ",
                             "--batch --help", "(BMP, Icon, JPEG, PNG, HEIC/HEIF, AVIF oder WebP)"})
        EXPECT_NE(usage.find(part), std::string::npos) << part;
}

// Names as a file manager or a shell passes them, as the loader gets them.
TEST(CommandLine, PicturePaths) {
    const std::string cwd = std::filesystem::current_path().string();
    const std::string parent = std::filesystem::current_path().parent_path().string();
    const std::pair<std::string, std::string> cases[] = {
        {"/tmp/a.jpg", "/tmp/a.jpg"},
        {"a.jpg", cwd + "/a.jpg"},
        {"./x/../a.jpg", cwd + "/a.jpg"},
        {"../a.jpg", parent + "/a.jpg"},
        {"/tmp//b/./a.jpg", "/tmp/b/a.jpg"},
        {"/tmp/b/..", "/tmp"},
        {"/tmp/b/", "/tmp/b/"},
        {"file:///tmp/Urlaub%20am%20See.jpg", "/tmp/Urlaub am See.jpg"},
        {"file://localhost/tmp/a%2.jpg", "/tmp/a%2.jpg"},
        {"file:/tmp/%C3%A4.jpg", "/tmp/\xC3\xA4.jpg"},
        {"file://anderer-rechner/tmp/a.jpg", ""},
        {"", ""},
    };
    for (const auto& [argument, path] : cases)
        EXPECT_EQ(CommandLinePath(argument), path) << argument;
}

}  // namespace
