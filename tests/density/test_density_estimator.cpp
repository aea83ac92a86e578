// Densities per event: kernel grid, histogram, nearest neighbours, the
// automatic grid size and the handling of non-finite coordinates.

#include "density/DensityDetail.h"
#include "density/DensityEstimator.h"
#include "density/DensityTestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <string>
#include <utility>

namespace Quorvex3 {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kPi = 3.14159265358979323846;

void expectRelNear(double expected, double actual, double rel) {
    EXPECT_NEAR(expected, actual, rel * std::max(1.0, std::abs(expected)));
}

// ---------------------------------------------------------------- estimate

TEST(DensityEstimate, DegenerateInputsGiveNoDensities) {
    const std::vector<double> four{1, 2, 3, 4};
    const std::vector<double> three{1, 2, 3};
    EXPECT_TRUE(DensityEstimator::estimate({}, {}, DensityMethod::KDE, 0).empty());
    EXPECT_TRUE(DensityEstimator::estimate(three, four, DensityMethod::Histogram, 0).empty());
    EXPECT_TRUE(DensityEstimator::estimate(four, four, static_cast<DensityMethod>(3), 0).empty());
    EXPECT_TRUE(DensityEstimator::estimateKDE(three, four, 0).empty());
    EXPECT_EQ(DensityEstimator::estimate(four, four, DensityMethod::KNN, 0).size(), 4U);
}

TEST(DensityEstimate, MethodsDispatchToTheirEstimators) {
    const testdata::Points p = testdata::clustered(300, 21);
    EXPECT_EQ(DensityEstimator::estimate(p.x, p.y, DensityMethod::Histogram, 12),
              DensityEstimator::estimateHistogram(p.x, p.y, 12));
    EXPECT_EQ(DensityEstimator::estimate(p.x, p.y, DensityMethod::KNN, 12),
              DensityEstimator::estimateKNN(p.x, p.y));
    const DensityGrid grid = DensityEstimator::computeKDEGrid(p.x, p.y, 12);
    EXPECT_EQ(DensityEstimator::estimate(p.x, p.y, DensityMethod::KDE, 12),
              DensityEstimator::interpolateFromGrid(grid, p.x, p.y));
    EXPECT_EQ(DensityEstimator::estimateKDE(p.x, p.y, 12),
              DensityEstimator::interpolateFromGrid(grid, p.x, p.y));
}

// ---------------------------------------------------------------- automatic grid size

TEST(DensityBinChoice, CandidatesAreTheTwentyLogSpacedSizes) {
    // /usr/bin/python3 tests/density/density_oracle.py: "candidates"
    const std::vector<int> expected{32,  37,  43,  50,  57,  66,  77,  89,  103, 119,
                                    138, 159, 184, 213, 247, 286, 330, 382, 442, 512};
    EXPECT_EQ(densitydetail::binCountCandidates(), expected);
}

TEST(DensityBinChoice, CostsAndChoiceMatchNumpy) {
    // /usr/bin/python3 tests/density/density_oracle.py:
    // "clustered(600, 7) costs" / "choice" and "clustered(5000, 11) costs" / "choice".
    // Counts are exact integers; the costs differ only by summation order, so
    // a relative tolerance of 1e-9 is ample.
    const std::vector<double> costs600{
        -1271.5423686711806, -1272.8151879517986, -960.16957312254067, -569.56275418878761,
        -472.48197643170312, 168.30681702941115,  658.07212407864301,  1844.8485484827086,
        2561.2452628124493,  4302.4975084745856,  6402.8785108186121,  8867.7851327321314,
        12947.014041564706,  17080.563548592007,  23966.061570755806,  31936.528209762335,
        43329.060205485213,  58772.950051194974,  79401.97004749089,   106459.48864687767};
    const std::vector<double> costs5000{
        -117820.80936711856, -118420.23727020693, -118986.86973715048, -119706.66676502775,
        -116933.52337819821, -114417.76751741605, -109088.6653484842,  -103425.2364235917,
        -96219.346760262313, -84168.328191299282, -69617.16167408484,  -50863.14816239573,
        -26582.031557320508, 10617.093046071437,  58395.451470405183,  130008.32063674928,
        207651.10606448509,  320335.51201362512,  477478.88617342198,  691244.55507701577};
    const struct {
        int n;
        std::uint64_t seed;
        const std::vector<double>* costs;
        int choice;
    } cases[] = {{600, 7, &costs600, 37}, {5000, 11, &costs5000, 50}};

    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        const testdata::Points p = testdata::clustered(c.n, c.seed);
        const densitydetail::FinitePairs pairs = densitydetail::collectFinitePairs(p.x, p.y);
        const std::vector<int> candidates = densitydetail::binCountCandidates();
        std::vector<std::uint32_t> scratch;
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            const double cost = densitydetail::binChoiceCost(pairs, candidates[i], scratch);
            EXPECT_NEAR(cost, (*c.costs)[i], 1e-9 * std::abs((*c.costs)[i])) << candidates[i];
        }
        EXPECT_EQ(densitydetail::chooseBinCount(pairs), c.choice);
        // The automatic size reaches the grid and the histogram.
        EXPECT_EQ(DensityEstimator::computeKDEGrid(p.x, p.y, 0).size, c.choice);
        EXPECT_EQ(DensityEstimator::estimateHistogram(p.x, p.y, 0),
                  DensityEstimator::estimateHistogram(p.x, p.y, c.choice));
    }
}

