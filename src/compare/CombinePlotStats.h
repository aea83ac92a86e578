#pragma once

// Summary statistics of the plotted features and the layout of the "Plot
// Statistics" table of the combined plots (shown in its dock and exported as
// TSV). GUI-free: the window turns the numbers into text.

#include "density/PlotStatistics.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace Quorvex3 {

/// Summary of one column of values, in the table's column order: the
/// statistics the main window's plot shows.
using CombinePlotStats = FeatureStats;

/// Mean, sample SD and the quartiles by linear interpolation between the
/// order statistics (position p * (n - 1), numpy's default). Empty input
/// gives all zeros. The values are expected to be finite (the shown events
/// of a combined plot are).
CombinePlotStats computeStats(const std::vector<double>& values);

struct CombineFilteredData;

/// Names of the six statistics of a feature's column group, in column order.
extern const char* const kCombineStatNames[6];

/// One position of the window's dataset list, for the statistics table.
struct CombineStatsInput {
    std::string xFeature; ///< the position's current features
    std::string yFeature;
    /// The dataset's shown events; null when the dataset is unknown (its
    /// row stays empty). An unloaded dataset passes empty data (N 0).
    const CombineFilteredData* data = nullptr;
};

struct CombineStatsRow {
    bool known = false; ///< the dataset exists: its name and N are shown
    size_t n = 0;       ///< number of shown events
    /// One entry per table feature; empty where the dataset does not plot
    /// the feature or has no values (the cells stay blank).
    std::vector<std::optional<CombinePlotStats>> groups;
};

struct CombineStatsTable {
    /// Column groups: each position's x then y feature, in list order,
    /// without empty names and repeats.
    std::vector<std::string> features;
    std::vector<CombineStatsRow> rows; ///< one per position
};

/// The table for the list positions, in order: per row, the statistics of
/// the x values under the x feature and of the y values under the y feature.
CombineStatsTable buildCombineStatsTable(const std::vector<CombineStatsInput>& positions);

} // namespace Quorvex3
