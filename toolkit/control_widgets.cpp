#include "toolkit/control_widgets.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFocusEvent>
#include <QFontInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTimer>

void WrapButton::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    QString caption = opt.text;
    opt.text.clear();
    p.drawControl(QStyle::CE_PushButton, opt);
    QRect r = style()->subElementRect(QStyle::SE_PushButtonContents, &opt, this);
    p.drawItemText(r, Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic, palette(),
                   isEnabled(), caption, QPalette::ButtonText);
}

void GroupFrame::mousePressEvent(QMouseEvent* e) {
    e->ignore();
}

void GroupFrame::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QFontMetrics fm = fontMetrics();
    const int top = title().isEmpty() ? 0 : fm.height() / 2;
    const QRect box = rect().adjusted(0, top, -1, -1);
    // An etched line: dark, with a light line one pixel inside and below.
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(box.adjusted(0, 0, -1, -1));
    p.setPen(palette().color(QPalette::Light));
    p.drawRect(box.adjusted(1, 1, 0, 0));
    if (!title().isEmpty()) {
        const QRect textRect(8, 0, fm.horizontalAdvance(title()) + 4, fm.height());
        p.fillRect(textRect, palette().color(QPalette::Window));
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(textRect, Qt::AlignCenter, title());
    }
}

void FitLabel::Fit() {
    if (!fitted_) base_ = font();
    if (fitted_ && text() == fittedText_) return;
    fitted_ = true;
    fittedText_ = text();
    const int room = contentsRect().width();
    QFont chosen = base_;
    if (QFontMetrics(chosen).horizontalAdvance(fittedText_) > room) {
        const int from = base_.pixelSize() > 0 ? base_.pixelSize() : QFontInfo(base_).pixelSize();
        for (int size = from; size >= kSmallest; --size) {
            QFont natural = base_;
            natural.setPixelSize(size);
            chosen = natural;
            if (const std::optional<QFont> narrowed = Narrowed(natural, room)) {
                chosen = *narrowed;
                break;
            }
        }
    }
    setFont(chosen);
}

std::optional<QFont> FitLabel::Narrowed(const QFont& natural, int room) const {
    const int naturalWidth = QFontMetrics(natural).horizontalAdvance(fittedText_);
    if (naturalWidth <= room) return natural;
    for (int stretch = 100; stretch >= 50; stretch -= 5) {
        QFont trial = natural;
        trial.setStretch(stretch);
        const int width = QFontMetrics(trial).horizontalAdvance(fittedText_);
        if (width * 100 < naturalWidth * kNarrowest) return std::nullopt;
        if (width <= room) return trial;
    }
    return std::nullopt;
}

void ListBox::showPopup() {
    Report(Event::DropDown);
    QComboBox::showPopup();
}

void ListBox::hidePopup() {
    bool open = view() && view()->isVisible();
    QComboBox::hidePopup();
    if (!open) return;
    Report(Event::CloseUp);
    // A choice from the list is reported right after the list closes; without one, the list was
    // dismissed.
    choosing_ = true;
    QTimer::singleShot(0, this, [this] {
        if (!choosing_) return;
        choosing_ = false;
        Report(Event::SelEndCancel);
    });
}

void ListBox::Chosen(int index) {
    choosing_ = false;
    if (index != lastIndex) Report(Event::SelChange);
    lastIndex = index;
    Report(Event::SelEndOk);
}

void ListBox::focusInEvent(QFocusEvent* e) {
    QComboBox::focusInEvent(e);
    if (e->reason() != Qt::PopupFocusReason) Report(Event::SetFocus);
}

void ListBox::focusOutEvent(QFocusEvent* e) {
    QComboBox::focusOutEvent(e);
    // The open list holds the focus on the box's behalf.
    if (e->reason() != Qt::PopupFocusReason && !QApplication::activePopupWidget())
        Report(Event::KillFocus);
}

void TrackBar::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Up:
            triggerAction(SliderSingleStepSub);
            break;
        case Qt::Key_Down:
            triggerAction(SliderSingleStepAdd);
            break;
        case Qt::Key_PageUp:
            triggerAction(SliderPageStepSub);
            break;
        case Qt::Key_PageDown:
            triggerAction(SliderPageStepAdd);
            break;
        default:
            QSlider::keyPressEvent(e);
            return;
    }
    e->accept();
}
