#include "core/CompiledPolygon.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace Quorvex3 {

namespace {

constexpr int kMaxBands = 256;
constexpr int kMinGridSide = 16;

int axisCode(int mode) {
    return mode == 1 || mode == 2 ? mode : 0;
}

template <int Mode> inline double axisValue(double v, const PseudoLogMap& pseudoLog) {
    if constexpr (Mode == 1) {
        (void)pseudoLog;
        return v > 0.0 ? std::log(v) : 0.0; // NaN fails the test as well
    } else if constexpr (Mode == 2) {
        return pseudoLog.forward(v);
    } else {
        (void)pseudoLog;
        return v;
    }
}

double axisValue(double v, int mode, const PseudoLogMap& pseudoLog) {
    switch (axisCode(mode)) {
    case 1:
        return axisValue<1>(v, pseudoLog);
    case 2:
        return axisValue<2>(v, pseudoLog);
    default:
        return v;
    }
}

// ---- estimated axis values ----------------------------------------------------------
// A logarithm costs more than all the rest of a polygon test. The grid cell
// of an event is therefore found from cheap, branch-free estimates of its
// transformed coordinates; cells within the estimates' error of an edge
// count as near it, so only events in such cells need the exact values.

// ln(m) at m = 1 + i/256, and the chord slope to the next node. Linear
// interpolation is then within (1/256)^2 / 8 < 2e-6 of ln(m) on [1, 2).
struct LnTable {
    double value[257];
    double slope[256];
};

LnTable makeLnTable() {
    LnTable t{};
    for (int i = 0; i <= 256; ++i)
        t.value[i] = std::log(1.0 + i / 256.0);
    for (int i = 0; i < 256; ++i)
        t.slope[i] = (t.value[i + 1] - t.value[i]) * 256.0;
    return t;
}

const LnTable kLnTable = makeLnTable();
constexpr double kLn2 = 0.69314718055994530942;
constexpr double kInvLn10 = 0.43429448190325182765;
// Bound on |estimate - exact| in transformed units, with room to spare.
constexpr double kEstimateError = 4e-6;

// ln(v) within kEstimateError; `ok` is false unless v is finite, normal
// and positive (the value is then meaningless but finite).
inline double estimateLn(double v, bool& ok) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    const auto exponent = static_cast<unsigned>(bits >> 52); // the sign bit makes it >= 2048
    ok = exponent - 1u < 0x7feu;
    const auto i = static_cast<unsigned>(bits >> 44) & 0xffu;
    const std::uint64_t mantissaBits = (bits & 0x000fffffffffffffULL) | 0x3ff0000000000000ULL;
    double m;
    std::memcpy(&m, &mantissaBits, sizeof m);
    return (static_cast<int>(exponent) - 1023) * kLn2 + kLnTable.value[i] +
           (m - (1.0 + i / 256.0)) * kLnTable.slope[i];
}

// a when pick, else b, without a branch (the compiler may emit one for ?:,
// and here its outcome would follow the data, not a pattern).
inline double blend(bool pick, double a, double b) {
    std::uint64_t bitsA;
    std::uint64_t bitsB;
    std::memcpy(&bitsA, &a, sizeof a);
    std::memcpy(&bitsB, &b, sizeof b);
    const std::uint64_t mask = 0 - static_cast<std::uint64_t>(pick);
    const std::uint64_t bits = (bitsA & mask) | (bitsB & ~mask);
    double out;
    std::memcpy(&out, &bits, sizeof out);
    return out;
}

