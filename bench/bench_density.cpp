// Density colouring and contours over a plotted population: the three methods
// of estimateNaNSafe and computeContoursTransformed with two levels, on
// uniform and on clustered events.

#include "plots/DensityEstimator.h"
#include "plots/DensityTestData.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

using namespace Quorvex3;

enum Shape { Uniform = 0, Clustered = 1 };

testdata::Points makePoints(int n, int shape) {
    if (shape == Uniform)
        return testdata::uniformSquare(n, 1234);
    // Area/deformation-like scatter: two clusters over a sparse background.
    return testdata::clustered(n, 1234);
}

void label(benchmark::State& state) {
    state.SetLabel(state.range(1) == Uniform ? "uniform" : "clustered");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

template <DensityMethod Method> void BM_EstimateNaNSafe(benchmark::State& state) {
    const testdata::Points p =
        makePoints(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        std::vector<double> d = DensityEstimator::estimateNaNSafe(p.x, p.y, Method);
        benchmark::DoNotOptimize(d.data());
    }
    label(state);
}

void BM_ContoursTransformed(benchmark::State& state) {
    const testdata::Points p =
        makePoints(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const auto mode = static_cast<ScaleMode>(state.range(2));
    // The main plot's default inner and outer levels.
    const std::vector<double> fractions{0.5, 0.95};
    for (auto _ : state) {
        std::vector<ContourLevel> levels =
            DensityEstimator::computeContoursTransformed(p.x, p.y, fractions, mode, mode);
        benchmark::DoNotOptimize(levels.data());
    }
    label(state);
}

void sizes(benchmark::internal::Benchmark* b) {
    for (int shape : {Uniform, Clustered})
        for (int n : {10000, 100000, 1000000})
            b->Args({n, shape});
    b->Unit(benchmark::kMillisecond);
}

void contourSizes(benchmark::internal::Benchmark* b) {
    for (int shape : {Uniform, Clustered})
        for (int n : {10000, 100000, 1000000})
            b->Args({n, shape, static_cast<int>(ScaleMode::Linear)});
    // Log axes: positive data become log10 first, then the same work.
    b->Args({1000000, Clustered, static_cast<int>(ScaleMode::Log)});
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK_TEMPLATE(BM_EstimateNaNSafe, DensityMethod::KDE)->Apply(sizes);
BENCHMARK_TEMPLATE(BM_EstimateNaNSafe, DensityMethod::Histogram)->Apply(sizes);
BENCHMARK_TEMPLATE(BM_EstimateNaNSafe, DensityMethod::KNN)->Apply(sizes);
BENCHMARK(BM_ContoursTransformed)->Apply(contourSizes);

} // namespace

BENCHMARK_MAIN();
