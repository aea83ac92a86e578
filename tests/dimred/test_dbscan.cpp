// DBSCAN of the embedding, the automatic radius and the labelling of new
// points: hand-made cases of each rule, labels identical to sklearn's DBSCAN
// (dimred_oracle.py dbscan), and assignments equal to a brute-force nearest
// clustered point, also on a nearly flat embedding.

#include "DimRedTestData.h"
#include "dimred/Dbscan.h"
#include "dimred/ParallelChunks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>

using namespace Quorvex3;
using namespace Quorvex3::dimredtest;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<int> cluster(const std::vector<double>& pts, double eps, int minPts, int& count) {
    return dbscan2d(pts, pts.size() / 2, eps, minPts, count);
}

// Blobs in 2-D with uniform noise and a few NaN rows, interleaved x, y.
std::vector<double> clusteredPlane(size_t n, uint64_t seed) {
    SplitMix g(seed);
    std::vector<double> pts;
    const double cx[3] = {0, 6, 2}, cy[3] = {0, 1, 7};
    for (size_t i = 0; i < n; ++i) {
        const uint64_t kind = g.next() % 5;
        if (kind < 3) {
            pts.push_back(cx[kind] + 0.8 * g.bell());
            pts.push_back(cy[kind] + 0.8 * g.bell());
        } else {
            pts.push_back(-4 + 14 * g.uniform());
            pts.push_back(-4 + 14 * g.uniform());
        }
        if (i % 97 == 5)
            pts.back() = kNaN;
    }
    return pts;
}

// Label of the nearest clustered point within eps (first on ties), or NaN.
double bruteForce(const DimRedClusterModel& m, double x, double y) {
    double best = std::numeric_limits<double>::infinity();
    int label = -1;
    for (size_t j = 0; j < m.labels.size(); ++j) {
        const double d2 = (x - m.points[2 * j]) * (x - m.points[2 * j]) +
                          (y - m.points[2 * j + 1]) * (y - m.points[2 * j + 1]);
        if (d2 < best) {
            best = d2;
            label = m.labels[j];
        }
    }
    return best <= m.eps * m.eps ? label : kNaN;
}

void expectSameLabels(const std::vector<double>& a, const std::vector<double>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::isnan(b[i]))
            EXPECT_TRUE(std::isnan(a[i])) << i;
        else
            EXPECT_EQ(a[i], b[i]) << i;
    }
}

} // namespace

// ---- dbscan2d -------------------------------------------------------------------

TEST(Dbscan, MatchesSklearnOnFinitePoints) {
    const std::vector<double> pts = clusteredPlane(1500, 3);
    TempDir dir;
    writeMatrixFile(dir.file("p.txt"), pts, pts.size() / 2, 2);
    const std::vector<std::pair<double, int>> settings = {{0.35, 5}, {0.6, 12}, {0.2, 1}};
    std::string args;
    for (const auto& setting : settings)
        args += std::to_string(setting.first) + " " + std::to_string(setting.second) + " ";
    const auto oracle = runOracle("dbscan", dir.file("p.txt"), args);
    ASSERT_EQ(oracle.size(), settings.size());
    for (size_t k = 0; k < settings.size(); ++k) {
        int count = 0;
        const std::vector<int> ours = cluster(pts, settings[k].first, settings[k].second, count);
        const std::vector<double>& theirs = oracle[k].second;
        ASSERT_EQ(theirs.size(), ours.size());
        int most = -1;
        for (size_t i = 0; i < ours.size(); ++i) {
            EXPECT_EQ(ours[i], static_cast<int>(theirs[i]))
                << "point " << i << " eps " << settings[k].first;
            most = std::max(most, ours[i]);
        }
        EXPECT_EQ(count, most + 1);
        EXPECT_GE(count, 3);
    }
}

TEST(Dbscan, NeighbourhoodsIncludeTheRadiusAndThePointItself) {
    int count = 0;
    EXPECT_EQ(cluster({0, 0, 1, 0}, 1.0, 2, count), (std::vector<int>{0, 0}));
    EXPECT_EQ(count, 1);
    EXPECT_EQ(cluster({0, 0, 1, 0}, 0.999, 2, count), (std::vector<int>{-1, -1}));
    EXPECT_EQ(count, 0);
    // minPts 1: every finite point is a core point, alone or not.
    EXPECT_EQ(cluster({0, 0, 5, 5, kNaN, 1, 0.5, 0}, 1.0, 1, count),
              (std::vector<int>{0, 1, -1, 0}));
    EXPECT_EQ(count, 2);
}

