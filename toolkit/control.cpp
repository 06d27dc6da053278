#include "toolkit/control.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeySequence>
#include <QProgressBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <algorithm>
#include <string>

#include "toolkit/control_table.h"
#include "toolkit/control_widgets.h"
#include "toolkit/qt_toolkit.h"
#include "toolkit/toolkit_state.h"
#include "toolkit/window_table.h"

namespace {

QString Text(const char* text) {
    return QString::fromUtf8(text ? text : "");
}

QColor ColourOf(int32_t colour) {
    auto c = static_cast<uint32_t>(colour);
    return QColor(c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff);
}

// Keeps the slider's page step at a fifth of its range, as track bars page.
void PageStepForRange(QSlider* s) {
    long long range = static_cast<long long>(s->maximum()) - s->minimum();
    s->setPageStep(static_cast<int>(std::max<long long>(1, range / 5)));
}

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

// The combo box notification for what the drop-down list reports.
int ListNotification(ListBox::Event event) {
    switch (event) {
        case ListBox::Event::SelChange:
            return CBN_SELCHANGE;
        case ListBox::Event::SetFocus:
            return CBN_SETFOCUS;
        case ListBox::Event::KillFocus:
            return CBN_KILLFOCUS;
        case ListBox::Event::DropDown:
            return CBN_DROPDOWN;
        case ListBox::Event::CloseUp:
            return CBN_CLOSEUP;
        case ListBox::Event::SelEndOk:
            return CBN_SELENDOK;
        case ListBox::Event::SelEndCancel:
            return CBN_SELENDCANCEL;
    }
    return 0;
}

}  // namespace

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
    QWidget* parent = ToolkitControlParent();
    if (!parent || number < 0) return 0;
    // Transparent inside, so that what is drawn on the window shows through.
    auto* w = new GroupFrame(Text(text), parent);
    w->setFocusPolicy(Qt::NoFocus);
    w->setAutoFillBackground(false);
    return ToolkitRegisterControl(number, w, CONTROL_FRAME, x, y, width, height);
}

uintptr_t ControlCreateText(int number, int x, int y, int width, int height, const char* text,
                            int flags) {
    QWidget* parent = ToolkitControlParent();
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
    const uintptr_t handle = ToolkitRegisterControl(number, w, CONTROL_TEXT, x, y, width, height);
    if (handle && (flags & TEXT_FIT)) static_cast<FitLabel*>(w)->Fit();
    return handle;
}

uintptr_t ControlCreateButton(int number, int x, int y, int width, int height, const char* text,
                              int flags) {
    QWidget* parent = ToolkitControlParent();
    if (!parent || number < 0) return 0;
    QPushButton* w = (flags & BUTTON_MULTILINE) ? new WrapButton(Text(text), parent)
                                                : new QPushButton(Text(text), parent);
    if ((flags & BUTTON_TOGGLE) == BUTTON_TOGGLE) w->setCheckable(true);
    // Return presses the button that has the keyboard focus.
    w->setAutoDefault(true);
    w->setFocusPolicy(Qt::StrongFocus);
    QObject::connect(w, &QAbstractButton::clicked, w, [w] { ToolkitRaiseControlEvent(w, 0); });
    return ToolkitRegisterControl(number, w, CONTROL_BUTTON, x, y, width, height);
}

uintptr_t ControlCreateCheckBox(int number, int x, int y, int width, int height, const char* text) {
    QWidget* parent = ToolkitControlParent();
    if (!parent || number < 0) return 0;
    auto* w = new QCheckBox(Text(text), parent);
    w->setFocusPolicy(Qt::StrongFocus);
    QObject::connect(w, &QAbstractButton::clicked, w, [w] { ToolkitRaiseControlEvent(w, 0); });
    return ToolkitRegisterControl(number, w, CONTROL_CHECKBOX, x, y, width, height);
}

uintptr_t ControlCreateComboBox(int number, int x, int y, int width, int height) {
    QWidget* parent = ToolkitControlParent();
    if (!parent || number < 0) return 0;
    auto* w = new ListBox(parent);
    w->report = [w](ListBox::Event event) { ToolkitRaiseControlEvent(w, ListNotification(event)); };
    w->setEditable(false);
    w->setFocusPolicy(Qt::StrongFocus);
    QObject::connect(w, &QComboBox::activated, w, [w](int index) { w->Chosen(index); });
    // The height given is that of the open list; the closed box takes its natural height.
    w->setFont(ToolkitControlFont());
    int closed = std::min(height, w->sizeHint().height());
    uintptr_t h = ToolkitRegisterControl(number, w, CONTROL_COMBOBOX, x, y, width, closed);
    if (h) {
        int row = std::max(1, w->fontMetrics().height() + 2);
        w->setMaxVisibleItems(std::max(1, (height - closed) / row));
    }
    return h;
}

