// Windows and the event queue: time-outs, coalescing, close requests, drops, the cursor, the
// client-area surface and the Tab cycle.
#include <QCloseEvent>
#include <QCursor>
#include <QGroupBox>
#include <QMimeData>
#include <QMoveEvent>
#include <QPointer>
#include <QResizeEvent>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <chrono>

#include "imagelib/draw.h"
#include "platform/input.h"
#include "toolkit_fixture.h"

namespace {

using WindowTest = ToolkitTest;

struct ScriptedInput : InputSource {
    int x = 0, y = 0;
    bool LeftButtonDown() override { return false; }
    void CursorScreenPos(int& ox, int& oy) override {
        ox = x;
        oy = y;
    }
};

TEST(ToolkitStart, RefusesWithoutADisplay) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Qt would end the process on an X display it cannot open; the toolkit says no instead.
    EXPECT_EXIT(
        {
            setenv("QT_QPA_PLATFORM", "xcb", 1);
            setenv("DISPLAY", ":9876", 1);
            unsetenv("WAYLAND_DISPLAY");
            std::exit(ToolkitInit() ? 1 : 7);
        },
        ::testing::ExitedWithCode(7), "");
}

TEST_F(WindowTest, OpenReplacesAndClosesByNumber) {
    QPointer<QWidget> first = Window(0);
    uintptr_t again = WindowOpen(0, 0, 0, 100, 80, "Zweites", 0xCA0001);
    ASSERT_NE(again, 0u);
    EXPECT_TRUE(first.isNull()) << "reopening a number closes the old window first";
    EXPECT_EQ(WindowHandle(0), again);
    EXPECT_EQ(WindowHandle(1), 0u);
    EXPECT_EQ(WindowOpen(-1, 0, 0, 10, 10, "x", 0), 0u);

    ASSERT_NE(WindowOpen(20, 0, 0, 50, 50, "Zwanzig", 0), 0u);  // beyond the first capacity
    QPointer<QWidget> w20 = Window(20);
    WindowCloseAll();
    EXPECT_EQ(WindowHandle(0), 0u);
    EXPECT_EQ(WindowHandle(20), 0u);
    EXPECT_TRUE(w20.isNull());
    WindowClose(3);  // free number: nothing
}

