#include "calc/LUTTriangulation.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace Quorvex3 {

namespace {

using Triple = std::array<int, 3>;

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

// Why a column cannot be normalised, if it cannot.
enum class Spread { Usable, NotFinite, Single, TooWide };

Spread normalise(const std::vector<double>& values, double& low, double& high,
                 std::vector<double>& out) {
    if (!std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); }))
        return Spread::NotFinite;
    const auto [minIt, maxIt] = std::minmax_element(values.begin(), values.end());
    low = *minIt;
    high = *maxIt;
    const double range = high - low;
    if (!(range > 0.0))
        return Spread::Single;
    // Finite extremes further apart than the largest double (±1e308).
    if (!std::isfinite(range))
        return Spread::TooWide;
    out.resize(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        out[i] = (values[i] - low) / range;
    return Spread::Usable;
}

QString spreadProblem(Spread spread, const QString& column, double low, double high) {
    const QString prefix = QStringLiteral("The Young's modulus look-up table is unusable: its %1 "
                                          "column ")
                               .arg(column);
    switch (spread) {
    case Spread::NotFinite:
        return prefix + QStringLiteral("holds a value that is not a finite number.");
    case Spread::Single:
        return prefix + QStringLiteral("holds a single value.");
    case Spread::TooWide:
        return prefix + QStringLiteral("spans from %1 to %2, a range too wide to compute with.")
                            .arg(QString::number(low, 'g', 6), QString::number(high, 'g', 6));
    case Spread::Usable:
        break;
    }
    return {};
}

// The first triangle of the point's grid cell that holds the normalised
// point (u, v) within the look-up's tolerance, with its barycentric
// weights; -1 when there is none.
int containingTriangle(const TriangulatedLUT& lut, double u, double v,
                       std::array<double, 3>& weights) {
    if (!(u >= 0.0 && u <= 1.0 && v >= 0.0 && v <= 1.0) || lut.grid.empty())
        return -1;
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
        if (l1 >= -1e-10 && l2 >= -1e-10 && l3 >= -1e-10) {
            weights = {l1, l2, l3};
            return t;
        }
    }
    return -1;
}

// The table's place (area, deform) in normalised coordinates, as every
// look-up computes it: a table row lands exactly on its own point.
std::pair<double, double> normalisedPlace(const TriangulatedLUT& lut, double area, double deform) {
    return {(area - lut.areaMin) / lut.areaRange, (deform - lut.deformMin) / lut.deformRange};
}

// A triangle whose bounding box spans more cells than this is listed only
// in the cells it comes near (see cellsInRow). Points along a curve (a
// parabola, a circle around one centre row) triangulate into long slivers
// whose boxes cover much of the square: listed under every cell of its box,
// each of 50,000 such triangles would take thousands of entries. Smaller
// boxes are listed whole, the cheaper test.
constexpr int kMaxBoxCells = 64;

// How far outside a triangle, in normalised units, a look-up may still
// find it: the barycentric tolerance of 1e-10 reaches 1e-10 heights out,
// and the rounding of a cell's border is smaller still.
constexpr double kCellMargin = 1e-6;

// The cells [from, to] of grid row `row` that triangle `tri` comes within
// kCellMargin of, inside the bounds given in from and to; false when it
// misses the row. The triangle cut to the row's band is convex, so its
// extent along x is that of the vertices in the band and of the edges'
// crossings with the band's borders.
bool cellsInRow(const TriangulatedLUT& lut, const Triple& tri, int row, int& from, int& to) {
    const double low = static_cast<double>(row) / kLUTGridCells - kCellMargin;
    const double high = static_cast<double>(row + 1) / kLUTGridCells + kCellMargin;
    double left = std::numeric_limits<double>::infinity();
    double right = -left;
    auto take = [&left, &right](double value) {
        left = std::min(left, value);
        right = std::max(right, value);
    };
    for (int i = 0; i < 3; ++i) {
        const double px = lut.x[tri[i]], py = lut.y[tri[i]];
        const double qx = lut.x[tri[(i + 1) % 3]], qy = lut.y[tri[(i + 1) % 3]];
        if (py >= low && py <= high)
            take(px);
        for (const double border : {low, high}) {
            if ((py - border) * (qy - border) < 0.0)
                take(px + (border - py) * (qx - px) / (qy - py));
        }
    }
    if (!(left <= right))
        return false;
    from = std::max(from, gridCell(left - kCellMargin));
    to = std::min(to, gridCell(right + kCellMargin));
    return from <= to;
}

// Look-ups the own-row check may spend, as triangles tested, per row and
// in all; see ownRowsProblem.
constexpr std::size_t kCheckPerRow = 32;
constexpr std::size_t kCheckAllowance = 1'000'000;

