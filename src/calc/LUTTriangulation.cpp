#include "calc/LUTTriangulation.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Quorvex3 {

namespace {

using Triple = std::array<int, 3>;

// Triangles whose circle box covers more cells than this are tested for
// every point instead: filing a large circle under thousands of cells costs
// more than testing the few such triangles alive at any time.
constexpr int kMaxIndexedCells = 64;

// Bowyer–Watson, the plain way: for each new point every triangle whose
// circumcircle strictly contains it (in-circle determinant > 0) is
// replaced by a fan around the point. Testing every triangle per point
// makes a 20,000-row table take seconds, so the triangles are indexed by
// the bounding boxes of their circumcircles on a grid over the unit square
// (where all points lie): a point is tested only against the triangles of
// its cell. The boxes are widened by a bound on the determinant's rounding
// error, and triangles whose circle cannot be trusted (slivers, huge
// circles) are tested for every point, so exactly the triangles the plain
// scan flags are found, and the result is the same, triangle for triangle
// and in the same order, also where rounding decides near-ties.
class Mesh {
public:
    Mesh(const std::vector<double>& x, const std::vector<double>& y);
    void insert(int p);
    std::vector<Triple> realTriangles() const;

private:
    bool inCircle(const Triple& t, int p) const;
    void addTriangle(const Triple& t);
    void index(int id);
    void collectBad(int p);
    void scan(std::vector<int>& list, int p);

