// Windows and the event queue: time-outs, coalescing, close requests, drops, the cursor, the
// main window's draw target and the Tab cycle.
#include <QCloseEvent>
#include <QMimeData>
#include <QMoveEvent>
#include <QResizeEvent>
#include <QTimer>
#include <QUrl>

#include "platform/draw_target.h"
#include "platform/input.h"
#include "toolkit_fixture.h"

namespace {

using WindowTest = ToolkitTest;

struct ScriptedInput : InputSource {
    int x = 0, y = 0;
    bool LeftButtonDown() override { return false; }
    void CursorScreenPos(int& ox, int& oy) override { ox = x, oy = y; }
};

TEST_F(WindowTest, EventWaitTimeouts) {
    // A time-out gives 0 with the detail -1; -1 waits for ever: until the next event.
    for (int timeout : {0, 20}) {
        EXPECT_EQ(EventWait(timeout), EVENT_NONE) << timeout;
        EXPECT_EQ(EventDetail(), -1);
    }
    QTimer::singleShot(50, [] { Window(0)->close(); });
    EXPECT_EQ(EventWait(-1), EVENT_CLOSE);
    EXPECT_EQ(EventWindowNumber(), 0);
}

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
        codes.push_back(e.code);
    EXPECT_EQ(codes, (std::vector<int>{EVENT_MOVED, EVENT_RESIZED, EVENT_MOVED, EVENT_CONTROL,
                                       EVENT_MOVED}));
}

TEST_F(WindowTest, CloseRequestKeepsTheWindowOpenAndResetsOnlyTheDetail) {
    QWidget* w = Window(0);
    ToolkitPostControlEvent(0, 17, 9);
    w->close();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(Window(0), w);
    for (auto [code, detail] : {std::pair{EVENT_CONTROL, 9}, {EVENT_CLOSE, -1}, {EVENT_NONE, -1}}) {
        EXPECT_EQ(EventWait(0), code);
        EXPECT_EQ(EventSource(), 17) << code;
        EXPECT_EQ(EventDetail(), detail) << code;
    }
}

TEST_F(WindowTest, DroppedLocalFilesComeWithAHandle) {
    WindowAcceptFiles(0, true);
    auto drag = [](std::initializer_list<QUrl> urls, bool drop) {
        QMimeData mime;
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, {});
        enter.setAccepted(false);
        QCoreApplication::sendEvent(Window(0), &enter);
        QDropEvent dropEvent(QPointF(5, 5), Qt::CopyAction, &mime, Qt::NoButton, {});
        if (drop) QCoreApplication::sendEvent(Window(0), &dropEvent);
        return enter.isAccepted();
    };
    EXPECT_FALSE(drag({QUrl("https://example.org/x.png")}, false)) << "only local files";
    EXPECT_TRUE(drag({QUrl::fromLocalFile("/tmp/erstes bild.jpg"),
                      QUrl("https://example.org/x.png"), QUrl::fromLocalFile("/tmp/zweites.png")},
                     true));
    ASSERT_EQ(EventWait(0), EVENT_DROPFILES);
    uintptr_t h = EventParam();
    ASSERT_EQ(DropQueryCount(h), 2);
    EXPECT_EQ(DropQueryFile(h, 0), "/tmp/erstes bild.jpg");
    EXPECT_EQ(DropQueryFile(h, 1), "/tmp/zweites.png");
    EXPECT_EQ(DropQueryFile(h, 2), "");
    DropFinish(h);
    EXPECT_EQ(DropQueryCount(h), 0);
}

TEST_F(WindowTest, CursorPositionInTheClientArea) {
    ScriptedInput input;
    InputSetSource(&input);
    QWidget* w = Window(0);
    QPoint origin = w->mapToGlobal(QPoint(0, 0));
    int cw = w->width(), ch = w->height();
    // Both edges count as inside; outside, or for a free window number, both are -1.
    const int cases[][4] = {{0, 0, 0, 0},        {cw, ch, cw, ch}, {cw + 1, 5, -1, -1},
                            {5, ch + 1, -1, -1}, {-1, 5, -1, -1},  {5, -1, -1, -1}};
    for (auto [dx, dy, x, y] : cases) {
        input.x = origin.x() + dx;
        input.y = origin.y() + dy;
        EXPECT_EQ(WindowCursorX(0), x) << dx << "," << dy;
        EXPECT_EQ(WindowCursorY(0), y) << dx << "," << dy;
    }
    EXPECT_EQ(WindowCursorX(9), -1);
    InputSetSource(nullptr);  // the real pointer: driven by the end-to-end tests
}

// Size, centring, title and what is drawn are checked on the real program by the end-to-end tests.
TEST_F(WindowTest, MainWindowIsFixedAndItsDrawTargetEndsWithIt) {
    QWidget* w = Window(0);
    EXPECT_EQ(w->minimumSize(), w->maximumSize()) << "no sizing border";
    EXPECT_FALSE(w->windowFlags() & Qt::WindowMaximizeButtonHint);
    DrawTarget* t = WindowDrawTarget(0);
    ASSERT_TRUE(t && t->surface);
    EXPECT_EQ(WindowDrawTarget(5), nullptr);
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
        for (int i = 0; i < times; ++i) {
            QTest::keyClick(w->focusWidget() ? w->focusWidget() : w, key,
                            key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
            int n = -1;
            for (int c : {10, 12, 13, 14, 16})
                if (w->focusWidget() == ToolkitControlWidget(c)) n = c;
            focused.push_back(n);
        }
        return focused;
    };
    EXPECT_EQ(press(Qt::Key_Tab, 5), (std::vector<int>{16, 10, 12, 14, 16}));
    EXPECT_EQ(press(Qt::Key_Backtab, 3), (std::vector<int>{14, 12, 10}));
    Drain();
    QTest::keyClick(w->focusWidget(), Qt::Key_Return);
    EXPECT_EQ(ControlEvents(Drain()), (std::vector<RecordedEvent>{{EVENT_CONTROL, 10, 0, 0}}));
}

}  // namespace
