// k-d tree neighbours: the edge cases of the search rules, and agreement
// with sklearn.neighbors.KDTree (dimred_oracle.py kdtree; distances 1e-12,
// indices exact where no tie decides them).

#include "DimRedTestData.h"
#include "dimred/KnnKdTree.h"
#include "dimred/ParallelChunks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Quorvex3;
using namespace Quorvex3::dimredtest;

namespace {

const double kInf = std::numeric_limits<double>::infinity();

struct Knn {
    std::vector<int> idx;
    std::vector<double> dist;
};

Knn search(const std::vector<double>& data, size_t dim, int k) {
    Knn out;
    knnSearch(data.data(), data.size() / dim, dim, k, out.idx, out.dist);
    return out;
}

// Integer grid points: many exact ties.
std::vector<double> gridWithDuplicates(size_t n, uint64_t seed) {
    SplitMix g(seed);
    std::vector<double> data;
    for (size_t i = 0; i < 2 * n; ++i)
        data.push_back(static_cast<double>(g.next() % 6));
    return data;
}

void compareWithSklearn(const std::vector<double>& data, size_t dim, int k) {
    const size_t n = data.size() / dim;
    const Knn ours = search(data, dim, k);
    TempDir dir;
    writeMatrixFile(dir.file("x.txt"), data, n, dim);
    const auto oracle = runOracle("kdtree", dir.file("x.txt"), std::to_string(k));
    size_t row = 0;
    for (size_t line = 0; line + 1 < oracle.size(); line += 2, ++row) {
        const std::vector<double>& idx = oracle[line].second;
        const std::vector<double>& dist = oracle[line + 1].second;
        const size_t found = idx.size();
        ASSERT_LE(found, static_cast<size_t>(k));
        const double kth = found ? dist[found - 1] : kInf;
        for (size_t l = 0; l < static_cast<size_t>(k); ++l) {
            const size_t at = row * static_cast<size_t>(k) + l;
            if (l >= found) {
                EXPECT_EQ(ours.idx[at], -1);
                EXPECT_EQ(ours.dist[at], kInf);
                continue;
            }
            EXPECT_NEAR(ours.dist[at], dist[l], 1e-12) << "row " << row << " slot " << l;
            // Equal distances may be listed in any order by sklearn; the
            // neighbours closer than the k-th distance must agree as a set.
            if (dist[l] < kth) {
                bool listed = false;
                for (size_t m = 0; m < found; ++m)
                    listed = listed || (static_cast<int>(idx[m]) == ours.idx[at]);
                EXPECT_TRUE(listed) << "row " << row << " slot " << l;
            }
        }
        if (found > 1 && dist[0] < dist[1]) {
            EXPECT_EQ(ours.idx[row * static_cast<size_t>(k)], static_cast<int>(idx[0]));
        }
    }
    EXPECT_EQ(row, n);
}

} // namespace

TEST(KnnSearch, MatchesSklearnKdTree) {
    compareWithSklearn(gaussianMatrix(400, 3, 3).data, 3, 10);
    compareWithSklearn(gaussianMatrix(1000, 8, 4).data, 8, 15);
}

TEST(KnnSearch, TiesAndPaddingMatchSklearnKdTree) {
    compareWithSklearn(gridWithDuplicates(150, 9), 2, 6);
    compareWithSklearn(gaussianMatrix(6, 2, 5).data, 2, 9); // k > n - 1: padding
}

TEST(KnnSearch, PadsWhenFewerPointsThanK) {
    const Knn r = search({0, 1, 3, 7, 15}, 1, 6);
    ASSERT_EQ(r.idx.size(), 30u);
    EXPECT_EQ(std::vector<int>(r.idx.begin(), r.idx.begin() + 6),
              (std::vector<int>{1, 2, 3, 4, -1, -1}));
    EXPECT_EQ(std::vector<double>(r.dist.begin(), r.dist.begin() + 6),
              (std::vector<double>{1, 3, 7, 15, kInf, kInf}));
    const Knn single = search({2.5, 1.0}, 2, 3);
    EXPECT_EQ(single.idx, (std::vector<int>{-1, -1, -1}));
    EXPECT_EQ(single.dist, (std::vector<double>{kInf, kInf, kInf}));
    const Knn none = search({1, 2, 3}, 1, 0);
    EXPECT_TRUE(none.idx.empty() && none.dist.empty());
}

