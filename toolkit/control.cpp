#include "toolkit/control.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QFontInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTimer>
#include <algorithm>
#include <string>
#include <vector>

#include "toolkit/control_table.h"
#include "toolkit/event_queue.h"
#include "toolkit/qt_toolkit.h"
#include "toolkit/toolkit_state.h"
#include "toolkit/window_table.h"

namespace {

QWidget* WidgetOf(const ControlRecord* r) {
    return reinterpret_cast<QWidget*>(r->handle);
}

ControlRecord* Find(int number) {
    return ObjectTableFind(g_toolkit.controls.table, number);
}

QString Text(const char* text) {
    return QString::fromUtf8(text ? text : "");
}

QColor ColourOf(int32_t colour) {
    auto c = static_cast<uint32_t>(colour);
    return QColor(c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff);
}

// Raises a control event unless the control is hidden: a hidden control takes no part.
void Raise(QWidget* w, int detail) {
    if (w->isHidden()) return;
    bool ok = false;
    int number = w->property("TX_ID").toInt(&ok);
    if (!ok) return;
    ControlRecord* r = Find(number);
    if (!r || WidgetOf(r) != w) return;
    ToolkitPostControlEvent(r->window, number, detail);
}

// A push button whose caption wraps onto several lines.
class WrapButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent*) override {
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
};

// A group frame that paints only its etched outline and title. The styles fill the inside of a
// group box with a faint translucent layer, which would tint the picture drawn on the window
// beneath it; the inside must show the window's surface unchanged.
class Frame : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

protected:
    // A press on a frame is a press on the window's surface beneath it.
    void mousePressEvent(QMouseEvent* e) override { e->ignore(); }
    void paintEvent(QPaintEvent*) override {
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
};

// A one-line text that keeps the whole of its text readable in its fixed width: the font is
// narrowed first, then made smaller, as far as needed and no further than stays legible.
class FitLabel : public QLabel {
public:
    using QLabel::QLabel;

    // Chooses the font for the present text; the font the control was made with is the start.
    void Fit() {
        if (!fitted_) base_ = font();
        if (fitted_ && text() == fittedText_) return;
        fitted_ = true;
        fittedText_ = text();
        const int room = contentsRect().width();
        QFont chosen = base_;
        if (QFontMetrics(chosen).horizontalAdvance(fittedText_) > room) {
            const int from =
                base_.pixelSize() > 0 ? base_.pixelSize() : QFontInfo(base_).pixelSize();
            for (int size = from; size >= kSmallest; --size) {
                QFont natural = base_;
                natural.setPixelSize(size);
                chosen = natural;
                if (Narrowed(natural, room, chosen)) break;
            }
        }
        setFont(chosen);
    }

private:
    // The widest stretch of `natural` that fits `room`, squeezing the letters to no less than
    // kNarrowest per cent of their natural width. False when none does.
    bool Narrowed(const QFont& natural, int room, QFont& out) const {
        const int naturalWidth = QFontMetrics(natural).horizontalAdvance(fittedText_);
        if (naturalWidth <= room) return true;
        for (int stretch = 100; stretch >= 50; stretch -= 5) {
            QFont trial = natural;
            trial.setStretch(stretch);
            const int width = QFontMetrics(trial).horizontalAdvance(fittedText_);
            if (width * 100 < naturalWidth * kNarrowest) return false;
            if (width <= room) {
                out = trial;
                return true;
            }
        }
        return false;
    }

    static constexpr int kNarrowest = 80;  // per cent of the natural width
    static constexpr int kSmallest = 8;    // pixels
    QFont base_;
    QString fittedText_;
    bool fitted_ = false;
};

