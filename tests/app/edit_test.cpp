// Turn, mirror, straighten, undo and redo in the window: the picture, its preview, frame and
// status line after each, and the settings given back.
#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <string>
#include <tuple>

#include "app/edit.h"
#include "main_window_fixture.h"
#include "picture/orient.h"
#include "picture/straighten.h"
#include "toolkit/window.h"

namespace {

class Edit : public MainWindowTest {
protected:
    // The user sets `control` to `value`; its event as the loop hands it on.
    void Event(int control, int value) {
        ControlSetValue(control, value);
        g_app.eventSource = control;
        HandleEvent(EVENT_CONTROL);
    }
    static std::string Status() { return ControlGetText(kStatusLine); }
    static std::unique_ptr<raster::Bitmap> Picture() {
        return raster::Clone(*ImageGetBitmap(kPictureImage));
    }
};

// Each command changes the picture as its pure operation does, lays the frame as for a new
// picture, keeps the bars and shows the new size; undo takes the window back to the picture and
// the status it loaded with, redo to the last (each step bit for bit: the document's tests).
TEST_F(Edit, TurnMirrorAndStraightenUndoAndRedo) {
    LoadPhoto();
    // The straightening dialog's cancel and a value outside the range change nothing; the live
    // preview leaves the picture alone and the window is painted as before once it is gone.
    const std::string before = State();
    for (double answer : {std::nan(""), 15.5, -20.0}) {
        script.number = answer;
        script.shown = {15.0, -15.0};
        StraightenRequested();
        EXPECT_EQ(State(), before) << answer;
    }
    ASSERT_FALSE(g_app.document.CanUndo());
    Event(kGammaBar, 120);
    const std::string loaded = Pixels(kPictureImage), loadedStatus = Status();
    const auto original = Picture();
    // The command; the turn of the picture before, or the angle from the one as loaded; the
    // status line (the picture's size, then the frame's: laid anew) and the portrait toggle.
    const std::tuple<int, PixelOrientation, double, std::string, bool> cases[] = {
        {kCommandTurnRight, kTurnRight, 0, "Bild: 200x300 / Auswahl: 200x289", true},
        {kCommandMirror, kMirror, 0, "Bild: 200x300 / Auswahl: 200x289", true},
        {kCommandStraighten, {}, 4.5, "Bild: 179x269 / Auswahl: 179x259", true},
        {kCommandTurnLeft, kTurnLeft, 0, "Bild: 269x179 / Auswahl: 259x179", false},
    };
    for (const auto& [command, turn, angle, status, portrait] : cases) {
        SCOPED_TRACE(command);
        script.number = angle;
        script.shown = {1.0, -2.0};
        const auto before = Picture();
        ASSERT_TRUE(RunEditCommand(command));
        // Straightened from the turned and mirrored picture as loaded, by one straightening.
        const auto expected = angle != 0
                                  ? Straighten(*original, Compose(kTurnRight, kMirror), angle)
                                  : Orient(*before, turn);
        EXPECT_EQ(DifferingPixels(*ImageGetBitmap(kPictureImage), *expected), 0);
        EXPECT_EQ(Status(), status);
        EXPECT_EQ(ControlGetValue(kPortraitToggle), portrait ? 1 : 0);
        EXPECT_EQ(ControlGetValue(kGammaBar), 120);
        EXPECT_TRUE(PreviewCaptured());
    }
    const std::string last = Pixels(kPictureImage);
    for (size_t i = 0; i < std::size(cases); ++i)
        ASSERT_TRUE(RunEditCommand(kCommandUndo));
    EXPECT_EQ(Pixels(kPictureImage), loaded);
    EXPECT_EQ(Status(), loadedStatus);
    ASSERT_TRUE(RunEditCommand(kCommandUndo));  // the bar's move
    EXPECT_EQ(ControlGetValue(kGammaBar), 155);
    EXPECT_EQ(std::string(ControlGetText(kGammaLabel)), "Gamma: 100");
    for (size_t i = 0; i <= std::size(cases); ++i)
        ASSERT_TRUE(RunEditCommand(kCommandRedo));
    EXPECT_EQ(Pixels(kPictureImage), last);
    EXPECT_EQ(ControlGetValue(kGammaBar), 120);
    // A new picture starts a new history.
    LoadPhoto();
    RunEditCommand(kCommandUndo);
    EXPECT_EQ(Pixels(kPictureImage), loaded);
}

// Settings: the events of one bar's run make one step until the loop's wait ends it; a format
// choice is a step of its own and takes its frame back with it.
TEST_F(Edit, SettingsStepsAndRuns) {
    LoadPhoto();
    const std::string start = Frame();
    for (int v : {150, 140, 130})
        Event(kWhiteBar, v);
    HistoryEndRun();
    Event(kWhiteBar, 120);
    Event(kFormatCombo, 8);
    ASSERT_NE(Frame(), start);
    Event(kOutputCombo, 3);
    const std::pair<int, int> undone[] = {
        {kOutputCombo, 0}, {kFormatCombo, 0}, {kWhiteBar, 130}, {kWhiteBar, 255}};
    for (const auto& [control, value] : undone) {
        ASSERT_TRUE(RunEditCommand(kCommandUndo));
        EXPECT_EQ(ControlGetValue(control), value) << control;
    }
    EXPECT_EQ(Frame(), start);
    EXPECT_FALSE(g_app.document.CanUndo());
}

}  // namespace
