// The main scatter plot of the active dataset: the central refresh, the
// colour, contours, isolines, polygon overlays and status line it draws, the
// picking of events, and copying the plot settings to every dataset.
//
// The points, colours and contours come from buildPlotArrays; this file hands
// them to the widgets. Index i of m_plot's arrays is plot point i; its
// eventIndices map it to its event, ascending.
#include "app/MainWindow.h"

#include "calc/CalculationsDockWidget.h"
#include "calc/EModulus.h"
#include "compare/CombinePlotWindow.h"
#include "compare/ImageGalleryWindow.h"
#include "core/RTDCReader.h"
#include "filters/FilterDockWidget.h"
#include "model/DatasetPlotSettings.h"
#include "plots/PlotControlsWidget.h"
#include "plots/PlotOverlayItems.h"
#include "plots/ScatterPlot.h"
#include "plots/StatisticsDockWidget.h"
#include "stats/StatisticalEvalWindow.h"
#include "util/DialogProvider.h"

#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace Quorvex3 {

namespace {

/// Whether lines of constant Young's modulus belong on a plot of these axes:
/// area against deformation, either way round.
bool isolineAxes(const std::string& x, const std::string& y) {
    return (x == "area_um" && y == "deform") || (x == "deform" && y == "area_um");
}

QPolygonF toPolygon(const std::vector<std::pair<double, double>>& vertices) {
    QPolygonF polygon;
    polygon.reserve(static_cast<int>(vertices.size()));
    for (const auto& vertex : vertices)
        polygon << QPointF(vertex.first, vertex.second);
    return polygon;
}

bool isPolygonOnAxes(const FilterRule& rule, const std::string& x, const std::string& y) {
    return rule.type == 1 && rule.featureName == x && rule.featureNameY == y;
}

} // namespace

// ---- the central refresh -----------------------------------------------------------

void MainWindow::updatePlot() {
    DatasetEntry* entry = activeDataset();
    RTDCReader* reader = activeReader();
    if (!entry || !reader || !reader->isOpen())
        return;
    const PlotSettings settings = m_plotControls->settings();
    PlotArrays arrays = buildPlotArrays(buildEffectiveFilter(entry), *reader, settings);
    if (arrays.outcome == PlotArrays::Outcome::Empty) {
        showEmptyPlot();
        return;
    }
    if (arrays.outcome == PlotArrays::Outcome::ReadFailed) {
        // The plot keeps what it showed of this dataset, but never another
        // dataset's plot under this one's name; the information line leaves
        // the loading text for the dataset's own line.
        if (m_lastPlotDatasetIndex != m_store.activeRow())
            clearPlotAndEventViews();
        updateFilteredStatus();
        QStringList reasons;
        for (const std::string& reason : arrays.readErrors)
            reasons << QString::fromStdString(reason);
        DialogProvider::current().warningWithDetails(
            this, QStringLiteral("Error"), QStringLiteral("Failed to read feature data."),
            reasons.join(QLatin1Char('\n')));
        return;
    }

    m_plot = std::move(arrays);
    m_plottedIndicesValid = true;
    m_plotControls->setLeftOutCounts(m_plot.nonPositiveX, m_plot.nonPositiveY);
    const QString xLabel = QString::fromStdString(m_plot.xLabel);
    const QString yLabel = QString::fromStdString(m_plot.yLabel);
    m_scatterPlot->setData(m_plot.x, m_plot.y, xLabel, yLabel, m_plot.color,
                           QString::fromStdString(m_plot.colorLabel));
    applyZoomRule(settings);

    updatePolygonOverlays();
    updateContourDisplay();
    updateIsolines();
    updateFilteredStatus();

    refreshWhatFollowsThePlot();

    // Worked out with the arrays, off this thread.
    m_statisticsWidget->showStatistics(m_plot.statistics, xLabel, yLabel);
    followCurrentEvent(*entry);
}

void MainWindow::refreshWhatFollowsThePlot() {
    m_combinePlotWindows.broadcast([&](CombinePlotWindow* window) { window->refresh(); });
    m_statisticalEvalWindows.broadcast(
        [&](StatisticalEvalWindow* window) { window->onFeaturesChanged(); });
    m_imageGalleryWindows.broadcast([&](ImageGalleryWindow* window) { window->refreshFromMain(); });

    updateFilterPropagationStatus();
    if (!m_suppressGroupsUiRefresh)
        refreshFilterGroupsUi();
    updatePlotSettingsButtonState();
}

