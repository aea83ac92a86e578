#pragma once

// Summary statistics of one plotted feature, as the "Plot Statistics" table
// of the combined plots lists them. GUI-free.

#include <vector>

namespace Quorvex3 {

/// Summary of one column of values, in the table's column order.
struct CombinePlotStats {
    double mean = 0.0;
    double sd = 0.0; ///< sample standard deviation (n - 1); 0 for one value
    double q1 = 0.0;
    double median = 0.0;
    double q3 = 0.0;
    double iqr = 0.0; ///< q3 - q1
};

/// Mean, sample SD and the quartiles by linear interpolation between the
/// order statistics (position p * (n - 1), numpy's default). Empty input
/// gives all zeros. The values are expected to be finite (the shown events
/// of a combined plot are).
CombinePlotStats computeStats(const std::vector<double>& values);

} // namespace Quorvex3
