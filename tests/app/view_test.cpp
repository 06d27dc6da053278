// Ways of looking at the picture in the window: the preview before and after its adjustments,
// the thirds grid on the window's surface and at device resolution, kept between runs, and the
// live straightening at device resolution.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "app/edit.h"
#include "app/resultview.h"
#include "app/view.h"
#include "imagelib/load.h"
#include "main_window_fixture.h"
#include "picture/export.h"
#include "toolkit/preferences.h"
#include "toolkit/window.h"

namespace {

class View : public MainWindowTest {
protected:
    static void Command(int command) { ASSERT_TRUE(RunEditCommand(command)); }
};

// "\" shows the preview the tone tests know unadjusted, and again adjusted; the label says which.
// Every control switches back to the adjusted preview, and an export started from "before"
// commits the adjustments, not the unadjusted view.
TEST_F(View, BeforeAndAfter) {
    LoadPhoto();
    const std::string unadjusted = Pixels(kPreviewImage);
    Use(kGammaBar, 60);
    Use(kCastCheckBox, 1);
    const std::string adjusted = Pixels(kPreviewImage);
    ASSERT_NE(adjusted, unadjusted);
    const std::string picture = Pixels(kPictureImage);

    Command(kCommandBeforeAfter);
    EXPECT_EQ(Pixels(kPreviewImage), unadjusted);
    EXPECT_STREQ(ControlGetText(kBeforeLabel), "Vorher");
    EXPECT_EQ(g_app.beforeLabelFor, 317) << "made at the preview's lower edge";
    EXPECT_EQ(ControlGetValue(kGammaBar), 60) << "the controls stay";
    EXPECT_EQ(Pixels(kPictureImage), picture);
    Command(kCommandThirds);  // looking on does not switch back
    EXPECT_EQ(Pixels(kPreviewImage), unadjusted);
    Command(kCommandThirds);
    Command(kCommandBeforeAfter);
    EXPECT_EQ(Pixels(kPreviewImage), adjusted);

    for (auto [control, value] : {std::pair{kFormatCombo, 3},
                                  {kPortraitToggle, 1},
                                  {kWhiteBar, 250},
                                  {kCastCheckBox, 0},
                                  {kDefaultsButton, 0}}) {
        Command(kCommandBeforeAfter);
        ASSERT_TRUE(g_app.showBefore);
        Use(control, value);
        EXPECT_FALSE(g_app.showBefore) << control;
        const std::string shown = Pixels(kPreviewImage);
        ApplyAdjustments(ReadWindowSettings());
        EXPECT_EQ(Pixels(kPreviewImage), shown) << "control " << control << " shows \"after\"";
    }

    Use(kGammaBar, 60);
    const std::string again = Pixels(kPreviewImage);
    Command(kCommandBeforeAfter);
    DispatchControl(kClipboardSaveButton);
    EXPECT_FALSE(g_app.showBefore);
    EXPECT_EQ(Pixels(kPreviewImage), again) << "the export's new start is the adjusted preview";
    EXPECT_EQ(ControlGetValue(kGammaBar), 155);
}

// The grid's dotted lines lie at the frame's thirds, inside its outline, only while it is on;
// it starts off, and the choice outlives the run.
TEST_F(View, ThirdsGridAtTheThirdsAndKept) {
    ControlSetValue(kFormatCombo, 1);  // 10 x 15
    script.file = WritePicture(In("grey.bmp"), 800, 600, kGrey);
    DispatchControl(kLoadButton);
    ASSERT_FALSE(g_app.thirdsGrid);
    Command(kCommandThirds);
    EXPECT_EQ(PreferenceGet(kThirdsPreference, -1), 1);

    // The frame, and the client columns and rows of its lines. Client = preview + (14, 20);
    // thirds of 300 x 200, 150 x 100 and 480 x 320 rounded.
    const std::tuple<Selection, int, int, int, int> cases[] = {
        {{30, 40, 300, 200}, 144, 244, 127, 193},
        {{0, 0, 150, 100}, 64, 114, 53, 87},
        {{0, 0, 480, 320}, 174, 334, 127, 233}};
    for (const auto& [frame, x1, x2, y1, y2] : cases) {
        PlaceFrame(frame);
        RedrawPreview(ReadWindowSettings());
        const int top = frame.top + 22, left = frame.left + 16;
        for (int x : {x1, x2}) {
            EXPECT_EQ(Surface(x, top), kWhite) << x;
            EXPECT_EQ(Surface(x, top + 1), kGrey) << "dotted at " << x;
            EXPECT_EQ(Surface(x + 1, top + 2), kGrey) << "one pixel wide at " << x;
        }
        for (int y : {y1, y2}) {
            EXPECT_EQ(Surface(left + 2, y), kWhite) << y;
            EXPECT_EQ(Surface(left + 3, y), kGrey) << y;
            EXPECT_EQ(Surface(left + 2, y + 1), kGrey) << y;
        }
    }
    Command(kCommandThirds);
    EXPECT_EQ(Surface(174, 22), kGrey) << "off";
    Command(kCommandThirds);

    // The next run takes it up again; a fresh configuration starts without.
    ShutDownLibraries();
    AppStateReset();
    ASSERT_TRUE(BuildMainWindow());
    SetStartingState();
    EXPECT_TRUE(g_app.thirdsGrid);
    setenv("XDG_CONFIG_HOME", In("leer").c_str(), 1);
    SetStartingState();
    EXPECT_FALSE(g_app.thirdsGrid);
}

// On a 200 % screen (run with QT_SCALE_FACTOR=2) the grid is drawn at device resolution, and the
// straightening dialog's live view shows on the device layer instead of hiding under it.
TEST_F(View, GridAndStraighteningAtDevicePixels) {
    ControlSetValue(kFormatCombo, 1);
    script.file = WritePicture(In("grey.bmp"), 800, 600, kGrey, IMAGE_FORMAT_BMP,
                               [](raster::Bitmap& bm) { raster::FillRect(bm, 0, 0, 400, 600, 0); });
    DispatchControl(kLoadButton);
    const double ratio = Ratio();
    if (ratio == 1) return;
    ASSERT_EQ(ratio, 2);
    const raster::Bitmap& device = *WindowDeviceDrawTarget(kMainWindow, 11, 11, 488, 488)->surface;
    auto at = [&](int clientX, int clientY, int dx = 0, int dy = 0) {
        return raster::GetPixel(device, 2 * (clientX - 11) + dx, 2 * (clientY - 11) + dy);
    };

    // Over the grey half: lines at client columns 334, 404 and rows 107, 153.
    PlaceFrame({250, 40, 210, 140});
    Command(kCommandThirds);
    for (int x : {334, 404}) {
        EXPECT_EQ(at(x, 62), kWhite) << x;
        EXPECT_EQ(at(x, 62, 1, 1), kWhite) << "two device pixels wide and long at " << x;
        EXPECT_EQ(at(x, 62, 0, 2), kGrey) << "then a gap at " << x;
        EXPECT_EQ(at(x, 62, 2, 0), kGrey) << x;
    }
    for (int y : {107, 153}) {
        EXPECT_EQ(at(266, y, 1, 1), kWhite) << y;
        EXPECT_EQ(at(266, y, 2, 0), kGrey) << y;
        EXPECT_EQ(at(266, y, 0, 2), kGrey) << y;
    }
    Command(kCommandThirds);

    // Straightened by 10 degrees the black half's edge leans: on the device layer as on the
    // window's surface, and the frame is left out of both.
    ASSERT_EQ(at(270, 60), kYellow);
    int checked = 0;
    script.shown = {10.0};
    script.onShown = [&](double) {
        EXPECT_NE(at(270, 60), kYellow) << "the frame is left out";
        for (int y = 40; y < 340; y += 10)
            for (int x = 30; x < 480; x += 10, ++checked) {
                // Dark on the window's surface is dark on the device layer, light is light.
                const uint32_t surface = Surface(x, y) & 0xff, device = at(x, y) & 0xff;
                EXPECT_EQ(surface < 0x40, surface < 0x40 && device < 0x40) << x << "," << y;
                EXPECT_EQ(surface > 0x70, surface > 0x70 && device > 0x70) << x << "," << y;
            }
        // The edge at the top and the bottom rows lies in other columns.
        int topEdge = 0, bottomEdge = 0;
        while (topEdge < 480 && (at(14 + topEdge, 30) & 0xff) < 0x40)
            ++topEdge;
        while (bottomEdge < 480 && (at(14 + bottomEdge, 330) & 0xff) < 0x40)
            ++bottomEdge;
        EXPECT_GT(std::abs(topEdge - bottomEdge), 20);
    };
    RunEditCommand(kCommandStraighten);
    EXPECT_GT(checked, 1000);
    EXPECT_EQ(at(270, 60), kYellow) << "cancelled: the preview as it was";
}

// Typed values go through the form's rules and land as the nearest frame the preview holds: the
// status line and the picture's cut, which the export takes, say so; bad values are refused or
// brought inside in the dialog and never applied half.
TEST_F(View, FrameByNumbers) {
    ControlSetValue(kFormatCombo, 1);  // 10 x 15 across
    LoadPhoto(800, 600);
    const std::string untouched = State();

    struct Case {
        std::vector<std::string> typed;
        int button;          // -1: none, else pressed before OK
        const char* why;     // the check's answer to what was typed, to its first comma
        const char* status;  // "" when nothing is applied
    };
    const Case cases[] = {
        {{"100", "50", "300", "200"}, -1, "", "Bild: 800x600 / Auswahl: 300x200"},
        {{"100", "50", "300", "200"}, 1, "", "Bild: 800x600 / Auswahl: 800x533"},
        {{"1", "2", "360", "240"}, 0, "", "Bild: 800x600 / Auswahl: 360x240"},
        // (Its whole answer: the frame test.)
        {{"600", "500", "300", "200"}, -1, "Links: höchstens 500", ""},
    };
    for (const Case& c : cases) {
        std::string why = "unasked";
        script.play = [&](const FieldForm& f, std::vector<std::string>& values) {
            EXPECT_EQ(f.labels, (std::vector<std::string>{"Links", "Oben", "Breite", "Höhe"}));
            EXPECT_EQ(f.buttons, (std::vector<std::string>{"Zentrieren", "Maximal"}));
            values = c.typed;
            if (c.button >= 0) {
                EXPECT_EQ(f.pressed(c.button, values), "");
            }
            std::vector<std::string> checked = values;
            why = f.check(checked);
            return true;
        };
        Command(kCommandFrameNumbers);
        EXPECT_EQ(script.title, "Rahmen");
        EXPECT_EQ(why.substr(0, why.find(',')), c.why) << c.typed[0];
        if (*c.status) {
            EXPECT_STREQ(ControlGetText(kStatusLine), c.status) << c.typed[0];
        } else {
            EXPECT_EQ(State(), untouched) << c.typed[0];
        }
        LoadPicture(In("photo.bmp"));
    }

    // The height follows the width and the width the height; centred keeps the size.
    script.play = [](const FieldForm& f, std::vector<std::string>& values) {
        values = {"10", "10", "450", "1"};
        f.edited(2, values);
        EXPECT_EQ(values[3], "300");
        values[3] = "100";
        f.edited(3, values);
        EXPECT_EQ(values[2], "150");
        EXPECT_EQ(f.pressed(0, values), "");
        EXPECT_EQ(values, (std::vector<std::string>{"325", "250", "150", "100"}));
        values = {"100", "50", "300", "200"};
        return true;
    };
    Command(kCommandFrameNumbers);
    const PixelRect cut = SelectionCut();
    EXPECT_EQ(Frame(), "180x120 at 60,30");
    EXPECT_EQ(std::make_tuple(cut.left, cut.top, cut.width, cut.height),
              std::make_tuple(100, 50, 300, 200));
}

// The fit on the screen; the captions of other sizes: ResultViewShowsWhatTheExportWrites.
TEST(ResultView, FitAndCaption) {
    // The result's size, the room on the screen, the size shown.
    const std::tuple<int, int, int, int, const char*> fits[] = {
        {1800, 1200, 1904, 1016, "1524x1016"}, {1800, 1200, 1800, 1200, "1800x1200"},
        {600, 900, 1904, 1016, "600x900"},     {1200, 1800, 1904, 1016, "677x1016"},
        {10000, 10, 100, 100, "100x1"},        {1000, 1000, 1904, 1016, "1000x1000"}};
    for (auto [width, height, room, roomHeight, shown] : fits) {
        const auto [w, h] = ResultFit(width, height, room, roomHeight);
        EXPECT_EQ(std::to_string(w) + "x" + std::to_string(h), shown) << width;
    }
    EXPECT_EQ(ResultCaption(3, 1200, 1800), "1200 x 1800 Pixel, 15 x 20 cm: 203 dpi");
}

// What the result view shows is the file an export writes with the same settings (a PNG, so
// every pixel counts): at its own size where it fits the screen, else reduced by the export's
// smoothing stretch. Looking changes nothing; the export after it is the one it showed.
TEST_F(View, ResultViewShowsWhatTheExportWrites) {
    ControlSetValue(kFormatCombo, 1);
    LoadPhoto(1500, 1000);
    int room = 0, roomHeight = 0;
    double ratio = 0;
    ASSERT_TRUE(WindowScreenArea(kMainWindow, room, roomHeight, ratio));
    Use(kGammaBar, 90);
    Use(kCastCheckBox, 1);
    g_app.output.sharpen = Sharpening::Screen;

    // The offscreen screen is smaller than the whole picture.
    ASSERT_LT(roomHeight, 1000);
    // The output size, the frame, the caption and whether the result fits on the screen.
    const std::tuple<int, Selection, const char*, bool> cases[] = {
        {2, {40, 30, 300, 0}, "450 x 300 Pixel, 10 x 15 cm: 76 dpi", true},
        {0, {0, 0, 480, 0}, "1500 x 1000 Pixel, 10 x 15 cm: 254 dpi", false},
        {7, {0, 0, 480, 0}, "100 x 75 Pixel", true}};
    for (const auto& [preset, frame, caption, fits] : cases) {
        ControlSetValue(kOutputCombo, preset);
        Use(kFormatCombo, preset == 7 ? 7 : 1);
        PlaceFrame(frame);
        RedrawPreview(ReadWindowSettings());
        const std::string before = State();
        const size_t steps = g_app.document.StepCount();
        Command(kCommandResultView);
        EXPECT_EQ(script.title, "Ergebnis");
        EXPECT_EQ(script.caption, caption);
        ASSERT_TRUE(script.picture);
        EXPECT_EQ(State(), before) << "looking changes nothing";
        EXPECT_EQ(g_app.document.StepCount(), steps);

        // The export with the same settings; its commit is taken back for the next case.
        const std::string file = In("export" + std::to_string(preset) + ".png");
        script.file = file;
        DispatchControl(kSaveButton);
        ASSERT_TRUE(ImageLoadFile(7, file.c_str()));
        RunEditCommand(kCommandUndo);
        ASSERT_EQ(State(), before);
        const raster::Bitmap& written = *ImageGetBitmap(7);
        std::unique_ptr<raster::Bitmap> expected = raster::Clone(written);
        if (!fits) {
            EXPECT_LE(script.picture->width, room) << preset;
            EXPECT_LE(script.picture->height, roomHeight) << preset;
            expected =
                raster::Create(script.picture->width, script.picture->height, 24, true, false);
            ASSERT_TRUE(OutputResize(written, *expected));
        }
        EXPECT_EQ(DifferingPixels(*script.picture, *expected), 0) << preset;
    }
}

}  // namespace
