#include "density/DensityEstimator.h"

#include "density/DensityDetail.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace Quorvex3 {

namespace densitydetail {

namespace {

/// Whether every pair is finite, and if so the bounds of the coordinates.
struct PairScan {
    bool allFinite = true;
    double xMin = 0.0;
    double xMax = 0.0;
    double yMin = 0.0;
    double yMax = 0.0;
};

// One pass, in blocks on several threads for large columns, written so the
// compiler turns it into vector instructions: v - v is 0 exactly for finite
// v (NaN otherwise), and the minima and maxima are those std::min and
// std::max give (equal zeros of either sign are the same bound).
PairScan scanPairs(const std::vector<double>& x, const std::vector<double>& y) {
    const std::size_t n = x.size();
    PairScan all;
    if (n == 0)
        return all;
    const std::size_t block = kParallelEventsFrom;
    std::vector<PairScan> blocks((n + block - 1) / block);
    parallelChunks(blocks.size(), 1, [&](std::size_t first, std::size_t last) {
        for (std::size_t b = first; b < last; ++b) {
            const std::size_t begin = b * block;
            const std::size_t end = std::min(n, begin + block);
            double finite = 0.0;
            double xLo = x[begin], xHi = x[begin], yLo = y[begin], yHi = y[begin];
            for (std::size_t i = begin; i < end; ++i) {
                const double u = x[i];
                const double v = y[i];
                finite += (u - u) + (v - v);
                xLo = u < xLo ? u : xLo;
                xHi = xHi < u ? u : xHi;
                yLo = v < yLo ? v : yLo;
                yHi = yHi < v ? v : yHi;
            }
            blocks[b] = PairScan{finite == 0.0, xLo, xHi, yLo, yHi};
        }
    });
    all = blocks.front();
    for (const PairScan& b : blocks) {
        all.allFinite = all.allFinite && b.allFinite;
        all.xMin = std::min(all.xMin, b.xMin);
        all.xMax = std::max(all.xMax, b.xMax);
        all.yMin = std::min(all.yMin, b.yMin);
        all.yMax = std::max(all.yMax, b.yMax);
    }
    return all;
}

void takeBounds(const PairScan& scan, FinitePairs& pairs) {
    pairs.xMin = scan.xMin;
    pairs.xMax = scan.xMax;
    pairs.yMin = scan.yMin;
    pairs.yMax = scan.yMax;
}

void keepFinite(const std::vector<double>& x, const std::vector<double>& y, FinitePairs& pairs) {
    const std::size_t n = std::min(x.size(), y.size());
    pairs.heldX.reserve(n);
    pairs.heldY.reserve(n);
    pairs.index.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (!isFinitePair(x[i], y[i]))
            continue;
        pairs.heldX.push_back(x[i]);
        pairs.heldY.push_back(y[i]);
        pairs.index.push_back(i);
    }
}

void findBounds(FinitePairs& pairs) {
    const std::vector<double>& x = pairs.x();
    const std::vector<double>& y = pairs.y();
    if (x.empty())
        return;
    pairs.xMin = pairs.xMax = x.front();
    pairs.yMin = pairs.yMax = y.front();
    for (std::size_t k = 1; k < x.size(); ++k) {
        pairs.xMin = std::min(pairs.xMin, x[k]);
        pairs.xMax = std::max(pairs.xMax, x[k]);
        pairs.yMin = std::min(pairs.yMin, y[k]);
        pairs.yMax = std::max(pairs.yMax, y[k]);
    }
}

} // namespace

// Usually every event is finite: then the columns themselves serve, without
// a copy or an index of kept events.
FinitePairs collectFinitePairs(const std::vector<double>& x, const std::vector<double>& y) {
    FinitePairs pairs;
    if (x.size() == y.size()) {
        const PairScan scan = scanPairs(x, y);
        if (scan.allFinite) {
            pairs.sharedX = &x;
            pairs.sharedY = &y;
            takeBounds(scan, pairs);
            return pairs;
        }
    }
    keepFinite(x, y, pairs);
    findBounds(pairs);
    return pairs;
}

