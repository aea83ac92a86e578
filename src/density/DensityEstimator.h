#pragma once

#include "core/ScaleTransform.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace Quorvex3 {

namespace densitydetail {
struct ContourSegment;
}

/// How a density value is given to each event of a scatter plot.
/// Values outside 0..2 are accepted and yield no densities.
enum class DensityMethod : int {
    KDE = 0,       ///< Gaussian kernel density on a grid, read back bilinearly
    Histogram = 1, ///< count of events in the event's cell of a square 2-D histogram
    KNN = 2        ///< k-nearest-neighbour density
};

/// A square density grid over the (x, y) plane.
/// `values` holds size x size values, row-major by y: column ix, row iy is at
/// index iy * size + ix. The centre of cell (ix, iy) is at
/// (xMin + (ix + 0.5) * xStep, yMin + (iy + 0.5) * yStep).
/// Empty `values` means "no grid".
struct DensityGrid {
    std::vector<double> values;
    int size = 0;
    double xMin = 0.0;
    double yMin = 0.0;
    double xStep = 0.0;
    double yStep = 0.0;
};

/// One contour point, (x, y) in data units.
using ContourPoint = std::pair<double, double>;
/// One contour path; a closed path repeats its first point at the end.
using ContourPath = std::vector<ContourPoint>;

/// One highest-density-region level.
struct ContourLevel {
    double fraction = 0.0;          ///< share of events asked for, usable when 0 < f < 1
    double threshold = 0.0;         ///< density at the level; 0 when no level could be formed
    std::vector<ContourPath> paths; ///< empty unless threshold > 0
};

/// Kernel densities of a plot's events together with its contour levels.
struct KernelDensityView {
    std::vector<double> densities;    ///< one per event, NaN where none
    std::vector<ContourLevel> levels; ///< one per fraction asked for
};

/// Density colouring and highest-density-region contours of a scatter plot.
/// Every function is static and stateless; all may run concurrently on any
/// thread. x and y hold one value per event; results belong to the caller.
class DensityEstimator {
public:
    /// One density per event with the given method; empty for empty or
    /// mismatched input or an unknown method. gridSize < 1 selects the grid
    /// size from the data; the nearest-neighbour method ignores it. Events
    /// with a non-finite coordinate take no part and get NaN.
    static std::vector<double> estimate(const std::vector<double>& x, const std::vector<double>& y,
                                        DensityMethod method, int gridSize);

    /// Kernel densities at the events (smoothed counts per grid cell).
    static std::vector<double> estimateKDE(const std::vector<double>& x,
                                           const std::vector<double>& y, int gridSize);

    /// Per event, the unnormalised count of its own cell in a gridSize x gridSize
    /// histogram over the data ranges (gridSize < 1: chosen from the data).
    /// Events with a non-finite coordinate take no part and get NaN.
    static std::vector<double> estimateHistogram(const std::vector<double>& x,
                                                 const std::vector<double>& y, int gridSize);

    /// k-nearest-neighbour density k / (pi * d^2) with k = floor(sqrt(n)) and d
    /// the exact distance from the event to its k-th nearest other event (k
    /// where d is 0, i.e. for duplicates; 1.0 for a single event). The search
    /// runs on a cell hash on several threads; the result does not depend on
    /// their number. Events with a non-finite coordinate take no part and get NaN.
    static std::vector<double> estimateKNN(const std::vector<double>& x,
                                           const std::vector<double>& y);

    /// Gaussian kernel density grid (smoothed event counts per cell, not
    /// divided by area or n). gridSize < 1 selects the size from the data.
    /// Non-finite pairs are left out; no finite pair gives an empty grid.
    static DensityGrid computeKDEGrid(const std::vector<double>& x, const std::vector<double>& y,
                                      int gridSize);

    /// Bilinear reading of the grid at each event (cell centres as nodes;
    /// outside the grid the border cells continue). NaN for non-finite pairs
    /// and for every event when the grid is empty.
    static std::vector<double> interpolateFromGrid(const DensityGrid& grid,
                                                   const std::vector<double>& x,
                                                   const std::vector<double>& y);

    /// Density at or above which about (1 - fraction) of the events lie;
    /// 0.0 for fraction outside (0, 1) or an empty list. NaN entries are ignored.
    static double computeHDRThreshold(const std::vector<double>& densities, double fraction);

    /// Iso-lines of the grid at the threshold, in the grid's x/y units.
    static std::vector<ContourPath> marchingSquares(const DensityGrid& grid, double threshold);

    /// One level per fraction, in request order, from the kernel density grid
    /// of (x, y). No levels for fewer than 4 finite pairs, mismatched lengths
    /// or no fractions.
    static std::vector<ContourLevel> computeContours(const std::vector<double>& x,
                                                     const std::vector<double>& y,
                                                     const std::vector<double>& fractions,
                                                     int gridSize);

    /// Densities of the finite pairs with the automatically sized grid; the
    /// result has x's length, NaN wherever a pair is not finite (and
    /// everywhere with fewer than 4 finite pairs or an unknown method).
    static std::vector<double> estimateNaNSafe(const std::vector<double>& x,
                                               const std::vector<double>& y, DensityMethod method);

    /// Contours estimated in the space the axes show (each coordinate through
    /// its scale mode) with path points mapped back to data units.
    /// Thresholds are densities of the scaled space.
    static std::vector<ContourLevel>
    computeContoursTransformed(const std::vector<double>& x, const std::vector<double>& y,
                               const std::vector<double>& fractions, ScaleMode xScaleMode,
                               ScaleMode yScaleMode);

    /// The kernel densities and the contour levels of one plot from one grid,
    /// as a plot shows both: for events with finite coordinates, `densities`
    /// equals estimateNaNSafe(tx, ty, KDE) with tx, ty the coordinates in the
    /// axes' scaled space (NaN for the other events), and `levels` equals
    /// computeContoursTransformed(x, y, fractions, xScaleMode, yScaleMode).
    static KernelDensityView estimateKDEWithContours(const std::vector<double>& x,
                                                     const std::vector<double>& y,
                                                     const std::vector<double>& fractions,
                                                     ScaleMode xScaleMode, ScaleMode yScaleMode);

private:
    static int optimalHistogramBins(const std::vector<double>& x, const std::vector<double>& y);

    static ContourPoint interpolateCellEdge(const DensityGrid& grid, int ix, int iy, int edge,
                                            double threshold);
    static void buildContourSegment(const DensityGrid& grid, int ix, int iy, int fromEdge,
                                    int toEdge, double threshold,
                                    std::vector<densitydetail::ContourSegment>& segments);
};

} // namespace Quorvex3
