// UMAP fit: the curve, the bandwidths and the fuzzy graph against umap-learn
// (umap_oracle.txt, 1e-5), the explicit hash-table order of the graph's
// edges, the overlapped optimisation against the plain sequential rules,
// the fit's own rules, and the spectral start against numpy (the layout's
// two vectors within the span of numpy's 2nd and 3rd eigenvectors of
// D^-1/2 W D^-1/2, |cos| >= 0.99; dimred_oracle.py spectral).

#include "DimRedTestData.h"
#include "dimred/KnnKdTree.h"
#include "dimred/SpectralInit.h"
#include "dimred/Umap.h"
#include "dimred/UmapGraph.h"
#include "dimred/UmapLayout.h"
#include "dimred/UmapMath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <list>
#include <map>

using namespace Quorvex3;
using namespace Quorvex3::dimredtest;
using namespace Quorvex3::umapdetail;

namespace {

const double kInf = std::numeric_limits<double>::infinity();

void expectRelative(const std::vector<double>& actual, const std::vector<double>& expected,
                    double tol) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], tol * std::fabs(expected[i])) << "entry " << i;
}

std::vector<UmapEdge> fuzzyGraph(const DimRedMatrix& m, size_t k) {
    std::vector<int> idx;
    std::vector<double> dist, sigma, rho;
    knnSearch(m.data.data(), m.rows, m.cols, static_cast<int>(k), idx, dist);
    smoothKnnDist(dist, m.rows, k, sigma, rho);
    return buildFuzzyGraph(idx, dist, m.rows, k, sigma, rho);
}

UmapParams epochs(int n) {
    UmapParams p;
    p.n_epochs = n;
    return p;
}

std::vector<int> progressOf(const DimRedMatrix& m, const UmapParams& p, int cancelAt = -1) {
    std::vector<int> seen;
    umapFit(m, p, [&](int v) {
        seen.push_back(v);
        return v != cancelAt;
    });
    return seen;
}

// The optimisation as the rules state it: one edge after the other, each
// with its negative samples drawn and applied in turn.
void sequentialLayout(const std::vector<UmapEdge>& edges, const UmapParams& p, int nEpochs,
                      double a, double b, std::vector<double>& pos, Engine& engine) {
    const std::vector<double> eps = makeEpochsPerSample(edges, nEpochs);
    std::vector<double> next = eps, epn(edges.size());
    for (size_t e = 0; e < edges.size(); ++e)
        epn[e] = eps[e] / p.negative_sample_rate;
    std::vector<double> nextNeg = epn;
    for (int t = 0; t < nEpochs; ++t) {
        const double alpha = p.learning_rate * (1.0 - static_cast<double>(t) / nEpochs);
        for (size_t e = 0; e < edges.size(); ++e) {
            if (!(eps[e] > 0) || !(next[e] <= t))
                continue;
            const size_t i = static_cast<size_t>(edges[e].i), j = static_cast<size_t>(edges[e].j);
            double dx = pos[2 * i] - pos[2 * j], dy = pos[2 * i + 1] - pos[2 * j + 1];
            double g = attraction(dx * dx + dy * dy, a, b);
            const double cx = clip4(g * dx) * alpha, cy = clip4(g * dy) * alpha;
            pos[2 * i] += cx;
            pos[2 * i + 1] += cy;
            pos[2 * j] -= cx;
            pos[2 * j + 1] -= cy;
            next[e] += eps[e];
            const int nNeg = static_cast<int>((t - nextNeg[e]) / epn[e]);
            for (int s = 0; s < nNeg; ++s) {
                const size_t m = engine() % (pos.size() / 2);
                dx = pos[2 * i] - pos[2 * m];
                dy = pos[2 * i + 1] - pos[2 * m + 1];
                g = dx * dx + dy * dy > 0 ? repulsion(dx * dx + dy * dy, a, b, p.repulsion_strength)
                                          : 0.0;
                if (m != i) {
                    pos[2 * i] += g > 0 ? clip4(g * dx) * alpha : 4.0 * alpha;
                    pos[2 * i + 1] += g > 0 ? clip4(g * dy) * alpha : 4.0 * alpha;
                }
            }
            if (nNeg >= 1)
                nextNeg[e] += nNeg * epn[e];
        }
    }
}

} // namespace

