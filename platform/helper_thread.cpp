#include "platform/helper_thread.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace helper {
namespace {

// The thread and its one job slot. Never destroyed: the thread waits for work until the process
// ends, and nothing is left to clean up then.
struct Helper {
    std::mutex lock;
    std::condition_variable wake;  // a job was handed over
    std::condition_variable done;  // the job ended
    std::function<void()> job;
    bool busy = false;  // from Start until the job ended
    bool started = false;
    unsigned long ended = 0;  // jobs ended so far; a job's ticket is the count it brings to

    void Loop() {
        std::unique_lock<std::mutex> hold(lock);
        for (;;) {
            wake.wait(hold, [this] { return job != nullptr; });
            std::function<void()> work = std::move(job);
            job = nullptr;
            hold.unlock();
            work();
            work = nullptr;  // what the job holds is released before its caller goes on
            hold.lock();
            busy = false;
            ++ended;
            done.notify_all();
        }
    }
};

// The process's one helper, made on first use under `createLock`.
struct HelperState {
    std::mutex createLock;
    Helper* helper = nullptr;
    bool forkHandlers = false;  // registered with pthread_atfork
} g_state;

// A forked child has no helper thread, only a copy of its record: it starts its own. The locks
// are held across the fork so that the copy is taken in a consistent state.
void BeforeFork() {
    g_state.createLock.lock();
    if (g_state.helper) g_state.helper->lock.lock();
}
void AfterForkInParent() {
    if (g_state.helper) g_state.helper->lock.unlock();
    g_state.createLock.unlock();
}
void AfterForkInChild() {
    if (g_state.helper) g_state.helper->lock.unlock();
    g_state.helper = nullptr;  // the copy stays behind unused
    g_state.createLock.unlock();
}

Helper& TheHelper() {
    std::lock_guard<std::mutex> hold(g_state.createLock);
    if (!g_state.helper) {
        if (!g_state.forkHandlers) pthread_atfork(BeforeFork, AfterForkInParent, AfterForkInChild);
        g_state.forkHandlers = true;
        g_state.helper = new Helper;
    }
    return *g_state.helper;
}

}  // namespace

bool Available() {
    static const bool available = std::thread::hardware_concurrency() > 1;
    return available;
}

bool Job::Start(std::function<void()> work) {
    if (started_ || !Available() || !work) return false;
    Helper& h = TheHelper();
    std::lock_guard<std::mutex> hold(h.lock);
    if (h.busy) return false;
    if (!h.started) {
        try {
            std::thread(&Helper::Loop, &h).detach();
        } catch (const std::system_error&) {
            return false;
        }
        h.started = true;
    }
    h.job = std::move(work);
    h.busy = true;
    ticket_ = h.ended + 1;
    started_ = true;
    h.wake.notify_one();
    return true;
}

void Job::Wait() {
    if (!started_) return;
    Helper& h = TheHelper();
    std::unique_lock<std::mutex> hold(h.lock);
    h.done.wait(hold, [&] { return h.ended >= ticket_; });
    started_ = false;
}

void ShareRows(int rows, int bandRows, bool share, const std::function<void(int, int)>& band,
               const std::function<void(int)>& row) {
    if (rows <= 0) return;
    bandRows = std::max(bandRows, 1);
    std::atomic<int> next{0};  // first row of the next band nobody has taken
    auto take = [&](int& first, int& last) {
        first = next.fetch_add(bandRows, std::memory_order_relaxed);
        if (first >= rows) return false;
        last = std::min(rows, first + bandRows);
        return true;
    };
    Job helperPart;
    if (share && rows > bandRows) {
        (void)helperPart.Start([&] {
            int first = 0, last = 0;
            while (take(first, last))
                band(first, last);
        });
    }
    int reported = 0, first = 0, last = 0;
    while (take(first, last)) {
        if (row)
            for (; reported < last; ++reported)
                row(reported);
        band(first, last);
    }
    helperPart.Wait();
    if (row)
        for (; reported < rows; ++reported)
            row(reported);
}

}  // namespace helper
