#pragma once

#include "stats/DensityCurve.h"

#include <string>
#include <vector>

namespace Quorvex3 {

/// One dataset's contribution to one distribution plot: the finite values of
/// the feature at its shown events, its display name (UTF-8) and the
/// position of its category. A dataset in two categories gives two samples.
struct DistributionSample {
    std::vector<double> values;
    std::string name;
    int categoryIndex = 0;
};

/// Why a feature gets no plot, or that it gets one.
enum class DistributionStatus {
    Ready,
    NoData,  ///< no sample holds a finite value: no plot, silently
    Overflow ///< the values span more than a double holds: no plot, and a warning
};

/// The curves of one distribution plot on their common 256-point grid.
struct DistributionCurves {
    DistributionStatus status = DistributionStatus::NoData;
    DistributionGrid grid;
    std::vector<double> x; ///< the grid points start + step * i
    /// Per sample, in sample order: its density on the grid.
    std::vector<std::vector<double>> densities;
    /// Per category (index = category position, `categoryCount` of them): the
    /// mean of its samples' curves and, with two or more, the band of one
    /// standard deviation; all empty for a category without a sample.
    std::vector<DensityAverage> categories;
};

/// Grid, per-sample densities and per-category averages of one feature.
DistributionCurves computeDistributionCurves(const std::vector<DistributionSample>& samples,
                                             int categoryCount);

/// The points of a per-category band: the grid ascending with `upper`, then
/// descending with `lower` (2 x 256 points, x then y interleaved as pairs).
std::vector<std::pair<double, double>> densityBandOutline(const std::vector<double>& x,
                                                          const DensityAverage& average);

} // namespace Quorvex3