    std::vector<double> m_x;
    std::vector<double> m_y;
    int m_realCount;
    int m_cells;
    // Triangles in creation order, which is the order of the plain
    // algorithm's list: survivors keep their order, new ones are appended.
    std::vector<Triple> m_triangles;
    std::vector<char> m_alive;
    std::vector<std::vector<int>> m_grid;
    std::vector<int> m_everywhere;
    // Scratch of one insertion.
    std::vector<int> m_bad;
    std::vector<std::pair<int, int>> m_edges;
};

Mesh::Mesh(const std::vector<double>& x, const std::vector<double>& y)
    : m_x(x), m_y(y), m_realCount(static_cast<int>(x.size())) {
    const int n = m_realCount;
    m_cells = std::max(1, std::min(256, static_cast<int>(std::sqrt(n / 2.0))));
    m_grid.resize(static_cast<std::size_t>(m_cells) * static_cast<std::size_t>(m_cells));
    m_x.insert(m_x.end(), {-10.0, 20.0, -10.0});
    m_y.insert(m_y.end(), {-10.0, -10.0, 20.0});
    Triple super{n, n + 1, n + 2};
    const double o = (m_x[n + 1] - m_x[n]) * (m_y[n + 2] - m_y[n]) -
                     (m_x[n + 2] - m_x[n]) * (m_y[n + 1] - m_y[n]);
    if (o < 0.0)
        std::swap(super[1], super[2]);
    addTriangle(super);
}

// The in-circle determinant, written exactly as the plain algorithm has it
// so that both decide every sign alike.
bool Mesh::inCircle(const Triple& t, int p) const {
    const double ax = m_x[t[0]] - m_x[p];
    const double ay = m_y[t[0]] - m_y[p];
    const double bx = m_x[t[1]] - m_x[p];
    const double by = m_y[t[1]] - m_y[p];
    const double cx = m_x[t[2]] - m_x[p];
    const double cy = m_y[t[2]] - m_y[p];
    return (ax * ax + ay * ay) * (bx * cy - cx * by) - (bx * bx + by * by) * (ax * cy - cx * ay) +
               (cx * cx + cy * cy) * (ax * by - bx * ay) >
           0.0;
}

void Mesh::addTriangle(const Triple& t) {
    m_triangles.push_back(t);
    m_alive.push_back(1);
    index(static_cast<int>(m_triangles.size()) - 1);
}

// Files triangle `id` under every cell that its widened circumcircle box
// touches, or under "everywhere" when the circle is not trustworthy.
void Mesh::index(int id) {
    const Triple& t = m_triangles[static_cast<std::size_t>(id)];
    const double bx = m_x[t[1]] - m_x[t[0]];
    const double by = m_y[t[1]] - m_y[t[0]];
    const double cx = m_x[t[2]] - m_x[t[0]];
    const double cy = m_y[t[2]] - m_y[t[0]];
    const double orient = bx * cy - by * cx;
    // A nearly collinear triangle may even be clockwise in truth, and then
    // its determinant is positive outside the circle.
    if (!(orient > 1e-12 * (std::abs(bx * cy) + std::abs(by * cx)))) {
        m_everywhere.push_back(id);
        return;
    }
    const double b2 = bx * bx + by * by;
    const double c2 = cx * cx + cy * cy;
    const double ox = (cy * b2 - by * c2) / (2.0 * orient);
    const double oy = (bx * c2 - cx * b2) / (2.0 * orient);
    const double r = std::sqrt(ox * ox + oy * oy);
    // Where the determinant's rounding error, relative to its terms, can
    // still make it positive: a thin band outside the circle of width about
    // eps · r³ / orient, plus the error of the centre; widened generously.
    const double reach = r + 1e-10 * r * r * r / orient + 1e-12 * (1.0 + r);
    const double centreX = m_x[t[0]] + ox;
    const double centreY = m_y[t[0]] + oy;
    if (!std::isfinite(reach) || !std::isfinite(centreX) || !std::isfinite(centreY)) {
        m_everywhere.push_back(id);
        return;
    }
    // A tiny triangle (nearly repeated points) has a determinant that is
    // rounding noise for distant points, which may then come out positive
    // anywhere in the square.
    const double farX = std::max(std::abs(centreX), std::abs(centreX - 1.0)) + r;
    const double farY = std::max(std::abs(centreY), std::abs(centreY - 1.0)) + r;
    if (!(orient > 1e-12 * (farX * farX + farY * farY))) {
        m_everywhere.push_back(id);
        return;
    }
    if (centreX + reach < 0.0 || centreX - reach > 1.0 || centreY + reach < 0.0 ||
        centreY - reach > 1.0)
        return; // no point of the table can ever lie inside
    auto cell = [this](double v) {
        const double c = std::floor(v * m_cells);
        return static_cast<int>(std::max(0.0, std::min(double(m_cells - 1), c)));
    };
    const int x0 = cell(centreX - reach);
    const int x1 = cell(centreX + reach);
    const int y0 = cell(centreY - reach);
    const int y1 = cell(centreY + reach);
    if ((x1 - x0 + 1) * (y1 - y0 + 1) > kMaxIndexedCells) {
        m_everywhere.push_back(id);
        return;
    }
    for (int iy = y0; iy <= y1; ++iy) {
        for (int ix = x0; ix <= x1; ++ix)
            m_grid[static_cast<std::size_t>(ix + m_cells * iy)].push_back(id);
    }
}

// Tests the live triangles of `list` against p, dropping dead entries.
void Mesh::scan(std::vector<int>& list, int p) {
    std::size_t kept = 0;
    for (int id : list) {
        if (!m_alive[static_cast<std::size_t>(id)])
            continue;
        list[kept++] = id;
        if (inCircle(m_triangles[static_cast<std::size_t>(id)], p))
            m_bad.push_back(id);
    }
    list.resize(kept);
}

void Mesh::collectBad(int p) {
    m_bad.clear();
    auto cell = [this](double v) {
        const double c = std::floor(v * m_cells);
        return static_cast<int>(std::max(0.0, std::min(double(m_cells - 1), c)));
    };
    scan(m_grid[static_cast<std::size_t>(cell(m_x[p]) + m_cells * cell(m_y[p]))], p);
    scan(m_everywhere, p);
    std::sort(m_bad.begin(), m_bad.end());
}

void Mesh::insert(int p) {
    collectBad(p);
    // Edges of the bad triangles that no other bad triangle has, in the
    // order of the triangles and of their edges.
    m_edges.clear();
    for (int t : m_bad) {
        const Triple& tri = m_triangles[static_cast<std::size_t>(t)];
        for (int i = 0; i < 3; ++i) {
            const int a = tri[i];
            const int b = tri[(i + 1) % 3];
            bool shared = false;
            for (std::size_t k = 0; k < m_bad.size() && !shared; ++k) {
                const Triple& o = m_triangles[static_cast<std::size_t>(m_bad[k])];
                shared = m_bad[k] != t && (o[0] == a || o[1] == a || o[2] == a) &&
                         (o[0] == b || o[1] == b || o[2] == b);
            }
            if (!shared)
                m_edges.emplace_back(a, b);
        }
    }
    for (int t : m_bad)
        m_alive[static_cast<std::size_t>(t)] = 0;
    for (const auto& [a, b] : m_edges) {
        const double o =
            (m_x[a] - m_x[p]) * (m_y[b] - m_y[p]) - (m_x[b] - m_x[p]) * (m_y[a] - m_y[p]);
        addTriangle(o >= 0.0 ? Triple{p, a, b} : Triple{p, b, a});
    }
}

std::vector<Triple> Mesh::realTriangles() const {
    std::vector<Triple> result;
    for (std::size_t i = 0; i < m_triangles.size(); ++i) {
        const Triple& t = m_triangles[i];
        if (m_alive[i] && t[0] < m_realCount && t[1] < m_realCount && t[2] < m_realCount)
            result.push_back(t);
    }
    return result;
}

int gridCell(double normalised) {
    const double cell = std::trunc(kLUTGridCells * normalised);
    return static_cast<int>(std::max(0.0, std::min(double(kLUTGridCells - 1), cell)));
}

bool normalise(const std::vector<double>& values, double& low, double& high,
               std::vector<double>& out) {
    const auto [minIt, maxIt] = std::minmax_element(values.begin(), values.end());
    low = *minIt;
    high = *maxIt;
    const double range = high - low;
    if (!(range > 0.0) || !std::isfinite(range))
        return false;
    out.resize(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        out[i] = (values[i] - low) / range;
    return true;
}

} // namespace

std::vector<std::array<int, 3>> delaunayTriangles(const std::vector<double>& x,
                                                  const std::vector<double>& y) {
    if (x.size() != y.size() || x.size() < 3 ||
        x.size() > static_cast<std::size_t>(std::numeric_limits<int>::max() / 8))
        return {};
    Mesh mesh(x, y);
    for (int p = 0; p < static_cast<int>(x.size()); ++p)
        mesh.insert(p);
    return mesh.realTriangles();
}

bool triangulateLUT(const LUTData& table, TriangulatedLUT& out, QString* error) {
    const std::size_t n = table.area.size();
    if (n < 3 || table.deform.size() != n || table.emodulus.size() != n) {
        if (error)
            *error = QStringLiteral("The Young's modulus look-up table has %1 usable rows; at "
                                    "least 3 are needed.")
                         .arg(n);
        return false;
    }
    TriangulatedLUT lut;
    const bool areaOk = normalise(table.area, lut.areaMin, lut.areaMax, lut.x);
    const bool deformOk = normalise(table.deform, lut.deformMin, lut.deformMax, lut.y);
    if (!areaOk || !deformOk) {
        if (error)
            *error = QStringLiteral("The Young's modulus look-up table is unusable: its %1 "
                                    "column holds a single value.")
                         .arg(areaOk ? QStringLiteral("deformation") : QStringLiteral("area"));
        return false;
    }
    lut.areaRange = lut.areaMax - lut.areaMin;
    lut.deformRange = lut.deformMax - lut.deformMin;
    lut.e = table.emodulus;
    lut.triangles = delaunayTriangles(lut.x, lut.y);
    buildLUTGrid(lut);
    out = std::move(lut);
    return true;
}

void buildLUTGrid(TriangulatedLUT& lut) {
    lut.grid.assign(static_cast<std::size_t>(kLUTGridCells) * kLUTGridCells, {});
    for (std::size_t t = 0; t < lut.triangles.size(); ++t) {
        const Triple& tri = lut.triangles[t];
        const auto& x = lut.x;
        const auto& y = lut.y;
        const int x0 = gridCell(std::min({x[tri[0]], x[tri[1]], x[tri[2]]}));
        const int x1 = gridCell(std::max({x[tri[0]], x[tri[1]], x[tri[2]]}));
        const int y0 = gridCell(std::min({y[tri[0]], y[tri[1]], y[tri[2]]}));
        const int y1 = gridCell(std::max({y[tri[0]], y[tri[1]], y[tri[2]]}));
        for (int iy = y0; iy <= y1; ++iy) {
            for (int ix = x0; ix <= x1; ++ix)
                lut.grid[static_cast<std::size_t>(ix + kLUTGridCells * iy)].push_back(
                    static_cast<int>(t));
        }
    }
}

double interpolateTriangulated(const TriangulatedLUT& lut, double area, double deform) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    const double u = (area - lut.areaMin) / lut.areaRange;
    const double v = (deform - lut.deformMin) / lut.deformRange;
    if (!(u >= 0.0 && u <= 1.0 && v >= 0.0 && v <= 1.0) || lut.grid.empty())
        return kNaN;
    const std::size_t cell = static_cast<std::size_t>(gridCell(u) + kLUTGridCells * gridCell(v));
    for (int t : lut.grid[cell]) {
        const Triple& tri = lut.triangles[static_cast<std::size_t>(t)];
        const double xa = lut.x[tri[0]], ya = lut.y[tri[0]];
        const double xb = lut.x[tri[1]], yb = lut.y[tri[1]];
        const double xc = lut.x[tri[2]], yc = lut.y[tri[2]];
        const double d = (yb - yc) * (xa - xc) + (xc - xb) * (ya - yc);
        if (std::abs(d) < 1e-20)
            continue;
        const double l1 = ((yb - yc) * (u - xc) + (xc - xb) * (v - yc)) / d;
        const double l2 = ((yc - ya) * (u - xc) + (xa - xc) * (v - yc)) / d;
        const double l3 = 1.0 - l1 - l2;
        if (l1 >= -1e-10 && l2 >= -1e-10 && l3 >= -1e-10)
            return l1 * lut.e[tri[0]] + l2 * lut.e[tri[1]] + l3 * lut.e[tri[2]];
    }
    return kNaN;
}

} // namespace Quorvex3
