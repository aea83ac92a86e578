// Mann-Whitney U on 500,000 against 500,000 values, and scipy's asymptotic
// mannwhitneyu on the same data in the same run (bench/mannwhitney_scipy.py,
// best of three, reported as the counter scipy_ms). Also the other tests and
// the ROC curve at sizes the evaluation window never reaches, for scale.

#include "stats/NonParametricTests.h"
#include "stats/ROCAnalysis.h"
#include "support/RtdcFixtureWriter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

using namespace Quorvex3;

namespace {

constexpr size_t kSample = 500000;

std::vector<double> normalSample(size_t n, double shift, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> normal(shift, 1.0);
    std::vector<double> v(n);
    for (double& x : v)
        x = normal(rng);
    return v;
}

/// Best-of-three seconds of scipy on x and y; -1 when the script failed.
double scipySeconds(const std::vector<double>& x, const std::vector<double>& y, double& pValue) {
    testing::TempDir dir;
    const std::string path = dir.file("mwu.bin");
    {
        std::ofstream file(path, std::ios::binary);
        file.write(reinterpret_cast<const char*>(x.data()),
                   static_cast<std::streamsize>(x.size() * sizeof(double)));
        file.write(reinterpret_cast<const char*>(y.data()),
                   static_cast<std::streamsize>(y.size() * sizeof(double)));
    }
    const std::string command = "/usr/bin/python3 '" QUORVEX3_BENCH_DIR "/mannwhitney_scipy.py' '" +
                                path + "' " + std::to_string(x.size()) + " " +
                                std::to_string(y.size());
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return -1.0;
    double seconds = -1.0;
    double statistic = 0.0;
    if (std::fscanf(pipe, "%lf %lf %lf", &seconds, &statistic, &pValue) != 3)
        seconds = -1.0;
    ::pclose(pipe);
    return seconds;
}

void BM_MannWhitneyU(benchmark::State& state) {
    const std::vector<double> x = normalSample(kSample, 0.0, 1);
    const std::vector<double> y = normalSample(kSample, 0.003, 2);
    double scipyP = -1.0;
    const double scipy = scipySeconds(x, y, scipyP);
    TestResult result;
    for (auto _ : state) {
        result = NonParametricTests::mannWhitneyU(x, y);
        benchmark::DoNotOptimize(result);
    }
    state.counters["scipy_ms"] = scipy * 1000.0;
    state.counters["p"] = result.pValue;
    state.counters["scipy_p"] = scipyP;
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(2 * kSample));
}
BENCHMARK(BM_MannWhitneyU)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_KruskalWallis(benchmark::State& state) {
    std::vector<std::vector<double>> groups;
    for (int g = 0; g < 4; ++g)
        groups.push_back(normalSample(static_cast<size_t>(state.range(0)), 0.01 * g, 10 + g));
    for (auto _ : state)
        benchmark::DoNotOptimize(NonParametricTests::kruskalWallis(groups));
    state.SetItemsProcessed(state.iterations() * 4 * state.range(0));
}
BENCHMARK(BM_KruskalWallis)->Arg(250000)->Unit(benchmark::kMillisecond);

void BM_ROCCurve(benchmark::State& state) {
    const auto neg = normalSample(static_cast<size_t>(state.range(0)), 0.0, 3);
    const auto pos = normalSample(static_cast<size_t>(state.range(0)), 0.5, 4);
    for (auto _ : state)
        benchmark::DoNotOptimize(ROCAnalysis::compute(neg, pos));
    state.SetItemsProcessed(state.iterations() * 2 * state.range(0));
}
BENCHMARK(BM_ROCCurve)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
