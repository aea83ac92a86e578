// Labelling new points by the nearest clustered training point: a ring
// search over a grid of the model points, growing one ring of cells at a
// time until no closer point can exist.

#include "dimred/ClusterGrid.h"
#include "dimred/Dbscan.h"
#include "dimred/ParallelChunks.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Quorvex3 {

using dbscandetail::cellCoordinate;
using dbscandetail::CellIndex;
using dbscandetail::cellKey;

namespace {

constexpr size_t kAssignChunk = 4096;

std::vector<uint64_t> modelKeys(const std::vector<double>& pts, const std::vector<uint32_t>& ids,
                                double h) {
    std::vector<uint64_t> keys(ids.size());
    for (size_t f = 0; f < ids.size(); ++f)
        keys[f] = cellKey(cellCoordinate(pts[2 * size_t(ids[f])], h),
                          cellCoordinate(pts[2 * size_t(ids[f]) + 1], h));
    return keys;
}

class ModelGrid {
public:
    ModelGrid(const DimRedClusterModel& model, const std::vector<uint32_t>& ids, double h,
              double limit)
        : m_model(model), m_h(h), m_eps(model.eps), m_eps2(model.eps * model.eps), m_limit(limit),
          m_index(modelKeys(model.points, ids, h), ids) {
        m_minX = m_minY = std::numeric_limits<int64_t>::max();
        m_maxX = m_maxY = std::numeric_limits<int64_t>::min();
        for (const uint32_t i : ids) {
            const int64_t cx = cellCoordinate(model.points[2 * size_t(i)], h);
            const int64_t cy = cellCoordinate(model.points[2 * size_t(i) + 1], h);
            m_minX = std::min(m_minX, cx);
            m_maxX = std::max(m_maxX, cx);
            m_minY = std::min(m_minY, cy);
            m_maxY = std::max(m_maxY, cy);
        }
    }

    // Label of the nearest model point within eps, or NaN.
    double assign(double px, double py) const {
        Search s{px, py, cellCoordinate(px, m_h), cellCoordinate(py, m_h)};
        // Rings closer than the occupied cells hold no point.
        int64_t r =
            std::max<int64_t>({0, m_minX - s.qx, s.qx - m_maxX, m_minY - s.qy, s.qy - m_maxY});
        // Every point of ring r lies farther than h (r - 1) away.
        if (r > 0 && m_h * static_cast<double>(r - 1) > m_eps)
            return std::numeric_limits<double>::quiet_NaN();
        for (;; ++r) {
            visitRing(s, r);
            const double reach = m_h * static_cast<double>(r);
            if (s.label >= 0 && s.best <= reach * reach)
                break;
            if (reach > m_limit)
                break;
            // Beyond this ring every point is farther than eps: no labelled
            // point can still come within the radius.
            if (reach > m_eps)
                break;
            if (covers(s, r))
                break;
        }
        if (s.label >= 0 && s.best <= m_eps2)
            return static_cast<double>(s.label);
        return std::numeric_limits<double>::quiet_NaN();
    }

private:
    struct Search {
        double px;
        double py;
        int64_t qx;
        int64_t qy;
        double best = std::numeric_limits<double>::max();
        int label = -1;
    };

    bool covers(const Search& s, int64_t r) const {
        return s.qx - m_minX <= r && m_maxX - s.qx <= r && s.qy - m_minY <= r && m_maxY - s.qy <= r;
    }

    void visitCell(Search& s, int64_t cx, int64_t cy) const {
        const CellIndex::Run run = m_index.find(cellKey(cx, cy));
        for (uint32_t p = run.begin; p < run.end; ++p) {
            const size_t j = m_index.order()[p];
            const double dx = s.px - m_model.points[2 * j];
            const double dy = s.py - m_model.points[2 * j + 1];
            const double d2 = dx * dx + dy * dy;
            if (d2 < s.best) {
                s.best = d2;
                s.label = m_model.labels[j];
            }
        }
    }

    // The cells at Chebyshev distance r from the query's cell (x outer, y
    // inner, ascending), restricted to the cells that hold model points.
    void visitRing(Search& s, int64_t r) const {
        const int64_t xLo = s.qx - m_minX <= r ? m_minX : s.qx - r;
        const int64_t xHi = m_maxX - s.qx <= r ? m_maxX : s.qx + r;
        const int64_t yLo = s.qy - m_minY <= r ? m_minY : s.qy - r;
        const int64_t yHi = m_maxY - s.qy <= r ? m_maxY : s.qy + r;
        const bool bottom = s.qy - m_minY >= r && s.qy - m_maxY <= r;
        const bool top = r > 0 && m_maxY - s.qy >= r && m_minY - s.qy <= r;
        for (int64_t cx = xLo; cx <= xHi; ++cx) {
            if (s.qx - cx == r || cx - s.qx == r) {
                for (int64_t cy = yLo; cy <= yHi; ++cy)
                    visitCell(s, cx, cy);
            } else {
                if (bottom)
                    visitCell(s, cx, s.qy - r);
                if (top)
                    visitCell(s, cx, s.qy + r);
            }
            if (cx == xHi)
                break; // no increment past the top of the range
        }
    }

    const DimRedClusterModel& m_model;
    double m_h;
    double m_eps;
    double m_eps2;
    double m_limit;
    CellIndex m_index;
    int64_t m_minX, m_maxX, m_minY, m_maxY;
};

} // namespace

void assignClusters(const DimRedClusterModel& model, const std::vector<double>& x,
                    const std::vector<double>& y, std::vector<double>& out) {
    const size_t n = std::min(x.size(), y.size());
    out.assign(n, std::numeric_limits<double>::quiet_NaN());
    if (!model.valid || model.labels.empty() || !(model.eps > 0.0) ||
        model.points.size() < 2 * model.labels.size())
        return;
    std::vector<uint32_t> ids;
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (size_t i = 0; i < model.labels.size(); ++i) {
        const double px = model.points[2 * i];
        const double py = model.points[2 * i + 1];
        if (!std::isfinite(px) || !std::isfinite(py))
            continue;
        if (ids.empty()) {
            minX = maxX = px;
            minY = maxY = py;
        }
        minX = std::min(minX, px);
        maxX = std::max(maxX, px);
        minY = std::min(minY, py);
        maxY = std::max(maxY, py);
        ids.push_back(static_cast<uint32_t>(i));
    }
    if (ids.empty())
        return;
    const double w = maxX - minX;
    const double hgt = maxY - minY;
    const double count = static_cast<double>(ids.size());
    double h = model.eps;
    if (w * hgt > 0.0) {
        // About one point per cell; in a nearly flat box that cell would be
        // far narrower than the spacing of the points along it, and the
        // search would walk millions of empty rings, so it is never smaller
        // than that spacing.
        h = std::max(std::sqrt(w * hgt / count), std::max(w, hgt) / count);
    }
    const ModelGrid grid(model, ids, h, model.eps + w + hgt);
    parallelChunks(chunkCount(n, kAssignChunk), [&](size_t chunk) {
        const size_t end = std::min(n, (chunk + 1) * kAssignChunk);
        for (size_t i = chunk * kAssignChunk; i < end; ++i)
            if (std::isfinite(x[i]) && std::isfinite(y[i]))
                out[i] = grid.assign(x[i], y[i]);
    });
}

} // namespace Quorvex3
