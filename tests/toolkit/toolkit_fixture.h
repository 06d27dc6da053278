// Shared set-up of the toolkit tests: a running toolkit, window 0 open and no events waiting.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <cstdlib>
#include <ostream>
#include <vector>

#include "toolkit/control.h"
#include "toolkit/control_table.h"
#include "toolkit/event_queue.h"
#include "toolkit/window.h"
#include "toolkit/window_table.h"

struct RecordedEvent {
    int code, source, detail, window;
    bool operator==(const RecordedEvent&) const = default;
};
inline void PrintTo(const RecordedEvent& e, std::ostream* os) {
    *os << "{" << e.code << ", " << e.source << ", " << e.detail << ", " << e.window << "}";
}

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

    // Returns every event that arrives without waiting, then clears the queue.
    static std::vector<RecordedEvent> Drain() {
        std::vector<RecordedEvent> events;
        for (int code; events.size() < 10000 && (code = EventWait(0)) != EVENT_NONE;)
            events.push_back({code, EventSource(), EventDetail(), EventWindowNumber()});
        return events;
    }

    static std::vector<RecordedEvent> ControlEvents(const std::vector<RecordedEvent>& all) {
        std::vector<RecordedEvent> out;
        for (const auto& e : all)
            if (e.code == EVENT_CONTROL) out.push_back(e);
        return out;
    }

    static std::vector<int> ControlDetails(const std::vector<RecordedEvent>& all) {
        std::vector<int> out;
        for (const auto& e : ControlEvents(all))
            out.push_back(e.detail);
        return out;
    }

    static QWidget* Window(int n = 0) { return ToolkitWindowWidget(n); }
    static bool Activate(int n = 0) {
        Window(n)->activateWindow();
        return QTest::qWaitForWindowActive(Window(n));
    }
};