uintptr_t ControlCreateTrackBar(int number, int x, int y, int width, int height, int minimum,
                                int maximum) {
    QWidget* parent = ToolkitControlParent();
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
    QObject::connect(w, &QAbstractSlider::actionTriggered, w,
                     [w](int) { ToolkitRaiseControlEvent(w, 0); });
    QObject::connect(w, &QAbstractSlider::sliderReleased, w,
                     [w] { ToolkitRaiseControlEvent(w, 0); });
    return ToolkitRegisterControl(number, w, CONTROL_TRACKBAR, x, y, width, height);
}

uintptr_t ControlCreateProgressBar(int number, int x, int y, int width, int height, int minimum,
                                   int maximum, int flags) {
    (void)flags;  // the bar is drawn continuous either way
    QWidget* parent = ToolkitControlParent();
    if (!parent || number < 0) return 0;
    auto* w = new QProgressBar(parent);
    w->setTextVisible(false);
    w->setRange(minimum, maximum);
    w->setValue(minimum);
    w->setFocusPolicy(Qt::NoFocus);
    return ToolkitRegisterControl(number, w, CONTROL_PROGRESSBAR, x, y, width, height);
}

// ---------------------------------------------------------------------------------------------
// Generic operations
// ---------------------------------------------------------------------------------------------

int ControlGetValue(int number) {
    ControlRecord* r = ToolkitFindControl(number);
    if (!r) return 0;
    QWidget* w = ToolkitWidgetOf(r);
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
    ControlRecord* r = ToolkitFindControl(number);
    if (!r) return;
    QWidget* w = ToolkitWidgetOf(r);
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
    ControlRecord* r = ToolkitFindControl(number);
    if (!r || (attribute != ATTR_MINIMUM && attribute != ATTR_MAXIMUM)) return;
    QWidget* w = ToolkitWidgetOf(r);
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
    ControlRecord* r = ToolkitFindControl(number);
    if (!r || r->kind != CONTROL_COMBOBOX || position < -1) return 0;
    auto* c = static_cast<ListBox*>(ToolkitWidgetOf(r));
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
    ControlRecord* r = ToolkitFindControl(number);
    if (!r) return;
    QWidget* w = ToolkitWidgetOf(r);
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
    ControlRecord* r = ToolkitFindControl(number);
    if (!r) return g_toolkit.controls.text.c_str();
    QWidget* w = ToolkitWidgetOf(r);
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
    ControlRecord* r = ToolkitFindControl(number);
    if (!r || (which != COLOUR_TEXT && which != COLOUR_BACKGROUND)) return;
    QWidget* w = ToolkitWidgetOf(r);
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
    ControlRecord* r = ToolkitFindControl(number);
    if (!r) return;
    ToolkitWidgetOf(r)->setVisible(hide == 0);
}

int ControlSetTip(int number, const char* text) {
    ControlRecord* r = ToolkitFindControl(number);
    if (!r) return 0;
    ToolkitWidgetOf(r)->setProperty("TX_Tip", Text(text));
    ShowTip(ToolkitWidgetOf(r));
    return 1;
}

bool ControlSetShortcut(int number, const char* keys) {
    ControlRecord* r = ToolkitFindControl(number);
    if (!r || r->kind != CONTROL_BUTTON || !keys) return false;
    const QKeySequence sequence = QKeySequence::fromString(QString::fromUtf8(keys));
    QWidget* window = ToolkitWindowWidget(r->window);
    if (sequence.isEmpty() || !window) return false;
    auto* button = static_cast<QPushButton*>(ToolkitWidgetOf(r));
    auto* shortcut = new QShortcut(sequence, button);
    shortcut->setContext(Qt::WindowShortcut);
    // As a click: a hidden or disabled button does nothing.
    QObject::connect(shortcut, &QShortcut::activated, button, [button] {
        if (button->isVisible() && button->isEnabled()) button->click();
    });
    button->setProperty("TX_Keys", sequence.toString(QKeySequence::NativeText));
    ShowTip(button);
    return true;
}

const char* ControlGetTip(int number) {
    g_toolkit.controls.tip.clear();
    if (ControlRecord* r = ToolkitFindControl(number))
        g_toolkit.controls.tip = ToolkitWidgetOf(r)->toolTip().toStdString();
    return g_toolkit.controls.tip.c_str();
}
