// UMAP fit: the curve, the bandwidths and the fuzzy graph against umap-learn
// (umap_oracle.inc, 1e-5), the explicit hash-table order of the graph's
// edges, and the fit's rules: guards, epochs, start layouts, cancellation,
// negative sampling and bit-for-bit reproducibility.

#include "DimRedTestData.h"
#include "dimred/KnnKdTree.h"
#include "dimred/ParallelChunks.h"
#include "dimred/Umap.h"
#include "dimred/UmapGraph.h"
#include "dimred/UmapLayout.h"
#include "dimred/UmapMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <list>
#include <map>
#include <random>

using namespace Quorvex3;
using namespace Quorvex3::dimredtest;
using namespace Quorvex3::umapdetail;

namespace {

#include "umap_oracle.inc"

const double kInf = std::numeric_limits<double>::infinity();

UmapParams quickParams(int epochs = 30) {
    UmapParams p;
    p.n_epochs = epochs;
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

// The chained-table rule written the slow, obvious way.
std::vector<uint32_t> naiveOrder(const std::vector<uint64_t>& keys, uint64_t buckets) {
    std::list<uint32_t> seq;
    for (uint32_t e = 0; e < keys.size(); ++e) {
        const uint64_t b = keys[e] % buckets;
        auto it = seq.begin();
        while (it != seq.end() && keys[*it] % buckets != b)
            ++it;
        seq.insert(it == seq.end() ? seq.begin() : it, e);
    }
    return {seq.begin(), seq.end()};
}

// The optimisation exactly as the rules state it: one edge after the other,
// each with its negative samples drawn and applied in turn.
void sequentialLayout(const std::vector<UmapEdge>& edges, const UmapParams& p, int nEpochs,
                      double a, double b, std::vector<double>& pos, Engine& engine) {
    const uint64_t rows = pos.size() / 2;
    const std::vector<double> eps = makeEpochsPerSample(edges, nEpochs);
    std::vector<double> next = eps, epn(edges.size()), nextNeg;
    for (size_t e = 0; e < edges.size(); ++e)
        epn[e] = eps[e] / p.negative_sample_rate;
    nextNeg = epn;
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
                const size_t m = engine() % rows;
                if (m == i)
                    continue;
                dx = pos[2 * i] - pos[2 * m];
                dy = pos[2 * i + 1] - pos[2 * m + 1];
                const double d2 = dx * dx + dy * dy;
                g = d2 > 0 ? repulsion(d2, a, b, p.repulsion_strength) : 0.0;
                pos[2 * i] += g > 0 ? clip4(g * dx) * alpha : 4.0 * alpha;
                pos[2 * i + 1] += g > 0 ? clip4(g * dy) * alpha : 4.0 * alpha;
            }
            if (nNeg >= 1)
                nextNeg[e] += nNeg * epn[e];
        }
    }
}

} // namespace

// ---- against umap-learn ---------------------------------------------------------

TEST(UmapCurve, AbParamsMatchUmapLearn) {
    for (size_t r = 0; r < sizeof kAbParams / sizeof kAbParams[0]; r += 4) {
        double a = 0, b = 0;
        fitAbParams(kAbParams[r + 1], kAbParams[r], a, b);
        EXPECT_NEAR(a, kAbParams[r + 2], 1e-5 * kAbParams[r + 2]) << "spread " << kAbParams[r];
        EXPECT_NEAR(b, kAbParams[r + 3], 1e-5 * kAbParams[r + 3])
            << "min_dist " << kAbParams[r + 1];
    }
}

TEST(UmapCurve, BandwidthsMatchUmapLearn) {
    const size_t n = 40, k = 8;
    const std::vector<double> dists(kSmoothDists, kSmoothDists + n * k);
    std::vector<double> sigma, rho;
    smoothKnnDist(dists, n, k, sigma, rho);
    for (size_t i = 0; i < n; ++i) {
        EXPECT_NEAR(sigma[i], kSmoothSigma[i], 1e-5 * kSmoothSigma[i]) << "row " << i;
        // umap-learn keeps rho and sigma in single precision.
        EXPECT_NEAR(rho[i], kSmoothRho[i], 1e-5 * kSmoothRho[i]) << "row " << i;
    }
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
    // Row 0 holds two finite memberships, 1 + exp(-0.5 / s), which only
    // approach log2(4) = 2: sigma doubles until they are within 1e-5 of it,
    // at s = 2^16 (0.5 / s = 7.6e-6).
    EXPECT_EQ(sigma[0], 65536.0);
}

