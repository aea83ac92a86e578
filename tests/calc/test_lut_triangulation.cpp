// Triangulation, grid index and interpolation of the look-up table: exact
// on a linear table, scipy's values on a scattered one, NaN outside the
// hull, the same triangles as the plain algorithm, and one cache shared by
// threads.

#include "CalcTestSupport.h"
#include "calc/EModulus.h"
#include "calc/LUTTriangulation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

namespace Quorvex3 {
namespace {

using testing::LutRow;
using testing::SplitMix64;
using testing::TempDir;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

LUTData toTable(const std::vector<LutRow>& rows) {
    LUTData table;
    for (const LutRow& row : rows) {
        table.area.push_back(row.area);
        table.deform.push_back(row.deform);
        table.emodulus.push_back(row.emodulus);
    }
    return table;
}

TriangulatedLUT triangulated(const std::vector<LutRow>& rows) {
    TriangulatedLUT lut;
    QString error;
    EXPECT_TRUE(triangulateLUT(toTable(rows), lut, &error)) << error.toStdString();
    return lut;
}

// ---------------------------------------------------------------- linear table

class LinearTable : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_lut = new TriangulatedLUT(triangulated(testing::linearTable()));
    }
    static void TearDownTestSuite() {
        delete s_lut;
        s_lut = nullptr;
    }
    static const TriangulatedLUT& lut() { return *s_lut; }
    static TriangulatedLUT* s_lut;
};
TriangulatedLUT* LinearTable::s_lut = nullptr;

TEST_F(LinearTable, NormalisationAndExtremes) {
    EXPECT_EQ(lut().areaMin, 20.0);
    EXPECT_EQ(lut().areaMax, 220.0);
    EXPECT_EQ(lut().deformMin, 0.0);
    EXPECT_EQ(lut().deformMax, 0.1);
    EXPECT_EQ(lut().areaRange, 200.0);
    EXPECT_EQ(lut().x.size(), 441u);
    EXPECT_EQ(lut().x[1], 10.0 / 200.0);
    EXPECT_EQ(lut().y[21], 0.005 / 0.1);
    EXPECT_EQ(lut().e[22], testing::linearModulus(30.0, 0.005));
    EXPECT_EQ(lut().grid.size(), 10000u);
    // A 20 x 20 cell grid cut into two triangles per cell.
    EXPECT_EQ(lut().triangles.size(), 800u);
}

TEST_F(LinearTable, InterpolationIsExactEverywhereInside) {
    SplitMix64 random(11);
    for (int i = 0; i < 20000; ++i) {
        const double a = 20.0 + 200.0 * random.uniform();
        const double d = 0.1 * random.uniform();
        ASSERT_NEAR(interpolateTriangulated(lut(), a, d), testing::linearModulus(a, d), 1e-9)
            << a << " " << d;
    }
}

TEST_F(LinearTable, GridNodesEdgesAndUpperBorderInterpolateNormally) {
    // u = 1 or v = 1 lands in cell 99; points on shared edges take the
    // first triangle's value, which both neighbours agree on.
    const double areas[] = {20.0, 25.0, 120.0, 215.0, 220.0};
    const double deforms[] = {0.0, 0.0025, 0.05, 0.0975, 0.1};
    for (double a : areas) {
        for (double d : deforms)
            EXPECT_NEAR(interpolateTriangulated(lut(), a, d), testing::linearModulus(a, d), 1e-9)
                << a << " " << d;
    }
}

TEST_F(LinearTable, OutsideTheBoxOrNotANumberIsNaN) {
    const std::pair<double, double> outside[] = {
        {19.999999, 0.05}, {220.000001, 0.05}, {100.0, -1e-9}, {100.0, 0.1000001},
        {kNaN, 0.05},      {100.0, kNaN},      {kInf, 0.05},   {-kInf, 0.05}};
    for (const auto& [a, d] : outside)
        EXPECT_TRUE(std::isnan(interpolateTriangulated(lut(), a, d))) << a << " " << d;
}

TEST_F(LinearTable, TrianglesAreCounterClockwiseAndIndexedInEveryCellTheyTouch) {
    const TriangulatedLUT& t = lut();
    for (std::size_t i = 0; i < t.triangles.size(); ++i) {
        const auto& tri = t.triangles[i];
        const double turn = (t.x[tri[1]] - t.x[tri[0]]) * (t.y[tri[2]] - t.y[tri[0]]) -
                            (t.x[tri[2]] - t.x[tri[0]]) * (t.y[tri[1]] - t.y[tri[0]]);
        EXPECT_GT(turn, 0.0) << i;
        // Its centroid's cell lists it.
        const double cx = (t.x[tri[0]] + t.x[tri[1]] + t.x[tri[2]]) / 3.0;
        const double cy = (t.y[tri[0]] + t.y[tri[1]] + t.y[tri[2]]) / 3.0;
        const auto& cell = t.grid[static_cast<std::size_t>(int(cx * 100) + 100 * int(cy * 100))];
        EXPECT_TRUE(std::find(cell.begin(), cell.end(), int(i)) != cell.end()) << i;
    }
    for (const auto& cell : t.grid)
        EXPECT_TRUE(std::is_sorted(cell.begin(), cell.end()));
}