// ---- against umap-learn ---------------------------------------------------------

TEST(UmapLearn, CurveBandwidthsAndFuzzyGraphMatch) {
    const Oracle& u = umapLearn();
    ASSERT_EQ(lines(u, "AB").size(), 6u);
    for (const auto& r : lines(u, "AB")) {
        double a = 0, b = 0;
        fitAbParams(r[1], r[0], a, b);
        EXPECT_NEAR(a, r[2], 1e-5 * r[2]) << "spread " << r[0] << " min_dist " << r[1];
        EXPECT_NEAR(b, r[3], 1e-5 * r[3]) << "spread " << r[0] << " min_dist " << r[1];
    }
    std::vector<double> dists, x, sigma, rho;
    for (const auto& r : lines(u, "SMOOTHDIST")) // sorted rows, two with zeros
        dists.insert(dists.end(), r.begin(), r.end());
    smoothKnnDist(dists, 40, 8, sigma, rho);
    expectRelative(sigma, line(u, "SMOOTHSIGMA"), 1e-5);
    // umap-learn keeps rho and sigma in single precision and bisects in it:
    // on other data a row may stop one bisection step (2e-5) apart.
    expectRelative(rho, line(u, "SMOOTHRHO"), 1e-5);
    for (const auto& r : lines(u, "GRAPHX"))         // 90 points of three blobs in 6-D
        x.insert(x.end(), r.begin(), r.end());
    std::vector<int> idx;
    knnSearch(x.data(), 90, 6, 10, idx, dists);
    smoothKnnDist(dists, 90, 10, sigma, rho);
    expectRelative(sigma, line(u, "GRAPHSIGMA"), 1e-5);
    expectRelative(rho, line(u, "GRAPHRHO"), 1e-5);
    std::map<std::pair<int, int>, double> expected;
    for (const auto& e : lines(u, "EDGE"))
        expected[{static_cast<int>(e[0]), static_cast<int>(e[1])}] = e[2];
    const std::vector<UmapEdge> graph = buildFuzzyGraph(idx, dists, 90, 10, sigma, rho);
    ASSERT_EQ(graph.size(), expected.size());
    for (const UmapEdge& e : graph)
        EXPECT_NEAR(e.weight, expected.at({std::min(e.i, e.j), std::max(e.i, e.j)}), 1e-5);
}

TEST(UmapCurve, BandwidthEdgeCases) {
    // Row 0: padding (+inf) is ignored. Row 1: all distances equal, so the
    // bisection shrinks sigma to nothing and the floor 0.001 x row mean
    // holds. Row 2: all zero, so rho is 0 and the floor uses the mean of all
    // finite distances.
    const std::vector<double> d = {0.5, 1.0, kInf, kInf, 2, 2, 2, 2, 0, 0, 0, 0};
    std::vector<double> sigma, rho;
    smoothKnnDist(d, 3, 4, sigma, rho);
    EXPECT_EQ(rho, (std::vector<double>{0.5, 2, 0}));
    EXPECT_DOUBLE_EQ(sigma[1], 0.002);
    EXPECT_DOUBLE_EQ(sigma[2], 0.001 * (1.5 + 8.0) / 10.0);
    // Row 0's two memberships 1 + exp(-0.5 / s) only approach log2(4) = 2:
    // sigma doubles until within 1e-5 of it, at s = 2^16.
    EXPECT_EQ(sigma[0], 65536.0);
}

// ---- the explicit table order ---------------------------------------------------

