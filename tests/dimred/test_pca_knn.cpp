// Robust scaling and PCA against scipy, sklearn and numpy.linalg.eigh, the
// projection, and k-d tree neighbours against sklearn's KDTree
// (dimred_oracle.py modes pca and kdtree; tolerances stated per check).

#include "DimRedTestData.h"
#include "dimred/KnnKdTree.h"
#include "dimred/Pca.h"
#include "dimred/RobustScaling.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace Quorvex3;
using namespace Quorvex3::dimredtest;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// Oriented as ours are: the largest-magnitude entry positive.
std::vector<double> oriented(std::vector<double> v) {
    const auto big = std::max_element(
        v.begin(), v.end(), [](double a, double b) { return std::fabs(a) < std::fabs(b); });
    if (*big < 0)
        for (double& x : v)
            x = -x;
    return v;
}

void expectNear(const std::vector<double>& actual, const std::vector<double>& expected,
                double tol) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], tol * (1 + std::fabs(expected[i]))) << "entry " << i;
}

void expectSklearnNeighbours(const DimRedMatrix& m, int k) {
    std::vector<int> idx;
    std::vector<double> dist;
    knnSearch(m.data.data(), m.rows, m.cols, k, idx, dist);
    const Oracle o = oracleOn("kdtree", m, std::to_string(k));
    const auto theirIdx = o.at("IDX"), theirDist = o.at("DIST");
    ASSERT_EQ(theirIdx.size(), m.rows);
    for (size_t i = 0, at = 0; i < m.rows; ++i)
        for (size_t l = 0; l < static_cast<size_t>(k); ++l, ++at) {
            const std::vector<double>& ti = theirIdx[i];
            if (l >= ti.size()) { // fewer points than k: padding
                EXPECT_TRUE(idx[at] == -1 && dist[at] == kInf) << i << " " << l;
                continue;
            }
            EXPECT_NEAR(dist[at], theirDist[i][l], 1e-12) << i << " " << l;
            EXPECT_TRUE(l == 0 || dist[at] != dist[at - 1] || idx[at - 1] < idx[at])
                << "equal distances by index, row " << i;
            // sklearn lists equal distances in any order: below the k-th
            // distance the neighbours agree as a set.
            EXPECT_TRUE(theirDist[i][l] == theirDist[i].back() ||
                        std::find(ti.begin(), ti.end(), idx[at]) != ti.end())
                << i << " " << l;
        }
}

} // namespace

TEST(Pca, ScalingAndComponentsMatchScipySklearnAndEigh) {
    // Mirrored about a point, the data have their mean at the median, so the
    // moments about the median are sklearn's covariance (400 rows, even).
    const DimRedMatrix half = gaussianMatrix(200, 4, 21);
    DimRedMatrix mirrored = matrix(400, 4, half.data);
    for (size_t i = 0; i < 800; ++i)
        mirrored.data.push_back(2.0 * static_cast<double>(i % 4) - half.data[i]);
    for (size_t i = 0; i < 400; ++i)
        mirrored.data[i * 4 + 1] += 0.8 * mirrored.data[i * 4];
    // Skewed, 301 rows: a constant column (degenerate), a log-normal one, a
    // mixed one and one whose MAD is 0 (the standard deviation takes over).
    DimRedMatrix skewed = gaussianMatrix(301, 6, 31);
    for (size_t i = 0; i < 301; ++i) {
        double* row = &skewed.data[i * 6];
        row[0] = 7.0;
        row[2] = std::exp(0.5 * row[2] - 2.0);
        row[3] -= 0.5 * row[5];
        row[4] = i % 7 == 0 ? static_cast<double>(i % 5) : 2.0;
    }
    for (const DimRedMatrix* m : {&mirrored, &skewed}) {
        const Oracle o = oracleOn("pca", *m);
        const DimRedModel model = fitPca(*m, names(m->cols));
        ASSERT_TRUE(model.valid);
        expectNear(model.centre, o.at("CENTRE")[0], 1e-12); // exact order statistics
        expectNear(model.scale, o.at("SCALE")[0], 1e-12);
        expectNear(model.loading1, oriented(o.at("EIGVEC1")[0]), 1e-9);
        expectNear(model.loading2, oriented(o.at("EIGVEC2")[0]), 1e-9);
        EXPECT_NEAR(model.explained1, o.at("EIGVAL")[0][0], 1e-12);
        EXPECT_NEAR(model.explained2, o.at("EIGVAL")[0][1], 1e-12);
        if (m == &mirrored) {
            expectNear(model.loading1, oriented(o.at("SKCOMP1")[0]), 1e-9);
            expectNear(model.loading2, oriented(o.at("SKCOMP2")[0]), 1e-9);
            expectNear({model.explained1, model.explained2}, o.at("SKRATIO")[0], 1e-9);
        } else {
            EXPECT_EQ(model.degenerate, std::vector<std::string>{"f0"});
        }
    }
}

