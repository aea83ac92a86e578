// The search grid of the nearest-neighbour densities: cell edges from the
// spread of the events, events merged into distinct positions, and the order
// in which the positions are searched.
#include "density/DensityKnnGrid.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace Quorvex3::densitydetail {

namespace {

/// Sampled events per cell for the edges: the edges need only split the
/// events roughly evenly, and a sample of the events does that as well as
/// all of them at a fraction of the cost.
constexpr std::size_t kSamplePerCell = 32;

/// Edges of one axis: the least value, the quantiles of a sample taken at an
/// even stride at about `cells` even steps (each kept once), and the greatest
/// value. When the greatest value is itself such a quantile it ends the list
/// twice, so that it keeps a cell of its own.
std::vector<double> axisEdges(const std::vector<double>& values, double lo, double hi, int cells) {
    const std::size_t n = values.size();
    const std::size_t wanted = std::min(n, static_cast<std::size_t>(cells) * kSamplePerCell);
    const std::size_t stride = std::max<std::size_t>(n / std::max<std::size_t>(wanted, 1), 1);
    std::vector<double> sample;
    sample.reserve(n / stride + 1);
    for (std::size_t i = 0; i < n; i += stride)
        sample.push_back(values[i]);
    std::sort(sample.begin(), sample.end());
    std::vector<double> edges{lo};
    const std::size_t m = sample.size();
    for (int j = 1; j < cells; ++j) {
        const double q = sample[static_cast<std::size_t>(j) * m / static_cast<std::size_t>(cells)];
        if (q > edges.back())
            edges.push_back(q);
    }
    edges.push_back(hi);
    return edges;
}

/// An event with its position, as it is sorted within its cell.
struct Placed {
    double x;
    double y;
    std::size_t event;
};

bool positionBefore(const Placed& a, const Placed& b) {
    if (a.x != b.x)
        return a.x < b.x;
    if (a.y != b.y)
        return a.y < b.y;
    return a.event < b.event;
}

/// The events sorted by cell (counting sort) and, within each cell, by
/// position; `cellStart` receives the runs of each cell.
std::vector<Placed> placeByCell(const FinitePairs& pairs, const KnnGrid& grid,
                                std::vector<std::size_t>& cellStart) {
    const std::size_t n = pairs.size();
    const std::size_t cells = static_cast<std::size_t>(grid.cols) * grid.rows;
    std::vector<std::size_t> cellOf(n);
    parallelChunks(n, kParallelEventsFrom, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i)
            cellOf[i] = grid.cellIndex(cellAlong(grid.xEdges, pairs.x()[i]),
                                       cellAlong(grid.yEdges, pairs.y()[i]));
    });
    cellStart.assign(cells + 1, 0);
    for (std::size_t i = 0; i < n; ++i)
        ++cellStart[cellOf[i] + 1];
    for (std::size_t c = 0; c < cells; ++c)
        cellStart[c + 1] += cellStart[c];
    std::vector<std::size_t> fill(cellStart.begin(), cellStart.end() - 1);
    std::vector<Placed> placed(n);
    for (std::size_t i = 0; i < n; ++i)
        placed[fill[cellOf[i]]++] = Placed{pairs.x()[i], pairs.y()[i], i};
    // Each cell is sorted on its own, so the outcome is the same on any
    // number of threads.
    parallelChunks(cells, 1 << 14, [&](std::size_t first, std::size_t last) {
        for (std::size_t c = first; c < last; ++c) {
            if (cellStart[c + 1] - cellStart[c] > 1)
                std::sort(placed.begin() + static_cast<std::ptrdiff_t>(cellStart[c]),
                          placed.begin() + static_cast<std::ptrdiff_t>(cellStart[c + 1]),
                          positionBefore);
        }
    });
    return placed;
}

