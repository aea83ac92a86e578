#pragma once

// Axis limits shared by the combined plots ("Sync Axes") and the grid in
// which the plots are arranged. GUI-free.

#include "compare/CombinePlotData.h"
#include "core/ScaleTransform.h"

#include <vector>

namespace Quorvex3 {

/// Limits of one axis in data units. `valid` false: nothing to span, the
/// axis keeps automatic scaling.
struct AxisRange {
    bool valid = false;
    double min = 0.0;
    double max = 0.0;
};

struct CombineAxisLimits {
    AxisRange x;
    AxisRange y;
};

/// The extremes of `values` (over every column, non-finite values skipped)
/// padded by 5 % of their span in the space the axis shows:
/// - linear: in data units; a span of 0 is padded by 1.0 on each side;
/// - logarithmic: positive values only, padded in log10 (a span of 0 by one
///   decade on each side); no positive value gives no range;
/// - pseudo-logarithmic: in the program's pseudo-log space (a span of 0 by
///   1.0 of that space).
/// No finite value gives no range.
AxisRange paddedAxisRange(const std::vector<const std::vector<double>*>& columns, ScaleMode mode);

/// Common limits over every given dataset's shown events (null entries are
/// skipped), for axes of the given scales; each axis on its own.
CombineAxisLimits computeGlobalAxisLimits(const std::vector<const CombineFilteredData*>& datasets,
                                          ScaleMode scaleX, ScaleMode scaleY);

/// The manual limit fields as limits. An axis whose numbers are not finite,
/// or a logarithmic axis whose lower or upper limit is not above 0, stays
/// automatic (invalid).
CombineAxisLimits manualAxisLimits(double xMin, double xMax, double yMin, double yMax,
                                   ScaleMode scaleX, ScaleMode scaleY);

/// Columns and rows of a grid of plots.
struct CombineGridSize {
    int columns = 0;
    int rows = 0;
};

/// Grid for `plotCount` plots. With a manual size, `manualColumns` >= 1
/// fixes the columns (rows follow), else `manualRows` >= 1 fixes the rows
/// (columns follow), else the automatic rule: ceil(sqrt(n)) columns. Plot k
/// sits in row k / columns, column k % columns. No plots: (0, 0).
CombineGridSize computeGridSize(int plotCount, bool manualSize, int manualColumns, int manualRows);

} // namespace Quorvex3
