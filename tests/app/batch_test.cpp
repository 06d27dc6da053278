// The batch export: the window's bytes through the shared export, the names, folder, skips and
// count of a run, a decoding helper that dies, the exact frames, and the command line's choices.

#include "app/batch.h"
#include "app/edit.h"
#include "app/export.h"
#include "app/refusal.h"
#include "imagelib/confined_decode.h"
#include "imagelib/load.h"
#include "tests/app/main_window_fixture.h"
#include "tests/imagelib/load_fixtures.h"

namespace {

namespace fs = std::filesystem;

using BatchTest = MainWindowTest;

// The batch command line `kadrovo --batch ARGS...`.
BatchCommand Parse(const std::vector<std::string>& args) {
    std::vector<const char*> argv = {"kadrovo", "--batch"};
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    return ParseBatchCommand(static_cast<int>(argv.size()), argv.data());
}

// Runs the batch with `args`: its exit status and what it wrote to its messages.
std::pair<int, std::string> RunArgs(const std::vector<std::string>& args) {
    const BatchCommand command = Parse(args);
    char* text = nullptr;
    size_t size = 0;
    std::FILE* messages = open_memstream(&text, &size);
    const int status = command.options ? RunBatch(*command.options, messages) : 2;
    std::fclose(messages);
    std::pair result(status, std::string(text, size));
    free(text);
    return result;
}

// For every format, output size, tone and cast, and after Ctrl+R (twice for 180, Ctrl+Shift+R
// for 270), Ctrl+M and "Begradigen..." in that order, the batch writes the window's bytes.
TEST_F(BatchTest, WritesTheBytesTheWindowWrites) {
    const struct {
        int width, height, format, preset;
        ToneParams tone;
        bool cast;
        int turns = 0;
        bool mirror = false;
        double angle = 0;
    } cases[] = {
        {900, 600, 1, 0, kToneDefaults, false},           // "10 x 15" across, full size
        {600, 900, 9, 7, {90, 230, 12, 150, 130}, true},  // "16:9" upright, avatar, cast
        {700, 700, 8, 2, {200, 255, 0, 40, 80}, true},    // square, e-mail
        {640, 400, 0, 0, kToneDefaults, false, 1},
        {640, 400, 0, 0, kToneDefaults, false, 3, true, -3.5},
        {640, 400, 0, 0, kToneDefaults, false, 2, false, 2.0},
    };
    int run = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " format " << c.format
                                        << " turns " << c.turns << " angle " << c.angle);
        const fs::path photo = dir / "photo.jpg", window = dir / "window.jpg";
        WritePhoto(photo, c.width, c.height);
        ControlSetValue(kFormatCombo, c.format);
        ASSERT_TRUE(LoadPicture(photo));
        for (int i = 0; i < (c.turns == 3 ? 1 : c.turns); ++i)
            RunEditCommand(c.turns == 3 ? kCommandTurnLeft : kCommandTurnRight);
        if (c.mirror) RunEditCommand(kCommandMirror);
        script.number = c.angle;
        if (c.angle != 0) RunEditCommand(kCommandStraighten);
        for (int i = 0; i < kToneSettingCount; ++i)
            ControlSetValue(kToneBars[i].bar, c.tone.*(kToneSettings[i].field));
        ApplyAdjustments(ReadWindowSettings());
        if (c.cast) Use(kCastCheckBox, 1);
        ASSERT_EQ(g_app.castColour != 0, c.cast);
        ControlSetValue(kOutputCombo, c.preset);
        fs::remove(window);  // else the overwrite question comes first
        script.file = window.string();
        SelectionExport(false, ReadWindowSettings());

        BatchOptions o;
        o.format = c.format, o.preset = c.preset, o.tone = c.tone, o.removeCast = c.cast;
        o.turns = c.turns, o.mirror = c.mirror, o.straighten = c.angle;
        o.placement = Placement::TopLeft;
        o.outDir = (dir / ("out" + std::to_string(++run))).string();
        o.files = {photo.string()};
        std::FILE* messages = std::tmpfile();
        EXPECT_EQ(RunBatch(o, messages), 0);
        std::fclose(messages);
        ASSERT_EQ(std::distance(fs::directory_iterator(o.outDir), {}), 1);
        EXPECT_TRUE(ReadFile(fs::directory_iterator(o.outDir)->path()) == ReadFile(window));
    }
}

