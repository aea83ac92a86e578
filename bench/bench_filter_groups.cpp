// Filter groups and rule propagation with many datasets open, and the
// import of a filter-group file of many groups.
//
// Run: build/bench/bench_filter_groups (offscreen; the widgets need no display).
// BM_ImportFilterGroups/<groups>/<same name>/<dataset open>: from the import
// request on a shown main window until its event loop is idle again (a pass
// that finds nothing to do), the file read, the groups made and every widget
// built, laid out and painted, in the program's style and style sheet (the dock builds
// the controls of the groups in and near view; the others are empty boxes until scrolled
// to). Counters: "idle_ms" per import, "gui_max_gap_ms", the longest interval between two
// turns of the event loop, "built_groups", the groups with their controls at the end, and
// "page_max_ms", the longest page step of paging down through every group afterwards
// (2,000 groups only).
#include "GapMeter.h"
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "core/RTDCReader.h"
#include "filters/FilterDockWidget.h"
#include "filters/FilterGroupWidget.h"
#include "model/DatasetEntry.h"
#include "model/FilterPropagation.h"
#include "support/RtdcFixtureWriter.h"
#include "util/DialogProvider.h"
#include "util/ScriptedDialogProvider.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScrollArea>
#include <QScrollBar>

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

// ---- import of a filter-group file ------------------------------------------------

/// A filter-group file of `groups` groups without rules, all named "Gate"
/// or each named apart ("Gate 1", "Gate 2", ...): about 60 KB for 2,000.
QString writeGroupFile(const Quorvex3::testing::TempDir& dir, int groups, bool sameName) {
    QJsonArray array;
    for (int g = 0; g < groups; ++g)
        array.append(
            QJsonObject{{QStringLiteral("name"),
                         sameName ? QStringLiteral("Gate") : QStringLiteral("Gate %1").arg(g + 1)},
                        {QStringLiteral("rules"), QJsonArray()}});
    const QString path = QString::fromStdString(
        dir.file("groups_" + std::to_string(groups) + (sameName ? "_same" : "_apart") + ".qv3fg"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        std::abort();
    file.write(QJsonDocument(QJsonObject{{QStringLiteral("formatVersion"), 1},
                                         {QStringLiteral("groups"), array}})
                   .toJson(QJsonDocument::Indented));
    return path;
}

/// Runs the event loop until a whole pass, deferred deletions included,
/// finds nothing left to do.
void spinUntilIdle() {
    QElapsedTimer pass;
    for (int quiet = 0; quiet < 3;) {
        pass.start();
        QApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        quiet = pass.nsecsElapsed() < 1000000 ? quiet + 1 : 0;
    }
}

void BM_ImportFilterGroups(benchmark::State& state) {
    const int groups = static_cast<int>(state.range(0));
    const bool sameName = state.range(1) != 0;
    const bool withDataset = state.range(2) != 0;
    Quorvex3::testing::TempDir dir;
    const QString groupFile = writeGroupFile(dir, groups, sameName);
    Quorvex3::testing::ScriptedDialogProvider dialogs;
    Quorvex3::ScopedDialogProvider guard(dialogs);
    // The program's own style and style sheet: every widget is polished
    // through the sheet, as in the program.
    Quorvex3::applyApplicationLook();
    Quorvex3::MainWindow window;
    window.resize(1280, 720);
    window.show();
    if (withDataset) {
        const std::string path = dir.file("m.rtdc");
        {
            Quorvex3::testing::RtdcFixtureWriter writer(path);
            std::vector<double> area(5000), deform(5000);
            for (std::size_t i = 0; i < area.size(); ++i) {
                area[i] = 20.0 + static_cast<double>(i % 200);
                deform[i] = 0.001 * static_cast<double>(i % 97);
            }
            writer.addColumn<double>("area_um", area);
            writer.addColumn<double>("deform", deform);
        }
        window.addDataset(QString::fromStdString(path));
        while (window.datasets().empty() || !window.datasets().front()->featuresLoaded)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    spinUntilIdle();
    auto* dock = window.findChild<Quorvex3::FilterDockWidget*>();
    if (!dock)
        std::abort();

    const QWidget* viewport =
        dock->findChild<QScrollArea*>(QStringLiteral("dockScrollArea"))->viewport();
    Quorvex3::bench::GapMeter gaps;
    int builtGroups = 0;
    double maxGapMs = 0.0;
    double totalMs = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<int> ids;
        for (const auto& group : window.filterGroups())
            ids.push_back(group->id);
        for (const int id : ids)
            window.removeFilterGroup(id);
        window.refreshFilterGroupsUi();
        spinUntilIdle();
        dialogs.fileAnswers = {groupFile};
        state.ResumeTiming();

        QElapsedTimer clock;
        clock.start();
        gaps.start();
        emit dock->importGroupsRequested();
        spinUntilIdle();
        maxGapMs = std::max(maxGapMs, gaps.stopMs());
        totalMs += static_cast<double>(clock.nsecsElapsed()) / 1e6;
        if (static_cast<int>(window.filterGroups().size()) != groups)
            state.SkipWithError("not every group was imported");
        builtGroups = 0;
        for (const Quorvex3::FilterGroupWidget* widget : dock->groupWidgets()) {
            builtGroups += widget->isBuilt() ? 1 : 0;
            const QRect box(widget->mapTo(viewport, QPoint(0, 0)), widget->size());
            if (box.intersects(viewport->rect()) && !widget->isBuilt())
                state.SkipWithError("a group in view was left empty");
        }
    }
    // Paging down through every group afterwards: the longest page, from the
    // scroll until idle, its groups built and painted.
    double pageMaxMs = 0.0;
    QScrollBar* bar =
        dock->findChild<QScrollArea*>(QStringLiteral("dockScrollArea"))->verticalScrollBar();
    // (Not for the largest file: paging through it would take minutes.)
    const bool pageThrough = groups <= 2000;
    for (int value = 0; pageThrough && value < bar->maximum(); value += bar->pageStep()) {
        QElapsedTimer page;
        page.start();
        bar->setValue(value);
        spinUntilIdle();
        pageMaxMs = std::max(pageMaxMs, static_cast<double>(page.nsecsElapsed()) / 1e6);
    }
    state.counters["page_max_ms"] = pageMaxMs;
    state.counters["idle_ms"] = totalMs / static_cast<double>(state.iterations());
    state.counters["gui_max_gap_ms"] = maxGapMs;
    state.counters["built_groups"] = builtGroups;
}
BENCHMARK(BM_ImportFilterGroups)
    ->ArgNames({"groups", "same_name", "dataset"})
    ->Args({2000, 1, 0})
    ->Args({2000, 0, 0})
    ->Args({2000, 1, 1})
    ->Args({2000, 0, 1})
    ->Args({20000, 0, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace
