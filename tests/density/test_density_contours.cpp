// Highest-density-region thresholds, marching squares and the contour levels
// in data and in scaled axis space.

#include "core/ScaleTransform.h"
#include "density/DensityDetail.h"
#include "density/DensityEstimator.h"
#include "density/DensityFingerprint.h"
#include "density/DensityTestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace Quorvex3 {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

DensityGrid unitGrid(int size, std::vector<double> values) {
    DensityGrid grid;
    grid.values = std::move(values);
    grid.size = size;
    grid.xStep = 1.0;
    grid.yStep = 1.0;
    return grid;
}

void expectPoint(const ContourPoint& p, double x, double y) {
    EXPECT_DOUBLE_EQ(p.first, x);
    EXPECT_DOUBLE_EQ(p.second, y);
}

bool isClosed(const ContourPath& path) {
    return path.size() >= 4 && path.front() == path.back();
}

/// Even-odd rule over all paths of a level (ray casting towards +x).
bool insideLevel(const ContourLevel& level, double x, double y) {
    bool inside = false;
    for (const ContourPath& path : level.paths) {
        for (std::size_t i = 0, j = path.size() - 1; i < path.size(); j = i++) {
            const double xi = path[i].first, yi = path[i].second;
            const double xj = path[j].first, yj = path[j].second;
            if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi)
                inside = !inside;
        }
    }
    return inside;
}

// ---------------------------------------------------------------- HDR threshold

TEST(DensityHdrThreshold, OrderStatisticAtFloorOfFractionTimesN) {
    const std::vector<double> d{5, 1, 4, 2, 3};
    EXPECT_EQ(DensityEstimator::computeHDRThreshold(d, 0.5), 3.0);  // index 2
    EXPECT_EQ(DensityEstimator::computeHDRThreshold(d, 0.1), 1.0);  // index 0
    EXPECT_EQ(DensityEstimator::computeHDRThreshold(d, 0.99), 5.0); // index 4
    EXPECT_EQ(DensityEstimator::computeHDRThreshold(d, 0.0), 0.0);
    EXPECT_EQ(DensityEstimator::computeHDRThreshold(d, 1.0), 0.0);
    EXPECT_EQ(DensityEstimator::computeHDRThreshold(d, kNaN), 0.0);
    EXPECT_EQ(DensityEstimator::computeHDRThreshold({}, 0.5), 0.0);
    // NaN densities (events without a finite position) are left out.
    EXPECT_EQ(DensityEstimator::computeHDRThreshold({kNaN, 3, kNaN, 1, 2}, 0.5), 2.0);
    EXPECT_EQ(DensityEstimator::computeHDRThreshold({kNaN, kNaN}, 0.5), 0.0);
}

// ---------------------------------------------------------------- marching squares

TEST(DensityMarchingSquares, SaddleWithCentreAtOrAboveCutsOffTheHighCorners) {
    // Case 5: corners c0 and c2 high. Cell centres at 0.5 and 1.5.
    const DensityGrid grid = unitGrid(2, {1.0, 0.0, 0.0, 1.0});
    const std::vector<ContourPath> at = DensityEstimator::marchingSquares(grid, 0.5);
    ASSERT_EQ(at.size(), 2U);
    ASSERT_EQ(at[0].size(), 2U);
    expectPoint(at[0][0], 1.0, 0.5); // lower edge
    expectPoint(at[0][1], 0.5, 1.0); // left edge
    expectPoint(at[1][0], 1.5, 1.0); // right edge
    expectPoint(at[1][1], 1.0, 1.5); // upper edge

    // Centre 0.5 below 0.6: (lower, right) then (left, upper).
    const std::vector<ContourPath> below = DensityEstimator::marchingSquares(grid, 0.6);
    ASSERT_EQ(below.size(), 2U);
    expectPoint(below[0][0], 0.9, 0.5);
    expectPoint(below[0][1], 1.5, 1.1);
    expectPoint(below[1][0], 0.5, 0.9);
    expectPoint(below[1][1], 1.1, 1.5);
}

TEST(DensityMarchingSquares, SaddleTenMirrorsSaddleFive) {
    // Case 10: corners c1 and c3 high.
    const DensityGrid grid = unitGrid(2, {0.0, 1.0, 1.0, 0.0});
    const std::vector<ContourPath> at = DensityEstimator::marchingSquares(grid, 0.5);
    ASSERT_EQ(at.size(), 2U);
    expectPoint(at[0][0], 1.0, 0.5); // lower
    expectPoint(at[0][1], 1.5, 1.0); // right
    expectPoint(at[1][0], 0.5, 1.0); // left
    expectPoint(at[1][1], 1.0, 1.5); // upper
}