void MainWindow::showEmptyPlot() {
    // No plot points and no mapping: the status line then counts the
    // dataset's events ("0 events") rather than shown ones. The event views
    // are the caller's: a dataset may have images but no feature to plot.
    m_plot = PlotArrays();
    m_plottedIndicesValid = false;
    m_scatterPlot->clearPolygonOverlays();
    m_scatterPlot->clearData();
    m_statisticsWidget->clear();
    m_scatterPlot->clearIsolines();
    m_plotControls->setLeftOutCounts(0, 0);
    // Whatever comes next for this dataset starts from the full view.
    m_lastPlotSettings = PlotSettings();
    m_lastPlotDatasetIndex = m_store.activeRow();
    updateFilteredStatus();
    refreshWhatFollowsThePlot();
}

void MainWindow::applyZoomRule(const PlotSettings& settings) {
    bool changedValues = false;
    if (m_zoomResetPredicate) {
        const auto changed = std::move(m_zoomResetPredicate);
        m_zoomResetPredicate = nullptr;
        changedValues = changed(settings.xFeature) || changed(settings.yFeature) ||
                        changed(settings.colorId);
    }
    // Colour, filter and contour changes alone keep the user's zoom.
    if (settings.xFeature != m_lastPlotSettings.xFeature ||
        settings.yFeature != m_lastPlotSettings.yFeature ||
        m_store.activeRow() != m_lastPlotDatasetIndex || changedValues)
        m_scatterPlot->resetZoom();
    m_lastPlotSettings = settings;
    m_lastPlotDatasetIndex = m_store.activeRow();
}

void MainWindow::followCurrentEvent(DatasetEntry& entry) {
    const int current = entry.currentEventIndex;
    if (current < 0)
        return;
    const int plotIndex = plotIndexOfEvent(current);
    if (plotIndex >= 0) {
        m_scatterPlot->highlightPoint(plotIndex);
        return;
    }
    m_scatterPlot->clearHighlight();
    if (m_plot.eventIndices.empty())
        return;
    // The current event is filtered out: the first shown event takes its place.
    entry.currentEventIndex = m_plot.eventIndices.front();
    {
        const QSignalBlocker blocker(m_eventSpinBox);
        m_eventSpinBox->setValue(entry.currentEventIndex);
    }
    m_scatterPlot->highlightPoint(0);
    displayEventImage(entry.currentEventIndex);
}

int MainWindow::plotIndexOfEvent(int event) const {
    const std::vector<int>& events = m_plot.eventIndices;
    const auto found = std::lower_bound(events.begin(), events.end(), event);
    if (found == events.end() || *found != event)
        return -1;
    return static_cast<int>(found - events.begin());
}

// ---- plot requests -----------------------------------------------------------------

void MainWindow::requestPlotUpdate() {
    m_plotRequests->request(PlotRequestFull | PlotRequestGroupWidgets);
}

void MainWindow::requestPlotUpdateKeepingGroupWidgets() {
    m_plotRequests->request(PlotRequestFull);
}

void MainWindow::requestContourUpdate() {
    m_plotRequests->request(PlotRequestContours);
}

void MainWindow::updatePlotNow() {
    requestPlotUpdate();
    m_plotRequests->flush();
}

void MainWindow::flushPlotRequests() {
    m_plotRequests->flush();
}

std::uint64_t MainWindow::plotRefreshCount() const {
    return m_plotRequests->runCount();
}

void MainWindow::runPlotRequests(RequestCoalescer::Parts parts) {
    if (parts & PlotRequestFull) {
        // A full refresh draws the contours too. The group widgets are left
        // alone only when no request of the turn wanted them rebuilt (a
        // group rule's editor the user types in must survive).
        ++m_fullPlotUpdates;
        m_suppressGroupsUiRefresh = (parts & PlotRequestGroupWidgets) == 0;
        updatePlot();
        m_suppressGroupsUiRefresh = false;
        return;
    }
    if (parts & PlotRequestContours)
        updateContourDisplay();
}

// ---- the controls ------------------------------------------------------------------

