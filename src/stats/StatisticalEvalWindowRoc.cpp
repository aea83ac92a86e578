// The ROC run: samples of the two chosen categories, one curve per feature
// and the combined score, the ROC table and the ROC plots.
#include "stats/StatisticalEvalWindow.h"

#include "stats/CategoryPanel.h"
#include "stats/ComparisonRun.h"
#include "stats/ResultTableFit.h"
#include "stats/RocPlot.h"
#include "stats/RocRun.h"
#include "util/DialogProvider.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QListWidget>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <qwt_plot.h>

#include <algorithm>

namespace Quorvex3 {

namespace {

const QString kRocTitle = QStringLiteral("ROC Analysis");

/// The features selected in the list, in the order the list reports them:
/// names (user-role data) and labels (texts), both UTF-8.
void selectedFeatures(const QListWidget& list, std::vector<std::string>& names,
                      std::vector<std::string>& labels) {
    for (const QListWidgetItem* item : list.selectedItems()) {
        names.push_back(item->data(Qt::UserRole).toString().toStdString());
        labels.push_back(item->text().toStdString());
    }
}

/// Gives the table the height of its rows (at most half of its splitter)
/// and the ROC plots the rest: left to the stretch factors, the table's
/// large size hint squeezes the plots into a strip.
void fitRocTableHeight(QTableWidget& table) {
    auto* splitter = qobject_cast<QSplitter*>(table.parentWidget());
    if (!splitter || splitter->count() != 2)
        return;
    const bool sideways = table.horizontalHeader()->length() > table.viewport()->width();
    int height = table.horizontalHeader()->height() + 2 * table.frameWidth() +
                 (sideways ? table.horizontalScrollBar()->sizeHint().height() : 0);
    for (int row = 0; row < table.rowCount(); ++row)
        height += table.rowHeight(row);
    const int total = splitter->height();
    height = std::min(height, total / 2);
    splitter->setSizes({height, std::max(total - height, 0)});
}

QStringList toQStringList(const std::vector<std::string>& texts) {
    QStringList list;
    for (const std::string& text : texts)
        list << QString::fromStdString(text);
    return list;
}

} // namespace

/// One category as a ROC class: every entry's summary value per feature,
/// computed afresh (a dataset without a value gives none, not 0.0).
RocClassInput StatisticalEvalWindow::rocClassInput(int categoryIndex,
                                                   const std::vector<std::string>& features) const {
    const CategoryPanel* panel = m_categoryPanels.at(static_cast<std::size_t>(categoryIndex));
    RocClassInput input;
    input.name = panel->categoryName().toStdString();
    for (const CategoryDatasetEntry& entry : panel->entries()) {
        input.datasetNames.push_back(entry.displayName.toStdString());
        input.entries.push_back(
            {entry.numberId, entry.bioRepId, datasetSummaries(entry.datasetId, features)});
    }
    return input;
}

bool StatisticalEvalWindow::chooseRocClasses(int& negative, int& positive) {
    std::vector<std::string> names;
    for (const CategoryPanel* panel : m_categoryPanels)
        names.push_back(panel->categoryName().toStdString());
    negative = 0;
    positive = 1;
    if (names.size() == 2)
        return true;
    DialogProvider& dialogs = DialogProvider::current();
    bool ok = false;
    const QString negativeName =
        dialogs.getItem(this, kRocTitle, QStringLiteral("Select NEGATIVE class (reference):"),
                        toQStringList(names), 0, false, &ok);
    negative = categoryIndexOfName(names, negativeName.toStdString());
    if (!ok || negative < 0)
        return false;
    // The positive name is looked up among the names offered, so that of two
    // categories sharing a name the one not chosen as negative is meant.
    const std::vector<std::string> offered = positiveClassChoices(names, negative);
    const QString positiveName =
        dialogs.getItem(this, kRocTitle, QStringLiteral("Select POSITIVE class (condition):"),
                        toQStringList(offered), 0, false, &ok);
    const int offeredIndex = categoryIndexOfName(offered, positiveName.toStdString());
    if (!ok || offeredIndex < 0)
        return false;
    positive = offeredIndex < negative ? offeredIndex : offeredIndex + 1;
    return true;
}

void StatisticalEvalWindow::onRunROC() {
    DialogProvider& dialogs = DialogProvider::current();
    if (m_categoryPanels.size() < 2) {
        dialogs.warning(this, kRocTitle, QStringLiteral("Need at least 2 categories."));
        return;
    }
    int negative = 0;
    int positive = 1;
    if (!chooseRocClasses(negative, positive))
        return;
    // A dataset in both classes would be a sample of each.
    std::vector<ComparisonCategory> classes;
    for (const int c : {negative, positive}) {
        const CategoryPanel* panel = m_categoryPanels.at(static_cast<std::size_t>(c));
        ComparisonCategory& category = classes.emplace_back();
        category.name = panel->categoryName().toStdString();
        for (const CategoryDatasetEntry& e : panel->entries())
            category.entries.push_back({e.datasetId, e.displayName.toStdString(), 0, 0});
    }
    if (const auto message = datasetsInSeveralCategories(classes)) {
        dialogs.warning(this, kRocTitle, QString::fromStdString(*message));
        return;
    }
    RocRunInput input;
    selectedFeatures(*m_featureList, input.featureNames, input.featureLabels);
    input.replicates = m_replicatesCheck->isChecked();
    input.rootMeanSquare = m_summaryCombo->currentIndex() == 2;
    // The summaries are computed only once the run can start.
    if (!input.featureNames.empty()) {
        input.negative = rocClassInput(negative, input.featureNames);
        input.positive = rocClassInput(positive, input.featureNames);
    }
    const RocRunOutcome outcome = runRocAnalysis(input);
    if (!outcome.error.empty()) {
        dialogs.warning(this, kRocTitle, QString::fromStdString(outcome.error));
        return;
    }
    fillRocTable(input, outcome);
    clearROCPlots();
    for (const RocFeatureOutcome& feature : outcome.features)
        if (feature.result.valid)
            addRocPlot(buildRocPlot(QString::fromStdString(feature.label), feature.result));
    if (outcome.combined && outcome.combined->valid)
        addRocPlot(buildRocPlot(QString::fromStdString(
                                    combinedRocTitle(input.featureLabels, outcome.combined->weights)),
                                *outcome.combined));
    m_lastRocCurves.clear();
    for (const RocFeatureOutcome& feature : outcome.features)
        m_lastRocCurves.emplace_back(feature.label, feature.result);
    // The combined score's curve, under the name of its table row.
    if (outcome.combined)
        m_lastRocCurves.emplace_back("Combined (LDA)", *outcome.combined);
    m_tabWidget->setCurrentIndex(1);
    fitRocTableHeight(*m_rocTable);
    if (!outcome.leftOut.empty())
        dialogs.warning(this, kRocTitle, QString::fromStdString(outcome.leftOut));
}

void StatisticalEvalWindow::fillRocTable(const RocRunInput& input, const RocRunOutcome& outcome) {
    const int rows = static_cast<int>(outcome.features.size()) + (outcome.combined ? 1 : 0);
    m_rocTable->clear();
    m_rocTable->setColumnCount(8);
    m_rocTable->setRowCount(rows);
    m_rocTable->setHorizontalHeaderLabels(
        toQStringList(rocTableHeader(input.negative.name, input.positive.name)));
    const auto fillRow = [&](int row, const std::string& label, const ROCResult& result) {
        m_rocTable->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(label)));
        const std::vector<std::string> cells = rocTableCells(result, input.positive.name);
        for (int column = 1; column <= 7; ++column)
            setRocTableCell(row, column,
                            QString::fromStdString(cells[static_cast<std::size_t>(column - 1)]));
    };
    int row = 0;
    for (const RocFeatureOutcome& feature : outcome.features)
        fillRow(row++, feature.label, feature.result);
    if (outcome.combined)
        fillRow(row, "Combined (LDA)", *outcome.combined);
    // Fitted to the tab's width like the comparison's table: its titles and
    // the direction wrap rather than push the numbers out of view.
    fitResultTable(m_rocTable);
}

void StatisticalEvalWindow::addRocPlot(QwtPlot* plot) {
    m_rocPlotLayout->addWidget(plot);
    m_rocPlots.push_back(plot);
}

void StatisticalEvalWindow::clearROCPlots() {
    for (QwtPlot* plot : m_rocPlots) {
        m_rocPlotLayout->removeWidget(plot);
        delete plot;
    }
    m_rocPlots.clear();
}

void StatisticalEvalWindow::setRocTableCell(int row, int column, const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_rocTable->setItem(row, column, item);
}

} // namespace Quorvex3