TEST_F(WindowTest, MainWindowFrameAndPlacement) {
    ASSERT_NE(WindowOpen(0, 240, 115, 711, 562, "Kadrovo", 0xCA0001), 0u);
    QWidget* w = Window(0);
    EXPECT_EQ(w->size(), QSize(711, 562));
    EXPECT_EQ(w->minimumSize(), w->maximumSize()) << "no sizing border";
    Qt::WindowFlags f = w->windowFlags();
    EXPECT_TRUE(f & Qt::WindowTitleHint);
    EXPECT_TRUE(f & Qt::WindowSystemMenuHint);
    EXPECT_TRUE(f & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(f & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(w->testAttribute(Qt::WA_AlwaysShowToolTips));
    EXPECT_EQ(w->windowTitle(), "Kadrovo");
    WindowSetTitle(0, "Kadrovo V0.3");
    WindowSetTitle(0, nullptr);
    EXPECT_EQ(w->windowTitle(), "Kadrovo V0.3");

    // Centred on the screen: the position given is ignored.
    QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_NEAR(w->pos().x(), avail.x() + (avail.width() - 711) / 2, 2);
    EXPECT_NEAR(w->pos().y(), avail.y() + (avail.height() - 562) / 2, 2);

    ASSERT_NE(WindowOpen(1, 33, 44, 100, 100, "Versteckt", WINDOW_HIDDEN), 0u);
    EXPECT_FALSE(Window(1)->isVisible());
}

TEST_F(WindowTest, EventWaitTimeouts) {
    struct Case {
        int timeout;
        long long minMs, maxMs;
    };
    for (Case c : {Case{0, 0, 100}, Case{200, 150, 2000}, Case{50, 30, 1000}}) {
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(EventWait(c.timeout), EVENT_NONE) << c.timeout;
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
        EXPECT_GE(ms, c.minMs) << c.timeout;
        EXPECT_LE(ms, c.maxMs) << c.timeout;
        EXPECT_EQ(EventDetail(), -1);
    }
}

TEST_F(WindowTest, WaitForEverReturnsTheNextEvent) {
    QTimer::singleShot(50, [] { Window(0)->close(); });
    EXPECT_EQ(EventWait(-1), EVENT_CLOSE);
    EXPECT_EQ(EventWindowNumber(), 0);
}

TEST_F(WindowTest, BurstsOfTheSameWindowEventAreReportedOnce) {
    QWidget* w = Window(0);
    auto move = [w] {
        QMoveEvent e(QPoint(1, 1), QPoint(0, 0));
        QCoreApplication::sendEvent(w, &e);
    };
    auto resize = [w] {
        QResizeEvent e(w->size(), w->size());
        QCoreApplication::sendEvent(w, &e);
    };
    move();
    move();
    move();
    resize();
    resize();
    move();
    ToolkitPostControlEvent(0, 4, 0);
    move();
    move();
    std::vector<int> codes;
    for (const auto& e : Drain())
        codes.push_back(e.code);
    EXPECT_EQ(codes, (std::vector<int>{EVENT_MOVED, EVENT_RESIZED, EVENT_MOVED, EVENT_CONTROL,
                                       EVENT_MOVED}));
}

TEST_F(WindowTest, CloseRequestKeepsTheWindowOpen) {
    QWidget* w = Window(0);
    w->close();
    auto events = Drain();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().code, EVENT_CLOSE);
    EXPECT_EQ(events.back().window, 0);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(Window(0), w);
}

TEST_F(WindowTest, DetailIsResetButSourceKept) {
    ToolkitPostControlEvent(0, 17, 9);
    QCloseEvent close;
    QCoreApplication::sendEvent(Window(0), &close);
    EXPECT_EQ(EventWait(0), EVENT_CONTROL);
    EXPECT_EQ(EventSource(), 17);
    EXPECT_EQ(EventDetail(), 9);
    EXPECT_EQ(EventWait(0), EVENT_CLOSE);
    EXPECT_EQ(EventSource(), 17);
    EXPECT_EQ(EventDetail(), -1);
    EXPECT_EQ(EventWait(0), EVENT_NONE);
    EXPECT_EQ(EventDetail(), -1);
}

TEST_F(WindowTest, DroppedFilesComeWithAHandle) {
    WindowAcceptFiles(0, true);
    EXPECT_TRUE(Window(0)->acceptDrops());
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile("/tmp/erstes bild.jpg"), QUrl("https://example.org/x.png"),
                  QUrl::fromLocalFile("/tmp/zweites.png")});
    QDragEnterEvent enterLocal(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    enterLocal.setAccepted(false);
    QCoreApplication::sendEvent(Window(0), &enterLocal);
    EXPECT_TRUE(enterLocal.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Window(0), &drop);
    ASSERT_EQ(EventWait(0), EVENT_DROPFILES);
    uintptr_t h = EventParam();
    ASSERT_EQ(DropQueryCount(h), 2);
    EXPECT_EQ(DropQueryFile(h, 0), "/tmp/erstes bild.jpg");
    EXPECT_EQ(DropQueryFile(h, 1), "/tmp/zweites.png");
    EXPECT_EQ(DropQueryFile(h, 2), "");
    EXPECT_EQ(DropQueryFile(h, -1), "");
    DropFinish(h);
    EXPECT_EQ(DropQueryCount(h), 0);
    EXPECT_EQ(DropQueryCount(0), 0);

    // Only local files are offered to the window.
    QMimeData remote;
    remote.setUrls({QUrl("https://example.org/x.png")});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &remote, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QCoreApplication::sendEvent(Window(0), &enter);
    EXPECT_FALSE(enter.isAccepted());
}

TEST_F(WindowTest, CursorPositionInTheClientArea) {
    ScriptedInput input;
    InputSetSource(&input);
    QWidget* w = Window(0);
    QPoint origin = w->mapToGlobal(QPoint(0, 0));
    int cw = w->width(), ch = w->height();
    struct Case {
        int dx, dy, x, y;
    };
    for (Case c :
         {Case{0, 0, 0, 0}, Case{17, 29, 17, 29}, Case{cw, ch, cw, ch}, Case{cw + 1, 5, -1, -1},
          Case{5, ch + 1, -1, -1}, Case{-1, 5, -1, -1}, Case{5, -1, -1, -1}}) {
        input.x = origin.x() + c.dx;
        input.y = origin.y() + c.dy;
        EXPECT_EQ(WindowCursorX(0), c.x) << c.dx << "," << c.dy;
        EXPECT_EQ(WindowCursorY(0), c.y) << c.dx << "," << c.dy;
    }
    EXPECT_EQ(WindowCursorX(9), -1);
    EXPECT_EQ(WindowCursorY(9), -1);

    // Without a script the real pointer counts.
    InputSetSource(nullptr);
    QCursor::setPos(origin + QPoint(7, 9));
    EXPECT_EQ(WindowCursorX(0), 7);
    EXPECT_EQ(WindowCursorY(0), 9);
    EXPECT_FALSE(InputCurrent().LeftButtonDown());
}

