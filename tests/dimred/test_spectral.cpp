// Spectral initialisation: the eigenvectors against numpy (|cos| >= 0.99 to
// the span of numpy's 2nd and 3rd eigenvectors of D^-1/2 W D^-1/2,
// dimred_oracle.py spectral), the placement of several components, and the
// failures that hand over to a random layout.

#include "DimRedTestData.h"
#include "dimred/KnnKdTree.h"
#include "dimred/SpectralInit.h"
#include "dimred/Umap.h"
#include "dimred/UmapGraph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace Quorvex3;
using namespace Quorvex3::dimredtest;

namespace {

std::vector<UmapEdge> fuzzyGraph(const DimRedMatrix& m, size_t k) {
    std::vector<int> idx;
    std::vector<double> dist, sigma, rho;
    knnSearch(m.data.data(), m.rows, m.cols, static_cast<int>(k), idx, dist);
    smoothKnnDist(dist, m.rows, k, sigma, rho);
    return umapdetail::buildFuzzyGraph(idx, dist, m.rows, k, sigma, rho);
}

SpectralGraph compressed(const std::vector<UmapEdge>& edges, size_t n) {
    SpectralGraph g;
    g.rowStart.assign(n + 1, 0);
    std::vector<std::vector<std::pair<uint32_t, double>>> rows(n);
    for (const UmapEdge& e : edges) {
        rows[static_cast<size_t>(e.i)].push_back({static_cast<uint32_t>(e.j), e.weight});
        rows[static_cast<size_t>(e.j)].push_back({static_cast<uint32_t>(e.i), e.weight});
    }
    for (size_t i = 0; i < n; ++i) {
        for (const auto& p : rows[i]) {
            g.neighbours.push_back(p.first);
            g.weights.push_back(p.second);
        }
        g.rowStart[i + 1] = g.neighbours.size();
    }
    return g;
}

double largestAbs(const std::vector<double>& v) {
    double m = 0;
    for (const double x : v)
        m = std::max(m, std::fabs(x));
    return m;
}

// n points in `groups` far-apart tight clusters of `size` identical-ish points.
DimRedMatrix clusters(size_t groups, size_t size, double spacing, uint64_t seed) {
    SplitMix g(seed);
    DimRedMatrix m;
    m.cols = 2;
    for (size_t c = 0; c < groups; ++c)
        for (size_t i = 0; i < size; ++i) {
            m.data.push_back(spacing * static_cast<double>(c) + 0.01 * g.uniform());
            m.data.push_back(spacing * static_cast<double>(c % 3) + 0.01 * g.uniform());
        }
    m.rows = groups * size;
    return m;
}

} // namespace

TEST(SpectralInit, EigenvectorsSpanNumpysLeadingNonTrivialPair) {
    // One elongated cloud (scales 1 and 2): a connected graph whose
    // leading non-trivial eigenvalues stand apart from the rest.
    const DimRedMatrix m = gaussianMatrix(400, 2, 12);
    const std::vector<UmapEdge> edges = fuzzyGraph(m, 15);
    const SpectralGraph g = compressed(edges, m.rows);
    std::vector<double> out;
    ASSERT_TRUE(computeSpectralEigenvectors(g, 42, out));

    TempDir dir;
    std::FILE* f = std::fopen(dir.file("g.txt").c_str(), "w");
    std::fprintf(f, "%zu %zu\n", m.rows, edges.size());
    for (const UmapEdge& e : edges)
        std::fprintf(f, "%d %d %.17g\n", e.i, e.j, e.weight);
    std::fclose(f);
    const auto oracle = runOracle("spectral", dir.file("g.txt"));
    const std::vector<double> v2 = oracleLine(oracle, "VEC2");
    const std::vector<double> v3 = oracleLine(oracle, "VEC3");
    const std::vector<double> values = oracleLine(oracle, "VALUES");
    ASSERT_EQ(v2.size(), m.rows);
    ASSERT_GT(values[2] - values[3], 1e-3); // the pair is well defined
    for (int axis = 0; axis < 2; ++axis) {
        double dot2 = 0, dot3 = 0, norm = 0;
        for (size_t i = 0; i < m.rows; ++i) {
            const double u = out[2 * i + static_cast<size_t>(axis)];
            dot2 += u * v2[i];
            dot3 += u * v3[i];
            norm += u * u;
        }
        EXPECT_NEAR(norm, 1.0, 1e-9);
        EXPECT_GE(std::sqrt(dot2 * dot2 + dot3 * dot3), 0.99) << "axis " << axis;
    }
}

TEST(SpectralInit, ScaledToTenWithTinyJitter) {
    const DimRedMatrix m = blobs(60, 4, 13, nullptr);
    std::vector<double> emb;
    ASSERT_TRUE(spectralInit(fuzzyGraph(m, 10), m, 42, emb));
    ASSERT_EQ(emb.size(), 2 * m.rows);
    EXPECT_NEAR(largestAbs(emb), 10.0, 0.001);
    std::vector<double> again;
    ASSERT_TRUE(spectralInit(fuzzyGraph(m, 10), m, 42, again));
    EXPECT_EQ(emb, again);
}