FinitePairs collectFinitePairs(std::vector<double>&& x, std::vector<double>&& y) {
    FinitePairs pairs;
    if (x.size() == y.size()) {
        const PairScan scan = scanPairs(x, y);
        if (scan.allFinite) {
            pairs.heldX = std::move(x);
            pairs.heldY = std::move(y);
            takeBounds(scan, pairs);
            return pairs;
        }
    }
    keepFinite(x, y, pairs);
    findBounds(pairs);
    return pairs;
}

} // namespace densitydetail

namespace {

using densitydetail::FinitePairs;
using densitydetail::parallelChunks;
using densitydetail::truncateClamp;

/// The first and third quartiles, each by linear interpolation between the
/// order statistics at p * (n - 1) and the next one; lo and hi bound the values.
std::pair<double, double> quartiles(const std::vector<double>& values, double lo, double hi) {
    const std::size_t n = values.size();
    std::vector<std::size_t> ranks;
    std::vector<double> weights;
    for (const double p : {0.25, 0.75}) {
        const double position = p * static_cast<double>(n - 1);
        const auto lower = static_cast<std::size_t>(std::floor(position));
        ranks.push_back(lower);
        ranks.push_back(std::min(n - 1, lower + 1));
        weights.push_back(position - static_cast<double>(lower));
    }
    const std::vector<double> at = densitydetail::orderStatisticsWithin(values, ranks, lo, hi);
    return {at[0] + weights[0] * (at[1] - at[0]), at[2] + weights[1] * (at[3] - at[2])};
}

/// Scale of one coordinate for the bandwidth: IQR / 1.34 when that is positive
/// and below the population standard deviation, else the standard deviation.
double robustSpread(const std::vector<double>& values, double lo, double hi) {
    const double n = static_cast<double>(values.size());
    double sum = 0.0;
    for (double v : values)
        sum += v;
    const double mean = sum / n;
    double squares = 0.0;
    for (double v : values)
        squares += (v - mean) * (v - mean);
    const double sd = std::sqrt(squares / n);

    const auto [q1, q3] = quartiles(values, lo, hi);
    const double iqr = q3 - q1;
    return (iqr > 0.0 && iqr / 1.34 < sd) ? iqr / 1.34 : sd;
}

/// Bandwidth of one coordinate; lo and hi are its least and greatest value.
double bandwidthFor(const std::vector<double>& values, double lo, double hi) {
    const double n = static_cast<double>(values.size());
    const double h = std::pow(n, -0.16666666666666666) * robustSpread(values, lo, hi);
    // A spread that overflowed is as unusable as a zero one.
    return (h > 0.0 && std::isfinite(h)) ? h : 1.0;
}

/// Normalised Gaussian weights for offsets -r..r (index j + r), cut at four
/// bandwidths; bandwidth in cells. A bandwidth is at most a sixth of the grid
/// for any ordinary input; the cap at the grid size only keeps rounding-
/// degenerate inputs (huge offsets, tiny spreads) from asking for more.
std::vector<double> gaussianKernel(double bandwidthCells, int gridSize) {
    if (!(bandwidthCells > 0.0) || !std::isfinite(bandwidthCells))
        return {1.0};
    const double radius = std::ceil(4.0 * bandwidthCells);
    const int r =
        radius >= gridSize ? std::max(gridSize, 1) : std::max(static_cast<int>(radius), 1);
    std::vector<double> weights(static_cast<std::size_t>(2 * r + 1));
    double sum = 0.0;
    for (int j = -r; j <= r; ++j) {
        const double z = static_cast<double>(j) / bandwidthCells;
        const double w = std::exp(-0.5 * (z * z));
        weights[static_cast<std::size_t>(j + r)] = w;
        sum += w;
    }
    for (double& w : weights)
        w /= sum;
    return weights;
}

std::vector<char> nonZeroRows(const std::vector<double>& grid, int g) {
    std::vector<char> flags(static_cast<std::size_t>(g), 0);
    for (int iy = 0; iy < g; ++iy) {
        const double* row = grid.data() + static_cast<std::size_t>(iy) * g;
        flags[static_cast<std::size_t>(iy)] =
            std::any_of(row, row + g, [](double v) { return v != 0.0; }) ? 1 : 0;
    }
    return flags;
}

// Both passes accumulate each output cell over the kernel offsets in
// ascending order, starting from 0; the loops are arranged so the inner one
// runs along a row and vectorises. Cells outside the grid count as 0.
std::vector<double> convolveRows(const std::vector<double>& in, int g,
                                 const std::vector<double>& weights) {
    const int r = static_cast<int>(weights.size() / 2);
    std::vector<double> out(in.size(), 0.0);
    const std::vector<char> rowUsed = nonZeroRows(in, g);
    for (int iy = 0; iy < g; ++iy) {
        if (!rowUsed[static_cast<std::size_t>(iy)])
            continue;
        const double* src = in.data() + static_cast<std::size_t>(iy) * g;
        double* dst = out.data() + static_cast<std::size_t>(iy) * g;
        for (int j = -r; j <= r; ++j) {
            const double w = weights[static_cast<std::size_t>(j + r)];
            const int begin = std::max(0, -j);
            const int end = std::min(g, g - j);
            for (int i = begin; i < end; ++i)
                dst[i] += w * src[i + j];
        }
    }
    return out;
}

std::vector<double> convolveColumns(const std::vector<double>& in, int g,
                                    const std::vector<double>& weights) {
    const int r = static_cast<int>(weights.size() / 2);
    std::vector<double> out(in.size(), 0.0);
    const std::vector<char> rowUsed = nonZeroRows(in, g);
    for (int iy = 0; iy < g; ++iy) {
        double* dst = out.data() + static_cast<std::size_t>(iy) * g;
        for (int j = -r; j <= r; ++j) {
            const int sy = iy + j;
            if (sy < 0 || sy >= g || !rowUsed[static_cast<std::size_t>(sy)])
                continue;
            const double w = weights[static_cast<std::size_t>(j + r)];
            const double* src = in.data() + static_cast<std::size_t>(sy) * g;
            for (int i = 0; i < g; ++i)
                dst[i] += w * src[i];
        }
    }
    return out;
}

/// Events per cell of the grid's layout, counted in blocks on several
/// threads (whole numbers, so the sums are exact in any order).
std::vector<double> eventCountsPerCell(const FinitePairs& pairs, const DensityGrid& grid) {
    const int g = grid.size;
    const std::size_t cells = static_cast<std::size_t>(g) * static_cast<std::size_t>(g);
    const std::size_t n = pairs.size();
    const std::size_t block = std::max<std::size_t>(n / 8 + 1, densitydetail::kParallelEventsFrom);
    const std::size_t blocks = (n + block - 1) / block;
    std::vector<std::uint32_t> partial(blocks * cells, 0U);
    parallelChunks(n, block, [&](std::size_t begin, std::size_t end) {
        std::uint32_t* own = partial.data() + (begin / block) * cells;
        for (std::size_t i = begin; i < end; ++i) {
            const int col = truncateClamp((pairs.x()[i] - grid.xMin) / grid.xStep, g);
            const int row = truncateClamp((pairs.y()[i] - grid.yMin) / grid.yStep, g);
            ++own[static_cast<std::size_t>(row) * static_cast<std::size_t>(g) +
                  static_cast<std::size_t>(col)];
        }
    });
    std::vector<double> counts(cells, 0.0);
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::uint32_t* own = partial.data() + b * cells;
        for (std::size_t c = 0; c < cells; ++c)
            counts[c] += own[c];
    }
    return counts;
}