TEST(DensityMarchingSquares, SingleBumpGivesOneClosedPath) {
    std::vector<double> values(25, 0.0);
    values[2 * 5 + 2] = 1.0;
    const std::vector<ContourPath> paths =
        DensityEstimator::marchingSquares(unitGrid(5, values), 0.5);
    ASSERT_EQ(paths.size(), 1U);
    const ContourPath& p = paths[0];
    ASSERT_EQ(p.size(), 5U);
    expectPoint(p[0], 2.5, 2.0);
    expectPoint(p[1], 2.0, 2.5);
    expectPoint(p[2], 2.5, 3.0);
    expectPoint(p[3], 3.0, 2.5);
    EXPECT_EQ(p[4], p[0]);
}

TEST(DensityMarchingSquares, PathAtTheBorderStaysOpen) {
    // Ridge along the left column: the line runs from the bottom to the top edge.
    const DensityGrid grid = unitGrid(3, {1, 0, 0, 1, 0, 0, 1, 0, 0});
    const std::vector<ContourPath> paths = DensityEstimator::marchingSquares(grid, 0.5);
    ASSERT_EQ(paths.size(), 1U);
    ASSERT_EQ(paths[0].size(), 3U);
    EXPECT_NE(paths[0].front(), paths[0].back());
    for (const ContourPoint& p : paths[0])
        EXPECT_DOUBLE_EQ(p.first, 1.0);
}

TEST(DensityMarchingSquares, EdgePointsClampAndNearlyFlatEdgesUseTheMiddle) {
    // A level equal to the high corners puts the points on those corners.
    const std::vector<ContourPath> onCorner =
        DensityEstimator::marchingSquares(unitGrid(2, {2.0, 2.0, 0.0, 0.0}), 2.0);
    ASSERT_EQ(onCorner.size(), 1U);
    expectPoint(onCorner[0][0], 0.5, 0.5); // left edge at s = 0
    expectPoint(onCorner[0][1], 1.5, 0.5); // right edge at s = 0

    // Corner values closer than 1e-30: the edge's middle.
    const std::vector<ContourPath> tiny =
        DensityEstimator::marchingSquares(unitGrid(2, {1e-31, 0.0, 1e-31, 0.0}), 1e-31);
    ASSERT_EQ(tiny.size(), 1U);
    expectPoint(tiny[0][0], 1.0, 0.5);
    expectPoint(tiny[0][1], 1.0, 1.5);

    EXPECT_TRUE(DensityEstimator::marchingSquares(unitGrid(1, {5.0}), 1.0).empty());
    EXPECT_TRUE(DensityEstimator::marchingSquares(DensityGrid{}, 1.0).empty());
}

// ---------------------------------------------------------------- contour levels

TEST(DensityContours, LevelsFollowTheRequest) {
    const testdata::Points p = testdata::bump(2000, 31, 0.0, 0.0, 1.0);
    const std::vector<ContourLevel> levels =
        DensityEstimator::computeContours(p.x, p.y, {0.1, 0.67}, 0);
    ASSERT_EQ(levels.size(), 2U);
    EXPECT_EQ(levels[0].fraction, 0.1);
    EXPECT_EQ(levels[1].fraction, 0.67);
    EXPECT_LT(levels[0].threshold, levels[1].threshold);
    EXPECT_FALSE(levels[0].paths.empty());

    const std::vector<ContourLevel> outside =
        DensityEstimator::computeContours(p.x, p.y, {0.0, 1.0}, 0);
    ASSERT_EQ(outside.size(), 2U);
    for (const ContourLevel& level : outside) {
        EXPECT_EQ(level.threshold, 0.0);
        EXPECT_TRUE(level.paths.empty());
    }

    EXPECT_TRUE(DensityEstimator::computeContours({1, 2, 3}, {1, 2, 3}, {0.5}, 0).empty());
    EXPECT_TRUE(DensityEstimator::computeContours(p.x, p.y, {}, 0).empty());
    EXPECT_TRUE(DensityEstimator::computeContours(p.x, {1, 2, 3, 4}, {0.5}, 0).empty());
    // Four events, but only three with finite coordinates.
    EXPECT_TRUE(DensityEstimator::computeContours({1, 2, 3, kNaN}, {1, 2, 3, 4}, {0.5}, 0).empty());
}

