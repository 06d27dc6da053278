// The shell driven headless: main window and starting state, loading paths, the new-picture
// sequence, dispatch of the controls, the mouse drag through a scripted input source, and what
// is painted on the window's surface.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/frame.h"
#include "app/mainwindow.h"
#include "app/preview.h"
#include "app/selection.h"
#include "app/shell.h"
#include "imagelib/clipboard.h"
#include "imagelib/draw.h"
#include "imagelib/image.h"
#include "picture/appstate.h"
#include "picture/pixels.h"
#include "platform/clipboard.h"
#include "platform/display.h"
#include "platform/input.h"
#include "platform/raster.h"
#include "toolkit/control.h"
#include "toolkit/requester.h"
#include "toolkit/window.h"

namespace {

using Paint = std::function<uint32_t(int x, int y)>;  // red | green << 8 | blue << 16

// A 24-bit bottom-up BMP file, written by hand so that the loader is tested against the format,
// not against our own writer.
std::string WriteBmp(const std::string& name, int width, int height, const Paint& paint) {
    const std::string path = ::testing::TempDir() + name;
    const int stride = (width * 3 + 3) / 4 * 4;
    const uint32_t imageSize = static_cast<uint32_t>(stride) * height;
    std::vector<uint8_t> file(54 + imageSize, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            file[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    file[26] = 1;
    file[28] = 24;
    put32(34, imageSize);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = &file[54 + static_cast<size_t>(height - 1 - y) * stride];
        for (int x = 0; x < width; ++x) {
            const uint32_t c = paint(x, y);
            row[x * 3] = static_cast<uint8_t>(c >> 16);
            row[x * 3 + 1] = static_cast<uint8_t>(c >> 8);
            row[x * 3 + 2] = static_cast<uint8_t>(c);
        }
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
    return path;
}

Paint Solid(uint32_t colour) {
    return [colour](int, int) { return colour; };
}

constexpr uint32_t kGrey = 0x808080;
constexpr uint32_t kYellow = 0x00ffff;
constexpr uint32_t kBlack = 0;

// Answers the dialogs and records what was asked.
struct Script : RequesterScript {
    std::string answer;
    int messages = 0;
    int files = 0;
    std::string title, pattern;
    int patternIndex = -1;
    bool save = false;
    int Message(const std::string&, const std::string&, int) override {
        ++messages;
        return IDOK;
    }
    std::string File(bool isSave, const std::string& t, const std::string&, const std::string&,
                     const std::string& p, int index) override {
        ++files;
        save = isSave;
        title = t;
        pattern = p;
        patternIndex = index;
        return answer;
    }
};

// The mouse as a test moves it, in screen coordinates.
struct FakeMouse : InputSource {
    bool down = false;
    int x = -10000, y = -10000;
    bool LeftButtonDown() override { return down; }
    void CursorScreenPos(int& outX, int& outY) override {
        outX = x;
        outY = y;
    }
};

class Shell : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(StartUpLibraries()); }

    void SetUp() override {
        ShutDownLibraries();
        AppStateReset();
        RequesterSetScript(&script_);
        InputSetSource(&mouse_);
        ASSERT_TRUE(BuildMainWindow());
        SetStartingState();
    }
    void TearDown() override {
        RequesterSetScript(nullptr);
        InputSetSource(nullptr);
    }

    void Load(const std::string& path) {
        script_.answer = path;
        DispatchControl(kLoadButton);
    }
    // Screen point of client point (cx, cy), found by probing the window's cursor query.
    void MouseAt(int cx, int cy, bool down) {
        mouse_.x = 1000;
        mouse_.y = 1000;
        int ox = 0, oy = 0;
        for (int probe : {0, 100, 200, 300, 400, 500, 600, 700, 800, 900, 1000}) {
            mouse_.x = probe;
            mouse_.y = probe;
            if (WindowCursorX(kMainWindow) >= 0) {
                ox = probe - WindowCursorX(kMainWindow);
                oy = probe - WindowCursorY(kMainWindow);
                break;
            }
        }
        mouse_.x = ox + cx;
        mouse_.y = oy + cy;
        mouse_.down = down;
    }
    static uint32_t Surface(int x, int y) {
        DrawTarget* t = WindowDrawTarget(kMainWindow);
        return t && t->surface ? raster::GetPixel(*t->surface, x, y) : 0xdeadbeef;
    }
    static Selection Sel() { return g_app.selection; }

    Script script_;
    FakeMouse mouse_;
};

TEST_F(Shell, MainWindowControlsAndStartingState) {
    struct Row {
        int number, kind;
        const char* text;
        const char* tip;
    } rows[] = {
        {0, CONTROL_FRAME, "", ""},
        {1, CONTROL_TEXT, "Seitenverhältnis bzw. Zielformat:", ""},
        {2, CONTROL_COMBOBOX, nullptr, "Zielformat auswählen"},
        {3, CONTROL_BUTTON, "Bild speichern...", "Speichern des aktuellen Bildausschnittes"},
        {4, CONTROL_BUTTON, "Programm beenden", "Jetzt sofort beenden"},
        {5, CONTROL_FRAME, "Bildbearbeitung", ""},
        {6, CONTROL_TEXT, "Gamma:", ""},
        {7, CONTROL_TRACKBAR, nullptr, ""},
        {8, CONTROL_TEXT, "Whitepoint:", ""},
        {9, CONTROL_TRACKBAR, nullptr, ""},
        {10, CONTROL_TEXT, "Blackpoint:", ""},
        {11, CONTROL_TRACKBAR, nullptr, ""},
        {12, CONTROL_TEXT, "Sättigung:", ""},
        {13, CONTROL_TRACKBAR, nullptr, ""},
        {14, CONTROL_TEXT, "Kontrast:", ""},
        {15, CONTROL_TRACKBAR, nullptr, ""},
        {16, CONTROL_BUTTON, "Bild laden...", "Neues Bild einladen"},
        {17, CONTROL_BUTTON, "Standardwerte", "Alle Einstellungen zurück auf Standard"},
        {18, CONTROL_PROGRESSBAR, nullptr, ""},
        {19, CONTROL_BUTTON, "portrait", "Auschnitt drehen"},
        {20, CONTROL_CHECKBOX, "Farbstich entfernen",
         "Ermittelt und entfernt den Farbstich aus dem gerade aktuellen Bereich"},
        {21, CONTROL_TEXT, "", "Ermittelter Farbstich (übertrieben dargestellt)"},
        {22, CONTROL_BUTTON, "Bild aus dem Clipboard holen",
         "Einladen des Bildes aus der Zwischenablage"},
        {23, CONTROL_BUTTON, "Bild in das Clipboard speichern",
         "Speichern des aktuellen Bildausschnittes in die Zwischenablage"},
        {24, CONTROL_TEXT, "Ausgabeoptimierung:", ""},
        {25, CONTROL_COMBOBOX, nullptr, ""},
        {26, CONTROL_TEXT, "Bild: 0 x 0 - Selektion: 0 x 0", ""},
    };
    EXPECT_NE(WindowHandle(kMainWindow), 0u);
    for (const Row& r : rows) {
        EXPECT_EQ(ControlKindOf(r.number), r.kind) << r.number;
        if (r.text) {
            EXPECT_STREQ(ControlGetText(r.number), r.text) << r.number;
        }
        EXPECT_STREQ(ControlGetTip(r.number), r.tip) << r.number;
    }
    struct Value {
        int number, value;
    } values[] = {{7, 155},  {9, 255}, {11, 0}, {13, 100}, {15, 100},
                  {18, 100}, {2, 0},   {25, 0}, {19, 0},   {20, 0}};
    for (const Value& v : values)
        EXPECT_EQ(ControlGetValue(v.number), v.value) << v.number;
}

TEST_F(Shell, LandscapePictureGetsPreviewFrameAndStatus) {
    ControlSetValue(kFormatCombo, 1);  // "10 x 15"
    Load(WriteBmp("land.bmp", 800, 600, Solid(kGrey)));
    EXPECT_EQ(script_.files, 1);
    EXPECT_FALSE(script_.save);
    EXPECT_EQ(script_.title, "Bild einladen");
    EXPECT_EQ(script_.pattern,
              "Bilder (*.bmp,*.jpg,*.png)|*.bmp;*.jpg;*.png|Alle Dateien (*.*)|*.*");
    EXPECT_EQ(script_.patternIndex, 0);
    ASSERT_TRUE(ImageExists(100));
    EXPECT_EQ(ImageGetWidth(101), 480);
    EXPECT_EQ(ImageGetHeight(101), 357);
    EXPECT_EQ(Sel().width, 480);
    EXPECT_EQ(Sel().height, 320);
    EXPECT_EQ(Sel().left, 0);
    EXPECT_EQ(Sel().top, 0);
    EXPECT_EQ(ControlGetValue(kPortraitToggle), 0);
    EXPECT_STREQ(ControlGetText(kStatusLine), "Bild: 800x600 / Auswahl: 800x533");
    EXPECT_EQ(g_app.fileName, script_.answer);
    EXPECT_TRUE(PreviewCaptured());
    // Loading leaves the value labels alone.
    EXPECT_STREQ(ControlGetText(kGammaLabel), "Gamma:");
}

TEST_F(Shell, PortraitAndSquarePicturesUseTheUprightColumn) {
    struct Case {
        int w, h, format;
        int pw, ph, fw, fh;
    } cases[] = {
        {600, 800, 1, 360, 476, 317, 476},  // "10 x 15" upright
        {500, 500, 1, 480, 476, 317, 476},  // square counts as portrait
        {500, 500, 8, 480, 476, 476, 476},  // "quadratisch"
    };
    for (const Case& c : cases) {
        ControlSetValue(kFormatCombo, c.format);
        Load(WriteBmp("upright.bmp", c.w, c.h, Solid(kGrey)));
        EXPECT_EQ(ImageGetWidth(101), c.pw) << c.w << "x" << c.h;
        EXPECT_EQ(ImageGetHeight(101), c.ph) << c.w << "x" << c.h;
        EXPECT_EQ(Sel().width, c.fw) << c.w << "x" << c.h;
        EXPECT_EQ(Sel().height, c.fh) << c.w << "x" << c.h;
        EXPECT_EQ(ControlGetValue(kPortraitToggle), 1) << c.w << "x" << c.h;
    }
}

TEST_F(Shell, NarrowPreviewGetsTheMinimumFrame) {
    Load(WriteBmp("narrow.bmp", 10, 1000, Solid(kGrey)));
    EXPECT_EQ(ImageGetWidth(101), 5);
    EXPECT_EQ(Sel().width, 25);
    EXPECT_EQ(Sel().left, 0);
}

TEST_F(Shell, ToggleAndFormatKeepTheCorner) {
    ControlSetValue(kFormatCombo, 1);
    Load(WriteBmp("land.bmp", 800, 600, Solid(kGrey)));
    g_app.selection = Selection{200, 300, 0, 0};
    ControlSetValue(kPortraitToggle, 1);  // the click presses it
    DispatchControl(kPortraitToggle);
    EXPECT_EQ(Sel().width, 200);
    EXPECT_EQ(Sel().height, 300);
    EXPECT_FLOAT_EQ(g_app.ratio, 1.5f);
    // A format change keeps left, top and width: "16:9" upright, 200 x 1.7777778 = 355.6.
    ControlSetValue(kFormatCombo, 9);
    DispatchControl(kFormatCombo);
    EXPECT_EQ(Sel().width, 200);
    EXPECT_EQ(Sel().height, 356);
    EXPECT_EQ(Sel().left, 0);
    // Lower down the same frame no longer fits and is narrowed: 257 / 1.7777778 = 144.6.
    g_app.selection.top = 100;
    DispatchControl(kFormatCombo);
    EXPECT_EQ(Sel().width, 145);
    EXPECT_EQ(Sel().height, 258);
}

TEST_F(Shell, FailedLoadChangesNothing) {
    ControlSetValue(kFormatCombo, 1);
    Load(WriteBmp("good.bmp", 800, 600, Solid(kGrey)));
    const std::string goodName = g_app.fileName;
    g_app.selection = Selection{100, 150, 20, 30};
    ControlSetValue(kGammaBar, 60);
    raster::Bitmap* picture = ImageGetBitmap(100);
    raster::Bitmap* preview = ImageGetBitmap(101);
    const std::string status = ControlGetText(kStatusLine);

    const std::string garbage = ::testing::TempDir() + "garbage.jpg";
    std::ofstream(garbage) << "this is not a picture";
    for (const std::string& bad : {garbage, ::testing::TempDir() + "missing.png"}) {
        Load(bad);
        EXPECT_EQ(ImageGetBitmap(100), picture) << bad;
        EXPECT_EQ(ImageGetBitmap(101), preview) << bad;
        EXPECT_EQ(g_app.fileName, goodName) << bad;
        EXPECT_EQ(Sel().width, 150) << bad;
        EXPECT_EQ(Sel().left, 20) << bad;
        EXPECT_EQ(ControlGetValue(kGammaBar), 60) << bad;
        EXPECT_EQ(ControlGetText(kStatusLine), status) << bad;
        EXPECT_TRUE(PreviewCaptured()) << bad;
    }
    EXPECT_EQ(script_.messages, 0);
    // A cancelled dialog changes nothing either.
    Load("");
    EXPECT_EQ(ImageGetBitmap(100), picture);
}

TEST_F(Shell, LoadingResetsTheAdjustments) {
    Load(WriteBmp("a.bmp", 64, 48, Solid(kGrey)));
    ControlSetValue(kGammaBar, 60);
    ControlSetValue(kContrastBar, 150);
    g_app.castColour = 5;
    ControlSetValue(kCastCheckBox, 1);
    Load(WriteBmp("b.bmp", 48, 64, Solid(kGrey)));
    EXPECT_EQ(ControlGetValue(kGammaBar), 155);
    EXPECT_EQ(ControlGetValue(kContrastBar), 100);
    EXPECT_EQ(ControlGetValue(kCastCheckBox), 0);
    EXPECT_EQ(g_app.castColour, 0u);
}

TEST_F(Shell, ControlsWithoutAPictureDoNothing) {
    for (int control : {kFormatCombo, kPortraitToggle, kSaveButton, kClipboardSaveButton,
                        kCastCheckBox, kPreviewFrame, kOutputCombo, kStatusLine}) {
        DispatchControl(control);
        EXPECT_FALSE(ImageExists(100)) << control;
        EXPECT_FALSE(ImageExists(101)) << control;
        EXPECT_EQ(Sel().width, 0) << control;
        EXPECT_EQ(g_app.castColour, 0u) << control;
    }
    EXPECT_EQ(script_.files, 0);
    EXPECT_EQ(script_.messages, 0);
    EXPECT_STREQ(ControlGetText(kStatusLine), "Bild: 0 x 0 - Selektion: 0 x 0");
    // The defaults button and the track bars still rewrite the labels.
    ControlSetValue(kGammaBar, 55);
    DispatchControl(kGammaBar);
    EXPECT_STREQ(ControlGetText(kGammaLabel), "Gamma: 200");
    DispatchControl(kDefaultsButton);
    EXPECT_STREQ(ControlGetText(kGammaLabel), "Gamma: 100");
    EXPECT_STREQ(ControlGetText(kWhiteLabel), "Whitepoint: 255");
    EXPECT_STREQ(ControlGetText(kBlackLabel), "Blackpoint: 0");
    EXPECT_STREQ(ControlGetText(kSaturationLabel), "Sättigung: 100");
    EXPECT_STREQ(ControlGetText(kContrastLabel), "Kontrast: 100");
}

TEST_F(Shell, QuitButtonAndCloseRequestEndTheLoop) {
    DispatchControl(kQuitButton);
    EXPECT_EQ(g_app.quitRequested, 1);
}

TEST_F(Shell, FrameIsPaintedOnTheWindow) {
    ControlSetValue(kFormatCombo, 1);
    Load(WriteBmp("grey.bmp", 800, 600, Solid(kGrey)));
    g_app.selection = Selection{0, 100, 40, 30};
    RedrawPreview();
    const Selection s = Sel();
    ASSERT_EQ(s.height, 67);
    const int x = s.left + 14, y = s.top + 20;
    const int cx = s.left + s.width / 2 + 14, cy = s.top + s.height / 2 + 20;
    struct Probe {
        const char* what;
        int px, py;
        uint32_t colour;
    } probes[] = {
        {"outline top-left", 13, 19, kBlack},
        {"outline bottom-right", 13 + 481, 19 + 358, kBlack},
        {"preview", 14, 20, kGrey},
        {"preview far corner", 14 + 479, 20 + 356, kGrey},
        {"frame top edge", x + 10, y, kYellow},
        {"frame left edge", x, y + 10, kYellow},
        {"frame right edge", x + s.width - 1, y + 10, kYellow},
        {"frame bottom edge", x + 10, y + s.height - 1, kYellow},
        {"shadow right", x + s.width, y + 10, kBlack},
        {"shadow bottom", x + 10, y + s.height, kBlack},
        {"inside the frame", x + 5, y + 5, kGrey},
        {"cross horizontal", cx - 10, cy, kYellow},
        {"cross vertical", cx, cy + 9, kYellow},
        {"cross shadow", cx + 1, cy + 10, kBlack},
        {"handle disc", x + s.width - 4, y + s.height - 4, kYellow},
    };
    for (const Probe& p : probes)
        EXPECT_EQ(Surface(p.px, p.py), p.colour) << p.what << " at " << p.px << "," << p.py;
}

TEST_F(Shell, NewPreviewClearsWhatTheOldOneLeft) {
    const uint32_t background = Surface(2, 2);
    Load(WriteBmp("wide.bmp", 800, 600, Solid(kGrey)));
    EXPECT_EQ(Surface(300, 200), kGrey);
    Load(WriteBmp("tall.bmp", 100, 1000, Solid(0x4080c0)));
    ASSERT_EQ(ImageGetWidth(101), 48);
    EXPECT_EQ(Surface(300, 200), background);
    EXPECT_EQ(Surface(20, 300), 0x4080c0u);
}

TEST_F(Shell, MouseMovesAndResizesTheFrame) {
    ControlSetValue(kFormatCombo, 1);
    Load(WriteBmp("grey.bmp", 800, 600, Solid(kGrey)));
    g_app.selection = Selection{0, 200, 10, 10};
    ClampSelection();  // 200 x 133 at (10, 10): client (24, 30) to (224, 163)

    // Press inside and drag: the frame follows with the grab offset.
    SelectionMouseStep(true, 100, 100);
    EXPECT_EQ(g_app.moving, 1);
    SelectionMouseStep(true, 150, 120);
    EXPECT_EQ(Sel().left, 60);
    EXPECT_EQ(Sel().top, 30);
    // The pointer leaves the client area: the frame jumps to the top-left corner.
    SelectionMouseStep(true, -1, -1);
    EXPECT_EQ(Sel().left, 0);
    EXPECT_EQ(Sel().top, 0);
    SelectionMouseStep(false, -1, -1);
    EXPECT_EQ(g_app.moving, 0);

    // Press at the corner: resize, top-left stays.
    SelectionMouseStep(true, 14 + 200, 20 + 133);
    EXPECT_EQ(g_app.resizing, 1);
    SelectionMouseStep(true, 14 + 300, 200);
    EXPECT_EQ(Sel().width, 300);
    EXPECT_EQ(Sel().height, 200);
    EXPECT_EQ(Sel().left, 0);
    SelectionMouseStep(false, 0, 0);
    EXPECT_EQ(g_app.resizing, 0);

    // Pressing outside and sliding into the frame with the button held starts a move.
    SelectionMouseStep(true, 450, 300);
    EXPECT_EQ(g_app.moving, 0);
    SelectionMouseStep(true, 100, 100);
    EXPECT_EQ(g_app.moving, 1);
    SelectionMouseStep(false, 100, 100);
}

TEST_F(Shell, ClipboardPictureKeepsTheControls) {
    // Text on the clipboard: nothing happens.
    ASSERT_TRUE(ClipboardSet({{"text/plain", ClipboardData{'h', 'i'}}}));
    DispatchControl(kClipboardLoadButton);
    EXPECT_FALSE(ImageExists(100));

    raster::Bitmap* source = ImageNew(5, 300, 200);
    ASSERT_NE(source, nullptr);
    raster::FillRect(*source, 0, 0, 300, 200, 0x4080c0);
    ASSERT_NE(ImageToClipboard(5), 0);
    ImageRelease(5);
    g_app.fileName = "/somewhere/earlier.jpg";
    ControlSetValue(kGammaBar, 60);
    DispatchControl(kClipboardLoadButton);
    ASSERT_TRUE(ImageExists(100));
    EXPECT_EQ(ImageGetWidth(100), 300);
    EXPECT_EQ(ImageGetWidth(101), 480);
    EXPECT_EQ(ImageGetHeight(101), 317);
    EXPECT_EQ(ControlGetValue(kGammaBar), 60);
    EXPECT_EQ(g_app.fileName, "/somewhere/earlier.jpg");
    EXPECT_STREQ(ControlGetText(kStatusLine), "Bild: 300x200 / Auswahl: 286x198");
    EXPECT_EQ(Surface(100, 300), 0x4080c0u);
}

TEST_F(Shell, FailedCaptureLeavesThePreviewAlone) {
    PixelsFailAllocationForTest(1);
    Load(WriteBmp("grey.bmp", 800, 600, Solid(kGrey)));
    PixelsFailAllocationForTest(0);
    ASSERT_TRUE(ImageExists(101));
    EXPECT_FALSE(PreviewCaptured());
    g_app.selection = Selection{0, 25, 400, 300};
    ClampSelection();
    RedrawPreview();
    // Neither a track bar nor the cast check box may write missing buffers into the preview.
    ControlSetValue(kWhiteBar, 120);
    DispatchControl(kWhiteBar);
    EXPECT_STREQ(ControlGetText(kWhiteLabel), "Whitepoint: 120");
    ControlSetValue(kCastCheckBox, 1);
    DispatchControl(kCastCheckBox);
    EXPECT_EQ(g_app.castColour, 0u);
    EXPECT_EQ(Surface(30, 40), kGrey);
}

TEST_F(Shell, HeldStillButtonDoesNotRepaint) {
    Load(WriteBmp("grey.bmp", 800, 600, Solid(kGrey)));
    g_app.selection = Selection{0, 200, 10, 10};
    ClampSelection();
    SelectionMouseStep(true, 100, 100);
    ASSERT_EQ(g_app.moving, 1);
    // A mark on the surface survives passes that change nothing, and goes with the next move.
    raster::SetPixel(*WindowDrawTarget(kMainWindow)->surface, 300, 300, 0x123456);
    SelectionMouseStep(true, 100, 100);
    EXPECT_EQ(Surface(300, 300), 0x123456u);
    SelectionMouseStep(true, 101, 100);
    EXPECT_EQ(Surface(300, 300), kGrey);
    SelectionMouseStep(false, 101, 100);
}

TEST_F(Shell, LoopPassReadsTheScriptedMouse) {
    ControlSetValue(kFormatCombo, 1);
    Load(WriteBmp("grey.bmp", 800, 600, Solid(kGrey)));
    g_app.selection = Selection{0, 200, 10, 10};
    ClampSelection();
    MouseAt(100, 100, true);
    ASSERT_EQ(WindowCursorX(kMainWindow), 100);
    EXPECT_TRUE(LoopPass());
    EXPECT_EQ(g_app.moving, 1);
    MouseAt(120, 110, true);
    EXPECT_TRUE(LoopPass());
    EXPECT_EQ(Sel().left, 30);
    EXPECT_EQ(Sel().top, 20);
    MouseAt(120, 110, false);
    EXPECT_TRUE(LoopPass());
    EXPECT_EQ(g_app.moving, 0);
    DispatchControl(kQuitButton);
    EXPECT_FALSE(LoopPass());
}

TEST_F(Shell, CastCheckBoxMeasuresAndClears) {
    // Highlights with a cast: (250, 240, 235) has luminance 242, cast (15, 5, 0).
    Load(WriteBmp("cast.bmp", 800, 600, Solid(250 | 240 << 8 | 235 << 16)));
    ControlSetValue(kCastCheckBox, 1);
    DispatchControl(kCastCheckBox);
    EXPECT_EQ(g_app.castColour, 1295u);
    EXPECT_STREQ(ControlGetTip(kCastSwatch),
                 "Aktuell ermittelter Farbstich (verstärkt dargestellt)");
    EXPECT_STREQ(ControlGetText(kGammaLabel), "Gamma: 100");
    ControlSetValue(kCastCheckBox, 0);
    DispatchControl(kCastCheckBox);
    EXPECT_EQ(g_app.castColour, 0u);
    EXPECT_STREQ(ControlGetTip(kCastSwatch),
                 "Aktuell ermittelter Farbstich (verstärkt dargestellt)");
}

TEST_F(Shell, AdjustmentsRepaintFromTheCapturedPreview) {
    Load(WriteBmp("grey.bmp", 800, 600, Solid(kGrey)));
    g_app.selection = Selection{0, 25, 400, 300};  // keep the frame away from the probe
    ClampSelection();
    RedrawPreview();
    ASSERT_EQ(Surface(30, 40), kGrey);
    ControlSetValue(kWhiteBar, 200);
    DispatchControl(kWhiteBar);
    EXPECT_STREQ(ControlGetText(kWhiteLabel), "Whitepoint: 200");
    const uint32_t brighter = Surface(30, 40);
    EXPECT_GT(brighter & 0xff, 0x80u);
    // Back to the defaults gives the captured picture back, not a compounded one.
    DispatchControl(kDefaultsButton);
    EXPECT_EQ(Surface(30, 40), kGrey);
}

}  // namespace

namespace {

struct DepthScript : RequesterScript {
    std::string title, text;
    int flags = -1;
    int Message(const std::string& t, const std::string& m, int f) override {
        title = t;
        text = m;
        flags = f;
        return IDOK;
    }
    std::string File(bool, const std::string&, const std::string&, const std::string&,
                     const std::string&, int) override {
        return {};
    }
};

TEST(StartUp, ShallowScreenIsRefusedWithTheMessage) {
    DepthScript script;
    RequesterSetScript(&script);
    DisplaySetDepthForTesting(16);
    EXPECT_FALSE(CheckScreenDepth());
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(script.title, "Error");
    EXPECT_EQ(script.text, "Benötige min 24 Bit Farbtiefe!");
    EXPECT_EQ(script.flags, 48);
    EXPECT_EQ(WindowHandle(kMainWindow), 0u);
    EXPECT_FALSE(ImageExists(1));
    DisplaySetDepthForTesting(24);
    EXPECT_TRUE(CheckScreenDepth());
    EXPECT_FALSE(ImageExists(1));
    DisplaySetDepthForTesting(0);
    RequesterSetScript(nullptr);
}

}  // namespace
