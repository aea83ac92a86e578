// The numeric cores of the evaluation window and its exports at the sizes of
// real measurements, each beside numpy/scipy on the same data in the same run
// (bench/stats_cores_numpy.py; its figures are the counters numpy_ms,
// kde_ms and numpy_s):
// - one dataset summary over 1e6 events shown by three range rules (the
//   filter's apply included, as the window runs it), per statistic, and the
//   reduction alone after the filter;
// - the distribution explorer's density curve at 1e5, 1e6 and 1e7 values,
//   against gaussian_kde on the same 256 grid points;
// - the statistical summary export: 20 datasets x 1e6 events x 10 features x
//   13 statistics.

#include "core/EventFilter.h"
#include "stats/DatasetSummary.h"
#include "stats/DensityCurve.h"
#include "stats/SummaryStatistics.h"
#include "support/RtdcFixtureWriter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace Quorvex3;

namespace {

constexpr size_t kEvents = 1000000;

std::vector<double> normalColumn(size_t n, double mean, uint64_t seed, bool withNaN = false) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> normal(mean, 1.0);
    std::vector<double> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = withNaN && i % 1000 == 7 ? std::numeric_limits<double>::quiet_NaN() : normal(rng);
    return v;
}

void writeDoubles(std::ofstream& file, const std::vector<double>& v) {
    file.write(reinterpret_cast<const char*>(v.data()),
               static_cast<std::streamsize>(v.size() * sizeof(double)));
}

/// The numbers printed by the numpy script with these arguments; empty when it failed.
std::vector<double> runNumpy(const std::string& arguments) {
    const std::string command =
        "/usr/bin/python3 '" QUORVEX3_BENCH_DIR "/stats_cores_numpy.py' " + arguments;
    std::vector<double> numbers;
    FILE* pipe = ::popen(command.c_str(), "r");
    double x = 0.0;
    while (pipe && std::fscanf(pipe, "%lf", &x) == 1)
        numbers.push_back(x);
    if (!pipe || ::pclose(pipe) != 0)
        numbers.clear();
    return numbers;
}

struct SummaryData {
    std::vector<double> feature = normalColumn(kEvents, 10.0, 1, true);
    std::vector<std::vector<double>> rules = {normalColumn(kEvents, 0.0, 2),
                                              normalColumn(kEvents, 0.0, 3),
                                              normalColumn(kEvents, 0.0, 4)};
    const double bounds[6] = {-1.5, 2.0, -2.0, 1.5, -1.8, 1.8};
    EventFilter filter;
    EventFilter::FeatureMap columns;
    std::vector<double> numpySeconds;

    SummaryData() {
        const char* names[] = {"a", "b", "c"};
        std::string arguments;
        for (int r = 0; r < 3; ++r) {
            FilterRule rule;
            rule.featureName = names[r];
            rule.minValue = bounds[2 * r];
            rule.maxValue = bounds[2 * r + 1];
            filter.addRule(rule);
            columns[names[r]] = &rules[static_cast<size_t>(r)];
            arguments += " " + std::to_string(rule.minValue) + " " + std::to_string(rule.maxValue);
        }
        testing::TempDir dir;
        std::ofstream file(dir.file("summary.bin"), std::ios::binary);
        writeDoubles(file, feature);
        for (const auto& column : rules)
            writeDoubles(file, column);
        file.close();
        numpySeconds = runNumpy("summary '" + dir.file("summary.bin") + "' " +
                                std::to_string(kEvents) + arguments);
    }
};

void BM_DatasetSummary(benchmark::State& state) {
    static const SummaryData data;
    // The script prints median, mean, std, cv, IQR: the summary box's order.
    const int statistic = static_cast<int>(state.range(0));
    size_t shown = 0;
    for (auto _ : state) {
        const std::vector<int> indices = data.filter.apply(data.columns, kEvents);
        shown = indices.size();
        benchmark::DoNotOptimize(
            computeDatasetSummary(data.feature, indices, summaryStatisticFromIndex(statistic)));
    }
    state.counters["shown"] = static_cast<double>(shown);
    state.counters["numpy_ms"] = data.numpySeconds.size() == 5
                                     ? data.numpySeconds[static_cast<size_t>(statistic)] * 1000.0
                                     : -1.0;
}
BENCHMARK(BM_DatasetSummary)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

