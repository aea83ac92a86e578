// UMAP: the curve, the bandwidths and the fuzzy graph against umap-learn
// (umap_oracle.txt, 1e-5), the explicit hash-table order of the graph's
// edges, the overlapped optimisation against the plain sequential rules,
// the fit's and the transform's own rules, the spectral start against numpy
// (the layout's two vectors within the span of numpy's 2nd and 3rd
// eigenvectors of D^-1/2 W D^-1/2, |cos| >= 0.99), the quality against the
// peer on three Gaussian blobs in 6-D (embedding kNN accuracy >= 0.98,
// trustworthiness within 0.03 of umap-learn's stored figure, held-out points
// nearest their own blob >= 95%), and the same bits on any thread count.
// dimred_oracle.py computes the run-time references (modes spectral, quality).

#include "DimRedTestData.h"
#include "dimred/Dbscan.h"
#include "dimred/KnnKdTree.h"
#include "dimred/ParallelChunks.h"
#include "dimred/Pca.h"
#include "dimred/RobustScaling.h"
#include "dimred/SpectralInit.h"
#include "dimred/Umap.h"
#include "dimred/UmapGraph.h"
#include "dimred/UmapLayout.h"
#include "dimred/UmapMath.h"
#include "support/PythonOracle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <tuple>

using namespace Quorvex3;
using namespace Quorvex3::dimredtest;
using namespace Quorvex3::umapdetail;

namespace {

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

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

// Three 1-D training points at 0, 1 and 3, embedded at x = 0, 10 and 30.
UmapModel lineModel(double learningRate, int neighbours = 3, int nEpochs = 30) {
    UmapParams p = epochs(nEpochs);
    p.n_neighbors = neighbours;
    p.learning_rate = learningRate;
    UmapModel m{{0, 1, 3}, {0, 0, 10, 0, 30, 0}, 3, 1, p, 0.0, 0.0, 1, true};
    fitAbParams(0.1, 1.0, m.a, m.b);
    return m;
}

std::vector<double> transform(const UmapModel& model, const DimRedMatrix& m,
                              std::vector<int>* seen = nullptr, int cancelAt = -1) {
    std::vector<double> out;
    umapTransform(model, m, out, [&](int v) {
        if (seen)
            seen->push_back(v);
        return v != cancelAt;
    });
    return out;
}

// The optimisation as the rules state it: one edge after the other, each
// with its negative samples drawn and applied in turn.
void sequentialLayout(const std::vector<UmapEdge>& edges, const UmapParams& p, int nEpochs,
                      double a, double b, std::vector<double>& pos, Engine& engine) {
    const auto sq = [](double v) { return v * v; };
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
            double* pi = &pos[2 * static_cast<size_t>(edges[e].i)];
            double* pj = &pos[2 * static_cast<size_t>(edges[e].j)];
            const double g = attraction(sq(pi[0] - pj[0]) + sq(pi[1] - pj[1]), a, b);
            for (int d = 0; d < 2; ++d) {
                const double c = clip4(g * (pi[d] - pj[d])) * alpha;
                pi[d] += c;
                pj[d] -= c;
            }
            next[e] += eps[e];
            const int nNeg = static_cast<int>((t - nextNeg[e]) / epn[e]);
            for (int s = 0; s < nNeg; ++s) {
                const double* pm = &pos[2 * (engine() % (pos.size() / 2))];
                const double d2 = sq(pi[0] - pm[0]) + sq(pi[1] - pm[1]);
                const double r = d2 > 0 ? repulsion(d2, a, b, p.repulsion_strength) : 0.0;
                for (int d = 0; d < 2 && pm != pi; ++d) // a draw of the point itself: nothing
                    pi[d] += r > 0 ? clip4(r * (pi[d] - pm[d])) * alpha : 4.0 * alpha;
            }
            if (nNeg >= 1)
                nextNeg[e] += nNeg * epn[e];
        }
    }
}

