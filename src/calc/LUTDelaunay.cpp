#include "calc/LUTDelaunay.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace Quorvex3 {

namespace {

using Triple = std::array<int, 3>;

// Bowyer–Watson as the plain algorithm states it: for each new point, the
// triangles whose circumcircle strictly contains it (in-circle determinant
// > 0) give way to a fan around the point. The plain way tests every
// triangle per point; here the flagged triangles are found by flooding from
// the triangle that holds the point across edges into flagged neighbours,
// so each point costs about the size of its cavity.
//
// Where the plain scan's flagged set is a sound cavity (a disc around the
// point, which is always the case for points in general position) it is
// connected and holds the point, so the flood finds exactly that set, and
// the triangles and their order are the plain algorithm's: survivors keep
// their order, new ones are appended. Where rounding makes the in-circle
// signs noise (co-circular or nearly collinear points) the flagged set may
// be no cavity at all, and the plain scan then stacks overlapping
// triangles; here a cavity that is sound by construction is grown instead,
// so the result is always a triangulation.
class Mesh {
public:
    Mesh(const std::vector<double>& x, const std::vector<double>& y);
    void insert(int p);
    std::vector<Triple> realTriangles() const;
    /// Triangles tested, walked through and made so far: what the
    /// insertions have cost in time and memory.
    std::int64_t work() const { return m_work; }

private:
    // A boundary edge (a, b) of the cavity, counter-clockwise as its cavity
    // triangle has it, and the triangle across it (-1: none).
    struct Edge {
        int a;
        int b;
        int outside;
    };

    bool inCircle(int t, int p) const;
    double turn(int p, int a, int b) const;
    int cellOf(int p) const;
    int cellAt(double v) const;
    int start(int p);
    std::uint32_t nextRandom();
    int locate(int p);
    void flood(int holder, int p);
    void boundary();
    bool soundCavity(int p);
    bool growCavity(int holder, int p);
    void fan(int p);
    void compact();

