// DBSCAN of the embedding, the automatic radius and the labelling of new
// points: hand-made cases of each rule, labels identical to sklearn's DBSCAN
// (dimred_oracle.py dbscan), and assignments equal to the brute-force
// nearest clustered point, also on a nearly flat embedding.

#include "DimRedTestData.h"
#include "dimred/Dbscan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <sstream>

using namespace Quorvex3;
using namespace Quorvex3::dimredtest;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Three blobs in 2-D with uniform noise and a few NaN rows, x and y in turn.
std::vector<double> clusteredPlane(size_t n, uint64_t seed) {
    SplitMix g(seed);
    std::vector<double> pts;
    const double cx[3] = {0, 6, 2}, cy[3] = {0, 1, 7};
    for (size_t i = 0; i < n; ++i) {
        const uint64_t kind = g.next() % 5;
        pts.push_back(kind < 3 ? cx[kind] + 0.8 * g.bell() : -4 + 14 * g.uniform());
        pts.push_back(i % 97 == 5 ? kNaN
                      : kind < 3  ? cy[kind] + 0.8 * g.bell()
                                  : -4 + 14 * g.uniform());
    }
    return pts;
}

// Assignments of the queries must equal the label of the nearest clustered
// point (the first on ties) when that lies within eps, else NaN.
void expectBruteForce(const DimRedClusterModel& m, const std::vector<double>& qx,
                      const std::vector<double>& qy) {
    std::vector<double> out;
    const auto start = std::chrono::steady_clock::now();
    assignClusters(m, qx, qy, out);
    // A guard against a runaway search, not a benchmark.
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
    ASSERT_EQ(out.size(), qx.size());
    for (size_t i = 0; i < qx.size(); ++i) {
        double best = std::numeric_limits<double>::infinity();
        int label = -1;
        for (size_t j = 0; j < m.labels.size(); ++j) {
            const double d2 =
                std::pow(qx[i] - m.points[2 * j], 2) + std::pow(qy[i] - m.points[2 * j + 1], 2);
            if (d2 < best) {
                best = d2;
                label = m.labels[j];
            }
        }
        if (best <= m.eps * m.eps)
            EXPECT_EQ(out[i], label) << i;
        else
            EXPECT_TRUE(std::isnan(out[i])) << i;
    }
}

} // namespace

TEST(Dbscan, MatchesSklearnOnFinitePoints) {
    // Blobs with noise and NaN rows; integer points, where many neighbours
    // lie at exactly the radius and border points touch several clusters.
    std::vector<double> lattice;
    SplitMix g(5);
    for (int i = 0; i < 800; ++i)
        lattice.push_back(static_cast<double>(g.next() % 40));
    const std::pair<std::vector<double>, std::string> sets[] = {
        {clusteredPlane(1500, 3), "0.35 5 0.6 12 0.2 1"}, {lattice, "1 3 2 6"}};
    for (const auto& [pts, args] : sets) {
        const size_t n = pts.size() / 2;
        const auto theirs = oracleOn("dbscan", matrix(n, 2, pts), args).at("LABELS");
        std::istringstream settings(args);
        double eps = 0;
        int minPts = 0, count = 0;
        for (size_t k = 0; settings >> eps >> minPts; ++k) {
            const std::vector<int> ours = dbscan2d(pts, n, eps, minPts, count);
            EXPECT_EQ(ours, std::vector<int>(theirs.at(k).begin(), theirs.at(k).end())) << eps;
            EXPECT_EQ(count, *std::max_element(ours.begin(), ours.end()) + 1);
            EXPECT_GE(count, 2);
        }
    }
}