TEST(UmapGraph, EdgesFollowTheChainedTableOrder) {
    EXPECT_EQ(tableBucketCount(1, 1), 2u);
    EXPECT_EQ(tableBucketCount(1024, 1000), 1024u);
    EXPECT_EQ(tableBucketCount(1000, 1000), 1009u);
    EXPECT_EQ(tableBucketCount(16777217, 0), 16777216u);        // single precision: 2^24
    EXPECT_EQ(tableBucketCount(16777217, 16777217), 16777259u); // never fewer than entries
    // Keys (i << 32) | j of 3 rows with 2 neighbours in 7 buckets: bucket
    // (4i + j) mod 7. A key opening a bucket goes to the front, one joining
    // a bucket goes before that bucket's first key. Worked by hand.
    const std::vector<uint64_t> keys = {
        1, 2, (1ull << 32) | 0, (1ull << 32) | 2, (2ull << 32) | 0, (2ull << 32) | 1};
    EXPECT_EQ(chainedTableOrder(keys, 7), (std::vector<uint32_t>{3, 2, 5, 1, 4, 0}));
    EXPECT_EQ(chainedTableOrder(keys, 4), (std::vector<uint32_t>{4, 2, 3, 1, 5, 0})); // key & 3
    // The graph's edges follow that order: (1,2), (1,0), (0,2).
    const std::vector<UmapEdge> g =
        buildFuzzyGraph({1, 2, 0, 2, 0, 1}, {1, 2, 1, 1.5, 2, 1.5}, 3, 2, {1, 1, 1}, {1, 1, 1.5});
    ASSERT_EQ(g.size(), 3u);
    EXPECT_EQ(std::vector<int>({g[0].i, g[0].j, g[1].i, g[1].j, g[2].i, g[2].j}),
              std::vector<int>({1, 2, 1, 0, 0, 2}));
    const double w12 = std::exp(-0.5), w02 = std::exp(-1.0), w20 = std::exp(-0.5);
    EXPECT_DOUBLE_EQ(g[0].weight, std::fma(-w12, 1.0, w12 + 1.0));
    EXPECT_DOUBLE_EQ(g[2].weight, std::fma(-w02, w20, w02 + w20));
}

// ---- the optimisation ---------------------------------------------------------------

TEST(UmapLayout, OverlappedStepsGiveTheBitsOfTheSequentialOrder) {
    // Small data make steps share points often (batches break up); larger
    // data let most steps overlap. Both must equal the plain loop.
    for (const size_t perBlob : {4u, 300u}) {
        const DimRedMatrix m = blobs(perBlob, 3, 31);
        const std::vector<UmapEdge> edges = fuzzyGraph(m, 5);
        UmapParams p;
        p.negative_sample_rate = 3;
        double a = 0, b = 0;
        fitAbParams(0.1, 1.0, a, b);
        std::vector<double> start(2 * m.rows);
        Engine init(5), e1(9), e2(9);
        for (double& v : start)
            v = -10 + 20 * uniform(init);
        std::vector<double> expected = start, actual = start;
        sequentialLayout(edges, p, 60, a, b, expected, e1);
        ASSERT_TRUE(optimiseLayout(edges, p, 60, a, b, actual, e2, {}));
        EXPECT_EQ(actual, expected) << perBlob;
        EXPECT_EQ(e1(), e2()); // the same number of draws
    }
}

TEST(UmapLayout, ArithmeticAndSchedule) {
    SplitMix g(17);
    for (const uint64_t d : {1ull, 3ull, 7ull, 99991ull, 4294967295ull, 1ull << 40})
        for (int i = 0; i < 20000; ++i) {
            const uint64_t a = i < 4 ? ~0ull - static_cast<uint64_t>(i) : g.next();
            ASSERT_EQ(FastModulo(d)(a), a % d) << a << " mod " << d;
        }
    for (double x = 1e-12; x < 1e12; x *= 1.37)
        for (const double b : {0.79, 0.8950608780665811, 1.9})
            EXPECT_NEAR(powPositive(x, b), std::pow(x, b), 1e-13 * std::pow(x, b));
    const std::vector<UmapEdge> edges = {{0, 1, 1.0}, {1, 2, 0.5}, {2, 3, 0.25}, {3, 4, 0.0}};
    EXPECT_EQ(makeEpochsPerSample(edges, 200), (std::vector<double>{1, 2, 4, -1}));
}

// ---- umapFit ------------------------------------------------------------------------

TEST(UmapFit, GuardsAndDegenerateData) {
    EXPECT_FALSE(umapFit(gaussianMatrix(4, 3, 1), epochs(30), {}).valid);
    EXPECT_FALSE(umapFit(matrix(10, 0, {}), epochs(30), {}).valid);
    UmapParams p = epochs(30);
    p.n_neighbors = 1; // at least 2 neighbours are used
    const UmapModel five = umapFit(gaussianMatrix(5, 3, 1), p, {});
    ASSERT_TRUE(five.valid);
    EXPECT_EQ(five.nTrain, 5u);
    EXPECT_EQ(five.nFeatures, 3u);
    EXPECT_EQ(five.trainData, gaussianMatrix(5, 3, 1).data);
    const UmapModel same = umapFit(matrix(12, 2, std::vector<double>(24, 3.5)), epochs(10), {});
    ASSERT_TRUE(same.valid);
    for (const double v : same.embedding)
        EXPECT_TRUE(std::isfinite(v));
}