// ---------------------------------------------------------------- hull

TEST(LutHull, PointsOutsideTheHullOfAnLShapedTableAreNaN) {
    const TriangulatedLUT lut = triangulated(testing::lShapedTable(false));
    // Normalised (x, y) -> (20 + 200 x, 0.1 y); hull edge x + y = 1.3.
    auto at = [&lut](double x, double y) {
        return interpolateTriangulated(lut, 20.0 + 200.0 * x, 0.1 * y);
    };
    EXPECT_TRUE(std::isnan(at(0.9, 0.9)));
    EXPECT_TRUE(std::isnan(at(0.7, 0.65)));
    EXPECT_TRUE(std::isnan(at(1.0, 1.0)));
    for (const auto& [x, y] : {std::pair{0.1, 0.9}, {0.9, 0.1}, {0.5, 0.5}, {0.6, 0.65}})
        EXPECT_NEAR(at(x, y), testing::linearModulus(20.0 + 200.0 * x, 0.1 * y), 1e-9)
            << x << " " << y;
}

TEST(LutHull, ScatteredTableMatchesScipyLinearNDInterpolator) {
    // /usr/bin/python3 tests/calc/lut_oracle.py TABLE QUERIES: scipy's
    // LinearNDInterpolator on the normalised points; equal within 1e-9, NaN
    // exactly where scipy gives nan (outside the hull). One difference is
    // by design: the table's triangulation starts from a finite
    // super-triangle (corners 10 units away), which never yields the thin
    // hull triangles whose circumcircle reaches that far; queries in those
    // (circumradius above 5) may be NaN instead.
    const std::vector<LutRow> rows = testing::scatteredTable(400, 5);
    const TriangulatedLUT lut = triangulated(rows);
    TempDir dir;
    std::vector<std::vector<double>> table;
    for (const LutRow& row : rows)
        table.push_back({row.area, row.deform, row.emodulus});
    std::vector<std::vector<double>> queries;
    SplitMix64 random(99);
    for (int i = 0; i < 3000; ++i)
        queries.push_back({lut.areaMin + lut.areaRange * random.uniform(),
                           lut.deformMin + lut.deformRange * random.uniform()});
    testing::writeRows(dir.file("table.txt"), table);
    testing::writeRows(dir.file("queries.txt"), queries);
    const std::vector<double> oracle = testing::parseNumbers(
        testing::runOracle("lut_oracle.py", dir.file("table.txt") + " " + dir.file("queries.txt")));
    ASSERT_EQ(oracle.size(), 2 * queries.size());
    int outside = 0;
    int compared = 0;
    for (std::size_t i = 0; i < queries.size(); ++i) {
        const double expected = oracle[2 * i];
        const double radius = oracle[2 * i + 1];
        const double value = interpolateTriangulated(lut, queries[i][0], queries[i][1]);
        if (std::isnan(expected)) {
            ++outside;
            EXPECT_TRUE(std::isnan(value)) << i;
        } else if (!(radius > 5.0 && std::isnan(value))) {
            ++compared;
            EXPECT_NEAR(value, expected, 1e-9) << i << " radius " << radius;
        }
    }
    EXPECT_GT(outside, 0); // the random hull leaves corners of the box empty
    EXPECT_GT(compared, 2500);
}

// ---------------------------------------------------------------- same triangles as the plain
// algorithm

std::vector<std::pair<std::vector<double>, std::vector<double>>> identityCases() {
    std::vector<std::pair<std::vector<double>, std::vector<double>>> cases;
    auto normalised = [](const std::vector<LutRow>& rows) {
        const TriangulatedLUT lut = triangulated(rows);
        return std::make_pair(lut.x, lut.y);
    };
    cases.push_back(normalised(testing::linearTable()));
    cases.push_back(normalised(testing::lShapedTable(false)));
    cases.push_back(normalised(testing::lShapedTable(true)));
    for (std::uint64_t seed : {1u, 2u, 3u})
        cases.push_back(normalised(testing::scatteredTable(600, seed)));
    cases.push_back(normalised(testing::scatteredTable(2500, 4)));
    // The grid in shuffled order; points on a coarse lattice with repeats;
    // repeated points; all points on one line.
    {
        std::vector<LutRow> rows = testing::linearTable();
        SplitMix64 random(8);
        for (std::size_t i = rows.size() - 1; i > 0; --i)
            std::swap(rows[i], rows[random.next() % (i + 1)]);
        cases.push_back(normalised(rows));
    }
    {
        SplitMix64 random(9);
        std::vector<double> x;
        std::vector<double> y;
        for (int i = 0; i < 400; ++i) {
            x.push_back(static_cast<double>(random.next() % 12) / 11.0);
            y.push_back(static_cast<double>(random.next() % 9) / 8.0);
        }
        cases.emplace_back(x, y);
    }
    {
        auto [x, y] = normalised(testing::scatteredTable(300, 10));
        for (int i = 0; i < 30; ++i) {
            x.push_back(x[static_cast<std::size_t>(i * 7)]);
            y.push_back(y[static_cast<std::size_t>(i * 7)]);
        }
        cases.emplace_back(x, y);
    }
    {
        // Clusters of nearly repeated points, whose tiny triangles have
        // determinants of pure rounding noise for distant points.
        auto [x, y] = normalised(testing::scatteredTable(200, 11));
        SplitMix64 random(12);
        for (int i = 0; i < 60; ++i) {
            const std::size_t k = static_cast<std::size_t>(i % 20);
            x.push_back(x[k] + 1e-13 * random.uniform());
            y.push_back(y[k] + 1e-13 * random.uniform());
        }
        cases.emplace_back(x, y);
    }
    {
        std::vector<double> x;
        std::vector<double> y;
        for (int i = 0; i <= 30; ++i) {
            x.push_back(i / 30.0);
            y.push_back(i / 30.0);
        }
        cases.emplace_back(x, y);
    }
    return cases;
}

