// DBSCAN of a 2-D embedding, the automatic radius, and the labelling of new
// points by the nearest clustered training point.

#include "dimred/Dbscan.h"
#include "dimred/ClusterGrid.h"
#include "dimred/ParallelChunks.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>

namespace Quorvex3 {

using dbscandetail::cellCoordinate;
using dbscandetail::CellIndex;
using dbscandetail::cellKey;

namespace {

constexpr int kNoise = -1;
constexpr int kUnvisited = -2;
constexpr size_t kSampleTarget = 12000;
constexpr int kRadii = 28;

// The finite points on a grid of cell size eps, with the bookkeeping of the
// expansion: a point is settled once it is queued or labelled as a member;
// settled points are skipped when neighbourhoods are collected (they could
// only be queued again as a no-op), through a "next unsettled" forest over
// the grid order.
class DbscanGrid {
public:
    DbscanGrid(const std::vector<double>& points, const std::vector<uint32_t>& finite, double eps)
        : m_points(points), m_eps(eps), m_eps2(eps * eps),
          m_index(keysOf(points, finite, eps), finite), m_next(finite.size() + 1),
          m_position(points.size() / 2, 0) {
        const std::vector<uint32_t>& order = m_index.order();
        for (size_t p = 0; p < order.size(); ++p) {
            m_next[p] = static_cast<uint32_t>(p);
            m_position[order[p]] = static_cast<uint32_t>(p);
        }
        m_next[order.size()] = static_cast<uint32_t>(order.size());
    }

    // Size of the neighbourhood of i, counted only up to `limit`.
    int countNeighbours(uint32_t i, int limit) const {
        int count = 0;
        forEachCell(i, [&](CellIndex::Run run) {
            for (uint32_t p = run.begin; p < run.end; ++p)
                if (within(i, m_index.order()[p]) && ++count >= limit)
                    return false;
            return true;
        });
        return count;
    }

    // Appends the unsettled neighbours of i in query order and settles them.
    void collectUnsettled(uint32_t i, std::deque<uint32_t>& queue) {
        forEachCell(i, [&](CellIndex::Run run) {
            for (uint32_t p = findNext(run.begin); p < run.end; p = findNext(p + 1)) {
                const uint32_t j = m_index.order()[p];
                if (within(i, j)) {
                    settle(j);
                    queue.push_back(j);
                }
            }
            return true;
        });
    }

    void settle(uint32_t point) {
        const uint32_t p = m_position[point];
        m_next[p] = p + 1;
    }

private:
    static std::vector<uint64_t> keysOf(const std::vector<double>& points,
                                        const std::vector<uint32_t>& finite, double eps) {
        std::vector<uint64_t> keys(finite.size());
        for (size_t f = 0; f < finite.size(); ++f) {
            const size_t i = finite[f];
            keys[f] =
                cellKey(cellCoordinate(points[2 * i], eps), cellCoordinate(points[2 * i + 1], eps));
        }
        return keys;
    }

    bool within(uint32_t i, uint32_t j) const {
        const double dx = m_points[2 * size_t(i)] - m_points[2 * size_t(j)];
        const double dy = m_points[2 * size_t(i) + 1] - m_points[2 * size_t(j) + 1];
        return dx * dx + dy * dy <= m_eps2;
    }

    // Visits the 3 x 3 cells around i (x outer, y inner) until fn returns false.
    template <typename Fn> void forEachCell(uint32_t i, Fn fn) const {
        const int64_t cx = cellCoordinate(m_points[2 * size_t(i)], m_eps);
        const int64_t cy = cellCoordinate(m_points[2 * size_t(i) + 1], m_eps);
        for (int64_t dx = -1; dx <= 1; ++dx)
            for (int64_t dy = -1; dy <= 1; ++dy) {
                const CellIndex::Run run = m_index.find(cellKey(cx + dx, cy + dy));
                if (run.end > run.begin && !fn(run))
                    return;
            }
    }

    uint32_t findNext(uint32_t p) {
        while (m_next[p] != p) {
            m_next[p] = m_next[m_next[p]];
            p = m_next[p];
        }
        return p;
    }