DensityGrid kdeGridFromPairs(const FinitePairs& pairs, int gridSize) {
    DensityGrid grid;
    if (pairs.size() == 0)
        return grid;

    // The grid size and the two axes' bandwidths are independent of each
    // other; for large inputs the three run side by side.
    int g = gridSize;
    double bandwidth[2] = {1.0, 1.0};
    const std::size_t tasks = gridSize >= 1 ? 2 : 3;
    const bool large = pairs.size() >= densitydetail::kParallelEventsFrom;
    parallelChunks(tasks, large ? 1 : tasks, [&](std::size_t begin, std::size_t end) {
        for (std::size_t task = begin; task < end; ++task) {
            if (task < 2)
                bandwidth[task] = task == 0 ? bandwidthFor(pairs.x(), pairs.xMin, pairs.xMax)
                                            : bandwidthFor(pairs.y(), pairs.yMin, pairs.yMax);
            else
                g = densitydetail::chooseBinCount(pairs);
        }
    });
    const double hx = bandwidth[0];
    const double hy = bandwidth[1];
    grid.size = g;
    grid.xMin = pairs.xMin - 3.0 * hx;
    grid.yMin = pairs.yMin - 3.0 * hy;
    grid.xStep = (pairs.xMax + 3.0 * hx - grid.xMin) / g;
    grid.yStep = (pairs.yMax + 3.0 * hy - grid.yMin) / g;

    const std::vector<double> counts = eventCountsPerCell(pairs, grid);
    const std::vector<double> xKernel = gaussianKernel(hx / grid.xStep, g);
    const std::vector<double> yKernel = gaussianKernel(hy / grid.yStep, g);
    grid.values = convolveColumns(convolveRows(counts, g, xKernel), g, yKernel);
    return grid;
}

