#pragma once

#include "core/RTDCReader.h"

#include <vector>

namespace Quorvex3 {

// The five stages applied to derived fluorescence traces. Each works on a
// row of samples in place; the windows shrink at both ends of the row.

/// Replaces a sample by its window median when it lies more than
/// `threshold` scaled MADs away (half-width `halfWidth`).
void hampelFilter(std::vector<float>& row, int halfWidth, float threshold);
/// Centred running median (half-width >= 1; otherwise unchanged).
void runningMedian(std::vector<float>& row, int halfWidth);
/// Centred moving average, accumulated in double (half-width >= 1).
void movingAverage(std::vector<float>& row, int halfWidth);
/// Quadratic Savitzky-Golay smoothing; the first and last `halfWidth`
/// samples keep their values; rows of 2*halfWidth samples or fewer stay.
void polynomialSmoothing(std::vector<float>& row, int halfWidth);
/// The enabled stages in their fixed order.
void applyTraceFilter(const TraceFilterSettings& settings, std::vector<float>& row);

} // namespace Quorvex3
