// The helper thread: one thread on the second core, started the first time work is handed to it
// and kept for the life of the process, so that sharing a pass costs a wake-up rather than a
// thread start. It runs one job at a time. A caller that finds it busy (another pass, or a job
// that was itself started on the helper) does the whole of its work on its own thread: the
// results never depend on whether the helper took part.
#pragma once

#include <functional>

namespace helper {

// ---------------------------------------------------------------------------------------------
// Jobs
// ---------------------------------------------------------------------------------------------

// True when the machine has a second core to hand work to.
bool Available();

// One job on the helper thread, waited for at the latest when the Job is destroyed.
class Job {
public:
    Job() = default;
    ~Job() { Wait(); }
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    // Hands `work` to the helper. False, and nothing started, when there is no second core, the
    // helper is busy or its thread cannot be started: the caller then does the work itself.
    [[nodiscard]] bool Start(std::function<void()> work);
    // Returns once the started work has ended; at once when none was started.
    void Wait();

private:
    bool started_ = false;
    unsigned long ticket_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Shared passes over rows
// ---------------------------------------------------------------------------------------------

// Runs band(first, last) over consecutive bands of `bandRows` rows covering [0, rows), each row
// exactly once, taken in turn by the calling thread and, when `share` and the helper is free, by
// the helper. `row`, when set, is called on the calling thread for every row y in order as the
// bands it takes reach it (all of them before this returns).
void ShareRows(int rows, int bandRows, bool share, const std::function<void(int, int)>& band,
               const std::function<void(int y)>& row = {});

}  // namespace helper