// The transform as the rules state it, one point after the other: start at
// the membership-weighted mean of the k nearest training points, then a
// third of the fit's epochs of attraction to every neighbour and
// negative_sample_rate repulsions from training points drawn with the seed
// XOR 0x9E3779B97F4A7C15.
std::vector<double> sequentialTransform(const UmapModel& model, const DimRedMatrix& m) {
    const size_t k = std::min<size_t>(std::max(model.params.n_neighbors, 2), model.nTrain);
    const KnnKdTree tree(model.trainData.data(), model.nTrain, model.nFeatures);
    std::vector<int> idx(m.rows * k, -1), found;
    std::vector<double> dist(m.rows * k, kInf), near, sigma, rho;
    for (size_t p = 0; p < m.rows; ++p) {
        tree.query(&m.data[p * m.cols], static_cast<int>(k), KnnKdTree::kNoExclude, found, near);
        std::copy(found.begin(), found.end(), idx.begin() + p * k);
        std::copy(near.begin(), near.end(), dist.begin() + p * k);
    }
    smoothKnnDist(dist, m.rows, k, sigma, rho);
    std::vector<double> out(2 * m.rows);
    for (size_t p = 0; p < m.rows; ++p) {
        double sw = 0, sx = 0, sy = 0;
        for (size_t l = 0; l < k; ++l) {
            const double w =
                dist[p * k + l] > rho[p] ? std::exp(-(dist[p * k + l] - rho[p]) / sigma[p]) : 1.0;
            sw += w;
            sx += w * model.embedding[2 * idx[p * k + l]];
            sy += w * model.embedding[2 * idx[p * k + l] + 1];
        }
        out[2 * p] = sx / sw;
        out[2 * p + 1] = sy / sw;
    }
    Engine engine(model.params.seed ^ 0x9E3779B97F4A7C15ull);
    const int nEpochs = std::max(model.params.n_epochs / 3, 1);
    for (int t = 0; t < nEpochs; ++t) {
        const double alpha = model.params.learning_rate * (1.0 - static_cast<double>(t) / nEpochs);
        for (size_t p = 0; p < m.rows; ++p) {
            double* pos = &out[2 * p];
            for (size_t l = 0; l < k; ++l) {
                const double* q = &model.embedding[2 * idx[p * k + l]];
                const double dx = pos[0] - q[0], dy = pos[1] - q[1];
                const double g = attraction(dx * dx + dy * dy, model.a, model.b);
                pos[0] += clip4(g * dx) * alpha;
                pos[1] += clip4(g * dy) * alpha;
            }
            for (int s = 0; s < model.params.negative_sample_rate; ++s) {
                const double* q = &model.embedding[2 * (engine() % model.nTrain)];
                const double dx = pos[0] - q[0], dy = pos[1] - q[1];
                const double d2 = dx * dx + dy * dy;
                if (!(d2 > 0))
                    continue;
                const double g = repulsion(d2, model.a, model.b, model.params.repulsion_strength);
                pos[0] += clip4(g * dx) * alpha;
                pos[1] += clip4(g * dy) * alpha;
            }
        }
    }
    return out;
}

} // namespace

TEST(UmapLearn, CurveBandwidthsAndFuzzyGraphMatch) {
    const Oracle& u = umapLearn();
    ASSERT_EQ(u.at("AB").size(), 6u);
    for (const auto& r : u.at("AB")) {
        double a = 0, b = 0;
        fitAbParams(r[1], r[0], a, b);
        EXPECT_NEAR(a, r[2], 1e-5 * r[2]) << "spread " << r[0] << " min_dist " << r[1];
        EXPECT_NEAR(b, r[3], 1e-5 * r[3]) << "spread " << r[0] << " min_dist " << r[1];
    }
    // umap-learn keeps rho and sigma in single precision and bisects in it:
    // on other data a row may stop one bisection step (2e-5) apart.
    std::vector<double> dists = u.at("SMOOTHDIST")[0], sigma, rho; // sorted rows, two with zeros
    smoothKnnDist(dists, 40, 8, sigma, rho);
    expectRelative(sigma, u.at("SMOOTHSIGMA")[0], 1e-5);
    expectRelative(rho, u.at("SMOOTHRHO")[0], 1e-5);
    const std::vector<double> x = u.at("GRAPHX")[0]; // 90 points of three blobs in 6-D
    std::vector<int> idx;
    knnSearch(x.data(), 90, 6, 10, idx, dists);
    smoothKnnDist(dists, 90, 10, sigma, rho);
    expectRelative(sigma, u.at("GRAPHSIGMA")[0], 1e-5);
    expectRelative(rho, u.at("GRAPHRHO")[0], 1e-5);
    std::map<std::pair<int, int>, double> expected;
    for (const auto& e : u.at("EDGE"))
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
}