TEST_F(BatchTest, NamesFolderSkipsAndCounts) {
    for (const char* sub : {"a", "b"})
        fs::create_directory(dir / sub);
    WritePhoto(dir / "a/foto.jpg", 640, 480);
    WritePhoto(dir / "b/foto.jpg", 300, 500);
    WritePicture(In("a/foto.png"), 200, 200, 0x336699, IMAGE_FORMAT_BMP);  // the probe decides
    std::ofstream(dir / "kaputt.jpg") << "\xFF\xD8\xFF this is no picture";
    const std::string out = In("neu/abzuege");
    auto run = [&](std::vector<std::string> files, std::vector<std::string> args = {}) {
        args.insert(args.end(), {"--format", "10x15", "--size", "Foto bis 10cm x 15cm", "--quiet",
                                 "--out", out});
        for (const std::string& f : files)
            args.push_back(In(f));
        return RunArgs(args);
    };
    EXPECT_EQ(run({"a/foto.jpg", "b/foto.jpg", "a/foto.png", "kaputt.jpg"}),
              std::make_pair(1, "kadrovo: " + In("kaputt.jpg") + ": " +
                                    LoadRefusalText(In("kaputt.jpg"), LoadError::Damaged, " ") +
                                    "\n3 geschrieben, 0 übersprungen, 1 fehlgeschlagen\n"));
    // Each input its own file, in the order given.
    for (auto [name, size] : {std::pair{"foto_10x15.jpg", "640x427"},
                              {"foto_10x15-2.jpg", "300x450"},
                              {"foto_10x15-3.jpg", "133x200"}})
        EXPECT_EQ(PictureSize(out + "/" + name), size) << name;
    EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 3);  // no temporaries

    // Again: all there, so all skipped, and without the damaged file that is a success.
    const fs::path first = fs::path(out) / "foto_10x15.jpg";
    std::ofstream(first) << "mine";
    EXPECT_EQ(run({"a/foto.jpg", "b/foto.jpg", "a/foto.png"}),
              std::make_pair(0, std::string("0 geschrieben, 3 übersprungen, 0 fehlgeschlagen\n")));
    EXPECT_EQ(ReadFile(first), "mine");
    const auto replaced = run({"a/foto.jpg"}, {"--overwrite"});
    EXPECT_EQ(replaced.second, "1 geschrieben, 0 übersprungen, 0 fehlgeschlagen\n");
    EXPECT_NE(ReadFile(first), "mine");
    // Without --quiet each skip is named.
    EXPECT_EQ(RunArgs({"--format", "10x15", "--out", out, In("a/foto.jpg")}),
              std::make_pair(0, "kadrovo: " + In("a/foto.jpg") + ": " + first.string() +
                                    " existiert bereits, übersprungen\n0 geschrieben, "
                                    "1 übersprungen, 0 fehlgeschlagen\n"));
}

// A JPEG cut off inside its picture: refused with the window's words, nothing written, unless
// --allow-incomplete takes what was read.
TEST_F(BatchTest, IncompleteFileFailsUnlessAllowed) {
    WritePhoto(dir / "ganz.jpg", 900, 600);
    const std::string whole = ReadFile(dir / "ganz.jpg");
    std::ofstream(dir / "halb.jpg", std::ios::binary) << whole.substr(0, whole.size() * 3 / 5);
    const LoadResult cut = ImageLoadFile(152, In("halb.jpg").c_str());
    ASSERT_TRUE(cut && cut.Incomplete());
    const std::vector<std::string> args = {"--quiet", "--out", In("out"), In("halb.jpg")};
    EXPECT_EQ(RunArgs(args),
              std::make_pair(1, "kadrovo: " + In("halb.jpg") + ": " +
                                    LoadIncompleteText(In("halb.jpg"), cut.rows) +
                                    "\n0 geschrieben, 0 übersprungen, 1 fehlgeschlagen\n"));
    EXPECT_TRUE(fs::is_empty(dir / "out"));
    std::vector<std::string> allowed = args;
    allowed.insert(allowed.begin(), "--allow-incomplete");
    EXPECT_EQ(RunArgs(allowed).first, 0);
    EXPECT_TRUE(fs::exists(dir / "out/halb_9x13.jpg"));
}

