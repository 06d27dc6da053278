// A batch in which the decoding helper dies on one file: that file is reported as damaged, the
// batch carries on with the next and ends with status 1.
#include <cstdio>
#include <cstdlib>

#include "app/batch.h"
#include "app/refusal.h"
#include "imagelib/confined_decode.h"
#include "imagelib/load.h"
#include "tests/app/main_window_fixture.h"
#include "tests/imagelib/load_fixtures.h"

namespace {

namespace fs = std::filesystem;

using BatchConfined = MainWindowTest;

TEST_F(BatchConfined, AHelperThatDiesCostsOneFile) {
    fs::create_directory(dir / "out");
    for (const char* name : {"eins.heic", "zwei.heic"}) {
        const fixtures::Bytes heic = fixtures::MakeHeif({.width = 64, .height = 48});
        std::FILE* f = std::fopen((dir / name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(heic.data(), 1, heic.size(), f);
        std::fclose(f);
    }
    std::vector<std::string> args = {"kadrovo", "--batch",       "--quiet",      "--out",
                                     In("out"), In("eins.heic"), In("zwei.heic")};
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    const BatchCommand command = ParseBatchCommand(static_cast<int>(argv.size()), argv.data());
    ASSERT_TRUE(command.options);
    char* text = nullptr;
    size_t size = 0;
    std::FILE* messages = open_memstream(&text, &size);
    ConfinedFaultForTest(confined::Fault::Crash);
    const int status = RunBatch(*command.options, messages);
    std::fclose(messages);
    const std::string said(text, size);
    std::free(text);
    EXPECT_EQ(status, 1);
    // One file refused as damaged, in the window's words; the other written.
    int refused = 0;
    for (const char* name : {"eins.heic", "zwei.heic"}) {
        const std::string path = (dir / name).string();
        if (said.find(LoadRefusalText(path, LoadError::Damaged, " ")) != std::string::npos)
            ++refused;
    }
    EXPECT_EQ(refused, 1) << said;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), {}), 1);
}

}  // namespace
