// Density colouring and contours over a plotted population: the three methods
// of estimateNaNSafe and computeContoursTransformed with two levels, on
// uniform and on clustered events; and the main plot's kernel density colour
// with two contour levels next to numpy/scipy binning and smoothing the same
// grid (bench/kde_numpy.py, run by this program with /usr/bin/python3).

#include "density/DensityEstimator.h"
#include "density/DensityTestData.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

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

/// Best of five numpy/scipy runs building the same kernel density grid, in
/// milliseconds; NaN when the script cannot run.
double numpyGridMilliseconds(const testdata::Points& p) {
    const DensityGrid grid = DensityEstimator::computeKDEGrid(p.x, p.y, 0);
    // The grid reaches three bandwidths beyond the data on each side.
    const double hx = (*std::min_element(p.x.begin(), p.x.end()) - grid.xMin) / 3.0;
    const double hy = (*std::min_element(p.y.begin(), p.y.end()) - grid.yMin) / 3.0;
    const std::string path =
        (std::filesystem::temp_directory_path() / "quorvex3_bench_kde_points.bin").string();
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(p.x.data(), sizeof(double), p.x.size(), out);
        std::fwrite(p.y.data(), sizeof(double), p.y.size(), out);
        std::fclose(out);
    }
    char args[512];
    std::snprintf(args, sizeof(args), " %d %.17g %.17g %.17g %.17g %.17g %.17g 5", grid.size,
                  grid.xMin, grid.yMin, grid.xStep, grid.yStep, hx, hy);
    const std::string command =
        std::string("/usr/bin/python3 ") + QUORVEX3_BENCH_DIR + "/kde_numpy.py " + path + args;
    double ms = std::nan("");
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char line[64];
        if (std::fgets(line, sizeof(line), pipe))
            ms = std::strtod(line, nullptr);
        while (std::fgets(line, sizeof(line), pipe)) {
        }
        ::pclose(pipe);
    }
    std::filesystem::remove(path);
    return ms;
}

/// What the main plot computes for kernel density colour with contours:
/// densities and the default inner and outer levels from one grid.
void BM_KdeColourAndContours(benchmark::State& state) {
    const testdata::Points p =
        makePoints(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const std::vector<double> fractions{0.1, 0.67};
    double best = 1e300;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        KernelDensityView view = DensityEstimator::estimateKDEWithContours(
            p.x, p.y, fractions, ScaleMode::Linear, ScaleMode::Linear);
        benchmark::DoNotOptimize(view.densities.data());
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    label(state);
    const double numpy = numpyGridMilliseconds(p);
    state.counters["best_ms"] = best;
    state.counters["numpy_best_ms"] = numpy;
    state.counters["ratio"] = best / numpy;
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
BENCHMARK(BM_KdeColourAndContours)
    ->Args({100000, Uniform})
    ->Args({100000, Clustered})
    ->Args({1000000, Uniform})
    ->Args({1000000, Clustered})
    ->Args({10000000, Uniform})
    ->Args({10000000, Clustered})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