// Events on cell borders and at the extremes, in every position of the
// blocks the counting works through: each must land in the cell of the
// truncated, clamped quotient, exactly as the costs define it.
TEST(DensityBinChoice, EventsOnCellBordersLandWhereTheQuotientSays) {
    testdata::Points p = testdata::uniformSquare(2000, 17);
    p.x[3] = 0.0; // the extremes, early in the first block
    p.x[4] = 1.0;
    p.y[300] = 0.0;
    p.y[301] = 1.0;
    for (std::size_t i = 10; i < 1990; i += 7) {
        p.x[i] = static_cast<double>(i % 512) / 512.0; // borders of many grids
        p.y[i + 1] = static_cast<double>(i % 119) / 119.0;
    }
    const densitydetail::FinitePairs pairs = densitydetail::collectFinitePairs(p.x, p.y);
    std::vector<std::uint32_t> scratch;
    for (const int m : densitydetail::binCountCandidates()) {
        const double w = (pairs.xMax - pairs.xMin) / m;
        const double h = (pairs.yMax - pairs.yMin) / m;
        std::vector<double> counts(static_cast<std::size_t>(m) * m, 0.0);
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            const auto cell = [m](double q) {
                return static_cast<std::size_t>(std::clamp(std::floor(q), 0.0, m - 1.0));
            };
            counts[cell((pairs.y()[i] - pairs.yMin) / h) * m +
                   cell((pairs.x()[i] - pairs.xMin) / w)] += 1.0;
        }
        const double mean = static_cast<double>(pairs.size()) / counts.size();
        double variance = 0.0;
        for (const double c : counts)
            variance += (c - mean) * (c - mean);
        variance /= static_cast<double>(counts.size());
        const double expected = (2.0 * mean - variance) / ((w * h) * (w * h));
        EXPECT_EQ(densitydetail::binChoiceCost(pairs, m, scratch), expected) << m;
    }
}

/// Bit-for-bit equality, NaN included (costs of degenerate grids may be NaN).
bool sameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

/// Lays points on the borders of many candidates' cells (multiples of 1/m of
/// the range, also offset by one ulp either side), where a difference of
/// rounding between two ways of placing events would show.
testdata::Points onCellBorders(int n, double lo, double span) {
    testdata::Points p = testdata::uniformSquare(n, 23);
    const std::vector<int> ms = densitydetail::binCountCandidates();
    for (std::size_t i = 0; i < p.x.size(); ++i) {
        const int m = ms[i % ms.size()];
        const double bx = lo + span * static_cast<double>(i % static_cast<std::size_t>(m)) / m;
        const double by =
            lo + span * static_cast<double>((i / 3) % static_cast<std::size_t>(m)) / m;
        const int nudge = static_cast<int>(i % 3) - 1;
        p.x[i] = nudge == 0 ? bx : std::nextafter(bx, nudge * kInf);
        p.y[i] = by;
    }
    p.x[0] = lo; // the extremes fix the range
    p.y[0] = lo;
    p.x[1] = lo + span;
    p.y[1] = lo + span;
    return p;
}

