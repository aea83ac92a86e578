#pragma once

#include <optional>
#include <vector>

namespace Quorvex3 {

/// Number of points of the distribution explorer's grid: point i lies at
/// start + step * i, i = 0 .. 255.
constexpr int kDensityGridPoints = 256;

/// The grid shared by every curve of one distribution plot.
struct DistributionGrid {
    double start = 0.0;
    double step = 0.0;
    double range = 0.0; ///< R = max - min of the values (1 when they are all equal)
};

/// The grid over [min - 0.05 R, max + 0.05 R] of all values of all samples
/// (max taken as min + 1 when not greater). Empty when no sample holds a
/// finite value, or when the range or the step is not a finite positive
/// number (values near the ends of the double range): no plot then.
std::optional<DistributionGrid> makeDensityGrid(const std::vector<std::vector<double>>& samples);

/// Smoothed density of one sample on the grid: linear binning, then one
/// convolution with a truncated Gaussian kernel whose bandwidth is
/// 0.5 * min(sd, IQR/1.34) * n^-0.2 (at least one step). The curve
/// integrates to 1 (sum of values times step). Non-finite values are left
/// out; no value gives 256 zeros; values off the grid count at its nearest
/// end. Empty (no curve) when range or step is not finite and positive.
std::vector<double> estimateDensityCurve(const std::vector<double>& values, double range,
                                         double step, double start);

/// The per-category summary of K density curves of equal length.
struct DensityAverage {
    std::vector<double> mean;
    /// mean + sd and max(mean - sd, 0), sd with divisor K - 1; empty for K < 2.
    std::vector<double> upper;
    std::vector<double> lower;
};

/// Point-wise mean of the curves and, for two or more, the band of one
/// standard deviation around it, clipped at 0.
DensityAverage averageDensityCurves(const std::vector<std::vector<double>>& curves);

} // namespace Quorvex3