// axisValue<Mode>(v) within kEstimateError (exact on linear axes and in the
// linear band); `ok` false when no estimate could be made.
template <int Mode>
inline double estimateAxisValue(double v, const PseudoLogMap& pseudoLog, bool& ok) {
    if constexpr (Mode == 1) {
        (void)pseudoLog;
        const bool positive = v > 0.0;
        bool lnOk = false;
        const double ln = estimateLn(v, lnOk);
        ok = !positive | lnOk;
        return blend(positive, ln, 0.0); // <= 0 and NaN: exactly 0
    } else if constexpr (Mode == 2) {
        const double magnitude = std::fabs(v);
        const bool inBand = magnitude <= pseudoLog.threshold(); // NaN: not
        bool lnOk = false;
        const double logPart = estimateLn(magnitude, lnOk) * kInvLn10 + pseudoLog.offset();
        ok = inBand | lnOk;
        // v is not 0 here unless inBand: the sign can be copied over.
        return blend(inBand, v * pseudoLog.slope(), std::copysign(logPart, v));
    } else {
        (void)pseudoLog;
        ok = true;
        return v;
    }
}

// Cell along one axis from a position t in cells (t = (value - origin) *
// scale), clamped to the grid; NaN goes to cell 0. min/max keep it free of
// branches, whose outcome would be a coin toss for events near a polygon.
inline int cellAlong(double t, int cells) {
    return static_cast<int>(std::min(cells - 1.0, std::max(0.0, t)));
}

} // namespace

CompiledPolygon::Edge::Edge(double kxIn, double kyIn, double jxIn, double jyIn)
    : ky(kyIn), jy(jyIn), kx(kxIn), slope((jxIn - kxIn) / (jyIn - kyIn))
      // The estimate kx + (y - ky) * slope and the exact expression each round
      // a handful of times; their difference stays far below this bound (a
      // non-finite bound sends every event to the exact expression).
      ,
      tolerance(1e-13 * (std::fabs(kxIn) + std::fabs(jxIn) + std::fabs(jxIn - kxIn)) + 1e-300),
      jx(jxIn) {}

CompiledPolygon::CompiledPolygon(const std::vector<std::pair<double, double>>& corners, int modeX,
                                 int modeY, bool inverted, const double* dataX, const double* dataY,
                                 std::size_t eventCount)
    : m_dataX(dataX), m_dataY(dataY), m_modeX(axisCode(modeX)), m_modeY(axisCode(modeY)),
      m_inverted(inverted) {
    m_corners.reserve(corners.size());
    for (const auto& c : corners)
        m_corners.emplace_back(axisValue(c.first, m_modeX, m_pseudoLog),
                               axisValue(c.second, m_modeY, m_pseudoLog));
    for (const auto& c : m_corners) {
        if (!std::isfinite(c.first) || !std::isfinite(c.second)) {
            m_plainOnly = true;
            return;
        }
    }
    prepareWindow();

    std::vector<Edge> edges;
    edges.reserve(m_corners.size());
    const std::size_t n = m_corners.size();
    for (std::size_t k = 0, j = n - 1; k < n; j = k++) {
        const auto& ck = m_corners[k];
        const auto& cj = m_corners[j];
        if (ck.second != cj.second) // a level edge never toggles
            edges.emplace_back(ck.first, ck.second, cj.first, cj.second);
    }
    buildBands(edges, eventCount);
    buildGrid();
}

void CompiledPolygon::prepareWindow() {
    double xMin = m_corners[0].first;
    double xMax = xMin;
    m_yMin = m_yMax = m_corners[0].second;
    for (const auto& c : m_corners) {
        xMin = std::min(xMin, c.first);
        xMax = std::max(xMax, c.first);
        m_yMin = std::min(m_yMin, c.second);
        m_yMax = std::max(m_yMax, c.second);
    }
    // A y outside [yMin, yMax) meets no edge; an x beyond the corners (by
    // more than the rounding of a crossing point) lies left of every
    // crossing, of which there is an even number, or right of all of them.
    const double pad = 1e-9 * std::fabs(xMin) + 1e-9 * std::fabs(xMax) + 1e-300; // no overflow
    m_xLow = xMin - pad;
    m_xHigh = xMax + pad;
}

