// Windows and the event queue: coalescing, the main window's draw target and the Tab cycle.
// Time-outs, close requests, dropped files and the cursor are the end-to-end tests' (start_quit,
// desktop_session, load_drag).
#include <QMoveEvent>
#include <QResizeEvent>

#include "platform/draw_target.h"
#include "toolkit_fixture.h"

namespace {

using WindowTest = ToolkitTest;

TEST_F(WindowTest, BurstsOfTheSameWindowEventAreReportedOnce) {
    QWidget* w = Window(0);
    for (char c : std::string("mmmrrmcmm")) {
        QMoveEvent move(QPoint(1, 1), QPoint(0, 0));
        QResizeEvent resize(w->size(), w->size());
        if (c == 'c')
            ToolkitPostControlEvent(0, 4, 0);
        else
            QCoreApplication::sendEvent(w, c == 'm' ? static_cast<QEvent*>(&move) : &resize);
    }
    std::vector<int> codes;
    for (const auto& e : Drain())
        codes.push_back(e[0]);
    EXPECT_EQ(codes, (std::vector<int>{EVENT_MOVED, EVENT_RESIZED, EVENT_MOVED, EVENT_CONTROL,
                                       EVENT_MOVED}));
}

// Size, centring, title and what is drawn are checked on the real program by the end-to-end tests.
TEST_F(WindowTest, MainWindowIsFixedAndItsDrawTargetEndsWithIt) {
    QWidget* w = Window(0);
    EXPECT_TRUE(w->minimumSize() == w->maximumSize() &&
                !(w->windowFlags() & Qt::WindowMaximizeButtonHint))
        << "no sizing border";
    DrawTarget* t = WindowDrawTarget(0);
    ASSERT_TRUE(t && t->surface && !WindowDrawTarget(5));
    WindowClose(0);
    EXPECT_EQ(t->surface, nullptr) << "a closed window's target draws nowhere";
}

// The cycle reads the layout row by row, left to right, whatever the creation order; Return
// presses the button that has the focus.
TEST_F(WindowTest, TabFollowsTheLayoutAndReturnPressesTheFocusedButton) {
    QWidget* w = Window(0);
    ControlCreateButton(10, 100, 3, 50, 20, "eins", 0);  // right of 16, a little lower
    ControlCreateText(11, 0, 30, 50, 20, "Text", 0);     // not a tab stop
    ControlCreateCheckBox(12, 0, 60, 50, 20, "zwei");
    ControlCreateButton(13, 0, 90, 50, 20, "versteckt", 0);
    ControlHide(13, 1);
    ControlCreateComboBox(14, 0, 120, 80, 100);
    ControlCreateProgressBar(15, 0, 150, 80, 20, 0, 10, 1);  // not a tab stop
    ControlCreateTrackBar(16, 0, 0, 80, 30, 0, 10);
    ASSERT_TRUE(Activate());
    Drain();
    auto press = [w](Qt::Key key, int times) {
        std::vector<int> focused;
        while (times--) {
            QTest::keyClick(w->focusWidget() ? w->focusWidget() : w, key,
                            key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
            focused.push_back(-1);
            for (int c : {10, 12, 13, 14, 16})
                if (w->focusWidget() == ControlWidget(c)) focused.back() = c;
        }
        return focused;
    };
    EXPECT_EQ(press(Qt::Key_Tab, 5), (std::vector<int>{16, 10, 12, 14, 16}));
    EXPECT_EQ(press(Qt::Key_Backtab, 3), (std::vector<int>{14, 12, 10}));
    Drain();
    QTest::keyClick(w->focusWidget(), Qt::Key_Return);
    EXPECT_EQ(Drain(true), (std::vector<RecordedEvent>{{EVENT_CONTROL, 10, 0, 0}}));
}

}  // namespace
