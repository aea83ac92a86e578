#include "density/DensityEstimator.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace Quorvex3 {

namespace densitydetail {

/// Identifies a cell edge so that both cells sharing it name it alike:
/// (row, column, orientation) with 0 for a horizontal edge, 1 for a vertical one.
struct EdgeKey {
    int row = 0;
    int col = 0;
    int orientation = 0;

    bool operator<(const EdgeKey& other) const {
        return std::tie(row, col, orientation) < std::tie(other.row, other.col, other.orientation);
    }
};

/// One crossing of a cell, with the edges its two ends lie on.
struct ContourSegment {
    ContourPoint start;
    ContourPoint end;
    EdgeKey startKey;
    EdgeKey endKey;
};

} // namespace densitydetail

namespace {

using densitydetail::ContourSegment;
using densitydetail::EdgeKey;

// Edges of a cell: 0 lower (c0-c1), 1 right (c1-c2), 2 upper (c3-c2),
// 3 left (c0-c3); corners c0 (ix, iy), c1 (ix+1, iy), c2 (ix+1, iy+1),
// c3 (ix, iy+1). Each edge runs from its first named corner to the second.
constexpr int kEdgeCorners[4][2] = {{0, 1}, {1, 2}, {3, 2}, {0, 3}};
constexpr int kCornerDx[4] = {0, 1, 1, 0};
constexpr int kCornerDy[4] = {0, 0, 1, 1};

double gridValue(const DensityGrid& grid, int ix, int iy) {
    return grid.values[static_cast<std::size_t>(iy) * static_cast<std::size_t>(grid.size) +
                       static_cast<std::size_t>(ix)];
}

struct SegmentPlan {
    int count = 0;
    int edges[2][2] = {{0, 0}, {0, 0}};
};

/// Edge pairs crossed in a cell of the given corner case. The saddles 5 and
/// 10 are resolved so that a centre at or above the level cuts off the two
/// corners at or above it.
SegmentPlan planSegments(int cellCase, bool centreAbove) {
    SegmentPlan plan;
    auto one = [&plan](int a, int b) {
        plan.edges[plan.count][0] = a;
        plan.edges[plan.count][1] = b;
        ++plan.count;
    };
    switch (cellCase) {
    case 1:
    case 14:
        one(0, 3);
        break;
    case 2:
    case 13:
        one(0, 1);
        break;
    case 3:
    case 12:
        one(3, 1);
        break;
    case 4:
    case 11:
        one(1, 2);
        break;
    case 6:
    case 9:
        one(0, 2);
        break;
    case 7:
    case 8:
        one(3, 2);
        break;
    case 5:
        if (centreAbove) {
            one(0, 3);
            one(1, 2);
        } else {
            one(0, 1);
            one(3, 2);
        }
        break;
    case 10:
        if (centreAbove) {
            one(0, 1);
            one(3, 2);
        } else {
            one(0, 3);
            one(1, 2);
        }
        break;
    default:
        break;
    }
    return plan;
}

/// Walks from key over untaken segments, appending each far point, until no
/// untaken segment touches the current key.
void walk(const std::vector<ContourSegment>& segments,
          const std::map<EdgeKey, std::vector<std::size_t>>& byKey, std::vector<char>& taken,
          EdgeKey key, ContourPath& points) {
    for (;;) {
        const auto found = byKey.find(key);
        if (found == byKey.end())
            return;
        const auto next = std::find_if(found->second.begin(), found->second.end(),
                                       [&taken](std::size_t s) { return !taken[s]; });
        if (next == found->second.end())
            return;
        taken[*next] = 1;
        const ContourSegment& seg = segments[*next];
        const bool fromStart = !(key < seg.startKey) && !(seg.startKey < key);
        points.push_back(fromStart ? seg.end : seg.start);
        key = fromStart ? seg.endKey : seg.startKey;
    }
}

} // namespace

