// The shell driven headless: main window and starting state, loading paths, the new-picture
// sequence, dispatch of the controls, the mouse drag, and what is painted on the window's
// surface.
#include <cstdlib>
#include <filesystem>
#include <set>
#include <tuple>

#include "app/edit.h"
#include "imagelib/clipboard.h"
#include "imagelib/load.h"
#include "picture/tone.h"
#include "platform/clipboard.h"
#include "tests/app/main_window_fixture.h"
#include "toolkit/window.h"

namespace {

// A picture of one colour on the clipboard.
void CopyPicture(int width, int height, uint32_t colour) {
    ASSERT_TRUE(ImageNew(5, width, height));
    raster::FillRect(*ImageGetBitmap(5), 0, 0, width, height, colour);
    ASSERT_NE(ImageToClipboard(5), 0);
    ImageRelease(5);
}

class Shell : public MainWindowTest {
protected:
    void Load(const std::string& path) {
        script.file = path;
        DispatchControl(kLoadButton);
    }
    // An 800 x 600 grey picture with "10 x 15" chosen.
    void LoadGrey() {
        ControlSetValue(kFormatCombo, 1);
        Load(WritePicture(In("grey.bmp"), 800, 600, kGrey));
    }
};

// Each shape of picture gets its preview, default frame, toggle and status; the toggle and a
// format change keep the frame's corner. The open dialog starts in the home folder, then in the
// folder of the picture loaded last.
TEST_F(Shell, PictureShapesFramesToggleAndFormat) {
    // Preview, frame, toggle and status line as one line per case.
    const std::tuple<int, int, int, const char*> cases[] = {
        // "10 x 15" across; upright (476 / 1.5 = 317.33); a square counts as portrait
        {800, 600, 1, "480x357, 480x320 at 0,0, 0, Bild: 800x600 / Auswahl: 800x533"},
        {600, 800, 1, "360x476, 317x476 at 0,0, 1, Bild: 600x800 / Auswahl: 533x800"},
        {500, 500, 8, "480x476, 476x476 at 0,0, 1, Bild: 500x500 / Auswahl: 500x500"},
    };
    for (auto [w, h, format, shown] : cases) {
        ControlSetValue(kFormatCombo, format);
        Load(WritePicture(In("shape.bmp"), w, h, kGrey));
        EXPECT_EQ(std::to_string(ImageGetWidth(101)) + "x" + std::to_string(ImageGetHeight(101)) +
                      ", " + Frame() + ", " + std::to_string(ControlGetValue(kPortraitToggle)) +
                      ", " + ControlGetText(kStatusLine),
                  shown);
        EXPECT_TRUE(PreviewCaptured());
    }
    const std::string open = "open 'Bild einladen' ", filter = ", filter 'Bilder (";
    EXPECT_TRUE(script.fileCalls.front().starts_with(open + getenv("HOME") + "/" + filter))
        << script.fileCalls.front();
    LoadGrey();
    EXPECT_TRUE(script.fileCalls.back().starts_with(open + In("") + filter))
        << script.fileCalls.back();

    PlaceFrame(Selection{0, 0, 300, 200});
    Use(kPortraitToggle, 1);               // the click presses it
    EXPECT_EQ(Frame(), "200x300 at 0,0");  // ratio 1.5
    // A format change keeps left, top and width: "16:9" upright, 200 x 1.7777778 = 355.6.
    Use(kFormatCombo, 9);
    EXPECT_EQ(Frame(), "200x356 at 0,0");
    // Lower down, "10 x 15" fits but "16:9" no longer does and is narrowed: 307 / 1.7777778 =
    // 172.7.
    Use(kFormatCombo, 1);
    PlaceFrame(Selection{0, 50, 200, 300});
    Use(kFormatCombo, 9);
    EXPECT_EQ(Frame(), "173x308 at 0,50");
}

// (A file cut before its first row or too large, on the real screen: load_drag.)
TEST_F(Shell, FailedLoadChangesNothingAndSaysWhichFileAndWhy) {
    LoadGrey();
    PlaceFrame(Selection{20, 30, 150, 100});
    ControlSetValue(kGammaBar, 60);
    const std::string before = State();
    const std::string bad[] = {WriteFile(In("garbage.jpg"), "this is not a picture"),
                               In("missing.png"), In("folder.jpg")};
    std::filesystem::create_directories(bad[2]);
    // Each file is named without its folder, each reason told in its own words.
    std::set<std::string> reasons;
    for (const std::string& path : bad) {
        script.messages.clear();
        Load(path);
        EXPECT_EQ(State(), before) << path;
        ASSERT_EQ(script.messages.size(), 1u) << path;
        const std::string& m = script.messages[0];
        EXPECT_TRUE(m.starts_with("Kadrovo: Die Datei " + PathFilePart(path.c_str()) + " ")) << m;
        EXPECT_TRUE(m.ends_with(" [48]")) << m;
        EXPECT_EQ(m.find(dir.string()), std::string::npos) << m;
        reasons.insert(m.substr(m.find("\r\r")));
    }
    EXPECT_EQ(reasons.size(), std::size(bad));
    // A cancelled dialog says nothing; the save dialog still proposes the picture loaded last.
    script.messages.clear();
    Load("");
    EXPECT_EQ(State(), before);
    EXPECT_TRUE(script.messages.empty());
    DispatchControl(kSaveButton);
    EXPECT_TRUE(
        script.fileCalls.back().ends_with("grey_10x15.jpg, filter 'JPG Bilder (*.jpg)|*.jpg|Alle "
                                          "Dateien (*.*)|*.*' 0"));
}

// The settings value reads back what it wrote, each field its own: two sets in which every field
// differs from the other set's and from the other fields of its own set.
TEST_F(Shell, SettingsReadBackWhatWasWritten) {
    EXPECT_EQ(ReadWindowSettings(), WindowSettings{});
    for (const WindowSettings& wanted : {WindowSettings{{60, 200, 30, 150, 70}, true, 7, false, 4},
                                         WindowSettings{{20, 100, 1, 0, 50}, false, 9, true, 2}}) {
        WriteWindowSettings(wanted);
        EXPECT_EQ(ReadWindowSettings(), wanted);
    }
}

// A file that breaks off inside the picture loads what the loader read (what it holds, and the
// grey below: the loader's cut table), and says so at once: how many rows of how many.
TEST_F(Shell, CutPictureLoadsAndSaysHowMuchWasRead) {
    std::string jpeg = ReadFile(WritePicture(In("long.jpg"), 64, 256, 0x3060A0, JPEG_ENCODER_ID));
    const size_t scan = jpeg.find("\xFF\xDA");
    jpeg.resize(scan + (jpeg.size() - scan) / 2);
    const std::string path = WriteFile(In("halb.jpg"), jpeg);
    Load(path);
    ASSERT_EQ(g_app.fileName, path);
    const LoadResult read = ImageLoadFile(7, path.c_str());
    ASSERT_TRUE(read.Incomplete());
    EXPECT_EQ(Pixels(kPictureImage), Pixels(7));
    const std::string said = "Kadrovo: Die Datei halb.jpg ist unvollständig: nur der obere Teil (" +
                             std::to_string(read.rows.decoded) +
                             " von 256 Zeilen) konnte gelesen werden. [48]";
    EXPECT_EQ(script.messages, std::vector{said});
}

// Files named with others (a selection handed over by a file manager, a drop of several): one is
// opened and the others are counted, with the way to many pictures at once.
TEST_F(Shell, NamedWithOthersOpensOneAndSaysHowManyWereNot) {
    const std::pair<int, const char*> cases[] = {
        {0, ""},
        {1, "Kadrovo: Eine weitere Datei wurde nicht geöffnet: "},
        {3, "Kadrovo: 3 weitere Dateien wurden nicht geöffnet: "}};
    for (const auto& [others, said] : cases) {
        script.messages.clear();
        OpenNamedFile(WritePicture(In("first.bmp"), 40 + others, 30, kGrey), others);
        EXPECT_EQ(ImageGetWidth(kPictureImage), 40 + others);
        ASSERT_EQ(script.messages.size(), others ? 1u : 0u) << others;
        if (!others) continue;
        EXPECT_TRUE(script.messages[0].starts_with(said)) << script.messages[0];
        EXPECT_NE(script.messages[0].find("kadrovo --batch"), std::string::npos);
    }
}

// After every path that moves the track bars or brings a picture, each label shows its bar's
// number: the defaults button (even without a picture), a file load, a clipboard load, an
// export's closing step and its undo.
TEST_F(Shell, LabelsShowTheirBarsAfterEveryPath) {
    CopyPicture(300, 200, 0x4080c0);
    const std::pair<const char*, std::function<void()>> paths[] = {
        {"defaults", [] { DispatchControl(kDefaultsButton); }},
        {"file", [&] { Load(WritePicture(In("labels.bmp"), 64, 48, kGrey)); }},
        {"clipboard", [] { DispatchControl(kClipboardLoadButton); }},
        {"export", [] { DispatchControl(kClipboardSaveButton); }},
        {"undo of the export", [] { RunEditCommand(kCommandUndo); }},
    };
    const int moved[] = {60, 200, 20, 150, 70};  // in the order of kToneBars
    for (const auto& [name, path] : paths) {
        // The bars moved without the labels being told.
        for (size_t i = 0; i < std::size(kToneBars); ++i)
            ControlSetValue(kToneBars[i].bar, moved[i]);
        path();
        for (auto [bar, label] : kToneBars) {
            const int shown = bar == kGammaBar ? 255 - ControlGetValue(bar) : ControlGetValue(bar);
            const std::string text = ControlGetText(label);
            EXPECT_EQ(text.substr(text.find(": ") + 2), std::to_string(shown)) << name;
        }
    }
    EXPECT_TRUE(script.messages.empty());
}

// Without a picture the controls do nothing; the two that would deliver a picture say that there
// is none, and text on the clipboard gives only its message.
TEST_F(Shell, FileLoadResetsTheAdjustmentsClipboardLoadKeepsThem) {
    ASSERT_TRUE(ClipboardSet({{"text/plain", ClipboardData{'h', 'i'}}}));
    const std::string before = State();
    const char *none = "Kadrovo: Es ist kein Bild geladen. [48]",
               *empty = "Kadrovo: Die Zwischenablage enthält kein Bild. [48]";
    const std::pair<int, const char*> controls[] = {
        {kFormatCombo, ""},           {kPortraitToggle, ""}, {kSaveButton, none},
        {kClipboardSaveButton, none}, {kCastCheckBox, ""},   {kPreviewFrame, ""},
        {kOutputCombo, ""},           {kStatusLine, ""},     {kClipboardLoadButton, empty}};
    for (const auto& [control, said] : controls) {
        script.messages.clear();
        DispatchControl(control);
        EXPECT_EQ(State(), before) << control;
        EXPECT_EQ(script.messages.empty() ? "" : script.messages.front(), said) << control;
        EXPECT_LE(script.messages.size(), 1u) << control;
    }
    EXPECT_TRUE(script.fileCalls.empty());

    Load(WritePicture(In("a.bmp"), 64, 48, kGrey));
    ControlSetValue(kGammaBar, 60);
    CopyPicture(300, 200, 0x4080c0);
    DispatchControl(kClipboardLoadButton);
    ASSERT_EQ(ImageGetWidth(100), 300);
    EXPECT_EQ(ImageGetHeight(101), 317);
    EXPECT_EQ(ControlGetValue(kGammaBar), 60);
    DispatchControl(kSaveButton);  // the save dialog proposes the export of the file loaded last
    EXPECT_TRUE(
        script.fileCalls.back().starts_with("save 'Bild speichern...' " + In("a_9x13.jpg") + ","))
        << script.fileCalls.back();
    EXPECT_STREQ(ControlGetText(kStatusLine), "Bild: 300x200 / Auswahl: 289x200");
    EXPECT_EQ(Surface(100, 300), 0x4080c0u);

    // A cast measured on warm highlights; then a file load resets the bars and the cast, and
    // only them.
    Load(WritePicture(In("cast.bmp"), 800, 600, 250 | 240 << 8 | 235 << 16));
    WindowSettings all{{60, 200, 30, 150, 70}, false, 7, false, 4};
    WriteWindowSettings(all);
    Use(kCastCheckBox, 1);
    ASSERT_NE(g_app.castColour, 0u);
    Load(WritePicture(In("b.bmp"), 64, 48, kGrey));
    all.tone = kToneDefaults;
    EXPECT_EQ(ReadWindowSettings(), all);
    EXPECT_EQ(g_app.castColour, 0u);
}

// The preview's outline and the frame's centre cross on the window (its edges: end-to-end and
// at 200 %); the mouse steps report when the frame is to be repainted. (A smaller new preview
// clearing what the old one left: export_save.)
TEST_F(Shell, FramePaintingDragAndNewPreview) {
    LoadGrey();
    PlaceFrame(Selection{40, 30, 100, 0});  // drawn from client (54, 50) to (154, 117)
    RedrawPreview(ReadWindowSettings());
    ASSERT_EQ(Frame(), "100x67 at 40,30");
    EXPECT_EQ(std::make_tuple(Surface(13, 19), Surface(59, 55), Surface(94, 83)),
              std::make_tuple(kBlack, kGrey, kYellow));

    // Press inside: a move starts and asks for a repaint; a held, unmoved button asks for none;
    // the next step moves the frame with the grab offset. Pressing outside and sliding into the
    // frame with the button held starts a move too.
    const std::tuple<bool, int, int, bool> steps[] = {
        {true, 100, 100, true},   {true, 100, 100, false}, {true, 150, 120, true},
        {false, 150, 120, false}, {true, 450, 300, false}, {true, 150, 100, true},
        {true, 140, 100, true}};
    for (auto [down, x, y, repaint] : steps)
        EXPECT_EQ(SelectionMouseStep(down, x, y), repaint) << down << " " << x << "," << y;
    EXPECT_EQ(Frame(), "100x67 at 80,50");
}

// Runs again on a 200 % screen (QT_SCALE_FACTOR=2). Columns one picture pixel wide, alternately
// black and white, which the halved preview averages away, show at device resolution, with the
// frame and the adjustments of the preview; every figure stays in preview pixels.
TEST_F(Shell, PreviewAtDevicePixels) {
    Load(WritePicture(In("stripes.bmp"), 960, 720, 0xffffff, IMAGE_FORMAT_BMP,
                      [](raster::Bitmap& bm) {
                          for (int x = 0; x < 960; x += 2)
                              raster::FillRect(bm, x, 0, 1, 720, 0);
                      }));
    Use(kGammaBar, 60);
    EXPECT_EQ(Frame(), "480x332 at 0,0");
    EXPECT_STREQ(ControlGetText(kStatusLine), "Bild: 960x720 / Auswahl: 960x665");
    const double ratio = Ratio();
    if (ratio == 1) return;  // the ordinary run: nothing more is painted
    ASSERT_EQ(ratio, 2);

    // The device surface lies over client (11, 11): preview pixel (x, y) at 2 (x + 3), 2 (y + 9).
    const raster::Bitmap* device = WindowDeviceDrawTarget(kMainWindow, 11, 11, 488, 488)->surface;
    ASSERT_EQ(device->width, 976);
    int mixed = 0, blocks = 0;
    for (int y = 2 * 30; y < 2 * 300; y += 2)
        for (int x = 2 * 30; x < 2 * 400; x += 2, ++blocks) {
            const uint32_t c = raster::GetPixel(*device, x, y);
            mixed += raster::GetPixel(*device, x + 1, y) != c ||
                     raster::GetPixel(*device, x, y + 1) != c ||
                     raster::GetPixel(*device, x + 1, y + 1) != c;
        }
    EXPECT_GT(mixed, blocks * 9 / 10) << "a pixel-doubled preview has uniform 2 x 2 blocks";
    // White with gamma 60 as the tone pass makes it next to black, which stays black; once
    // after an export (which makes the adjusted preview the new source), twice after a further
    // move of the track bar.
    uint8_t white[4] = {255, 255, 255, 0};
    auto expect = [&](const char* when) {
        ToneAdjustBuffer(white, white, 1, 1, 4, ToneParams{60, 255, 0, 100, 100});
        const uint32_t adjusted = white[2] | white[1] << 8 | white[0] << 16;
        EXPECT_EQ(std::minmax({raster::GetPixel(*device, 2 * 53, 2 * 59),
                               raster::GetPixel(*device, 2 * 53 + 1, 2 * 59)}),
                  std::make_pair(0u, adjusted))
            << when;
    };
    expect("adjusted");
    DispatchControl(kClipboardSaveButton);
    ASSERT_EQ(ControlGetValue(kGammaBar), 155);
    white[0] = white[1] = white[2] = 255;
    expect("after the export");
    Use(kGammaBar, 60);
    expect("adjusted again");
    // The frame's top edge: two device rows of yellow, the shadow below it.
    EXPECT_EQ(raster::GetPixel(*device, 2 * 103, 2 * 9), kYellow);
    EXPECT_EQ(raster::GetPixel(*device, 2 * 103, 2 * 9 + 1), kYellow);
    EXPECT_EQ(raster::GetPixel(*device, 2 * 103, 2 * 10 + 1), kBlack);
}

}  // namespace
