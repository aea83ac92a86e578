// Help and feedback speed:
// - opening a help window on the built manual: from the constructor to the
//   start page shown (collection created, manual registered, widgets built,
//   indexing started); closing it is not part of it. Target: under 0.5 s.
// - building and scrubbing a feedback report of 2,000 log lines and 50
//   datasets: session summary, private terms, scrubbing of the log, the
//   summary and the error, and the UTF-8 report. Target: under 20 ms.

#include "model/DatasetEntry.h"
#include "services/FeedbackReport.h"
#include "services/HelpWindow.h"
#include "services/SessionSummary.h"

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <clocale>
#include <memory>
#include <vector>

namespace {

using namespace Quorvex3;

void BM_OpenHelpWindow(benchmark::State& state) {
    for (auto _ : state) {
        auto window = std::make_unique<HelpWindow>(QStringLiteral(QUORVEX3_BUILT_MANUAL));
        window->show();
        QApplication::processEvents();
        benchmark::DoNotOptimize(window->browser()->document());
        state.PauseTiming();
        window.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenHelpWindow)->Unit(benchmark::kMillisecond)->UseRealTime();

std::vector<std::unique_ptr<DatasetEntry>> fiftyDatasets() {
    std::vector<std::unique_ptr<DatasetEntry>> datasets;
    for (int i = 0; i < 50; ++i) {
        auto entry = std::make_unique<DatasetEntry>();
        const std::string n = std::to_string(i);
        entry->filePath = "/home/alice/measurements/2024-05 donor " + n + "/M" + n + "_blood.rtdc";
        entry->displayName = QStringLiteral("donor %1 blood").arg(i);
        entry->featuresLoaded = true;
        entry->metadata.experiment = {{"sample", "donor " + n + " blood"},
                                      {"date", "2024-05-01"},
                                      {"run index", n},
                                      {"time", "10:15:00"}};
        for (const char* key : {"channel width", "chip region", "flow rate", "medium",
                                "module composition", "software version", "temperature"})
            entry->metadata.setup[key] = "value " + n;
        for (const char* key : {"frame rate", "pixel size", "roi size x", "roi size y"})
            entry->metadata.imaging[key] = "0.340000";
        entry->metadata.exportSection = {{"changed sample name", "renamed " + n}};
        FilterRule rule;
        rule.featureName = "deform";
        rule.maxValue = 0.1;
        entry->filter.addRule(rule);
        entry->emodApplied = true;
        datasets.push_back(std::move(entry));
    }
    return datasets;
}

QString twoThousandLogLines() {
    QString log;
    for (int i = 0; i < 2000; ++i)
        log += QStringLiteral("2024-05-01T10:%1:00Z [INFO ] Loading: /home/alice/measurements/"
                              "2024-05 donor %2/M%2_blood.rtdc - Caching features of donor %2 "
                              "blood (%3 events)\n")
                   .arg(i % 60, 2, 10, QLatin1Char('0'))
                   .arg(i % 50)
                   .arg(100000 + i);
    return log;
}

void BM_BuildAndScrubReport(benchmark::State& state) {
    const auto datasets = fiftyDatasets();
    const QString log = twoThousandLogLines();
    std::size_t bytes = 0;
    for (auto _ : state) {
        const QString summary = buildSessionSummary(datasets, true);
        PrivateTerms terms = systemPrivateTerms();
        const PrivateTerms datasetTerms = datasetPrivateTerms(datasets);
        terms.paths += datasetTerms.paths;
        terms.names += datasetTerms.names;
        FeedbackReportParts parts = collectReportParts(
            "3.3.99", summary, "File / Data Error",
            "H5Dread failed for /home/alice/measurements/2024-05 donor 3/M3_blood.rtdc", log);
        scrubReportParts(parts, PrivateTextScrubber(terms));
        const QByteArray report = composeReport(parts, QStringLiteral("It froze."));
        bytes = static_cast<std::size_t>(report.size());
        benchmark::DoNotOptimize(report.constData());
    }
    state.counters["report_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_BuildAndScrubReport)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
