#include "compare/CombinePlotStats.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace Quorvex3 {

namespace {

double quantileOfSorted(const std::vector<double>& sorted, double p) {
    const double h = p * static_cast<double>(sorted.size() - 1);
    const size_t i = static_cast<size_t>(std::floor(h));
    const double f = h - static_cast<double>(i);
    if (i + 1 < sorted.size())
        return sorted[i] * (1.0 - f) + f * sorted[i + 1];
    return sorted[i];
}

} // namespace

CombinePlotStats computeStats(const std::vector<double>& values) {
    CombinePlotStats stats;
    if (values.empty())
        return stats;
    const double n = static_cast<double>(values.size());
    stats.mean = std::accumulate(values.begin(), values.end(), 0.0) / n;
    if (values.size() > 1) {
        double squares = 0.0;
        for (const double v : values)
            squares += (v - stats.mean) * (v - stats.mean);
        stats.sd = std::sqrt(squares / (n - 1.0));
    }
    std::vector<double> sorted(values);
    std::sort(sorted.begin(), sorted.end());
    stats.q1 = quantileOfSorted(sorted, 0.25);
    stats.median = quantileOfSorted(sorted, 0.5);
    stats.q3 = quantileOfSorted(sorted, 0.75);
    stats.iqr = stats.q3 - stats.q1;
    return stats;
}

} // namespace Quorvex3