TEST(Dbscan, UnusableSettingsAndDenseData) {
    int count = -1;
    for (const double eps : {0.0, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_EQ(dbscan2d({0, 0, 0, 0}, 2, eps, 1, count), std::vector<int>(2, -1));
    EXPECT_EQ(dbscan2d({0, 0, 0, 0}, 2, 1.0, 0, count), std::vector<int>(2, -1));
    EXPECT_EQ(count, 0);
    // 20000 points within one radius of each other: queuing each point once
    // per cluster keeps this fast and small.
    SplitMix g(4);
    std::vector<double> dense(40000);
    for (double& v : dense)
        v = g.uniform();
    EXPECT_EQ(dbscan2d(dense, 20000, 2.0, 10, count), std::vector<int>(20000, 0));
}

TEST(SuggestEps, RadiiOfTheLongestPlateau) {
    EXPECT_EQ(suggestEps(std::vector<double>(40, 2.0), 20, 4), 0.0); // all equal
    EXPECT_EQ(suggestEps({0, 0, 1, 1, kNaN, 2, 3, 3}, 4, 3), 0.0);   // 3 finite points
    // Evenly spaced on a line: every radius gives 0 or 1 cluster, so the
    // middle of the 28 radii from 0.004 to 0.5 of the diagonal.
    std::vector<double> line;
    for (int i = 0; i < 100; ++i)
        line.insert(line.end(), {double(i), 0.0});
    const double middle = 0.004 * 99 * std::pow(125.0, 14.0 / 27.0);
    EXPECT_NEAR(suggestEps(line, 100, 2), middle, 1e-12 * middle);
    // Four groups of evenly spaced points spanning exactly 1000: spacing
    // between radii 1 and 2, groups 15.3 apart in pairs (radii 7-8), the
    // pairs 44.6 apart (radii 13-14). Radii 2-7 give 4 clusters, 8-13 give
    // 2: of two runs of six, the first wins.
    auto radius = [](int i) { return 4.0 * std::pow(125.0, i / 27.0); };
    const double width = (1000.0 - 2 * 15.3 - 44.6) / 4, spacing = width / 45;
    ASSERT_TRUE(spacing > radius(1) && spacing < radius(2));
    const double starts[4] = {0, width + 15.3, 2 * width + 15.3 + 44.6, 3 * width + 30.6 + 44.6};
    std::vector<double> groups;
    for (int s = 0; s < 4; ++s)
        for (int i = 0; i < 46; ++i)
            groups.insert(groups.end(),
                          {s == 3 && i == 45 ? 1000.0 : starts[s] + i * spacing, 0.0});
    const double first = radius(2) * std::pow(radius(7) / radius(2), 0.25);
    EXPECT_NEAR(suggestEps(groups, 184, 2), first, 1e-9 * first);
}

TEST(SuggestEps, SamplesEverySecondOf24000Points) {
    // The even points (the sample) form two groups; the odd ones would add
    // a third group but are not sampled.
    std::vector<double> pts, sample;
    SplitMix g(6);
    for (int i = 0; i < 24000; ++i) {
        const double centre = i % 2 ? 20.0 : i % 4 ? 10.0 : 0.0;
        pts.insert(pts.end(), {centre + 0.5 * g.bell(), 0.5 * g.bell()});
        if (i % 2 == 0)
            sample.insert(sample.end(), pts.end() - 2, pts.end());
    }
    const double eps = suggestEps(pts, 24000, 10);
    ASSERT_GT(eps, 0.0);
    int count = 0;
    dbscan2d(sample, 12000, eps, 10, count);
    EXPECT_EQ(count, 2);
}

TEST(ClusterAssign, KeepsClusteredPointsAndLabelsTheNearestWithinTheRadius) {
    DimRedClusterModel m = buildClusterModel({0, 10, 0.5, 20, 1.0}, {0, 0, 0, 0, 0, 7}, 0.6, 2);
    ASSERT_TRUE(m.valid);
    EXPECT_EQ(m.points, (std::vector<double>{0, 0, 0.5, 0, 1.0, 0}));
    EXPECT_EQ(m.labels, (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(m.clusterCount, 1);
    EXPECT_EQ(m.minPts, 2);
    EXPECT_FALSE(buildClusterModel({0, 5, 10}, {0, 0, 0}, 1.0, 2).valid); // all noise
    std::vector<double> out;
    assignClusters(buildClusterModel({}, {}, 1.0, 2), {0}, {0}, out);
    EXPECT_TRUE(out.size() == 1 && std::isnan(out[0]));

    const std::vector<double> pts = clusteredPlane(2000, 10);
    std::vector<double> x, y, qx, qy;
    for (size_t i = 0; i < pts.size(); i += 2) {
        x.push_back(pts[i]);
        y.push_back(pts[i + 1]);
    }
    m = buildClusterModel(x, y, 0.3, 6);
    ASSERT_TRUE(m.valid);
    SplitMix g(11);
    for (int i = 0; i < 5000; ++i) {
        qx.push_back(-6 + 18 * g.uniform());
        qy.push_back(-6 + 18 * g.uniform());
    }
    qx.insert(qx.end(), {m.points[4], kNaN}); // exactly on a clustered point; NaN
    qy.insert(qy.end(), {m.points[5], 0.0});
    expectBruteForce(m, qx, qy);
}

TEST(ClusterAssign, NearlyFlatEmbeddingFinishesWithTheSameLabels) {
    // Clustered points on a line with rounding-level spread across it (as a
    // PCA whose second axis carries nothing): cells as narrow as that
    // spread would make far points walk through billions of empty rings.
    SplitMix g(12);
    std::vector<double> x, y, qx, qy;
    for (int i = 0; i < 4000; ++i) {
        const double t = 10.0 * g.uniform();
        if (t > 4.8 && t < 5.2)
            continue;
        x.push_back(t);
        y.push_back(1e-13 * g.bell());
    }
    const DimRedClusterModel m = buildClusterModel(x, y, 0.05, 4);
    ASSERT_EQ(m.clusterCount, 2);
    const double across[4] = {0, 0.04, 3.0, -0.06};
    for (int i = 0; i < 20000; ++i) {
        qx.push_back(-1 + 12 * g.uniform());
        qy.push_back(i % 4 == 0   ? 1e-13 * g.bell()
                     : i % 4 == 1 ? across[1] * g.bell()
                                  : across[i % 4]);
    }
    expectBruteForce(m, qx, qy);
}
