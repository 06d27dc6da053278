#include "picture/parallel.h"

#include "platform/helper_thread.h"

namespace {

// Rows per band: small enough that the two threads finish close together, large enough that
// taking a band costs nothing.
constexpr int kBandRows = 32;

}  // namespace

bool ParallelWorthIt(int width, int height) {
    return width > 0 && height > 0 && int64_t{width} * height >= kParallelMinPixels &&
           helper::Available();
}

void ParallelRows(int width, int height, const std::function<void(int, int)>& band,
                  const std::function<void(int)>& row) {
    helper::ShareRows(height, kBandRows, ParallelWorthIt(width, height), band, row);
}

void ParallelParts(int width, int height, int count, const std::function<void(int, int)>& part) {
    helper::ShareRows(count, 1, ParallelWorthIt(width, height), part);
}