// The choice places every event once for all candidates instead of binning
// it once per candidate; each cost must still be the direct binning's to the
// last bit, so the chosen size never changes. Sizes from 150000 on also take
// the threaded path.
TEST(DensityBinChoice, SinglePlacementGivesTheDirectCostsAndChoice) {
    const auto shifted = [](testdata::Points p, double dx, double sx, double dy, double sy) {
        for (double& v : p.x)
            v = dx + sx * v;
        for (double& v : p.y)
            v = dy + sy * v;
        return p;
    };
    const auto withExtremes = [](testdata::Points p, double lo, double hi) {
        p.x[0] = lo; // the range overflows: the direct binning serves
        p.x[1] = hi;
        return p;
    };
    const auto constantY = [](testdata::Points p) {
        std::fill(p.y.begin(), p.y.end(), 3.5);
        return p;
    };
    const std::vector<std::pair<const char*, testdata::Points>> cases{
        {"uniform 1000", testdata::uniformSquare(1000, 3)},
        {"uniform 300000", testdata::uniformSquare(300000, 4)},
        {"clustered 5000", testdata::clustered(5000, 11)},
        {"clustered 400000", testdata::clustered(400000, 12)},
        {"duplicates 20000", testdata::duplicates(20000, 5)},
        {"duplicates 300000", testdata::duplicates(300000, 6)},
        {"tiny 4", testdata::clustered(4, 1)},
        {"tiny 5", testdata::uniformSquare(5, 2)},
        {"tiny 9", testdata::duplicates(9, 3)},
        {"all equal", {std::vector<double>(50, 2.0), std::vector<double>(50, -7.0)}},
        {"constant y", constantY(testdata::clustered(3000, 8))},
        {"borders of [0, 1]", onCellBorders(6000, 0.0, 1.0)},
        {"borders of [-3, 7]", onCellBorders(6000, -3.0, 10.0)},
        {"borders far from 0", onCellBorders(6000, 1.0e9, 3.0e-4)},
        {"borders of a tiny span", onCellBorders(6000, -1.0e-300, 3.0e-300)},
        {"offset and scaled", shifted(testdata::clustered(20000, 9), 1e6, 1e-3, -50.0, 1e4)},
        {"mixed signs around 0", shifted(testdata::uniformSquare(4000, 10), -0.5, 1.0, -1.0, 2.0)},
        {"nearly the largest range",
         shifted(testdata::uniformSquare(500, 14), -0.9e308, 1.7e308, 0, 1)},
        {"unbounded range", withExtremes(testdata::uniformSquare(500, 15), -1e308, 1e308)},
    };
    const std::vector<int> candidates = densitydetail::binCountCandidates();
    for (const auto& [name, p] : cases) {
        SCOPED_TRACE(name);
        const densitydetail::FinitePairs pairs = densitydetail::collectFinitePairs(p.x, p.y);
        const std::vector<double> costs = densitydetail::binChoiceCosts(pairs);
        ASSERT_EQ(costs.size(), candidates.size());
        std::vector<std::uint32_t> scratch;
        double best = std::numeric_limits<double>::max();
        int choice = 64;
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            const double direct = densitydetail::binChoiceCost(pairs, candidates[i], scratch);
            EXPECT_TRUE(sameBits(costs[i], direct))
                << candidates[i] << ": " << costs[i] << " vs " << direct;
            if (direct < best) {
                best = direct;
                choice = candidates[i];
            }
        }
        if (pairs.size() >= 4) {
            EXPECT_EQ(densitydetail::chooseBinCount(pairs), choice);
        }
    }
}

TEST(DensityBinChoice, FewerThanFourEventsGive32WithoutLookingAtTheData) {
    const std::vector<double> x{0.0, 1e300, -1e300};
    EXPECT_EQ(DensityEstimator::computeKDEGrid(x, x, 0).size, 32);
    // Non-finite pairs do not count: three finite pairs among five events.
    const std::vector<double> x5{1, 2, 3, kNaN, 4};
    const std::vector<double> y5{1, 5, 2, 3, kInf};
    EXPECT_EQ(DensityEstimator::computeKDEGrid(x5, y5, 0).size, 32);
}

// ---------------------------------------------------------------- kernel density grid

TEST(DensityKdeGrid, MatchesScipyRebuild) {
    // /usr/bin/python3 tests/density/density_oracle.py: "kde G=24 clustered(600, 7)".
    // numpy percentiles and scipy.ndimage.convolve1d / map_coordinates(order=1,
    // mode="nearest"); only summation order differs, tolerance 1e-12 relative.
    const testdata::Points p = testdata::clustered(600, 7);
    const DensityGrid grid = DensityEstimator::computeKDEGrid(p.x, p.y, 24);
    ASSERT_EQ(grid.size, 24);
    ASSERT_EQ(grid.values.size(), 576U);
    expectRelNear(-1.7507075871797104, grid.xMin, 1e-12);
    expectRelNear(-2.2349796134746582, grid.yMin, 1e-12);
    expectRelNear(0.48384446296147726, grid.xStep, 1e-12);
    expectRelNear(0.31111435069420007, grid.yStep, 1e-12);

    const double sum = std::accumulate(grid.values.begin(), grid.values.end(), 0.0);
    expectRelNear(599.97663795499147, sum, 1e-12);
    const int cells[][2] = {{3, 5}, {12, 12}, {20, 7}, {0, 0}, {23, 23}, {9, 17}};
    const double values[] = {0.39972598336368315,    4.2970414104706069,     0.33983433456211853,
                             9.3458760519644573e-05, 3.1360254021012947e-06, 7.6102932699273804};
    for (int i = 0; i < 6; ++i) {
        const double v = grid.values[static_cast<std::size_t>(cells[i][1] * 24 + cells[i][0])];
        EXPECT_NEAR(v, values[i], 1e-12 * std::max(1.0, values[i])) << i;
    }

    const std::vector<double> at = DensityEstimator::interpolateFromGrid(
        grid, std::vector<double>(p.x.begin(), p.x.begin() + 10),
        std::vector<double>(p.y.begin(), p.y.begin() + 10));
    const double expected[] = {11.746911862620205,  1.7181295210249117,  9.1499241804571039,
                               1.0835252951330685,  0.49037470640419201, 13.621559876768764,
                               0.68295564727408575, 8.2919747634385423,  13.267105059032943,
                               8.8362230668620878};
    for (int i = 0; i < 10; ++i)
        expectRelNear(expected[i], at[static_cast<std::size_t>(i)], 1e-12);

    // Outside the grid the border cells continue.
    const std::vector<double> outside =
        DensityEstimator::interpolateFromGrid(grid, {-5.0, 20.0, 3.3}, {-5.0, 1.5, 2.2});
    expectRelNear(9.3458760519644573e-05, outside[0], 1e-12);
    expectRelNear(0.0095730667830894681, outside[1], 1e-12);
    expectRelNear(2.1672214921227635, outside[2], 1e-12);
}

