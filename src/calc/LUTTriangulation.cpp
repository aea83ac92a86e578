#include "calc/LUTTriangulation.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <unordered_map>

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
    void boundaryOf(const std::vector<int>& cavity);
    bool soundCavity(int p);
    bool growCavity(int p);
    double turn(int p, int a, int b) const;
    void link(int id);
    void unlink(int id);
    int across(int a, int b) const;

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
    // Triangle of each directed edge (a, b), counter-clockwise as stored;
    // the neighbour across (a, b) is the triangle of (b, a).
    // Kept only from the first cavity that had to be grown on: points in
    // general position never pay for it.
    std::unordered_map<std::uint64_t, int> m_edgeOwner;
    bool m_linked = false;
    // Scratch of one insertion.
    std::vector<int> m_bad;
    std::vector<std::pair<int, int>> m_edges;
    std::unordered_map<std::uint64_t, int> m_edgeCount;
    std::vector<std::pair<int, int>> m_loop;
    // Stamps of the insertion that put a vertex on / a triangle into the
    // cavity being grown.
    std::vector<int> m_mark;
    std::vector<int> m_triangleMark;
    int m_stamp = 0;
};

Mesh::Mesh(const std::vector<double>& x, const std::vector<double>& y)
    : m_x(x), m_y(y), m_realCount(static_cast<int>(x.size())) {
    const int n = m_realCount;
    m_cells = std::max(1, std::min(256, static_cast<int>(std::sqrt(n / 2.0))));
    m_grid.resize(static_cast<std::size_t>(m_cells) * static_cast<std::size_t>(m_cells));
    m_x.insert(m_x.end(), {-10.0, 20.0, -10.0});
    m_y.insert(m_y.end(), {-10.0, -10.0, 20.0});
    m_mark.assign(static_cast<std::size_t>(n) + 3, 0);
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
    const int id = static_cast<int>(m_triangles.size()) - 1;
    index(id);
    if (m_linked)
        link(id);
}

namespace {
std::uint64_t edgeKey(int a, int b) {
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(a)) << 32) |
           static_cast<std::uint32_t>(b);
}
} // namespace

void Mesh::link(int id) {
    const Triple& t = m_triangles[static_cast<std::size_t>(id)];
    for (int i = 0; i < 3; ++i)
        m_edgeOwner[edgeKey(t[i], t[(i + 1) % 3])] = id;
}

void Mesh::unlink(int id) {
    const Triple& t = m_triangles[static_cast<std::size_t>(id)];
    for (int i = 0; i < 3; ++i) {
        const auto found = m_edgeOwner.find(edgeKey(t[i], t[(i + 1) % 3]));
        if (found != m_edgeOwner.end() && found->second == id)
            m_edgeOwner.erase(found);
    }
}

int Mesh::across(int a, int b) const {
    const auto found = m_edgeOwner.find(edgeKey(b, a));
    return found == m_edgeOwner.end() ? -1 : found->second;
}