void MainWindow::onPlotSettingsChanged(PlotSettingsChange change) {
    switch (change) {
    case PlotSettingsChange::Features:
        updateFeatureSelection();
        return;
    case PlotSettingsChange::ScaleX:
        m_scatterPlot->setScaleMode(QwtPlot::xBottom,
                                    static_cast<int>(m_plotControls->settings().scaleX));
        requestPlotUpdate();
        return;
    case PlotSettingsChange::ScaleY:
        m_scatterPlot->setScaleMode(QwtPlot::yLeft,
                                    static_cast<int>(m_plotControls->settings().scaleY));
        requestPlotUpdate();
        return;
    case PlotSettingsChange::Contours:
        updateContours();
        return;
    case PlotSettingsChange::Isolines:
        // Lines need the look-up table: without it the box is not left
        // ticked over an empty plot, and the user learns why.
        if (m_plotControls->isolinesShown()) {
            if (const QString problem = isolineTableProblem(); !problem.isEmpty()) {
                m_plotControls->setIsolinesShown(false);
                DialogProvider::current().warning(this, QStringLiteral("Isoelastics"), problem,
                                                  QMessageBox::Ok);
            }
        }
        updateIsolines();
        return;
    }
}

void MainWindow::updateFeatureSelection() {
    // Whether another dataset is preloading does not matter: only whether
    // the one shown has its features.
    const DatasetEntry* entry = activeDataset();
    const RTDCReader* reader = activeReader();
    if (entry && entry->featuresLoaded && reader && reader->isOpen())
        requestPlotUpdate();
}

void MainWindow::updateContours() {
    requestContourUpdate();
}

void MainWindow::refreshFeaturesAndPlot() {
    // The lists change, the choices stay where the dataset still offers them.
    const PlotSettings kept = m_plotControls->settings();
    loadFeatureComboBoxes();
    m_calculationsWidget->refreshDimRedFeatures(activeDataset());
    m_filterDock->refreshFeatureLists();
    m_plotControls->restore(kept);
    requestPlotUpdate();
}

void MainWindow::onApplyPlotSettingsToAll() {
    DatasetEntry* active = activeDataset();
    if (!active)
        return;
    saveCurrentDatasetState();
    const PlotSettings settings = plotSettingsOf(*active);
    for (const auto& other : datasets()) {
        if (!other || other.get() == active)
            continue;
        storePlotSettings(*other,
                          adoptPlotSettings(plotSettingsOf(*other), settings, other->reader.get()));
    }
    requestPlotUpdate();
    updatePlotSettingsButtonState();
}

bool MainWindow::plotSettingsAlignedAcrossDatasets(const DatasetEntry* exclude) const {
    const DatasetEntry* active = activeDataset();
    if (!active)
        return true;
    const PlotSettings settings = m_plotControls->settings();
    for (const auto& other : datasets()) {
        if (!other || other.get() == active || other.get() == exclude)
            continue;
        if (plotSettingsOf(*other) != settings)
            return false;
    }
    return true;
}

// ---- what the plot draws besides the dots ------------------------------------------

void MainWindow::updatePolygonOverlays() {
    m_scatterPlot->clearPolygonOverlays();
    const DatasetEntry* entry = activeDataset();
    if (!entry)
        return;
    const PlotSettings settings = m_plotControls->settings();
    const std::string& x = settings.xFeature;
    const std::string& y = settings.yFeature;
    // The polygon under edit is drawn as the edit curve instead.
    const int editing = m_scatterPlot->isEditingPolygon() ? m_scatterPlot->editingPolygonId() : -1;

    const std::vector<FilterRule>& rules = entry->filter.rules();
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const int id = static_cast<int>(i);
        if (id != editing && isPolygonOnAxes(rules[i], x, y))
            m_scatterPlot->addPolygonOverlay(id, toPolygon(rules[i].polygonVertices),
                                             rules[i].enabled);
    }
    for (const auto& group : filterGroups()) {
        if (!isGroupEnabled(entry, group->id))
            continue;
        for (std::size_t j = 0; j < group->rules.size(); ++j) {
            const FilterRule& rule = group->rules[j];
            const int id = encodeGroupPolygonId(group->id, static_cast<int>(j));
            if (id != editing && isPolygonOnAxes(rule, x, y))
                m_scatterPlot->addPolygonOverlay(id, toPolygon(rule.polygonVertices), rule.enabled);
        }
    }
}