/// Cell-centre coordinate of a position, kept within a range where the
/// conversion to int is defined (far outside the grid only the border cell
/// is read anyway).
double cellCoordinate(double value, double origin, double step) {
    constexpr double kLimit = 1.0e9;
    const double f = (value - origin) / step - 0.5;
    return std::isnan(f) ? f : std::clamp(f, -kLimit, kLimit);
}

/// std::floor for |v| <= 1e9 (what cellCoordinate leaves), without the
/// library call that std::floor is on processors without SSE4.1.
double floorOfCoordinate(double v) {
    const double t = static_cast<double>(static_cast<long long>(v));
    return t > v ? t - 1.0 : t;
}

double bilinear(const DensityGrid& grid, double fx, double fy) {
    const int g = grid.size;
    const double fx0 = floorOfCoordinate(fx);
    const double fy0 = floorOfCoordinate(fy);
    const double tx = fx - fx0;
    const double ty = fy - fy0;
    const int x0 = static_cast<int>(fx0);
    const int y0 = static_cast<int>(fy0);
    const auto clampIndex = [g](int i) {
        return static_cast<std::size_t>(std::clamp(i, 0, g - 1));
    };
    const std::size_t c0 = clampIndex(x0);
    const std::size_t c1 = clampIndex(x0 + 1);
    const std::size_t r0 = clampIndex(y0) * static_cast<std::size_t>(g);
    const std::size_t r1 = clampIndex(y0 + 1) * static_cast<std::size_t>(g);
    const double* v = grid.values.data();
    return (1.0 - tx) * (1.0 - ty) * v[r0 + c0] + tx * (1.0 - ty) * v[r0 + c1] +
           (1.0 - tx) * ty * v[r1 + c0] + tx * ty * v[r1 + c1];
}

bool usableGrid(const DensityGrid& grid) {
    return grid.size >= 1 && !grid.values.empty() &&
           grid.values.size() >=
               static_cast<std::size_t>(grid.size) * static_cast<std::size_t>(grid.size);
}

