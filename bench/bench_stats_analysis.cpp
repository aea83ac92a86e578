// One group comparison at the size of a large study: 20 categories x 10
// datasets of 2e4 events, 3 features, each dataset shown through three range
// rules, Holm correction. The run is timed as a whole and by its parts, as
// the window runs them one after another:
//   summaries: filter apply once per dataset + computeDatasetSummary (median) per feature
//   tests:     aggregation, Kruskal-Wallis, 190 pairwise Mann-Whitney U per
//              feature, Holm over the 570 pairwise tests
//   table:     the results table's text and its QTableWidget items (573 rows)
//   plots:     one group plot per feature with its brackets, built and replotted
// BM_WindowRunAnalysis times the window's own onRunAnalysis on the same
// design, its datasets read from measurement files through a store (the
// ten datasets of a category share one file and differ by their filters).

#include "core/EventFilter.h"
#include "core/RTDCReader.h"
#include "model/DatasetStore.h"
#include "stats/CategoryPanel.h"
#include "stats/ComparisonRun.h"
#include "stats/GroupComparisonPlot.h"
#include "stats/StatisticalEvalWindow.h"
#include "support/RtdcFixtureWriter.h"

#include <QComboBox>
#include <QListWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <qwt_plot.h>

#include <chrono>
#include <memory>
#include <random>

using namespace Quorvex3;

namespace {

constexpr int kCategories = 20;
constexpr int kPerCategory = 10;
constexpr int kDatasets = kCategories * kPerCategory;
constexpr size_t kEvents = 20000;
const std::vector<std::string> kFeatures = {"area_um", "deform", "bright_avg"};

struct Study {
    // Per dataset: three feature columns and three filter columns.
    std::vector<std::vector<std::vector<double>>> features;
    std::vector<std::vector<std::vector<double>>> ruleColumns;
    std::vector<EventFilter> filters;
    std::vector<ComparisonCategory> categories;
    ComparisonSettings settings;

    Study() {
        std::mt19937_64 rng(17);
        std::normal_distribution<double> normal(0.0, 1.0);
        const char* rules[] = {"a", "b", "c"};
        for (int d = 0; d < kDatasets; ++d) {
            const double shift = 0.05 * (d / kPerCategory);
            auto& f = features.emplace_back();
            for (size_t k = 0; k < kFeatures.size(); ++k) {
                auto& column = f.emplace_back(kEvents);
                for (double& v : column)
                    v = 10.0 * (k + 1) + shift + normal(rng);
            }
            auto& r = ruleColumns.emplace_back();
            EventFilter& filter = filters.emplace_back();
            for (int k = 0; k < 3; ++k) {
                auto& column = r.emplace_back(kEvents);
                for (double& v : column)
                    v = normal(rng);
                FilterRule rule;
                rule.featureName = rules[k];
                rule.minValue = -1.8;
                rule.maxValue = 1.8;
                filter.addRule(rule);
            }
        }
        for (int c = 0; c < kCategories; ++c) {
            ComparisonCategory& category = categories.emplace_back();
            category.name = "Condition " + std::to_string(c);
            for (int e = 0; e < kPerCategory; ++e)
                category.entries.push_back(
                    {c * kPerCategory + e, "Dataset " + std::to_string(e), e + 1, 0});
        }
        settings.features = kFeatures;
        settings.correction = MultipleCorrection::Holm;
    }