TEST(DensityKdeGrid, AutomaticSizeMatchesScipyRebuild) {
    // /usr/bin/python3 tests/density/density_oracle.py: "kde auto clustered(5000, 11)".
    const testdata::Points p = testdata::clustered(5000, 11);
    const DensityGrid grid = DensityEstimator::computeKDEGrid(p.x, p.y, 0);
    ASSERT_EQ(grid.size, 50);
    expectRelNear(4999.8729646748379, std::accumulate(grid.values.begin(), grid.values.end(), 0.0),
                  1e-12);
    expectRelNear(37.227954864459761, *std::max_element(grid.values.begin(), grid.values.end()),
                  1e-12);
}

TEST(DensityKdeGrid, EqualCoordinatesFallBackToUnitBandwidth) {
    const std::vector<double> x(10, 2.5);
    std::vector<double> y;
    for (int i = 0; i < 10; ++i)
        y.push_back(i);
    const DensityGrid grid = DensityEstimator::computeKDEGrid(x, y, 8);
    EXPECT_DOUBLE_EQ(grid.xMin, 2.5 - 3.0);
    EXPECT_DOUBLE_EQ(grid.xStep, 6.0 / 8.0);
    // Counts are only redistributed inside the grid, never created.
    const double sum = std::accumulate(grid.values.begin(), grid.values.end(), 0.0);
    EXPECT_GT(sum, 0.0);
    EXPECT_LE(sum, 10.0 + 1e-9);
}

TEST(DensityKdeGrid, EmptyInputGivesEmptyGrid) {
    const DensityGrid grid = DensityEstimator::computeKDEGrid({}, {}, 0);
    EXPECT_TRUE(grid.values.empty());
    EXPECT_EQ(grid.size, 0);
    EXPECT_EQ(grid.xStep, 0.0);
    const DensityGrid nan = DensityEstimator::computeKDEGrid({kNaN, kInf}, {1.0, 2.0}, 0);
    EXPECT_TRUE(nan.values.empty());
}

TEST(DensityInterpolation, BilinearBetweenCellCentres) {
    // 2 x 2 grid, cell centres at 0.5 and 1.5: values 1 2 (row 0) and 3 4 (row 1).
    DensityGrid grid;
    grid.values = {1.0, 2.0, 3.0, 4.0};
    grid.size = 2;
    grid.xStep = grid.yStep = 1.0;
    const std::vector<double> v = DensityEstimator::interpolateFromGrid(
        grid, {0.5, 1.0, 1.0, 1.5, -3.0, 9.0, kNaN}, {0.5, 0.5, 1.0, 1.5, -3.0, 1.0, 1.0});
    EXPECT_DOUBLE_EQ(v[0], 1.0);
    EXPECT_DOUBLE_EQ(v[1], 1.5);
    EXPECT_DOUBLE_EQ(v[2], 2.5);
    EXPECT_DOUBLE_EQ(v[3], 4.0);
    EXPECT_DOUBLE_EQ(v[4], 1.0); // below and left: the corner cell continues
    EXPECT_DOUBLE_EQ(v[5], 3.0); // right of the grid, halfway up
    EXPECT_TRUE(std::isnan(v[6]));
}

// ---------------------------------------------------------------- histogram

TEST(DensityHistogram, CountsOwnCellMatchesNumpy) {
    // /usr/bin/python3 tests/density/density_oracle.py: "histogram B=16 clustered(600, 7)"
    // (exact integers).
    const testdata::Points p = testdata::clustered(600, 7);
    const std::vector<double> d = DensityEstimator::estimateHistogram(p.x, p.y, 16);
    ASSERT_EQ(d.size(), 600U);
    const double first[] = {12, 3, 6, 1, 1, 40, 3, 19, 51, 24};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(d[static_cast<std::size_t>(i)], first[i]) << i;
    EXPECT_EQ(std::accumulate(d.begin(), d.end(), 0.0), 9420.0);
}

