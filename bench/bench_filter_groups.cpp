// Filter groups and rule propagation with many datasets open.
//
// Run: build/bench/bench_filter_groups (offscreen; the widgets need no display).
#include "core/RTDCReader.h"
#include "filters/FilterDockWidget.h"
#include "model/DatasetEntry.h"
#include "model/FilterPropagation.h"
#include "support/RtdcFixtureWriter.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QByteArray>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using Quorvex3::DatasetEntry;
using Quorvex3::FilterRule;

// ---- divergence marks of propagated rules ------------------------------------------

/// `datasets` records sharing one measurement (as duplicates do), each
/// holding copies of the same `rules` linked rules, half range and half
/// polygon rules. Every copy equals its original, so no search stops early:
/// the slowest case of the marks.
struct PropagatedDatasets {
    Quorvex3::testing::TempDir dir;
    std::shared_ptr<Quorvex3::RTDCReader> reader = std::make_shared<Quorvex3::RTDCReader>();
    std::vector<std::unique_ptr<DatasetEntry>> datasets;

    PropagatedDatasets(int datasetCount, int ruleCount) {
        const std::string path = dir.file("m.rtdc");
        {
            Quorvex3::testing::RtdcFixtureWriter writer(path);
            writer.addColumn<double>("area_um", std::vector<double>(1000, 50.0));
            writer.addColumn<double>("deform", std::vector<double>(1000, 0.02));
        }
        if (!reader->openFile(path))
            std::abort();
        std::vector<FilterRule> rules;
        for (int r = 0; r < ruleCount; ++r) {
            FilterRule rule;
            rule.type = r % 2;
            rule.featureName = "area_um";
            rule.featureNameY = "deform";
            rule.minValue = r;
            rule.maxValue = r + 100.0;
            rule.polygonVertices = {{0.0, 0.0}, {100.0, 0.0}, {100.0, 0.1}, {0.0, 0.1}};
            rule.propagationId = Quorvex3::createPropagationId();
            rules.push_back(rule);
        }
        for (int d = 0; d < datasetCount; ++d) {
            auto entry = std::make_unique<DatasetEntry>();
            entry->id = d;
            entry->reader = reader;
            for (const FilterRule& rule : rules)
                entry->filter.addRule(rule);
            datasets.push_back(std::move(entry));
        }
    }
};

/// The comparison alone: every rule of the active dataset against the first
/// copy in each of the other datasets.
void BM_FilterPropagationStatus(benchmark::State& state) {
    PropagatedDatasets fixture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        auto status = Quorvex3::computeFilterPropagationStatus(fixture.datasets, 0);
        benchmark::DoNotOptimize(status);
    }
    state.counters["datasets"] = static_cast<double>(state.range(0));
    state.counters["rules"] = static_cast<double>(state.range(1));
}
BENCHMARK(BM_FilterPropagationStatus)
    ->Args({100, 20})
    ->Args({10, 20})
    ->Unit(benchmark::kMicrosecond);

/// What every plot refresh spends on the marks: the comparison plus handing
/// the marks to the filter dock, whose rule editors restyle their buttons.
void BM_UpdateFilterPropagationStatus(benchmark::State& state) {
    PropagatedDatasets fixture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    Quorvex3::FilterDockWidget dock;
    dock.setDatasetCount(static_cast<int>(fixture.datasets.size()));
    dock.setActiveDataset(fixture.datasets.front().get());
    for (auto _ : state) {
        const Quorvex3::FilterPropagationStatus status =
            Quorvex3::computeFilterPropagationStatus(fixture.datasets, 0);
        dock.setEnabledStateDivergence(status.enabledStateDiverges);
        dock.setCombineModeDivergence(status.combineModeDiverges);
        for (std::size_t i = 0; i < status.rules.size(); ++i)
            dock.setRuleDivergence(static_cast<int>(i), status.rules[i].settingsDiffer,
                                   status.rules[i].enabledDiffers);
    }
}
BENCHMARK(BM_UpdateFilterPropagationStatus)->Args({100, 20})->Unit(benchmark::kMicrosecond);

} // namespace