/// computeHDRThreshold for each fraction, with one selection for all.
std::vector<double> hdrThresholds(const std::vector<double>& densities,
                                  const std::vector<double>& fractions) {
    const std::size_t n = static_cast<std::size_t>(
        std::count_if(densities.begin(), densities.end(), [](double d) { return !std::isnan(d); }));
    std::vector<double> thresholds(fractions.size(), 0.0);
    std::vector<std::size_t> ranks;
    std::vector<std::size_t> usable;
    for (std::size_t f = 0; f < fractions.size(); ++f) {
        if (!(fractions[f] > 0.0 && fractions[f] < 1.0) || n == 0)
            continue;
        const auto wanted =
            static_cast<std::size_t>(std::floor(fractions[f] * static_cast<double>(n)));
        ranks.push_back(std::min(n - 1, wanted));
        usable.push_back(f);
    }
    if (ranks.empty())
        return thresholds;
    const std::vector<double> at = densitydetail::orderStatistics(densities, ranks);
    for (std::size_t i = 0; i < usable.size(); ++i)
        thresholds[usable[i]] = at[i];
    return thresholds;
}

/// The levels of the fractions on a grid, given the grid's densities at the events.
std::vector<ContourLevel> levelsOnGrid(const DensityGrid& grid,
                                       const std::vector<double>& densities,
                                       const std::vector<double>& fractions) {
    std::vector<ContourLevel> levels;
    const std::vector<double> thresholds = hdrThresholds(densities, fractions);
    for (std::size_t f = 0; f < fractions.size(); ++f) {
        const double fraction = fractions[f];
        ContourLevel level;
        level.fraction = fraction;
        level.threshold = thresholds[f];
        if (level.threshold > 0.0)
            level.paths = DensityEstimator::marchingSquares(grid, level.threshold);
        levels.push_back(std::move(level));
    }
    return levels;
}

std::vector<ContourLevel> contoursFromPairs(const FinitePairs& pairs,
                                            const std::vector<double>& fractions, int gridSize) {
    if (pairs.size() < 4 || fractions.empty())
        return {};
    const DensityGrid grid = kdeGridFromPairs(pairs, gridSize);
    if (grid.values.empty())
        return {};
    return levelsOnGrid(grid, DensityEstimator::interpolateFromGrid(grid, pairs.x(), pairs.y()),
                        fractions);
}

/// Maps the contour points from the axes' scaled space back to data units.
void mapContoursToDataUnits(std::vector<ContourLevel>& levels, ScaleMode xScaleMode,
                            ScaleMode yScaleMode) {
    if (xScaleMode == ScaleMode::Linear && yScaleMode == ScaleMode::Linear)
        return;
    for (ContourLevel& level : levels) {
        for (ContourPath& path : level.paths) {
            for (ContourPoint& point : path)
                inverseScaleTransformInPlace(point.first, point.second, xScaleMode, yScaleMode);
        }
    }
}

bool isKnownMethod(DensityMethod method) {
    const int code = static_cast<int>(method);
    return code >= 0 && code <= 2;
}

/// Histogram count of each pair's own cell, one per pair.
std::vector<double> histogramDensities(const FinitePairs& pairs, int gridSize) {
    if (pairs.size() == 0)
        return {};
    const int b = gridSize >= 1 ? gridSize : densitydetail::chooseBinCount(pairs);
    const double w = densitydetail::usableRange(pairs.xMin, pairs.xMax) / b;
    const double h = densitydetail::usableRange(pairs.yMin, pairs.yMax) / b;

    std::vector<std::size_t> cellOf(pairs.size());
    std::vector<std::uint32_t> counts(static_cast<std::size_t>(b) * static_cast<std::size_t>(b),
                                      0U);
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const int col = truncateClamp((pairs.x()[i] - pairs.xMin) / w, b);
        const int row = truncateClamp((pairs.y()[i] - pairs.yMin) / h, b);
        cellOf[i] = static_cast<std::size_t>(row) * static_cast<std::size_t>(b) +
                    static_cast<std::size_t>(col);
        ++counts[cellOf[i]];
    }
    std::vector<double> densities(pairs.size());
    for (std::size_t i = 0; i < pairs.size(); ++i)
        densities[i] = static_cast<double>(counts[cellOf[i]]);
    return densities;
}

