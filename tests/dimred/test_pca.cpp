// Robust scaling, PCA, projection and the symmetric eigen solver, checked by
// hand-computed cases and against numpy/scipy/sklearn through
// dimred_oracle.py (modes scaling, pca, eigh; tolerances stated per test).

#include "DimRedTestData.h"
#include "dimred/ParallelChunks.h"
#include "dimred/Pca.h"
#include "dimred/RobustScaling.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Quorvex3;
using namespace Quorvex3::dimredtest;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

DimRedMatrix matrix(size_t rows, size_t cols, std::vector<double> data) {
    DimRedMatrix m;
    m.rows = rows;
    m.cols = cols;
    m.data = std::move(data);
    return m;
}

std::vector<std::string> names(size_t n) {
    std::vector<std::string> out;
    for (size_t i = 0; i < n; ++i)
        out.push_back("f" + std::to_string(i));
    return out;
}

// Oriented like ours: the largest-magnitude entry positive.
std::vector<double> oriented(std::vector<double> v) {
    size_t best = 0;
    for (size_t j = 1; j < v.size(); ++j)
        if (std::fabs(v[j]) > std::fabs(v[best]))
            best = j;
    if (v[best] < 0)
        for (double& x : v)
            x = -x;
    return v;
}

void expectNear(const std::vector<double>& actual, const std::vector<double>& expected,
                double tol) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], tol) << "entry " << i;
}

class ThreadCount : public ::testing::Test {
protected:
    void TearDown() override { setDimRedThreadCount(0); }
};

} // namespace

// ---- fitScaling / applyScaling ----------------------------------------------

TEST(RobustScaling, HandComputedColumns) {
    // Columns: constant; MAD 0 but not constant; even count; a NaN column.
    const DimRedMatrix m = matrix(4, 4,
                                  {7, 1, 4, kNaN, //
                                   7, 1, 1, kNaN, //
                                   7, 1, 3, kNaN, //
                                   7, 5, 2, kNaN});
    const RobustScaling s = fitScaling(m, {"const", "spiky", "even", "nan"});
    ASSERT_EQ(s.centre.size(), 4u);
    EXPECT_EQ(s.centre[0], 7.0);
    EXPECT_EQ(s.scale[0], 1.0);
    EXPECT_EQ(s.centre[1], 1.0);
    // mean 2, squares 1+1+1+9 over 3
    EXPECT_DOUBLE_EQ(s.scale[1], std::sqrt(12.0 / 3.0));
    EXPECT_EQ(s.centre[2], 2.5);
    EXPECT_DOUBLE_EQ(s.scale[2], 1.0 * 1.4826);
    EXPECT_EQ(s.scale[3], 1.0);
    EXPECT_EQ(s.degenerate, (std::vector<std::string>{"const", "nan"}));

    const DimRedMatrix z = applyScaling(s, m);
    ASSERT_EQ(z.rows, 4u);
    EXPECT_EQ(z.data[0], 0.0); // a constant column contributes zeros
    EXPECT_DOUBLE_EQ(z.data[2], (4.0 - 2.5) / 1.4826);
}

TEST(RobustScaling, OneRowMakesEveryFeatureDegenerate) {
    const RobustScaling s = fitScaling(matrix(1, 2, {3, -4}), {"a", "b"});
    EXPECT_EQ(s.centre, (std::vector<double>{3, -4}));
    EXPECT_EQ(s.scale, (std::vector<double>{1, 1}));
    EXPECT_EQ(s.degenerate, (std::vector<std::string>{"a", "b"}));
}

TEST(RobustScaling, UnusableInputGivesEmptyResults) {
    EXPECT_TRUE(fitScaling(DimRedMatrix(), {}).scale.empty());
    EXPECT_TRUE(fitScaling(matrix(2, 2, {1, 2, 3, 4}), {"only one"}).centre.empty());
    RobustScaling s;
    s.centre = {0, 0, 0};
    s.scale = {1, 1, 1};
    const DimRedMatrix z = applyScaling(s, matrix(1, 2, {1, 2}));
    EXPECT_EQ(z.rows, 0u);
    EXPECT_EQ(z.cols, 0u);
    EXPECT_TRUE(z.data.empty());
}