// --max-bytes: the file fits and its line says how it was lowered; a budget no picture fits is
// refused with nothing written; without a budget the file is the window's. --sharpen changes the
// pixels of the written file.
TEST_F(BatchTest, SizeBudgetAndSharpening) {
    WritePhoto(dir / "foto.jpg", 1200, 800);
    auto run = [&](const std::string& sub, std::vector<std::string> args) {
        args.insert(args.end(), {"--format", "10x15", "--out", In(sub), In("foto.jpg")});
        auto result = RunArgs(args);
        const fs::path file = dir / sub / "foto_10x15.jpg";
        return std::make_tuple(result.first, result.second,
                               fs::exists(file) ? fs::file_size(file) : 0);
    };
    const auto [plainStatus, plainText, plainSize] = run("plain", {});
    ASSERT_EQ(plainStatus, 0);
    // The budget as typed and in bytes, the status and what the progress line or the failure says.
    const std::tuple<std::string, size_t, int, std::string> cases[] = {
        {std::to_string(plainSize), plainSize, 0, ""},  // fits at 100: the same file, no note
        {std::to_string(plainSize / 3), plainSize / 3, 0, " (Qualität "},
        {"20k", 20000, 0, " Pixel)"},  // below what quality 50 needs at full size
        {"300", 300, 1, " passt nicht in 300 Bytes"},
    };
    for (const auto& [budget, bytes, wanted, says] : cases) {
        SCOPED_TRACE(budget);
        const auto [status, text, size] = run("b" + budget, {"--max-bytes", budget});
        EXPECT_EQ(status, wanted) << text;
        EXPECT_NE(text.find(says), std::string::npos) << text;
        if (says.empty()) {
            EXPECT_EQ(text.find('('), std::string::npos) << text;
        }
        if (status == 0) {
            EXPECT_LE(size, bytes);
            EXPECT_GT(size, bytes / 3);  // not needlessly small
        } else {
            EXPECT_EQ(size, 0u);
        }
    }
    EXPECT_EQ(ReadFile(dir / "plain/foto_10x15.jpg"),
              ReadFile(dir / ("b" + std::to_string(plainSize)) / "foto_10x15.jpg"));
    run("sharp", {"--sharpen", "print"});
    EXPECT_NE(ReadFile(dir / "plain/foto_10x15.jpg"), ReadFile(dir / "sharp/foto_10x15.jpg"));
    // The batch's files are not the user's picks: the recently-used list stays untouched.
    EXPECT_FALSE(fs::exists(dir / "daten/recently-used.xbel"));
}

// A batch in which the decoding helper dies on one file: that file is reported as damaged, in
// the window's words, the batch carries on with the next and ends with status 1.
TEST_F(BatchTest, AHelperThatDiesCostsOneFile) {
    std::vector<std::string> files;
    for (const char* name : {"eins.heic", "zwei.heic"})
        files.push_back(fixtures::WriteTemp(name, fixtures::MakeHeif({.width = 64, .height = 48})));
    ConfinedFaultForTest(confined::Fault::Crash);
    const auto [status, said] = RunArgs({"--quiet", "--out", In("out"), files[0], files[1]});
    EXPECT_EQ(status, 1);
    int refused = 0;
    for (const std::string& path : files)
        refused += said.find(LoadRefusalText(path, LoadError::Damaged, " ")) != std::string::npos;
    EXPECT_EQ(refused, 1) << said;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), {}), 1);
}

// A worker decodes each picture into the memory of the one before when the sizes match; nothing
// of the earlier picture shows through, also not under the grey rest of a file cut short.
TEST_F(BatchTest, NextPictureReusesTheLastOnesMemory) {
    WritePhoto(dir / "a.jpg", 900, 600);
    WritePicture(In("b.jpg"), 900, 600, 0x204060, JPEG_ENCODER_ID);
    const std::string b = ReadFile(dir / "b.jpg");
    std::ofstream(dir / "b-cut.jpg", std::ios::binary) << b.substr(0, b.size() / 2);
    auto decode = [](const std::string& path, std::unique_ptr<raster::Bitmap> spare = nullptr) {
        LoadOutcome outcome;
        return ImageDecodeBitmap(ImageFindDecoder(path.c_str()), outcome, nullptr, nullptr,
                                 std::move(spare));
    };
    for (const char* name : {"b.jpg", "b-cut.jpg"}) {
        std::unique_ptr<raster::Bitmap> a = decode(In("a.jpg"));
        ASSERT_TRUE(a);
        const uint8_t* memory = a->bits.get();
        const std::unique_ptr<raster::Bitmap> reused = decode(In(name), std::move(a)),
                                              fresh = decode(In(name));
        ASSERT_TRUE(reused && fresh);
        EXPECT_EQ(reused->bits.get(), memory) << name;
        EXPECT_EQ(DifferingPixels(*reused, *fresh), 0) << name;
    }
}

