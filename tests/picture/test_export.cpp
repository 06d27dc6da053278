// The export: output sizes, the cut, the default name, and the whole flow driven through the
// requester test hook on a headless main window.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/preview.h"
#include "imagelib/clipboard.h"
#include "imagelib/image.h"
#include "imagelib/load.h"
#include "picture/appstate.h"
#include "picture/export.h"
#include "picture/pixels.h"
#include "platform/clipboard.h"
#include "platform/raster.h"
#include "tests/app/main_window_fixture.h"
#include "toolkit/control.h"

namespace {

// --- pure helpers --------------------------------------------------------------------------------

TEST(OutputSize, PresetsOnlyEverReduce) {
    auto size = [](int preset, int w, int h) {
        int nw = 0, nh = 0;
        return OutputSizeFor(preset, w, h, nw, nh) ? std::to_string(nw) + "x" + std::to_string(nh)
                                                   : std::string("kept");
    };
    EXPECT_EQ(size(1, 3000, 4000), "600x800");
    EXPECT_EQ(size(1, 500, 400), "kept");
    EXPECT_EQ(size(7, 300, 200), "150x100");
    EXPECT_EQ(size(2, 400, 301), "399x300");
    EXPECT_EQ(size(8, 4000, 3000), "kept");
}

TEST(OutputSize, SelectionIsScaledAndRoundedSeparately) {
    auto cut = [](Selection s, float f) {
        const CutRect c = SelectionToPicture(s, f);
        return std::vector<int>{c.x, c.y, c.width, c.height};
    };
    EXPECT_EQ(cut(Selection{160, 240, 0, 0}, 4000.0f / 480.0f),
              (std::vector<int>{0, 0, 2000, 1333}));
    // 2.5, 17.5, 12.5 and 7.5: halves go to the even neighbour.
    EXPECT_EQ(cut(Selection{3, 5, 1, 7}, 2.5f), (std::vector<int>{2, 18, 12, 8}));
}

TEST(OutputSize, DefaultNameLosesEveryBmp) {
    EXPECT_EQ(ExportDefaultName("D:\\Bilder\\Urlaub.BMP"), "D:\\Bilder\\Urlaub");
    EXPECT_EQ(ExportDefaultName("/fotos.bmp/strand.Bmp"), "/fotos/strand");
    EXPECT_EQ(ExportDefaultName("/a/b.bmpx.bMp"), "/a/bx");
}

// --- the flow ------------------------------------------------------------------------------------

using Bytes = std::vector<uint8_t>;

Bytes Pixels(int number) {
    const raster::Bitmap* bm = ImageGetBitmap(number);
    return bm ? Bytes(bm->bits.get(), bm->bits.get() + bm->ByteSize()) : Bytes{};
}

// Everything an export that fails or is cancelled must leave as it was.
struct Untouched {
    Bytes picture = Pixels(100), preview = Pixels(101);
    Bytes source{g_app.pixels.source.get(), g_app.pixels.source.get() + g_app.pixels.size};
    int gamma = ControlGetValue(kGammaBar), castBox = ControlGetValue(kCastCheckBox);
    uint32_t cast = g_app.castColour;
    bool captured = PreviewCaptured();
    bool operator==(const Untouched&) const = default;
};

// Size of the picture file at `path`, 0 x 0 when it cannot be loaded.
std::pair<int, int> SizeOf(const std::string& path) {
    if (!ImageLoadFile(103, path.c_str())) return {0, 0};
    const std::pair<int, int> size{ImageGetWidth(103), ImageGetHeight(103)};
    ImageRelease(103);
    return size;
}

class ExportFlow : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        char templ[] = "/tmp/kadrovo-export-XXXXXX";
        ASSERT_TRUE(mkdtemp(templ));
        dir = templ;
        g_app.fileName = dir + "/Urlaub.BMP";
        // A 1200 x 800 picture: bands of colour and a bright corner for the cast.
        raster::Bitmap* bm = ImageNew(100, 1200, 800);
        ASSERT_TRUE(bm);
        for (int x = 0; x < 1200; x += 100)
            raster::FillRect(*bm, x, 0, 100, 800, static_cast<uint32_t>(x / 5) | 0x406000);
        raster::FillRect(*bm, 0, 0, 300, 200, 0xE6F0FA);
        NewPictureSequence();
        ASSERT_EQ(ImageGetWidth(101), 480);  // factor 2.5
        // A 3:2 frame of 150 x 100 preview pixels, a 375 x 250 cut at (25, 50); repaints, which
        // fit the height to the ratio, keep it.
        g_app.ratio = 2.0f / 3.0f;
        g_app.selection = Selection{100, 150, 10, 20};
    }
    void TearDown() override {
        MainWindowTest::TearDown();
        std::filesystem::remove_all(dir);
    }

    // Moves the gamma bar off its default and adjusts the preview, as a user would.
    static void MoveGamma(int value) {
        ControlSetValue(kGammaBar, value);
        ApplyAdjustments();
    }
    // Saves through the dialog, which answers with `paths` one after the other.
    void SaveTo(std::deque<std::string> paths, std::deque<int> answers = {}) {
        script = Script{};
        script.files = std::move(paths);
        script.answers = std::move(answers);
        SelectionExport(0);
    }

    std::string dir;
};

