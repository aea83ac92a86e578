#include "stats/DistributionRun.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>
#include <utility>

namespace Quorvex3 {

DistributionCurves computeDistributionCurves(const std::vector<DistributionSample>& samples,
                                             int categoryCount) {
    DistributionCurves curves;
    // The grid spans every value of every sample; only the extremes matter,
    // so look at each sample's values in place instead of copying them.
    std::vector<std::vector<double>> extremes;
    extremes.reserve(samples.size());
    for (const DistributionSample& sample : samples) {
        double lo = std::numeric_limits<double>::infinity();
        double hi = -lo;
        for (double v : sample.values)
            if (std::isfinite(v)) {
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
        if (lo <= hi)
            extremes.push_back({lo, hi});
    }
    if (extremes.empty())
        return curves;
    const std::optional<DistributionGrid> grid = makeDensityGrid(extremes);
    if (!grid) {
        curves.status = DistributionStatus::Overflow;
        return curves;
    }
    curves.status = DistributionStatus::Ready;
    curves.grid = *grid;
    curves.x.resize(kDensityGridPoints);
    for (int i = 0; i < kDensityGridPoints; ++i)
        curves.x[static_cast<std::size_t>(i)] = grid->start + grid->step * i;
    curves.densities.reserve(samples.size());
    for (const DistributionSample& sample : samples)
        curves.densities.push_back(
            estimateDensityCurve(sample.values, grid->range, grid->step, grid->start));

    curves.categories.resize(static_cast<std::size_t>(std::max(categoryCount, 0)));
    for (std::size_t c = 0; c < curves.categories.size(); ++c) {
        std::vector<std::vector<double>> members;
        for (std::size_t s = 0; s < samples.size(); ++s)
            if (samples[s].categoryIndex == static_cast<int>(c))
                members.push_back(curves.densities[s]);
        curves.categories[c] = averageDensityCurves(members);
    }
    return curves;
}

std::vector<std::pair<double, double>> densityBandOutline(const std::vector<double>& x,
                                                          const DensityAverage& average) {
    std::vector<std::pair<double, double>> points;
    if (average.upper.size() != x.size() || average.lower.size() != x.size())
        return points;
    points.reserve(2 * x.size());
    for (std::size_t g = 0; g < x.size(); ++g)
        points.emplace_back(x[g], average.upper[g]);
    for (std::size_t g = x.size(); g-- > 0;)
        points.emplace_back(x[g], average.lower[g]);
    return points;
}

} // namespace Quorvex3
