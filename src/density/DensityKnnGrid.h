#pragma once

// The search grid of the nearest-neighbour densities. Internal to the
// density estimator (and its tests).

#include "density/DensityDetail.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Quorvex3::densitydetail {

/// The distinct positions of the pairs, hashed into a grid of cells.
///
/// Events at the same position are kept once, as a position with a weight
/// (its number of events): saturated and integer-valued features put many
/// events on few positions, and every event of a position has the same
/// neighbours. The cell edges of each axis follow the spread of the events
/// along it (quantiles, with equal ones merged), not an even split of the
/// range: a far outlier then takes no more than its own column and row
/// instead of squeezing every other event into one cell, and a value held
/// by many events gets a cell of its own.
///
/// Column c spans [xEdges[c], xEdges[c + 1]] (the columns to its right
/// start at its upper edge, which belongs to them); rows likewise. The
/// positions of cell (col, row) are the slots start[i] .. start[i + 1] with
/// i = cellIndex(col, row), so a row's cells are one run of slots.
struct KnnGrid {
    int cols = 1;
    int rows = 1;
    std::vector<double> xEdges; ///< cols + 1 ascending edges, xMin first and xMax last
    std::vector<double> yEdges; ///< rows + 1
    std::vector<std::size_t> start;
    std::vector<double> posX; ///< per slot: the position
    std::vector<double> posY;
    /// Per slot s, its events are events[eventStart[s] .. eventStart[s + 1]]
    /// (pair indices); eventStart is thus also the running event count.
    std::vector<std::size_t> eventStart;
    std::vector<std::size_t> events;
    /// Events of the cells below and left of each cell corner, (cols + 1) x
    /// (rows + 1), row-major.
    std::vector<std::size_t> prefix;
    /// Per cell: the least and greatest x and y of its positions (x0, x1,
    /// y0, y1); an empty cell holds NaN.
    std::vector<double> box;
    bool distinct = true; ///< every position holds exactly one event

    std::size_t cellIndex(int col, int row) const {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(cols) +
               static_cast<std::size_t>(col);
    }
    std::size_t slots() const { return posX.size(); }
    std::size_t weight(std::size_t slot) const { return eventStart[slot + 1] - eventStart[slot]; }
    /// Events in the cells cols [c0, c1] x rows [r0, r1].
    std::size_t countIn(int c0, int c1, int r0, int r1) const {
        const auto at = [this](int col, int row) {
            return prefix[static_cast<std::size_t>(row) * static_cast<std::size_t>(cols + 1) +
                          static_cast<std::size_t>(col)];
        };
        return at(c1 + 1, r1 + 1) + at(c0, r0) - at(c0, r1 + 1) - at(c1 + 1, r0);
    }
};

/// The column (or row) whose span holds v, for edges as in KnnGrid.
int cellAlong(const std::vector<double>& edges, double v);

/// Builds the grid over the pairs (at least one) with about `cellsPerSide`
/// cells along each axis; fewer where the events take fewer distinct values.
KnnGrid buildKnnGrid(const FinitePairs& pairs, int cellsPerSide);

/// The slots in the order they are searched, cell by cell along a Hilbert
/// curve, so that positions searched one after the other lie close together;
/// cellOf receives each listed slot's cell index.
std::vector<std::size_t> hilbertSlotOrder(const KnnGrid& grid, std::vector<std::size_t>& cellOf);

} // namespace Quorvex3::densitydetail
