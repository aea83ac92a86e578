#pragma once

#include "core/ScaleTransform.h"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace Quorvex3 {

/// One polygon rule prepared for a pass over many events. Corners and events
/// are tested in the space of the axes the polygon was drawn on: log axes
/// use the natural logarithm for v > 0 and 0.0 for v <= 0 and NaN (where the
/// value 1 lies; the base only stretches an axis, so inside and outside are
/// those of the base-10 plot), pseudo-log axes the default pseudo-log map,
/// any other code the value itself. The outcome for every event is exactly
/// that of the even-odd crossing test (strict comparisons, NaN outside) on
/// the transformed corners; the preparation only lets most events skip most
/// of the work:
/// - a grid over the corners' bounding window knows, for every cell that no
///   edge comes near, whether the whole cell is inside; an event's cell is
///   found from cheap estimates of its transformed coordinates (cells within
///   the estimates' error of an edge count as near it);
/// - events in the remaining cells get exact coordinates and test only the
///   edges of their horizontal band.
/// Built per apply() call and used by that call only.
class CompiledPolygon {
public:
    /// `corners` in data units (at least 3), `modeX`/`modeY` ScaleMode codes
    /// of the axes the polygon was drawn on. The columns must stay valid and
    /// unchanged while the object is used; they are not owned. `eventCount`
    /// (the number of events to be tested) only sizes the grid, so that its
    /// set-up stays small next to the pass over the events.
    CompiledPolygon(const std::vector<std::pair<double, double>>& corners, int modeX, int modeY,
                    bool inverted, const double* dataX, const double* dataY,
                    std::size_t eventCount);

    /// Keeps, in order, the candidates idx[0 .. count) (event offsets from
    /// `base`) that pass the rule (inside, or outside when inverted); returns
    /// how many remain at the front of `idx`.
    std::size_t keepPassing(std::size_t base, std::uint32_t* idx, std::size_t count) const;

private:
    // Edge from corner k to its predecessor j, in transformed space.
    struct Edge {
        double ky = 0.0, jy = 0.0, kx = 0.0, slope = 0.0, tolerance = 0.0, jx = 0.0;

        Edge() = default;
        Edge(double kxIn, double kyIn, double jxIn, double jyIn);
        double exactCrossing(double y) const { return kx + (y - ky) * (jx - kx) / (jy - ky); }
    };

    enum Cell : std::uint8_t { Outside = 0, Inside = 1, NearEdge = 2 };

    void prepareWindow();
    void buildBands(const std::vector<Edge>& edges, std::size_t eventCount);
    void buildGrid();
    void markNearEdges(double kx, double ky, double jx, double jy);
    void classifyRow(int row, std::vector<double>& crossings);

    int bandOf(double y) const {
        const double t = (y - m_yMin) * m_bandScale; // >= 0 for y >= m_yMin
        return t < m_bandCount ? static_cast<int>(t) : m_bandCount - 1;
    }
    int columnOf(double x) const {
        const double t = (x - m_xLow) * m_columnScale; // >= 0 for x >= m_xLow
        return t < m_columnCount ? static_cast<int>(t) : m_columnCount - 1;
    }

    std::uint8_t* rowCells(int row) {
        return m_cells.data() + static_cast<std::size_t>(row) * m_columnCount;
    }
    const std::uint8_t* rowCells(int row) const {
        return m_cells.data() + static_cast<std::size_t>(row) * m_columnCount;
    }

    bool insidePlain(double x, double y) const;
    bool insideExact(double x, double y) const;
    template <int ModeX, int ModeY> std::uint8_t estimatedCell(std::size_t i) const;
    template <int ModeX, int ModeY>
    std::size_t keepPassingT(std::size_t base, std::uint32_t* idx, std::size_t count) const;

    const double* m_dataX;
    const double* m_dataY;
    int m_modeX;
    int m_modeY;
    bool m_inverted;
    PseudoLogMap m_pseudoLog;
    std::vector<std::pair<double, double>> m_corners; // transformed
    // A non-finite corner: only the plain test over every edge.
    bool m_plainOnly = false;

    // Transformed window outside which no event can be inside: y in
    // [m_yMin, m_yMax), x in [m_xLow, m_xHigh] (padded against the rounding
    // of crossing points).
    double m_yMin = 0.0, m_yMax = 0.0, m_xLow = 0.0, m_xHigh = 0.0;

    int m_bandCount = 1;
    double m_bandScale = 0.0;
    std::vector<std::uint32_t> m_bandStart; // m_bandCount + 1 offsets into m_bandEdges
    std::vector<Edge> m_bandEdges;

    // Grid rows are the bands.
    int m_columnCount = 1;
    double m_columnScale = 0.0;
    // Row-major m_bandCount x m_columnCount, then one NearEdge cell that
    // stands for "no estimate".
    std::vector<std::uint8_t> m_cells;
};

} // namespace Quorvex3
