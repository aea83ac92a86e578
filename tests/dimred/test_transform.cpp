// UMAP transform rules; the quality of fit and transform against the peer
// on three Gaussian blobs in 6-D (embedding kNN accuracy >= 0.98,
// trustworthiness within 0.03 of umap-learn's stored figure, held-out points
// nearest their own blob >= 95%; dimred_oracle.py quality); and the same
// bits from every kernel on any thread count.

#include "DimRedTestData.h"
#include "dimred/Dbscan.h"
#include "dimred/KnnKdTree.h"
#include "dimred/ParallelChunks.h"
#include "dimred/Pca.h"
#include "dimred/RobustScaling.h"
#include "dimred/Umap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace Quorvex3;
using namespace Quorvex3::dimredtest;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Three 1-D training points at 0, 1 and 3, embedded at x = 0, 10 and 30.
UmapModel lineModel(double learningRate, int neighbours = 3, int nEpochs = 30) {
    UmapModel m;
    m.trainData = {0, 1, 3};
    m.embedding = {0, 0, 10, 0, 30, 0};
    m.nTrain = 3;
    m.nFeatures = 1;
    m.params.n_neighbors = neighbours;
    m.params.n_epochs = nEpochs;
    m.params.learning_rate = learningRate;
    fitAbParams(0.1, 1.0, m.a, m.b);
    m.valid = true;
    return m;
}

std::vector<double> transform(const UmapModel& model, std::vector<double> column,
                              std::vector<int>* seen = nullptr, int cancelAt = -1) {
    std::vector<double> out;
    const size_t rows = column.size();
    umapTransform(model, matrix(rows, 1, std::move(column)), out, [&](int v) {
        if (seen)
            seen->push_back(v);
        return v != cancelAt;
    });
    return out;
}

template <typename T> void appendBits(std::vector<uint64_t>& bits, const std::vector<T>& values) {
    for (const T v : values) {
        const double d = static_cast<double>(v);
        bits.emplace_back();
        std::memcpy(&bits.back(), &d, sizeof d);
    }
}

} // namespace

TEST(UmapTransform, StartsAtTheMembershipWeightedMean) {
    // Learning rate 0: nothing moves after the start. Query 0.5: neighbours
    // at 0.5, 0.5 and 2.5, rho = 0.5, so the first two weigh 1; the
    // memberships cannot reach log2(3), so sigma falls to its floor and the
    // third weighs exp(-2 / 0.00117) = 0: the start is (5, 0).
    EXPECT_EQ(transform(lineModel(0.0), {0.5}), (std::vector<double>{5.0, 0.0}));
    // Cancelled before the start: NaN; after it: the start.
    EXPECT_TRUE(std::isnan(transform(lineModel(1.0), {0.5}, nullptr, 30)[0]));
    EXPECT_EQ(transform(lineModel(1.0), {0.5}, nullptr, 60)[0], 5.0);
}

TEST(UmapTransform, EpochsNeighboursAndUnusableRows) {
    // A third of the fit's epochs: 200 / 3 = 66, progress 60 + 40 e / 66.
    std::vector<int> seen;
    transform(lineModel(1.0, 3, 200), {0.5, 2.0}, &seen);
    ASSERT_EQ(seen.size(), 3u + 66u + 1u);
    EXPECT_EQ(std::vector<int>(seen.begin(), seen.begin() + 4), (std::vector<int>{0, 30, 60, 60}));
    EXPECT_EQ(seen[3 + 65], 100);
    seen.clear();
    transform(lineModel(1.0, 3, 2), {0.5}, &seen); // at least one epoch
    EXPECT_EQ(seen, (std::vector<int>{0, 30, 60, 100, 100}));
    // More neighbours than training points: all of them, order kept.
    const std::vector<double> out = transform(lineModel(1.0, 15), {0.2, 2.9, 1.4, kNaN});
    EXPECT_TRUE(std::isfinite(out[0]) && std::isfinite(out[2]) && std::isfinite(out[4]));
    EXPECT_LT(out[0], out[4]);
    EXPECT_LT(out[4], out[2]);
    EXPECT_TRUE(std::isnan(out[6]) && std::isnan(out[7])); // a non-finite row stays NaN
    // Another width or an invalid model: all NaN, no progress.
    std::vector<double> nan;
    seen.clear();
    umapTransform(lineModel(1.0), matrix(1, 2, {1, 2}), nan, [&](int v) {
        seen.push_back(v);
        return true;
    });
    EXPECT_TRUE(seen.empty() && nan.size() == 2 && std::isnan(nan[0]) && std::isnan(nan[1]));
    UmapModel invalid = lineModel(1.0);
    invalid.valid = false;
    EXPECT_TRUE(std::isnan(transform(invalid, {1})[0]));
}