/// Densities of the pairs by the method, one per pair; empty when the method
/// is unknown or no grid could be formed.
std::vector<double> densitiesOfPairs(const FinitePairs& pairs, DensityMethod method, int gridSize) {
    switch (method) {
    case DensityMethod::KDE: {
        const DensityGrid grid = kdeGridFromPairs(pairs, gridSize);
        if (grid.values.empty())
            return {};
        return DensityEstimator::interpolateFromGrid(grid, pairs.x(), pairs.y());
    }
    case DensityMethod::Histogram:
        return histogramDensities(pairs, gridSize);
    case DensityMethod::KNN:
        return densitydetail::knnDensities(pairs);
    }
    return {};
}

/// One entry per event: the pair densities at their events, NaN elsewhere.
std::vector<double> scatterToEvents(const FinitePairs& pairs, const std::vector<double>& densities,
                                    std::size_t eventCount) {
    std::vector<double> result(eventCount, std::numeric_limits<double>::quiet_NaN());
    for (std::size_t k = 0; k < densities.size() && k < pairs.size(); ++k)
        result[pairs.eventOf(k)] = densities[k];
    return result;
}

} // namespace

std::vector<double> DensityEstimator::estimate(const std::vector<double>& x,
                                               const std::vector<double>& y, DensityMethod method,
                                               int gridSize) {
    if (x.empty() || y.empty() || x.size() != y.size() || !isKnownMethod(method))
        return {};
    const FinitePairs pairs = densitydetail::collectFinitePairs(x, y);
    const std::vector<double> densities = densitiesOfPairs(pairs, method, gridSize);
    if (densities.empty() && method == DensityMethod::KDE)
        return {};
    return scatterToEvents(pairs, densities, x.size());
}

std::vector<double> DensityEstimator::estimateKDE(const std::vector<double>& x,
                                                  const std::vector<double>& y, int gridSize) {
    return estimate(x, y, DensityMethod::KDE, gridSize);
}

std::vector<double> DensityEstimator::estimateHistogram(const std::vector<double>& x,
                                                        const std::vector<double>& y,
                                                        int gridSize) {
    if (x.empty())
        return {};
    const FinitePairs pairs = densitydetail::collectFinitePairs(x, y);
    return scatterToEvents(pairs, histogramDensities(pairs, gridSize), x.size());
}

DensityGrid DensityEstimator::computeKDEGrid(const std::vector<double>& x,
                                             const std::vector<double>& y, int gridSize) {
    return kdeGridFromPairs(densitydetail::collectFinitePairs(x, y), gridSize);
}

int DensityEstimator::optimalHistogramBins(const std::vector<double>& x,
                                           const std::vector<double>& y) {
    return densitydetail::chooseBinCount(densitydetail::collectFinitePairs(x, y));
}

std::vector<double> DensityEstimator::interpolateFromGrid(const DensityGrid& grid,
                                                          const std::vector<double>& x,
                                                          const std::vector<double>& y) {
    std::vector<double> result(x.size(), std::numeric_limits<double>::quiet_NaN());
    if (!usableGrid(grid))
        return result;
    const std::size_t n = std::min(x.size(), y.size());
    parallelChunks(n, densitydetail::kParallelEventsFrom, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            if (!densitydetail::isFinitePair(x[i], y[i]))
                continue;
            const double fx = cellCoordinate(x[i], grid.xMin, grid.xStep);
            const double fy = cellCoordinate(y[i], grid.yMin, grid.yStep);
            if (std::isnan(fx) || std::isnan(fy))
                continue;
            result[i] = bilinear(grid, fx, fy);
        }
    });
    return result;
}

