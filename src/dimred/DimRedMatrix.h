#pragma once

#include <cstddef>
#include <functional>
#include <vector>

namespace Quorvex3 {

/// A dense row-major matrix of doubles: one row per event, one column per
/// feature. Row i occupies data[i * cols] ... data[i * cols + cols - 1].
/// An empty matrix has no data and both counts 0.
struct DimRedMatrix {
    std::vector<double> data;
    size_t rows = 0;
    size_t cols = 0;
};

/// Progress of a long dimension-reduction computation: receives a percentage
/// (0 to 100) and returns false to cancel. An empty callback is allowed.
using DimRedProgress = std::function<bool(int)>;

} // namespace Quorvex3