// A drop-down list that reports opening, closing and focus changes.
class ListBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    int lastIndex = -1;  // selection before the user's latest choice

    void showPopup() override {
        Raise(this, CBN_DROPDOWN);
        QComboBox::showPopup();
    }
    void hidePopup() override {
        bool open = view() && view()->isVisible();
        QComboBox::hidePopup();
        if (!open) return;
        Raise(this, CBN_CLOSEUP);
        // A choice from the list is reported right after the list closes; without one, the
        // list was dismissed.
        choosing_ = true;
        QTimer::singleShot(0, this, [this] {
            if (!choosing_) return;
            choosing_ = false;
            Raise(this, CBN_SELENDCANCEL);
        });
    }
    // The user chose item `index`, from the list or with the keyboard.
    void Chosen(int index) {
        choosing_ = false;
        if (index != lastIndex) Raise(this, CBN_SELCHANGE);
        lastIndex = index;
        Raise(this, CBN_SELENDOK);
    }

protected:
    void focusInEvent(QFocusEvent* e) override {
        QComboBox::focusInEvent(e);
        if (e->reason() != Qt::PopupFocusReason) Raise(this, CBN_SETFOCUS);
    }
    void focusOutEvent(QFocusEvent* e) override {
        QComboBox::focusOutEvent(e);
        // The open list holds the focus on the box's behalf.
        if (e->reason() != Qt::PopupFocusReason && !QApplication::activePopupWidget())
            Raise(this, CBN_KILLFOCUS);
    }

private:
    bool choosing_ = false;  // the list just closed; a choice may follow
};

// A horizontal track bar whose keys go the classic way: Up and Page Up towards the minimum,
// Down and Page Down towards the maximum, like Left and Right.
class TrackBar : public QSlider {
public:
    TrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

protected:
    void keyPressEvent(QKeyEvent* e) override {
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
};

// The creation steps common to every kind: the number is replaced only once the widget exists.
uintptr_t Register(int number, QWidget* w, int kind, int x, int y, int width, int height) {
    if (!w) return 0;
    w->setFont(ToolkitControlFont());
    w->setGeometry(x, y, std::max(width, 0), std::max(height, 0));
    ControlRecord* r = ObjectTableObtain(g_toolkit.controls.table, number);
    if (!r) {
        delete w;
        return 0;
    }
    r->handle = reinterpret_cast<uintptr_t>(w);
    r->kind = kind;
    r->window = g_toolkit.controls.parentWindow;
    r->backColour = -1;
    r->textColour = -1;
    r->sequence = ++g_toolkit.controls.sequence;
    w->setProperty("TX_ID", number);
    w->show();
    return r->handle;
}

QWidget* Parent() {
    return ToolkitWindowWidget(g_toolkit.controls.parentWindow);
}

void FreeHook(int number) {
    ControlRecord* r = Find(number);
    if (!r) return;
    QWidget* w = WidgetOf(r);
    ObjectTableClear(g_toolkit.controls.table, number);
    if (w) {
        w->setProperty("TX_ID", QVariant());
        delete w;
    }
}

bool TabStop(int kind) {
    return kind == CONTROL_BUTTON || kind == CONTROL_CHECKBOX || kind == CONTROL_COMBOBOX ||
           kind == CONTROL_TRACKBAR;
}

// Keeps the slider's page step at a fifth of its range, as track bars page.
void PageStepForRange(QSlider* s) {
    long long range = static_cast<long long>(s->maximum()) - s->minimum();
    s->setPageStep(static_cast<int>(std::max<long long>(1, range / 5)));
}

// Controls whose tops lie closer than this share a row of the Tab cycle.
constexpr int kRowSlack = 8;

// The tooltip shown: the text given, followed by the keys that work the control.
void ShowTip(QWidget* w) {
    QString tip = w->property("TX_Tip").toString();
    const QString keys = w->property("TX_Keys").toString();
    if (!tip.isEmpty() && !keys.isEmpty()) tip += QStringLiteral(" (") + keys + QStringLiteral(")");
    w->setToolTip(tip);
}

void SetRole(QWidget* w, QPalette::ColorRole role, int32_t colour) {
    QPalette pal = w->palette();
    QPalette def = QApplication::palette(w);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, role, colour == -1 ? def.color(group, role) : ColourOf(colour));
    }
    w->setPalette(pal);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Internals shared with the rest of the toolkit