double DensityEstimator::computeHDRThreshold(const std::vector<double>& densities,
                                             double fraction) {
    // Selecting the one order statistic gives the same entry as a full sort.
    return hdrThresholds(densities, {fraction}).front();
}

std::vector<ContourLevel> DensityEstimator::computeContours(const std::vector<double>& x,
                                                            const std::vector<double>& y,
                                                            const std::vector<double>& fractions,
                                                            int gridSize) {
    if (x.size() != y.size())
        return {};
    return contoursFromPairs(densitydetail::collectFinitePairs(x, y), fractions, gridSize);
}

std::vector<double> DensityEstimator::estimateNaNSafe(const std::vector<double>& x,
                                                      const std::vector<double>& y,
                                                      DensityMethod method) {
    const FinitePairs pairs = densitydetail::collectFinitePairs(x, y);
    if (pairs.size() < 4 || !isKnownMethod(method))
        return std::vector<double>(x.size(), std::numeric_limits<double>::quiet_NaN());
    return scatterToEvents(pairs, densitiesOfPairs(pairs, method, 0), x.size());
}

std::vector<ContourLevel> DensityEstimator::computeContoursTransformed(
    const std::vector<double>& x, const std::vector<double>& y,
    const std::vector<double>& fractions, ScaleMode xScaleMode, ScaleMode yScaleMode) {
    if (x.size() != y.size())
        return {};
    // Dropped before transforming: the log scale would turn NaN into the
    // position of the value 1 and so invent events there.
    const FinitePairs pairs = densitydetail::collectFinitePairs(x, y);
    const std::vector<double> tx = applyScaleTransform(pairs.x(), xScaleMode);
    const std::vector<double> ty = applyScaleTransform(pairs.y(), yScaleMode);
    std::vector<ContourLevel> levels = computeContours(tx, ty, fractions, 0);
    mapContoursToDataUnits(levels, xScaleMode, yScaleMode);
    return levels;
}

KernelDensityView DensityEstimator::estimateKDEWithContours(const std::vector<double>& x,
                                                            const std::vector<double>& y,
                                                            const std::vector<double>& fractions,
                                                            ScaleMode xScaleMode,
                                                            ScaleMode yScaleMode) {
    KernelDensityView view;
    const auto noDensities = [&x] {
        return std::vector<double>(x.size(), std::numeric_limits<double>::quiet_NaN());
    };
    if (x.size() != y.size()) {
        view.densities = noDensities();
        return view;
    }
    const bool bothLinear = xScaleMode == ScaleMode::Linear && yScaleMode == ScaleMode::Linear;
    const FinitePairs raw = densitydetail::collectFinitePairs(x, y);
    // On linear axes the pairs are their own scaled coordinates.
    const FinitePairs scaled =
        bothLinear ? FinitePairs()
                   : densitydetail::collectFinitePairs(applyScaleTransform(raw.x(), xScaleMode),
                                                       applyScaleTransform(raw.y(), yScaleMode));
    const FinitePairs& pairs = bothLinear ? raw : scaled;
    if (pairs.size() < 4) {
        view.densities = noDensities();
        return view;
    }
    const DensityGrid grid = kdeGridFromPairs(pairs, 0);
    std::vector<double> densities = interpolateFromGrid(grid, pairs.x(), pairs.y());
    if (!fractions.empty()) {
        view.levels = levelsOnGrid(grid, densities, fractions);
        mapContoursToDataUnits(view.levels, xScaleMode, yScaleMode);
    }
    if (raw.index.empty() && pairs.index.empty() && densities.size() == x.size()) {
        view.densities = std::move(densities); // every event is a pair, in order
        return view;
    }
    view.densities = noDensities();
    for (std::size_t k = 0; k < pairs.size(); ++k)
        view.densities[raw.eventOf(bothLinear ? k : pairs.eventOf(k))] = densities[k];
    return view;
}

} // namespace Quorvex3