TEST(UmapGraph, FuzzyGraphMatchesUmapLearn) {
    const DimRedMatrix x = blobs(30, 6, 7, nullptr);
    const size_t n = x.rows, k = 10;
    std::vector<int> idx;
    std::vector<double> dist;
    knnSearch(x.data.data(), n, x.cols, static_cast<int>(k), idx, dist);
    std::vector<double> sigma, rho;
    smoothKnnDist(dist, n, k, sigma, rho);
    for (size_t i = 0; i < n; ++i) {
        EXPECT_NEAR(sigma[i], kGraphSigma[i], 1e-5 * kGraphSigma[i]);
        EXPECT_NEAR(rho[i], kGraphRho[i], 1e-5 * kGraphRho[i]);
    }
    std::map<std::pair<int, int>, double> expected;
    const size_t edges = sizeof kGraphEdgeWeights / sizeof kGraphEdgeWeights[0];
    for (size_t e = 0; e < edges; ++e)
        expected[{kGraphEdgeEnds[2 * e], kGraphEdgeEnds[2 * e + 1]}] = kGraphEdgeWeights[e];
    const std::vector<UmapEdge> graph = buildFuzzyGraph(idx, dist, n, k, sigma, rho);
    ASSERT_EQ(graph.size(), expected.size());
    for (const UmapEdge& e : graph) {
        const auto it = expected.find({std::min(e.i, e.j), std::max(e.i, e.j)});
        ASSERT_NE(it, expected.end()) << e.i << " " << e.j;
        EXPECT_NEAR(e.weight, it->second, 1e-5);
    }
}

// ---- the explicit table order ---------------------------------------------------

TEST(UmapGraph, BucketCountFollowsTheTableRules) {
    EXPECT_EQ(tableBucketCount(1, 1), 2u);
    EXPECT_EQ(tableBucketCount(1024, 1000), 1024u);
    EXPECT_EQ(tableBucketCount(1000, 1000), 1009u);
    EXPECT_EQ(tableBucketCount(75, 60), 79u);
    // Single precision rounds 16777217 to 2^24, a power of two.
    EXPECT_EQ(tableBucketCount(16777217, 0), 16777216u);
    // Never fewer buckets than entries.
    EXPECT_EQ(tableBucketCount(16777217, 16777217), nextPrime(16777217));
    EXPECT_EQ(nextPrime(2), 2u);
    EXPECT_EQ(nextPrime(24), 29u);
}

TEST(UmapGraph, TableOrderPutsNewBucketsFirstAndCollisionsBeforeTheirBucket) {
    // Keys (i << 32) | j of 3 rows with 2 neighbours, 7 buckets: the bucket
    // of a key is (4i + j) mod 7 (2^32 = 4 mod 7). Worked by hand.
    const std::vector<uint64_t> keys = {(0ull << 32) | 1, (0ull << 32) | 2, (1ull << 32) | 0,
                                        (1ull << 32) | 2, (2ull << 32) | 0, (2ull << 32) | 1};
    EXPECT_EQ(chainedTableOrder(keys, 7), (std::vector<uint32_t>{3, 2, 5, 1, 4, 0}));
    // A libstdc++ unordered_map would list these differently; the edges
    // follow the order above: (1,2), (1,0), (0,2).
    const std::vector<int> idx = {1, 2, 0, 2, 0, 1};
    const std::vector<double> dist = {1, 2, 1, 1.5, 2, 1.5};
    const std::vector<double> sigma = {1, 1, 1}, rho = {1, 1, 1.5};
    const std::vector<UmapEdge> g = buildFuzzyGraph(idx, dist, 3, 2, sigma, rho);
    ASSERT_EQ(g.size(), 3u);
    EXPECT_EQ(std::make_pair(g[0].i, g[0].j), std::make_pair(1, 2));
    EXPECT_EQ(std::make_pair(g[1].i, g[1].j), std::make_pair(1, 0));
    EXPECT_EQ(std::make_pair(g[2].i, g[2].j), std::make_pair(0, 2));
    const double w12 = std::exp(-0.5), w21 = 1.0;
    EXPECT_DOUBLE_EQ(g[0].weight, std::fma(-w12, w21, w12 + w21));
    const double w02 = std::exp(-1.0), w20 = std::exp(-0.5);
    EXPECT_DOUBLE_EQ(g[2].weight, std::fma(-w02, w20, w02 + w20));
}

TEST(UmapGraph, TableOrderMatchesTheRuleOnRandomKeys) {
    SplitMix g(5);
    for (const uint64_t buckets : {97ull, 64ull, 2ull}) {
        std::vector<uint64_t> keys;
        for (uint64_t i = 0; i < 300; ++i)
            keys.push_back((i / 7 << 32) | (g.next() % 1000 + 1000 * (i % 7)));
        EXPECT_EQ(chainedTableOrder(keys, buckets), naiveOrder(keys, buckets)) << buckets;
    }
}

