#pragma once

#include <cstddef>
#include <vector>

namespace Quorvex3 {

/// Summary statistics of one feature column.
struct FeatureStats {
    double mean = 0.0;
    double sd = 0.0; ///< sample standard deviation (n - 1); 0 for n <= 1
    double q1 = 0.0;
    double median = 0.0;
    double q3 = 0.0;
    double iqr = 0.0; ///< q3 - q1
};

/// The summary statistics of the two plotted columns, each over its own
/// finite values.
struct PlotStatistics {
    /// False when x or y held no value at all: there is nothing to show.
    bool hasValues = false;
    FeatureStats x;
    FeatureStats y;
    std::size_t xCount = 0; ///< finite values of x
    std::size_t yCount = 0; ///< finite values of y
};

/// Mean, sample SD and linearly interpolated quartiles (at (n - 1) * p) of
/// the finite values; all zeros when there are none. `finiteCount`, when
/// given, receives their number.
FeatureStats computeFeatureStats(const std::vector<double>& values,
                                 std::size_t* finiteCount = nullptr);

/// The statistics of both columns, worked out side by side.
PlotStatistics computePlotStatistics(const std::vector<double>& x, const std::vector<double>& y);

} // namespace Quorvex3
