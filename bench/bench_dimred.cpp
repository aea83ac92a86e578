// Dimension reduction at the sizes of real fits: UMAP fit on 1e4, 5e4 and
// 1e5 events x 8 features, UMAP transform of 1e5 new events, the automatic
// DBSCAN radius on 24,000 points, cluster assignment of 1e6 points and PCA
// (fit and projection) on 1e6 x 10. The data are Gaussian blobs made by the
// tests' generator; bench/umap_learn_timing.py makes the same numbers with
// the same splitmix64 stream and fits umap-learn on them for comparison.

#include "dimred/Dbscan.h"
#include "dimred/DimRedTestData.h"
#include "dimred/Pca.h"
#include "dimred/RobustScaling.h"
#include "dimred/Umap.h"

#include <benchmark/benchmark.h>

namespace {

using namespace Quorvex3;

// The first `rows` events of three blobs in `dims` dimensions, robust-scaled
// as the fit action scales them.
DimRedMatrix scaledBlobs(size_t rows, size_t dims, uint64_t seed) {
    DimRedMatrix m = dimredtest::blobs((rows + 2) / 3, dims, seed, nullptr);
    m.rows = rows;
    m.data.resize(rows * dims);
    std::vector<std::string> names;
    for (size_t j = 0; j < dims; ++j)
        names.push_back("f" + std::to_string(j));
    return applyScaling(fitScaling(m, names), m);
}

const UmapModel& fittedModel() {
    static const UmapModel model = umapFit(scaledBlobs(10000, 8, 1), UmapParams(), {});
    return model;
}

// An embedding-like point set: the training embedding of the fitted model.
std::vector<double> embeddingPoints(size_t n) {
    const UmapModel& m = fittedModel();
    std::vector<double> pts(2 * n);
    dimredtest::SplitMix g(3);
    for (size_t i = 0; i < n; ++i) {
        const size_t j = i % m.nTrain;
        pts[2 * i] = m.embedding[2 * j] + 0.05 * g.bell();
        pts[2 * i + 1] = m.embedding[2 * j + 1] + 0.05 * g.bell();
    }
    return pts;
}

void BM_UmapFit(benchmark::State& state) {
    const DimRedMatrix m = scaledBlobs(static_cast<size_t>(state.range(0)), 8, 1);
    // Untimed first fit on 5,000 other rows, as bench/umap_learn_timing.py
    // warms umap-learn up: the worker threads, the allocator and the caches
    // are warm for both sides, and only the fit itself is timed.
    {
        UmapModel warm = umapFit(scaledBlobs(5000, 8, 2), UmapParams(), {});
        benchmark::DoNotOptimize(warm.embedding.data());
    }
    for (auto _ : state) {
        UmapModel model = umapFit(m, UmapParams(), {});
        benchmark::DoNotOptimize(model.embedding.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_UmapTransform(benchmark::State& state) {
    const UmapModel& model = fittedModel();
    const DimRedMatrix fresh = scaledBlobs(static_cast<size_t>(state.range(0)), 8, 2);
    std::vector<double> out;
    for (auto _ : state) {
        umapTransform(model, fresh, out, {});
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SuggestEps(benchmark::State& state) {
    const size_t n = static_cast<size_t>(state.range(0));
    const std::vector<double> pts = embeddingPoints(n);
    for (auto _ : state)
        benchmark::DoNotOptimize(suggestEps(pts, n, 10));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_AssignClusters(benchmark::State& state) {
    const std::vector<double> train = embeddingPoints(24000);
    std::vector<double> tx, ty;
    for (size_t i = 0; i < train.size(); i += 2) {
        tx.push_back(train[i]);
        ty.push_back(train[i + 1]);
    }
    const DimRedClusterModel model = buildClusterModel(tx, ty, suggestEps(train, 24000, 10), 10);
    const size_t n = static_cast<size_t>(state.range(0));
    const std::vector<double> pts = embeddingPoints(n);
    std::vector<double> x(n), y(n), out;
    for (size_t i = 0; i < n; ++i) {
        x[i] = pts[2 * i];
        y[i] = pts[2 * i + 1];
    }
    for (auto _ : state) {
        assignClusters(model, x, y, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_PcaFit(benchmark::State& state) {
    const DimRedMatrix m = dimredtest::gaussianMatrix(static_cast<size_t>(state.range(0)), 10, 4);
    std::vector<std::string> names;
    for (int j = 0; j < 10; ++j)
        names.push_back("f" + std::to_string(j));
    for (auto _ : state) {
        DimRedModel model = fitPca(m, names);
        benchmark::DoNotOptimize(model.loading1.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_PcaProject(benchmark::State& state) {
    const DimRedMatrix m = dimredtest::gaussianMatrix(static_cast<size_t>(state.range(0)), 10, 4);
    std::vector<std::string> names;
    for (int j = 0; j < 10; ++j)
        names.push_back("f" + std::to_string(j));
    const DimRedModel model = fitPca(m, names);
    std::vector<double> x, y;
    for (auto _ : state) {
        projectOnto(model, m, x, y);
        benchmark::DoNotOptimize(x.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

} // namespace

BENCHMARK(BM_UmapFit)->Arg(10000)->Arg(50000)->Arg(100000)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_UmapTransform)->Arg(100000)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_SuggestEps)->Arg(24000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssignClusters)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PcaFit)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PcaProject)->Arg(1000000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
