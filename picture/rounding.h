// Rounding a measure to whole pixels: the one rule for every size and position worked out from a
// scale, in the frame, the export and the batch alike.
#pragma once

#include <cmath>
#include <limits>

// Nearest integer, halves to the even neighbour (the default rounding mode); saturates at the int
// range, and NaN gives 0.
[[nodiscard]] inline int Nearest(double value) {
    if (std::isnan(value)) return 0;
    constexpr double kMax = std::numeric_limits<int>::max();
    constexpr double kMin = std::numeric_limits<int>::min();
    if (value >= kMax) return std::numeric_limits<int>::max();
    if (value <= kMin) return std::numeric_limits<int>::min();
    return static_cast<int>(std::nearbyint(value));
}