// ---- the optimisation ---------------------------------------------------------------

TEST(UmapLayout, OverlappedStepsGiveTheBitsOfTheSequentialOrder) {
    // Small data make steps share points often (batches break up); larger
    // data let most steps overlap. Both must equal the plain loop.
    for (const size_t perBlob : {4u, 300u}) {
        const DimRedMatrix m = blobs(perBlob, 3, 31, nullptr);
        std::vector<int> idx;
        std::vector<double> dist, sigma, rho;
        knnSearch(m.data.data(), m.rows, 3, 5, idx, dist);
        smoothKnnDist(dist, m.rows, 5, sigma, rho);
        const std::vector<UmapEdge> edges = buildFuzzyGraph(idx, dist, m.rows, 5, sigma, rho);
        UmapParams p;
        p.negative_sample_rate = 3;
        double a = 0, b = 0;
        fitAbParams(0.1, 1.0, a, b);
        std::vector<double> start(2 * m.rows);
        Engine init(5);
        for (double& v : start)
            v = -10 + 20 * uniform(init);
        std::vector<double> expected = start, actual = start;
        Engine e1(9), e2(9);
        sequentialLayout(edges, p, 60, a, b, expected, e1);
        ASSERT_TRUE(optimiseLayout(edges, p, 60, a, b, actual, e2, {}));
        EXPECT_EQ(actual, expected) << perBlob;
        EXPECT_EQ(e1(), e2()); // the same number of draws
    }
}

TEST(UmapLayout, FastModuloIsExact) {
    SplitMix g(17);
    for (const uint64_t d : {1ull, 2ull, 3ull, 7ull, 10000ull, 99991ull, 4294967295ull, 1ull << 40})
        for (int i = 0; i < 20000; ++i) {
            const uint64_t a = i < 4 ? ~0ull - static_cast<uint64_t>(i) : g.next();
            ASSERT_EQ(FastModulo(d)(a), a % d) << a << " mod " << d;
        }
}

TEST(UmapLayout, PowerMatchesTheLibrary) {
    for (double x = 1e-12; x < 1e12; x *= 1.37)
        for (const double b : {0.79, 0.8950608780665811, 1.0, 1.9})
            EXPECT_NEAR(powPositive(x, b), std::pow(x, b), 1e-13 * std::pow(x, b));
}

// ---- makeEpochsPerSample ----------------------------------------------------------

TEST(UmapSchedule, HeavyEdgesEveryEpochLightOnesLess) {
    const std::vector<UmapEdge> edges = {{0, 1, 1.0}, {1, 2, 0.5}, {2, 3, 0.25}, {3, 4, 0.0}};
    EXPECT_EQ(makeEpochsPerSample(edges, 200), (std::vector<double>{1, 2, 4, -1}));
    EXPECT_TRUE(makeEpochsPerSample({}, 10).empty());
    EXPECT_EQ(makeEpochsPerSample({{0, 1, 0.0}}, 10), (std::vector<double>{-1}));
}

// ---- umapFit ------------------------------------------------------------------------

TEST(UmapFit, TooFewRowsOrNoColumnsGiveAnInvalidModel) {
    EXPECT_FALSE(umapFit(gaussianMatrix(4, 3, 1), quickParams(), {}).valid);
    DimRedMatrix empty = gaussianMatrix(10, 3, 1);
    empty.cols = 0;
    empty.data.clear();
    EXPECT_FALSE(umapFit(empty, quickParams(), {}).valid);
    UmapParams p = quickParams();
    p.n_neighbors = 1; // at least 2 neighbours are used
    const UmapModel five = umapFit(gaussianMatrix(5, 3, 1), p, {});
    ASSERT_TRUE(five.valid);
    EXPECT_EQ(five.nTrain, 5u);
    EXPECT_EQ(five.nFeatures, 3u);
    EXPECT_EQ(five.embedding.size(), 10u);
    EXPECT_EQ(five.trainData, gaussianMatrix(5, 3, 1).data);
}

TEST(UmapFit, AutomaticEpochs) {
    UmapParams p;
    p.init = 1;
    p.n_epochs = -3;
    const UmapModel small = umapFit(gaussianMatrix(60, 2, 3), p, {});
    EXPECT_EQ(small.params.n_epochs, 500);
    // Above 10000 rows: 200 epochs, seen in the progress after epoch e,
    // 35 + 60 e / 200, which first reaches 36 at e = 4 (500 epochs: e = 9).
    p.n_epochs = 0;
    const std::vector<int> seen = progressOf(gaussianMatrix(10001, 2, 3), p, 36);
    ASSERT_GE(seen.size(), 4u);
    EXPECT_EQ(std::vector<int>(seen.begin(), seen.begin() + 4), (std::vector<int>{0, 20, 30, 35}));
    EXPECT_EQ(seen.size() - 4, 4u);
}