// ---------------------------------------------------------------------------------------------

bool ToolkitControlsInit() {
    g_toolkit.controls.parentWindow = -1;
    return ObjectTableCreate(g_toolkit.controls.table, 50, FreeHook);
}

void ToolkitFreeWindowControls(int window) {
    ObjectTableFirst(g_toolkit.controls.table);
    int number = 0;
    while (ControlRecord* r = ObjectTableNext(g_toolkit.controls.table, &number)) {
        if (r->window == window) FreeHook(number);
    }
    if (g_toolkit.controls.parentWindow == window) g_toolkit.controls.parentWindow = -1;
}

QWidget* ToolkitControlWidget(int number) {
    ControlRecord* r = Find(number);
    return r ? WidgetOf(r) : nullptr;
}

void ToolkitTabNavigate(QWidget* window, bool forward) {
    int windowNumber = ToolkitWindowNumberOf(window);
    if (windowNumber < 0) return;
    // The cycle reads the layout: rows from top to bottom, each from left to right.
    struct Stop {
        int row, x;
        uint64_t sequence;
        QWidget* widget;
    };
    std::vector<Stop> stops;
    ObjectTableFirst(g_toolkit.controls.table);
    int number = 0;
    while (ControlRecord* r = ObjectTableNext(g_toolkit.controls.table, &number)) {
        QWidget* w = WidgetOf(r);
        if (r->window == windowNumber && TabStop(r->kind) && w->isEnabled() &&
            w->isVisibleTo(window))
            stops.push_back({w->y(), w->x(), r->sequence, w});
    }
    if (stops.empty()) return;
    std::sort(stops.begin(), stops.end(), [](const Stop& a, const Stop& b) {
        return a.row != b.row ? a.row < b.row : a.sequence < b.sequence;
    });
    int rowTop = stops.front().row;
    for (Stop& stop : stops) {
        if (stop.row - rowTop >= kRowSlack) rowTop = stop.row;
        stop.row = rowTop;
    }
    std::stable_sort(stops.begin(), stops.end(), [](const Stop& a, const Stop& b) {
        return a.row != b.row ? a.row < b.row : a.x < b.x;
    });
    QWidget* focused = window->focusWidget();
    int at = -1;
    for (size_t i = 0; i < stops.size(); ++i) {
        QWidget* s = stops[i].widget;
        if (focused && (focused == s || s->isAncestorOf(focused))) at = static_cast<int>(i);
    }
    int n = static_cast<int>(stops.size());
    int next;
    if (forward)
        next = at < 0 ? 0 : (at + 1) % n;
    else
        next = at <= 0 ? n - 1 : at - 1;
    stops[static_cast<size_t>(next)].widget->setFocus(forward ? Qt::TabFocusReason
                                                              : Qt::BacktabFocusReason);
}

// ---------------------------------------------------------------------------------------------
// Creation
// ---------------------------------------------------------------------------------------------

uintptr_t ControlListBegin(int window) {
    QWidget* w = ToolkitWindowWidget(window);
    if (!w) return 0;
    g_toolkit.controls.parentWindow = window;
    return reinterpret_cast<uintptr_t>(w);
}

uintptr_t ControlCreateFrame(int number, int x, int y, int width, int height, const char* text) {
    QWidget* parent = Parent();
    if (!parent || number < 0) return 0;
    // Transparent inside, so that what is drawn on the window shows through.
    auto* w = new Frame(Text(text), parent);
    w->setFocusPolicy(Qt::NoFocus);
    w->setAutoFillBackground(false);
    return Register(number, w, CONTROL_FRAME, x, y, width, height);
}

