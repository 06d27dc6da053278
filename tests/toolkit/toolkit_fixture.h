// Shared set-up of the toolkit tests: a running toolkit, window 0 open and no events waiting.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <cstdlib>
#include <vector>

#include "toolkit/control.h"
#include "toolkit/qt_toolkit.h"
#include "toolkit/window.h"

struct RecordedEvent {
    int code;
    int source;
    int detail;
    int window;
};

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
        for (int i = 0; i < 10000; ++i) {
            int code = EventWait(0);
            if (code == EVENT_NONE) break;
            events.push_back({code, EventSource(), EventDetail(), EventWindowNumber()});
        }
        return events;
    }

    static std::vector<RecordedEvent> ControlEvents(const std::vector<RecordedEvent>& all) {
        std::vector<RecordedEvent> out;
        for (const auto& e : all)
            if (e.code == EVENT_CONTROL) out.push_back(e);
        return out;
    }

    // Pumps until `done` holds or the generous time-out passes.
    template <class Pred>
    static bool WaitFor(Pred done, int timeoutMs = 10000) {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > timeoutMs) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        return true;
    }

    static QWidget* Window(int n = 0) { return ToolkitWindowWidget(n); }
};