TEST(SpectralInit, RefusesUnusableInput) {
    const DimRedMatrix m = blobs(10, 2, 14, nullptr);
    std::vector<double> emb;
    EXPECT_FALSE(spectralInit({}, m, 1, emb));
    EXPECT_EQ(emb, std::vector<double>(2 * m.rows, 0.0));
    EXPECT_FALSE(spectralInit({{0, 30, 1.0}}, m, 1, emb)); // index beyond the rows
    EXPECT_FALSE(spectralInit({{0, -1, 1.0}}, m, 1, emb));
    // Four rows are too few for a layout.
    EXPECT_FALSE(spectralInit({{0, 1, 1.0}}, DimRedMatrix{{1, 2, 3, 4, 5, 6, 7, 8}, 4, 2}, 1, emb));
    std::vector<double> out;
    EXPECT_FALSE(computeSpectralEigenvectors(compressed({{0, 1, 1.0}, {1, 2, 1.0}}, 3), 1, out));
    // A node without neighbours has no degree to normalise by.
    EXPECT_FALSE(computeSpectralEigenvectors(
        compressed({{0, 1, 1.0}, {1, 2, 1.0}, {2, 3, 1.0}, {3, 0, 1.0}, {0, 2, 1.0}}, 6), 1, out));
}

TEST(SpectralInit, DisjointPairsAreLaidOutAtRandomAroundTheirCentres) {
    // 20 pairs: components of 2 nodes, too small for eigenvectors.
    const DimRedMatrix m = clusters(20, 2, 100.0, 15);
    std::vector<UmapEdge> edges;
    for (int c = 0; c < 20; ++c)
        edges.push_back({2 * c, 2 * c + 1, 1.0});
    std::vector<double> emb;
    ASSERT_TRUE(spectralInit(edges, m, 7, emb));
    EXPECT_NEAR(largestAbs(emb), 10.0, 0.001);
    for (const double v : emb)
        EXPECT_TRUE(std::isfinite(v));
}

TEST(SpectralInit, AtMost256Components) {
    std::vector<UmapEdge> edges;
    for (int c = 0; c < 257; ++c)
        edges.push_back({2 * c, 2 * c + 1, 1.0});
    std::vector<double> emb;
    EXPECT_FALSE(spectralInit(edges, clusters(257, 2, 10.0, 16), 7, emb));
    edges.pop_back();
    EXPECT_TRUE(spectralInit(edges, clusters(256, 2, 10.0, 16), 7, emb));
}

TEST(SpectralInit, EqualCentroidsGoOnTheUnitCircle) {
    // Three components with the same centroid (each a symmetric pair about 0):
    // centres at angles 0, 120 and 240 degrees, every member within a
    // quarter of the spacing of its centre (before the scaling to 10).
    DimRedMatrix m;
    m.cols = 1;
    m.data = {-1, 1, -2, 2, -3, 3};
    m.rows = 6;
    const std::vector<UmapEdge> edges = {{0, 1, 1.0}, {2, 3, 1.0}, {4, 5, 1.0}};
    std::vector<double> emb;
    ASSERT_TRUE(spectralInit(edges, m, 3, emb));
    const double r = std::sqrt(3.0) / 2.0; // half the distance between centres
    double scale = 0;
    for (size_t c = 0; c < 3; ++c) {
        const double angle = 2.0 * M_PI * static_cast<double>(c) / 3.0;
        const double cx = (emb[4 * c] + emb[4 * c + 2]) / 2,
                     cy = (emb[4 * c + 1] + emb[4 * c + 3]) / 2;
        if (c == 0)
            scale = std::hypot(cx, cy);
        EXPECT_NEAR(std::atan2(cy, cx), std::remainder(angle, 2 * M_PI), 0.6) << c;
        for (size_t p = 0; p < 2; ++p)
            EXPECT_LE(std::hypot(emb[4 * c + 2 * p] - cx, emb[4 * c + 2 * p + 1] - cy),
                      2 * r * scale);
    }
}

TEST(SpectralInit, TwoComponentsLieOnALine) {
    // Two far-apart blobs: classical scaling of two centroids has one
    // non-zero axis, so both centres share y = 0; each blob keeps a
    // spectral layout of its own within half their distance.
    const DimRedMatrix m = clusters(2, 40, 50.0, 17);
    std::vector<UmapEdge> edges;
    for (const UmapEdge& e : fuzzyGraph(m, 8))
        edges.push_back(e);
    std::vector<double> emb;
    ASSERT_TRUE(spectralInit(edges, m, 9, emb));
    double cy[2] = {0, 0}, cx[2] = {0, 0};
    for (size_t i = 0; i < 80; ++i) {
        cx[i / 40] += emb[2 * i] / 40;
        cy[i / 40] += emb[2 * i + 1] / 40;
    }
    EXPECT_NEAR(cy[0], 0.0, 0.5);
    EXPECT_NEAR(cy[1], 0.0, 0.5);
    EXPECT_GT(std::fabs(cx[0] - cx[1]), 9.0);
}
