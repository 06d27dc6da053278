#include "toolkit/input_translation.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>
#include <utility>

#include "toolkit/control_table.h"
#include "toolkit/event_queue.h"
#include "toolkit/toolkit_state.h"
#include "toolkit/window.h"
#include "toolkit/window_table.h"

namespace {

// Windows virtual-key code for a Qt key, as far as the program's keys go.
uintptr_t VirtualKey(const QKeyEvent* e) {
    static const std::pair<int, int> kKeys[] = {
        {Qt::Key_Tab, 9},     {Qt::Key_Backtab, 9}, {Qt::Key_Backspace, 8}, {Qt::Key_Return, 13},
        {Qt::Key_Enter, 13},  {Qt::Key_Shift, 16},  {Qt::Key_Control, 17},  {Qt::Key_Alt, 18},
        {Qt::Key_Escape, 27}, {Qt::Key_Space, 32},  {Qt::Key_PageUp, 33},   {Qt::Key_PageDown, 34},
        {Qt::Key_End, 35},    {Qt::Key_Home, 36},   {Qt::Key_Left, 37},     {Qt::Key_Up, 38},
        {Qt::Key_Right, 39},  {Qt::Key_Down, 40},   {Qt::Key_Delete, 46}};
    int k = e->key();
    if ((k >= Qt::Key_A && k <= Qt::Key_Z) || (k >= Qt::Key_0 && k <= Qt::Key_9)) return k;
    for (auto [qt, vk] : kKeys)
        if (qt == k) return static_cast<uintptr_t>(vk);
    if (k >= Qt::Key_F1 && k <= Qt::Key_F24) return 112 + (k - Qt::Key_F1);
    return static_cast<uintptr_t>(k & 0xffff);
}

// Mouse-message key-state flags: left 1, right 2, shift 4, control 8, middle 0x10.
uintptr_t MouseFlags(const QMouseEvent* e) {
    uintptr_t f = 0;
    Qt::MouseButtons b = e->buttons();
    if (b & Qt::LeftButton) f |= 1;
    if (b & Qt::RightButton) f |= 2;
    if (e->modifiers() & Qt::ShiftModifier) f |= 4;
    if (e->modifiers() & Qt::ControlModifier) f |= 8;
    if (b & Qt::MiddleButton) f |= 0x10;
    return f;
}

int MouseCode(QEvent::Type type, Qt::MouseButton button) {
    int base = 0;
    switch (button) {
        case Qt::LeftButton:
            base = EVENT_LBUTTONDOWN;
            break;
        case Qt::RightButton:
            base = EVENT_RBUTTONDOWN;
            break;
        case Qt::MiddleButton:
            base = 519;
            break;
        default:
            return 0;
    }
    switch (type) {
        case QEvent::MouseButtonPress:
            return base;
        case QEvent::MouseButtonRelease:
            return base + 1;
        case QEvent::MouseButtonDblClick:
            return base + 2;
        default:
            return 0;
    }
}

// Turns the input that reaches the toolkit's windows and their controls into events, and takes
// Tab and Shift+Tab for the focus cycle before any control sees them.
class InputFilter : public QObject {
public:
    bool eventFilter(QObject* obj, QEvent* ev) override {
        QEvent::Type t = ev->type();
        bool key = t == QEvent::KeyPress || t == QEvent::KeyRelease;
        bool mouse = t == QEvent::MouseMove || t == QEvent::MouseButtonPress ||
                     t == QEvent::MouseButtonRelease || t == QEvent::MouseButtonDblClick;
        if (!key && !mouse) return false;
        if (t != QEvent::MouseMove && !key &&
            static_cast<QMouseEvent*>(ev)->button() == Qt::LeftButton)
            WindowSurfacePressEnded();
        auto* w = qobject_cast<QWidget*>(obj);
        if (!w || !w->isWidgetType()) return false;
        int number = ToolkitWindowNumberOf(w);
        // A dialog over a window is a window of its own: its keys (Tab among them) and clicks
        // are its own, never the window's input.
        if (number < 0 || !w->window()->property("TX_WindowID").isValid()) return false;

        // An event ignored by a child travels on to its parents: count it once.
        auto* ie = static_cast<QInputEvent*>(ev);
        bool repeat = t == lastType_ && ie->timestamp() == lastStamp_ && SameDetail(ev) &&
                      lastReceiver_ && lastReceiver_ != w && w->isAncestorOf(lastReceiver_);
        if (repeat) return false;
        lastReceiver_ = w;
        lastType_ = t;
        lastStamp_ = ie->timestamp();
        RememberDetail(ev);

        if (key) {
            auto* ke = static_cast<QKeyEvent*>(ev);
            QueueInputEvent(t == QEvent::KeyPress ? EVENT_KEYDOWN : 257, number, VirtualKey(ke));
        } else {
            auto* me = static_cast<QMouseEvent*>(ev);
            int code = t == QEvent::MouseMove ? EVENT_MOUSEMOVE : MouseCode(t, me->button());
            if (code) QueueInputEvent(code, number, MouseFlags(me));
        }
        return Navigate(ev, w);
    }

private:
    bool Navigate(QEvent* ev, QWidget* w) {
        if (ev->type() != QEvent::KeyPress) return false;
        auto* ke = static_cast<QKeyEvent*>(ev);
        Qt::KeyboardModifiers mods = ke->modifiers() & ~Qt::KeypadModifier;
        bool forward = ke->key() == Qt::Key_Tab && mods == Qt::NoModifier;
        bool backward =
            (ke->key() == Qt::Key_Backtab || ke->key() == Qt::Key_Tab) && mods == Qt::ShiftModifier;
        if (!forward && !backward) return false;
        ToolkitTabNavigate(w->window(), forward);
        return true;
    }
    bool SameDetail(QEvent* ev) const {
        if (ev->type() == QEvent::KeyPress || ev->type() == QEvent::KeyRelease)
            return static_cast<QKeyEvent*>(ev)->key() == lastKey_;
        auto* me = static_cast<QMouseEvent*>(ev);
        return me->globalPosition() == lastPos_ && me->button() == lastButton_;
    }
    void RememberDetail(QEvent* ev) {
        if (ev->type() == QEvent::KeyPress || ev->type() == QEvent::KeyRelease) {
            lastKey_ = static_cast<QKeyEvent*>(ev)->key();
        } else {
            auto* me = static_cast<QMouseEvent*>(ev);
            lastPos_ = me->globalPosition();
            lastButton_ = me->button();
        }
    }

    QPointer<QWidget> lastReceiver_;
    QEvent::Type lastType_ = QEvent::None;
    quint64 lastStamp_ = 0;
    int lastKey_ = 0;
    QPointF lastPos_;
    Qt::MouseButton lastButton_ = Qt::NoButton;
};

}  // namespace

void InputTranslationStart() {
    InputTranslationStop();
    g_toolkit.inputFilter = new InputFilter;
    qApp->installEventFilter(g_toolkit.inputFilter);
}

void InputTranslationStop() {
    if (!g_toolkit.inputFilter) return;
    qApp->removeEventFilter(g_toolkit.inputFilter);
    delete g_toolkit.inputFilter;
    g_toolkit.inputFilter = nullptr;
}
