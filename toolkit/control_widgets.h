// The widgets behind the control kinds where Qt's own differ from what a control promises: a
// wrapped button caption, a group frame that leaves the window's surface untinted, a text that
// fits its width, a drop-down list that reports opening, closing and focus, and a track bar whose
// keys go the classic way. Qt-only: included by the toolkit's own sources, never by a public
// header.
#pragma once

#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <functional>
#include <optional>

// A push button whose caption wraps onto several lines.
class WrapButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent*) override;
};

// A group frame that paints only its etched outline and title. The styles fill the inside of a
// group box with a faint translucent layer, which would tint the picture drawn on the window
// beneath it; the inside must show the window's surface unchanged. A press on it is a press on
// the window's surface beneath it.
class GroupFrame : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent*) override;
};

// A one-line text that keeps the whole of its text readable in its fixed width: the font is
// narrowed first, then made smaller, as far as needed and no further than stays legible.
class FitLabel : public QLabel {
public:
    using QLabel::QLabel;

    // Chooses the font for the present text; the font the control was made with is the start.
    void Fit();

private:
    // The widest stretch of `natural` that fits `room`, squeezing the letters to no less than
    // kNarrowest per cent of their natural width (`natural` itself when it fits); nothing when
    // none does.
    std::optional<QFont> Narrowed(const QFont& natural, int room) const;

    static constexpr int kNarrowest = 80;  // per cent of the natural width
    static constexpr int kSmallest = 8;    // pixels
    QFont base_;
    QString fittedText_;
    bool fitted_ = false;
};

// A drop-down list that reports opening, closing, choices and focus changes to its owner, who
// turns them into control events.
class ListBox : public QComboBox {
public:
    enum class Event { SelChange, SetFocus, KillFocus, DropDown, CloseUp, SelEndOk, SelEndCancel };

    using QComboBox::QComboBox;
    int lastIndex = -1;  // selection before the user's latest choice
    // Receives every report; set before the box is shown. Without it nothing is reported.
    std::function<void(Event)> report;

    void showPopup() override;
    void hidePopup() override;
    // The user chose item `index`, from the list or with the keyboard.
    void Chosen(int index);

protected:
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    void Report(Event event) {
        if (report) report(event);
    }

    bool choosing_ = false;  // the list just closed; a choice may follow
};

// A horizontal track bar whose keys go the classic way: Up and Page Up towards the minimum,
// Down and Page Down towards the maximum, like Left and Right.
class TrackBar : public QSlider {
public:
    explicit TrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

protected:
    void keyPressEvent(QKeyEvent* e) override;
};
