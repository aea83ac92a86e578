// UMAP transform rules, and the quality of fit and transform against the
// peer: on three Gaussian blobs in 6-D the embedding's kNN accuracy must be
// at least 0.98 and its trustworthiness (sklearn, dimred_oracle.py quality)
// within 0.03 of umap-learn's (umap_oracle.inc); held-out points placed by
// the transform must land in their own blob at least 95% of the time.

#include "DimRedTestData.h"
#include "dimred/ParallelChunks.h"
#include "dimred/RobustScaling.h"
#include "dimred/Umap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Quorvex3;
using namespace Quorvex3::dimredtest;

namespace {

#include "umap_oracle.inc"

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Three 1-D training points at 0, 1 and 3, embedded at x = 0, 10 and 30.
UmapModel lineModel(double learningRate, int neighbours = 3) {
    UmapModel m;
    m.trainData = {0, 1, 3};
    m.embedding = {0, 0, 10, 0, 30, 0};
    m.nTrain = 3;
    m.nFeatures = 1;
    m.params.n_neighbors = neighbours;
    m.params.n_epochs = 30;
    m.params.learning_rate = learningRate;
    fitAbParams(0.1, 1.0, m.a, m.b);
    m.valid = true;
    return m;
}

DimRedMatrix column(std::vector<double> x) {
    DimRedMatrix m;
    m.rows = x.size();
    m.cols = 1;
    m.data = std::move(x);
    return m;
}

std::vector<int> progressOf(const UmapModel& model, const DimRedMatrix& m, int cancelAt = -1) {
    std::vector<int> seen;
    std::vector<double> out;
    umapTransform(model, m, out, [&](int v) {
        seen.push_back(v);
        return v != cancelAt;
    });
    return seen;
}

} // namespace

TEST(UmapTransform, StartsAtTheMembershipWeightedMean) {
    // With a learning rate of 0 nothing moves after the start. Query 0.5:
    // neighbours at 0.5, 0.5 and 2.5, rho = 0.5, so the first two weigh 1;
    // the memberships must sum to log2(3) < 2, so sigma falls to its floor
    // and the third weighs exp(-2 / 0.00117) = 0: the start is (5, 0).
    std::vector<double> out;
    umapTransform(lineModel(0.0), column({0.5}), out, {});
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], 5.0);
    EXPECT_EQ(out[1], 0.0);
}

TEST(UmapTransform, MoreNeighboursThanTrainingPointsUsesThemAll) {
    std::vector<double> out;
    umapTransform(lineModel(1.0, 15), column({0.2, 2.9, 1.4}), out, {});
    for (const double v : out)
        EXPECT_TRUE(std::isfinite(v));
    EXPECT_LT(out[0], out[4]); // 0.2, 1.4 and 2.9 keep their order along the line
    EXPECT_LT(out[4], out[2]);
}

TEST(UmapTransform, EpochsAreAThirdOfTheFit) {
    UmapModel model = lineModel(1.0);
    model.params.n_epochs = 200;
    std::vector<int> seen = progressOf(model, column({0.5, 2.0}));
    ASSERT_EQ(seen.size(), 3u + 66u + 1u);
    EXPECT_EQ(std::vector<int>(seen.begin(), seen.begin() + 3), (std::vector<int>{0, 30, 60}));
    EXPECT_EQ(seen[3], 60 + 40 / 66);
    EXPECT_EQ(seen[3 + 65], 100);
    EXPECT_EQ(seen.back(), 100);
    model.params.n_epochs = 2;
    EXPECT_EQ(progressOf(model, column({0.5})).size(), 3u + 1u + 1u);
}

TEST(UmapTransform, MismatchGivesNanWithoutProgress) {
    std::vector<double> out;
    int calls = 0;
    DimRedMatrix two;
    two.rows = 2;
    two.cols = 2;
    two.data = {1, 2, 3, 4};
    umapTransform(lineModel(1.0), two, out, [&](int) { return ++calls > 0; });
    ASSERT_EQ(out.size(), 4u);
    for (const double v : out)
        EXPECT_TRUE(std::isnan(v));
    EXPECT_EQ(calls, 0);
    UmapModel invalid = lineModel(1.0);
    invalid.valid = false;
    umapTransform(invalid, column({1}), out, {});
    EXPECT_TRUE(std::isnan(out[0]));
}

