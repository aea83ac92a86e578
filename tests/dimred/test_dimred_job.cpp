// The dimension-reduction job on measurements written by the fixture writer:
// training rows from filtered candidates, pooled PCA against numpy's
// projection, pooled UMAP keeping fitted positions, progress steps, the
// reference built from a fit and applied again, and the clearing of stale
// cluster ids (dimred_oracle.py mode pcaproject).

#include "DimRedTestData.h"
#include "core/RTDCReader.h"
#include "dimred/DimRedJob.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iomanip>
#include <limits>
#include <memory>
#include <sstream>

using namespace Quorvex3;
using namespace Quorvex3::dimredtest;
using Quorvex3::testing::RtdcFixtureWriter;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

/// A measurement with the columns of `m` as features f0, f1, ...; `shortBy`
/// events fewer in the last column.
std::unique_ptr<RTDCReader> writeAndOpen(const TempDir& dir, const std::string& name,
                                         const DimRedMatrix& m, size_t shortBy = 0) {
    const std::string path = dir.file(name);
    {
        RtdcFixtureWriter w(path);
        for (size_t j = 0; j < m.cols; ++j) {
            std::vector<double> column;
            const size_t n = j + 1 == m.cols ? m.rows - shortBy : m.rows;
            for (size_t i = 0; i < n; ++i)
                column.push_back(m.data[i * m.cols + j]);
            w.addColumn<double>("f" + std::to_string(j), column);
        }
    }
    auto reader = std::make_unique<RTDCReader>();
    EXPECT_TRUE(reader->openFile(path));
    return reader;
}

std::vector<int> allEvents(size_t n) {
    std::vector<int> out;
    for (size_t i = 0; i < n; ++i)
        out.push_back(static_cast<int>(i));
    return out;
}

std::string writeMatrix(const TempDir& dir, const std::string& name, const DimRedMatrix& m) {
    const std::string path = dir.file(name);
    std::ofstream out(path);
    out << std::setprecision(17) << m.rows << " " << m.cols << "\n";
    for (size_t i = 0; i < m.data.size(); ++i)
        out << m.data[i] << ((i + 1) % m.cols == 0 ? '\n' : ' ');
    return path;
}

void expectSameOrBothNaN(double a, double b, double tol, const std::string& where) {
    if (std::isnan(b)) {
        EXPECT_TRUE(std::isnan(a)) << where;
        return;
    }
    EXPECT_NEAR(a, b, tol * (1 + std::fabs(b))) << where;
}

struct Pooled {
    TempDir dir;
    std::vector<std::unique_ptr<RTDCReader>> readers;
    DimRedFitInput input;
};

/// Two measurements; the first has a NaN and an infinity and the second a
/// short last column, so some events cannot train and get NaN.
void buildPooled(Pooled& p, int method) {
    DimRedMatrix a = gaussianMatrix(120, 3, 5), b = gaussianMatrix(90, 3, 6);
    for (size_t i = 0; i < b.data.size(); ++i)
        b.data[i] += 0.5 * static_cast<double>(i % 3);
    a.data[7 * 3 + 1] = kNaN;
    a.data[11 * 3 + 2] = std::numeric_limits<double>::infinity();
    p.readers.push_back(writeAndOpen(p.dir, "a.rtdc", a));
    p.readers.push_back(writeAndOpen(p.dir, "b.rtdc", b, 4));
    p.input.method = method;
    p.input.features = names(3);
    p.input.training.cols = 3;
    p.input.umap.n_epochs = 60;
    // Only every other event of the first measurement passes its filter.
    std::vector<int> evenOnly;
    for (int i = 0; i < 120; i += 2)
        evenOnly.push_back(i);
    appendTrainingRows(*p.readers[0], p.input.features, evenOnly, 0, p.input.training,
                       p.input.provenance);
    appendTrainingRows(*p.readers[1], p.input.features, allEvents(90), 1, p.input.training,
                       p.input.provenance);
    for (const auto& r : p.readers)
        p.input.targets.push_back(buildEventMatrix(*r, p.input.features));
}

} // namespace