TEST(RobustScaling, MatchesScipyMedianAbsDeviation) {
    // Odd and even row counts; the last column is mostly one value, so its
    // MAD is 0 and the standard deviation takes over. Tolerance 1e-12 relative.
    for (size_t rows : {301u, 300u}) {
        DimRedMatrix m = gaussianMatrix(rows, 5, 11 + rows);
        for (size_t i = 0; i < rows; ++i)
            m.data[i * 5 + 4] = i % 7 == 0 ? static_cast<double>(i % 5) : 2.0;
        TempDir dir;
        writeMatrixFile(dir.file("m.txt"), m.data, m.rows, m.cols);
        const auto oracle = runOracle("scaling", dir.file("m.txt"));
        const RobustScaling s = fitScaling(m, names(5));
        const std::vector<double> centre = oracleLine(oracle, "CENTRE");
        const std::vector<double> scale = oracleLine(oracle, "SCALE");
        ASSERT_EQ(centre.size(), 5u);
        for (size_t j = 0; j < 5; ++j) {
            EXPECT_NEAR(s.centre[j], centre[j], 1e-12 * (1 + std::fabs(centre[j])))
                << rows << " " << j;
            EXPECT_NEAR(s.scale[j], scale[j], 1e-12 * scale[j]) << rows << " " << j;
        }
        EXPECT_TRUE(s.degenerate.empty());
    }
}

// ---- fitPca -------------------------------------------------------------------

TEST(Pca, GuardsOnShape) {
    EXPECT_FALSE(fitPca(matrix(2, 2, {1, 2, 3, 5}), names(2)).valid);
    EXPECT_FALSE(fitPca(matrix(3, 1, {1, 2, 3}), names(1)).valid);
    EXPECT_FALSE(fitPca(matrix(3, 2, {1, 2, 3, 5, 4, 1}), names(3)).valid);
    const DimRedModel m = fitPca(matrix(3, 2, {1, 2, 3, 5, 4, 1}), names(2));
    EXPECT_TRUE(m.valid);
    EXPECT_EQ(m.nTrain, 3u);
    EXPECT_EQ(m.features, names(2));
}

