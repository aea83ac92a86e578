// Robust scaling and PCA against scipy, sklearn and numpy.linalg.eigh, the
// projection, k-d tree neighbours against sklearn's KDTree; DBSCAN of the
// embedding against sklearn's, the automatic radius, and the labelling of
// new points against the brute-force nearest clustered point, also on a
// nearly flat embedding (dimred_oracle.py modes pca, kdtree and dbscan;
// tolerances stated per check).

#include "DimRedTestData.h"
#include "dimred/Dbscan.h"
#include "dimred/KnnKdTree.h"
#include "dimred/Pca.h"
#include "dimred/RobustScaling.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <limits>
#include <sstream>
#include <thread>
#include <tuple>

using namespace Quorvex3;
using namespace Quorvex3::dimredtest;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

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
    auto done = std::async(std::launch::async, [&] { assignClusters(m, qx, qy, out); });
    if (done.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        std::fprintf(stderr, "assignClusters runs away: no search ends within 30 s\n");
        std::_Exit(1); // a running search cannot be stopped
    }
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
        expectNear(model.loading1, o.at("EIGVEC1")[0], 1e-9);
        expectNear(model.loading2, o.at("EIGVEC2")[0], 1e-9);
        EXPECT_NEAR(model.explained1, o.at("EIGVAL")[0][0], 1e-12);
        EXPECT_NEAR(model.explained2, o.at("EIGVAL")[0][1], 1e-12);
        if (m == &mirrored) {
            expectNear(model.loading1, o.at("SKCOMP1")[0], 1e-9);
            expectNear(model.loading2, o.at("SKCOMP2")[0], 1e-9);
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

TEST(Pca, ThreeRowsIdenticalFeaturesAndTheGeneralSolver) {
    EXPECT_TRUE(fitPca(matrix(3, 2, {1, 2, 3, 5, 4, 4}), names(2)).valid);
    // Two features of identical values: eigenvalues 2v and 0.
    const DimRedModel same = fitPca(matrix(5, 2, {1, 1, 2, 2, 4, 4, 7, 7, 3, 3}), names(2));
    ASSERT_TRUE(same.valid);
    EXPECT_NEAR(same.loading1[0], std::sqrt(0.5), 1e-15);
    EXPECT_NEAR(same.loading1[1], std::sqrt(0.5), 1e-15);
    EXPECT_NEAR(same.explained1, 1.0, 1e-15);
    EXPECT_NEAR(same.explained2, 0.0, 1e-15);
    // A diagonal matrix needs no rotation: the sorted diagonal and unit vectors.
    std::vector<double> a = {3, 0, 0, 0, 1, 0, 0, 0, 2}, values, vectors;
    jacobiEigenSymmetric(a, 3, values, vectors);
    EXPECT_EQ(values, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(vectors, (std::vector<double>{0, 0, 1, 1, 0, 0, 0, 1, 0}));
    // A general symmetric matrix: A v = lambda v, ascending, orthonormal.
    SplitMix g(8);
    const size_t n = 7;
    std::vector<double> sym(n * n);
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j <= i; ++j)
            sym[i * n + j] = sym[j * n + i] = g.bell();
    a = sym;
    jacobiEigenSymmetric(a, static_cast<int>(n), values, vectors);
    ASSERT_EQ(values.size(), n);
    for (size_t k = 0; k < n; ++k) {
        EXPECT_TRUE(k == 0 || values[k - 1] <= values[k]);
        for (size_t l = 0; l < n; ++l) {
            double av = 0.0, dot = 0.0;
            for (size_t j = 0; j < n; ++j) {
                av += sym[l * n + j] * vectors[j * n + k];
                dot += vectors[j * n + k] * vectors[j * n + l];
            }
            EXPECT_NEAR(av, values[k] * vectors[l * n + k], 1e-12) << k << " " << l;
            EXPECT_NEAR(dot, k == l ? 1.0 : 0.0, 1e-12) << k << " " << l;
        }
    }
    jacobiEigenSymmetric(a, 0, values, vectors);
    EXPECT_TRUE(values.empty() && vectors.empty());
}

TEST(TridiagonalEigen, HandWorkedSpectraAndTheDenseSolversPairs) {
    // The second-difference matrix (2 on the diagonal, -1 beside it) of size
    // n has eigenvalues 2 - 2 cos(k pi / (n + 1)) and eigenvectors
    // sin(j k pi / (n + 1)), k = 1..n, ascending in k.
    const double pi = 3.14159265358979323846;
    std::vector<double> values, vectors;
    for (const size_t n : {size_t(1), size_t(2), size_t(5), size_t(128)}) {
        ASSERT_TRUE(tridiagonalEigen(std::vector<double>(n, 2.0), std::vector<double>(n, -1.0),
                                     values, vectors));
        ASSERT_EQ(values.size(), n);
        ASSERT_EQ(vectors.size(), n * n);
        const double h = pi / static_cast<double>(n + 1);
        for (size_t k = 0; k < n; ++k) {
            EXPECT_NEAR(values[k], 2.0 - 2.0 * std::cos(static_cast<double>(k + 1) * h), 1e-13)
                << n << " " << k;
            double dot = 0.0, norm = 0.0;
            for (size_t j = 0; j < n; ++j) {
                const double s = std::sin(static_cast<double>((j + 1) * (k + 1)) * h);
                dot += s * vectors[j * n + k];
                norm += s * s;
            }
            EXPECT_NEAR(std::fabs(dot) / std::sqrt(norm), 1.0, 1e-12) << n << " " << k;
        }
    }
    // Random entries of wide range, a zero off-diagonal entry splitting the
    // matrix, repeated eigenvalues of a diagonal block: the same values as
    // cyclic Jacobi, A v = lambda v, orthonormal columns.
    SplitMix g(19);
    const size_t n = 40;
    std::vector<double> diag(n), off(n - 1);
    for (size_t i = 0; i < n; ++i)
        diag[i] = (i >= 30 ? 1.5 : 1e3 * g.bell());
    for (size_t i = 0; i + 1 < n; ++i)
        off[i] = (i == 12 || i >= 29 ? 0.0 : g.bell() * (i % 3 == 0 ? 1e-4 : 50.0));
    std::vector<double> dense(n * n, 0.0), jacobiValues, jacobiVectors;
    for (size_t i = 0; i < n; ++i) {
        dense[i * n + i] = diag[i];
        if (i + 1 < n)
            dense[i * n + i + 1] = dense[(i + 1) * n + i] = off[i];
    }
    const std::vector<double> a = dense;
    jacobiEigenSymmetric(dense, static_cast<int>(n), jacobiValues, jacobiVectors);
    ASSERT_TRUE(tridiagonalEigen(diag, off, values, vectors));
    for (size_t k = 0; k < n; ++k) {
        EXPECT_NEAR(values[k], jacobiValues[k], 1e-12 * 3e3) << k;
        EXPECT_TRUE(k == 0 || values[k - 1] <= values[k]);
        for (size_t l = 0; l < n; ++l) {
            double av = 0.0, dot = 0.0;
            for (size_t j = 0; j < n; ++j) {
                av += a[l * n + j] * vectors[j * n + k];
                dot += vectors[j * n + k] * vectors[j * n + l];
            }
            EXPECT_NEAR(av, values[k] * vectors[l * n + k], 1e-11) << k << " " << l;
            EXPECT_NEAR(dot, k == l ? 1.0 : 0.0, 1e-13) << k << " " << l;
        }
    }
    // No values, a short off-diagonal, a NaN: nothing or false.
    EXPECT_TRUE(tridiagonalEigen({}, {}, values, vectors));
    EXPECT_TRUE(values.empty() && vectors.empty());
    EXPECT_FALSE(tridiagonalEigen({1, 2, 3}, {1}, values, vectors));
    EXPECT_FALSE(tridiagonalEigen({1, kNaN, 3}, {1, 1}, values, vectors));
}

TEST(KnnSearch, MatchesSklearnKdTreeWithTiesPaddingAndTheKthPlace) {
    expectSklearnNeighbours(gaussianMatrix(600, 7, 4), 15);
    DimRedMatrix grid = gaussianMatrix(150, 2, 9); // rounded: many ties and duplicates
    for (double& v : grid.data)
        v = std::round(v);
    expectSklearnNeighbours(grid, 6);
    expectSklearnNeighbours(gaussianMatrix(6, 2, 5), 9); // k > n - 1
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
    const KnnKdTree tree(x.data(), 21, 1);
    ASSERT_EQ(tree.nodes()[0].splitValue, 0.0);
    std::vector<int> idx;
    std::vector<double> dist;
    tree.query(&x[0], 1, 0, idx, dist);
    EXPECT_EQ(idx, std::vector<int>{20}); // an equal distance does not displace it
}

// The k nearest other rows of row i by brute force: every other row's
// squared distance, kept by insertion into `best`, the k smallest by
// (distance, index), which must hold k entries at (infinity, -1). D is a
// constant so that the distance loop unrolls. Left out of the address
// sanitiser's checks: it reads only inside the matrix and `best`, and
// instrumented it would make most of a sanitised test run.
template <size_t D>
#if defined(__GNUC__) || defined(__clang__)
__attribute__((no_sanitize_address))
#endif
void nearestRows(const double* data, size_t rows, size_t i, size_t k,
                 std::pair<double, int>* best) {
    const double* p = data + i * D;
    for (size_t j = 0; j < rows; ++j) {
        const double* q = data + j * D;
        double sum = 0.0;
        for (size_t c = 0; c < D; ++c)
            sum += (p[c] - q[c]) * (p[c] - q[c]);
        if (!(sum < best[k - 1].first) || j == i)
            continue; // rows come in index order: an equal distance stays behind
        size_t at = k - 1;
        for (; at > 0 && sum < best[at - 1].first; --at)
            best[at] = best[at - 1];
        best[at] = {sum, static_cast<int>(j)};
    }
}

// The k nearest other rows of every row by brute force (4e8 distances at
// 20,000 rows), spread over threads.
template <size_t D>
void bruteForceNeighbours(const DimRedMatrix& m, size_t k, std::vector<int>& idx,
                          std::vector<double>& d2) {
    ASSERT_EQ(m.cols, D);
    idx.assign(m.rows * k, -1);
    d2.assign(m.rows * k, kInf);
    const size_t threads = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
    std::vector<std::thread> pool;
    for (size_t t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            std::vector<std::pair<double, int>> best;
            for (size_t i = t; i < m.rows; i += threads) {
                best.assign(k, {kInf, -1});
                nearestRows<D>(m.data.data(), m.rows, i, k, best.data());
                for (size_t l = 0; l < k; ++l)
                    std::tie(d2[i * k + l], idx[i * k + l]) = best[l];
            }
        });
    for (std::thread& t : pool)
        t.join();
}

