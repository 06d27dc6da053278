#include "picture/parallel.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>

namespace {

// Rows per band: small enough that the two threads finish close together, large enough that
// taking a band costs nothing.
constexpr int kBandRows = 32;

}  // namespace

bool ParallelWorthIt(int width, int height) {
    return width > 0 && height > 0 && int64_t{width} * height >= kParallelMinPixels &&
           std::thread::hardware_concurrency() > 1;
}

void ParallelRows(int width, int height, const std::function<void(int, int)>& band,
                  const std::function<void(int)>& row) {
    if (height <= 0) return;
    std::atomic<int> next{0};  // first row of the next band nobody has taken
    auto take = [&](int& first, int& last) {
        first = next.fetch_add(kBandRows, std::memory_order_relaxed);
        if (first >= height) return false;
        last = std::min(height, first + kBandRows);
        return true;
    };
    std::thread helper;
    if (ParallelWorthIt(width, height)) {
        try {
            helper = std::thread([&] {
                int first = 0, last = 0;
                while (take(first, last))
                    band(first, last);
            });
        } catch (const std::system_error&) {
            // Without a second thread the calling thread takes every band.
        }
    }
    int reported = 0, first = 0, last = 0;
    while (take(first, last)) {
        if (row)
            for (; reported < last; ++reported)
                row(reported);
        band(first, last);
    }
    if (helper.joinable()) helper.join();
    if (row)
        for (; reported < height; ++reported)
            row(reported);
}
