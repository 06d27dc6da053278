// Controls: creation and replacement, values, user events and their absence for program-set
// values and hidden controls, track bar drags, combo box notifications, tooltips and colours.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include "toolkit_fixture.h"

namespace {

using ControlTest = ToolkitTest;

// Creates one control of each kind under numbers 1 to 9.
void MakeOneOfEach() {
    ControlCreateFrame(1, 10, 10, 200, 200, "Rahmen");
    ControlCreateText(2, 10, 220, 100, 15, "Gamma:", 0);
    ControlCreateButton(3, 10, 240, 90, 40, "Bild laden...", 0);
    ControlCreateButton(4, 110, 240, 50, 22, "portrait", BUTTON_TOGGLE);
    ControlCreateButton(5, 170, 240, 110, 40, "Bild aus dem Clipboard holen", BUTTON_MULTILINE);
    ControlCreateCheckBox(6, 220, 10, 120, 15, "Farbstich entfernen");
    ControlCreateComboBox(7, 220, 30, 130, 120);
    ControlCreateTrackBar(8, 220, 60, 150, 30, 0, 10);
    ControlCreateProgressBar(9, 220, 100, 150, 20, 0, 10, PROGRESS_SMOOTH);
}

TEST_F(ControlTest, KindsTextsAndFreeNumbers) {
    MakeOneOfEach();
    struct Case {
        int number, kind;
        const char* text;
    };
    for (Case c : {Case{1, CONTROL_FRAME, "Rahmen"}, Case{2, CONTROL_TEXT, "Gamma:"},
                   Case{3, CONTROL_BUTTON, "Bild laden..."}, Case{4, CONTROL_BUTTON, "portrait"},
                   Case{5, CONTROL_BUTTON, "Bild aus dem Clipboard holen"},
                   Case{6, CONTROL_CHECKBOX, "Farbstich entfernen"}, Case{7, CONTROL_COMBOBOX, ""},
                   Case{8, CONTROL_TRACKBAR, ""}, Case{9, CONTROL_PROGRESSBAR, ""}, Case{30, 0, ""},
                   Case{-1, 0, ""}}) {
        EXPECT_EQ(ControlKindOf(c.number), c.kind) << c.number;
        EXPECT_STREQ(ControlGetText(c.number), c.text) << c.number;
    }
    ControlSetText(2, "Sättigung: 100");
    EXPECT_STREQ(ControlGetText(2), "Sättigung: 100");
    ControlSetText(3, nullptr);
    EXPECT_STREQ(ControlGetText(3), "");

    // Values of kinds without one, and every operation on a free number.
    EXPECT_EQ(ControlGetValue(1), 0);
    EXPECT_EQ(ControlGetValue(2), 0);
    EXPECT_EQ(ControlGetValue(30), 0);
    ControlSetValue(30, 5);
    ControlSetAttribute(30, ATTR_MINIMUM, 3);
    EXPECT_EQ(ControlAddItem(30, -1, "x"), 0);
    EXPECT_EQ(ControlSetTip(30, "x"), 0);
    EXPECT_STREQ(ControlGetTip(30), "");
    ControlHide(30, 1);
    ControlSetColour(30, COLOUR_TEXT, 0);
    ControlFree(30);
}

TEST_F(ControlTest, ProgramSetValuesRaiseNoEvents) {
    MakeOneOfEach();
    for (int i = 0; i < 10; ++i)
        ControlAddItem(7, -1, "Eintrag");
    Drain();
    struct Case {
        int number, value, expected;
    };
    for (Case c :
         {Case{3, 1, 0}, Case{4, 1, 1}, Case{4, 0, 0}, Case{6, 7, 1}, Case{6, 0, 0}, Case{7, 3, 3},
          Case{7, -1, -1}, Case{7, 99, -1}, Case{8, 6, 6}, Case{8, 50, 10}, Case{9, 4, 4}}) {
        ControlSetValue(c.number, c.value);
        EXPECT_EQ(ControlGetValue(c.number), c.expected) << c.number << " " << c.value;
    }
    ControlSetAttribute(8, ATTR_MAXIMUM, 255);
    ControlSetText(2, "neu");
    EXPECT_TRUE(ControlEvents(Drain()).empty());
}

TEST_F(ControlTest, ClicksRaiseOneEventEachAndToggle) {
    MakeOneOfEach();
    Drain();
    struct Case {
        int number;
        std::vector<int> valuesAfterClicks;
    };
    for (const Case& c : {Case{3, {0, 0}}, Case{4, {1, 0}}, Case{5, {0, 0}}, Case{6, {1, 0}}}) {
        QWidget* w = ToolkitControlWidget(c.number);
        for (int expected : c.valuesAfterClicks) {
            QTest::mouseClick(w, Qt::LeftButton);
            auto events = ControlEvents(Drain());
            ASSERT_EQ(events.size(), 1u) << c.number;
            EXPECT_EQ(events[0].source, c.number);
            EXPECT_EQ(events[0].detail, 0);
            EXPECT_EQ(events[0].window, 0);
            EXPECT_EQ(ControlGetValue(c.number), expected) << c.number;
        }
    }
}

TEST_F(ControlTest, HiddenControlsRaiseNoEvents) {
    MakeOneOfEach();
    ControlHide(6, 1);
    EXPECT_TRUE(ToolkitControlWidget(6)->isHidden());
    Drain();
    QTest::mouseClick(ToolkitControlWidget(6), Qt::LeftButton);
    QTest::keyClick(ToolkitControlWidget(8), Qt::Key_Right);
    ControlHide(8, 1);
    QTest::keyClick(ToolkitControlWidget(8), Qt::Key_Right);
    auto events = ControlEvents(Drain());
    ASSERT_EQ(events.size(), 1u) << "only the visible track bar's step";
    EXPECT_EQ(events[0].source, 8);

    ControlHide(6, 0);
    EXPECT_TRUE(ToolkitControlWidget(6)->isVisible());
    QTest::mouseClick(ToolkitControlWidget(6), Qt::LeftButton);
    EXPECT_EQ(ControlEvents(Drain()).size(), 1u);
}

TEST_F(ControlTest, TrackBarDragGivesOneEventPerPosition) {
    ControlCreateTrackBar(7, 20, 20, 300, 30, 0, 10);
    ControlSetAttribute(7, ATTR_MINIMUM, 20);
    ControlSetAttribute(7, ATTR_MAXIMUM, 255);
    ControlSetValue(7, 155);
    auto* slider = static_cast<QSlider*>(ToolkitControlWidget(7));
    Drain();

    QStyleOptionSlider opt;
    opt.initFrom(slider);
    opt.orientation = Qt::Horizontal;
    opt.minimum = slider->minimum();
    opt.maximum = slider->maximum();
    opt.sliderPosition = slider->sliderPosition();
    opt.sliderValue = slider->value();
    QRect handle =
        slider->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, slider);
    QPoint at = handle.center();
    QTest::mousePress(slider, Qt::LeftButton, {}, at);
    int events = 0;
    int last = slider->value();
    for (int step = 1; step <= 10; ++step) {
        QTest::mouseMove(slider, at + QPoint(step * 8, 0));
        // Every position is its own event, and the value read after it is already the new one.
        int seen = 0;
        while (int code = EventWait(0)) {
            if (code != EVENT_CONTROL) continue;
            ++seen;
            EXPECT_EQ(EventSource(), 7);
            EXPECT_EQ(EventDetail(), 0);
            EXPECT_EQ(ControlGetValue(7), slider->value());
        }
        EXPECT_GE(seen, 1) << "step " << step;
        events += seen;
        EXPECT_GT(ControlGetValue(7), last) << "step " << step;
        last = ControlGetValue(7);
    }
    QTest::mouseRelease(slider, Qt::LeftButton, {}, at + QPoint(80, 0));
    events += static_cast<int>(ControlEvents(Drain()).size());
    EXPECT_GE(events, 10);