TEST(Dbscan, NumberingAndSharedBorderPoints) {
    // Point 0 lies between two clusters, within eps of a core point of each,
    // but has too few neighbours to be a core point itself. The left cluster's
    // first core point (index 1) comes first, so it is cluster 0 and claims
    // point 0; the right cluster (first core point 4) is cluster 1.
    const std::vector<double> pts = {0,  0,                   //
                                     -1, 0, -1.2, 0, -1.4, 0, //
                                     1,  0, 1.2,  0, 1.4,  0, kNaN, 0};
    int count = 0;
    EXPECT_EQ(cluster(pts, 1.0, 4, count), (std::vector<int>{0, 0, 0, 0, 1, 1, 1, -1}));
    EXPECT_EQ(count, 2);
}

TEST(Dbscan, UnusableSettingsLabelEverythingNoise) {
    int count = 5;
    EXPECT_TRUE(dbscan2d({}, 0, 1.0, 2, count).empty());
    EXPECT_EQ(count, 0);
    EXPECT_EQ(cluster({0, 0, 0, 0}, 0.0, 1, count), (std::vector<int>{-1, -1}));
    EXPECT_EQ(cluster({0, 0, 0, 0}, kNaN, 1, count), (std::vector<int>{-1, -1}));
    EXPECT_EQ(cluster({0, 0, 0, 0}, 1.0, 0, count), (std::vector<int>{-1, -1}));
}

TEST(Dbscan, DenseDataNeedsNoQuadraticQueue) {
    // 20000 points within one radius: every point is a neighbour of every
    // other. Queuing each point once per cluster keeps this fast and small.
    std::vector<double> pts;
    SplitMix g(4);
    for (int i = 0; i < 20000; ++i) {
        pts.push_back(g.uniform());
        pts.push_back(g.uniform());
    }
    int count = 0;
    const std::vector<int> labels = cluster(pts, 2.0, 10, count);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(labels.back(), 0);
}

// ---- suggestEps -----------------------------------------------------------------

TEST(SuggestEps, NothingToSuggest) {
    EXPECT_EQ(suggestEps(std::vector<double>(40, 2.0), 20, 4), 0.0); // all equal
    EXPECT_EQ(suggestEps({0, 0, 1, 1, kNaN, 2, 3, 3}, 4, 3), 0.0);   // 3 finite points
    EXPECT_EQ(suggestEps({0, 0, 1, 1}, 2, 0), 0.0);
}

TEST(SuggestEps, NoPlateauOfTwoOrMoreClustersGivesTheMiddleRadius) {
    // Evenly spaced points on a line: each radius gives 0 or 1 cluster.
    std::vector<double> pts;
    for (int i = 0; i < 100; ++i) {
        pts.push_back(i);
        pts.push_back(0);
    }
    const double diag = 99.0;
    const double expected = 0.004 * diag * std::pow(0.5 / 0.004, 14.0 / 27.0);
    EXPECT_NEAR(suggestEps(pts, 100, 2), expected, 1e-12 * expected);
}

TEST(SuggestEps, TheFirstOfEquallyLongPlateausWins) {
    // Four groups of evenly spaced points on a line spanning exactly 1000:
    // spacing between radii 1 and 2, pairs of groups 15.3 apart (between
    // radii 7 and 8), the pairs 44.6 apart (between radii 13 and 14). So
    // radii 2-7 give 4 clusters and radii 8-13 give 2: two runs of six.
    const double diag = 1000.0, g1 = 15.3, g2 = 44.6;
    auto radius = [&](int i) { return 0.004 * diag * std::pow(125.0, i / 27.0); };
    const double width = (diag - 2 * g1 - g2) / 4;
    const int perGroup = 46;
    const double spacing = width / (perGroup - 1);
    ASSERT_GT(spacing, radius(1));
    ASSERT_LT(spacing, radius(2));
    std::vector<double> pts;
    const double starts[4] = {0, width + g1, 2 * width + g1 + g2, 3 * width + 2 * g1 + g2};
    for (const double start : starts)
        for (int i = 0; i < perGroup; ++i) {
            pts.push_back(i + 1 == perGroup && start == starts[3] ? diag : start + i * spacing);
            pts.push_back(0.0);
        }
    const double expected = radius(2) * std::pow(radius(7) / radius(2), 0.25);
    EXPECT_NEAR(suggestEps(pts, pts.size() / 2, 2), expected, 1e-9 * expected);
}

TEST(SuggestEps, FindsTheSeparatedGroupsOfTheSample) {
    // 24000 points: the even ones (the sample, stride 2) form two groups;
    // the odd ones would add a third group but are not sampled.
    std::vector<double> pts;
    SplitMix g(6);
    for (int i = 0; i < 24000; ++i) {
        const double cx = i % 2 == 1 ? 20.0 : (i % 4 == 0 ? 0.0 : 10.0);
        pts.push_back(cx + 0.5 * g.bell());
        pts.push_back(0.5 * g.bell());
    }
    const double eps = suggestEps(pts, 24000, 10);
    ASSERT_GT(eps, 0.0);
    std::vector<double> sample;
    for (size_t i = 0; i < 24000; i += 2) {
        sample.push_back(pts[2 * i]);
        sample.push_back(pts[2 * i + 1]);
    }
    int count = 0;
    cluster(sample, eps, 10, count);
    EXPECT_EQ(count, 2);
}