TEST(DensityHistogram, HandComputedBinsWithRangeFallback) {
    // x range 0..4 in 2 bins of width 2: x = 4 is clamped into the last bin;
    // all y equal, so the y range falls back to 1.0 and every row is 0.
    const std::vector<double> x{0.0, 1.9, 2.0, 4.0, 3.0};
    const std::vector<double> y(5, 7.0);
    const std::vector<double> expected{2, 2, 3, 3, 3};
    EXPECT_EQ(DensityEstimator::estimateHistogram(x, y, 2), expected);
    EXPECT_TRUE(DensityEstimator::estimateHistogram({}, {}, 2).empty());
}

// ---------------------------------------------------------------- nearest neighbours

/// Exact k-NN densities, computed now by
///   /usr/bin/python3 tests/density/density_oracle.py --knn KIND N SEED
/// with scipy's cKDTree (query with k + 1 neighbours, the event itself being
/// the first) for uniform, clustered and duplicates, and by comparing every
/// pair for the degenerate shapes (numpy's partition of each event's squared
/// distances, formed as the estimator forms them).
std::vector<double> oracleKnnDensities(const std::string& kind, int n, int seed) {
    const std::string command = std::string("/usr/bin/python3 ") + QUORVEX3_ORACLE_DIR +
                                "/density_oracle.py --knn " + kind + " " + std::to_string(n) + " " +
                                std::to_string(seed);
    std::vector<double> values;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return values;
    char line[64];
    while (std::fgets(line, sizeof(line), pipe))
        values.push_back(std::strtod(line, nullptr));
    EXPECT_EQ(::pclose(pipe), 0) << command;
    return values;
}

struct KnnCase {
    const char* kind;
    testdata::Points points;
    int n;
    int seed;
};

/// The estimator's densities equal the oracle's to 1e-12 relative (only the
/// rounding of the square root in cKDTree's distances differs).
void expectOracleKnn(const KnnCase& c) {
    SCOPED_TRACE(std::string(c.kind) + " " + std::to_string(c.n));
    const std::vector<double> exact = oracleKnnDensities(c.kind, c.n, c.seed);
    const std::vector<double> actual = DensityEstimator::estimateKNN(c.points.x, c.points.y);
    ASSERT_EQ(exact.size(), actual.size());
    std::size_t off = 0;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        ASSERT_TRUE(std::isfinite(exact[i])) << i;
        if (std::abs(actual[i] - exact[i]) > 1e-12 * exact[i] && off++ < 5)
            ADD_FAILURE() << "event " << i << ": " << actual[i] << " vs " << exact[i];
    }
    EXPECT_EQ(off, 0U);
}

// Guards against stopping the search at the first ring of cells that holds
// k events: nearer events can lie in cells outside that square.
TEST(DensityKnn, EqualsTheExactKthNeighbourDensityOfScipy) {
    const KnnCase cases[] = {
        {"uniform", testdata::uniformSquare(3000, 5), 3000, 5},
        {"clustered", testdata::clustered(3000, 4), 3000, 4},
        // Up to 22 events per position, yet fewer than k + 1 anywhere.
        {"duplicates", testdata::duplicates(3000, 8), 3000, 8},
        // Several blocks of events, searched concurrently.
        {"clustered", testdata::clustered(20000, 6), 20000, 6},
    };
    for (const KnnCase& c : cases)
        expectOracleKnn(c);
}

// Shapes of real measurements that defeat a uniform search grid: saturated
// and integer-valued features (many events per position, many equal
// distances) and a far outlier (the grid spans it, the other events crowd
// into one corner), and a continuous feature against a few integer values
// (a grid far wider than high). The densities stay those of the brute-force
// k-th neighbour, the outliers' 0 included (their squared distances
// overflow).
TEST(DensityKnn, DegenerateShapesEqualTheBruteForceKthNeighbourDensity) {
    const KnnCase cases[] = {
        {"equal", testdata::equal(3000), 3000, 0},
        {"twovalues", testdata::twoValues(3000, 3), 3000, 3},
        {"lattice", testdata::lattice(5000, 4), 5000, 4},
        {"outlier", testdata::outlier(3000, 5), 3000, 5},
        // Several blocks of positions, searched concurrently.
        {"outlier", testdata::outlier(6000, 6), 6000, 6},
        {"outliers", testdata::outlier(3000, 7, true), 3000, 7},
        // Several blocks of positions holding one event or many.
        {"saturated", testdata::saturated(6000, 8), 6000, 8},
        {"bruteduplicates", testdata::duplicates(5000, 9), 5000, 9},
        // A continuous feature against one of three integer values, and the
        // transpose: the search grid has many more columns than rows (rows
        // than columns), and its search order must still reach every cell.
        {"threelevels", testdata::threeLevels(3000, 10), 3000, 10},
        {"threelevelsT", testdata::threeLevels(3000, 11, true), 3000, 11},
    };
    for (const KnnCase& c : cases)
        expectOracleKnn(c);
}