ContourPoint DensityEstimator::interpolateCellEdge(const DensityGrid& grid, int ix, int iy,
                                                   int edge, double threshold) {
    const int a = kEdgeCorners[edge][0];
    const int b = kEdgeCorners[edge][1];
    const int ax = ix + kCornerDx[a];
    const int ay = iy + kCornerDy[a];
    const int bx = ix + kCornerDx[b];
    const int by = iy + kCornerDy[b];
    const double va = gridValue(grid, ax, ay);
    const double vb = gridValue(grid, bx, by);
    double s = 0.5;
    if (std::abs(vb - va) >= 1e-30)
        s = std::clamp((threshold - va) / (vb - va), 0.0, 1.0);
    const double xa = grid.xMin + (ax + 0.5) * grid.xStep;
    const double ya = grid.yMin + (ay + 0.5) * grid.yStep;
    const double xb = grid.xMin + (bx + 0.5) * grid.xStep;
    const double yb = grid.yMin + (by + 0.5) * grid.yStep;
    return {xa + s * (xb - xa), ya + s * (yb - ya)};
}

void DensityEstimator::buildContourSegment(const DensityGrid& grid, int ix, int iy, int fromEdge,
                                           int toEdge, double threshold,
                                           std::vector<ContourSegment>& segments) {
    const auto keyOf = [ix, iy](int edge) -> EdgeKey {
        switch (edge) {
        case 0:
            return {iy, ix, 0};
        case 1:
            return {iy, ix, 1};
        case 2:
            return {iy + 1, ix, 0};
        default:
            return {iy, ix - 1, 1};
        }
    };
    ContourSegment seg;
    seg.start = interpolateCellEdge(grid, ix, iy, fromEdge, threshold);
    seg.end = interpolateCellEdge(grid, ix, iy, toEdge, threshold);
    seg.startKey = keyOf(fromEdge);
    seg.endKey = keyOf(toEdge);
    segments.push_back(seg);
}

std::vector<ContourPath> DensityEstimator::marchingSquares(const DensityGrid& grid,
                                                           double threshold) {
    std::vector<ContourPath> paths;
    const int g = grid.size;
    if (g <= 1 || grid.values.size() < static_cast<std::size_t>(g) * static_cast<std::size_t>(g))
        return paths;

    std::vector<ContourSegment> segments;
    for (int iy = 0; iy + 1 < g; ++iy) {
        for (int ix = 0; ix + 1 < g; ++ix) {
            const double c[4] = {gridValue(grid, ix, iy), gridValue(grid, ix + 1, iy),
                                 gridValue(grid, ix + 1, iy + 1), gridValue(grid, ix, iy + 1)};
            const int cellCase = (c[0] >= threshold ? 1 : 0) | (c[1] >= threshold ? 2 : 0) |
                                 (c[2] >= threshold ? 4 : 0) | (c[3] >= threshold ? 8 : 0);
            if (cellCase == 0 || cellCase == 15)
                continue;
            const bool centreAbove = (c[0] + c[1] + c[2] + c[3]) * 0.25 >= threshold;
            const SegmentPlan plan = planSegments(cellCase, centreAbove);
            for (int s = 0; s < plan.count; ++s)
                buildContourSegment(grid, ix, iy, plan.edges[s][0], plan.edges[s][1], threshold,
                                    segments);
        }
    }

    std::map<EdgeKey, std::vector<std::size_t>> byKey;
    for (std::size_t s = 0; s < segments.size(); ++s) {
        byKey[segments[s].startKey].push_back(s);
        byKey[segments[s].endKey].push_back(s);
    }

    std::vector<char> taken(segments.size(), 0);
    for (std::size_t s = 0; s < segments.size(); ++s) {
        if (taken[s])
            continue;
        taken[s] = 1;
        ContourPath path{segments[s].start, segments[s].end};
        walk(segments, byKey, taken, segments[s].endKey, path);
        ContourPath before;
        walk(segments, byKey, taken, segments[s].startKey, before);
        path.insert(path.begin(), before.rbegin(), before.rend());
        paths.push_back(std::move(path));
    }
    return paths;
}

} // namespace Quorvex3