TEST(DimRedJob, TrainingRowsSkipNonFiniteAndShortColumns) {
    Pooled p;
    buildPooled(p, 0);
    // 60 even events minus none (7 and 11 are odd) plus 90 minus 4 short.
    EXPECT_EQ(p.input.training.rows, 60u + 86u);
    EXPECT_EQ(p.input.provenance.size(), p.input.training.rows);
    EXPECT_EQ(p.input.provenance.front(), std::make_pair(size_t{0}, size_t{0}));
    EXPECT_EQ(p.input.provenance[1], std::make_pair(size_t{0}, size_t{2}));
    EXPECT_EQ(p.input.provenance.back(), std::make_pair(size_t{1}, size_t{85}));
    // Event matrices keep every event; a short column reads as NaN.
    ASSERT_EQ(p.input.targets[1].rows, 90u);
    EXPECT_TRUE(std::isnan(p.input.targets[1].data[86 * 3 + 2]));
    EXPECT_FALSE(std::isnan(p.input.targets[1].data[85 * 3 + 2]));
}

TEST(DimRedJob, PooledPcaMatchesNumpyProjection) {
    Pooled p;
    buildPooled(p, 0);
    std::vector<int> steps;
    const DimRedFitResult result =
        fitDimReduction(p.input, [&steps](int v) { return steps.push_back(v), true; });
    ASSERT_TRUE(result.model.valid);
    EXPECT_EQ(steps, (std::vector<int>{45, 65, 85, 100}));
    ASSERT_EQ(result.columns.size(), 2u);
    const std::string train = writeMatrix(p.dir, "train.txt", p.input.training);
    for (size_t k = 0; k < 2; ++k) {
        const std::string target = writeMatrix(p.dir, "target.txt", p.input.targets[k]);
        std::istringstream text(runOracleText("pcaproject", "'" + train + "' '" + target + "'"));
        Oracle o;
        for (std::string line, tag; std::getline(text, line);) {
            std::istringstream fields(line);
            fields >> tag;
            std::vector<double> values;
            for (std::string v; fields >> v;)
                values.push_back(v == "nan" ? kNaN : std::stod(v));
            o[tag].push_back(values);
        }
        const auto& p1 = o.at("P1")[0];
        const auto& p2 = o.at("P2")[0];
        ASSERT_EQ(result.columns[k].x.size(), p1.size());
        for (size_t i = 0; i < p1.size(); ++i) {
            expectSameOrBothNaN(result.columns[k].x[i], p1[i], 1e-12, "x " + std::to_string(i));
            expectSameOrBothNaN(result.columns[k].y[i], p2[i], 1e-12, "y " + std::to_string(i));
        }
    }
    // Events outside the filter are projected too; NaN only for bad values.
    EXPECT_TRUE(std::isfinite(result.columns[0].x[1]));
    EXPECT_TRUE(std::isnan(result.columns[0].x[7]));
    EXPECT_TRUE(std::isnan(result.columns[0].y[11]));
    EXPECT_TRUE(std::isnan(result.columns[1].x[87]));
    EXPECT_TRUE(result.columns[0].cluster.empty()); // clustering off
}

TEST(DimRedJob, PooledUmapKeepsFittedTrainingPositions) {
    Pooled p;
    buildPooled(p, 1);
    std::vector<int> steps;
    const DimRedFitResult result =
        fitDimReduction(p.input, [&steps](int v) { return steps.push_back(v), true; });
    ASSERT_TRUE(result.model.valid);
    ASSERT_TRUE(result.umap.valid);
    EXPECT_EQ(result.model.nTrain, p.input.training.rows);
    ASSERT_EQ(result.umap.nTrain, p.input.training.rows);
    for (size_t r = 0; r < p.input.provenance.size(); ++r) {
        const auto [k, i] = p.input.provenance[r];
        EXPECT_EQ(result.columns[k].x[i], result.umap.embedding[2 * r]) << r;
        EXPECT_EQ(result.columns[k].y[i], result.umap.embedding[2 * r + 1]) << r;
    }
    // Filtered-out events are placed by transformation; bad ones stay NaN.
    EXPECT_TRUE(std::isfinite(result.columns[0].x[1]));
    EXPECT_TRUE(std::isnan(result.columns[0].x[7]));
    EXPECT_TRUE(std::isnan(result.columns[1].y[89]));
    ASSERT_GE(steps.size(), 3u);
    EXPECT_EQ(steps[steps.size() - 3], 72); // 60 + 25 * 1 / 2
    EXPECT_EQ(steps[steps.size() - 2], 85);
    EXPECT_EQ(steps.back(), 100);
}