TEST(Pca, IdenticalFeaturesShareOneComponent) {
    DimRedMatrix m = gaussianMatrix(50, 1, 5);
    DimRedMatrix twin = matrix(50, 2, {});
    for (size_t i = 0; i < 50; ++i) {
        twin.data.push_back(m.data[i]);
        twin.data.push_back(m.data[i]);
    }
    const DimRedModel model = fitPca(twin, {"a", "b"});
    ASSERT_TRUE(model.valid);
    EXPECT_NEAR(model.loading1[0], std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(model.loading1[1], std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(model.explained1, 1.0, 1e-12);
    EXPECT_NEAR(model.explained2, 0.0, 1e-12);
}

TEST(Pca, MirroredDataMatchesSklearnPca) {
    // Mirrored about a point, the data have their mean at the median, so the
    // moment matrix about the median is sklearn's covariance. 1e-9.
    const DimRedMatrix half = gaussianMatrix(200, 4, 21);
    DimRedMatrix m = matrix(400, 4, half.data);
    const double centre[4] = {1.0, -2.0, 0.5, 3.0};
    for (size_t i = 0; i < 200; ++i)
        for (size_t j = 0; j < 4; ++j)
            m.data.push_back(2.0 * centre[j] - half.data[i * 4 + j]);
    for (size_t i = 0; i < 400; ++i)
        m.data[i * 4 + 1] += 0.8 * m.data[i * 4]; // correlate two features
    TempDir dir;
    writeMatrixFile(dir.file("m.txt"), m.data, m.rows, m.cols);
    const auto oracle = runOracle("pca", dir.file("m.txt"));
    const DimRedModel model = fitPca(m, names(4));
    ASSERT_TRUE(model.valid);
    expectNear(model.loading1, oriented(oracleLine(oracle, "SKCOMP1")), 1e-9);
    expectNear(model.loading2, oriented(oracleLine(oracle, "SKCOMP2")), 1e-9);
    const std::vector<double> ratio = oracleLine(oracle, "SKRATIO");
    EXPECT_NEAR(model.explained1, ratio[0], 1e-9);
    EXPECT_NEAR(model.explained2, ratio[1], 1e-9);
}

TEST(Pca, SkewedDataMatchesEighAboutTheMedian) {
    DimRedMatrix m = gaussianMatrix(500, 6, 31);
    for (size_t i = 0; i < 500; ++i) {
        m.data[i * 6 + 2] = std::exp(0.5 * m.data[i * 6 + 2] - 2.0); // skewed column
        m.data[i * 6 + 3] -= 0.5 * m.data[i * 6 + 5];
    }
    TempDir dir;
    writeMatrixFile(dir.file("m.txt"), m.data, m.rows, m.cols);
    const auto oracle = runOracle("pca", dir.file("m.txt"));
    const DimRedModel model = fitPca(m, names(6));
    ASSERT_TRUE(model.valid);
    expectNear(model.loading1, oriented(oracleLine(oracle, "EIGVEC1")), 1e-9);
    expectNear(model.loading2, oriented(oracleLine(oracle, "EIGVEC2")), 1e-9);
    const std::vector<double> shares = oracleLine(oracle, "EIGVAL");
    EXPECT_NEAR(model.explained1, shares[0], 1e-12);
    EXPECT_NEAR(model.explained2, shares[1], 1e-12);
}

TEST_F(ThreadCount, PcaAndProjectionAreBitIdenticalOnAnyThreadCount) {
    const DimRedMatrix m = gaussianMatrix(40000, 5, 41);
    setDimRedThreadCount(1);
    const DimRedModel one = fitPca(m, names(5));
    std::vector<double> x1, y1;
    projectOnto(one, m, x1, y1);
    setDimRedThreadCount(7);
    const DimRedModel seven = fitPca(m, names(5));
    std::vector<double> x7, y7;
    projectOnto(seven, m, x7, y7);
    EXPECT_EQ(one.loading1, seven.loading1);
    EXPECT_EQ(one.loading2, seven.loading2);
    EXPECT_EQ(one.explained1, seven.explained1);
    EXPECT_EQ(one.scale, seven.scale);
    EXPECT_EQ(x1, x7);
    EXPECT_EQ(y1, y7);
}

// ---- projectOnto --------------------------------------------------------------

TEST(Projection, ScaledDotProductsAndNanRows) {
    DimRedModel model;
    model.features = {"a", "b"};
    model.centre = {1, 2};
    model.scale = {2, 4};
    model.loading1 = {0.6, 0.8};
    model.loading2 = {0.8, -0.6};
    model.valid = true;
    std::vector<double> x, y;
    projectOnto(model, matrix(3, 2, {3, 6, kNaN, 0, 1, -kInf}), x, y);
    ASSERT_EQ(x.size(), 3u);
    EXPECT_DOUBLE_EQ(x[0], 0.6 * 1.0 + 0.8 * 1.0);
    EXPECT_DOUBLE_EQ(y[0], 0.8 * 1.0 - 0.6 * 1.0);
    EXPECT_TRUE(std::isnan(x[1]) && std::isnan(y[1]));
    EXPECT_TRUE(std::isnan(x[2]) && std::isnan(y[2]));
}

TEST(Projection, MismatchOrInvalidModelGivesAllNan) {
    DimRedModel model = fitPca(gaussianMatrix(10, 3, 1), names(3));
    std::vector<double> x, y;
    projectOnto(model, gaussianMatrix(4, 2, 2), x, y);
    ASSERT_EQ(x.size(), 4u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_TRUE(std::isnan(x[i]) && std::isnan(y[i]));
    model.valid = false;
    projectOnto(model, gaussianMatrix(4, 3, 2), x, y);
    EXPECT_EQ(y.size(), 4u);
    EXPECT_TRUE(std::isnan(y[3]));
}

// ---- jacobiEigenSymmetric -----------------------------------------------------

TEST(JacobiEigen, DiagonalMatrixNeedsNoRotation) {
    std::vector<double> a = {3, 0, 0, 0, -1, 0, 0, 0, 2};
    std::vector<double> values, vectors;
    jacobiEigenSymmetric(a, 3, values, vectors);
    EXPECT_EQ(values, (std::vector<double>{-1, 2, 3}));
    EXPECT_EQ(vectors, (std::vector<double>{0, 0, 1, 1, 0, 0, 0, 1, 0}));
    jacobiEigenSymmetric(a, 0, values, vectors);
    EXPECT_TRUE(values.empty() && vectors.empty());
}

TEST(JacobiEigen, MatchesNumpyEigh) {
    // A random symmetric 7 x 7 matrix; eigenvalues 1e-12, vectors up to sign.
    SplitMix g(77);
    const size_t n = 7;
    std::vector<double> a(n * n);
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i; j < n; ++j)
            a[i * n + j] = a[j * n + i] = g.bell();
    TempDir dir;
    writeMatrixFile(dir.file("a.txt"), a, n, n);
    const auto oracle = runOracle("eigh", dir.file("a.txt"));
    std::vector<double> values, vectors;
    jacobiEigenSymmetric(a, static_cast<int>(n), values, vectors);
    expectNear(values, oracleLine(oracle, "VALUES"), 1e-12);
    size_t k = 0;
    for (const auto& entry : oracle) {
        if (entry.first != "VECTOR")
            continue;
        std::vector<double> ours(n);
        for (size_t r = 0; r < n; ++r)
            ours[r] = vectors[r * n + k];
        expectNear(oriented(ours), oriented(entry.second), 1e-10);
        ++k;
    }
    EXPECT_EQ(k, n);
}
