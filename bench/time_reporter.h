// A console reporter that also keeps the time per iteration of every run, so that a benchmark
// can print its speed as a ratio against a baseline measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class TimeReporter : public benchmark::ConsoleReporter {
public:
    // Processor time disturbs least on a shared machine; wall-clock time is needed where the
    // measured code hands work to threads whose time the calling thread's clock does not see.
    enum class Clock { Processor, Wall };
    // Runs are keyed by their full name ("BM_Pass/480/476"), or by function name alone.
    enum class Key { FullName, Function };

    explicit TimeReporter(Clock clock = Clock::Processor, Key key = Key::FullName)
        : clock_(clock), key_(key) {}

    // Seconds per iteration, by run name.
    std::map<std::string, double> seconds;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.iterations <= 0) continue;
            const double total =
                clock_ == Clock::Wall ? run.real_accumulated_time : run.cpu_accumulated_time;
            const std::string name =
                key_ == Key::Function ? run.run_name.function_name : run.benchmark_name();
            seconds[name] = total / static_cast<double>(run.iterations);
        }
        ConsoleReporter::ReportRuns(runs);
    }

private:
    Clock clock_;
    Key key_;
};
