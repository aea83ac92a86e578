#include "density/PlotStatistics.h"

#include "density/DensityDetail.h"

#include <algorithm>
#include <cmath>
#include <future>

namespace Quorvex3 {

FeatureStats computeFeatureStats(const std::vector<double>& values, std::size_t* finiteCount) {
    // Plotted columns are finite throughout: they are used as they are; a
    // column with NaN or infinite values gives up a copy of the others.
    const bool allFinite =
        std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
    std::vector<double> copy;
    if (!allFinite) {
        for (double v : values)
            if (std::isfinite(v))
                copy.push_back(v);
    }
    const std::vector<double>& finite = allFinite ? values : copy;
    const std::size_t n = finite.size();
    if (finiteCount)
        *finiteCount = n;
    FeatureStats stats;
    if (n == 0)
        return stats;

    // Summed in order, one value after the other: the same rounding on
    // every run and with any number of threads elsewhere.
    double sum = 0.0;
    for (double v : finite)
        sum += v;
    stats.mean = sum / static_cast<double>(n);
    if (n > 1) {
        double squares = 0.0;
        for (double v : finite)
            squares += (v - stats.mean) * (v - stats.mean);
        stats.sd = std::sqrt(squares / static_cast<double>(n - 1));
    }

    // Each quartile lies between the entries at ranks i and i + 1 of the
    // sorted values; exact order statistics, found without sorting.
    const double probabilities[3] = {0.25, 0.5, 0.75};
    std::vector<std::size_t> ranks;
    double fractions[3] = {};
    for (int k = 0; k < 3; ++k) {
        const double position = static_cast<double>(n - 1) * probabilities[k];
        const auto i = static_cast<std::size_t>(std::floor(position));
        fractions[k] = position - static_cast<double>(i);
        ranks.push_back(i);
        ranks.push_back(std::min(i + 1, n - 1));
    }
    const std::vector<double> at = densitydetail::orderStatistics(finite, ranks);
    double quartiles[3] = {};
    for (int k = 0; k < 3; ++k) {
        const std::size_t i = ranks[2 * static_cast<std::size_t>(k)];
        quartiles[k] = at[2 * static_cast<std::size_t>(k)];
        if (i + 1 < n)
            quartiles[k] = quartiles[k] * (1.0 - fractions[k]) +
                           fractions[k] * at[2 * static_cast<std::size_t>(k) + 1];
    }
    stats.q1 = quartiles[0];
    stats.median = quartiles[1];
    stats.q3 = quartiles[2];
    stats.iqr = stats.q3 - stats.q1;
    return stats;
}

PlotStatistics computePlotStatistics(const std::vector<double>& x, const std::vector<double>& y) {
    PlotStatistics statistics;
    statistics.hasValues = !x.empty() && !y.empty();
    if (!statistics.hasValues)
        return statistics;
    auto xSide = std::async(std::launch::async, [&x, &statistics] {
        return computeFeatureStats(x, &statistics.xCount);
    });
    statistics.y = computeFeatureStats(y, &statistics.yCount);
    statistics.x = xSide.get();
    return statistics;
}

} // namespace Quorvex3
