#include "toolkit/event_queue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include "toolkit/toolkit_state.h"
#include "toolkit/window.h"

namespace {

// Events beyond this many waiting are dropped, like a queue node that cannot be allocated.
constexpr size_t kMaxQueuedEvents = 4096;
// Outstanding drop handles beyond this many release the oldest.
constexpr size_t kMaxDrops = 64;

bool IsWindowEvent(int code) {
    return code == EVENT_MOVED || code == EVENT_RESIZED || code == EVENT_REPAINT ||
           code == EVENT_CLOSE || code == EVENT_ACTIVATED;
}

void Enqueue(const QueuedEvent& e) {
    auto& q = g_toolkit.events.queue;
    // A burst of the same window event from the same window is reported once.
    if (IsWindowEvent(e.code) && !q.empty() && q.back().code == e.code &&
        q.back().window == e.window && !q.back().control)
        return;
    if (q.size() >= kMaxQueuedEvents) return;
    q.push_back(e);
}

QueuedEvent Pop() {
    QueuedEvent e = g_toolkit.events.queue.front();
    g_toolkit.events.queue.pop_front();
    return e;
}

int Report(const QueuedEvent& e) {
    g_toolkit.events.window = e.window;
    if (e.control) {
        g_toolkit.events.source = e.source;
        g_toolkit.events.detail = e.detail;
    }
    if (e.hasParam) g_toolkit.events.param = e.param;
    return e.code;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Queue
// ---------------------------------------------------------------------------------------------

void EventQueueStart() {
    EventQueueStop();
    g_toolkit.events.wakeUp = new QTimer;
    g_toolkit.events.wakeUp->setSingleShot(true);
}

void EventQueueStop() {
    delete g_toolkit.events.wakeUp;
    g_toolkit.events = EventQueueState{};
}

void QueueWindowEvent(int code, int window) {
    if (window >= 0) Enqueue({.code = code, .window = window});
}

void QueueInputEvent(int code, int window, uintptr_t param) {
    Enqueue({.code = code, .window = window, .hasParam = true, .param = param});
}

void ToolkitPostControlEvent(int window, int source, int detail) {
    Enqueue({.code = EVENT_CONTROL,
             .window = window,
             .source = source,
             .detail = detail,
             .control = true});
}

int EventWait(int timeoutMs) {
    g_toolkit.events.detail = -1;
    if (!g_toolkit.events.queue.empty()) return Report(Pop());
    if (!g_toolkit.events.wakeUp) return EVENT_NONE;

    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // The first pump takes what is already pending without waiting; the following ones wait for
    // more until the timeout has passed (a negative timeout waits for good).
    QElapsedTimer clock;
    clock.start();
    for (bool first = true;; first = false) {
        QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents;
        if (!first) {
            const qint64 left = timeoutMs - clock.elapsed();
            if (timeoutMs == 0 || (timeoutMs > 0 && left <= 0)) break;
            if (timeoutMs > 0) g_toolkit.events.wakeUp->start(static_cast<int>(left));
            flags |= QEventLoop::WaitForMoreEvents;
        }
        QCoreApplication::processEvents(flags);
        if (!g_toolkit.events.queue.empty()) {
            g_toolkit.events.wakeUp->stop();
            return Report(Pop());
        }
    }
    g_toolkit.events.wakeUp->stop();
    return EVENT_NONE;
}

void EventPumpUntil(const std::function<bool()>& done) {
    constexpr int kLookMs = 5;
    while (!done()) {
        if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (!done()) QThread::msleep(kLookMs);
    }
}

int EventSource() {
    return g_toolkit.events.source;
}
int EventDetail() {
    return g_toolkit.events.detail;
}
int EventWindowNumber() {
    return g_toolkit.events.window;
}
uintptr_t EventParam() {
    return g_toolkit.events.param;
}

// ---------------------------------------------------------------------------------------------
// Drop handles
// ---------------------------------------------------------------------------------------------

uintptr_t NewDrop(std::vector<std::string> names) {
    auto& drops = g_toolkit.drops.names;
    while (drops.size() >= kMaxDrops)
        drops.erase(drops.begin());
    uintptr_t handle = g_toolkit.drops.next++;
    if (g_toolkit.drops.next == 0) g_toolkit.drops.next = 1;
    drops[handle] = std::move(names);
    return handle;
}

int DropQueryCount(uintptr_t drop) {
    auto it = g_toolkit.drops.names.find(drop);
    return it == g_toolkit.drops.names.end() ? 0 : static_cast<int>(it->second.size());
}

std::string DropQueryFile(uintptr_t drop, int index) {
    auto it = g_toolkit.drops.names.find(drop);
    if (it == g_toolkit.drops.names.end() || index < 0 ||
        index >= static_cast<int>(it->second.size()))
        return {};
    return it->second[static_cast<size_t>(index)];
}

void DropFinish(uintptr_t drop) {
    g_toolkit.drops.names.erase(drop);
}
