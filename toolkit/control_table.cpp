#include "toolkit/control_table.h"

#include <QVariant>
#include <QWidget>
#include <algorithm>

#include "toolkit/event_queue.h"
#include "toolkit/qt_toolkit.h"
#include "toolkit/toolkit_state.h"
#include "toolkit/window_table.h"

namespace {

// Destroys the widget of control `number` and frees its record; the table's release hook.
void FreeHook(int number) {
    ControlRecord* r = ToolkitFindControl(number);
    if (!r) return;
    QWidget* w = ToolkitWidgetOf(r);
    ObjectTableClear(g_toolkit.controls.table, number);
    if (w) {
        w->setProperty("TX_ID", QVariant());
        delete w;
    }
}

}  // namespace

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

ControlRecord* ToolkitFindControl(int number) {
    return ObjectTableFind(g_toolkit.controls.table, number);
}

QWidget* ToolkitWidgetOf(const ControlRecord* record) {
    return reinterpret_cast<QWidget*>(record->handle);
}

QWidget* ToolkitControlParent() {
    return ToolkitWindowWidget(g_toolkit.controls.parentWindow);
}

uintptr_t ToolkitRegisterControl(int number, QWidget* w, int kind, int x, int y, int width,
                                 int height) {
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

void ToolkitRaiseControlEvent(QWidget* w, int detail) {
    // A hidden control takes no part.
    if (w->isHidden()) return;
    bool ok = false;
    int number = w->property("TX_ID").toInt(&ok);
    if (!ok) return;
    ControlRecord* r = ToolkitFindControl(number);
    if (!r || ToolkitWidgetOf(r) != w) return;
    ToolkitPostControlEvent(r->window, number, detail);
}