/// Merges equal positions into slots and records, per cell, its slots, its
/// box and the running counts of events.
void mergePositions(const std::vector<Placed>& placed, const std::vector<std::size_t>& cellStart,
                    KnnGrid& grid) {
    const std::size_t cells = cellStart.size() - 1;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    grid.start.assign(cells + 1, 0);
    grid.box.assign(4 * cells, nan);
    grid.posX.reserve(placed.size());
    grid.posY.reserve(placed.size());
    grid.events.resize(placed.size());
    grid.eventStart.reserve(placed.size() + 1);
    for (std::size_t c = 0; c < cells; ++c) {
        grid.start[c] = grid.posX.size();
        double* box = grid.box.data() + 4 * c;
        for (std::size_t i = cellStart[c]; i < cellStart[c + 1]; ++i) {
            const Placed& p = placed[i];
            grid.events[i] = p.event;
            if (i > cellStart[c] && p.x == placed[i - 1].x && p.y == placed[i - 1].y)
                continue; // one more event at the position just started
            if (i == cellStart[c]) {
                box[0] = box[1] = p.x;
                box[2] = box[3] = p.y;
            }
            box[0] = std::min(box[0], p.x);
            box[1] = std::max(box[1], p.x);
            box[2] = std::min(box[2], p.y);
            box[3] = std::max(box[3], p.y);
            grid.posX.push_back(p.x);
            grid.posY.push_back(p.y);
            grid.eventStart.push_back(i);
        }
    }
    grid.start[cells] = grid.posX.size();
    grid.eventStart.push_back(placed.size());
    grid.distinct = grid.posX.size() == placed.size();

    const std::size_t side = static_cast<std::size_t>(grid.cols) + 1;
    grid.prefix.assign(side * (static_cast<std::size_t>(grid.rows) + 1), 0);
    for (int row = 0; row < grid.rows; ++row) {
        std::size_t rowSum = 0;
        for (int col = 0; col < grid.cols; ++col) {
            const std::size_t c = grid.cellIndex(col, row);
            rowSum += cellStart[c + 1] - cellStart[c];
            const std::size_t below = static_cast<std::size_t>(row) * side + col + 1;
            grid.prefix[below + side] = grid.prefix[below] + rowSum;
        }
    }
}

/// Cell (col, row) at position d along a Hilbert curve over 2^order cells
/// per side.
void hilbertCell(int order, std::size_t d, std::size_t& col, std::size_t& row) {
    std::size_t x = 0;
    std::size_t y = 0;
    for (std::size_t s = 1; s < (std::size_t{1} << order); s *= 2) {
        const std::size_t rx = 1 & (d / 2);
        const std::size_t ry = 1 & (d ^ rx);
        if (ry == 0) {
            if (rx == 1) {
                x = s - 1 - x;
                y = s - 1 - y;
            }
            std::swap(x, y);
        }
        x += s * rx;
        y += s * ry;
        d /= 4;
    }
    col = x;
    row = y;
}

} // namespace

int cellAlong(const std::vector<double>& edges, double v) {
    // The inner edges only: the first and the last bound the values anyway.
    const auto inner = edges.begin() + 1;
    return static_cast<int>(std::upper_bound(inner, edges.end() - 1, v) - inner);
}

KnnGrid buildKnnGrid(const FinitePairs& pairs, int cellsPerSide) {
    KnnGrid grid;
    grid.xEdges = axisEdges(pairs.x(), pairs.xMin, pairs.xMax, cellsPerSide);
    grid.yEdges = axisEdges(pairs.y(), pairs.yMin, pairs.yMax, cellsPerSide);
    grid.cols = static_cast<int>(grid.xEdges.size()) - 1;
    grid.rows = static_cast<int>(grid.yEdges.size()) - 1;
    std::vector<std::size_t> cellStart;
    const std::vector<Placed> placed = placeByCell(pairs, grid, cellStart);
    mergePositions(placed, cellStart, grid);
    return grid;
}

std::vector<std::size_t> hilbertSlotOrder(const KnnGrid& grid, std::vector<std::size_t>& cellOf) {
    int order = 0;
    while ((1 << order) < std::max(grid.cols, grid.rows))
        ++order;
    std::vector<std::size_t> slots;
    slots.reserve(grid.slots());
    cellOf.clear();
    cellOf.reserve(grid.slots());
    const std::size_t steps = std::size_t{1} << (2 * order);
    for (std::size_t d = 0; d < steps; ++d) {
        std::size_t col = 0;
        std::size_t row = 0;
        hilbertCell(order, d, col, row);
        if (col >= static_cast<std::size_t>(grid.cols) ||
            row >= static_cast<std::size_t>(grid.rows))
            continue;
        const std::size_t c = grid.cellIndex(static_cast<int>(col), static_cast<int>(row));
        for (std::size_t s = grid.start[c]; s < grid.start[c + 1]; ++s) {
            slots.push_back(s);
            cellOf.push_back(c);
        }
    }
    return slots;
}

} // namespace Quorvex3::densitydetail