TEST(UmapQuality, BlobsEmbedAsWellAsUmapLearnAndNewPointsFindTheirBlob) {
    // umap_oracle.txt: 100 training and 40 held-out rows (labels 3-5) per blob.
    DimRedMatrix train = matrix(0, 6, {}), held = matrix(0, 6, {});
    std::vector<double> labels;
    for (const auto& r : lines(umapLearn(), "BLOB")) {
        DimRedMatrix& m = r[0] < 3 ? train : held;
        m.data.insert(m.data.end(), r.begin() + 1, r.end());
        ++m.rows;
        labels.push_back(r[0]);
    }
    ASSERT_EQ(train.rows, 300u);
    const RobustScaling scaling = fitScaling(train, names(6));
    const DimRedMatrix z = applyScaling(scaling, train);
    const UmapModel model = umapFit(z, UmapParams(), {});
    ASSERT_TRUE(model.valid);
    EXPECT_EQ(model.initUsed, 0);
    std::vector<double> placed;
    umapTransform(model, applyScaling(scaling, held), placed, {});
    placed.insert(placed.begin(), model.embedding.begin(), model.embedding.end());
    DimRedMatrix table = matrix(labels.size(), 9, {});
    for (size_t i = 0; i < labels.size(); ++i) {
        table.data.insert(table.data.end(), {labels[i], placed[2 * i], placed[2 * i + 1]});
        for (size_t j = 0; j < 6; ++j)
            table.data.push_back(i < 300 ? z.data[i * 6 + j] : 0.0);
    }
    const Oracle o = oracleOn("quality", table, "10");
    const double accuracy = line(o, "KNNACC").at(0), trust = line(o, "TRUST").at(0);
    const std::vector<double> peers = line(umapLearn(), "PEERTRUST");
    const double peer = (peers.at(0) + peers.at(1) + peers.at(2)) / 3.0;
    std::printf("kNN accuracy %.4f, trustworthiness %.4f (umap-learn %.4f), held-out %.4f\n",
                accuracy, trust, peer, line(o, "HELD").at(0));
    EXPECT_GE(accuracy, 0.98);
    EXPECT_GE(trust, peer - 0.03);
    EXPECT_GE(line(o, "HELD").at(0), 0.95);
}

TEST(ThreadCount, EveryKernelGivesTheSameBitsOnAnyThreadCount) {
    // Sizes beyond one chunk of the searches, the projection, the transform
    // and the assignment.
    const DimRedMatrix wide = gaussianMatrix(40000, 5, 41);
    const DimRedMatrix train = blobs(700, 4, 8), fresh = blobs(1700, 4, 22);
    UmapParams p;
    p.n_epochs = 25;
    auto run = [&](int threads, uint64_t seed) {
        setDimRedThreadCount(threads);
        std::vector<uint64_t> bits;
        std::vector<double> x, y, placed, xy, labels;
        std::vector<int> idx;
        const DimRedModel pca = fitPca(wide, names(5));
        projectOnto(pca, wide, x, y);
        knnSearch(train.data.data(), train.rows, 4, 12, idx, xy);
        p.seed = seed;
        const UmapModel model = umapFit(train, p, {});
        umapTransform(model, fresh, placed, {});
        for (const auto& v :
             {pca.loading1, pca.loading2, pca.scale, x, y, xy, model.embedding, placed})
            appendBits(bits, v);
        appendBits(bits, idx);
        std::vector<double> px, py;
        for (size_t i = 0; i < placed.size(); i += 2) {
            px.push_back(placed[i]);
            py.push_back(placed[i + 1]);
        }
        const double eps = suggestEps(placed, fresh.rows, 8);
        assignClusters(buildClusterModel(px, py, eps, 8), py, px, labels);
        appendBits(bits, labels);
        appendBits(bits, std::vector<double>{pca.explained1, eps});
        setDimRedThreadCount(0);
        return bits;
    };
    const std::vector<uint64_t> one = run(1, 42);
    EXPECT_EQ(one, run(5, 42));
    EXPECT_EQ(one, run(3, 42));
    EXPECT_NE(one, run(3, 43)); // the seed matters
}
