// The export: output sizes, the cut, the default name, and the whole flow driven through the
// requester test hook on a headless main window.
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/mainwindow.h"
#include "app/preview.h"
#include "app/shell.h"
#include "imagelib/clipboard.h"
#include "imagelib/image.h"
#include "imagelib/load.h"
#include "picture/appstate.h"
#include "picture/export.h"
#include "picture/pixels.h"
#include "platform/clipboard.h"
#include "platform/raster.h"
#include "toolkit/control.h"
#include "toolkit/requester.h"
#include "toolkit/window.h"

namespace {

// --- pure helpers --------------------------------------------------------------------------------

TEST(OutputSize, PresetsOnlyEverReduce) {
    struct Case {
        int preset, w, h;
        bool changes;
        int outW, outH;
    };
    const Case cases[] = {
        {1, 4000, 3000, true, 800, 600},   {1, 3000, 4000, true, 600, 800},
        {1, 500, 400, false, 0, 0},        {7, 250, 250, true, 100, 100},
        {7, 300, 200, true, 150, 100},     {7, 100, 100, false, 0, 0},
        {0, 4000, 3000, false, 0, 0},      {-1, 4000, 3000, false, 0, 0},
        {8, 4000, 3000, false, 0, 0},      {5, 4000, 2667, true, 2700, 1800},
        {2, 400, 301, true, 399, 300},     {6, 2000, 8000, false, 0, 0},
        {4, 1300, 1300, true, 1200, 1200}, {3, 700, 0, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "preset " << c.preset << " " << c.w << "x" << c.h);
        int w = 0, h = 0;
        ASSERT_EQ(OutputSizeFor(c.preset, c.w, c.h, w, h), c.changes);
        if (!c.changes) continue;
        EXPECT_EQ(w, c.outW);
        EXPECT_EQ(h, c.outH);
    }
    EXPECT_EQ(kOutputPresets[5].shorterSide, 1800);
    EXPECT_STREQ(kOutputPresets[5].item, "Foto bis 15cm x 20cm");
}

TEST(OutputSize, SelectionIsScaledAndRoundedSeparately) {
    const float f = 4000.0f / 480.0f;
    CutRect c = SelectionToPicture(Selection{160, 240, 0, 0}, f);
    EXPECT_EQ(c.x, 0);
    EXPECT_EQ(c.y, 0);
    EXPECT_EQ(c.width, 2000);
    EXPECT_EQ(c.height, 1333);
    // Halves go to the even neighbour.
    c = SelectionToPicture(Selection{3, 5, 1, 7}, 2.5f);
    EXPECT_EQ(c.x, 2);       // 2.5
    EXPECT_EQ(c.y, 18);      // 17.5
    EXPECT_EQ(c.width, 12);  // 12.5
    EXPECT_EQ(c.height, 8);  // 7.5
}

TEST(OutputSize, DefaultNameLosesEveryBmp) {
    const std::pair<const char*, const char*> cases[] = {
        {"D:\\Bilder\\Urlaub.BMP", "D:\\Bilder\\Urlaub"},
        {"/home/anna/urlaub.jpg", "/home/anna/urlaub.jpg"},
        {"/fotos.bmp/strand.Bmp", "/fotos/strand"},
        {"/a/b.bmpx.bMp", "/a/bx"},
        {"", ""},
        {".bm", ".bm"},
    };
    for (auto [in, out] : cases)
        EXPECT_EQ(ExportDefaultName(in), out) << in;
}

// --- the flow ------------------------------------------------------------------------------------

struct FileCall {
    std::string title, folder, name, pattern;
    int index;
};
struct MessageCall {
    std::string title, text;
    int flags;
};

// Answers the dialogs from queues and records what was asked.
struct Script : RequesterScript {
    std::deque<std::string> files;
    std::deque<int> answers;
    std::vector<FileCall> fileCalls;
    std::vector<MessageCall> messages;
    int Message(const std::string& title, const std::string& text, int flags) override {
        messages.push_back({title, text, flags});
        if (answers.empty()) return IDOK;
        int a = answers.front();
        answers.pop_front();
        return a;
    }
    std::string File(bool save, const std::string& title, const std::string& folder,
                     const std::string& name, const std::string& pattern, int index) override {
        EXPECT_TRUE(save);
        fileCalls.push_back({title, folder, name, pattern, index});
        if (files.empty()) return "";
        std::string f = files.front();
        files.pop_front();
        return f;
    }
};

using Bytes = std::vector<uint8_t>;

Bytes Pixels(int number) {
    const raster::Bitmap* bm = ImageGetBitmap(number);
    if (!bm) return {};
    return Bytes(bm->bits.get(), bm->bits.get() + bm->ByteSize());
}

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

class ExportFlow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(StartUpLibraries()); }

    void SetUp() override {
        WindowCloseAll();
        ImageReleaseAll();
        PixelsRelease();
        g_app.castColour = 0;
        ASSERT_TRUE(BuildMainWindow());
        SetStartingState();
        RequesterSetScript(&script);
        char templ[] = "/tmp/kadrovo-export-XXXXXX";
        ASSERT_TRUE(mkdtemp(templ));
        dir = templ;
        g_app.fileName = dir + "/Urlaub.BMP";
        // A 1200 x 800 picture: bands of colour and a bright corner for the cast.
        ASSERT_TRUE(ImageNew(100, 1200, 800));
        raster::Bitmap* bm = ImageGetBitmap(100);
        for (int x = 0; x < 1200; x += 100)
            raster::FillRect(*bm, x, 0, 100, 800, static_cast<uint32_t>(x / 5) | 0x406000);
        raster::FillRect(*bm, 0, 0, 300, 200, 0xE6F0FA);
        NewPictureSequence();
        ASSERT_TRUE(ImageExists(101));
        ASSERT_EQ(ImageGetWidth(101), 480);  // factor 2.5
        // A 3:2 frame, so that repaints, which fit the height to the ratio, keep it.
        g_app.ratio = 2.0f / 3.0f;
        g_app.selection = Selection{100, 150, 10, 20};
    }
    void TearDown() override {
        RequesterSetScript(nullptr);
        WindowCloseAll();
        ImageReleaseAll();
        PixelsRelease();
        std::system(("rm -rf '" + dir + "'").c_str());
    }

    // Moves the gamma bar off its default and adjusts the preview, as a user would.
    static void MoveGamma(int value) {
        ControlSetValue(7, value);
        ApplyAdjustments();
    }

    static int SizeOf(const std::string& path, int& w, int& h) {
        const int n = 103;
        if (!ImageLoadFile(n, path.c_str())) return 0;
        w = ImageGetWidth(n);
        h = ImageGetHeight(n);
        ImageRelease(n);
        return 1;
    }

    Script script;
    std::string dir;
};