void MainWindow::updateContourDisplay() {
    // Levels this refresh built with the plot arrays, if any; a later
    // contour change computes its own.
    std::optional<std::vector<ContourLevel>> built = std::move(m_plot.contours);
    m_plot.contours.reset();
    const PlotSettings settings = m_plotControls->settings();
    m_scatterPlot->setScatterVisible(settings.contourMode != ContourMode::Only);
    if (settings.contourMode == ContourMode::Off || !activeDataset() || m_plot.x.size() < 4) {
        m_scatterPlot->clearContours();
        m_scatterPlot->replot();
        return;
    }
    m_scatterPlot->setContours(built ? *built : plotContours(m_plot.x, m_plot.y, settings));
}

void MainWindow::updateIsolines() {
    const PlotSettings settings = m_plotControls->settings();
    const std::string& x = settings.xFeature;
    const std::string& y = settings.yFeature;
    const bool pair = isolineAxes(x, y);
    m_plotControls->setIsolinesAvailable(pair);

    const DatasetEntry* entry = activeDataset();
    if (!pair || !m_plotControls->isolinesShown() || !entry) {
        m_scatterPlot->clearIsolines();
        return;
    }
    m_scatterPlot->setIsolines(isolinesForDataset(entry, x, y),
                               m_plotControls->isolineLabelsShown());
}

std::vector<IsoLine> MainWindow::isolinesForDataset(const DatasetEntry* entry,
                                                    const std::string& xFeature,
                                                    const std::string& yFeature) const {
    if (!entry || !isolineAxes(xFeature, yFeature))
        return {};
    const bool hasTemp = entry->reader && entry->reader->hasFeature("temp");
    const EModParams params = m_calculationsWidget->buildParamsForDataset(entry->metadata, hasTemp);
    std::vector<IsoLine> lines = m_emodulus->computeIsolines(params);
    if (xFeature == "deform")
        swapIsolineAxes(lines);
    return lines;
}

void MainWindow::updateFilteredStatus() {
    const DatasetEntry* entry = activeDataset();
    const RTDCReader* reader = activeReader();
    if (!entry || !reader)
        return;
    const std::size_t total = reader->getEventCount();
    const std::size_t shown = m_plottedIndicesValid ? m_plot.eventIndices.size() : total;
    m_filterDock->updateStats(shown, total);

    QStringList parts;
    const RTDCMetadata& metadata = entry->metadata;
    if (const auto rate = metadata.setup.find("flow rate"); rate != metadata.setup.end()) {
        bool ok = false;
        const double value = QString::fromStdString(rate->second).toDouble(&ok);
        if (ok)
            parts << QString::number(value, 'g', 4) + QStringLiteral(" \u00B5L/s");
    }
    if (const auto region = metadata.setup.find("chip region");
        region != metadata.setup.end() && region->second == "reservoir")
        parts << QStringLiteral("Reservoir");
    if (const auto run = metadata.experiment.find("run index"); run != metadata.experiment.end())
        parts << QStringLiteral("#") + QString::fromStdString(run->second);
    if (m_plottedIndicesValid) {
        const double percent =
            total == 0 ? 0.0 : 100.0 * static_cast<double>(shown) / static_cast<double>(total);
        parts << QStringLiteral("%1/%2 events shown (%3% pass filter)")
                     .arg(QString::number(shown), QString::number(total),
                          QString::number(percent, 'f', 1));
    } else {
        parts << QStringLiteral("%1 events").arg(QString::number(total));
    }
    if (!entry->failedFeatures.empty())
        parts << QStringLiteral("loaded with errors");
    m_infoLabel->setText(QStringLiteral("Loaded: %1 (%2)")
                             .arg(entry->displayName, parts.join(QStringLiteral(", "))));
}

// ---- picking -----------------------------------------------------------------------

void MainWindow::onPointClicked(int plotIndex) {
    DatasetEntry* entry = activeDataset();
    RTDCReader* reader = activeReader();
    if (!entry || !reader)
        return;
    int event = plotIndex;
    const std::vector<int>& events = m_plot.eventIndices;
    if (!events.empty()) {
        if (plotIndex < 0 || static_cast<std::size_t>(plotIndex) >= events.size())
            return;
        event = events[static_cast<std::size_t>(plotIndex)];
    }
    if (event < 0 || static_cast<std::size_t>(event) >= reader->getEventCount())
        return;
    entry->currentEventIndex = event;
    {
        const QSignalBlocker blocker(m_eventSpinBox);
        m_eventSpinBox->setValue(event);
    }
    m_scatterPlot->highlightPoint(plotIndex);
    displayEventImage(event);
}

} // namespace Quorvex3