TEST(UmapTransform, NonFiniteRowsStayNan) {
    std::vector<double> out;
    umapTransform(lineModel(1.0), column({0.5, kNaN, 2.0, std::numeric_limits<double>::infinity()}),
                  out, {});
    EXPECT_TRUE(std::isfinite(out[0]) && std::isfinite(out[4]));
    EXPECT_TRUE(std::isnan(out[2]) && std::isnan(out[3]) && std::isnan(out[6]));
}

TEST(UmapTransform, CancellationKeepsWhatWasReached) {
    std::vector<double> out;
    umapTransform(lineModel(1.0), column({0.5}), out, [](int v) { return v < 30; });
    EXPECT_TRUE(std::isnan(out[0]));
    umapTransform(lineModel(1.0), column({0.5}), out, [](int v) { return v < 60; });
    EXPECT_EQ(out[0], 5.0); // the start position
}

TEST(UmapTransform, SameBitsOnEveryCallAndThreadCount) {
    const DimRedMatrix train = blobs(200, 4, 21, nullptr);
    UmapParams p;
    p.n_epochs = 60;
    const UmapModel model = umapFit(train, p, {});
    ASSERT_TRUE(model.valid);
    const DimRedMatrix fresh = blobs(3000, 4, 22, nullptr);
    std::vector<double> one, six, again;
    setDimRedThreadCount(1);
    umapTransform(model, fresh, one, {});
    setDimRedThreadCount(6);
    umapTransform(model, fresh, six, {});
    umapTransform(model, fresh, again, {});
    setDimRedThreadCount(0);
    EXPECT_EQ(one, six);
    EXPECT_EQ(six, again);
}

TEST(UmapQuality, BlobsEmbedAsWellAsUmapLearnAndNewPointsFindTheirBlob) {
    std::vector<int> labels;
    const DimRedMatrix raw = blobs(100, 6, 99, &labels);
    const std::vector<std::string> names = {"a", "b", "c", "d", "e", "f"};
    const RobustScaling scaling = fitScaling(raw, names);
    const DimRedMatrix z = applyScaling(scaling, raw);
    const UmapModel model = umapFit(z, UmapParams(), {});
    ASSERT_TRUE(model.valid);
    EXPECT_EQ(model.initUsed, 0);

    TempDir dir;
    std::vector<double> table;
    for (size_t i = 0; i < z.rows; ++i) {
        table.push_back(labels[i]);
        table.push_back(model.embedding[2 * i]);
        table.push_back(model.embedding[2 * i + 1]);
        table.insert(table.end(), z.data.begin() + static_cast<long>(i * 6),
                     z.data.begin() + static_cast<long>(i * 6 + 6));
    }
    writeMatrixFile(dir.file("q.txt"), table, z.rows, 9);
    const auto oracle = runOracle("quality", dir.file("q.txt"), "10");
    const double accuracy = oracleLine(oracle, "KNNACC").at(0);
    const double trust = oracleLine(oracle, "TRUST").at(0);
    double peer = 0;
    for (const double t : kPeerTrustworthiness)
        peer += t / 3.0;
    std::printf("kNN accuracy %.4f, trustworthiness %.4f (umap-learn %.4f)\n", accuracy, trust,
                peer);
    EXPECT_GE(accuracy, 0.98);
    EXPECT_GE(trust, peer - 0.03) << "umap-learn reaches " << peer;

    // Held-out points of the same blobs (another draw), placed by the
    // transform: each must be nearest to its own blob's embedded centroid.
    double centre[3][2] = {};
    for (size_t i = 0; i < z.rows; ++i)
        for (int d = 0; d < 2; ++d)
            centre[labels[i]][d] += model.embedding[2 * i + static_cast<size_t>(d)] / 100.0;
    std::vector<int> heldLabels;
    const DimRedMatrix held = applyScaling(scaling, blobs(40, 6, 4321, &heldLabels));
    std::vector<double> placed;
    umapTransform(model, held, placed, {});
    int right = 0;
    for (size_t i = 0; i < held.rows; ++i) {
        int best = 0;
        double bestD = std::numeric_limits<double>::infinity();
        for (int b = 0; b < 3; ++b) {
            const double d =
                std::hypot(placed[2 * i] - centre[b][0], placed[2 * i + 1] - centre[b][1]);
            if (d < bestD) {
                bestD = d;
                best = b;
            }
        }
        right += best == heldLabels[i];
    }
    std::printf("held-out points in their own blob: %d of %zu\n", right, held.rows);
    EXPECT_GE(right, static_cast<int>(0.95 * held.rows));
}