// ---- the optimisation ---------------------------------------------------------------

// The power's tables are literals in the source; a wrong digit in one of
// them would only shift a few embeddings slightly. Each entry is the double
// nearest to its exact value, recomputed with 60-digit decimal arithmetic:
// /usr/bin/python3 tests/dimred/pow_tables_oracle.py (exact hex floats).
TEST(UmapLayout, PowerTablesHoldTheNearestDoubleOfEachExactValue) {
    const auto cases =
        Quorvex3::testing::runPythonOracle(QUORVEX3_DIMRED_ORACLE_DIR "/pow_tables_oracle.py");
    const std::map<std::string, const double*> tables = {{"INVC", umapdetail::kPowInvC},
                                                         {"LOGC", umapdetail::kPowLogC},
                                                         {"EXP2", umapdetail::kPowExp2}};
    ASSERT_EQ(cases.size(), tables.size());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        ASSERT_EQ(tables.count(c.kind), 1u);
        ASSERT_EQ(c.groups.size(), 1u);
        ASSERT_EQ(c.groups[0].size(), 256u);
        const double* table = tables.at(c.kind);
        for (std::size_t j = 0; j < 256; ++j)
            EXPECT_EQ(table[j], c.groups[0][j]) << "entry " << j;
    }
}

TEST(UmapLayout, OverlappedStepsGiveTheBitsOfTheSequentialOrder) {
    // Small data make steps share points often (batches break up); larger
    // data let most steps overlap. Both must equal the plain loop.
    // One negative sample per positive one: every due edge draws exactly
    // one, so its next due time must move on by one period each time.
    for (const auto& [perBlob, rate] : {std::pair(4u, 3), std::pair(300u, 3), std::pair(300u, 1)}) {
        const DimRedMatrix m = blobs(perBlob, 3, 31);
        const std::vector<UmapEdge> edges = fuzzyGraph(m, 5);
        UmapParams p;
        p.negative_sample_rate = rate;
        double a = 0, b = 0;
        fitAbParams(0.1, 1.0, a, b);
        std::vector<double> start(2 * m.rows);
        Engine init(5), e1(9), e2(9);
        for (double& v : start)
            v = -10 + 20 * uniform(init);
        std::vector<double> expected = start, actual = start;
        sequentialLayout(edges, p, 60, a, b, expected, e1);
        ASSERT_TRUE(optimiseLayout(edges, p, 60, a, b, actual, e2, {}));
        EXPECT_EQ(actual, expected) << perBlob << " " << rate;
        EXPECT_EQ(e1(), e2()); // the same number of draws
    }
    // Shared by both: the power and the sampling schedule.
    for (double x = 1e-12; x < 1e12; x *= 1.37)
        for (const double b : {0.79, 0.8950608780665811, 1.9})
            EXPECT_NEAR(powPositive(x, b), std::pow(x, b), 1e-13 * std::pow(x, b));
    // The power's own tables: steps of 2^(1/1024) reach every one of the
    // 256 logarithm intervals of each octave and, through b ln x, every
    // one of the 256 exponential intervals; beyond normal numbers or
    // |b ln x| > 700 the library functions take over.
    for (int i = -40 * 1024; i <= 40 * 1024; ++i) {
        const double x = std::exp2(i / 1024.0);
        for (const double b : {0.8950608780665811, 1.0, 1.7})
            ASSERT_NEAR(powPositive(x, b), std::pow(x, b), 1e-13 * std::pow(x, b)) << x << " " << b;
    }
    // Where b ln x is small its rounding costs nothing: a few ulps at most.
    for (int i = -2048; i <= 2048; ++i) {
        const double x = std::exp2(i / 1024.0 + 1e-7);
        ASSERT_NEAR(powPositive(x, 0.8950608780665811), std::pow(x, 0.8950608780665811),
                    2e-15 * std::pow(x, 0.8950608780665811))
            << x;
    }
    for (const auto& [x, b] : {std::pair(4.9406564584124654e-324, 0.9), std::pair(1e-310, 0.9),
                               std::pair(1e300, 1.9), std::pair(1e-300, 2.4)})
        EXPECT_EQ(powPositive(x, b), std::exp(b * std::log(x))) << x << " " << b;
    // b ln x = -633 at the smallest normal number: rounding of b ln x alone
    // costs 633 x 2^-53 there.
    EXPECT_NEAR(powPositive(2.2250738585072014e-308, 0.9), std::pow(2.2250738585072014e-308, 0.9),
                1e-12 * std::pow(2.2250738585072014e-308, 0.9));
    EXPECT_EQ(powPositive(1.0, 0.79), 1.0);
    const std::vector<UmapEdge> edges = {{0, 1, 1.0}, {1, 2, 0.5}, {2, 3, 0.25}, {3, 4, 0.0}};
    EXPECT_EQ(makeEpochsPerSample(edges, 200), (std::vector<double>{1, 2, 4, -1}));
}