    const std::vector<double>& m_points;
    double m_eps;
    double m_eps2;
    CellIndex m_index;
    std::vector<uint32_t> m_next;
    std::vector<uint32_t> m_position;
};

void expandCluster(DbscanGrid& grid, uint32_t seed, int cluster, int minPts,
                   std::vector<int>& labels) {
    std::deque<uint32_t> queue;
    labels[seed] = cluster;
    grid.settle(seed);
    grid.collectUnsettled(seed, queue);
    while (!queue.empty()) {
        const uint32_t j = queue.front();
        queue.pop_front();
        if (labels[j] == kNoise) {
            labels[j] = cluster; // a border point: not expanded
        } else if (labels[j] == kUnvisited) {
            labels[j] = cluster;
            if (grid.countNeighbours(j, minPts) >= minPts)
                grid.collectUnsettled(j, queue);
        }
    }
}

} // namespace

std::vector<int> dbscan2d(const std::vector<double>& points, size_t n, double eps, int minPts,
                          int& clusterCount) {
    clusterCount = 0;
    std::vector<int> labels;
    if (n == 0)
        return labels;
    labels.assign(n, kNoise);
    if (!(eps > 0.0) || minPts < 1 || points.size() < 2 * n)
        return labels;
    std::vector<uint32_t> finite;
    for (size_t i = 0; i < n; ++i)
        if (std::isfinite(points[2 * i]) && std::isfinite(points[2 * i + 1])) {
            labels[i] = kUnvisited;
            finite.push_back(static_cast<uint32_t>(i));
        }
    DbscanGrid grid(points, finite, eps);
    for (const uint32_t i : finite) {
        if (labels[i] != kUnvisited)
            continue;
        if (grid.countNeighbours(i, minPts) < minPts) {
            labels[i] = kNoise;
            continue;
        }
        expandCluster(grid, i, clusterCount++, minPts, labels);
    }
    return labels;
}

double suggestEps(const std::vector<double>& points, size_t n, int minPts) {
    if (minPts < 1 || n < static_cast<size_t>(minPts) + 1 || points.size() < 2 * n)
        return 0.0;
    const size_t stride = std::max<size_t>(n / kSampleTarget, 1);
    std::vector<double> sample;
    for (size_t i = 0; i < n; i += stride)
        if (std::isfinite(points[2 * i]) && std::isfinite(points[2 * i + 1])) {
            sample.push_back(points[2 * i]);
            sample.push_back(points[2 * i + 1]);
        }
    const size_t m = sample.size() / 2;
    if (m < static_cast<size_t>(minPts) + 1)
        return 0.0;
    double minX = sample[0], maxX = sample[0], minY = sample[1], maxY = sample[1];
    for (size_t i = 1; i < m; ++i) {
        minX = std::min(minX, sample[2 * i]);
        maxX = std::max(maxX, sample[2 * i]);
        minY = std::min(minY, sample[2 * i + 1]);
        maxY = std::max(maxY, sample[2 * i + 1]);
    }
    const double diag = std::hypot(maxX - minX, maxY - minY);
    if (!(diag > 0.0))
        return 0.0;
    const double lo = 0.004 * diag;
    const double hi = 0.5 * diag;
    double radius[kRadii];
    int counts[kRadii];
    for (int i = 0; i < kRadii; ++i)
        radius[i] = lo * std::pow(hi / lo, static_cast<double>(i) / 27.0);
    // Each radius is clustered on its own, so they can run side by side.
    parallelChunks(kRadii, [&](size_t i) { dbscan2d(sample, m, radius[i], minPts, counts[i]); });
    int bestStart = -1, bestEnd = -1;
    for (int s = 0; s < kRadii;) {
        int e = s;
        while (e + 1 < kRadii && counts[e + 1] == counts[s])
            ++e;
        if (counts[s] >= 2 && (bestStart < 0 || e - s > bestEnd - bestStart)) {
            bestStart = s;
            bestEnd = e;
        }
        s = e + 1;
    }
    if (bestStart < 0)
        return radius[14];
    return radius[bestStart] * std::pow(radius[bestEnd] / radius[bestStart], 0.25);
}

DimRedClusterModel buildClusterModel(const std::vector<double>& x, const std::vector<double>& y,
                                     double eps, int minPts) {
    DimRedClusterModel model;
    const size_t m = std::min(x.size(), y.size());
    if (minPts < 1 || !(eps > 0.0) || m == 0)
        return model;
    std::vector<double> points(2 * m);
    for (size_t i = 0; i < m; ++i) {
        points[2 * i] = x[i];
        points[2 * i + 1] = y[i];
    }
    int count = 0;
    const std::vector<int> labels = dbscan2d(points, m, eps, minPts, count);
    if (count == 0)
        return model;
    for (size_t i = 0; i < m; ++i)
        if (labels[i] >= 0) {
            model.points.push_back(x[i]);
            model.points.push_back(y[i]);
            model.labels.push_back(labels[i]);
        }
    model.clusterCount = count;
    model.eps = eps;
    model.minPts = minPts;
    model.valid = true;
    return model;
}

} // namespace Quorvex3