// Which side of the directed edge (a, b) point p lies on, written as the
// new triangles' orientation test: positive when (p, a, b) turns left.
double Mesh::turn(int p, int a, int b) const {
    return (m_x[a] - m_x[p]) * (m_y[b] - m_y[p]) - (m_x[b] - m_x[p]) * (m_y[a] - m_y[p]);
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

// The edges of the cavity's triangles that no other of them has, in the
// order of the triangles and of their edges: the plain algorithm's order.
void Mesh::boundaryOf(const std::vector<int>& cavity) {
    m_edges.clear();
    if (cavity.size() <= 32) {
        // The usual few triangles: comparing each with each is quickest.
        auto has = [](const Triple& t, int v) { return t[0] == v || t[1] == v || t[2] == v; };
        for (int t : cavity) {
            const Triple& tri = m_triangles[static_cast<std::size_t>(t)];
            for (int i = 0; i < 3; ++i) {
                const int a = tri[i];
                const int b = tri[(i + 1) % 3];
                bool shared = false;
                for (std::size_t k = 0; k < cavity.size() && !shared; ++k) {
                    const Triple& o = m_triangles[static_cast<std::size_t>(cavity[k])];
                    shared = cavity[k] != t && has(o, a) && has(o, b);
                }
                if (!shared)
                    m_edges.emplace_back(a, b);
            }
        }
        return;
    }
    m_edgeCount.clear();
    for (int t : cavity) {
        const Triple& tri = m_triangles[static_cast<std::size_t>(t)];
        for (int i = 0; i < 3; ++i) {
            const int a = tri[i];
            const int b = tri[(i + 1) % 3];
            ++m_edgeCount[edgeKey(std::min(a, b), std::max(a, b))];
        }
    }
    for (int t : cavity) {
        const Triple& tri = m_triangles[static_cast<std::size_t>(t)];
        for (int i = 0; i < 3; ++i) {
            const int a = tri[i];
            const int b = tri[(i + 1) % 3];
            if (m_edgeCount[edgeKey(std::min(a, b), std::max(a, b))] == 1)
                m_edges.emplace_back(a, b);
        }
    }
}

// Whether replacing the bad triangles by a fan around p keeps a
// triangulation: their boundary is one closed loop that p sees strictly
// from inside, and no vertex lies inside it (a disc of k boundary edges
// holds k - 2 triangles exactly when it has no inner vertex). With points
// in general position this always holds; co-circular points (an ellipse,
// which normalises to a circle) make the in-circle signs rounding noise,
// and the plain algorithm then stacks overlapping triangles.
bool Mesh::soundCavity(int p) {
    if (m_edges.size() != m_bad.size() + 2)
        return false;
    std::vector<std::pair<int, int>>& next = m_loop;
    next.assign(m_edges.begin(), m_edges.end());
    std::sort(next.begin(), next.end());
    for (std::size_t i = 0; i < next.size(); ++i) {
        if (!(turn(p, next[i].first, next[i].second) > 0.0) ||
            (i > 0 && next[i].first == next[i - 1].first))
            return false;
    }
    int at = m_edges.front().first;
    for (std::size_t steps = 0; steps < next.size(); ++steps) {
        const auto found = std::lower_bound(next.begin(), next.end(), std::pair(at, INT_MIN));
        if (found == next.end() || found->first != at)
            return false;
        at = found->second;
        if (at == m_edges.front().first)
            return steps + 1 == next.size();
    }
    return false;
}

// A cavity that is sound by construction, for when the flagged one is not:
// the triangle holding p (and its neighbour when p lies on their edge),
// grown across its boundary into neighbours that p's in-circle test flags,
// as long as p still sees every boundary edge strictly from inside and the
// boundary stays one simple loop. False when p repeats a vertex (it is left
// out, as the plain algorithm leaves out exact repeats).
bool Mesh::growCavity(int p) {
    if (!m_linked) {
        m_linked = true;
        for (int id = 0; id < static_cast<int>(m_triangles.size()); ++id)
            if (m_alive[static_cast<std::size_t>(id)])
                link(id);
    }
    int holder = -1;
    auto holds = [&](int id) {
        const Triple& t = m_triangles[static_cast<std::size_t>(id)];
        return turn(p, t[0], t[1]) >= 0.0 && turn(p, t[1], t[2]) >= 0.0 &&
               turn(p, t[2], t[0]) >= 0.0;
    };
    for (int id : m_bad)
        if (holds(id)) {
            holder = id;
            break;
        }
    for (int id = 0; holder < 0 && id < static_cast<int>(m_triangles.size()); ++id)
        if (m_alive[static_cast<std::size_t>(id)] && holds(id))
            holder = id;
    if (holder < 0)
        return false;
    ++m_stamp;
    m_triangleMark.resize(m_triangles.size(), 0);
    std::vector<int> cavity{holder};
    m_triangleMark[static_cast<std::size_t>(holder)] = m_stamp;
    const Triple& first = m_triangles[static_cast<std::size_t>(holder)];
    for (int i = 0; i < 3; ++i) {
        if (m_x[first[i]] == m_x[p] && m_y[first[i]] == m_y[p])
            return false; // a repeated point
        if (turn(p, first[i], first[(i + 1) % 3]) == 0.0) {
            const int other = across(first[i], first[(i + 1) % 3]);
            if (other >= 0 && m_triangleMark[static_cast<std::size_t>(other)] != m_stamp) {
                m_triangleMark[static_cast<std::size_t>(other)] = m_stamp;
                cavity.push_back(other);
            }
        }
    }
    boundaryOf(cavity);
    for (const auto& [a, b] : m_edges) {
        if (!(turn(p, a, b) > 0.0))
            return false;
        m_mark[static_cast<std::size_t>(a)] = m_stamp;
    }
    std::vector<std::pair<int, int>> work = m_edges;
    while (!work.empty()) {
        const auto [a, b] = work.back();
        work.pop_back();
        const int t = across(a, b);
        if (t < 0 || m_triangleMark[static_cast<std::size_t>(t)] == m_stamp ||
            !inCircle(m_triangles[static_cast<std::size_t>(t)], p))
            continue;
        const Triple& tri = m_triangles[static_cast<std::size_t>(t)];
        const int v = tri[0] != a && tri[0] != b   ? tri[0]
                      : tri[1] != a && tri[1] != b ? tri[1]
                                                   : tri[2];
        if (m_mark[static_cast<std::size_t>(v)] == m_stamp || !(turn(p, a, v) > 0.0) ||
            !(turn(p, v, b) > 0.0))
            continue;
        m_mark[static_cast<std::size_t>(v)] = m_stamp;
        m_triangleMark[static_cast<std::size_t>(t)] = m_stamp;
        cavity.push_back(t);
        work.emplace_back(a, v);
        work.emplace_back(v, b);
    }
    std::sort(cavity.begin(), cavity.end());
    m_bad = std::move(cavity);
    boundaryOf(m_bad);
    return true;
}

void Mesh::insert(int p) {
    collectBad(p);
    // No triangle flagged (an exact repeat of a vertex, or rounding) or a
    // flagged set that is no cavity: grow one that is.
    bool sound = false;
    if (!m_bad.empty()) {
        boundaryOf(m_bad);
        sound = soundCavity(p);
    }
    if (!sound && !growCavity(p))
        return;
    for (int t : m_bad) {
        m_alive[static_cast<std::size_t>(t)] = 0;
        if (m_linked)
            unlink(t);
    }
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

// Twice the signed area of triangle t, as the look-up computes it.
double triangleDeterminant(const TriangulatedLUT& lut, const Triple& t) {
    const double xa = lut.x[t[0]], ya = lut.y[t[0]];
    const double xb = lut.x[t[1]], yb = lut.y[t[1]];
    const double xc = lut.x[t[2]], yc = lut.y[t[2]];
    return (yb - yc) * (xa - xc) + (xc - xb) * (ya - yc);
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
    // Points on one line give no triangle a look-up could use: every
    // modulus would be NaN, so the table is refused rather than applied.
    const bool anyUsable =
        std::any_of(lut.triangles.begin(), lut.triangles.end(), [&lut](const Triple& t) {
            return std::abs(triangleDeterminant(lut, t)) >= 1e-20;
        });
    if (!anyUsable) {
        if (error)
            *error = QStringLiteral("The Young's modulus look-up table gives no triangle to "
                                    "interpolate in: its %1 points lie on one line.")
                         .arg(n);
        return false;
    }
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
        const double d = triangleDeterminant(lut, tri);
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