uintptr_t ControlCreateText(int number, int x, int y, int width, int height, const char* text,
                            int flags) {
    QWidget* parent = Parent();
    if (!parent || number < 0) return 0;
    auto* w = flags & TEXT_FIT ? new FitLabel(parent) : new QLabel(parent);
    w->setTextFormat(Qt::PlainText);
    w->setText(Text(text));
    w->setWordWrap(!(flags & TEXT_FIT));
    w->setAlignment((flags & TEXT_CENTRED ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
    if (flags & TEXT_SUNKEN) {
        w->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        w->setLineWidth(2);
    }
    w->setFocusPolicy(Qt::NoFocus);
    const uintptr_t handle = Register(number, w, CONTROL_TEXT, x, y, width, height);
    if (handle && (flags & TEXT_FIT)) static_cast<FitLabel*>(w)->Fit();
    return handle;
}

uintptr_t ControlCreateButton(int number, int x, int y, int width, int height, const char* text,
                              int flags) {
    QWidget* parent = Parent();
    if (!parent || number < 0) return 0;
    QPushButton* w = (flags & BUTTON_MULTILINE) ? new WrapButton(Text(text), parent)
                                                : new QPushButton(Text(text), parent);
    if ((flags & BUTTON_TOGGLE) == BUTTON_TOGGLE) w->setCheckable(true);
    // Return presses the button that has the keyboard focus.
    w->setAutoDefault(true);
    w->setFocusPolicy(Qt::StrongFocus);
    QObject::connect(w, &QAbstractButton::clicked, w, [w] { Raise(w, 0); });
    return Register(number, w, CONTROL_BUTTON, x, y, width, height);
}

uintptr_t ControlCreateCheckBox(int number, int x, int y, int width, int height, const char* text) {
    QWidget* parent = Parent();
    if (!parent || number < 0) return 0;
    auto* w = new QCheckBox(Text(text), parent);
    w->setFocusPolicy(Qt::StrongFocus);
    QObject::connect(w, &QAbstractButton::clicked, w, [w] { Raise(w, 0); });
    return Register(number, w, CONTROL_CHECKBOX, x, y, width, height);
}

uintptr_t ControlCreateComboBox(int number, int x, int y, int width, int height) {
    QWidget* parent = Parent();
    if (!parent || number < 0) return 0;
    auto* w = new ListBox(parent);
    w->setEditable(false);
    w->setFocusPolicy(Qt::StrongFocus);
    QObject::connect(w, &QComboBox::activated, w, [w](int index) { w->Chosen(index); });
    // The height given is that of the open list; the closed box takes its natural height.
    w->setFont(ToolkitControlFont());
    int closed = std::min(height, w->sizeHint().height());
    uintptr_t h = Register(number, w, CONTROL_COMBOBOX, x, y, width, closed);
    if (h) {
        int row = std::max(1, w->fontMetrics().height() + 2);
        w->setMaxVisibleItems(std::max(1, (height - closed) / row));
    }
    return h;
}

uintptr_t ControlCreateTrackBar(int number, int x, int y, int width, int height, int minimum,
                                int maximum) {
    QWidget* parent = Parent();
    if (!parent || number < 0) return 0;
    auto* w = new TrackBar(parent);
    w->setFocusPolicy(Qt::StrongFocus);
    w->setTracking(true);
    {
        QSignalBlocker block(w);
        w->setMinimum(std::max(minimum, 0));
        w->setMaximum(std::max(maximum, 0));
        w->setValue(0);
        PageStepForRange(w);
    }
    // Each scroll notification is its own event; the value is stored before EventWait returns.
    QObject::connect(w, &QAbstractSlider::actionTriggered, w, [w](int) { Raise(w, 0); });
    QObject::connect(w, &QAbstractSlider::sliderReleased, w, [w] { Raise(w, 0); });
    return Register(number, w, CONTROL_TRACKBAR, x, y, width, height);
}

uintptr_t ControlCreateProgressBar(int number, int x, int y, int width, int height, int minimum,
                                   int maximum, int flags) {
    (void)flags;  // the bar is drawn continuous either way
    QWidget* parent = Parent();
    if (!parent || number < 0) return 0;
    auto* w = new QProgressBar(parent);
    w->setTextVisible(false);
    w->setRange(minimum, maximum);
    w->setValue(minimum);
    w->setFocusPolicy(Qt::NoFocus);
    return Register(number, w, CONTROL_PROGRESSBAR, x, y, width, height);
}

// ---------------------------------------------------------------------------------------------
// Generic operations
// ---------------------------------------------------------------------------------------------

int ControlGetValue(int number) {
    ControlRecord* r = Find(number);
    if (!r) return 0;
    QWidget* w = WidgetOf(r);
    switch (r->kind) {
        case CONTROL_BUTTON:
        case CONTROL_CHECKBOX:
            return static_cast<QAbstractButton*>(w)->isChecked() ? 1 : 0;
        case CONTROL_COMBOBOX:
            return static_cast<QComboBox*>(w)->currentIndex();
        case CONTROL_TRACKBAR:
            return static_cast<QSlider*>(w)->value();
        case CONTROL_PROGRESSBAR:
            return static_cast<QProgressBar*>(w)->value();
        default:
            return 0;
    }
}

void ControlSetValue(int number, int value) {
    ControlRecord* r = Find(number);
    if (!r) return;
    QWidget* w = WidgetOf(r);
    QSignalBlocker block(w);
    switch (r->kind) {
        case CONTROL_BUTTON:
        case CONTROL_CHECKBOX:
            static_cast<QAbstractButton*>(w)->setChecked(value != 0);
            break;
        case CONTROL_COMBOBOX: {
            auto* c = static_cast<ListBox*>(w);
            c->setCurrentIndex(value >= 0 && value < c->count() ? value : -1);
            c->lastIndex = c->currentIndex();
            break;
        }
        case CONTROL_TRACKBAR:
            static_cast<QSlider*>(w)->setValue(value);
            break;
        case CONTROL_PROGRESSBAR:
            static_cast<QProgressBar*>(w)->setValue(value);
            break;
        default:
            break;
    }
}

void ControlSetAttribute(int number, int attribute, int value) {
    ControlRecord* r = Find(number);
    if (!r || (attribute != ATTR_MINIMUM && attribute != ATTR_MAXIMUM)) return;
    QWidget* w = WidgetOf(r);
    QSignalBlocker block(w);
    if (r->kind == CONTROL_TRACKBAR) {
        auto* s = static_cast<QSlider*>(w);
        int keep = s->value();
        if (attribute == ATTR_MINIMUM)
            s->setMinimum(value);
        else
            s->setMaximum(value);
        s->setValue(keep);  // clamped into the new range
        PageStepForRange(s);
    } else if (r->kind == CONTROL_PROGRESSBAR) {
        auto* p = static_cast<QProgressBar*>(w);
        int keep = p->value();
        if (attribute == ATTR_MINIMUM)
            p->setRange(value, std::max(value, p->maximum()));
        else
            p->setRange(std::min(value, p->minimum()), value);
        p->setValue(std::clamp(keep, p->minimum(), p->maximum()));
    }
}

int ControlAddItem(int number, int position, const char* text) {
    ControlRecord* r = Find(number);
    if (!r || r->kind != CONTROL_COMBOBOX || position < -1) return 0;
    auto* c = static_cast<ListBox*>(WidgetOf(r));
    QSignalBlocker block(c);
    int before = c->currentIndex();
    if (position == -1 || position > c->count())
        c->addItem(Text(text));
    else
        c->insertItem(position, Text(text));
    // A list starts without a selection; Qt would select the first item added.
    if (before == -1) c->setCurrentIndex(-1);
    c->lastIndex = c->currentIndex();
    return 0;
}

void ControlSetText(int number, const char* text) {
    ControlRecord* r = Find(number);
    if (!r) return;
    QWidget* w = WidgetOf(r);
    switch (r->kind) {
        case CONTROL_FRAME:
            static_cast<QGroupBox*>(w)->setTitle(Text(text));
            break;
        case CONTROL_TEXT:
            static_cast<QLabel*>(w)->setText(Text(text));
            if (auto* fit = dynamic_cast<FitLabel*>(w)) fit->Fit();
            break;
        case CONTROL_BUTTON:
        case CONTROL_CHECKBOX:
            static_cast<QAbstractButton*>(w)->setText(Text(text));
            break;
        default:
            w->setWindowTitle(Text(text));
            break;
    }
}

const char* ControlGetText(int number) {
    g_toolkit.controls.text.clear();
    ControlRecord* r = Find(number);
    if (!r) return g_toolkit.controls.text.c_str();
    QWidget* w = WidgetOf(r);
    QString t;
    switch (r->kind) {
        case CONTROL_FRAME:
            t = static_cast<QGroupBox*>(w)->title();
            break;
        case CONTROL_TEXT:
            t = static_cast<QLabel*>(w)->text();
            break;
        case CONTROL_BUTTON:
        case CONTROL_CHECKBOX:
            t = static_cast<QAbstractButton*>(w)->text();
            break;
        case CONTROL_COMBOBOX:
            t = static_cast<QComboBox*>(w)->currentText();
            break;
        default:
            t = w->windowTitle();
            break;
    }
    g_toolkit.controls.text = t.toStdString();
    return g_toolkit.controls.text.c_str();
}

void ControlSetColour(int number, int which, int32_t colour) {
    ControlRecord* r = Find(number);
    if (!r || (which != COLOUR_TEXT && which != COLOUR_BACKGROUND)) return;
    QWidget* w = WidgetOf(r);
    if (r->kind == CONTROL_TEXT) {
        if (which == COLOUR_TEXT) {
            r->textColour = colour;
            SetRole(w, QPalette::WindowText, colour);
        } else {
            r->backColour = colour;
            SetRole(w, QPalette::Window, colour);
            w->setAutoFillBackground(colour != -1);
        }
        w->update();
    } else if (r->kind == CONTROL_PROGRESSBAR) {
        if (which == COLOUR_TEXT) {
            r->textColour = colour;
            SetRole(w, QPalette::Highlight, colour);
        } else {
            r->backColour = colour;
            SetRole(w, QPalette::Base, colour);
            SetRole(w, QPalette::Window, colour);
        }
        w->update();
    }
}

void ControlHide(int number, int hide) {
    ControlRecord* r = Find(number);
    if (!r) return;
    WidgetOf(r)->setVisible(hide == 0);
}

int ControlSetTip(int number, const char* text) {
    ControlRecord* r = Find(number);
    if (!r) return 0;
    WidgetOf(r)->setProperty("TX_Tip", Text(text));
    ShowTip(WidgetOf(r));
    return 1;
}

int ControlSetShortcut(int number, const char* keys) {
    ControlRecord* r = Find(number);
    if (!r || r->kind != CONTROL_BUTTON || !keys) return 0;
    const QKeySequence sequence = QKeySequence::fromString(QString::fromUtf8(keys));
    QWidget* window = ToolkitWindowWidget(r->window);
    if (sequence.isEmpty() || !window) return 0;
    auto* button = static_cast<QPushButton*>(WidgetOf(r));
    auto* shortcut = new QShortcut(sequence, button);
    shortcut->setContext(Qt::WindowShortcut);
    // As a click: a hidden or disabled button does nothing.
    QObject::connect(shortcut, &QShortcut::activated, button, [button] {
        if (button->isVisible() && button->isEnabled()) button->click();
    });
    button->setProperty("TX_Keys", sequence.toString(QKeySequence::NativeText));
    ShowTip(button);
    return 1;
}

const char* ControlGetTip(int number) {
    g_toolkit.controls.tip.clear();
    if (ControlRecord* r = Find(number))
        g_toolkit.controls.tip = WidgetOf(r)->toolTip().toStdString();
    return g_toolkit.controls.tip.c_str();
}

int ControlKindOf(int number) {
    ControlRecord* r = Find(number);
    return r ? r->kind : 0;
}

void ControlFree(int number) {
    FreeHook(number);
}
