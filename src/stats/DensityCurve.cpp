#include "stats/DensityCurve.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iterator>
#include <limits>
#include <utility>

namespace Quorvex3 {

namespace {

constexpr int kLastBin = kDensityGridPoints - 1;

bool finitePositive(double x) {
    return std::isfinite(x) && x > 0.0;
}

/// The order statistics x[kLow] and x[kHigh] (0-based, kLow <= kHigh <
/// n) of the sorted values, exactly, without sorting or copying all of them:
/// a histogram over [lo, hi] finds the bucket holding each rank, and only
/// that bucket's values are selected. The bucket of a value is monotone in
/// the value, so ranks within a bucket are ranks in the whole.
std::pair<double, double> orderStatistics(const std::vector<double>& values, std::size_t kLow,
                                          std::size_t kHigh, double lo, double hi) {
    if (!(hi > lo))
        return {lo, lo};
    constexpr std::size_t kBuckets = 4096;
    const double scale = static_cast<double>(kBuckets) / (hi - lo);
    if (!std::isfinite(scale) || !(scale > 0.0)) {
        std::vector<double> copy = values; // the range overflows: plain selection
        std::nth_element(copy.begin(), copy.begin() + static_cast<std::ptrdiff_t>(kHigh),
                         copy.end());
        const double high = copy[kHigh];
        std::nth_element(copy.begin(), copy.begin() + static_cast<std::ptrdiff_t>(kLow),
                         copy.begin() + static_cast<std::ptrdiff_t>(kHigh));
        return {copy[kLow], high};
    }
    const auto bucketOf = [lo, scale](double v) {
        const double b = (v - lo) * scale;
        return b < static_cast<double>(kBuckets) ? static_cast<std::size_t>(b) : kBuckets - 1;
    };
    std::vector<std::size_t> counts(kBuckets, 0);
    for (double v : values)
        ++counts[bucketOf(v)];
    // The bucket holding a rank and the rank within it.
    const auto locate = [&counts](std::size_t rank) {
        std::size_t bucket = 0;
        while (rank >= counts[bucket])
            rank -= counts[bucket++];
        return std::make_pair(bucket, rank);
    };
    const auto [lowBucket, lowRank] = locate(kLow);
    const auto [highBucket, highRank] = locate(kHigh);
    std::vector<double> low;
    std::vector<double> high;
    low.reserve(counts[lowBucket]);
    high.reserve(highBucket == lowBucket ? 0 : counts[highBucket]);
    for (double v : values) {
        const std::size_t b = bucketOf(v);
        if (b == lowBucket)
            low.push_back(v);
        else if (b == highBucket)
            high.push_back(v);
    }
    std::vector<double>& highValues = highBucket == lowBucket ? low : high;
    std::nth_element(highValues.begin(), highValues.begin() + static_cast<std::ptrdiff_t>(highRank),
                     highValues.end());
    const double highValue = highValues[highRank];
    std::nth_element(low.begin(), low.begin() + static_cast<std::ptrdiff_t>(lowRank), low.end());
    return {low[lowRank], highValue};
}

/// s of the bandwidth rule: min(population sd, IQR / 1.34) with its fallbacks.
double spread(const std::vector<double>& values, double range) {
    const std::size_t n = values.size();
    double sum = 0.0;
    double lo = values.front();
    double hi = values.front();
    for (double v : values) {
        sum += v;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    const double mean = sum / static_cast<double>(n);
    double squares = 0.0;
    for (double v : values)
        squares += (v - mean) * (v - mean);
    const double sd = std::sqrt(squares / static_cast<double>(n));

    // Quartiles by index, without interpolation.
    const auto [lower, upper] = orderStatistics(values, n / 4, 3 * n / 4, lo, hi);
    const double q = (upper - lower) / 1.34;

    double s = std::min(sd, q);
    if (s < 1e-15)
        s = sd;
    if (s < 1e-15)
        s = 0.01 * range;
    return s;
}

/// Linear binning onto the grid. t is clamped before the cast, so a value
/// off the grid (or a step so small that t overflows an int) adds its weight
/// to the nearest end bin instead of writing out of bounds.
std::vector<double> binValues(const std::vector<double>& values, double step, double start) {
    std::vector<double> bins(kDensityGridPoints, 0.0);
    for (double v : values) {
        const double t = std::clamp((v - start) / step, 0.0, static_cast<double>(kLastBin));
        const int i = static_cast<int>(t);
        if (i < kLastBin) {
            const double f = t - i;
            bins[static_cast<std::size_t>(i)] += 1.0 - f;
            bins[static_cast<std::size_t>(i) + 1] += f;
        } else {
            bins[kLastBin] += 1.0;
        }
    }
    return bins;
}

/// The normalised kernel exp(-0.5 ((j - m) step / h)^2), j = 0 .. 2m. A kernel
/// wider than the grid is cut at the grid's width: its outer weights never
/// meet a bin, and the final normalisation undoes the change of their sum.
std::vector<double> gaussianKernel(double h, double step) {
    const double halfWidth = std::ceil(4.0 * h / step);
    const int m = halfWidth < kDensityGridPoints ? std::max(1, static_cast<int>(halfWidth))
                                                 : kDensityGridPoints;
    std::vector<double> weights(static_cast<std::size_t>(2 * m + 1));
    double sum = 0.0;
    for (int j = 0; j <= 2 * m; ++j) {
        const double z = (j - m) * step / h;
        weights[static_cast<std::size_t>(j)] = std::exp(-0.5 * z * z);
        sum += weights[static_cast<std::size_t>(j)];
    }
    for (double& w : weights)
        w /= sum;
    return weights;
}

} // namespace

std::optional<DistributionGrid> makeDensityGrid(const std::vector<std::vector<double>>& samples) {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    for (const std::vector<double>& sample : samples)
        for (double v : sample)
            if (std::isfinite(v)) {
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
    if (!(lo <= hi))
        return std::nullopt;
    if (!(hi > lo))
        hi = lo + 1.0;
    DistributionGrid grid;
    grid.range = hi - lo;
    grid.start = lo - 0.05 * grid.range;
    grid.step = ((hi + 0.05 * grid.range) - grid.start) / kLastBin;
    if (!finitePositive(grid.range) || !finitePositive(grid.step) || !std::isfinite(grid.start))
        return std::nullopt;
    return grid;
}

std::vector<double> estimateDensityCurve(const std::vector<double>& values, double range,
                                         double step, double start) {
    if (!finitePositive(range) || !finitePositive(step) || !std::isfinite(start))
        return {};
    // The values are used in place unless some must be left out.
    std::vector<double> finiteCopy;
    const bool allFinite =
        std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
    if (!allFinite)
        std::copy_if(values.begin(), values.end(), std::back_inserter(finiteCopy),
                     [](double v) { return std::isfinite(v); });
    const std::vector<double>& finite = allFinite ? values : finiteCopy;
    if (finite.empty())
        return std::vector<double>(kDensityGridPoints, 0.0);

    const double n = static_cast<double>(finite.size());
    double h = 0.5 * spread(finite, range) * std::pow(n, -0.2);
    if (!(h >= step))
        h = step;
    const std::vector<double> bins = binValues(finite, step, start);
    const std::vector<double> kernel = gaussianKernel(h, step);
    const int m = static_cast<int>(kernel.size() / 2);

    std::vector<double> density(kDensityGridPoints, 0.0);
    double total = 0.0;
    for (int g = 0; g < kDensityGridPoints; ++g) {
        const int jFirst = std::max(0, m - g);
        const int jLast = std::min(2 * m, kLastBin + m - g);
        double sum = 0.0;
        for (int j = jFirst; j <= jLast; ++j)
            sum += bins[static_cast<std::size_t>(g - m + j)] * kernel[static_cast<std::size_t>(j)];
        density[static_cast<std::size_t>(g)] = sum;
        total += sum;
    }
    if (total > 0.0)
        for (double& d : density)
            d /= total * step;
    return density;
}

DensityAverage averageDensityCurves(const std::vector<std::vector<double>>& curves) {
    DensityAverage average;
    if (curves.empty())
        return average;
    const std::size_t points = curves.front().size();
    const double k = static_cast<double>(curves.size());
    average.mean.assign(points, 0.0);
    for (const std::vector<double>& curve : curves)
        for (std::size_t g = 0; g < points && g < curve.size(); ++g)
            average.mean[g] += curve[g];
    for (double& m : average.mean)
        m /= k;
    if (curves.size() < 2)
        return average;
    average.upper.resize(points);
    average.lower.resize(points);
    for (std::size_t g = 0; g < points; ++g) {
        double squares = 0.0;
        for (const std::vector<double>& curve : curves) {
            const double d = (g < curve.size() ? curve[g] : 0.0) - average.mean[g];
            squares += d * d;
        }
        const double sd = std::sqrt(squares / (k - 1.0));
        average.upper[g] = average.mean[g] + sd;
        average.lower[g] = std::max(average.mean[g] - sd, 0.0);
    }
    return average;
}

} // namespace Quorvex3