TEST(DimRedJob, ClustersLabelTargetsAndReferenceReappliesThem) {
    Pooled p;
    p.readers.push_back(writeAndOpen(p.dir, "blobs.rtdc", blobs(60, 3, 9)));
    p.input.method = 0;
    p.input.features = names(3);
    p.input.training.cols = 3;
    appendTrainingRows(*p.readers[0], p.input.features, allEvents(180), 0, p.input.training,
                       p.input.provenance);
    p.input.targets.push_back(buildEventMatrix(*p.readers[0], p.input.features));
    p.input.cluster = {true, 5, false, 1.5};
    const DimRedFitResult result = fitDimReduction(p.input, {});
    ASSERT_TRUE(result.cluster.valid);
    EXPECT_EQ(result.cluster.clusterCount, 3);
    ASSERT_EQ(result.columns[0].cluster.size(), 180u);

    const DimRedReference ref = makeFittedReference(0, result, "blobs", "2026-01-01T00:00:00Z");
    EXPECT_TRUE(ref.present);
    EXPECT_EQ(ref.kind, 0);
    EXPECT_EQ(ref.fit_datasets, "blobs");
    EXPECT_TRUE(ref.cluster.valid);
    // Three targets: 33, 66, 100; PCA places events exactly as the fit did.
    std::vector<int> steps;
    const auto applied =
        applyDimRedReference(ref, {p.input.targets[0], p.input.targets[0], p.input.targets[0]},
                             [&steps](int v) { return steps.push_back(v), true; });
    EXPECT_EQ(steps, (std::vector<int>{33, 66, 100}));
    ASSERT_EQ(applied.size(), 3u);
    for (size_t i = 0; i < 180; ++i) {
        EXPECT_EQ(applied[2].x[i], result.columns[0].x[i]);
        expectSameOrBothNaN(applied[2].cluster[i], result.columns[0].cluster[i], 0, "id");
    }
}

TEST(DimRedJob, UmapReferenceTransformsEveryEventAnew) {
    Pooled p;
    buildPooled(p, 1);
    const DimRedFitResult result = fitDimReduction(p.input, {});
    ASSERT_TRUE(result.model.valid);
    const DimRedReference ref = makeFittedReference(1, result, "a, b", "t");
    EXPECT_EQ(ref.kind, 1);
    EXPECT_TRUE(ref.umap.valid);
    EXPECT_FALSE(ref.cluster.valid);
    const auto applied = applyDimRedReference(ref, {p.input.targets[0]}, {});
    ASSERT_EQ(applied.size(), 1u);
    size_t moved = 0;
    for (size_t i = 0; i < 120; ++i) {
        EXPECT_EQ(std::isnan(applied[0].x[i]), std::isnan(result.columns[0].x[i])) << i;
        moved += applied[0].x[i] != result.columns[0].x[i] && std::isfinite(applied[0].x[i]);
    }
    EXPECT_GT(moved, 0u);
    EXPECT_TRUE(applied[0].cluster.empty());
}

TEST(DimRedJob, NewEmbeddingWithoutClustersClearsOldClusterIds) {
    TempDir dir;
    auto reader = writeAndOpen(dir, "m.rtdc", gaussianMatrix(10, 2, 3));
    // Table: (reader had ids before, new ids given) -> expected ids afterwards.
    struct Case {
        bool hadIds;
        bool newIds;
    };
    for (const Case c : {Case{true, false}, Case{true, true}, Case{false, false}}) {
        reader->removeCalculatedFeatures();
        if (c.hadIds)
            reader->addCalculatedFeature("dr_cluster", std::vector<double>(10, 2.0));
        DimRedColumns columns;
        columns.x.assign(10, 1.0);
        columns.y.assign(10, 2.0);
        if (c.newIds)
            columns.cluster.assign(10, 0.0);
        writeDimRedColumns(*reader, columns);
        EXPECT_EQ(reader->readScalarFeature("dim_1").size(), 10u);
        EXPECT_EQ(reader->hasFeature("dr_cluster"), c.hadIds || c.newIds);
        if (!c.hadIds && !c.newIds)
            continue;
        const auto& ids = reader->readScalarFeature("dr_cluster");
        ASSERT_EQ(ids.size(), 10u);
        for (double v : ids)
            EXPECT_TRUE(c.newIds ? v == 0.0 : std::isnan(v)) << c.hadIds << c.newIds;
    }
}

TEST(DimRedJob, DefaultUmapModel) {
    const auto m = makeUmapModel();
    EXPECT_FALSE(m->valid);
    EXPECT_EQ(m->initUsed, 1);
    EXPECT_EQ(m->nTrain, 0u);
    EXPECT_EQ(m->params.n_neighbors, 15);
    EXPECT_EQ(m->params.init, 0);
}