TEST(UmapFit, EpochsProgressAndCancellation) {
    std::vector<int> expected = {0, 20, 30, 35};
    for (int e = 1; e <= 7; ++e)
        expected.push_back(35 + e * 60 / 7);
    expected.push_back(100);
    const DimRedMatrix m = gaussianMatrix(40, 3, 4);
    EXPECT_EQ(progressOf(m, epochs(7)), expected);
    EXPECT_EQ(progressOf(m, epochs(7), 20), (std::vector<int>{0, 20}));
    EXPECT_FALSE(umapFit(m, epochs(7), [](int v) { return v < 20; }).valid);
    UmapParams p = epochs(-3);
    p.init = 1;
    EXPECT_EQ(umapFit(gaussianMatrix(60, 2, 3), p, {}).params.n_epochs, 500);
    // Above 10000 rows 200 epochs: progress 35 + 60 e / 200 first reaches
    // 36 after epoch 4 (with 500 epochs: 9).
    p.n_epochs = 0;
    EXPECT_EQ(progressOf(gaussianMatrix(10001, 2, 3), p, 36).size(), 4u + 4u);
}

TEST(UmapFit, RandomStartUsesTheFirstEngineOutputs) {
    // With a learning rate of 0 nothing moves, so the embedding is the start.
    UmapParams p = epochs(3);
    p.init = 1;
    p.learning_rate = 0.0;
    p.seed = 1234;
    const UmapModel m = umapFit(gaussianMatrix(20, 2, 5), p, {});
    ASSERT_TRUE(m.valid);
    EXPECT_EQ(m.initUsed, 1);
    std::mt19937_64 engine(1234);
    for (size_t i = 0; i < 40; ++i)
        EXPECT_EQ(m.embedding[i], -10.0 + 20.0 * (static_cast<double>(engine()) * 0x1p-64)) << i;
}

TEST(UmapFit, NegativeSampleRateBelowOneMeansNoNegativeSampling) {
    const DimRedMatrix m = blobs(20, 3, 6);
    std::vector<double> embedding[3];
    for (const int rate : {0, -4, 1}) {
        UmapParams p = epochs(20);
        p.negative_sample_rate = rate;
        const UmapModel model = umapFit(m, p, {});
        ASSERT_TRUE(model.valid);
        embedding[rate == 0 ? 0 : rate < 0 ? 1 : 2] = model.embedding;
    }
    for (const double v : embedding[0])
        EXPECT_TRUE(std::isfinite(v));
    EXPECT_EQ(embedding[0], embedding[1]);
    EXPECT_NE(embedding[0], embedding[2]);
}

// ---- spectral start -----------------------------------------------------------------