TEST(SuggestEps, SameOnAnyThreadCount) {
    const std::vector<double> pts = clusteredPlane(3000, 8);
    setDimRedThreadCount(1);
    const double one = suggestEps(pts, 3000, 8);
    setDimRedThreadCount(5);
    const double five = suggestEps(pts, 3000, 8);
    setDimRedThreadCount(0);
    EXPECT_EQ(one, five);
    EXPECT_GT(one, 0.0);
}

// ---- buildClusterModel / assignClusters ------------------------------------------

TEST(ClusterModel, KeepsOnlyClusteredPointsInOrder) {
    const DimRedClusterModel m =
        buildClusterModel({0, 10, 0.5, 20, 1.0}, {0, 0, 0, 0, 0, 7}, 0.6, 2);
    ASSERT_TRUE(m.valid);
    EXPECT_EQ(m.points, (std::vector<double>{0, 0, 0.5, 0, 1.0, 0}));
    EXPECT_EQ(m.labels, (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(m.clusterCount, 1);
    EXPECT_EQ(m.eps, 0.6);
    EXPECT_EQ(m.minPts, 2);
}

TEST(ClusterModel, AllNoiseGivesNoModelAndNoLabels) {
    const DimRedClusterModel m = buildClusterModel({0, 5, 10}, {0, 0, 0}, 1.0, 2);
    EXPECT_FALSE(m.valid);
    EXPECT_FALSE(buildClusterModel({}, {}, 1.0, 2).valid);
    EXPECT_FALSE(buildClusterModel({0, 0.1}, {0, 0}, 1.0, 0).valid);
    std::vector<double> out;
    assignClusters(m, {0, 5}, {0, 0}, out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_TRUE(std::isnan(out[0]) && std::isnan(out[1]));
}

TEST(ClusterAssign, NearestClusteredPointWithinTheRadius) {
    const std::vector<double> pts = clusteredPlane(2000, 10);
    std::vector<double> x, y;
    for (size_t i = 0; i < pts.size(); i += 2) {
        x.push_back(pts[i]);
        y.push_back(pts[i + 1]);
    }
    const DimRedClusterModel m = buildClusterModel(x, y, 0.3, 6);
    ASSERT_TRUE(m.valid);
    SplitMix g(11);
    std::vector<double> qx, qy, expected;
    for (int i = 0; i < 5000; ++i) {
        qx.push_back(-6 + 18 * g.uniform());
        qy.push_back(-6 + 18 * g.uniform());
        expected.push_back(bruteForce(m, qx.back(), qy.back()));
    }
    qx.push_back(m.points[4]); // exactly on a clustered point
    qy.push_back(m.points[5]);
    expected.push_back(m.labels[2]);
    qx.push_back(kNaN);
    qy.push_back(0);
    expected.push_back(kNaN);
    std::vector<double> out;
    assignClusters(m, qx, qy, out);
    expectSameLabels(out, expected);
}

TEST(ClusterAssign, NearlyFlatEmbeddingFinishesWithTheSameLabels) {
    // Clustered points on a line with rounding-level spread across it (as a
    // PCA whose second axis carries nothing): the grid's cells would be far
    // narrower than the gaps along the line, and far points would walk
    // through billions of empty rings. Two clusters, a gap between them.
    SplitMix g(12);
    std::vector<double> x, y;
    for (int i = 0; i < 4000; ++i) {
        const double t = 10.0 * g.uniform();
        if (t > 4.8 && t < 5.2)
            continue;
        x.push_back(t);
        y.push_back(1e-13 * g.bell());
    }
    const DimRedClusterModel m = buildClusterModel(x, y, 0.05, 4);
    ASSERT_TRUE(m.valid);
    ASSERT_EQ(m.clusterCount, 2);
    std::vector<double> qx, qy, expected;
    for (int i = 0; i < 20000; ++i) {
        const int kind = i % 4;
        qx.push_back(-1 + 12 * g.uniform());
        qy.push_back(kind == 0   ? 1e-13 * g.bell()
                     : kind == 1 ? 0.04 * g.bell()
                     : kind == 2 ? 3.0
                                 : -0.06);
        expected.push_back(bruteForce(m, qx.back(), qy.back()));
    }
    const auto start = std::chrono::steady_clock::now();
    std::vector<double> out;
    assignClusters(m, qx, qy, out);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    expectSameLabels(out, expected);
    EXPECT_LT(seconds, 5.0); // a guard against a runaway search, not a benchmark
}