// The largest frame of the format, in picture pixels, exactly: centred (the default), at the top
// left, at a given point (kept inside), and turned by --orientation.
TEST(BatchFrames, ExactlyTheLargestFrameWhereAsked) {
    const std::tuple<int, int, std::vector<std::string>, PixelRect> cases[] = {
        {1600, 1000, {"--format", "10x15", "--position", "topleft"}, {0, 0, 1500, 1000}},
        {1600, 1000, {"--format", "10x15"}, {50, 0, 1500, 1000}},
        {1280, 720, {"--format", "16:9"}, {0, 0, 1280, 720}},
        {1200, 900, {"--format", "10x15"}, {0, 50, 1200, 800}},
        {1200, 900, {"--format", "10x15", "--position", "5000,30"}, {0, 30, 1200, 800}},
        {1200, 900, {"--format", "10x15", "--orientation", "portrait"}, {300, 0, 600, 900}},
        {2000, 3000, {"--format", "9x13"}, {0, 55, 2000, 2889}},
        {3000, 2000, {"--format", "quadratisch", "--position", "topleft"}, {0, 0, 2000, 2000}},
        {1000, 1000, {"--format", "16:9"}, {219, 0, 562, 1000}},  // a square counts as upright
        {4000, 3000, {"--format", "ebay"}, {0, 0, 4000, 3000}},
        {7, 5, {"--format", "40x60", "--position", "1,1"}, {0, 0, 7, 5}},
    };
    for (auto [width, height, args, cut] : cases) {
        args.insert(args.end(), {"--out", "o", "a"});
        const BatchCommand c = Parse(args);
        ASSERT_TRUE(c.options) << c.error;
        EXPECT_EQ(BatchPlanFrame(width, height, *c.options).cut, cut)
            << width << "x" << height << " " << args[1] << " " << args.size();
    }
}

// The command line's choices and names, the tone options on the scale of the value labels, and
// the usage errors.
TEST(BatchCommandLine, ChoicesNamesAndUsageErrors) {
    auto parse = [](std::vector<std::string> args) {
        args.insert(args.begin(), {"--out", "o"});
        args.push_back("a");
        return Parse(args);
    };
    const BatchCommand ok =
        parse({"--format=16:9", "--size", "avatar", "--gamma", "20", "--type", "png", "-"});
    ASSERT_TRUE(ok.options) << ok.error;
    // Gamma 20 on the label is the bar at 235.
    EXPECT_EQ(std::make_pair(ok.options->preset, ok.options->tone.gamma), std::make_pair(7, 235));
    EXPECT_EQ(BatchOutputPaths({"/fotos/urlaub.JPG", "urlaub", "x/urlaub.png", "strand.jpg"},
                               *ok.options),
              (std::vector<std::string>{"o/urlaub_16x9.png", "o/urlaub_16x9-2.png",
                                        "o/urlaub_16x9-3.png", "o/strand_16x9.png"}));
    // Each setting at the number its label shows by default is the default.
    const BatchCommand labels = parse({"--gamma", "100", "--whitepoint", "255", "--blackpoint", "0",
                                       "--saturation", "100", "--contrast", "100"});
    ASSERT_TRUE(labels.options) << labels.error;
    EXPECT_EQ(labels.options->tone, kToneDefaults);
    EXPECT_EQ(parse({"--gamma=0"}).options->tone.gamma, 255);
    // No such format, contrast below the bar, gamma past the label's end, no such place, a switch
    // with a value, no quarter turn, an angle past the range or between two steps, budgets that
    // are none or too large, no such sharpening; and a budget for a PNG.
    for (const char* bad : {"--format=11 x 17", "--contrast=49",
                            "--gamma=236",      "--position=middle",
                            "--cast=1",         "--rotate=45",
                            "--rotate=0",       "--rotate=360",
                            "--mirror=1",       "--straighten=15.1",
                            "--straighten=-16", "--straighten=0.05",
                            "--straighten=nan", "--straighten=2x",
                            "--max-bytes=0",    "--max-bytes=-5",
                            "--max-bytes=1.5M", "--max-bytes=2G",
                            "--max-bytes=k",    "--max-bytes=99999999999999M",
                            "--sharpen=strong"})
        EXPECT_FALSE(parse({bad}).options) << bad;
    EXPECT_FALSE(parse({"--max-bytes=100k", "--type=png"}).options);
    const BatchCommand turned = parse({"--rotate", "270", "--mirror", "--straighten=-15.0"});
    ASSERT_TRUE(turned.options) << turned.error;
    EXPECT_EQ(turned.options->turns, 3);
    EXPECT_TRUE(turned.options->mirror);
    EXPECT_EQ(turned.options->straighten, -15.0);
    const struct {
        std::vector<std::string> args;
        size_t maxBytes;
        Sharpening sharpen;
    } budgets[] = {{{"--max-bytes=2M"}, 2000000, Sharpening::Off},
                   {{"--max-bytes", "500k", "--sharpen", "Screen"}, 500000, Sharpening::Screen},
                   {{"--max-bytes", "1234", "--sharpen=print"}, 1234, Sharpening::Print},
                   {{"--max-bytes=7K"}, 7000, Sharpening::Off}};
    for (const auto& b : budgets) {
        const BatchCommand c = parse(b.args);
        ASSERT_TRUE(c.options) << c.error;
        EXPECT_EQ(std::make_pair(c.options->maxBytes, c.options->sharpen),
                  std::make_pair(b.maxBytes, b.sharpen));
    }
    EXPECT_FALSE(Parse({"--out", "o"}).options || Parse({"a"}).options);  // no file, no folder
}

}  // namespace