TEST(UmapRandom, TheEngineDrawsTheNumbersOfTheStandardMt19937_64) {
    // The standard fixes the 10000th number from the default seed 5489;
    // other seeds and a few refills of the state against the library.
    Engine fixed(5489);
    for (int i = 1; i < 10000; ++i)
        fixed();
    EXPECT_EQ(fixed(), 9981545732273789042ull);
    for (const uint64_t seed : {uint64_t(0), uint64_t(42), uint64_t(42 ^ 0x9E3779B97F4A7C15ull),
                                ~uint64_t(0)}) {
        Engine ours(seed);
        std::mt19937_64 library(seed);
        for (int i = 0; i < 2000; ++i)
            ASSERT_EQ(ours(), library()) << seed << " " << i;
    }
}

// ---- umapFit ------------------------------------------------------------------------

TEST(UmapFit, GuardsAndDegenerateData) {
    EXPECT_FALSE(umapFit(gaussianMatrix(4, 3, 1), epochs(30), {}).valid);
    EXPECT_FALSE(umapFit(matrix(10, 0, {}), epochs(30), {}).valid);
    const UmapModel same = umapFit(matrix(12, 2, std::vector<double>(24, 3.5)), epochs(10), {});
    ASSERT_TRUE(same.valid);
    for (const double v : same.embedding)
        EXPECT_TRUE(std::isfinite(v));
    // Neighbours are clamped to [2, rows - 1]; a random start when asked for.
    const auto withNeighbours = [](int neighbours) {
        UmapParams p = epochs(3);
        p.n_neighbors = neighbours;
        p.init = 1;
        return umapFit(gaussianMatrix(6, 2, 5), p, {});
    };
    EXPECT_TRUE(withNeighbours(1).valid && withNeighbours(1).initUsed == 1);
    EXPECT_EQ(withNeighbours(1).embedding, withNeighbours(2).embedding);
    EXPECT_EQ(withNeighbours(15).embedding, withNeighbours(5).embedding);
}

TEST(UmapFit, EpochsProgressAndCancellation) {
    const std::vector<int> expected = {0,  20, 30, 35, 43, 52,
                                       60, 69, 77, 86, 95, 100}; // 35 + 60e/7
    const DimRedMatrix m = gaussianMatrix(40, 3, 4);
    EXPECT_EQ(progressOf(m, epochs(7)), expected);
    EXPECT_EQ(progressOf(m, epochs(7), 20), (std::vector<int>{0, 20}));
    EXPECT_FALSE(umapFit(m, epochs(7), [](int v) { return v < 20; }).valid);
    // Automatic epochs above 10000 rows: 200, so the progress 35 + 60 e / 200
    // first reaches 36 after epoch 4 (with 500 epochs: 9).
    UmapParams p = epochs(0);
    p.init = 1;
    EXPECT_EQ(progressOf(gaussianMatrix(10001, 2, 3), p, 36).size(), 4u + 4u);
}

TEST(UmapFit, NegativeSampleRateBelowOneMeansNoNegativeSampling) {
    const auto withRate = [](int rate) {
        UmapParams p = epochs(20);
        p.negative_sample_rate = rate;
        return umapFit(blobs(20, 3, 6), p, {}).embedding;
    };
    const std::vector<double> none = withRate(0);
    ASSERT_EQ(none.size(), 120u);
    for (const double v : none)
        EXPECT_TRUE(std::isfinite(v));
    EXPECT_EQ(none, withRate(-4));
    EXPECT_NE(none, withRate(1));
}