TEST_F(ExportFlow, SavesTheAdjustedCutAndStartsOver) {
    MoveGamma(100);
    const Bytes before = Pixels(100);
    const std::string target = dir + "/out.jpg";
    script.files = {target};
    ControlSetValue(kControlOutputSize, 7);  // avatar: 100 high
    SelectionExport(0);

    ASSERT_EQ(script.fileCalls.size(), 1u);
    EXPECT_EQ(script.fileCalls[0].title, "Bild speichern...");
    EXPECT_EQ(script.fileCalls[0].folder, dir);
    EXPECT_EQ(script.fileCalls[0].name, "Urlaub");
    EXPECT_EQ(script.fileCalls[0].pattern, "JPG Bilder (*.jpg)|*.jpg|Alle Dateien (*.*)|*.*");
    EXPECT_EQ(script.fileCalls[0].index, 0);
    EXPECT_TRUE(script.messages.empty());

    // Cut 375 x 250 at (25, 50), reduced to 150 x 100.
    int w = 0, h = 0;
    ASSERT_TRUE(SizeOf(target, w, h));
    EXPECT_EQ(w, 150);
    EXPECT_EQ(h, 100);
    EXPECT_FALSE(ImageExists(102));
    // Committed: image 100 changed; controls back at their defaults; labels kept the values.
    EXPECT_NE(Pixels(100), before);
    EXPECT_EQ(ControlGetValue(7), 155);
    EXPECT_STREQ(ControlGetText(6), "Gamma: 155");
    EXPECT_EQ(ControlGetValue(18), 99);  // the progress bar followed 800 rows
    EXPECT_TRUE(PreviewCaptured());
}

TEST_F(ExportFlow, FullSizeCutAtTheFactor) {
    const std::string target = dir + "/full.jpg";
    script.files = {target};
    SelectionExport(0);
    int w = 0, h = 0;
    ASSERT_TRUE(SizeOf(target, w, h));
    EXPECT_EQ(w, 375);
    EXPECT_EQ(h, 250);
}

TEST_F(ExportFlow, CancelChangesNothing) {
    MoveGamma(60);
    ControlSetValue(20, 1);
    g_app.castColour = 0x0A05;
    const Bytes picture = Pixels(100), preview = Pixels(101);
    const Bytes source(g_app.pixels.source.get(), g_app.pixels.source.get() + g_app.pixels.size);
    SelectionExport(0);
    EXPECT_EQ(script.fileCalls.size(), 1u);
    EXPECT_EQ(Pixels(100), picture);
    EXPECT_EQ(Pixels(101), preview);
    ASSERT_TRUE(PreviewCaptured());
    EXPECT_EQ(Bytes(g_app.pixels.source.get(), g_app.pixels.source.get() + g_app.pixels.size),
              source);
    EXPECT_EQ(ControlGetValue(7), 60);
    EXPECT_EQ(ControlGetValue(20), 1);
    EXPECT_EQ(g_app.castColour, 0x0A05u);
    EXPECT_TRUE(script.messages.empty());
}