TEST(KnnSearch, DuplicatesListEachOtherFirstByIndex) {
    // Points 0, 2 and 4 coincide; 1 and 3 are farther away.
    const Knn r = search({0, 0, 5, 0, 0, 0, 3, 0, 0, 0}, 2, 3);
    EXPECT_EQ(std::vector<int>(r.idx.begin(), r.idx.begin() + 3), (std::vector<int>{2, 4, 3}));
    EXPECT_EQ(std::vector<int>(r.idx.begin() + 6, r.idx.begin() + 9), (std::vector<int>{0, 4, 3}));
    EXPECT_EQ(r.dist[6], 0.0);
    EXPECT_EQ(r.dist[7], 0.0);
}

TEST(KnnSearch, AllPointsIdenticalMakeOneLeaf) {
    const std::vector<double> data(3 * 40, 1.25);
    const KnnKdTree tree(data.data(), 40, 3);
    ASSERT_EQ(tree.nodes().size(), 1u);
    EXPECT_TRUE(tree.nodes()[0].leaf);
    const Knn r = search(data, 3, 3);
    EXPECT_EQ(std::vector<int>(r.idx.begin(), r.idx.begin() + 3), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(std::vector<int>(r.idx.begin() + 3 * 5, r.idx.begin() + 3 * 6),
              (std::vector<int>{0, 1, 2}));
}

TEST(KnnSearch, TieAtTheKthPlaceKeepsThePointFoundFirst) {
    // 1-D: the query (index 0) sits on the root's split value, so the right
    // half is searched first and finds index 20 at +1 before index 10 at -1.
    std::vector<double> x(21);
    x[0] = 0.0;
    for (int i = 1; i <= 9; ++i) {
        x[static_cast<size_t>(i)] = -10.0 - i;
        x[static_cast<size_t>(10 + i)] = 20.0 + i;
    }
    x[10] = -1.0;
    x[20] = 1.0;
    const KnnKdTree tree(x.data(), 21, 1);
    ASSERT_FALSE(tree.nodes()[0].leaf);
    EXPECT_EQ(tree.nodes()[0].splitValue, 0.0);
    std::vector<int> idx;
    std::vector<double> dist;
    tree.query(&x[0], 1, 0, idx, dist);
    EXPECT_EQ(idx, (std::vector<int>{20}));
    tree.query(&x[0], 2, 0, idx, dist);
    EXPECT_EQ(idx, (std::vector<int>{10, 20})); // equal distances by index
    tree.query(&x[0], 1, KnnKdTree::kNoExclude, idx, dist);
    EXPECT_EQ(idx, (std::vector<int>{0}));
    EXPECT_EQ(dist, (std::vector<double>{0.0}));
}

TEST(KnnSearch, SplitsRangesOfSeventeenPoints) {
    std::vector<double> x(17);
    for (size_t i = 0; i < 17; ++i)
        x[i] = static_cast<double>(i);
    EXPECT_EQ(KnnKdTree(x.data(), 17, 1).nodes().size(), 3u);
    EXPECT_EQ(KnnKdTree(x.data(), 16, 1).nodes().size(), 1u);
}

TEST(KnnSearch, SameResultOnAnyThreadCount) {
    const DimRedMatrix m = gaussianMatrix(5000, 4, 8);
    setDimRedThreadCount(1);
    const Knn one = search(m.data, 4, 12);
    setDimRedThreadCount(6);
    const Knn six = search(m.data, 4, 12);
    setDimRedThreadCount(0);
    EXPECT_EQ(one.idx, six.idx);
    EXPECT_EQ(one.dist, six.dist);
}