// ---- spectral start -----------------------------------------------------------------

TEST(SpectralInit, SpansNumpysEigenvectorsAndPlacesComponentsByTheirCentroids) {
    // One elongated cloud: a connected graph whose leading non-trivial
    // eigenvalues stand apart from the rest.
    const DimRedMatrix m = gaussianMatrix(400, 2, 12);
    const std::vector<UmapEdge> edges = fuzzyGraph(m, 15);
    std::vector<double> emb;
    ASSERT_TRUE(spectralInit(edges, m, 42, emb));
    DimRedMatrix rows = matrix(edges.size() + 400, 3, {});
    for (const UmapEdge& e : edges)
        rows.data.insert(rows.data.end(), {double(e.i), double(e.j), e.weight});
    for (size_t i = 0; i < 400; ++i)
        rows.data.insert(rows.data.end(), {emb[2 * i], emb[2 * i + 1], 0.0});
    const Oracle o = oracleOn("spectral", rows, "400");
    ASSERT_GT(o.at("GAP")[0].at(0), 1e-3); // the pair is well defined
    EXPECT_GE(o.at("COS")[0].at(0), 0.99);
    EXPECT_GE(o.at("COS")[0].at(1), 0.99);
    EXPECT_LT(std::fabs(o.at("COS")[0].at(2)), 0.01); // two different vectors
    EXPECT_NEAR(std::max(*std::max_element(emb.begin(), emb.end()),
                         -*std::min_element(emb.begin(), emb.end())),
                10.0, 0.001);
    // The trivial eigenvector of D^-1/2 W D^-1/2 is D^1/2 1: both vectors are
    // orthogonal to it, also when the degrees differ widely (edges at the
    // first 50 nodes weigh 20 times more).
    SpectralGraph uneven;
    uneven.rowStart.assign(401, 0);
    for (const UmapEdge& e : edges) {
        ++uneven.rowStart[e.i + 1];
        ++uneven.rowStart[e.j + 1];
    }
    for (size_t i = 0; i < 400; ++i)
        uneven.rowStart[i + 1] += uneven.rowStart[i];
    std::vector<size_t> fill(uneven.rowStart.begin(), uneven.rowStart.end() - 1);
    uneven.neighbours.resize(uneven.rowStart[400]);
    uneven.weights.resize(uneven.rowStart[400]);
    for (const UmapEdge& e : edges) {
        const double w = e.weight * (e.i < 50 || e.j < 50 ? 20.0 : 1.0);
        for (const auto& [from, to] : {std::pair(e.i, e.j), std::pair(e.j, e.i)}) {
            uneven.neighbours[fill[from]] = static_cast<uint32_t>(to);
            uneven.weights[fill[from]++] = w;
        }
    }
    std::vector<double> vectors;
    ASSERT_TRUE(computeSpectralEigenvectors(uneven, 3, vectors));
    for (int axis = 0; axis < 2; ++axis) {
        double along = 0, norm2 = 0, degrees = 0;
        for (size_t i = 0; i < 400; ++i) {
            double d = 0;
            for (size_t e = uneven.rowStart[i]; e < uneven.rowStart[i + 1]; ++e)
                d += uneven.weights[e];
            along += std::sqrt(d) * vectors[2 * i + axis];
            norm2 += vectors[2 * i + axis] * vectors[2 * i + axis];
            degrees += d;
        }
        EXPECT_LT(std::fabs(along) / std::sqrt(norm2 * degrees), 1e-9) << axis;
    }
    // A node without neighbours has no degree to normalise by; 3 nodes are too few.
    std::vector<double> out;
    EXPECT_FALSE(computeSpectralEigenvectors({{0, 2, 3, 4, 5, 5}, {1, 4, 0, 0, 1}, {1, 1, 1, 1, 1}},
                                             1, out));
    EXPECT_FALSE(computeSpectralEigenvectors({{0, 1, 3, 4}, {1, 0, 2, 1}, {1, 1, 1, 1}}, 1, out));
    // Two far-apart blobs: classical scaling of two centroids has one
    // non-zero axis, so both centres lie on y = 0, far apart.
    DimRedMatrix two = blobs(40, 2, 17);
    two.data.erase(two.data.begin() + 80, two.data.begin() + 160); // drop the middle blob
    two.rows = 80;
    ASSERT_TRUE(spectralInit(fuzzyGraph(two, 8), two, 9, emb));
    double cx[2] = {0, 0}, cy[2] = {0, 0};
    for (size_t i = 0; i < 80; ++i) {
        cx[i / 40] += emb[2 * i] / 40;
        cy[i / 40] += emb[2 * i + 1] / 40;
    }
    EXPECT_NEAR(cy[0], 0.0, 0.5);
    EXPECT_NEAR(cy[1], 0.0, 0.5);
    EXPECT_GT(std::fabs(cx[0] - cx[1]), 9.0);
    // At most 256 components, and no edge beyond the rows.
    std::vector<UmapEdge> pairs;
    for (int c = 0; c < 257; ++c)
        pairs.push_back({2 * c, 2 * c + 1, 1.0});
    EXPECT_FALSE(spectralInit(pairs, gaussianMatrix(514, 2, 16), 7, emb));
    pairs.pop_back();
    EXPECT_TRUE(spectralInit(pairs, gaussianMatrix(512, 2, 16), 7, emb));
    EXPECT_FALSE(spectralInit({{0, 80, 1.0}}, two, 1, emb)); // beyond the rows
}
TEST(UmapTransform, StartEpochsNeighboursAndUnusableRows) {
    // Learning rate 0: nothing moves after the start. Query 0.5: neighbours
    // at 0.5, 0.5 and 2.5, rho = 0.5, so the first two weigh 1; the
    // memberships cannot reach log2(3), so sigma falls to its floor and the
    // third weighs exp(-2 / 0.00117) = 0: the start is (5, 0).
    EXPECT_EQ(transform(lineModel(0.0), matrix(1, 1, {0.5})), (std::vector<double>{5.0, 0.0}));
    // Cancelled before the start: NaN; after it: the start.
    EXPECT_TRUE(std::isnan(transform(lineModel(1.0), matrix(1, 1, {0.5}), nullptr, 30)[0]));
    EXPECT_EQ(transform(lineModel(1.0), matrix(1, 1, {0.5}), nullptr, 60)[0], 5.0);
    // A third of the fit's epochs: 200 / 3 = 66, progress 60 + 40 e / 66.
    std::vector<int> seen;
    transform(lineModel(1.0, 3, 200), matrix(2, 1, {0.5, 2.0}), &seen);
    ASSERT_EQ(seen.size(), 3u + 66u + 1u);
    EXPECT_EQ(std::vector<int>(seen.begin(), seen.begin() + 4), (std::vector<int>{0, 30, 60, 60}));
    // More neighbours than training points: all of them, order kept.
    const std::vector<double> out =
        transform(lineModel(1.0, 15), matrix(4, 1, {0.2, 2.9, 1.4, kNaN}));
    EXPECT_TRUE(std::isfinite(out[0]) && std::isfinite(out[2]) && std::isfinite(out[4]));
    EXPECT_LT(out[0], out[4]);
    EXPECT_LT(out[4], out[2]);
    EXPECT_TRUE(std::isnan(out[6]) && std::isnan(out[7])); // a non-finite row stays NaN
    // Another width: all NaN, no progress.
    seen.clear();
    const std::vector<double> nan = transform(lineModel(1.0), matrix(1, 2, {1, 2}), &seen);
    EXPECT_TRUE(seen.empty() && nan.size() == 2 && std::isnan(nan[0]) && std::isnan(nan[1]));
}