    // Keys are notifications too, each one event; Up and Page Up go towards the minimum.
    ControlSetValue(7, 100);  // page step: (255 - 20) / 5 = 47
    struct Key {
        Qt::Key key;
        int value;
    };
    for (Key k : {Key{Qt::Key_Right, 101}, Key{Qt::Key_Up, 100}, Key{Qt::Key_Left, 99},
                  Key{Qt::Key_Down, 100}, Key{Qt::Key_PageUp, 53}, Key{Qt::Key_PageDown, 100},
                  Key{Qt::Key_Home, 20}, Key{Qt::Key_End, 255}}) {
        QTest::keyClick(slider, k.key);
        EXPECT_EQ(ControlEvents(Drain()).size(), 1u) << k.key;
        EXPECT_EQ(ControlGetValue(7), k.value) << k.key;
    }
}

TEST_F(ControlTest, TrackBarRangeKeepsThePositionWherePossible) {
    struct Case {
        int start, attribute, limit, expected;
    };
    for (Case c : {Case{155, ATTR_MINIMUM, 20, 155}, Case{155, ATTR_MINIMUM, 200, 200},
                   Case{155, ATTR_MAXIMUM, 100, 100}, Case{155, ATTR_MAXIMUM, 300, 155}}) {
        ControlCreateTrackBar(8, 0, 0, 150, 30, 0, 10);
        ControlSetAttribute(8, ATTR_MAXIMUM, 255);
        ControlSetValue(8, c.start);
        ControlSetAttribute(8, c.attribute, c.limit);
        EXPECT_EQ(ControlGetValue(8), c.expected) << c.attribute << " " << c.limit;
    }
    // Negative limits at creation are raised to 0; the position starts inside the range.
    ControlCreateTrackBar(9, 0, 0, 150, 30, -5, -1);
    EXPECT_EQ(static_cast<QSlider*>(ToolkitControlWidget(9))->minimum(), 0);
    EXPECT_EQ(ControlGetValue(9), 0);
    ControlCreateTrackBar(9, 0, 0, 150, 30, 3, 10);
    EXPECT_EQ(ControlGetValue(9), 3);

    ControlCreateProgressBar(10, 0, 0, 100, 20, 0, 10, 1);
    ControlSetAttribute(10, ATTR_MAXIMUM, 100);
    ControlSetValue(10, 100);
    EXPECT_EQ(ControlGetValue(10), 100);
    ControlSetAttribute(10, ATTR_MAXIMUM, 50);
    EXPECT_EQ(ControlGetValue(10), 50);
    EXPECT_TRUE(ControlEvents(Drain()).empty());
}