TEST(LutTriangulation, SameTrianglesInTheSameOrderAsThePlainAlgorithm) {
    const auto cases = identityCases();
    for (std::size_t c = 0; c < cases.size(); ++c) {
        SCOPED_TRACE(c);
        const auto& [x, y] = cases[c];
        EXPECT_EQ(delaunayTriangles(x, y), testing::referenceDelaunay(x, y));
    }
}

TEST(LutTriangulation, EmptyResultForCollinearPoints) {
    std::vector<double> x{0.0, 0.5, 1.0};
    std::vector<double> y{0.0, 0.5, 1.0};
    EXPECT_TRUE(delaunayTriangles(x, y).empty());
}

// ---------------------------------------------------------------- unusable tables

TEST(LutTriangulation, TablesThatCannotBeTriangulatedSayWhy) {
    struct Case {
        const char* name;
        std::vector<LutRow> rows;
        const char* expected;
    };
    const Case cases[] = {
        {"two rows", {{20, 0.01, 1}, {30, 0.02, 2}}, "2 usable rows"},
        {"no rows", {}, "0 usable rows"},
        {"constant area", {{20, 0.01, 1}, {20, 0.02, 2}, {20, 0.03, 3}}, "area column"},
        {"constant deformation",
         {{20, 0.01, 1}, {30, 0.01, 2}, {40, 0.01, 3}},
         "deformation column"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TriangulatedLUT lut;
        QString error;
        EXPECT_FALSE(triangulateLUT(toTable(c.rows), lut, &error));
        EXPECT_TRUE(error.contains(QLatin1String(c.expected))) << error.toStdString();
        EXPECT_TRUE(lut.triangles.empty());
    }
}

TEST(LutTriangulation, ConstantColumnLeavesNoTriangulationAndAMessage) {
    testing::LutDir dir(testing::lutText({{20, 0.01, 1}, {20, 0.02, 2}, {20, 0.03, 3}}));
    EModulus emod;
    emod.setLUTSearchDir(dir.base());
    ::testing::internal::CaptureStderr();
    emod.buildTriangulation(0);
    emod.buildTriangulation(0);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(emod.lut(0), nullptr);
    EXPECT_EQ(emod.triangulation(0), nullptr);
    EXPECT_TRUE(emod.lutError(0).contains(QLatin1String("area column")));
    // Reported once, not again on every later call.
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

// ---------------------------------------------------------------- shared cache

TEST(LutCache, ThreadsBuildingAtOnceShareOneTriangulation) {
    testing::LutDir dir(testing::lutText(testing::scatteredTable(3000, 12)));
    EModulus emod;
    emod.setLUTSearchDir(dir.base());
    constexpr int kThreads = 8;
    std::vector<const TriangulatedLUT*> seen(kThreads, nullptr);
    std::vector<double> values(kThreads, 0.0);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&emod, &seen, &values, i] {
            emod.buildTriangulation(0);
            seen[static_cast<std::size_t>(i)] = emod.triangulation(0);
            if (seen[static_cast<std::size_t>(i)])
                values[static_cast<std::size_t>(i)] =
                    emod.interpolateLUT(*seen[static_cast<std::size_t>(i)], 120.0, 0.06);
        });
    }
    for (std::thread& t : threads)
        t.join();
    ASSERT_NE(seen[0], nullptr);
    for (int i = 1; i < kThreads; ++i) {
        EXPECT_EQ(seen[static_cast<std::size_t>(i)], seen[0]);
        EXPECT_EQ(values[static_cast<std::size_t>(i)], values[0]);
    }
    EXPECT_FALSE(std::isnan(values[0]));
}

} // namespace
} // namespace Quorvex3