/// Squared distances the search computes per event and neighbour sought.
double knnWorkPerEventAndNeighbour(const testdata::Points& p) {
    const densitydetail::FinitePairs pairs = densitydetail::collectFinitePairs(p.x, p.y);
    densitydetail::KnnWork work;
    densitydetail::knnDensities(pairs, &work);
    const double n = static_cast<double>(p.x.size());
    return static_cast<double>(work.distances) / (n * (std::floor(std::sqrt(n)) + 1.0));
}

// Guards against a search whose work grows with the square of the events
// on such shapes (every event compared with every other in one crowded
// cell): it must stay within a small multiple of the work on spread-out
// events of the same number, where each event looks at a few times k
// positions. Counted, not timed, so the same everywhere.
TEST(DensityKnn, SearchWorkOnDegenerateShapesStaysNearThatOfSpreadEvents) {
    constexpr int n = 1 << 15;
    const double spread = std::max(knnWorkPerEventAndNeighbour(testdata::uniformSquare(n, 1)),
                                   knnWorkPerEventAndNeighbour(testdata::clustered(n, 2)));
    EXPECT_LE(spread, 6.0);
    const std::pair<const char*, testdata::Points> cases[] = {
        {"equal", testdata::equal(n)},
        {"two values", testdata::twoValues(n, 3)},
        {"lattice", testdata::lattice(n, 4)},
        {"outlier", testdata::outlier(n, 5)},
        {"outliers", testdata::outlier(n, 6, true)},
        {"saturated", testdata::saturated(n, 7)},
        {"duplicates", testdata::duplicates(n, 8)},
    };
    for (const auto& [name, points] : cases) {
        EXPECT_LE(knnWorkPerEventAndNeighbour(points), 3.0 * spread) << name;
    }
}

TEST(DensityKnn, DegenerateInputs) {
    EXPECT_EQ(DensityEstimator::estimateKNN({3.0}, {4.0}), std::vector<double>{1.0});
    // All events identical: every density is k, not infinite.
    const std::vector<double> same(50, 1.25);
    const std::vector<double> d = DensityEstimator::estimateKNN(same, same);
    for (double v : d)
        EXPECT_EQ(v, 7.0);
    // Two events: k = 1, d^2 = 1 + 1.
    const std::vector<double> two = DensityEstimator::estimateKNN({0.0, 1.0}, {0.0, 1.0});
    EXPECT_DOUBLE_EQ(two[0], 1.0 / (kPi * 2.0));
    EXPECT_DOUBLE_EQ(two[1], 1.0 / (kPi * 2.0));
}

// ---------------------------------------------------------------- non-finite input

TEST(DensityNonFinite, PairsWithNonFiniteCoordinatesTakeNoPart) {
    const testdata::Points p = testdata::clustered(400, 9);
    testdata::Points dirty;
    std::vector<std::size_t> cleanAt;
    for (std::size_t i = 0; i < p.x.size(); ++i) {
        if (i % 10 == 3) {
            dirty.x.push_back(kNaN);
            dirty.y.push_back(1.0);
            dirty.x.push_back(2.0);
            dirty.y.push_back(i % 20 == 3 ? kInf : -kInf);
        }
        cleanAt.push_back(dirty.x.size());
        dirty.x.push_back(p.x[i]);
        dirty.y.push_back(p.y[i]);
    }
    const auto expectSameAtClean = [&](const std::vector<double>& clean,
                                       const std::vector<double>& withDirt) {
        ASSERT_EQ(withDirt.size(), dirty.x.size());
        std::size_t nanCount = 0;
        for (double v : withDirt)
            nanCount += std::isnan(v) ? 1 : 0;
        EXPECT_EQ(nanCount, dirty.x.size() - p.x.size());
        for (std::size_t i = 0; i < clean.size(); ++i)
            EXPECT_EQ(withDirt[cleanAt[i]], clean[i]) << i;
    };
    expectSameAtClean(DensityEstimator::estimateHistogram(p.x, p.y, 0),
                      DensityEstimator::estimateHistogram(dirty.x, dirty.y, 0));
    expectSameAtClean(DensityEstimator::estimateKNN(p.x, p.y),
                      DensityEstimator::estimateKNN(dirty.x, dirty.y));
    for (int m = 0; m < 3; ++m) {
        expectSameAtClean(
            DensityEstimator::estimate(p.x, p.y, static_cast<DensityMethod>(m), 0),
            DensityEstimator::estimateNaNSafe(dirty.x, dirty.y, static_cast<DensityMethod>(m)));
    }

    const DensityGrid clean = DensityEstimator::computeKDEGrid(p.x, p.y, 0);
    const DensityGrid withDirt = DensityEstimator::computeKDEGrid(dirty.x, dirty.y, 0);
    EXPECT_EQ(withDirt.size, clean.size);
    EXPECT_EQ(withDirt.xMin, clean.xMin);
    EXPECT_EQ(withDirt.yStep, clean.yStep);
    EXPECT_EQ(withDirt.values, clean.values);
}