TEST_F(ControlTest, ComboBoxItemsAndNotifications) {
    ControlCreateComboBox(2, 10, 10, 130, 120);
    const char* items[] = {"9 x 13",  "10 x 15", "13 x 18", "15 x 20",     "20 x 30",
                           "30 x 40", "40 x 60", "ebay",    "quadratisch", "16:9"};
    for (const char* item : items)
        EXPECT_EQ(ControlAddItem(2, -1, item), 0);
    auto* box = static_cast<QComboBox*>(ToolkitControlWidget(2));
    ASSERT_EQ(box->count(), 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(box->itemText(i).toStdString(), items[i]);
    EXPECT_EQ(ControlGetValue(2), -1) << "a new list has no selection";
    ControlSetValue(2, 0);
    EXPECT_EQ(ControlGetValue(2), 0);
    EXPECT_STREQ(ControlGetText(2), "9 x 13");
    ControlAddItem(2, 0, "vorne");
    ControlAddItem(2, -2, "nie");
    EXPECT_EQ(box->count(), 11);
    EXPECT_EQ(box->itemText(0), "vorne");
    EXPECT_LE(box->height(), 120) << "the height given is the open list's";
    Drain();

    // A choice with the keyboard: selection changed, then confirmed.
    Window(0)->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window(0)));
    box->setFocus();
    auto focusEvents = ControlEvents(Drain());
    ASSERT_EQ(focusEvents.size(), 1u);
    EXPECT_EQ(focusEvents[0].detail, CBN_SETFOCUS);
    QTest::keyClick(box, Qt::Key_Down);
    auto events = ControlEvents(Drain());
    std::vector<int> details;
    for (const auto& e : events)
        details.push_back(e.detail);
    EXPECT_EQ(details, (std::vector<int>{CBN_SELCHANGE, CBN_SELENDOK}));
    EXPECT_EQ(ControlGetValue(2), 2);

    // Opening and closing the list. Focus notifications may come in between, as the window
    // system moves the activation to the list and back.
    auto withoutFocus = [](const std::vector<RecordedEvent>& events) {
        std::vector<int> details;
        for (const auto& e : ControlEvents(events))
            if (e.detail != CBN_KILLFOCUS && e.detail != CBN_SETFOCUS) details.push_back(e.detail);
        return details;
    };
    box->showPopup();
    ASSERT_TRUE(WaitFor([box] { return box->view()->isVisible(); }));
    QTest::keyClick(box->view(), Qt::Key_Escape);
    std::vector<int> dismissed;
    EXPECT_TRUE(WaitFor([&] {
        for (int d : withoutFocus(Drain()))
            dismissed.push_back(d);
        return dismissed.size() >= 3;
    }));
    EXPECT_EQ(dismissed, (std::vector<int>{CBN_DROPDOWN, CBN_CLOSEUP, CBN_SELENDCANCEL}));
    EXPECT_EQ(ControlGetValue(2), 2) << "a dismissed list keeps the selection";

    // A choice with the mouse in the open list.
    box->showPopup();
    QAbstractItemView* list = box->view();
    ASSERT_TRUE(WaitFor([list] { return list->isVisible(); }));
    QRect item = list->visualRect(box->model()->index(5, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
    EXPECT_TRUE(WaitFor([list] { return !list->isVisible(); }));
    EXPECT_EQ(withoutFocus(Drain()),
              (std::vector<int>{CBN_DROPDOWN, CBN_CLOSEUP, CBN_SELCHANGE, CBN_SELENDOK}));
    // A wrong "cancelled" would come from a zero-time timer: give timers their turn.
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
    EXPECT_TRUE(withoutFocus(Drain()).empty());
    EXPECT_EQ(ControlGetValue(2), 5);
}

TEST_F(ControlTest, ReplacementAndWindowClose) {
    ControlCreateButton(7, 0, 0, 50, 20, "alt", 0);
    QPointer<QWidget> old = ToolkitControlWidget(7);
    ASSERT_NE(ControlCreateText(7, 0, 0, 50, 20, "neu", 0), 0u);
    EXPECT_TRUE(old.isNull());
    EXPECT_EQ(ControlKindOf(7), CONTROL_TEXT);
    ASSERT_NE(ControlCreateButton(60, 0, 0, 50, 20, "weit", 0), 0u);  // the table grows
    EXPECT_EQ(ControlKindOf(60), CONTROL_BUTTON);

    // Without an open parent window nothing can be made, and the old control stays.
    EXPECT_EQ(ControlListBegin(4), 0u);
    ASSERT_NE(WindowOpen(1, 0, 0, 100, 100, "Zweites", 0), 0u);
    ASSERT_NE(ControlListBegin(1), 0u);
    ControlCreateCheckBox(8, 0, 0, 50, 20, "im zweiten");
    EXPECT_EQ(ToolkitControlWidget(8)->window(), Window(1));
    WindowClose(1);
    EXPECT_EQ(ControlKindOf(8), 0) << "closing a window frees its controls";
    EXPECT_EQ(ControlCreateButton(7, 0, 0, 50, 20, "ohne Fenster", 0), 0u);
    EXPECT_EQ(ControlKindOf(7), CONTROL_TEXT);
    EXPECT_STREQ(ControlGetText(7), "neu");

    QPointer<QWidget> w60 = ToolkitControlWidget(60);
    ControlFree(60);
    EXPECT_TRUE(w60.isNull());
    EXPECT_EQ(ControlKindOf(60), 0);
}

TEST_F(ControlTest, TooltipsAreReplaced) {
    ControlCreateText(21, 670, 387, 15, 15, "", TEXT_SUNKEN);
    EXPECT_STREQ(ControlGetTip(21), "");
    EXPECT_EQ(ControlSetTip(21, "Ermittelter Farbstich (übertrieben dargestellt)"), 1);
    EXPECT_STREQ(ControlGetTip(21), "Ermittelter Farbstich (übertrieben dargestellt)");
    ControlSetTip(21, "Aktuell ermittelter Farbstich (verstärkt dargestellt)");
    EXPECT_STREQ(ControlGetTip(21), "Aktuell ermittelter Farbstich (verstärkt dargestellt)");
    auto* label = static_cast<QLabel*>(ToolkitControlWidget(21));
    EXPECT_EQ(label->frameShape(), QFrame::Panel);
    EXPECT_EQ(label->frameShadow(), QFrame::Sunken);
}

TEST_F(ControlTest, TextColoursSetAndRestore) {
    ControlCreateText(21, 20, 20, 40, 40, "", 0);
    ControlCreateText(26, 20, 80, 190, 15, "Bild: 0 x 0 - Selektion: 0 x 0", TEXT_CENTRED);
    EXPECT_TRUE(static_cast<QLabel*>(ToolkitControlWidget(26))->alignment() & Qt::AlignHCenter);
    QWidget* swatch = ToolkitControlWidget(21);
    QColor defaultBack = swatch->palette().color(QPalette::Window);
    QColor defaultText = swatch->palette().color(QPalette::WindowText);
    // The swatch colour of a measured cast: (4r + 128) + (4g + 128) * 256 + (4b + 128) * 65536.
    const int32_t colour = (4 * 30 + 128) + (4 * 0 + 128) * 256 + (4 * 10 + 128) * 65536;
    ControlSetColour(21, COLOUR_BACKGROUND, colour);
    EXPECT_EQ(swatch->palette().color(QPalette::Window), QColor(248, 128, 168));
    EXPECT_TRUE(swatch->autoFillBackground());
    Drain();
    QImage shot = Window(0)->grab().toImage();
    EXPECT_EQ(shot.pixelColor(40, 40), QColor(248, 128, 168));

    ControlSetColour(21, COLOUR_TEXT, 0x0000ff);
    EXPECT_EQ(swatch->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    ControlSetColour(21, COLOUR_BACKGROUND, -1);
    ControlSetColour(21, COLOUR_TEXT, -1);
    EXPECT_EQ(swatch->palette().color(QPalette::Window), defaultBack);
    EXPECT_EQ(swatch->palette().color(QPalette::WindowText), defaultText);
    EXPECT_FALSE(swatch->autoFillBackground());
}

}  // namespace

namespace {

TEST_F(ControlTest, ControlsTakeTheChosenFont) {
    ControlCreateText(1, 0, 0, 100, 15, "vorher", 0);
    EXPECT_EQ(ToolkitControlWidget(1)->font().pixelSize(), 11) << "a dialog-sized default";
    ToolkitSetFont("DejaVu Sans", 13);
    ControlCreateText(2, 0, 20, 100, 15, "nachher", 0);
    QFont f = ToolkitControlWidget(2)->font();
    EXPECT_EQ(f.pixelSize(), 13);
    EXPECT_EQ(f.families().value(0), "DejaVu Sans");
}

}  // namespace
