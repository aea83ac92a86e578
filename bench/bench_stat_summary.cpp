// The statistical summary export as the main window runs it, beside
// numpy/scipy on the same data in the same run: 20 datasets x 1e6 events x
// 10 features x 13 statistics. The program's side takes each dataset's shown
// events through its range filter, copies and selects the finite values per
// feature, formats the table and writes it through a temporary file; the
// numpy side (bench/stats_cores_numpy.py export, counter numpy_s) gets the
// shown indices ready-made and writes nothing.

#include "app/StatSummaryTable.h"
#include "core/RTDCReader.h"
#include "core/ShownEvents.h"
#include "support/RtdcFixtureWriter.h"
#include "util/AtomicFile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace Quorvex3;

namespace {

constexpr std::size_t kEvents = 1000000;
constexpr int kFeatures = 10;
constexpr int kDatasets = 20;

double runNumpyExport(const std::string& file) {
    const std::string command =
        "/usr/bin/python3 '" QUORVEX3_BENCH_DIR "/stats_cores_numpy.py' export '" + file + "' " +
        std::to_string(kEvents) + " " + std::to_string(kFeatures) + " " + std::to_string(kDatasets);
    FILE* pipe = ::popen(command.c_str(), "r");
    double seconds = -1.0;
    if (!pipe || std::fscanf(pipe, "%lf", &seconds) != 1)
        seconds = -1.0;
    if (pipe && ::pclose(pipe) != 0)
        seconds = -1.0;
    return seconds;
}

void BM_StatSummaryExport(benchmark::State& state) {
    testing::TempDir dir;
    std::vector<std::vector<double>> columns(kFeatures);
    {
        std::mt19937_64 rng(11);
        std::normal_distribution<double> normal(0.0, 1.0);
        testing::RtdcFixtureWriter writer(dir.file("m.rtdc"));
        for (int f = 0; f < kFeatures; ++f) {
            auto& v = columns[static_cast<std::size_t>(f)];
            v.resize(kEvents);
            for (std::size_t i = 0; i < kEvents; ++i)
                v[i] = i % 1000 == 7 ? std::numeric_limits<double>::quiet_NaN()
                                     : 1.0 + f + normal(rng);
            writer.addColumn<double>("f" + std::to_string(f), v);
        }
    }
    // Twenty datasets of one measurement (as duplicates share a reader),
    // each showing its own share of the events through a range rule.
    auto reader = std::make_shared<RTDCReader>();
    if (!reader->openFile(dir.file("m.rtdc"))) {
        state.SkipWithError("fixture not readable");
        return;
    }
    reader->preloadAllFeatures();
    std::vector<StatSummarySource> sources;
    for (int d = 0; d < kDatasets; ++d) {
        FilterRule rule;
        rule.featureName = "f0";
        rule.minValue = -1.0 + 0.05 * d;
        rule.maxValue = 10.0;
        EventFilter filter;
        filter.addRule(rule);
        sources.push_back({"dataset " + std::to_string(d), reader.get(), filter});
    }
    StatSummaryResult all;
    for (int f = 0; f < kFeatures; ++f)
        all.features.push_back("f" + std::to_string(f));
    all.includeIQR = all.includeSEM = all.includeQ1 = all.includeQ3 = all.includeMin = true;
    all.includeMax = all.includeCV = all.includeSkewness = all.includePercentile = true;

    double numpySeconds = -1.0;
    {
        std::ofstream file(dir.file("export.bin"), std::ios::binary);
        for (const auto& column : columns)
            file.write(reinterpret_cast<const char*>(column.data()),
                       static_cast<std::streamsize>(column.size() * sizeof(double)));
        for (const StatSummarySource& source : sources) {
            const std::vector<int> shown = shownEvents(*reader, source.filter);
            const auto count = static_cast<int32_t>(shown.size());
            file.write(reinterpret_cast<const char*>(&count), sizeof count);
            file.write(reinterpret_cast<const char*>(shown.data()),
                       static_cast<std::streamsize>(shown.size() * sizeof(int)));
        }
        file.close();
        numpySeconds = runNumpyExport(dir.file("export.bin"));
    }

    const QString out = QString::fromStdString(dir.file("summary.tsv"));
    for (auto _ : state) {
        const std::string table = buildStatSummaryTable(sources, all);
        if (writeFileAtomically(out, QByteArray::fromStdString(table)) != WriteResult::Written)
            state.SkipWithError("table not written");
    }
    state.counters["numpy_s"] = numpySeconds;
}
BENCHMARK(BM_StatSummaryExport)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