// Guards against a finiteness check that looks at x alone: where only y is
// NaN or infinite (as a log y axis makes of some values), those events take
// no part and every other event gets the density of the finite pairs alone.
TEST(DensityNonFinite, EventsWhoseOnlyNonFiniteCoordinateIsYTakeNoPart) {
    const testdata::Points clean = testdata::clustered(2000, 41);
    testdata::Points dirty = clean;
    std::vector<bool> finite(clean.x.size(), true);
    const double bad[] = {kNaN, kInf, -kInf};
    for (std::size_t i = 5; i < dirty.y.size(); i += 7) {
        dirty.y[i] = bad[(i / 7) % 3];
        finite[i] = false;
    }
    testdata::Points kept;
    for (std::size_t i = 0; i < clean.x.size(); ++i) {
        if (finite[i]) {
            kept.x.push_back(clean.x[i]);
            kept.y.push_back(clean.y[i]);
        }
    }
    // Each result over the dirty events must be the kept events' result at
    // the finite ones and NaN at the others.
    const auto expectKeptOnly = [&](const std::vector<double>& expected,
                                    const std::vector<double>& actual, const char* what) {
        SCOPED_TRACE(what);
        ASSERT_EQ(actual.size(), dirty.x.size());
        ASSERT_EQ(expected.size(), kept.x.size());
        std::size_t k = 0;
        std::size_t off = 0;
        for (std::size_t i = 0; i < actual.size(); ++i) {
            const bool ok = finite[i] ? actual[i] == expected[k++] : std::isnan(actual[i]);
            if (!ok && off++ < 3)
                ADD_FAILURE() << "event " << i << ": " << actual[i];
        }
        EXPECT_EQ(off, 0U);
    };
    const struct {
        DensityMethod method;
        const char* name;
    } methods[] = {{DensityMethod::KDE, "KDE"},
                   {DensityMethod::KNN, "kNN"},
                   {DensityMethod::Histogram, "histogram"}};
    for (const auto& m : methods) {
        expectKeptOnly(DensityEstimator::estimateNaNSafe(kept.x, kept.y, m.method),
                       DensityEstimator::estimateNaNSafe(dirty.x, dirty.y, m.method), m.name);
        expectKeptOnly(DensityEstimator::estimate(kept.x, kept.y, m.method, 0),
                       DensityEstimator::estimate(dirty.x, dirty.y, m.method, 0), m.name);
    }
    expectKeptOnly(DensityEstimator::estimateKNN(kept.x, kept.y),
                   DensityEstimator::estimateKNN(dirty.x, dirty.y), "estimateKNN");

    // The heat map and contours of a plot with a log y axis.
    testdata::Points positive = kept;
    testdata::Points positiveDirty = dirty;
    for (testdata::Points* p : {&positive, &positiveDirty})
        for (double& v : p->y)
            v = std::isfinite(v) ? std::pow(10.0, v) : v;
    const std::vector<double> fractions{0.2, 0.6};
    const KernelDensityView keptView = DensityEstimator::estimateKDEWithContours(
        positive.x, positive.y, fractions, ScaleMode::Linear, ScaleMode::Log);
    const KernelDensityView dirtyView = DensityEstimator::estimateKDEWithContours(
        positiveDirty.x, positiveDirty.y, fractions, ScaleMode::Linear, ScaleMode::Log);
    expectKeptOnly(keptView.densities, dirtyView.densities, "heat map on a log y axis");
    ASSERT_EQ(dirtyView.levels.size(), keptView.levels.size());
    for (std::size_t i = 0; i < keptView.levels.size(); ++i) {
        EXPECT_EQ(dirtyView.levels[i].threshold, keptView.levels[i].threshold);
        EXPECT_EQ(dirtyView.levels[i].paths, keptView.levels[i].paths);
    }
}

