#include "toolkit/control_table.h"

#include <QWidget>
#include <algorithm>
#include <vector>

#include "toolkit/control.h"
#include "toolkit/toolkit_state.h"
#include "toolkit/window_table.h"

namespace {

// The kinds the keyboard can reach.
bool TabStop(int kind) {
    return kind == CONTROL_BUTTON || kind == CONTROL_CHECKBOX || kind == CONTROL_COMBOBOX ||
           kind == CONTROL_TRACKBAR;
}

// Controls whose tops lie closer than this share a row of the Tab cycle.
constexpr int kRowSlack = 8;

}  // namespace

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
        QWidget* w = ToolkitWidgetOf(r);
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