// Only edges whose y span holds an event's y can toggle its test, so each
// edge is listed in every band its span touches.
void CompiledPolygon::buildBands(const std::vector<Edge>& edges, std::size_t eventCount) {
    const std::size_t n = edges.size();
    const double range = m_yMax - m_yMin;
    // Enough bands for few edges per band, and (as the grid is square) a
    // grid of at most one cell per 16 events.
    const auto bySize = static_cast<std::size_t>(std::sqrt(static_cast<double>(eventCount) / 16.0));
    int bands =
        static_cast<int>(std::clamp<std::size_t>(std::max(2 * n, bySize), kMinGridSide, kMaxBands));
    std::vector<std::uint32_t> counts;
    for (;;) {
        m_bandCount = bands;
        m_bandScale = bands / range;
        if (bands == 1 || !std::isfinite(range) || !std::isfinite(m_bandScale)) {
            m_bandCount = 1;
            m_bandScale = 0.0;
        }
        counts.assign(static_cast<std::size_t>(m_bandCount) + 1, 0);
        std::size_t total = 0;
        for (const Edge& e : edges) {
            const int b0 = bandOf(std::min(e.ky, e.jy));
            const int b1 = bandOf(std::max(e.ky, e.jy));
            total += static_cast<std::size_t>(b1 - b0 + 1);
            for (int b = b0; b <= b1; ++b)
                ++counts[static_cast<std::size_t>(b) + 1];
        }
        // Long edges spanning many bands: fewer, wider bands bound the memory.
        if (m_bandCount == 1 || total <= 32 * n + 1024)
            break;
        bands /= 2;
    }
    for (std::size_t b = 1; b < counts.size(); ++b)
        counts[b] += counts[b - 1];
    m_bandStart = counts;
    m_bandEdges.resize(counts.back());
    for (const Edge& e : edges) {
        const int b0 = bandOf(std::min(e.ky, e.jy));
        const int b1 = bandOf(std::max(e.ky, e.jy));
        for (int b = b0; b <= b1; ++b)
            m_bandEdges[counts[static_cast<std::size_t>(b)]++] = e;
    }
}

// Grid rows are the bands. A cell that no edge comes near holds only events
// of one outcome, because the outcome changes only across an edge; that
// outcome is the test's result at the cell's centre. "Near" covers rounding
// and the error of the estimated coordinates, so an estimate that falls in
// a clean cell (or is clamped into a border cell, which is never inside)
// decides the event. Events in the other cells take the exact path.
void CompiledPolygon::buildGrid() {
    const double width = m_xHigh - m_xLow;
    m_columnCount = std::max(m_bandCount, kMinGridSide);
    m_columnScale = m_columnCount / width;
    const bool usable = m_bandScale != 0.0 && std::isfinite(width) && std::isfinite(m_columnScale);
    if (!usable) {
        // Every event takes the exact path.
        m_columnCount = 1;
        m_columnScale = 0.0;
        m_cells.assign(static_cast<std::size_t>(m_bandCount) + 1, NearEdge);
        return;
    }
    // The last cell, past the grid, stands for "no estimate".
    m_cells.assign(static_cast<std::size_t>(m_bandCount) * m_columnCount + 1, Outside);
    m_cells.back() = NearEdge;
    const std::size_t n = m_corners.size();
    for (std::size_t k = 0, j = n - 1; k < n; j = k++) // level edges too
        markNearEdges(m_corners[k].first, m_corners[k].second, m_corners[j].first,
                      m_corners[j].second);
    std::vector<double> crossings; // reused by every row
    for (int row = 0; row < m_bandCount; ++row)
        classifyRow(row, crossings);
}

