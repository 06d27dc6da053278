// Shared set-up of the toolkit tests: a running toolkit, window 0 open and no events waiting.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <array>
#include <cstdlib>
#include <vector>

#include "toolkit/control.h"
#include "toolkit/control_table.h"
#include "toolkit/event_queue.h"
#include "toolkit/window.h"
#include "toolkit/window_table.h"

#include "toolkit/toolkit_state.h"

// The widget of control `number`, to be worked as a user would; null for a free number.
inline QWidget* ControlWidget(int number) {
    const ControlRecord* r = ToolkitFindControl(number);
    return r ? ToolkitWidgetOf(r) : nullptr;
}

// Code, source, detail and window number of one event.
using RecordedEvent = std::array<int, 4>;

class ToolkitTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        ASSERT_TRUE(ToolkitInit());
    }

    void SetUp() override {
        WindowCloseAll();
        ASSERT_NE(WindowOpen(0, 240, 115, 400, 300, "Test", 0xCA0001), 0u);
        ASSERT_NE(ControlListBegin(0), 0u);
        Drain();
    }
    void TearDown() override { WindowCloseAll(); }

    // Takes every event that arrives without waiting and returns them (only the control events
    // with `controlsOnly`).
    static std::vector<RecordedEvent> Drain(bool controlsOnly = false) {
        std::vector<RecordedEvent> events;
        for (int code; events.size() < 10000 && (code = EventWait(0)) != EVENT_NONE;)
            if (!controlsOnly || code == EVENT_CONTROL)
                events.push_back({code, EventSource(), EventDetail(), EventWindowNumber()});
        return events;
    }

    static QWidget* Window(int n = 0) { return ToolkitWindowWidget(n); }
    static bool Activate(int n = 0) {
        Window(n)->activateWindow();
        return QTest::qWaitForWindowActive(Window(n));
    }
};
