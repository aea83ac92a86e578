// The distribution explorer: density curves of the selected features per
// dataset or averaged per category.
#include "stats/StatisticalEvalWindow.h"

#include "core/RTDCReader.h"
#include "core/ShownEvents.h"
#include "stats/CategoryPanel.h"
#include "stats/DatasetSummary.h"
#include "util/DialogProvider.h"

#include <QComboBox>
#include <QListWidget>
#include <QTabWidget>
#include <QVBoxLayout>
#include <qwt_plot.h>

#include <map>

namespace Quorvex3 {

namespace {

const QString kDistributionTitle = QStringLiteral("Distribution Explorer");

/// The finite values of the feature over the dataset's shown events; empty
/// when the dataset is gone, not loaded or lacks the feature. The shown
/// events are taken from `shown` once the dataset's filter was applied.
std::vector<double> shownFiniteValues(const DatasetStore& store, int datasetId,
                                      const std::string& feature,
                                      std::map<int, std::vector<int>>& shown) {
    const DatasetEntry* dataset = store.findById(datasetId);
    if (!dataset || !dataset->reader || !dataset->reader->hasFeature(feature))
        return {};
    RTDCReader& reader = *dataset->reader;
    const std::shared_ptr<const std::vector<double>> column = reader.featureColumn(feature);
    if (!column || column->empty())
        return {};
    // The events the dataset's rules show, as the dataset summaries take
    // them: also while "Filtering Enabled" is unticked for the plots.
    auto events = shown.find(datasetId);
    if (events == shown.end())
        events = shown
                     .emplace(datasetId,
                              shownEventsByRules(reader, store.buildEffectiveFilter(dataset)))
                     .first;
    return collectShownFiniteValues(*column, events->second);
}

/// Name and colour of every category, by index.
std::vector<DistributionLook> categoryLooks(const std::vector<CategoryPanel*>& panels) {
    std::vector<DistributionLook> looks;
    for (const CategoryPanel* panel : panels)
        looks.push_back({panel->categoryName(), panel->color()});
    return looks;
}

} // namespace

DistributionCurves
StatisticalEvalWindow::distributionCurves(const std::string& feature,
                                          std::vector<DistributionLook>& looks,
                                          std::map<int, std::vector<int>>& shown) const {
    std::vector<DistributionSample> samples;
    for (std::size_t c = 0; c < m_categoryPanels.size(); ++c) {
        const CategoryPanel* panel = m_categoryPanels[c];
        for (const CategoryDatasetEntry& entry : panel->entries()) {
            std::vector<double> values = m_store
                                             ? shownFiniteValues(*m_store, entry.datasetId,
                                                                 feature, shown)
                                             : std::vector<double>();
            if (values.empty())
                continue;
            samples.push_back(
                {std::move(values), entry.displayName.toStdString(), static_cast<int>(c)});
            looks.push_back({entry.displayName, panel->color()});
        }
    }
    return computeDistributionCurves(samples, static_cast<int>(m_categoryPanels.size()));
}

void StatisticalEvalWindow::clearDistributionPlots() {
    for (QwtPlot* plot : m_distributionPlots) {
        m_distributionLayout->removeWidget(plot);
        delete plot;
    }
    m_distributionPlots.clear();
}

void StatisticalEvalWindow::onRunDistribution() {
    clearDistributionPlots();
    const QList<QListWidgetItem*> selected = m_featureList->selectedItems();
    if (selected.isEmpty()) {
        DialogProvider::current().warning(this, kDistributionTitle,
                                          QStringLiteral("Select at least one feature."));
        return;
    }
    const bool perCategory = m_distributionModeCombo->currentIndex() == 1;
    QStringList tooWide;
    std::map<int, std::vector<int>> shown;
    for (const QListWidgetItem* item : selected) {
        const std::string feature = item->data(Qt::UserRole).toString().toStdString();
        std::vector<DistributionLook> samples;
        const DistributionCurves curves = distributionCurves(feature, samples, shown);
        if (curves.status == DistributionStatus::Overflow)
            tooWide << item->text();
        if (curves.status != DistributionStatus::Ready)
            continue;
        QwtPlot* plot = buildDistributionPlot(
            item->text(), featureLabel(feature, item->text()), curves, samples,
            categoryLooks(m_categoryPanels), perCategory);
        m_distributionLayout->addWidget(plot);
        m_distributionPlots.push_back(plot);
    }
    m_tabWidget->setCurrentIndex(2);
    if (!tooWide.isEmpty())
        DialogProvider::current().warning(
            this, kDistributionTitle,
            QStringLiteral("The values of %1 span a range too wide to plot (it exceeds the "
                           "largest number a double can hold); no distribution is shown for it.")
                .arg(tooWide.join(QStringLiteral(", "))));
}

} // namespace Quorvex3
