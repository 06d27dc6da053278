// The batch export: the window's bytes through the shared export, the naming and no-overwrite
// rules, a mixed batch, and the command line's choices.

#include "app/batch.h"
#include "app/export.h"
#include "app/refusal.h"
#include "imagelib/load.h"
#include "tests/app/main_window_fixture.h"

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

TEST_F(BatchTest, WritesTheBytesTheWindowWrites) {
    const std::tuple<int, int, int, int, ToneParams, bool> cases[] = {
        {900, 600, 1, 0, kToneDefaults, false},           // "10 x 15" across, full size
        {600, 900, 9, 7, {90, 230, 12, 150, 130}, true},  // "16:9" upright, avatar, cast
        {700, 700, 8, 2, {200, 255, 0, 40, 80}, true},    // square, e-mail
    };
    for (const auto& [width, height, format, preset, tone, cast] : cases) {
        SCOPED_TRACE(testing::Message() << width << "x" << height << " format " << format);
        const fs::path photo = dir / "photo.jpg", window = dir / "window.jpg";
        WritePhoto(photo, width, height);
        ControlSetValue(kFormatCombo, format);
        ASSERT_TRUE(LoadPicture(photo));
        for (int i = 0; i < kToneSettingCount; ++i)
            ControlSetValue(kToneBars[i].bar, tone.*(kToneSettings[i].field));
        ApplyAdjustments(ReadWindowSettings());
        if (cast) {
            ControlSetValue(kCastCheckBox, 1);
            DispatchControl(kCastCheckBox);
            ASSERT_NE(PreviewCast(), 0u);
        }
        ControlSetValue(kOutputCombo, preset);
        fs::remove(window);  // else the overwrite question comes first
        script.file = window.string();
        SelectionExport(false, ReadWindowSettings());

        BatchOptions o;
        o.format = format, o.preset = preset, o.tone = tone, o.removeCast = cast;
        o.placement = Placement::TopLeft;
        raster::Bitmap* picture = ImageLoadFile(150, photo.c_str()).bitmap;
        ASSERT_TRUE(picture);
        const ExportResult r = BatchExportPicture(*picture, o);
        ASSERT_TRUE(r.cut);
        ASSERT_TRUE(
            ExportWriteJpeg(*r.cut, (dir / "batch.jpg").c_str(), format, ImageGetExif(150)));
        EXPECT_TRUE(ReadFile(dir / "batch.jpg") == ReadFile(window));
    }
}

// A batch with a damaged file: reported as the window reports it, exit status 1; the others are
// written under their names and nothing else is left. Nothing is replaced without --overwrite.
TEST_F(BatchTest, MixedBatchNamesOverwriteAndExitStatus) {
    fs::create_directory(dir / "out");
    WritePhoto(dir / "urlaub.jpg", 640, 480);
    WritePhoto(dir / "strand.jpeg", 300, 500);
    std::ofstream(dir / "kaputt.jpg") << "\xFF\xD8\xFF this is no picture";
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.end(), {"--format", "10x15", "--size", "Foto bis 10cm x 15cm", "--out",
                                 In("out"), In("urlaub.jpg"), In("kaputt.jpg"), In("strand.jpeg")});
        const BatchCommand command = Parse(args);
        char* text = nullptr;
        size_t size = 0;
        std::FILE* messages = open_memstream(&text, &size);
        const int status = command.options ? RunBatch(*command.options, messages) : 2;
        std::fclose(messages);
        const std::pair result(status, std::string(text, size));
        free(text);
        return result;
    };
    const fs::path mine = dir / "out/urlaub_10x15.jpg";
    EXPECT_EQ(
        run({"--quiet"}),
        std::make_pair(
            1, "kadrovo: " + (dir / "kaputt.jpg").string() + ": " +
                   LoadRefusalText((dir / "kaputt.jpg").string(), LoadError::Damaged, " ") + "\n"));
    const std::string urlaub = ReadFile(mine);
    EXPECT_FALSE(urlaub.empty());
    EXPECT_TRUE(fs::exists(dir / "out/strand_10x15.jpg"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), {}), 2);  // no temporaries
    std::ofstream(mine) << "mine";
    auto [status, text] = run({});
    EXPECT_EQ(status, 1);
    EXPECT_NE(text.find("Die Datei urlaub_10x15.jpg existiert bereits!"), std::string::npos);
    EXPECT_EQ(ReadFile(mine), "mine");
    EXPECT_EQ(run({"--overwrite", "--quiet"}).first, 1);  // the damaged file still fails
    EXPECT_EQ(ReadFile(mine), urlaub);
}

// The command line's choices, seen in the output name and in the frame planned on a 1200 x 900
// picture with "10 x 15" (preview 480 x 357, the window's frame 480 x 320), and its usage errors.
TEST(BatchCommandLine, ChoicesFramesAndUsageErrors) {
    auto parse = [](std::vector<std::string> args) {
        args.insert(args.begin(), {"--out", "o"});
        args.push_back("a");
        return Parse(args);
    };
    const BatchCommand ok =
        parse({"--format=16:9", "--size", "avatar", "--gamma", "20", "--type", "png", "-"});
    ASSERT_TRUE(ok.options) << ok.error;
    EXPECT_EQ(std::make_pair(ok.options->preset, ok.options->tone.gamma), std::make_pair(7, 20));
    EXPECT_EQ(BatchOutputPath("/fotos/urlaub.JPG", *ok.options), "o/urlaub_16x9.png");
    const std::pair<std::vector<std::string>, PixelRect> frames[] = {
        {{"--position", "topleft"}, {0, 0, 1200, 800}},
        {{}, {0, 45, 1200, 800}},                         // centred by default
        {{"--position", "5000,30"}, {0, 30, 1200, 800}},  // kept inside the picture
        {{"--orientation", "portrait", "--position", "topleft"}, {0, 0, 595, 892}}};
    for (auto [args, cut] : frames) {
        args.insert(args.begin(), {"--format", "10x15"});
        const BatchCommand c = parse(args);
        ASSERT_TRUE(c.options) << c.error;
        EXPECT_EQ(BatchPlanFrame(1200, 900, *c.options).cut, cut) << args.size();
    }
    for (const auto& bad :
         std::vector<std::vector<std::string>>{{"--format", "11 x 17"},   // no such format
                                               {"--contrast", "49"},      // below the bar
                                               {"--position", "middle"},  // no such place
                                               {"--cast=1"}})             // a switch with a value
        EXPECT_FALSE(parse(bad).options) << bad[0];
    EXPECT_FALSE(Parse({"--out", "o"}).options || Parse({"a"}).options);  // no file, no folder
}

}  // namespace