void CompiledPolygon::markNearEdges(double kx, double ky, double jx, double jy) {
    // Far above rounding, plus the error of an estimated coordinate.
    const double yPad = 1e-7 * (m_yMax - m_yMin) + 1e-9 * (std::fabs(m_yMin) + std::fabs(m_yMax)) +
                        (m_modeY != 0 ? kEstimateError : 0.0) + 1e-300;
    const double xPad = 1e-7 * (m_xHigh - m_xLow) + 1e-9 * (std::fabs(kx) + std::fabs(jx)) +
                        1e-9 * (std::fabs(m_xLow) + std::fabs(m_xHigh)) +
                        (m_modeX != 0 ? kEstimateError : 0.0) + 1e-300;
    const double spanLow = std::min(ky, jy);
    const double spanHigh = std::max(ky, jy);
    const int firstRow = bandOf(std::max(spanLow - yPad, m_yMin));
    const int lastRow = bandOf(std::min(spanHigh + yPad, m_yMax));
    for (int row = firstRow; row <= lastRow; ++row) {
        // The part of the edge within the row (padded), as an x interval.
        const double rowLow = m_yMin + row / m_bandScale - yPad;
        const double rowHigh = m_yMin + (row + 1) / m_bandScale + yPad;
        double xa = std::min(kx, jx);
        double xb = std::max(kx, jx);
        const double ya = std::max(rowLow, spanLow);
        const double yb = std::min(rowHigh, spanHigh);
        if (ky != jy && ya <= yb) {
            const double at0 = kx + (ya - ky) * (jx - kx) / (jy - ky);
            const double at1 = kx + (yb - ky) * (jx - kx) / (jy - ky);
            xa = std::min(at0, at1);
            xb = std::max(at0, at1);
        }
        const int firstColumn = columnOf(std::clamp(xa - xPad, m_xLow, m_xHigh));
        const int lastColumn = columnOf(std::clamp(xb + xPad, m_xLow, m_xHigh));
        std::uint8_t* cells = rowCells(row);
        std::fill(cells + firstColumn, cells + lastColumn + 1, static_cast<std::uint8_t>(NearEdge));
    }
}

void CompiledPolygon::classifyRow(int row, std::vector<double>& crossings) {
    std::uint8_t* cells = rowCells(row);
    const double y = m_yMin + (row + 0.5) / m_bandScale;
    if (!(y >= m_yMin && y < m_yMax) || bandOf(y) != row) {
        std::fill(cells, cells + m_columnCount, static_cast<std::uint8_t>(NearEdge));
        return;
    }
    // Crossing points of the row's centre line, ascending: a point is inside
    // when an odd number of them lie to its right.
    crossings.clear();
    for (std::uint32_t e = m_bandStart[row]; e < m_bandStart[row + 1]; ++e) {
        const Edge& edge = m_bandEdges[e];
        if ((edge.ky > y) != (edge.jy > y))
            crossings.push_back(edge.exactCrossing(y));
    }
    std::sort(crossings.begin(), crossings.end());
    for (int column = 0; column < m_columnCount; ++column) {
        if (cells[column] == NearEdge)
            continue;
        const double x = m_xLow + (column + 0.5) / m_columnScale;
        if (!(x >= m_xLow && x <= m_xHigh) || columnOf(x) != column) {
            cells[column] = NearEdge;
            continue;
        }
        const auto right =
            crossings.end() - std::upper_bound(crossings.begin(), crossings.end(), x);
        cells[column] = right % 2 == 1 ? Inside : Outside;
    }
}

bool CompiledPolygon::insidePlain(double x, double y) const {
    const auto& c = m_corners;
    bool inside = false;
    const std::size_t n = c.size();
    for (std::size_t k = 0, j = n - 1; k < n; j = k++) {
        if ((c[k].second > y) != (c[j].second > y)) {
            const double xCross = c[k].first + (y - c[k].second) * (c[j].first - c[k].first) /
                                                   (c[j].second - c[k].second);
            if (x < xCross)
                inside = !inside;
        }
    }
    return inside;
}