TEST_F(ExportFlow, SavesTheAdjustedCutAndStartsOver) {
    MoveGamma(100);
    const Bytes before = Pixels(100);
    ControlSetValue(kControlOutputSize, 7);  // avatar: 100 high
    SaveTo({dir + "/out.jpg"});

    EXPECT_EQ(script.fileCalls,
              std::vector<std::string>{"save 'Bild speichern...' " + dir +
                                       "/Urlaub, filter 'JPG Bilder (*.jpg)|*.jpg|Alle Dateien "
                                       "(*.*)|*.*' 0"});
    EXPECT_TRUE(script.messages.empty());
    EXPECT_EQ(SizeOf(dir + "/out.jpg"), std::make_pair(150, 100));  // the cut, reduced
    // Committed: image 100 changed; controls back at their defaults.
    EXPECT_NE(Pixels(100), before);
    EXPECT_EQ(ControlGetValue(kGammaBar), 155);
    EXPECT_EQ(ControlGetValue(kProgressBar), 99);  // the progress bar followed 800 rows
    EXPECT_TRUE(PreviewCaptured());
}

TEST_F(ExportFlow, CancelChangesNothing) {
    MoveGamma(60);
    ControlSetValue(kCastCheckBox, 1);
    g_app.castColour = 0x0A05;
    const Untouched before;
    SaveTo({});
    EXPECT_EQ(script.fileCalls.size(), 1u);
    EXPECT_TRUE(script.messages.empty());
    EXPECT_EQ(Untouched{}, before);
}

TEST_F(ExportFlow, ExistingFileIsReplacedOnlyOnYesAnEmptyOneWithoutAQuestion) {
    const std::string empty = dir + "/empty.jpg", taken = dir + "/taken.jpg";
    std::ofstream{empty};
    SaveTo({empty});
    EXPECT_TRUE(script.messages.empty());
    EXPECT_EQ(SizeOf(empty), std::make_pair(375, 250));

    std::ofstream(taken) << "an older picture";
    // No (also the default button): the dialog opens again with the same proposal; cancelled.
    SaveTo({taken, ""}, {IDNO});
    ASSERT_EQ(script.fileCalls.size(), 2u);
    EXPECT_EQ(script.fileCalls[1], script.fileCalls[0]);
    EXPECT_EQ(script.messages, std::vector<std::string>{"Kadrovo: Die Datei taken.jpg existiert "
                                                        "bereits!\r\rSoll die Datei überschrieben "
                                                        "werden? [308]"});
    std::ifstream in(taken);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "an older picture");
    // Yes: replaced.
    SaveTo({taken}, {IDYES});
    EXPECT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(SizeOf(taken), std::make_pair(375, 250));
}

TEST_F(ExportFlow, FailedSaveIsReportedAndCanBeRepeated) {
    MoveGamma(90);
    SaveTo({dir + "/missing-folder/bild.jpg"});
    EXPECT_EQ(script.messages, std::vector<std::string>{"Kadrovo: Die Datei bild.jpg konnte nicht "
                                                        "gespeichert werden!\r\rBitte einen "
                                                        "anderen Ort wählen. [48]"});
    // The adjustments are in image 100 and the preview agrees: the controls are at rest, so a
    // second attempt writes the same picture without adjusting it twice.
    EXPECT_EQ(ControlGetValue(kGammaBar), 155);
    EXPECT_TRUE(PreviewCaptured());
    SaveTo({dir + "/bild.jpg"});
    EXPECT_TRUE(script.messages.empty());
    EXPECT_EQ(SizeOf(dir + "/bild.jpg"), std::make_pair(375, 250));
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
    const Untouched before;
    PixelsFailAllocationForTest(1);
    SelectionExport(1);
    PixelsFailAllocationForTest(0);
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_TRUE(script.messages[0].ends_with(" [48]")) << script.messages[0];
    EXPECT_EQ(Untouched{}, before);
    EXPECT_EQ(ClipboardGet("text/plain"), Bytes{'x'});
}

}  // namespace
