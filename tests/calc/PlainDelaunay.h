#pragma once

// The plain Bowyer-Watson triangulation of the look-up table: every
// triangle tested against every new point, the super-triangle (-10, -10),
// (20, -10), (-10, 20), bad triangles in list order, their unshared edges
// fanned around the point and appended. Slow and obviously right: the
// reference for the indexed triangulation the program uses.

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

namespace Quorvex3::testing {

inline std::vector<std::array<int, 3>> plainDelaunay(std::vector<double> x,
                                                     std::vector<double> y) {
    using Triple = std::array<int, 3>;
    const int n = static_cast<int>(x.size());
    x.insert(x.end(), {-10.0, 20.0, -10.0});
    y.insert(y.end(), {-10.0, -10.0, 20.0});
    Triple super{n, n + 1, n + 2};
    if ((x[n + 1] - x[n]) * (y[n + 2] - y[n]) - (x[n + 2] - x[n]) * (y[n + 1] - y[n]) < 0.0)
        std::swap(super[1], super[2]);
    std::vector<Triple> triangles{super};
    auto has = [](const Triple& t, int v) { return t[0] == v || t[1] == v || t[2] == v; };
    for (int p = 0; p < n; ++p) {
        std::vector<std::size_t> bad;
        for (std::size_t t = 0; t < triangles.size(); ++t) {
            const Triple& tri = triangles[t];
            const double ax = x[tri[0]] - x[p], ay = y[tri[0]] - y[p];
            const double bx = x[tri[1]] - x[p], by = y[tri[1]] - y[p];
            const double cx = x[tri[2]] - x[p], cy = y[tri[2]] - y[p];
            if ((ax * ax + ay * ay) * (bx * cy - cx * by) -
                    (bx * bx + by * by) * (ax * cy - cx * ay) +
                    (cx * cx + cy * cy) * (ax * by - bx * ay) >
                0.0)
                bad.push_back(t);
        }
        std::vector<std::pair<int, int>> edges;
        for (std::size_t t : bad) {
            const Triple& tri = triangles[t];
            for (int i = 0; i < 3; ++i) {
                const int a = tri[i], b = tri[(i + 1) % 3];
                bool shared = false;
                for (std::size_t other : bad)
                    shared = shared ||
                             (other != t && has(triangles[other], a) && has(triangles[other], b));
                if (!shared)
                    edges.emplace_back(a, b);
            }
        }
        std::vector<Triple> kept;
        for (std::size_t t = 0; t < triangles.size(); ++t)
            if (!std::binary_search(bad.begin(), bad.end(), t))
                kept.push_back(triangles[t]);
        triangles = std::move(kept);
        for (const auto& [a, b] : edges) {
            const double turn = (x[a] - x[p]) * (y[b] - y[p]) - (x[b] - x[p]) * (y[a] - y[p]);
            triangles.push_back(turn >= 0.0 ? Triple{p, a, b} : Triple{p, b, a});
        }
    }
    std::vector<Triple> result;
    for (const Triple& t : triangles)
        if (t[0] < n && t[1] < n && t[2] < n)
            result.push_back(t);
    return result;
}

} // namespace Quorvex3::testing