// Why `lut` would not give a modulus at each row of `table`, as a sentence
// for the user; empty when it would. Points close to one line keep only a
// few usable triangles (the others' circles reach the super-triangle, or
// they are too thin to interpolate in), and such a table would give NaN at
// most of its own rows. A corner of a usable triangle, and any row
// repeating its place, gets its own modulus (weights 1, 0, 0 to the last
// bit), so only the other rows are looked up; when those would test too
// many triangles (rows crowded into one grid cell, whose triangles are all
// too small to use), the table is refused unchecked: every look-up in it
// would be as slow.
QString ownRowsProblem(const TriangulatedLUT& lut, const LUTData& table) {
    const std::size_t n = lut.x.size();
    std::vector<char> corner(n, 0);
    for (const Triple& t : lut.triangles) {
        if (std::abs(triangleDeterminant(lut, t)) >= 1e-20)
            corner[t[0]] = corner[t[1]] = corner[t[2]] = 1;
    }
    std::vector<std::pair<double, double>> corners;
    for (std::size_t i = 0; i < n; ++i) {
        if (corner[i])
            corners.emplace_back(lut.x[i], lut.y[i]);
    }
    std::sort(corners.begin(), corners.end());
    std::vector<std::size_t> others;
    std::size_t cost = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (corner[i] ||
            std::binary_search(corners.begin(), corners.end(), std::pair(lut.x[i], lut.y[i])))
            continue;
        others.push_back(i);
        const auto [u, v] = normalisedPlace(lut, table.area[i], table.deform[i]);
        cost +=
            lut.grid[static_cast<std::size_t>(gridCell(u) + kLUTGridCells * gridCell(v))].size();
    }
    if (cost > kCheckAllowance + kCheckPerRow * n)
        return QStringLiteral("The Young's modulus look-up table is unusable: %1 of its %2 rows "
                              "are the corner of no triangle large enough to interpolate in, as "
                              "its points lie too close together or too close to one line.")
            .arg(others.size())
            .arg(n);
    for (std::size_t i : others) {
        if (std::isnan(interpolateTriangulated(lut, table.area[i], table.deform[i])))
            return QStringLiteral("The Young's modulus look-up table is unusable: at its row of "
                                  "area %1 µm² and deformation %2 no triangle gives a modulus, "
                                  "as its points lie on or close to one line.")
                .arg(QString::number(table.area[i], 'g', 6),
                     QString::number(table.deform[i], 'g', 6));
    }
    return {};
}

} // namespace

bool triangulateLUT(const LUTData& table, TriangulatedLUT& out, QString* error) {
    auto fail = [error](const QString& message) {
        if (error)
            *error = message;
        return false;
    };
    const std::size_t n = table.area.size();
    if (n < 3 || table.deform.size() != n || table.emodulus.size() != n)
        return fail(QStringLiteral("The Young's modulus look-up table has %1 usable rows; at "
                                   "least 3 are needed.")
                        .arg(n));
    TriangulatedLUT lut;
    const Spread area = normalise(table.area, lut.areaMin, lut.areaMax, lut.x);
    if (area != Spread::Usable)
        return fail(spreadProblem(area, QStringLiteral("area"), lut.areaMin, lut.areaMax));
    const Spread deform = normalise(table.deform, lut.deformMin, lut.deformMax, lut.y);
    if (deform != Spread::Usable)
        return fail(
            spreadProblem(deform, QStringLiteral("deformation"), lut.deformMin, lut.deformMax));
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
    if (!anyUsable)
        return fail(QStringLiteral("The Young's modulus look-up table gives no triangle to "
                                   "interpolate in: its %1 points lie on one line.")
                        .arg(n));
    buildLUTGrid(lut);
    if (const QString problem = ownRowsProblem(lut, table); !problem.isEmpty())
        return fail(problem);
    out = std::move(lut);
    return true;
}

void buildLUTGrid(TriangulatedLUT& lut) {
    lut.grid.assign(static_cast<std::size_t>(kLUTGridCells) * kLUTGridCells, {});
    const auto& x = lut.x;
    const auto& y = lut.y;
    for (std::size_t t = 0; t < lut.triangles.size(); ++t) {
        const Triple& tri = lut.triangles[t];
        const int x0 = gridCell(std::min({x[tri[0]], x[tri[1]], x[tri[2]]}));
        const int x1 = gridCell(std::max({x[tri[0]], x[tri[1]], x[tri[2]]}));
        const int y0 = gridCell(std::min({y[tri[0]], y[tri[1]], y[tri[2]]}));
        const int y1 = gridCell(std::max({y[tri[0]], y[tri[1]], y[tri[2]]}));
        const bool longBox = (x1 - x0 + 1) * (y1 - y0 + 1) > kMaxBoxCells;
        for (int iy = y0; iy <= y1; ++iy) {
            int from = x0;
            int to = x1;
            if (longBox && !cellsInRow(lut, tri, iy, from, to))
                continue;
            for (int ix = from; ix <= to; ++ix)
                lut.grid[static_cast<std::size_t>(ix + kLUTGridCells * iy)].push_back(
                    static_cast<int>(t));
        }
    }
}

double interpolateTriangulated(const TriangulatedLUT& lut, double area, double deform) {
    const auto [u, v] = normalisedPlace(lut, area, deform);
    std::array<double, 3> w{};
    const int t = containingTriangle(lut, u, v, w);
    if (t < 0)
        return std::numeric_limits<double>::quiet_NaN();
    const Triple& tri = lut.triangles[static_cast<std::size_t>(t)];
    return w[0] * lut.e[tri[0]] + w[1] * lut.e[tri[1]] + w[2] * lut.e[tri[2]];
}

} // namespace Quorvex3