TEST(UmapFit, ProgressSequenceAndCancellation) {
    const DimRedMatrix m = gaussianMatrix(40, 3, 4);
    std::vector<int> expected = {0, 20, 30, 35};
    for (int e = 1; e <= 7; ++e)
        expected.push_back(35 + e * 60 / 7);
    expected.push_back(100);
    EXPECT_EQ(progressOf(m, quickParams(7)), expected);
    EXPECT_EQ(progressOf(m, quickParams(7), 20), (std::vector<int>{0, 20}));
    const UmapModel cancelled = umapFit(m, quickParams(7), [](int v) { return v < 20; });
    EXPECT_FALSE(cancelled.valid);
    EXPECT_TRUE(cancelled.embedding.empty());
}

TEST(UmapFit, RandomStartUsesTheFirstEngineOutputs) {
    // With a learning rate of 0 nothing moves, so the embedding is the start.
    UmapParams p = quickParams(3);
    p.init = 1;
    p.learning_rate = 0.0;
    p.seed = 1234;
    const UmapModel m = umapFit(gaussianMatrix(20, 2, 5), p, {});
    ASSERT_TRUE(m.valid);
    EXPECT_EQ(m.initUsed, 1);
    std::mt19937_64 engine(1234);
    for (size_t i = 0; i < 40; ++i) {
        const double u = static_cast<double>(engine()) * 5.421010862427522e-20;
        EXPECT_EQ(m.embedding[i], -10.0 + 20.0 * u) << i;
    }
}

TEST(UmapFit, SpectralStartAndItsFallback) {
    const UmapModel spectral = umapFit(blobs(40, 4, 3, nullptr), quickParams(), {});
    ASSERT_TRUE(spectral.valid);
    EXPECT_EQ(spectral.initUsed, 0);
    // 300 groups of 3 identical points: each point's two neighbours are its
    // group, so the graph has 300 components, too many for a spectral layout.
    DimRedMatrix groups;
    groups.cols = 2;
    for (int g = 0; g < 300; ++g)
        for (int c = 0; c < 3; ++c) {
            groups.data.push_back(10.0 * g);
            groups.data.push_back(-3.0 * g);
        }
    groups.rows = 900;
    UmapParams p = quickParams(5);
    p.n_neighbors = 2;
    const UmapModel fallback = umapFit(groups, p, {});
    ASSERT_TRUE(fallback.valid);
    EXPECT_EQ(fallback.initUsed, 1);
}

TEST(UmapFit, IdenticalRowsStillFit) {
    DimRedMatrix m;
    m.rows = 12;
    m.cols = 2;
    m.data.assign(24, 3.5);
    const UmapModel model = umapFit(m, quickParams(10), {});
    ASSERT_TRUE(model.valid);
    for (const double v : model.embedding)
        EXPECT_TRUE(std::isfinite(v));
}

TEST(UmapFit, NegativeSampleRateBelowOneMeansNoNegativeSampling) {
    const DimRedMatrix m = blobs(20, 3, 6, nullptr);
    UmapParams p = quickParams(20);
    p.negative_sample_rate = 0;
    const UmapModel zero = umapFit(m, p, {});
    p.negative_sample_rate = -4;
    const UmapModel negative = umapFit(m, p, {});
    p.negative_sample_rate = 1;
    const UmapModel one = umapFit(m, p, {});
    ASSERT_TRUE(zero.valid && negative.valid && one.valid);
    for (const double v : zero.embedding)
        EXPECT_TRUE(std::isfinite(v));
    EXPECT_EQ(zero.embedding, negative.embedding);
    EXPECT_NE(zero.embedding, one.embedding);
}

TEST(UmapFit, SameSeedSameBitsOnAnyThreadCount) {
    const DimRedMatrix m = blobs(700, 4, 8, nullptr); // more rows than one search chunk
    UmapParams p = quickParams(25);
    setDimRedThreadCount(1);
    const UmapModel one = umapFit(m, p, {});
    setDimRedThreadCount(5);
    const UmapModel five = umapFit(m, p, {});
    const UmapModel again = umapFit(m, p, {});
    p.seed = 43;
    const UmapModel other = umapFit(m, p, {});
    setDimRedThreadCount(0);
    ASSERT_TRUE(one.valid);
    EXPECT_EQ(one.embedding, five.embedding);
    EXPECT_EQ(five.embedding, again.embedding);
    EXPECT_NE(one.embedding, other.embedding);
    EXPECT_EQ(one.a, five.a);
}