TEST(DensityContours, ClosedPathsEncloseTheRequestedShare) {
    // The density at or above the threshold holds about 1 - fraction of the
    // events; the traced lines differ from the bilinear densities only near
    // the boundary, so the share inside is within 2 points.
    for (const testdata::Points& p :
         {testdata::bump(20000, 41, 3.0, -2.0, 1.5), testdata::clustered(20000, 43)}) {
        const std::vector<double> fractions{0.1, 0.5, 0.9};
        const std::vector<ContourLevel> levels =
            DensityEstimator::computeContours(p.x, p.y, fractions, 0);
        ASSERT_EQ(levels.size(), 3U);
        for (const ContourLevel& level : levels) {
            SCOPED_TRACE(level.fraction);
            ASSERT_FALSE(level.paths.empty());
            for (const ContourPath& path : level.paths)
                EXPECT_TRUE(isClosed(path));
            std::size_t inside = 0;
            for (std::size_t i = 0; i < p.x.size(); ++i)
                inside += insideLevel(level, p.x[i], p.y[i]) ? 1 : 0;
            const double share = static_cast<double>(inside) / static_cast<double>(p.x.size());
            EXPECT_NEAR(share, 1.0 - level.fraction, 0.02);
        }
    }
}

// ---------------------------------------------------------------- scaled axes

TEST(DensityContoursTransformed, LinearAxesGiveTheUntransformedContours) {
    const testdata::Points p = testdata::clustered(3000, 51);
    const std::vector<ContourLevel> plain =
        DensityEstimator::computeContours(p.x, p.y, {0.2, 0.8}, 0);
    const std::vector<ContourLevel> scaled = DensityEstimator::computeContoursTransformed(
        p.x, p.y, {0.2, 0.8}, ScaleMode::Linear, ScaleMode::Linear);
    ASSERT_EQ(plain.size(), scaled.size());
    for (std::size_t i = 0; i < plain.size(); ++i) {
        EXPECT_EQ(plain[i].threshold, scaled[i].threshold);
        EXPECT_EQ(plain[i].paths, scaled[i].paths);
    }
}

TEST(DensityContoursTransformed, LogAxesTraceInLogSpaceAndReturnDataUnits) {
    // A bump in log space: x spans about 10^1 .. 10^3, y about 10^-1 .. 10^1.
    const testdata::Points b = testdata::bump(4000, 61, 2.0, 0.0, 0.5);
    testdata::Points data;
    for (std::size_t i = 0; i < b.x.size(); ++i) {
        data.x.push_back(std::pow(10.0, b.x[i]));
        data.y.push_back(std::pow(10.0, b.y[i]));
    }
    const std::vector<ContourLevel> levels = DensityEstimator::computeContoursTransformed(
        data.x, data.y, {0.5}, ScaleMode::Log, ScaleMode::Log);
    const std::vector<ContourLevel> inLogSpace =
        DensityEstimator::computeContours(applyScaleTransform(data.x, ScaleMode::Log),
                                          applyScaleTransform(data.y, ScaleMode::Log), {0.5}, 0);
    ASSERT_EQ(levels.size(), 1U);
    ASSERT_EQ(inLogSpace.size(), 1U);
    EXPECT_EQ(levels[0].threshold, inLogSpace[0].threshold);
    ASSERT_EQ(levels[0].paths.size(), inLogSpace[0].paths.size());
    ASSERT_FALSE(levels[0].paths.empty());
    for (std::size_t k = 0; k < levels[0].paths.size(); ++k) {
        const ContourPath& path = levels[0].paths[k];
        const ContourPath& logPath = inLogSpace[0].paths[k];
        ASSERT_EQ(path.size(), logPath.size());
        for (std::size_t i = 0; i < path.size(); ++i) {
            EXPECT_NEAR(path[i].first, std::pow(10.0, logPath[i].first), 1e-12 * path[i].first);
            EXPECT_NEAR(path[i].second, std::pow(10.0, logPath[i].second), 1e-12 * path[i].second);
        }
    }
}