// The reduction alone, on the shown indices of the same filter: the copy of
// the shown finite values and the statistic, without the filter's apply.
void BM_DatasetSummaryAfterFilter(benchmark::State& state) {
    static const SummaryData data;
    static const std::vector<int> indices = data.filter.apply(data.columns, kEvents);
    const int statistic = static_cast<int>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(
            computeDatasetSummary(data.feature, indices, summaryStatisticFromIndex(statistic)));
}
BENCHMARK(BM_DatasetSummaryAfterFilter)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

void BM_DensityCurve(benchmark::State& state) {
    const auto n = static_cast<size_t>(state.range(0));
    const std::vector<double> values = normalColumn(n, 3.0, 5);
    const auto grid = makeDensityGrid({values});
    double kdeSeconds = -1.0;
    {
        testing::TempDir dir;
        std::ofstream file(dir.file("values.bin"), std::ios::binary);
        writeDoubles(file, values);
        file.close();
        const auto numbers = runNumpy("kde '" + dir.file("values.bin") + "' " + std::to_string(n));
        kdeSeconds = numbers.size() == 1 ? numbers[0] : -1.0;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(
            estimateDensityCurve(values, grid->range, grid->step, grid->start));
    state.counters["kde_ms"] = kdeSeconds * 1000.0;
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DensityCurve)->Arg(100000)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMillisecond);

void BM_SummaryExport(benchmark::State& state) {
    constexpr int kDatasets = 20;
    constexpr int kFeatures = 10;
    std::vector<std::vector<double>> columns;
    for (int f = 0; f < kFeatures; ++f)
        columns.push_back(normalColumn(kEvents, 1.0 + f, 100 + static_cast<uint64_t>(f), true));
    // Each dataset shows its own share of the events, as its filter would.
    std::vector<std::vector<int>> shown(kDatasets);
    std::mt19937_64 rng(7);
    for (int d = 0; d < kDatasets; ++d)
        for (int i = 0; i < static_cast<int>(kEvents); ++i)
            if (rng() % 100 < 60 + static_cast<unsigned>(d) * 2)
                shown[static_cast<size_t>(d)].push_back(i);

    double numpySeconds = -1.0;
    {
        testing::TempDir dir;
        std::ofstream file(dir.file("export.bin"), std::ios::binary);
        for (const auto& column : columns)
            writeDoubles(file, column);
        for (const auto& indices : shown) {
            const auto count = static_cast<int32_t>(indices.size());
            file.write(reinterpret_cast<const char*>(&count), sizeof count);
            file.write(reinterpret_cast<const char*>(indices.data()),
                       static_cast<std::streamsize>(indices.size() * sizeof(int)));
        }
        file.close();
        const auto numbers =
            runNumpy("export '" + dir.file("export.bin") + "' " + std::to_string(kEvents) + " " +
                     std::to_string(kFeatures) + " " + std::to_string(kDatasets));
        numpySeconds = numbers.size() == 1 ? numbers[0] : -1.0;
    }

    StatSummaryResult all;
    all.includeIQR = all.includeSEM = all.includeQ1 = all.includeQ3 = all.includeMin = true;
    all.includeMax = all.includeCV = all.includeSkewness = all.includePercentile = true;
    const std::vector<SummaryColumn> statistics = summaryColumns(all);
    for (auto _ : state)
        for (const auto& indices : shown)
            for (const auto& column : columns)
                benchmark::DoNotOptimize(computeSummaryStatistics(
                    collectShownFiniteValues(column, indices), statistics, 95.0));
    state.counters["numpy_s"] = numpySeconds;
}
BENCHMARK(BM_SummaryExport)->Iterations(2)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
