// The group comparison run: summaries per dataset, replicate aggregation,
// tests with their correction, the results table and the group plots. The
// numbers and texts come from the GUI-free run (stats/ComparisonRun.h); this
// file reads the controls, asks the user and shows the outcome.
#include "stats/StatisticalEvalWindow.h"

#include "core/RTDCReader.h"
#include "core/ShownEvents.h"
#include "stats/CategoryPanel.h"
#include "stats/ComparisonRun.h"
#include "stats/DatasetSummary.h"
#include "stats/GroupComparisonPlot.h"
#include "stats/ResultTableFit.h"
#include "util/DialogProvider.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QListWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <qwt_plot.h>

#include <map>

namespace Quorvex3 {

namespace {

const QString kAnalysisTitle = QStringLiteral("Analysis");

/// Shown events of the datasets of one run, by dataset id: each dataset's
/// filter is applied once, not once per feature. The summaries always apply
/// the effective filter's rules; its enabled flag only switches the plots.
using ShownCache = std::map<int, std::vector<int>>;

std::optional<double> datasetSummary(const DatasetStore* store, int datasetId,
                                     const std::string& feature, SummaryStatistic statistic,
                                     ShownCache* cache) {
    const DatasetEntry* dataset = store ? store->findById(datasetId) : nullptr;
    if (!dataset || !dataset->reader)
        return std::nullopt;
    // Held by handle: read in place from the reader's cache, never copied.
    const std::shared_ptr<const std::vector<double>> column =
        dataset->reader->featureColumn(feature);
    if (!column || column->empty())
        return std::nullopt;
    if (!cache)
        return computeDatasetSummary(
            *column, shownEventsByRules(*dataset->reader, store->buildEffectiveFilter(dataset)),
            statistic);
    auto it = cache->find(datasetId);
    if (it == cache->end())
        it = cache
                 ->emplace(datasetId, shownEventsByRules(*dataset->reader,
                                                         store->buildEffectiveFilter(dataset)))
                 .first;
    return computeDatasetSummary(*column, it->second, statistic);
}

std::vector<ComparisonCategory> comparisonCategories(const std::vector<CategoryPanel*>& panels) {
    std::vector<ComparisonCategory> categories;
    for (const CategoryPanel* panel : panels) {
        ComparisonCategory& category = categories.emplace_back();
        category.name = panel->categoryName().toStdString();
        for (const CategoryDatasetEntry& e : panel->entries())
            category.entries.push_back(
                {e.datasetId, e.displayName.toStdString(), e.numberId, e.bioRepId});
    }
    return categories;
}

} // namespace

void StatisticalEvalWindow::onRunAnalysis() {
    const std::vector<ComparisonCategory> categories = comparisonCategories(m_categoryPanels);
    ComparisonSettings settings;
    for (const QListWidgetItem* item : m_featureList->selectedItems()) {
        const std::string feature = item->data(Qt::UserRole).toString().toStdString();
        settings.features.push_back(feature);
        settings.featureLabels.push_back(
            featureLabel(feature, QString::fromStdString(feature)).toStdString());
    }
    settings.summary = summaryStatisticFromIndex(m_summaryCombo->currentIndex());
    settings.replicates = m_replicatesCheck->isChecked();
    settings.matched = isPaired();
    settings.alpha = m_alphaSpin->value();
    settings.correctionText = m_correctionCombo->currentText().toStdString();
    settings.correction = correctionFromText(settings.correctionText);

    if (const auto message = validateComparison(categories, settings)) {
        DialogProvider::current().warning(this, kAnalysisTitle, QString::fromStdString(*message),
                                          QMessageBox::Ok);
        return;
    }
    if (const auto message = datasetsInSeveralCategories(categories)) {
        DialogProvider::current().warning(this, kAnalysisTitle, QString::fromStdString(*message),
                                          QMessageBox::Ok);
        return;
    }
    if (const auto question = reachabilityQuestion(categories, settings)) {
        if (DialogProvider::current().warning(this, kAnalysisTitle,
                                              QString::fromStdString(*question),
                                              QMessageBox::Yes | QMessageBox::No,
                                              QMessageBox::No) != QMessageBox::Yes)
            return;
    }

    std::vector<std::string> names;
    QStringList header;
    for (const ComparisonCategory& c : categories)
        names.push_back(c.name);
    for (const std::string& h : comparisonTableFrame(names))
        header << QString::fromStdString(h);
    m_resultsTable->clear();
    m_resultsTable->clearSpans();
    m_resultsTable->setColumnCount(header.size());
    m_resultsTable->setRowCount(static_cast<int>(settings.features.size()));
    m_resultsTable->setHorizontalHeaderLabels(header);

    ShownCache shown;
    const DatasetStore* store = m_store;
    const ComparisonOutcome outcome = runComparison(
        categories, settings, [&](int datasetId, const std::string& feature) {
            return datasetSummary(store, datasetId, feature, settings.summary, &shown);
        });

    const ComparisonTable table = buildComparisonTable(outcome, names, settings);
    m_resultsTable->setRowCount(static_cast<int>(table.rows.size()));
    m_resultsTable->setHorizontalHeaderItem(
        static_cast<int>(table.header.size()) - 1,
        new QTableWidgetItem(QString::fromStdString(table.header.back())));
    for (std::size_t r = 0; r < table.rows.size(); ++r)
        for (std::size_t c = 0; c < table.rows[r].size(); ++c)
            setResultCell(static_cast<int>(r), static_cast<int>(c),
                          QString::fromStdString(table.rows[r][c].text),
                          table.rows[r][c].alignRight);
    spanLabelsOverEmptyCells(m_resultsTable, static_cast<int>(names.size()));
    fitResultTable(m_resultsTable);

    clearPlots();
    std::vector<QString> categoryNames;
    std::vector<QColor> colours;
    for (const CategoryPanel* panel : m_categoryPanels) {
        categoryNames.push_back(panel->categoryName());
        colours.push_back(panel->color());
    }
    for (const FeatureComparison& fc : outcome.features) {
        std::vector<std::vector<QString>> labels;
        for (const auto& category : fc.pointLabels) {
            auto& out = labels.emplace_back();
            for (const std::string& label : category)
                out.push_back(QString::fromStdString(label));
        }
        std::optional<PlotPairedData> paired;
        if (settings.matched)
            paired = PlotPairedData{fc.matchedValues, m_connectionLinesCheck->isChecked()};
        std::vector<PlotSigBar> bars;
        for (const SignificanceBar& bar : significanceBars(fc))
            bars.push_back({bar.first, bar.second, QString::fromStdString(bar.stars)});
        QwtPlot* plot = buildGroupPlot(fc.feature, categoryNames, colours, fc.categoryValues,
                                       labels, paired ? &*paired : nullptr, bars);
        m_groupPlotLayout->addWidget(plot);
        m_groupPlots.push_back(plot);
    }

    const std::string omitted = omittedDatasetsMessage(outcome.omitted);
    if (!omitted.empty())
        DialogProvider::current().warning(this, kAnalysisTitle, QString::fromStdString(omitted),
                                          QMessageBox::Ok);
}

QString StatisticalEvalWindow::featureLabel(const std::string& feature,
                                            const QString& fallback) const {
    for (const CategoryPanel* panel : m_categoryPanels) {
        if (panel->entries().empty() || !m_store)
            continue;
        const DatasetEntry* dataset = m_store->findById(panel->entries().front().datasetId);
        if (!dataset || !dataset->reader)
            continue;
        const std::string label = dataset->reader->getFeatureLabel(feature);
        return label.empty() ? fallback : QString::fromStdString(label);
    }
    return fallback;
}

bool StatisticalEvalWindow::pairingValid() const {
    // The same check the run makes before a matched comparison.
    return comparisonPairingValid(comparisonCategories(m_categoryPanels));
}

std::optional<double> StatisticalEvalWindow::computeDatasetSummary(int datasetId,
                                                                   const std::string& feature) const {
    return datasetSummary(m_store, datasetId, feature,
                          summaryStatisticFromIndex(m_summaryCombo->currentIndex()), nullptr);
}

std::vector<std::optional<double>>
StatisticalEvalWindow::datasetSummaries(int datasetId,
                                        const std::vector<std::string>& features) const {
    const SummaryStatistic statistic = summaryStatisticFromIndex(m_summaryCombo->currentIndex());
    ShownCache shown;
    std::vector<std::optional<double>> summaries;
    summaries.reserve(features.size());
    for (const std::string& feature : features)
        summaries.push_back(datasetSummary(m_store, datasetId, feature, statistic, &shown));
    return summaries;
}

QString StatisticalEvalWindow::significanceStars(double p, double alpha) {
    return QString::fromStdString(Quorvex3::significanceStars(p, alpha));
}

QwtPlot* StatisticalEvalWindow::buildGroupPlot(const std::string& feature,
                                               const std::vector<QString>& categoryNames,
                                               const std::vector<QColor>& colours,
                                               const std::vector<std::vector<double>>& values,
                                               const std::vector<std::vector<QString>>& pointLabels,
                                               const PlotPairedData* paired,
                                               const std::vector<PlotSigBar>& bars) const {
    GroupPlotInput input;
    // The dots are summary values, not events: the title says which.
    input.yTitle = QString::fromStdString(
        summaryAxisTitle(summaryStatisticFromIndex(m_summaryCombo->currentIndex()),
                         featureLabel(feature, QString::fromStdString(feature)).toStdString()));
    input.categoryNames = categoryNames;
    input.colors = colours;
    input.values = values;
    input.labels = pointLabels;
    GroupPlotPaired matched;
    if (paired) {
        matched.subjectValues = paired->valuesByCategory;
        matched.showLines = paired->showLines;
        input.paired = &matched;
    }
    for (const PlotSigBar& bar : bars)
        input.bars.push_back({bar.first, bar.second, bar.mark});
    return buildGroupComparisonPlot(input);
}

void StatisticalEvalWindow::clearPlots() {
    for (QwtPlot* plot : m_groupPlots) {
        m_groupPlotLayout->removeWidget(plot);
        delete plot;
    }
    m_groupPlots.clear();
}

void StatisticalEvalWindow::setResultCell(int row, int column, const QString& text,
                                          bool alignRight) {
    auto* item = new QTableWidgetItem(text);
    item->setToolTip(text);
    if (alignRight)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_resultsTable->setItem(row, column, item);
}

} // namespace Quorvex3