TEST(DensityContoursTransformed, NonFinitePairsAreDroppedBeforeTransforming) {
    // On a log axis NaN would otherwise become the position of the value 1 and
    // pull a second contour there.
    const testdata::Points b = testdata::bump(3000, 71, 2.5, 2.5, 0.4);
    testdata::Points data;
    testdata::Points dirty;
    for (std::size_t i = 0; i < b.x.size(); ++i) {
        data.x.push_back(std::pow(10.0, b.x[i]));
        data.y.push_back(std::pow(10.0, b.y[i]));
        dirty.x.push_back(data.x.back());
        dirty.y.push_back(data.y.back());
        if (i % 3 == 0) {
            dirty.x.push_back(i % 2 ? kNaN : -kInf);
            dirty.y.push_back(i % 2 ? 500.0 : kNaN);
        }
    }
    for (ScaleMode mode : {ScaleMode::Log, ScaleMode::PseudoLog, ScaleMode::Linear}) {
        const std::vector<ContourLevel> clean =
            DensityEstimator::computeContoursTransformed(data.x, data.y, {0.3, 0.7}, mode, mode);
        const std::vector<ContourLevel> withDirt =
            DensityEstimator::computeContoursTransformed(dirty.x, dirty.y, {0.3, 0.7}, mode, mode);
        ASSERT_EQ(clean.size(), 2U);
        ASSERT_EQ(withDirt.size(), 2U);
        for (std::size_t i = 0; i < 2; ++i) {
            EXPECT_EQ(clean[i].threshold, withDirt[i].threshold);
            EXPECT_EQ(clean[i].paths, withDirt[i].paths);
        }
    }
}

TEST(DensityContoursTransformed, NonPositiveValuesOnALogAxisSitAtOne) {
    // Values <= 0 are drawn at the position of 1 on a log axis, so a cloud of
    // them gets its contour around x = 1.
    const testdata::Points b = testdata::bump(2000, 81, 0.0, 2.0, 0.3);
    std::vector<double> x(b.x.size(), -5.0);
    std::vector<double> y;
    for (double v : b.y)
        y.push_back(std::pow(10.0, v));
    const std::vector<ContourLevel> levels =
        DensityEstimator::computeContoursTransformed(x, y, {0.5}, ScaleMode::Log, ScaleMode::Log);
    ASSERT_EQ(levels.size(), 1U);
    ASSERT_FALSE(levels[0].paths.empty());
    double lo = kInf, hi = -kInf;
    for (const ContourPoint& p : levels[0].paths[0]) {
        lo = std::min(lo, p.first);
        hi = std::max(hi, p.first);
    }
    EXPECT_LT(lo, 1.0);
    EXPECT_GT(hi, 1.0);
    EXPECT_GT(lo, 0.0);
}

// ---------------------------------------------------------------- large columns

// Quartiles and density levels of large columns are selected within brackets;
// they must be the very entries a full sort gives, NaN left out.
TEST(DensityOrderStatistics, EqualWhatASortGivesOnLargeColumns) {
    const testdata::Points p = testdata::clustered(70000, 31);
    std::vector<double> spiky = p.x;
    for (std::size_t i = 0; i < spiky.size(); i += 7)
        spiky[i] = std::numeric_limits<double>::quiet_NaN();
    for (std::size_t i = 3; i < spiky.size(); i += 11)
        spiky[i] = -2.5; // many ties, below everything else
    std::vector<double> huge = p.y;
    huge[5] = 1e300; // one outlier puts nearly all values into one bucket
    // Large enough to be counted on several threads; a sorted column puts
    // the sample's guesses in order, a reversed one against it.
    const testdata::Points big = testdata::clustered(600000, 32);
    std::vector<double> ascending = big.y;
    std::sort(ascending.begin(), ascending.end());
    std::vector<double> descending(ascending.rbegin(), ascending.rend());
    // NaN nearly everywhere the sample looks: it misjudges the ranks.
    std::vector<double> mostlyNaN = big.x;
    for (std::size_t i = 0; i < mostlyNaN.size(); ++i)
        if (i % 37 != 0)
            mostlyNaN[i] = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> infinite = big.x;
    for (std::size_t i = 0; i < infinite.size(); i += 3)
        infinite[i] = i % 2 == 0 ? std::numeric_limits<double>::infinity()
                                 : -std::numeric_limits<double>::infinity();
    std::vector<double> twoValues(300000, 1.0);
    for (std::size_t i = 0; i < twoValues.size(); i += 4)
        twoValues[i] = 0.0;
    const struct {
        const char* name;
        std::vector<double> values;
    } columns[] = {{"clustered", p.x},         {"NaN and ties", spiky},
                   {"outlier", huge},          {"constant", std::vector<double>(40000, 3.0)},
                   {"large", big.x},           {"ascending", ascending},
                   {"descending", descending}, {"mostly NaN", mostlyNaN},
                   {"infinities", infinite},   {"two values", twoValues}};
    for (const auto& column : columns) {
        std::vector<double> sorted;
        for (const double v : column.values)
            if (!std::isnan(v))
                sorted.push_back(v);
        std::sort(sorted.begin(), sorted.end());
        const std::size_t n = sorted.size();
        const std::vector<std::size_t> ranks{n - 1, 0, n / 4, n / 4 + 1, n / 2, n - 2, n / 4};
        const std::vector<double> at = densitydetail::orderStatistics(column.values, ranks);
        // With the bounds known beforehand, as the bandwidths have them.
        const std::vector<double> within = densitydetail::orderStatisticsWithin(
            column.values, ranks, sorted.front(), sorted.back());
        for (std::size_t i = 0; i < ranks.size(); ++i) {
            EXPECT_EQ(at[i], sorted[ranks[i]]) << column.name << " rank " << ranks[i];
            EXPECT_EQ(within[i], sorted[ranks[i]]) << column.name << " rank " << ranks[i];
        }
    }
}

