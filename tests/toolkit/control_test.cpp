// Controls: creation and replacement, values, user events and their absence for program-set
// values and hidden controls, track bar drags, combo box notifications, tooltips and colours.
#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QSlider>
#include <QStyle>

#include "toolkit_fixture.h"

namespace {

using ControlTest = ToolkitTest;

// Program-set values and texts raise no events; each click raises one, a hidden control none.
TEST_F(ControlTest, ProgramSetValuesRaiseNoEventsClicksOneEachHiddenControlsNone) {
    ControlCreateText(2, 10, 220, 100, 15, "Gamma:", 0);
    ControlCreateButton(3, 10, 240, 90, 40, "Bild laden...", 0);
    ControlCreateButton(4, 110, 240, 50, 22, "portrait", BUTTON_TOGGLE);
    ControlCreateCheckBox(6, 220, 10, 120, 15, "Farbstich entfernen");
    ControlCreateComboBox(7, 220, 30, 130, 120);
    ControlCreateTrackBar(8, 220, 60, 150, 30, 0, 10);
    ControlCreateProgressBar(9, 220, 100, 150, 20, 0, 10, PROGRESS_SMOOTH);
    for (int i = 0; i < 10; ++i)
        ControlAddItem(7, -1, "Eintrag");
    Drain();
    // Buttons stay 0, check boxes take 0 or 1, lists -1 when out of range, track bars their limit.
    const int values[][3] = {{3, 1, 0}, {4, 1, 1},   {6, 7, 1},   {6, 0, 0},
                             {7, 3, 3}, {7, 99, -1}, {8, 50, 10}, {9, 4, 4}};
    for (auto [number, value, expected] : values) {
        ControlSetValue(number, value);
        EXPECT_EQ(ControlGetValue(number), expected) << number << " " << value;
    }
    ControlSetText(2, "neu");
    EXPECT_TRUE(Drain(true).empty());

    ControlHide(3, 1);
    QTest::mouseClick(ControlWidget(3), Qt::LeftButton);
    QTest::keyClick(ControlWidget(8), Qt::Key_Right);
    ControlHide(8, 1);
    QTest::keyClick(ControlWidget(8), Qt::Key_Right);
    EXPECT_EQ(Drain(true), (std::vector<RecordedEvent>{{EVENT_CONTROL, 8, 0, 0}}))
        << "only the visible track bar's step";
    ControlHide(3, 0);
    // Buttons give 0; a toggle button and a check box flip with each click.
    const int cases[][3] = {{3, 0, 0}, {4, 0, 1}, {6, 1, 0}};
    for (auto [number, first, second] : cases) {
        for (int expected : {first, second}) {
            QTest::mouseClick(ControlWidget(number), Qt::LeftButton);
            EXPECT_EQ(Drain(true), (std::vector<RecordedEvent>{{EVENT_CONTROL, number, 0, 0}}));
            EXPECT_EQ(ControlGetValue(number), expected) << number;
        }
    }
}

TEST_F(ControlTest, TrackBarDragGivesOneEventPerPosition) {
    ControlCreateTrackBar(7, 20, 20, 300, 30, 0, 10);
    ControlSetAttribute(7, ATTR_MINIMUM, 20);
    ControlSetAttribute(7, ATTR_MAXIMUM, 255);
    auto* slider = static_cast<QSlider*>(ControlWidget(7));
    Drain();
    // At the minimum the handle lies at the left end.
    const QPoint at(slider->style()->pixelMetric(QStyle::PM_SliderLength, nullptr, slider) / 2,
                    slider->height() / 2);
    QTest::mousePress(slider, Qt::LeftButton, {}, at);
    for (int step = 1, last = slider->value(); step <= 10; ++step) {
        QTest::mouseMove(slider, at + QPoint(step * 8, 0));
        // Every position gives its event, and the value read then is the new one.
        const std::vector<RecordedEvent> events = Drain(true);
        EXPECT_EQ(events, std::vector<RecordedEvent>(std::max<size_t>(events.size(), 1),
                                                     {EVENT_CONTROL, 7, 0, 0}))
            << "step " << step;
        EXPECT_GT(ControlGetValue(7), std::exchange(last, ControlGetValue(7))) << "step " << step;
    }
    QTest::mouseRelease(slider, Qt::LeftButton, {}, at + QPoint(80, 0));
    Drain();
    // Up and Page Up go towards the minimum, a page being (255 - 20) / 5; Home and End go to
    // the ends.
    ControlSetValue(7, 100);
    for (auto [key, value] : {std::pair{Qt::Key_Up, 99},
                              {Qt::Key_PageUp, 52},
                              {Qt::Key_End, 255},
                              {Qt::Key_Home, 20}}) {
        QTest::keyClick(slider, key);
        EXPECT_EQ(std::make_pair(Drain(true).size(), ControlGetValue(7)),
                  std::make_pair(1ul, value));
    }
}

TEST_F(ControlTest, ComboBoxItemsAndNotifications) {
    ControlCreateComboBox(2, 10, 10, 130, 120);
    auto* box = static_cast<QComboBox*>(ControlWidget(2));
    // The notifications that come until there are `count`, without the focus ones, which the
    // window system may send in between as it moves the activation to the open list and back.
    auto notifications = [](size_t count) {
        std::vector<int> got;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                for (const auto& e : Drain(true))
                    if (e[2] != CBN_KILLFOCUS && e[2] != CBN_SETFOCUS) got.push_back(e[2]);
                return got.size() >= count;
            },
            10000));
        return got;
    };
    for (const char* item : {"vorne", "9 x 13", "10 x 15", "13 x 18", "15 x 20", "20 x 30"})
        ControlAddItem(2, -1, item);
    const int none = ControlGetValue(2);  // a new list has no selection
    ControlSetValue(2, 1);
    EXPECT_EQ(std::make_pair(none, std::string(ControlGetText(2))),
              std::make_pair(-1, std::string("9 x 13")));
    EXPECT_LE(box->height(), 120) << "the height given is the open list's";

    // A choice with the keyboard: selection changed, then confirmed.
    ASSERT_TRUE(Activate());
    Drain();
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Down);
    EXPECT_EQ(notifications(2), (std::vector<int>{CBN_SELCHANGE, CBN_SELENDOK}));
    EXPECT_EQ(ControlGetValue(2), 2);

    // Opening and closing the list.
    QAbstractItemView* list = box->view();
    box->showPopup();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list));
    QTest::keyClick(list, Qt::Key_Escape);
    EXPECT_EQ(notifications(3), (std::vector<int>{CBN_DROPDOWN, CBN_CLOSEUP, CBN_SELENDCANCEL}));
    EXPECT_EQ(ControlGetValue(2), 2) << "a dismissed list keeps the selection";

    // A choice with the mouse in the open list.
    box->showPopup();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list));
    QRect item = list->visualRect(box->model()->index(5, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
    EXPECT_EQ(notifications(4),
              (std::vector<int>{CBN_DROPDOWN, CBN_CLOSEUP, CBN_SELCHANGE, CBN_SELENDOK}));
    // A wrong "cancelled" would come from a zero-time timer: give timers their turn.
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(notifications(0), std::vector<int>{});
    EXPECT_EQ(ControlGetValue(2), 5);
}

// A number is replaced only when the new control can be made; closing a window frees its
// controls; a free number does nothing. Colour -1 restores the default. (Tooltips: the export
// test's print resolution.)
TEST_F(ControlTest, ReplacementWindowCloseAndColours) {
    ControlCreateButton(7, 0, 0, 50, 20, "alt", 0);
    QPointer<QWidget> old = ControlWidget(7);
    ASSERT_NE(ControlCreateText(7, 20, 20, 40, 40, "neu", TEXT_SUNKEN), 0u);
    EXPECT_TRUE(old.isNull());
    ControlSetValue(61, 5);
    EXPECT_EQ(std::make_tuple(ControlGetValue(61), ControlSetTip(61, "x"), ControlListBegin(4)),
              std::make_tuple(0, 0, 0u));
    ASSERT_NE(WindowOpen(1, 0, 0, 100, 100, "Zweites", 0), 0u);
    ASSERT_NE(ControlListBegin(1), 0u);
    ControlCreateCheckBox(8, 0, 0, 50, 20, "im zweiten");
    EXPECT_EQ(ControlWidget(8)->window(), Window(1));
    WindowClose(1);
    EXPECT_EQ(std::make_tuple(ControlWidget(8), ControlCreateButton(7, 0, 0, 50, 20, "ohne", 0),
                              std::string(ControlGetText(7))),
              std::make_tuple(nullptr, 0u, std::string("neu")));

    QWidget* swatch = ControlWidget(7);
    const QPalette before = swatch->palette();
    ControlSetColour(7, COLOUR_BACKGROUND, 0xA880F8);  // red in the low byte
    EXPECT_EQ(Window(0)->grab().toImage().pixelColor(40, 40), QColor(248, 128, 168));
    ControlSetColour(7, COLOUR_BACKGROUND, -1);
    EXPECT_TRUE(swatch->palette().color(QPalette::Window) == before.color(QPalette::Window) &&
                !swatch->autoFillBackground());
}

TEST_F(ControlTest, FittingTextKeepsEveryStatusLineWhole) {
    // A fitting text keeps the whole of every text on one line, legibly, in its width: from a
    // short one at the chosen font to the longest status line.
    ToolkitSetFont("DejaVu Sans Condensed", 11);
    ControlCreateText(3, 0, 40, 190, 15, "", TEXT_CENTRED | TEXT_FIT);
    auto* label = static_cast<QLabel*>(ControlWidget(3));
    for (const char* text :
         {"Bild: 800x600 / Auswahl: 800x533", "Bild: 32767x32767 / Auswahl: 32767x32767"}) {
        ControlSetText(3, text);
        const QFontMetrics m(label->font());
        const QRect room = label->contentsRect();
        EXPECT_TRUE(m.horizontalAdvance(label->text()) <= room.width() &&
                    m.height() <= room.height() && label->font().pixelSize() >= 8 &&
                    !label->wordWrap())
            << text;
    }
    ControlSetText(3, "Bild: 800x600 / Auswahl: 800x533");
    EXPECT_EQ(label->font().pixelSize(), 11) << "a short text takes the chosen font again";
}

}  // namespace