TEST_F(ExportFlow, OverwriteQuestion) {
    const std::string target = dir + "/taken.jpg";
    std::ofstream(target) << "an older picture";
    // No: the dialog opens again with the same proposal; then cancelled.
    script.files = {target, ""};
    script.answers = {IDNO};
    SelectionExport(0);
    ASSERT_EQ(script.fileCalls.size(), 2u);
    EXPECT_EQ(script.fileCalls[1].folder, script.fileCalls[0].folder);
    EXPECT_EQ(script.fileCalls[1].name, "Urlaub");
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0].title, "Kadrovo");
    EXPECT_EQ(script.messages[0].text,
              "Die Datei taken.jpg existiert bereits!\r\rSoll die Datei überschrieben werden?");
    EXPECT_EQ(script.messages[0].flags, 52);
    const Bytes old = ReadAll(target);
    EXPECT_EQ(std::string(old.begin(), old.end()), "an older picture");

    // Yes: replaced.
    script = Script{};
    script.files = {target};
    script.answers = {IDYES};
    SelectionExport(0);
    EXPECT_EQ(script.messages.size(), 1u);
    int w = 0, h = 0;
    EXPECT_TRUE(SizeOf(target, w, h));
}

TEST_F(ExportFlow, EmptyFileIsOverwrittenWithoutAQuestion) {
    const std::string target = dir + "/empty.jpg";
    std::ofstream{target};
    script.files = {target};
    SelectionExport(0);
    EXPECT_TRUE(script.messages.empty());
    int w = 0, h = 0;
    EXPECT_TRUE(SizeOf(target, w, h));
}

TEST_F(ExportFlow, FailedSaveIsReportedAndCanBeRepeated) {
    MoveGamma(90);
    const std::string nowhere = dir + "/missing-folder/bild.jpg";
    script.files = {nowhere};
    SelectionExport(0);
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0].title, "Kadrovo");
    EXPECT_EQ(script.messages[0].text,
              "Die Datei bild.jpg konnte nicht gespeichert werden!\r\rBitte einen anderen Ort "
              "wählen.");
    EXPECT_EQ(script.messages[0].flags, 48);
    // The adjustments are in image 100 and the preview agrees: the controls are at rest, so a
    // second attempt writes the same picture without adjusting it twice.
    EXPECT_EQ(ControlGetValue(7), 155);
    EXPECT_TRUE(PreviewCaptured());
    const std::string target = dir + "/bild.jpg";
    script = Script{};
    script.files = {target};
    SelectionExport(0);
    EXPECT_TRUE(script.messages.empty());
    int w = 0, h = 0;
    EXPECT_TRUE(SizeOf(target, w, h));
}

TEST_F(ExportFlow, ClipboardExportAsksNothing) {
    ControlSetValue(kControlOutputSize, 2);  // 300: the 375 x 250 cut keeps its size
    SelectionExport(1);
    EXPECT_TRUE(script.fileCalls.empty());
    EXPECT_TRUE(script.messages.empty());
    ASSERT_TRUE(ImageFromClipboard(104));
    EXPECT_EQ(ImageGetWidth(104), 375);
    EXPECT_EQ(ImageGetHeight(104), 250);
    EXPECT_FALSE(ImageExists(102));
}

TEST_F(ExportFlow, NoMemoryForThePictureTouchesNothing) {
    MoveGamma(70);
    ASSERT_TRUE(ClipboardSet({{"text/plain", {'x'}}}));
    const Bytes picture = Pixels(100), preview = Pixels(101);
    const Bytes source(g_app.pixels.source.get(), g_app.pixels.source.get() + g_app.pixels.size);
    PixelsFailAllocationForTest(1);
    SelectionExport(1);
    PixelsFailAllocationForTest(0);
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0].flags, 48);
    EXPECT_EQ(Pixels(100), picture);
    EXPECT_EQ(Pixels(101), preview);
    ASSERT_TRUE(PreviewCaptured());
    EXPECT_EQ(Bytes(g_app.pixels.source.get(), g_app.pixels.source.get() + g_app.pixels.size),
              source);
    EXPECT_EQ(ControlGetValue(7), 70);
    EXPECT_EQ(ClipboardGet("text/plain"), Bytes{'x'});
}

TEST_F(ExportFlow, WithoutAPictureOnlyTheLabelsChange) {
    ImageRelease(100);
    ControlSetValue(9, 200);
    SelectionExport(0);
    EXPECT_TRUE(script.fileCalls.empty());
    EXPECT_STREQ(ControlGetText(8), "Whitepoint: 200");
}

}  // namespace