TEST(DensityKdeWithContours, EqualsTheSeparateColourAndContourResults) {
    const testdata::Points p = testdata::clustered(60000, 12);
    testdata::Points positive = p;
    for (double& v : positive.x)
        v += 1.5; // x above 0 for the log axis
    const std::vector<double> fractions{0.1, 0.67};
    const struct {
        ScaleMode x;
        ScaleMode y;
    } modes[] = {{ScaleMode::Linear, ScaleMode::Linear},
                 {ScaleMode::Log, ScaleMode::PseudoLog},
                 {ScaleMode::PseudoLog, ScaleMode::Linear}};
    for (const auto& mode : modes) {
        const KernelDensityView view = DensityEstimator::estimateKDEWithContours(
            positive.x, positive.y, fractions, mode.x, mode.y);
        const std::vector<double> colour = DensityEstimator::estimateNaNSafe(
            applyScaleTransform(positive.x, mode.x), applyScaleTransform(positive.y, mode.y),
            DensityMethod::KDE);
        const std::vector<ContourLevel> levels = DensityEstimator::computeContoursTransformed(
            positive.x, positive.y, fractions, mode.x, mode.y);
        EXPECT_EQ(view.densities, colour);
        ASSERT_EQ(view.levels.size(), levels.size());
        for (std::size_t i = 0; i < levels.size(); ++i) {
            EXPECT_EQ(view.levels[i].threshold, levels[i].threshold);
            EXPECT_EQ(view.levels[i].paths, levels[i].paths);
        }
    }
    // Too few events: no densities, no levels.
    const KernelDensityView few = DensityEstimator::estimateKDEWithContours(
        {1.0, 2.0, 3.0}, {1.0, 2.0, 3.0}, fractions, ScaleMode::Linear, ScaleMode::Linear);
    EXPECT_TRUE(std::isnan(few.densities[1]));
    EXPECT_TRUE(few.levels.empty());
}

// ---------------------------------------------------------------- unchanged results

// Fingerprints of the densities, the automatic grid and histogram, and every
// contour point, recorded from the estimator as it was before the grid size
// choice and the order statistics were made faster. Any change of a single
// bit in what a plot shows changes them.
TEST(DensityResults, BitIdenticalToTheEarlierEstimator) {
    const auto positive = [](testdata::Points p) {
        for (double& v : p.x)
            v = std::pow(10.0, v);
        for (double& v : p.y)
            v = 1.0 + v * v;
        return p;
    };
    const struct {
        const char* name;
        testdata::Points p;
        std::uint64_t expected;
    } cases[] = {
        {"clustered 3000", testdata::clustered(3000, 31), 0xbca78d0fd0c75b79ULL},
        {"uniform 50000", testdata::uniformSquare(50000, 32), 0x07243a72635c9231ULL},
        {"duplicates 20000", testdata::duplicates(20000, 33), 0x979836dd0d6fb791ULL},
        // Large enough for every threaded path.
        {"clustered 300000", testdata::clustered(300000, 34), 0x5f80cee9cd51c257ULL},
        {"positive clustered 40000, log axes", positive(testdata::clustered(40000, 35)),
         0x9709540999763fa5ULL},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(testdata::densityFingerprint(c.p.x, c.p.y, ScaleMode::Log), c.expected) << c.name;
    }
}

} // namespace
} // namespace Quorvex3