TEST_F(WindowTest, DrawnSurfaceShowsThroughAFrame) {
    ControlCreateFrame(0, 10, 10, 200, 200, "");
    DrawTarget* t = WindowDrawTarget(0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(WindowDrawTarget(5), nullptr);
    EXPECT_EQ(t->kind, 1);
    ASSERT_NE(t->surface, nullptr);
    EXPECT_EQ(t->surface->width, 400);
    EXPECT_EQ(t->surface->height, 300);
    EXPECT_EQ(t->surface->bpp, 32);
    // Paint a block in pure red (blue, green, red in memory) inside the frame.
    for (int y = 50; y < 60; ++y) {
        uint8_t* row = t->surface->Row(y);
        for (int x = 50; x < 60; ++x) {
            row[x * 4 + 0] = 0;
            row[x * 4 + 1] = 0;
            row[x * 4 + 2] = 255;
        }
    }
    ASSERT_NE(t->finish, nullptr);
    t->finish(t);
    EXPECT_TRUE(WaitFor([] {
        for (const auto& e : Drain())
            if (e.code == EVENT_REPAINT) return true;
        return false;
    }));
    // The grab may come at a reduced colour depth: compare loosely.
    auto red = [](QColor c) { return c.red() > 240 && c.green() < 16 && c.blue() < 16; };
    QImage shot = Window(0)->grab().toImage();
    EXPECT_TRUE(red(shot.pixelColor(55, 55))) << "inside the frame";
    EXPECT_FALSE(red(shot.pixelColor(300, 250)));

    WindowClose(0);
    EXPECT_EQ(t->surface, nullptr) << "a closed window's target draws nowhere";
}

TEST_F(WindowTest, TabCyclesThroughTabStopsInCreationOrder) {
    QWidget* w = Window(0);
    ControlCreateButton(10, 0, 0, 50, 20, "eins", 0);
    ControlCreateText(11, 0, 30, 50, 20, "Text", 0);  // not a tab stop
    ControlCreateCheckBox(12, 0, 60, 50, 20, "zwei");
    ControlCreateButton(13, 0, 90, 50, 20, "versteckt", 0);
    ControlHide(13, 1);
    ControlCreateComboBox(14, 0, 120, 80, 100);
    ControlCreateProgressBar(15, 0, 150, 80, 20, 0, 10, 1);  // not a tab stop
    ControlCreateTrackBar(16, 0, 180, 80, 30, 0, 10);
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    Drain();

    auto focused = [w] {
        for (int n : {10, 12, 13, 14, 16})
            if (w->focusWidget() == ToolkitControlWidget(n)) return n;
        return -1;
    };
    std::vector<int> forward;
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(w->focusWidget() ? w->focusWidget() : w, Qt::Key_Tab);
        forward.push_back(focused());
    }
    EXPECT_EQ(forward, (std::vector<int>{10, 12, 14, 16, 10}));
    std::vector<int> backward;
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(w->focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        backward.push_back(focused());
    }
    EXPECT_EQ(backward, (std::vector<int>{16, 14, 12}));

    // The key press still comes out as key down with its virtual key.
    Drain();
    QTest::keyClick(w->focusWidget(), Qt::Key_Tab);
    int code = EventWait(0);
    while (code != EVENT_NONE && code != EVENT_KEYDOWN)
        code = EventWait(0);
    EXPECT_EQ(code, EVENT_KEYDOWN);
    EXPECT_EQ(EventParam(), 9u);
}

TEST_F(WindowTest, MouseInputIsReportedOncePerPress) {
    ControlCreateFrame(1, 10, 10, 200, 200, "");
    Drain();
    // The press lands on the frame, which passes it on to the window: still one event.
    QTest::mousePress(ToolkitControlWidget(1), Qt::LeftButton, {}, QPoint(50, 50));
    QTest::mouseRelease(ToolkitControlWidget(1), Qt::LeftButton, {}, QPoint(50, 50));
    int downs = 0, ups = 0;
    for (const auto& e : Drain()) {
        downs += e.code == EVENT_LBUTTONDOWN;
        ups += e.code == EVENT_LBUTTONUP;
        if (e.code == EVENT_LBUTTONDOWN) {
            EXPECT_EQ(e.window, 0);
        }
    }
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(ups, 1);

    // Moving over a control without a button: one event, from the window.
    ControlCreateText(2, 250, 10, 100, 15, "Gamma:", 0);
    Drain();
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), Window(0)->mapToGlobal(QPointF(253, 13)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(ToolkitControlWidget(2), &move);
    int moves = 0;
    for (const auto& e : Drain()) {
        if (e.code != EVENT_MOUSEMOVE) continue;
        ++moves;
        EXPECT_EQ(e.window, 0);
    }
    EXPECT_EQ(moves, 1);
}

TEST_F(WindowTest, ActivationIsReported) {
    ASSERT_NE(WindowOpen(1, 0, 0, 100, 100, "Zweites", 0), 0u);
    Drain();
    Window(0)->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window(0)));
    bool activated = false;
    for (const auto& e : Drain())
        if (e.code == EVENT_ACTIVATED && e.window == 0) activated = true;
    EXPECT_TRUE(activated);
}

}  // namespace