// At 20,000 rows the tree is 11 levels deep, so a query crosses splits of
// one coordinate several times on its way down: the far side's bound must
// replace the offset met at the earlier split of that coordinate, not add
// to it, or a few rows miss a neighbour just across a split.
TEST(KnnSearch, EveryRowMatchesBruteForceAtTwentyThousandRows) {
    const size_t k = 15;
    for (const size_t dims : {2, 3, 10}) {
        SCOPED_TRACE(std::to_string(dims) + " dimensions");
        DimRedMatrix m = dims != 2 ? blobs(6667, dims, 17) : gaussianMatrix(20000, dims, 3 + dims);
        m.rows = 20000;
        m.data.resize(m.rows * m.cols);
        std::vector<int> idx, theirIdx;
        std::vector<double> dist, theirD2;
        knnSearch(m.data.data(), m.rows, m.cols, static_cast<int>(k), idx, dist);
        if (dims == 2)
            bruteForceNeighbours<2>(m, k, theirIdx, theirD2);
        else if (dims == 3)
            bruteForceNeighbours<3>(m, k, theirIdx, theirD2);
        else
            bruteForceNeighbours<10>(m, k, theirIdx, theirD2);
        size_t wrongRows = 0;
        for (size_t i = 0; i < m.rows; ++i) {
            bool same = true;
            for (size_t l = 0; l < k; ++l) {
                const size_t at = i * k + l;
                same = same && idx[at] == theirIdx[at] &&
                       std::fabs(dist[at] * dist[at] - theirD2[at]) <= 1e-12 * theirD2[at];
            }
            if (!same && ++wrongRows <= 3)
                ADD_FAILURE() << "row " << i << ": 15th neighbour " << idx[i * k + k - 1] << " at "
                              << dist[i * k + k - 1] << ", brute force " << theirIdx[i * k + k - 1]
                              << " at " << std::sqrt(theirD2[i * k + k - 1]);
        }
        EXPECT_EQ(wrongRows, 0u) << " of " << m.rows << " rows";
    }
}

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
    for (const auto& [eps, minPts] : {std::pair(0.0, 1), std::pair(kNaN, 1), std::pair(1.0, 0)})
        EXPECT_EQ(dbscan2d({0, 0, 0, 0}, 2, eps, minPts, count), std::vector<int>(2, -1));
    EXPECT_EQ(count, 0);
    // 20000 points within one radius of each other: queuing each point once
    // per cluster keeps this fast and small.
    EXPECT_EQ(dbscan2d(gaussianMatrix(20000, 2, 4).data, 20000, 100.0, 10, count),
              std::vector<int>(20000, 0));
}

TEST(SuggestEps, RadiiOfTheLongestPlateauOfTheSample) {
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
    // Of 24000 points every second one is sampled.
    const std::vector<double> pts = clusteredPlane(24000, 6);
    std::vector<double> sample;
    for (size_t i = 0; i < pts.size(); i += 4)
        sample.insert(sample.end(), {pts[i], pts[i + 1]});
    const double eps = suggestEps(pts, 24000, 10);
    EXPECT_GT(eps, 0.0);
    EXPECT_EQ(eps, suggestEps(sample, 12000, 10));
}

TEST(ClusterAssign, KeepsClusteredPointsAndLabelsTheNearestWithinTheRadius) {
    DimRedClusterModel m = buildClusterModel({0, 10, 0.5, 20, 1.0}, {0, 0, 0, 0, 0, 7}, 0.6, 2);
    ASSERT_TRUE(m.valid);
    EXPECT_EQ(m.points, (std::vector<double>{0, 0, 0.5, 0, 1.0, 0})); // noise left out
    EXPECT_EQ(std::make_tuple(m.labels, m.clusterCount, m.minPts),
              std::make_tuple(std::vector<int>(3, 0), 1, 2));
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
