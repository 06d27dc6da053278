#include "toolkit/event_queue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <deque>
#include <map>

#include "toolkit/window.h"

namespace {

// Events beyond this many waiting are dropped, like a queue node that cannot be allocated.
constexpr size_t kMaxQueuedEvents = 4096;
// Outstanding drop handles beyond this many release the oldest.
constexpr size_t kMaxDrops = 64;

struct QueuedEvent {
    int code = 0;
    int window = -1;
    int source = 0;
    int detail = -1;
    bool control = false;
    bool hasParam = false;
    uintptr_t param = 0;
};

// Everything the queue keeps between calls: the last event's data, the waiting events, and the
// timer that ends a wait (present only while pumping; left to the process end when the toolkit
// is never shut down, since the GUI framework may be gone by then).
struct EventState {
    int source = 0;
    int window = -1;
    int detail = -1;
    uintptr_t param = 0;
    std::deque<QueuedEvent> queue;
    QTimer* wakeUp = nullptr;
};

// The names behind drop handles: the program may still hold a handle across a restart of the
// toolkit, so they are kept apart from the queue.
struct DropStore {
    std::map<uintptr_t, std::vector<std::string>> names;
    uintptr_t next = 1;
};

EventState g_events;
DropStore g_drops;

bool IsWindowEvent(int code) {
    return code == EVENT_MOVED || code == EVENT_RESIZED || code == EVENT_REPAINT ||
           code == EVENT_CLOSE || code == EVENT_ACTIVATED;
}

void Enqueue(const QueuedEvent& e) {
    auto& q = g_events.queue;
    // A burst of the same window event from the same window is reported once.
    if (IsWindowEvent(e.code) && !q.empty() && q.back().code == e.code &&
        q.back().window == e.window && !q.back().control)
        return;
    if (q.size() >= kMaxQueuedEvents) return;
    q.push_back(e);
}

QueuedEvent Pop() {
    QueuedEvent e = g_events.queue.front();
    g_events.queue.pop_front();
    return e;
}

int Report(const QueuedEvent& e) {
    g_events.window = e.window;
    if (e.control) {
        g_events.source = e.source;
        g_events.detail = e.detail;
    }
    if (e.hasParam) g_events.param = e.param;
    return e.code;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Queue
// ---------------------------------------------------------------------------------------------

void EventQueueStart() {
    EventQueueStop();
    g_events.wakeUp = new QTimer;
    g_events.wakeUp->setSingleShot(true);
}

void EventQueueStop() {
    delete g_events.wakeUp;
    g_events = EventState{};
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
    g_events.detail = -1;
    if (!g_events.queue.empty()) return Report(Pop());
    if (!g_events.wakeUp) return EVENT_NONE;

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
            if (timeoutMs > 0) g_events.wakeUp->start(static_cast<int>(left));
            flags |= QEventLoop::WaitForMoreEvents;
        }
        QCoreApplication::processEvents(flags);
        if (!g_events.queue.empty()) {
            g_events.wakeUp->stop();
            return Report(Pop());
        }
    }
    g_events.wakeUp->stop();
    return EVENT_NONE;
}

int EventSource() {
    return g_events.source;
}
int EventDetail() {
    return g_events.detail;
}
int EventWindowNumber() {
    return g_events.window;
}
uintptr_t EventParam() {
    return g_events.param;
}

// ---------------------------------------------------------------------------------------------
// Drop handles
// ---------------------------------------------------------------------------------------------

uintptr_t NewDrop(std::vector<std::string> names) {
    auto& drops = g_drops.names;
    while (drops.size() >= kMaxDrops)
        drops.erase(drops.begin());
    uintptr_t handle = g_drops.next++;
    if (g_drops.next == 0) g_drops.next = 1;
    drops[handle] = std::move(names);
    return handle;
}

int DropQueryCount(uintptr_t drop) {
    auto it = g_drops.names.find(drop);
    return it == g_drops.names.end() ? 0 : static_cast<int>(it->second.size());
}

std::string DropQueryFile(uintptr_t drop, int index) {
    auto it = g_drops.names.find(drop);
    if (it == g_drops.names.end() || index < 0 || index >= static_cast<int>(it->second.size()))
        return {};
    return it->second[static_cast<size_t>(index)];
}

void DropFinish(uintptr_t drop) {
    g_drops.names.erase(drop);
}