TEST(Pca, GuardsAndTheProjection) {
    // A NaN column scales by 1.0 and is listed as degenerate; the other's
    // median is 2.5 and its MAD 1.
    const RobustScaling s =
        fitScaling(matrix(4, 2, {1, kNaN, 2, kNaN, 3, kNaN, 5, kNaN}), {"a", "b"});
    EXPECT_EQ(s.scale[1], 1.0);
    EXPECT_EQ(s.degenerate, std::vector<std::string>{"b"});
    EXPECT_DOUBLE_EQ(applyScaling(s, matrix(1, 2, {4, 0})).data[0], 1.5 / 1.4826);
    EXPECT_EQ(applyScaling(s, matrix(1, 3, {1, 2, 3})).rows, 0u);
    EXPECT_TRUE(fitScaling(matrix(2, 2, {1, 2, 3, 4}), {"one name"}).centre.empty());
    EXPECT_FALSE(fitPca(matrix(2, 2, {1, 2, 3, 5}), names(2)).valid); // fewer than 3 rows
    EXPECT_FALSE(fitPca(matrix(3, 1, {1, 2, 3}), names(1)).valid);
    DimRedModel model;
    model.features = {"a", "b"};
    model.centre = {1, 2};
    model.scale = {2, 4};
    model.loading1 = {0.6, 0.8};
    model.loading2 = {0.8, -0.6};
    model.valid = true;
    std::vector<double> x, y;
    projectOnto(model, matrix(3, 2, {3, 6, kNaN, 0, 1, -kInf}), x, y);
    EXPECT_EQ(std::make_pair(x[0], y[0]), std::make_pair(0.6 + 0.8, 0.8 - 0.6));
    EXPECT_TRUE(std::isnan(x[1]) && std::isnan(y[1]) && std::isnan(x[2]) && std::isnan(y[2]));
    projectOnto(model, matrix(1, 3, {1, 2, 3}), x, y); // another width: all NaN
    EXPECT_TRUE(x.size() == 1 && std::isnan(x[0]) && std::isnan(y[0]));
}

TEST(KnnSearch, MatchesSklearnKdTreeWithTiesAndPadding) {
    expectSklearnNeighbours(gaussianMatrix(1000, 7, 4), 15);
    DimRedMatrix grid = matrix(150, 2, {}); // integer points: many ties and duplicates
    SplitMix g(9);
    for (size_t i = 0; i < 300; ++i)
        grid.data.push_back(static_cast<double>(g.next() % 6));
    expectSklearnNeighbours(grid, 6);
    expectSklearnNeighbours(gaussianMatrix(6, 2, 5), 9); // k > n - 1
}

TEST(KnnSearch, SplitsAndTheKthPlace) {
    // 1-D: the query (index 0) sits on the root's split value, so the right
    // half is searched first and finds index 20 at +1 before index 10 at -1.
    std::vector<double> x(21);
    for (size_t i = 1; i <= 9; ++i) {
        x[i] = -10.0 - static_cast<double>(i);
        x[10 + i] = 20.0 + static_cast<double>(i);
    }
    x[10] = -1.0;
    x[20] = 1.0;
    EXPECT_EQ(KnnKdTree(x.data(), 17, 1).nodes().size(), 3u); // 17 points are split
    EXPECT_EQ(KnnKdTree(x.data(), 16, 1).nodes().size(), 1u);
    const std::vector<double> same(3 * 40, 1.25);
    EXPECT_EQ(KnnKdTree(same.data(), 40, 3).nodes().size(), 1u); // nothing to split on
    const KnnKdTree tree(x.data(), 21, 1);
    ASSERT_EQ(tree.nodes()[0].splitValue, 0.0);
    std::vector<int> idx;
    std::vector<double> dist;
    tree.query(&x[0], 1, 0, idx, dist);
    EXPECT_EQ(idx, std::vector<int>{20}); // an equal distance does not displace it
    tree.query(&x[0], 2, 0, idx, dist);
    EXPECT_EQ(idx, (std::vector<int>{10, 20}));
    tree.query(&x[0], 1, KnnKdTree::kNoExclude, idx, dist);
    EXPECT_EQ(idx, std::vector<int>{0});
    knnSearch(x.data(), 1, 1, 3, idx, dist);
    EXPECT_EQ(idx, std::vector<int>(3, -1));
    knnSearch(x.data(), 21, 1, 0, idx, dist);
    EXPECT_TRUE(idx.empty() && dist.empty());
}