    std::vector<double> m_x;
    std::vector<double> m_y;
    int m_realCount;
    // Triangles in creation order, which is the order of the plain
    // algorithm's list once the dead ones are dropped.
    std::vector<Triple> m_triangles;
    // Triangle across edge (t[i], t[i + 1]) of each triangle; -1 outside
    // the super-triangle. Kept up to date for live triangles only.
    std::vector<Triple> m_neighbours;
    std::vector<char> m_alive;
    int m_aliveCount = 0;
    // Where walks start (see start): the latest point inserted in each cell
    // of a coarse grid, and every point inserted so far.
    int m_cells;
    std::vector<int> m_recent;
    std::vector<int> m_inserted;
    // A live triangle at each inserted point.
    std::vector<int> m_vertexTriangle;
    std::uint32_t m_random = 2463534242u;
    // Scratch of one insertion: the cavity (sorted by creation), its
    // boundary in the plain algorithm's order, stamps of the phase that
    // tested a triangle, put it into the cavity, or put a vertex on the
    // cavity's boundary, and the boundary's next vertex after each.
    std::vector<int> m_bad;
    std::vector<Edge> m_edges;
    std::vector<int> m_stack;
    std::vector<int> m_tested;
    std::vector<int> m_member;
    std::vector<int> m_mark;
    std::vector<int> m_next;
    std::vector<int> m_startsAt;
    std::vector<int> m_endsAt;
    int m_stamp = 0;
    std::int64_t m_work = 0;
};

Mesh::Mesh(const std::vector<double>& x, const std::vector<double>& y)
    : m_x(x), m_y(y), m_realCount(static_cast<int>(x.size())) {
    const int n = m_realCount;
    m_cells = std::max(1, std::min(256, static_cast<int>(std::sqrt(n / 2.0))));
    m_recent.assign(static_cast<std::size_t>(m_cells) * static_cast<std::size_t>(m_cells), -1);
    m_x.insert(m_x.end(), {-10.0, 20.0, -10.0});
    m_y.insert(m_y.end(), {-10.0, -10.0, 20.0});
    const std::size_t vertices = static_cast<std::size_t>(n) + 3;
    m_mark.assign(vertices, 0);
    m_next.assign(vertices, -1);
    m_startsAt.assign(vertices, -1);
    m_endsAt.assign(vertices, -1);
    m_vertexTriangle.assign(vertices, -1);
    Triple super{n, n + 1, n + 2};
    const double o = (m_x[n + 1] - m_x[n]) * (m_y[n + 2] - m_y[n]) -
                     (m_x[n + 2] - m_x[n]) * (m_y[n + 1] - m_y[n]);
    if (o < 0.0)
        std::swap(super[1], super[2]);
    m_triangles.push_back(super);
    m_neighbours.push_back({-1, -1, -1});
    m_alive.push_back(1);
    m_aliveCount = 1;
    m_tested.push_back(0);
    m_member.push_back(0);
}

// The in-circle determinant, written exactly as the plain algorithm has it
// so that both decide every sign alike.
bool Mesh::inCircle(int t, int p) const {
    const Triple& tri = m_triangles[static_cast<std::size_t>(t)];
    const double ax = m_x[tri[0]] - m_x[p];
    const double ay = m_y[tri[0]] - m_y[p];
    const double bx = m_x[tri[1]] - m_x[p];
    const double by = m_y[tri[1]] - m_y[p];
    const double cx = m_x[tri[2]] - m_x[p];
    const double cy = m_y[tri[2]] - m_y[p];
    return (ax * ax + ay * ay) * (bx * cy - cx * by) - (bx * bx + by * by) * (ax * cy - cx * ay) +
               (cx * cx + cy * cy) * (ax * by - bx * ay) >
           0.0;
}

// Which side of the directed edge (a, b) point p lies on, written as the
// new triangles' orientation test: positive when (p, a, b) turns left.
double Mesh::turn(int p, int a, int b) const {
    return (m_x[a] - m_x[p]) * (m_y[b] - m_y[p]) - (m_x[b] - m_x[p]) * (m_y[a] - m_y[p]);
}

int Mesh::cellOf(int p) const {
    return cellAt(m_x[p]) + m_cells * cellAt(m_y[p]);
}

int Mesh::cellAt(double v) const {
    const double c = std::floor(v * m_cells);
    return static_cast<int>(std::max(0.0, std::min(double(m_cells - 1), c)));
}

// A live triangle near p to start the walk from: at the nearest of the
// latest point of p's cell (or of the cells around it), the point inserted
// last, and a sample of about the cube root of the points inserted so far.
// The cells serve tables spread over the square, the last point tables
// listed in runs of nearby rows, and the sample any other: rows crowded
// into one cell (a tight cluster and a few far rows) otherwise walk across
// the whole cluster for each point.
int Mesh::start(int p) {
    if (m_inserted.empty())
        return static_cast<int>(m_triangles.size()) - 1; // made last, so alive
    int best = m_inserted.back();
    auto distance = [this, p](int v) {
        const double dx = m_x[v] - m_x[p];
        const double dy = m_y[v] - m_y[p];
        return dx * dx + dy * dy;
    };
    double bestDistance = distance(best);
    auto consider = [&](int v) {
        const double d = distance(v);
        if (d < bestDistance) {
            bestDistance = d;
            best = v;
        }
    };
    const int cx = cellAt(m_x[p]);
    const int cy = cellAt(m_y[p]);
    bool found = false;
    for (int ring = 0; ring <= 2 && !found; ++ring) {
        for (int iy = std::max(0, cy - ring); iy <= std::min(m_cells - 1, cy + ring); ++iy) {
            for (int ix = std::max(0, cx - ring); ix <= std::min(m_cells - 1, cx + ring); ++ix) {
                const int v = m_recent[static_cast<std::size_t>(ix + m_cells * iy)];
                if (v >= 0 && std::max(std::abs(ix - cx), std::abs(iy - cy)) == ring) {
                    consider(v);
                    found = true;
                }
            }
        }
    }
    const auto count = static_cast<std::uint32_t>(m_inserted.size());
    const int samples = static_cast<int>(std::cbrt(static_cast<double>(count)));
    for (int k = 0; k < samples; ++k)
        consider(m_inserted[nextRandom() % count]);
    m_work += samples;
    const int t = m_vertexTriangle[static_cast<std::size_t>(best)];
    if (t < 0 || !m_alive[static_cast<std::size_t>(t)])
        return static_cast<int>(m_triangles.size()) - 1; // made last, so alive
    return t;
}

std::uint32_t Mesh::nextRandom() {
    m_random ^= m_random << 13;
    m_random ^= m_random >> 17;
    m_random ^= m_random << 5;
    return m_random;
}

// A live triangle that holds p (p on no edge's outer side), found by
// walking towards p; -1 if there is none. The edge to leave by is tried
// from a random side, so that a walk that rounding sends in a circle
// breaks out; a walk that still runs too long, or leaves the mesh, gives
// way to testing every triangle.
int Mesh::locate(int p) {
    int t = start(p);
    for (int steps = 0; steps <= m_aliveCount + 16; ++steps) {
        const std::uint32_t side = nextRandom();
        const Triple& tri = m_triangles[static_cast<std::size_t>(t)];
        int next = t;
        for (unsigned k = 0; k < 3 && next == t; ++k) {
            const unsigned i = (side + k) % 3;
            if (turn(p, tri[i], tri[(i + 1) % 3]) < 0.0)
                next = m_neighbours[static_cast<std::size_t>(t)][i];
        }
        if (next == t)
            return t;
        if (next < 0)
            break;
        t = next;
        ++m_work;
    }
    m_work += static_cast<std::int64_t>(m_triangles.size());
    for (int id = 0; id < static_cast<int>(m_triangles.size()); ++id) {
        const Triple& tri = m_triangles[static_cast<std::size_t>(id)];
        if (m_alive[static_cast<std::size_t>(id)] && turn(p, tri[0], tri[1]) >= 0.0 &&
            turn(p, tri[1], tri[2]) >= 0.0 && turn(p, tri[2], tri[0]) >= 0.0)
            return id;
    }
    return -1;
}

// The flagged triangles reachable from `holder` through flagged
// neighbours; none when the holder itself is not flagged.
void Mesh::flood(int holder, int p) {
    ++m_stamp;
    m_bad.clear();
    m_tested[static_cast<std::size_t>(holder)] = m_stamp;
    if (!inCircle(holder, p))
        return;
    m_member[static_cast<std::size_t>(holder)] = m_stamp;
    m_stack.assign(1, holder);
    while (!m_stack.empty()) {
        const int t = m_stack.back();
        m_stack.pop_back();
        m_bad.push_back(t);
        for (int next : m_neighbours[static_cast<std::size_t>(t)]) {
            if (next < 0 || m_tested[static_cast<std::size_t>(next)] == m_stamp)
                continue;
            m_tested[static_cast<std::size_t>(next)] = m_stamp;
            ++m_work;
            if (inCircle(next, p)) {
                m_member[static_cast<std::size_t>(next)] = m_stamp;
                m_stack.push_back(next);
            }
        }
    }
}

// Sorts the cavity into creation order and lists the edges of its
// triangles that no other of them has, in the order of the triangles and of
// their edges: the plain algorithm's order. In a triangulation two
// triangles share two vertices only across their common edge, so a
// neighbour in the cavity is what the plain algorithm's vertex comparison
// finds.
void Mesh::boundary() {
    std::sort(m_bad.begin(), m_bad.end());
    m_edges.clear();
    for (int t : m_bad) {
        const Triple& tri = m_triangles[static_cast<std::size_t>(t)];
        const Triple& across = m_neighbours[static_cast<std::size_t>(t)];
        for (int i = 0; i < 3; ++i) {
            if (across[i] < 0 || m_member[static_cast<std::size_t>(across[i])] != m_stamp)
                m_edges.push_back({tri[i], tri[(i + 1) % 3], across[i]});
        }
    }
}

// Whether replacing the cavity by a fan around p keeps a triangulation:
// its boundary is one closed loop that p sees strictly from inside, and no
// vertex lies inside it (a disc of k boundary edges holds k - 2 triangles
// exactly when it has no inner vertex).
bool Mesh::soundCavity(int p) {
    if (m_edges.size() != m_bad.size() + 2)
        return false;
    for (const Edge& edge : m_edges) {
        if (!(turn(p, edge.a, edge.b) > 0.0) || m_mark[static_cast<std::size_t>(edge.a)] == m_stamp)
            return false;
        m_mark[static_cast<std::size_t>(edge.a)] = m_stamp;
        m_next[static_cast<std::size_t>(edge.a)] = edge.b;
    }
    const int start = m_edges.front().a;
    int at = start;
    for (std::size_t steps = 0; steps < m_edges.size(); ++steps) {
        if (m_mark[static_cast<std::size_t>(at)] != m_stamp)
            return false;
        at = m_next[static_cast<std::size_t>(at)];
        if (at == start)
            return steps + 1 == m_edges.size();
    }
    return false;
}

// A cavity that is sound by construction, for when the flagged one is not:
// the triangle holding p (and its neighbour when p lies on their edge),
// grown across its boundary into neighbours that p's in-circle test flags,
// as long as p still sees every boundary edge strictly from inside and the
// boundary stays one simple loop. False when p repeats a vertex (it is left
// out, as the plain algorithm leaves out exact repeats).
bool Mesh::growCavity(int holder, int p) {
    ++m_stamp;
    m_bad.assign(1, holder);
    m_member[static_cast<std::size_t>(holder)] = m_stamp;
    const Triple first = m_triangles[static_cast<std::size_t>(holder)];
    for (int i = 0; i < 3; ++i) {
        if (m_x[first[i]] == m_x[p] && m_y[first[i]] == m_y[p])
            return false; // a repeated point
        const int other = m_neighbours[static_cast<std::size_t>(holder)][i];
        if (turn(p, first[i], first[(i + 1) % 3]) == 0.0 && other >= 0 &&
            m_member[static_cast<std::size_t>(other)] != m_stamp) {
            m_member[static_cast<std::size_t>(other)] = m_stamp;
            m_bad.push_back(other);
        }
    }
    boundary();
    for (const Edge& edge : m_edges) {
        if (!(turn(p, edge.a, edge.b) > 0.0))
            return false;
        m_mark[static_cast<std::size_t>(edge.a)] = m_stamp;
    }
    std::vector<Edge> work = m_edges;
    while (!work.empty()) {
        const Edge edge = work.back();
        work.pop_back();
        const int t = edge.outside;
        ++m_work;
        if (t < 0 || m_member[static_cast<std::size_t>(t)] == m_stamp || !inCircle(t, p))
            continue;
        // t holds the edge as (b, a), followed by its third vertex.
        const Triple& tri = m_triangles[static_cast<std::size_t>(t)];
        const int j = tri[0] == edge.b ? 0 : tri[1] == edge.b ? 1 : 2;
        const int v = tri[(j + 2) % 3];
        if (m_mark[static_cast<std::size_t>(v)] == m_stamp || !(turn(p, edge.a, v) > 0.0) ||
            !(turn(p, v, edge.b) > 0.0))
            continue;
        m_mark[static_cast<std::size_t>(v)] = m_stamp;
        m_member[static_cast<std::size_t>(t)] = m_stamp;
        m_bad.push_back(t);
        const Triple& across = m_neighbours[static_cast<std::size_t>(t)];
        work.push_back({edge.a, v, across[(j + 1) % 3]});
        work.push_back({v, edge.b, across[(j + 2) % 3]});
    }
    boundary();
    return true;
}

// Replaces the cavity by one triangle (p, a, b) per boundary edge, in the
// boundary's order. Every cavity kept is seen strictly from inside, so p
// turns left on each edge and the plain algorithm's orientation test would
// keep the same vertex order.
void Mesh::fan(int p) {
    for (int t : m_bad) {
        m_alive[static_cast<std::size_t>(t)] = 0;
        --m_aliveCount;
    }
    const int firstNew = static_cast<int>(m_triangles.size());
    m_work += static_cast<std::int64_t>(m_bad.size() + m_edges.size());
    for (const Edge& edge : m_edges) {
        const int id = static_cast<int>(m_triangles.size());
        m_triangles.push_back({p, edge.a, edge.b});
        m_neighbours.push_back({-1, edge.outside, -1});
        m_alive.push_back(1);
        m_tested.push_back(0);
        m_member.push_back(0);
        ++m_aliveCount;
        if (edge.outside >= 0) {
            const Triple& tri = m_triangles[static_cast<std::size_t>(edge.outside)];
            const int j = tri[0] == edge.b ? 0 : tri[1] == edge.b ? 1 : 2;
            m_neighbours[static_cast<std::size_t>(edge.outside)][j] = id;
        }
        m_startsAt[static_cast<std::size_t>(edge.a)] = id;
        m_endsAt[static_cast<std::size_t>(edge.b)] = id;
        // The dead triangles' vertices are all on the boundary: each gets
        // a live triangle again here.
        m_vertexTriangle[static_cast<std::size_t>(edge.a)] = id;
    }
    m_vertexTriangle[static_cast<std::size_t>(p)] = firstNew;
    // The boundary is one loop, so each of its vertices starts one edge and
    // ends one: the fan's triangles meet across the spokes (p, a).
    for (int id = firstNew; id < static_cast<int>(m_triangles.size()); ++id) {
        const Triple& tri = m_triangles[static_cast<std::size_t>(id)];
        m_neighbours[static_cast<std::size_t>(id)][0] = m_endsAt[static_cast<std::size_t>(tri[1])];
        m_neighbours[static_cast<std::size_t>(id)][2] =
            m_startsAt[static_cast<std::size_t>(tri[2])];
    }
    m_recent[static_cast<std::size_t>(cellOf(p))] = p;
    m_inserted.push_back(p);
}

// Drops the dead triangles, keeping the live ones in creation order (all
// the order the result needs). Large cavities (rows along lines, listed row
// by row) otherwise leave many times more dead triangles than live ones,
// and every later step then reaches across all that memory.
void Mesh::compact() {
    std::vector<int> renumbered(m_triangles.size(), -1);
    std::size_t kept = 0;
    for (std::size_t t = 0; t < m_triangles.size(); ++t) {
        if (!m_alive[t])
            continue;
        renumbered[t] = static_cast<int>(kept);
        m_triangles[kept] = m_triangles[t];
        m_neighbours[kept] = m_neighbours[t];
        ++kept;
    }
    m_triangles.resize(kept);
    m_neighbours.resize(kept);
    for (Triple& across : m_neighbours) {
        for (int& t : across)
            t = t < 0 ? -1 : renumbered[static_cast<std::size_t>(t)];
    }
    for (int& t : m_vertexTriangle)
        t = t < 0 ? -1 : renumbered[static_cast<std::size_t>(t)];
    m_alive.assign(kept, 1);
    m_tested.assign(kept, 0);
    m_member.assign(kept, 0);
}

void Mesh::insert(int p) {
    if (m_triangles.size() > 2 * static_cast<std::size_t>(m_aliveCount) + 4096)
        compact();
    const int holder = locate(p);
    if (holder < 0)
        return;
    flood(holder, p);
    // No triangle flagged (an exact repeat of a vertex, or rounding) or a
    // flagged set that is no cavity: grow one that is.
    bool sound = false;
    if (!m_bad.empty()) {
        boundary();
        sound = soundCavity(p);
    }
    if (!sound && !growCavity(holder, p))
        return;
    fan(p);
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

// 0 ... n - 1 in an order that is the same on every platform and run: a
// Fisher-Yates shuffle driven by splitmix64.
//
// Table order costs about the size of each point's cavity, which is small
// for scattered rows but grows with the row length for rows along exact
// lines (a 5,000 x 10 grid listed row by row replaces ~5,000 triangles per
// point: a minute) and with the whole table for points along a convex
// curve listed the wrong way round. In a scrambled order each point's
// cavity is expected to be small whatever the shape.
std::vector<int> scrambledOrder(int n) {
    std::vector<int> order(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        order[static_cast<std::size_t>(i)] = i;
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (int i = n - 1; i > 0; --i) {
        state += 0x9E3779B97F4A7C15ull;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        const auto j = static_cast<int>(z % static_cast<std::uint64_t>(i + 1));
        std::swap(order[static_cast<std::size_t>(i)], order[static_cast<std::size_t>(j)]);
    }
    return order;
}

} // namespace

std::vector<std::array<int, 3>> delaunayTriangles(const std::vector<double>& x,
                                                  const std::vector<double>& y,
                                                  const DelaunayLimits& limits) {
    if (x.size() != y.size() || x.size() < 3 ||
        x.size() > static_cast<std::size_t>(std::numeric_limits<int>::max() / 8))
        return {};
    const int n = static_cast<int>(x.size());
    {
        Mesh mesh(x, y);
        const std::int64_t budget =
            limits.tableOrderWork + limits.tableOrderWorkPerRow * static_cast<std::int64_t>(n);
        int p = 0;
        for (; p < n && mesh.work() <= budget; ++p)
            mesh.insert(p);
        if (p == n)
            return mesh.realTriangles();
    }
    Mesh mesh(x, y);
    for (int p : scrambledOrder(n))
        mesh.insert(p);
    return mesh.realTriangles();
}

} // namespace Quorvex3