TEST(UmapTransform, GivesTheBitsOfThePlainSequentialRules) {
    // Beyond one chunk of rows, so several threads share the points.
    UmapParams p = epochs(31); // a third: 10 epochs
    p.seed = 77;
    p.negative_sample_rate = 3;
    const UmapModel model = umapFit(blobs(60, 4, 3), p, {});
    ASSERT_TRUE(model.valid);
    const DimRedMatrix fresh = blobs(1400, 4, 4);
    EXPECT_EQ(transform(model, fresh), sequentialTransform(model, fresh));
    // More neighbours asked for than there are training points: all of them.
    const DimRedMatrix few = matrix(3, 1, {0.2, 2.9, 1.4});
    EXPECT_EQ(transform(lineModel(1.0, 15), few), sequentialTransform(lineModel(1.0, 15), few));
}

TEST(UmapParams, DefaultRecordsHoldTheDocumentedValues) {
    const UmapParams p;
    EXPECT_EQ(std::make_tuple(p.n_neighbors, p.min_dist, p.spread, p.n_epochs, p.learning_rate,
                              p.repulsion_strength, p.negative_sample_rate, p.seed, p.init),
              std::make_tuple(15, 0.1, 1.0, 0, 1.0, 1.0, 5, uint64_t(42), 0));
    const UmapModel m;
    EXPECT_TRUE(m.trainData.empty() && m.embedding.empty() && m.nTrain == 0 && m.nFeatures == 0);
    EXPECT_EQ(std::make_tuple(m.a, m.b, m.initUsed, m.valid), std::make_tuple(0.0, 0.0, 1, false));
}

