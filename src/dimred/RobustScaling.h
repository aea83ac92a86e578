#pragma once

#include "dimred/DimRedMatrix.h"

#include <string>
#include <vector>

namespace Quorvex3 {

/// Per-feature scaling learnt from a matrix: x -> (x - centre) / scale.
/// All three vectors empty means that no scaling could be fitted.
struct RobustScaling {
    std::vector<double> centre;          ///< per feature: the median
    std::vector<double> scale;           ///< per feature: > 0 when made by fitScaling
    std::vector<std::string> degenerate; ///< features whose scale fell back to 1.0, in column order
};

/// Robust centre (median) and scale (MAD x 1.4826, else the sample standard
/// deviation, else 1.0 with the name listed as degenerate) of every column.
/// Empty when the matrix has no rows or columns or the names do not match
/// the column count.
RobustScaling fitScaling(const DimRedMatrix& matrix, const std::vector<std::string>& featureNames);

/// A matrix of the same shape holding (x - centre[j]) / scale[j]; the empty
/// matrix when the scaling's width differs from matrix.cols.
DimRedMatrix applyScaling(const RobustScaling& scaling, const DimRedMatrix& matrix);

/// Median of the values, as fitScaling takes it: the middle value, or for an
/// even count the mean of the two middle values. NaN sorts above every
/// number. `values` is reordered. 0 for no values.
double medianInPlace(std::vector<double>& values);

} // namespace Quorvex3
