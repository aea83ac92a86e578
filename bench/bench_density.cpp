// Density colouring and contours over a plotted population: the three methods
// of estimateNaNSafe and computeContoursTransformed with two levels, on
// uniform and on clustered events; and the main plot's kernel density colour
// with two contour levels next to numpy/scipy binning and smoothing the same
// grid (bench/kde_numpy.py, run by this program with /usr/bin/python3), in
// three rounds, each timing both sides:
//   taskset -c 2-7 bench_density --benchmark_filter=KdeColour
//       --benchmark_report_aggregates_only=true
// The nearest-neighbour density on shapes of real measurements that defeat a
// plain search grid (every event equal, two values per feature, one far
// outlier, integer-valued features, a saturated corner), each next to
// clustered events of the same number in the same run:
//   bench_density --benchmark_filter=KnnShape

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
#include <vector>

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

/// Wall times of numpy/scipy building the same kernel density grid.
struct ReferenceTimes {
    double bestMs = std::nan("");
    double medianMs = std::nan("");
};

/// Five numpy/scipy runs binning and smoothing the same grid as ours
/// (same size, extent and kernels); NaN when the script cannot run.
ReferenceTimes numpyGridMilliseconds(const testdata::Points& p) {
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
    ReferenceTimes times;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char line[64];
        if (std::fgets(line, sizeof(line), pipe))
            times.bestMs = std::strtod(line, nullptr);
        if (std::fgets(line, sizeof(line), pipe))
            times.medianMs = std::strtod(line, nullptr);
        while (std::fgets(line, sizeof(line), pipe)) {
        }
        ::pclose(pipe);
    }
    std::filesystem::remove(path);
    return times;
}

/// The one-minute load average, to be reported next to the times.
double loadAverage() {
    double load = std::nan("");
    if (FILE* in = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(in, "%lf", &load) != 1)
            load = std::nan("");
        std::fclose(in);
    }
    return load;
}

double medianOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? std::nan("") : (values[(n - 1) / 2] + values[n / 2]) / 2.0;
}

/// What the main plot computes for kernel density colour with contours:
/// densities and the default inner and outer levels from one grid. Each
/// repetition is one round: ours, then the numpy/scipy reference on the same
/// points in the same process run; the ratio of the medians (and of the
/// best times) is reported per round, and over the rounds as median, min, max.
void BM_KdeColourAndContours(benchmark::State& state) {
    const testdata::Points p =
        makePoints(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const std::vector<double> fractions{0.1, 0.67};
    std::vector<double> took;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        KernelDensityView view = DensityEstimator::estimateKDEWithContours(
            p.x, p.y, fractions, ScaleMode::Linear, ScaleMode::Linear);
        benchmark::DoNotOptimize(view.densities.data());
        took.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    label(state);
    const ReferenceTimes numpy = numpyGridMilliseconds(p);
    const double median = medianOf(took);
    const double best = *std::min_element(took.begin(), took.end());
    state.counters["ms"] = median;
    state.counters["numpy_ms"] = numpy.medianMs;
    state.counters["ratio"] = median / numpy.medianMs;
    state.counters["best_ms"] = best;
    state.counters["numpy_best_ms"] = numpy.bestMs;
    state.counters["best_ratio"] = best / numpy.bestMs;
    state.counters["load1"] = loadAverage();
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

enum KnnShape { AllEqual = 0, TwoValues, FarOutlier, IntegerValued, SaturatedCorner };

const char* knnShapeName(int shape) {
    switch (shape) {
    case AllEqual:
        return "all equal";
    case TwoValues:
        return "two values each";
    case FarOutlier:
        return "one at (1e308, -1e308)";
    case IntegerValued:
        return "integer-valued";
    default:
        return "saturated corner";
    }
}

testdata::Points makeKnnShape(int n, int shape) {
    switch (shape) {
    case AllEqual:
        return testdata::equal(n);
    case TwoValues:
        return testdata::twoValues(n, 1234);
    case FarOutlier:
        return testdata::outlier(n, 1234);
    case IntegerValued:
        return testdata::lattice(n, 1234);
    default:
        return testdata::saturated(n, 1234);
    }
}

double millisecondsOfKnn(const testdata::Points& p) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<double> d = DensityEstimator::estimateNaNSafe(p.x, p.y, DensityMethod::KNN);
    benchmark::DoNotOptimize(d.data());
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

/// kNN densities of one shape and of clustered events of the same number,
/// taken in turns within each iteration; the time is the shape's, and the
/// counters give both medians and their ratio.
void BM_KnnShapeAgainstClustered(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const testdata::Points shape = makeKnnShape(n, static_cast<int>(state.range(1)));
    const testdata::Points clustered = testdata::clustered(n, 1234);
    std::vector<double> shapeMs;
    std::vector<double> clusteredMs;
    for (auto _ : state) {
        shapeMs.push_back(millisecondsOfKnn(shape));
        state.SetIterationTime(shapeMs.back() / 1000.0);
        clusteredMs.push_back(millisecondsOfKnn(clustered));
    }
    state.SetLabel(knnShapeName(static_cast<int>(state.range(1))));
    state.counters["ms"] = medianOf(shapeMs);
    state.counters["clustered_ms"] = medianOf(clusteredMs);
    state.counters["ratio"] = medianOf(shapeMs) / medianOf(clusteredMs);
    state.counters["load1"] = loadAverage();
}

void knnShapes(benchmark::internal::Benchmark* b) {
    for (int n : {1 << 18, 1000000})
        for (int shape : {AllEqual, TwoValues, FarOutlier, IntegerValued, SaturatedCorner})
            b->Args({n, shape});
    // A few rounds: a clustered run of a million events takes about a second.
    b->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
}

BENCHMARK_TEMPLATE(BM_EstimateNaNSafe, DensityMethod::KDE)->Apply(sizes);
BENCHMARK_TEMPLATE(BM_EstimateNaNSafe, DensityMethod::Histogram)->Apply(sizes);
BENCHMARK_TEMPLATE(BM_EstimateNaNSafe, DensityMethod::KNN)->Apply(sizes);
BENCHMARK(BM_ContoursTransformed)->Apply(contourSizes);
BENCHMARK(BM_KnnShapeAgainstClustered)->Apply(knnShapes);
BENCHMARK(BM_KdeColourAndContours)
    ->Args({100000, Uniform})
    ->Args({100000, Clustered})
    ->Args({1000000, Uniform})
    ->Args({1000000, Clustered})
    ->Args({10000000, Uniform})
    ->Args({10000000, Clustered})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->Repetitions(3)
    ->ComputeStatistics("min",
                        [](const std::vector<double>& v) {
                            return *std::min_element(v.begin(), v.end());
                        })
    ->ComputeStatistics("max", [](const std::vector<double>& v) {
        return *std::max_element(v.begin(), v.end());
    });

} // namespace

BENCHMARK_MAIN();
