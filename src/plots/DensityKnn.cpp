#include "plots/DensityDetail.h"
#include "plots/DensityEstimator.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Quorvex3 {

namespace {

using densitydetail::FinitePairs;

constexpr double kPi = 3.14159265358979323846;

/// Uniform cell hash of the events: the events of cell (cx, cy) are
/// cellX/cellY/cellEvent[start[c] .. start[c + 1]) with c = cy * size + cx,
/// in input order, coordinates stored contiguously per cell.
struct CellHash {
    int size = 1;
    std::vector<std::size_t> start;
    std::vector<double> cellX;
    std::vector<double> cellY;
    std::vector<std::size_t> cellEvent;
    std::vector<int> eventCol;
    std::vector<int> eventRow;
};

CellHash buildCellHash(const FinitePairs& pairs, int g) {
    CellHash hash;
    hash.size = g;
    const std::size_t n = pairs.size();
    const double w = densitydetail::usableRange(pairs.xMin, pairs.xMax) / g;
    const double h = densitydetail::usableRange(pairs.yMin, pairs.yMax) / g;
    hash.eventCol.resize(n);
    hash.eventRow.resize(n);
    const std::size_t cells = static_cast<std::size_t>(g) * static_cast<std::size_t>(g);
    hash.start.assign(cells + 1, 0);
    for (std::size_t i = 0; i < n; ++i) {
        hash.eventCol[i] = densitydetail::truncateClamp((pairs.x[i] - pairs.xMin) / w, g);
        hash.eventRow[i] = densitydetail::truncateClamp((pairs.y[i] - pairs.yMin) / h, g);
        ++hash.start[static_cast<std::size_t>(hash.eventRow[i]) * g +
                     static_cast<std::size_t>(hash.eventCol[i]) + 1];
    }
    for (std::size_t c = 0; c < cells; ++c)
        hash.start[c + 1] += hash.start[c];

    std::vector<std::size_t> fill(hash.start.begin(), hash.start.end() - 1);
    hash.cellX.resize(n);
    hash.cellY.resize(n);
    hash.cellEvent.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t c = static_cast<std::size_t>(hash.eventRow[i]) * g +
                              static_cast<std::size_t>(hash.eventCol[i]);
        const std::size_t slot = fill[c]++;
        hash.cellX[slot] = pairs.x[i];
        hash.cellY[slot] = pairs.y[i];
        hash.cellEvent[slot] = i;
    }
    return hash;
}

/// Appends the squared distances from event i to every other event of one cell.
void appendCell(const CellHash& hash, int col, int row, std::size_t i, double xi, double yi,
                std::vector<double>& candidates) {
    const std::size_t c = static_cast<std::size_t>(row) * hash.size + static_cast<std::size_t>(col);
    for (std::size_t s = hash.start[c]; s < hash.start[c + 1]; ++s) {
        if (hash.cellEvent[s] == i)
            continue;
        const double dx = xi - hash.cellX[s];
        const double dy = yi - hash.cellY[s];
        candidates.push_back(dx * dx + dy * dy);
    }
}

/// Appends the cells at Chebyshev distance exactly r from (cx, cy) that lie in
/// the grid, rows ascending and columns ascending within a row. Each cell of
/// the grid belongs to exactly one ring, so no event is counted twice where
/// the square is cut by the grid edge.
void appendRing(const CellHash& hash, int cx, int cy, int r, std::size_t i, double xi, double yi,
                std::vector<double>& candidates) {
    const int g = hash.size;
    const int rowFirst = std::max(cy - r, 0);
    const int rowLast = std::min(cy + r, g - 1);
    const int colFirst = std::max(cx - r, 0);
    const int colLast = std::min(cx + r, g - 1);
    for (int row = rowFirst; row <= rowLast; ++row) {
        if (row == cy - r || row == cy + r) {
            for (int col = colFirst; col <= colLast; ++col)
                appendCell(hash, col, row, i, xi, yi, candidates);
            continue;
        }
        if (cx - r >= 0)
            appendCell(hash, cx - r, row, i, xi, yi, candidates);
        if (cx + r < g)
            appendCell(hash, cx + r, row, i, xi, yi, candidates);
    }
}

double knnDensity(const CellHash& hash, const FinitePairs& pairs, std::size_t i, std::size_t k,
                  std::vector<double>& candidates) {
    candidates.clear();
    const int g = hash.size;
    const int cx = hash.eventCol[i];
    const int cy = hash.eventRow[i];
    // Beyond this ring the square already covers the whole grid.
    const int lastRing = std::max({cx, g - 1 - cx, cy, g - 1 - cy});
    for (int r = 0; r <= lastRing; ++r) {
        if (candidates.size() >= k)
            break;
        appendRing(hash, cx, cy, r, i, pairs.x[i], pairs.y[i], candidates);
    }
    const std::size_t m = std::min(k, candidates.size());
    if (m == 0)
        return 0.0;
    std::nth_element(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(m - 1),
                     candidates.end());
    const double d2 = candidates[m - 1];
    const double count = static_cast<double>(m);
    return d2 > 0.0 ? count / (kPi * d2) : count;
}

} // namespace

namespace densitydetail {

std::vector<double> knnDensities(const FinitePairs& pairs) {
    const std::size_t n = pairs.size();
    if (n < 2)
        return std::vector<double>(n, 1.0);
    const std::size_t k = std::max<std::size_t>(
        static_cast<std::size_t>(std::floor(std::sqrt(static_cast<double>(n)))), 1);
    const int g =
        std::max(static_cast<int>(std::floor(std::sqrt(static_cast<double>(n) / 20.0))), 1);
    const CellHash hash = buildCellHash(pairs, g);

    // Every event's search reads only the shared hash and writes only its own
    // entry, so the densities are the same for any number of threads.
    std::vector<double> densities(n);
    parallelChunks(n, 4096, [&](std::size_t begin, std::size_t end) {
        std::vector<double> candidates;
        candidates.reserve(4 * k);
        for (std::size_t i = begin; i < end; ++i)
            densities[i] = knnDensity(hash, pairs, i, k, candidates);
    });
    return densities;
}

} // namespace densitydetail

std::vector<double> DensityEstimator::estimateKNN(const std::vector<double>& x,
                                                  const std::vector<double>& y) {
    std::vector<double> result(x.size(), std::numeric_limits<double>::quiet_NaN());
    const FinitePairs pairs = densitydetail::collectFinitePairs(x, y);
    const std::vector<double> densities = densitydetail::knnDensities(pairs);
    for (std::size_t i = 0; i < densities.size(); ++i)
        result[pairs.index[i]] = densities[i];
    return result;
}

} // namespace Quorvex3