TEST(UmapQuality, BlobsEmbedAsWellAsUmapLearnAndNewPointsFindTheirBlob) {
    // umap_oracle.txt: 100 training and 40 held-out rows (labels 3-5) per blob.
    DimRedMatrix train = matrix(0, 6, {}), held = matrix(0, 6, {});
    for (const auto& r : umapLearn().at("BLOB")) {
        DimRedMatrix& m = r[0] < 3 ? train : held;
        m.data.insert(m.data.end(), r.begin() + 1, r.end());
        ++m.rows;
    }
    const RobustScaling scaling = fitScaling(train, names(6));
    const UmapModel model = umapFit(applyScaling(scaling, train), UmapParams(), {});
    ASSERT_TRUE(model.valid);
    EXPECT_EQ(model.initUsed, 0);
    std::vector<double> placed = model.embedding, fresh;
    umapTransform(model, applyScaling(scaling, held), fresh, {});
    placed.insert(placed.end(), fresh.begin(), fresh.end());
    const Oracle o = oracleOn("quality", matrix(placed.size() / 2, 2, placed), "10");
    const double accuracy = o.at("KNNACC")[0].at(0), trust = o.at("TRUST")[0].at(0);
    const std::vector<double> peers = umapLearn().at("PEERTRUST")[0];
    const double peer = (peers.at(0) + peers.at(1) + peers.at(2)) / 3.0;
    std::printf("kNN accuracy %.4f, trustworthiness %.4f (umap-learn %.4f), held-out %.4f\n",
                accuracy, trust, peer, o.at("HELD")[0].at(0));
    EXPECT_GE(accuracy, 0.98);
    EXPECT_GE(trust, peer - 0.03);
    EXPECT_GE(o.at("HELD")[0].at(0), 0.95);
}

TEST(ThreadCount, EveryKernelGivesTheSameBitsOnAnyThreadCount) {
    // Sizes beyond one chunk of the searches, the projection and the transform.
    const DimRedMatrix wide = gaussianMatrix(40000, 5, 41), train = blobs(700, 4, 8),
                       fresh = blobs(1700, 4, 22);
    auto run = [&](int threads, uint64_t seed) {
        setDimRedThreadCount(threads);
        UmapParams p = epochs(25);
        p.seed = seed;
        const DimRedModel pca = fitPca(wide, names(5));
        std::vector<double> all = pca.loading1, x, y, dist;
        std::vector<int> idx;
        projectOnto(pca, wide, x, y);
        knnSearch(train.data.data(), train.rows, 4, 12, idx, dist);
        const UmapModel model = umapFit(train, p, {});
        const std::vector<double> placed = transform(model, fresh);
        for (const std::vector<double>& v : {pca.loading2, x, y, dist, model.embedding, placed})
            all.insert(all.end(), v.begin(), v.end());
        all.insert(all.end(), idx.begin(), idx.end());
        all.insert(all.end(), {pca.explained1, suggestEps(placed, fresh.rows, 8)});
        setDimRedThreadCount(0);
        return all;
    };
    const std::vector<double> one = run(1, 42);
    EXPECT_EQ(one, run(5, 42));
    EXPECT_NE(one, run(3, 43)); // the seed matters
}
