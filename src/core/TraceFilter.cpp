#include "core/TraceFilter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace Quorvex3 {

namespace {

// Window [lo, hi] of half-width w around i, clipped to a row of n samples.
// The half-width is non-negative; size_t keeps i + w from overflowing int.
inline size_t windowLow(size_t i, size_t w) {
    return i > w ? i - w : 0;
}

inline size_t windowHigh(size_t i, size_t w, size_t n) {
    return std::min(n - 1, i + w);
}

// Value at position size/2 of the ascending order (the upper middle value for
// an even count), found by partial selection. Reorders `values`.
inline float selectMiddle(std::vector<float>& values) {
    const auto mid = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), mid, values.end());
    return *mid;
}

} // namespace

void hampelFilter(std::vector<float>& row, int halfWidth, float threshold) {
    if (row.empty() || halfWidth <= 0)
        return; // a window of one sample has no spread, so nothing is replaced
    const size_t n = row.size();
    const size_t w = static_cast<size_t>(halfWidth);
    std::vector<float> out = row;
    std::vector<float> window;
    window.reserve(std::min(n, 2 * w + 1));
    for (size_t i = 0; i < n; ++i) {
        const size_t lo = windowLow(i, w);
        const size_t hi = windowHigh(i, w, n);
        window.assign(row.begin() + static_cast<std::ptrdiff_t>(lo),
                      row.begin() + static_cast<std::ptrdiff_t>(hi) + 1);
        const float med = selectMiddle(window);
        for (size_t k = 0; k < window.size(); ++k)
            window[k] = std::fabs(row[lo + k] - med);
        const float mad = selectMiddle(window);
        const float scale = mad * 1.4826f;
        if (scale > 0.0f && std::fabs(row[i] - med) > threshold * scale)
            out[i] = med;
    }
    row.swap(out);
}

void runningMedian(std::vector<float>& row, int halfWidth) {
    if (row.empty() || halfWidth < 1)
        return;
    const size_t n = row.size();
    const size_t w = static_cast<size_t>(halfWidth);
    std::vector<float> out(n);
    std::vector<float> window;
    window.reserve(std::min(n, 2 * w + 1));
    for (size_t i = 0; i < n; ++i) {
        const size_t lo = windowLow(i, w);
        const size_t hi = windowHigh(i, w, n);
        window.assign(row.begin() + static_cast<std::ptrdiff_t>(lo),
                      row.begin() + static_cast<std::ptrdiff_t>(hi) + 1);
        out[i] = selectMiddle(window);
    }
    row.swap(out);
}

void movingAverage(std::vector<float>& row, int halfWidth) {
    if (row.empty() || halfWidth < 1)
        return;
    const size_t n = row.size();
    const size_t w = static_cast<size_t>(halfWidth);
    std::vector<float> out(n);
    // Running sum in double: a float sum drifts over long rows.
    double sum = 0.0;
    size_t count = 0;
    for (size_t k = 0; k <= std::min(w, n - 1); ++k) {
        sum += row[k];
        ++count;
    }
    out[0] = static_cast<float>(sum / static_cast<double>(count));
    for (size_t i = 1; i < n; ++i) {
        if (i + w < n) {
            sum += row[i + w];
            ++count;
        }
        if (i > w) {
            sum -= row[i - w - 1];
            --count;
        }
        out[i] = static_cast<float>(sum / static_cast<double>(count));
    }
    row.swap(out);
}

void polynomialSmoothing(std::vector<float>& row, int halfWidth) {
    if (halfWidth < 0)
        return;
    const size_t m = static_cast<size_t>(halfWidth);
    const size_t n = row.size();
    if (m >= n || 2 * m >= n)
        return; // too short for one full window: keep the row as it is
    // Quadratic Savitzky-Golay weights, proportional to 3m^2 + 3m - 1 - 5j^2.
    const float mf = static_cast<float>(halfWidth);
    const float q = 3.0f * mf * (mf + 1.0f) - 1.0f;
    std::vector<float> weights(2 * m + 1);
    float total = 0.0f;
    for (size_t k = 0; k < weights.size(); ++k) {
        const float j = static_cast<float>(static_cast<long long>(k) - halfWidth);
        weights[k] = 3.0f * (q - 5.0f * j * j) / ((2.0f * mf + 1.0f) * q);
        total += weights[k];
    }
    for (float& weight : weights)
        weight /= total;

    std::vector<float> out = row;
    for (size_t i = m; i + m < n; ++i) {
        float acc = 0.0f;
        for (size_t k = 0; k < weights.size(); ++k)
            acc += weights[k] * row[i - m + k];
        out[i] = acc;
    }
    row.swap(out);
}

void applyTraceFilter(const TraceFilterSettings& settings, std::vector<float>& row) {
    if (settings.hampel1Enabled)
        hampelFilter(row, settings.hampel1HalfWidth, settings.hampel1Threshold);
    if (settings.hampel2Enabled)
        hampelFilter(row, settings.hampel2HalfWidth, settings.hampel2Threshold);
    if (settings.runningMedianEnabled)
        runningMedian(row, settings.runningMedianHalfWidth);
    if (settings.movingAverageEnabled)
        movingAverage(row, settings.movingAverageHalfWidth);
    if (settings.smoothingEnabled)
        polynomialSmoothing(row, settings.smoothingHalfWidth);
}

} // namespace Quorvex3
