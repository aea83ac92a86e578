// The group comparison run: summaries per dataset, replicate aggregation,
// tests with their correction, the results table and the group plots. The
// numbers and texts come from the GUI-free run (stats/ComparisonRun.h); this
// file reads the controls, asks the user and shows the outcome.
#include "stats/StatisticalEvalWindow.h"

#include "core/RTDCReader.h"
#include "core/ShownEvents.h"
#include "stats/CategoryPanel.h"
#include "stats/ColumnFit.h"
#include "stats/ComparisonRun.h"
#include "stats/DatasetSummary.h"
#include "stats/GroupComparisonPlot.h"
#include "util/DialogProvider.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QHeaderView>
#include <QListWidget>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include <qwt_plot.h>

#include <map>

namespace Quorvex3 {

namespace {

const QString kAnalysisTitle = QStringLiteral("Analysis");

/// The font of the results' column titles: the style sheet draws them
/// semi-bold.
QFont titleFont(const QHeaderView& header) {
    QFont font = header.font();
    font.setWeight(QFont::DemiBold);
    return font;
}

/// Width of the widest space-separated word of `text`.
int longestWord(const QFontMetrics& metrics, const QString& text) {
    int widest = 0;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        widest = std::max(widest, metrics.horizontalAdvance(word));
    return widest;
}

/// Keeps the results table's columns within its width, whatever the
/// window's size: the p and significance columns (the last two) keep the
/// width of their text, the feature, group and test columns give way, the
/// widest first, down to their longest word and their title; their text
/// then wraps onto more lines and the rows grow, so every value stays
/// readable (cutting them made the table unreadable in a narrow window).
/// Nobody has to scroll sideways to read the verdict. Lives on the table's
/// viewport and refits on every resize of it.
class ResultColumnFitter : public QObject {
public:
    static constexpr const char* kName = "resultColumnFitter";

    explicit ResultColumnFitter(QTableWidget* table) : QObject(table), m_table(table) {
        setObjectName(QLatin1String(kName));
        // Fitted here; a stretched last section would undo the fit.
        m_table->horizontalHeader()->setStretchLastSection(false);
        // Titles wrap at their spaces as the cells do (the header grows).
        m_table->horizontalHeader()->setTextElideMode(Qt::ElideNone);
        m_table->horizontalHeader()->setDefaultAlignment(
            Qt::AlignCenter | static_cast<Qt::Alignment>(static_cast<int>(Qt::TextWordWrap)));
        m_table->setWordWrap(true);
        m_table->viewport()->installEventFilter(this);
    }

    /// Measures the columns' text after the table was filled, then fits.
    void measure() {
        // The header's height beyond one line of title.
        m_table->horizontalHeader()->setMinimumHeight(0);
        m_titleFrame = m_table->horizontalHeader()->sizeHint().height() -
                       QFontMetrics(titleFont(*m_table->horizontalHeader())).height();
        // Each column's text on one line: wrapped, it would measure at the
        // column's present width.
        m_table->setWordWrap(false);
        m_table->resizeColumnsToContents();
        m_table->setWordWrap(true);
        m_wanted.clear();
        m_least.clear();
        const QFontMetrics metrics(m_table->font());
        // The item views' text margins on both sides of a cell, and two
        // pixels for the text layout's fractional widths.
        const int margin =
            2 * (m_table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_table) +
                 1) +
            2;
        for (int c = 0; c < m_table->columnCount(); ++c) {
            m_wanted.push_back(m_table->horizontalHeader()->sectionSize(c));
            // A title keeps its longest word (its tool tip holds all of it).
            int least = 0;
            if (QTableWidgetItem* item = m_table->horizontalHeaderItem(c)) {
                item->setToolTip(item->text());
                const QFontMetrics titleMetrics(titleFont(*m_table->horizontalHeader()));
                const int padding = m_table->horizontalHeader()->sectionSizeHint(c) -
                                    titleMetrics.horizontalAdvance(item->text());
                least = padding + longestWord(titleMetrics, item->text());
            }
            for (int r = 0; r < m_table->rowCount(); ++r)
                if (const QTableWidgetItem* item = m_table->item(r, c))
                    least = std::max(least, longestWord(metrics, item->text()) + margin);
            m_least.push_back(std::min(least, m_wanted.back()));
        }
        fit();
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize && watched == m_table->viewport())
            fit();
        return QObject::eventFilter(watched, event);
    }

private:
    void fit() {
        if (m_wanted.empty() || static_cast<int>(m_wanted.size()) != m_table->columnCount())
            return;
        QHeaderView* header = m_table->horizontalHeader();
        const std::size_t keptFrom = m_wanted.size() >= 2 ? m_wanted.size() - 2 : 0;
        const int available = m_table->viewport()->width();
        const std::vector<int> widths = keepLeastWidths(
            fitColumnWidths(m_wanted, available, keptFrom, header->minimumSectionSize()), m_least,
            available, keptFrom);
        for (std::size_t c = 0; c < widths.size(); ++c)
            header->resizeSection(static_cast<int>(c), widths[c]);
        // Wrapped text needs taller rows, and wrapped titles a taller header.
        m_table->resizeRowsToContents();
        int height = 0;
        for (std::size_t c = 0; c < widths.size(); ++c) {
            const QTableWidgetItem* item = m_table->horizontalHeaderItem(static_cast<int>(c));
            if (!item)
                continue;
            const QFontMetrics metrics(titleFont(*header));
            const int padding = header->sectionSizeHint(static_cast<int>(c)) -
                                metrics.horizontalAdvance(item->text());
            const QRect text = metrics.boundingRect(QRect(0, 0, widths[c] - padding, 10000),
                                                    Qt::TextWordWrap, item->text());
            height = std::max(height, text.height() + m_titleFrame);
        }
        header->setMinimumHeight(height);
    }

    QTableWidget* m_table;
    std::vector<int> m_wanted;
    int m_titleFrame = 0;
    /// Per column: its longest word (and its title), below which text is cut.
    std::vector<int> m_least;
};

void fitResultColumns(QTableWidget* table) {
    // Only the fitter carries this name among the table's own children.
    QObject* found = table->findChild<QObject*>(QLatin1String(ResultColumnFitter::kName),
                                                Qt::FindDirectChildrenOnly);
    auto* fitter = found ? static_cast<ResultColumnFitter*>(found) : new ResultColumnFitter(table);
    fitter->measure();
}

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
    fitResultColumns(m_resultsTable);

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