    /// The dataset's shown events: its filter applied once per run, as the
    /// window does.
    std::vector<int> shown(int id) const {
        const auto d = static_cast<size_t>(id);
        EventFilter::FeatureMap columns;
        const char* rules[] = {"a", "b", "c"};
        for (size_t k = 0; k < 3; ++k)
            columns[rules[k]] = &ruleColumns[d][k];
        return filters[d].apply(columns, kEvents);
    }
};

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

void BM_RunAnalysis(benchmark::State& state) {
    static const Study study;
    QWidget area;
    auto* layout = new QVBoxLayout(&area);
    QTableWidget table;
    std::vector<QwtPlot*> plots;
    double summaries = 0, tests = 0, tableMs = 0, plotMs = 0;
    for (auto _ : state) {
        auto t = std::chrono::steady_clock::now();
        std::map<std::pair<int, std::string>, std::optional<double>> values;
        for (const ComparisonCategory& c : study.categories)
            for (const ComparisonEntry& e : c.entries) {
                const std::vector<int> shown = study.shown(e.datasetId);
                for (size_t f = 0; f < kFeatures.size(); ++f)
                    values[{e.datasetId, kFeatures[f]}] = computeDatasetSummary(
                        study.features[static_cast<size_t>(e.datasetId)][f], shown,
                        SummaryStatistic::Median);
            }
        summaries += msSince(t);

        t = std::chrono::steady_clock::now();
        const ComparisonOutcome outcome =
            runComparison(study.categories, study.settings,
                          [&values](int id, const std::string& f) { return values.at({id, f}); });
        tests += msSince(t);

        t = std::chrono::steady_clock::now();
        std::vector<std::string> names;
        for (const ComparisonCategory& c : study.categories)
            names.push_back(c.name);
        const ComparisonTable text = buildComparisonTable(outcome, names, study.settings);
        table.clear();
        table.setColumnCount(static_cast<int>(text.header.size()));
        table.setRowCount(static_cast<int>(text.rows.size()));
        QStringList header;
        for (const std::string& h : text.header)
            header << QString::fromStdString(h);
        table.setHorizontalHeaderLabels(header);
        for (size_t r = 0; r < text.rows.size(); ++r)
            for (size_t c = 0; c < text.rows[r].size(); ++c) {
                auto* item = new QTableWidgetItem(QString::fromStdString(text.rows[r][c].text));
                if (text.rows[r][c].alignRight)
                    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                table.setItem(static_cast<int>(r), static_cast<int>(c), item);
            }
        table.resizeColumnsToContents();
        tableMs += msSince(t);

        t = std::chrono::steady_clock::now();
        for (QwtPlot* p : plots) {
            layout->removeWidget(p);
            delete p;
        }
        plots.clear();
        for (const FeatureComparison& fc : outcome.features) {
            GroupPlotInput in;
            in.yTitle = QString::fromStdString(fc.label);
            for (const std::string& n : names)
                in.categoryNames.push_back(QString::fromStdString(n));
            in.values = fc.categoryValues;
            for (const auto& labels : fc.pointLabels) {
                auto& out = in.labels.emplace_back();
                for (const std::string& l : labels)
                    out.push_back(QString::fromStdString(l));
            }
            for (const SignificanceBar& b : significanceBars(fc))
                in.bars.push_back({b.first, b.second, QString::fromStdString(b.stars)});
            QwtPlot* plot = buildGroupComparisonPlot(in);
            layout->addWidget(plot);
            plots.push_back(plot);
        }
        plotMs += msSince(t);
        benchmark::DoNotOptimize(outcome.family.size());
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["summaries_ms"] = summaries / n;
    state.counters["tests_ms"] = tests / n;
    state.counters["table_ms"] = tableMs / n;
    state.counters["plots_ms"] = plotMs / n;
}
BENCHMARK(BM_RunAnalysis)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_WindowRunAnalysis(benchmark::State& state) {
    testing::TempDir dir;
    DatasetStore store;
    StatisticalEvalWindow window(&store);
    while (window.categoryPanels().size() < kCategories)
        window.onAddCategory();
    std::mt19937_64 rng(23);
    std::normal_distribution<double> normal(0.0, 1.0);
    for (int c = 0; c < kCategories; ++c) {
        const std::string path = dir.file("c" + std::to_string(c) + ".rtdc");
        {
            testing::RtdcFixtureWriter writer(path);
            for (const std::string& name :
                 {kFeatures[0], kFeatures[1], kFeatures[2], std::string("pos_x"),
                  std::string("pos_y"), std::string("size_x")}) {
                std::vector<double> column(kEvents);
                for (double& v : column)
                    v = 0.05 * c + normal(rng);
                writer.addColumn<double>(name, column);
            }
        }
        auto reader = std::make_shared<RTDCReader>();
        reader->openFile(path);
        reader->preloadAllFeatures();
        for (int e = 0; e < kPerCategory; ++e) {
            auto entry = std::make_unique<DatasetEntry>();
            entry->reader = reader;
            entry->displayName = QStringLiteral("C%1 ID%2").arg(c).arg(e + 1);
            for (const char* rule : {"pos_x", "pos_y", "size_x"}) {
                FilterRule r;
                r.featureName = rule;
                r.minValue = -2.0 + 0.02 * e;
                r.maxValue = 2.0;
                entry->filter.addRule(r);
            }
            const QString name = entry->displayName;
            const int id = store.append(std::move(entry));
            window.categoryPanels()[static_cast<size_t>(c)]->addEntry({id, name, "", e + 1, 0, 0});
        }
    }
    window.onCategoryChanged();
    auto* list = window.findChild<QListWidget*>(QStringLiteral("featureList"));
    for (int i = 0; i < list->count(); ++i)
        for (const std::string& f : kFeatures)
            if (list->item(i)->data(Qt::UserRole).toString().toStdString() == f)
                list->item(i)->setSelected(true);
    window.findChild<QComboBox*>(QStringLiteral("correctionCombo"))
        ->setCurrentText(QStringLiteral("Holm-Bonferroni"));
    for (auto _ : state)
        window.onRunAnalysis();
    state.counters["rows"] = window.findChild<QTableWidget*>(QStringLiteral("resultsTable"))->rowCount();
}
BENCHMARK(BM_WindowRunAnalysis)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