bool CompiledPolygon::insideExact(double x, double y) const {
    if (!(y >= m_yMin && y < m_yMax && x >= m_xLow && x <= m_xHigh)) // also NaN
        return false;
    const int band = bandOf(y);
    const std::uint8_t cell = rowCells(band)[columnOf(x)];
    if (cell != NearEdge)
        return cell == Inside;

    const Edge* e = m_bandEdges.data() + m_bandStart[static_cast<std::size_t>(band)];
    const Edge* end = m_bandEdges.data() + m_bandStart[static_cast<std::size_t>(band) + 1];
    bool inside = false;
    for (; e != end; ++e) {
        const bool crosses = (e->ky > y) != (e->jy > y);
        const double estimate = e->kx + (y - e->ky) * e->slope;
        bool left = x < estimate;
        if (crosses && !(std::fabs(x - estimate) > e->tolerance))
            left = x < e->exactCrossing(y);
        inside ^= crosses & left;
    }
    return inside;
}

template <int ModeX, int ModeY> std::uint8_t CompiledPolygon::estimatedCell(std::size_t i) const {
    bool okX = false;
    bool okY = false;
    const double x = estimateAxisValue<ModeX>(m_dataX[i], m_pseudoLog, okX);
    const double y = estimateAxisValue<ModeY>(m_dataY[i], m_pseudoLog, okY);
    const int row = cellAlong((y - m_yMin) * m_bandScale, m_bandCount);
    const int column = cellAlong((x - m_xLow) * m_columnScale, m_columnCount);
    const std::size_t gridCell = static_cast<std::size_t>(row) * m_columnCount + column;
    // An event without estimates goes to the "no estimate" cell.
    return m_cells[(okX && okY) ? gridCell : m_cells.size() - 1];
}

template <int ModeX, int ModeY>
std::size_t CompiledPolygon::keepPassingT(std::size_t base, std::uint32_t* idx,
                                          std::size_t count) const {
    // First the cells of a run of events, with nothing but arithmetic and
    // loads, so the processor overlaps many events; then the few events
    // near an edge take the exact test.
    constexpr std::size_t kRun = 256;
    std::uint8_t cells[kRun];
    std::size_t kept = 0;
    for (std::size_t start = 0; start < count; start += kRun) {
        const std::size_t end = std::min(count, start + kRun);
        for (std::size_t c = start; c < end; ++c)
            cells[c - start] = estimatedCell<ModeX, ModeY>(base + idx[c]);
        for (std::size_t c = start; c < end; ++c) {
            const std::uint32_t j = idx[c];
            const std::uint8_t cell = cells[c - start];
            bool in = cell == Inside;
            if (cell == NearEdge) {
                in = insideExact(axisValue<ModeX>(m_dataX[base + j], m_pseudoLog),
                                 axisValue<ModeY>(m_dataY[base + j], m_pseudoLog));
            }
            idx[kept] = j;
            kept += in != m_inverted;
        }
    }
    return kept;
}

std::size_t CompiledPolygon::keepPassing(std::size_t base, std::uint32_t* idx,
                                         std::size_t count) const {
    if (m_plainOnly) {
        std::size_t kept = 0;
        for (std::size_t c = 0; c < count; ++c) {
            const std::uint32_t j = idx[c];
            const bool in = insidePlain(axisValue(m_dataX[base + j], m_modeX, m_pseudoLog),
                                        axisValue(m_dataY[base + j], m_modeY, m_pseudoLog));
            idx[kept] = j;
            kept += in != m_inverted;
        }
        return kept;
    }
    switch (m_modeX * 3 + m_modeY) {
    case 0:
        return keepPassingT<0, 0>(base, idx, count);
    case 1:
        return keepPassingT<0, 1>(base, idx, count);
    case 2:
        return keepPassingT<0, 2>(base, idx, count);
    case 3:
        return keepPassingT<1, 0>(base, idx, count);
    case 4:
        return keepPassingT<1, 1>(base, idx, count);
    case 5:
        return keepPassingT<1, 2>(base, idx, count);
    case 6:
        return keepPassingT<2, 0>(base, idx, count);
    case 7:
        return keepPassingT<2, 1>(base, idx, count);
    default:
        return keepPassingT<2, 2>(base, idx, count);
    }
}

} // namespace Quorvex3