TEST(DensityNaNSafe, NeedsFourFinitePairs) {
    std::vector<double> x{kNaN, 1.0, kInf, 2.0, 3.0, kNaN, 4.0, -kInf, 5.0, kNaN};
    std::vector<double> y{1.0, kNaN, 1.0, 2.0, kNaN, 1.0, 3.0, 1.0, 1.0, kNaN};
    // Finite pairs at 3, 6 and 8 only: every entry NaN.
    for (int m = 0; m < 3; ++m) {
        const std::vector<double> d =
            DensityEstimator::estimateNaNSafe(x, y, static_cast<DensityMethod>(m));
        ASSERT_EQ(d.size(), 10U);
        EXPECT_TRUE(std::all_of(d.begin(), d.end(), [](double v) { return std::isnan(v); }));
    }
    y[1] = 0.5; // fourth finite pair at index 1
    const std::vector<std::size_t> finiteAt{1, 3, 6, 8};
    const std::vector<double> fx{1.0, 2.0, 4.0, 5.0};
    const std::vector<double> fy{0.5, 2.0, 3.0, 1.0};
    for (int m = 0; m < 3; ++m) {
        const auto method = static_cast<DensityMethod>(m);
        const std::vector<double> d = DensityEstimator::estimateNaNSafe(x, y, method);
        const std::vector<double> direct = DensityEstimator::estimate(fx, fy, method, 0);
        for (std::size_t i = 0; i < 10; ++i) {
            const auto at = std::find(finiteAt.begin(), finiteAt.end(), i);
            if (at == finiteAt.end())
                EXPECT_TRUE(std::isnan(d[i])) << m << " " << i;
            else
                EXPECT_EQ(d[i], direct[static_cast<std::size_t>(at - finiteAt.begin())]);
        }
    }
    const std::vector<double> unknown =
        DensityEstimator::estimateNaNSafe(x, y, static_cast<DensityMethod>(7));
    EXPECT_TRUE(
        std::all_of(unknown.begin(), unknown.end(), [](double v) { return std::isnan(v); }));
}

TEST(DensityNonFinite, ExtremeFiniteValuesStayDefined) {
    // Ranges and bandwidths overflow to infinity here; every index is still
    // clamped, so this must run clean under the sanitizers.
    const std::vector<double> x{-1.7e308, 1.7e308, 0.0, 1.0, 2.0};
    const std::vector<double> y{1.0, 2.0, 1.7e308, -1.7e308, 0.5};
    for (int m = 0; m < 3; ++m) {
        const std::vector<double> d =
            DensityEstimator::estimateNaNSafe(x, y, static_cast<DensityMethod>(m));
        EXPECT_EQ(d.size(), 5U);
    }
    EXPECT_EQ(DensityEstimator::computeContours(x, y, {0.5}, 0).size(), 1U);

    // Offsets so large that the margin of three bandwidths vanishes in rounding.
    const std::vector<double> far(50, 1e20);
    std::vector<double> spread;
    for (int i = 0; i < 50; ++i)
        spread.push_back(1e20 + i * 1e5);
    for (int m = 0; m < 3; ++m) {
        EXPECT_EQ(
            DensityEstimator::estimateNaNSafe(far, spread, static_cast<DensityMethod>(m)).size(),
            50U);
        EXPECT_EQ(
            DensityEstimator::estimateNaNSafe(spread, spread, static_cast<DensityMethod>(m)).size(),
            50U);
    }
    EXPECT_EQ(DensityEstimator::computeContours(far, spread, {0.5}, 0).size(), 1U);
}

// ---------------------------------------------------------------- worker threads

// The passes share parked helper threads: every item must run exactly once,
// a pass inside a pass (the grid size beside the bandwidths) must finish even
// when every helper is busy, and a failure in any block must reach the caller
// without leaving work running on the caller's data.
TEST(DensityThreads, EveryItemOnceNestedCallsFinishAndFailuresReachTheCaller) {
    for (const std::size_t count :
         {std::size_t{1}, std::size_t{7}, std::size_t{1000}, std::size_t{100003}}) {
        for (const std::size_t grain : {std::size_t{1}, std::size_t{3}, std::size_t{4096}}) {
            std::vector<int> hits(count, 0);
            densitydetail::parallelChunks(count, grain, [&](std::size_t begin, std::size_t end) {
                EXPECT_LE(end - begin, grain);
                for (std::size_t i = begin; i < end; ++i)
                    ++hits[i];
            });
            EXPECT_EQ(std::count(hits.begin(), hits.end(), 1), static_cast<long>(count))
                << count << " items in " << grain;
        }
    }

    std::vector<std::vector<int>> inner(16, std::vector<int>(5000, 0));
    densitydetail::parallelChunks(inner.size(), 1, [&](std::size_t begin, std::size_t end) {
        for (std::size_t k = begin; k < end; ++k) {
            densitydetail::parallelChunks(inner[k].size(), 100, [&](std::size_t b, std::size_t e) {
                for (std::size_t i = b; i < e; ++i)
                    ++inner[k][i];
            });
        }
    });
    for (const std::vector<int>& hits : inner)
        EXPECT_EQ(std::count(hits.begin(), hits.end(), 1), 5000);

    for (int round = 0; round < 20; ++round) {
        std::vector<int> touched(64, 0);
        EXPECT_THROW(densitydetail::parallelChunks(touched.size(), 1,
                                                   [&](std::size_t begin, std::size_t) {
                                                       if (begin == 5)
                                                           throw std::runtime_error("block 5");
                                                       touched[begin] = 1;
                                                   }),
                     std::runtime_error);
        EXPECT_EQ(touched[5], 0);
    }
}

} // namespace
} // namespace Quorvex3