TEST(SpectralInit, EigenvectorsSpanNumpysLeadingNonTrivialPair) {
    // One elongated cloud: a connected graph whose leading non-trivial
    // eigenvalues stand apart from the rest.
    const DimRedMatrix m = gaussianMatrix(400, 2, 12);
    const std::vector<UmapEdge> edges = fuzzyGraph(m, 15);
    SpectralGraph g;
    DimRedMatrix edgeRows = matrix(edges.size(), 3, {});
    std::vector<std::vector<std::pair<uint32_t, double>>> rows(m.rows);
    for (const UmapEdge& e : edges) {
        rows[static_cast<size_t>(e.i)].push_back({static_cast<uint32_t>(e.j), e.weight});
        rows[static_cast<size_t>(e.j)].push_back({static_cast<uint32_t>(e.i), e.weight});
        edgeRows.data.insert(edgeRows.data.end(), {double(e.i), double(e.j), e.weight});
    }
    g.rowStart.push_back(0);
    for (const auto& row : rows) {
        for (const auto& [j, w] : row) {
            g.neighbours.push_back(j);
            g.weights.push_back(w);
        }
        g.rowStart.push_back(g.neighbours.size());
    }
    std::vector<double> out;
    ASSERT_TRUE(computeSpectralEigenvectors(g, 42, out));
    const Oracle o = oracleOn("spectral", edgeRows, std::to_string(m.rows));
    const std::vector<double> v2 = line(o, "VEC2"), v3 = line(o, "VEC3"),
                              values = line(o, "VALUES");
    ASSERT_EQ(v2.size(), m.rows);
    ASSERT_GT(values[2] - values[3], 1e-3); // the pair is well defined
    for (size_t axis = 0; axis < 2; ++axis) {
        double dot2 = 0, dot3 = 0, norm = 0;
        for (size_t i = 0; i < m.rows; ++i) {
            const double u = out[2 * i + axis];
            dot2 += u * v2[i];
            dot3 += u * v3[i];
            norm += u * u;
        }
        EXPECT_NEAR(norm, 1.0, 1e-9);
        EXPECT_GE(std::hypot(dot2, dot3), 0.99) << "axis " << axis;
    }
    // A node without neighbours has no degree to normalise by; 3 nodes are too few.
    g = SpectralGraph{{0, 2, 3, 4, 5, 5}, {1, 4, 0, 0, 1}, {1, 1, 1, 1, 1}};
    EXPECT_FALSE(computeSpectralEigenvectors(g, 1, out));
    g = SpectralGraph{{0, 1, 3, 4}, {1, 0, 2, 1}, {1, 1, 1, 1}};
    EXPECT_FALSE(computeSpectralEigenvectors(g, 1, out));
}

TEST(SpectralInit, ComponentsPlacedByTheirCentroidsWithinTen) {
    // Two far-apart blobs: classical scaling of two centroids has one
    // non-zero axis, so both centres lie on y = 0, far apart.
    DimRedMatrix two = blobs(40, 2, 17);
    two.data.erase(two.data.begin() + 80, two.data.begin() + 160); // drop the middle blob
    two.rows = 80;
    std::vector<double> emb;
    ASSERT_TRUE(spectralInit(fuzzyGraph(two, 8), two, 9, emb));
    double cx[2] = {0, 0}, cy[2] = {0, 0}, largest = 0;
    for (size_t i = 0; i < 80; ++i) {
        cx[i / 40] += emb[2 * i] / 40;
        cy[i / 40] += emb[2 * i + 1] / 40;
        largest = std::max({largest, std::fabs(emb[2 * i]), std::fabs(emb[2 * i + 1])});
    }
    EXPECT_NEAR(largest, 10.0, 0.001);
    EXPECT_NEAR(cy[0], 0.0, 0.5);
    EXPECT_NEAR(cy[1], 0.0, 0.5);
    EXPECT_GT(std::fabs(cx[0] - cx[1]), 9.0);
    // Three pairs about the same centroid: centres 120 degrees apart on a
    // circle, every member within the distance between centres.
    ASSERT_TRUE(spectralInit({{0, 1, 1.0}, {2, 3, 1.0}, {4, 5, 1.0}},
                             matrix(6, 1, {-1, 1, -2, 2, -3, 3}), 3, emb));
    for (size_t c = 0; c < 3; ++c) {
        const double x = (emb[4 * c] + emb[4 * c + 2]) / 2,
                     y = (emb[4 * c + 1] + emb[4 * c + 3]) / 2;
        EXPECT_NEAR(std::atan2(y, x), std::remainder(2.0 * M_PI * c / 3.0, 2 * M_PI), 0.6) << c;
        EXPECT_LE(std::hypot(emb[4 * c] - x, emb[4 * c + 1] - y),
                  std::sqrt(3.0) * std::hypot(x, y));
    }
    // At most 256 components, and no unusable graph.
    std::vector<UmapEdge> pairs;
    for (int c = 0; c < 257; ++c)
        pairs.push_back({2 * c, 2 * c + 1, 1.0});
    EXPECT_FALSE(spectralInit(pairs, gaussianMatrix(514, 2, 16), 7, emb));
    pairs.pop_back();
    EXPECT_TRUE(spectralInit(pairs, gaussianMatrix(512, 2, 16), 7, emb));
    EXPECT_FALSE(spectralInit({}, two, 1, emb));
    EXPECT_FALSE(spectralInit({{0, 80, 1.0}}, two, 1, emb)); // beyond the rows
    EXPECT_FALSE(spectralInit({{0, -1, 1.0}}, two, 1, emb));
}
