// The main scatter plot of the active dataset: the central refresh, the
// colour, contours, isolines, polygon overlays and status line it draws, the
// picking of events, and copying the plot settings to every dataset.
//
// Index i of m_plotX, m_plotY, m_plotColor and m_plottedIndices is plot point
// i; m_plottedIndices maps it to its event. The event indices are ascending.
#include "app/MainWindow.h"

#include "calc/CalculationsDockWidget.h"
#include "calc/EModulus.h"
#include "compare/CombinePlotWindow.h"
#include "compare/ImageGalleryWindow.h"
#include "core/RTDCReader.h"
#include "core/ScaleTransform.h"
#include "filters/FilterDockWidget.h"
#include "density/DensityEstimator.h"
#include "plots/ScatterPlot.h"
#include "plots/StatisticsDockWidget.h"
#include "stats/StatisticalEvalWindow.h"
#include "util/DialogProvider.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
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

const char* const kDensityPrefix = "__density_";
const char* const kWarnComboStyle =
    "QComboBox { background-color: #fff8e1; border: 1px solid #f9a825; }";

std::string currentFeatureName(const QComboBox* combo) {
    return combo->currentData().toString().toUtf8().toStdString();
}

bool isDensityId(const std::string& id) {
    return id.rfind(kDensityPrefix, 0) == 0;
}

DensityMethod densityMethodOf(const std::string& id) {
    if (id == "__density_hist__")
        return DensityMethod::Histogram;
    if (id == "__density_knn__")
        return DensityMethod::KNN;
    return DensityMethod::KDE;
}

/// The values in the space the axes show; linear axes use them as they are.
const std::vector<double>& inAxisSpace(const std::vector<double>& values, ScaleMode mode,
                                       std::vector<double>& storage) {
    if (mode != ScaleMode::Log && mode != ScaleMode::PseudoLog)
        return values;
    storage = applyScaleTransform(values, mode);
    return storage;
}

/// The plot points both axes can draw: on a log axis values at or below 0
/// are not drawn, so they take no part in the density colours and contours
/// either (they would sit at the value 1 of the axis). Copies only when some
/// point is left out.
class DrawnPoints {
public:
    DrawnPoints(const std::vector<double>& x, const std::vector<double>& y, ScaleMode xMode,
                ScaleMode yMode)
        : m_allX(x), m_allY(y) {
        const std::size_t n = std::min(x.size(), y.size());
        const auto drawn = [&](std::size_t i) {
            return isDrawableOnScale(x[i], xMode) && isDrawableOnScale(y[i], yMode);
        };
        std::size_t i = 0;
        while (i < n && drawn(i))
            ++i;
        if (i == n)
            return;
        m_some = true;
        for (i = 0; i < n; ++i) {
            if (!drawn(i))
                continue;
            m_x.push_back(x[i]);
            m_y.push_back(y[i]);
            m_index.push_back(i);
        }
    }
    const std::vector<double>& x() const { return m_some ? m_x : m_allX; }
    const std::vector<double>& y() const { return m_some ? m_y : m_allY; }
    /// One value per plot point: `values` (one per drawn point) at the drawn
    /// points, `elsewhere` at the others.
    std::vector<double> perPlotPoint(std::vector<double> values, double elsewhere) const {
        if (!m_some)
            return values;
        std::vector<double> all(m_allX.size(), elsewhere);
        for (std::size_t k = 0; k < m_index.size() && k < values.size(); ++k)
            all[m_index[k]] = values[k];
        return all;
    }

private:
    const std::vector<double>& m_allX;
    const std::vector<double>& m_allY;
    bool m_some = false;
    std::vector<double> m_x;
    std::vector<double> m_y;
    std::vector<std::size_t> m_index;
};

bool selectFeature(QComboBox* combo, const QVariant& data) {
    const int index =
        combo->findData(data, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        combo->setCurrentIndex(index);
    return index >= 0;
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
    const std::string xName = currentFeatureName(m_xFeatureCombo);
    const std::string yName = currentFeatureName(m_yFeatureCombo);
    // A measurement without events (no "events" group, or columns of no
    // values) or without a feature to plot is shown empty: nothing failed.
    if (reader->getEventCount() == 0 || xName.empty() || yName.empty()) {
        showEmptyPlot();
        return;
    }
    const std::vector<double>& x = reader->readScalarFeature(xName);
    const std::vector<double>& y = reader->readScalarFeature(yName);
    if (x.empty() || y.empty()) {
        // The plot keeps what it showed of this dataset, but never another
        // dataset's plot under this one's name; the information line leaves
        // the loading text for the dataset's own line.
        if (m_lastPlotDatasetIndex != m_store.activeRow())
            clearPlotAndEventViews();
        updateFilteredStatus();
        QStringList reasons;
        for (const std::string* name : {&xName, &yName}) {
            const QString reason = QString::fromStdString(reader->featureReadError(*name));
            if (!reason.isEmpty() && !reasons.contains(reason))
                reasons << reason;
        }
        DialogProvider::current().warningWithDetails(
            this, QStringLiteral("Error"), QStringLiteral("Failed to read feature data."),
            reasons.join(QLatin1Char('\n')));
        return;
    }

    collectPlottedEvents(*entry, *reader, x, y);
    m_plotXLabel = QString::fromStdString(reader->getFeatureLabel(xName));
    m_plotYLabel = QString::fromStdString(reader->getFeatureLabel(yName));
    const std::string colorId = currentFeatureName(m_colorCombo);
    computePlotColor(*reader, colorId);
    dropPointsWithoutColor();
    m_plottedIndicesValid = true;

    updateLogScaleWarnings();
    m_scatterPlot->setData(m_plotX, m_plotY, m_plotXLabel, m_plotYLabel, m_plotColor,
                           m_plotColorLabel);
    applyZoomRule(xName, yName, colorId);

    updatePolygonOverlays();
    updateContourDisplay();
    updateIsolines();
    updateFilteredStatus();

    refreshWhatFollowsThePlot();

    m_statisticsWidget->updateStatistics(m_plotX, m_plotY, m_plotXLabel, m_plotYLabel);
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
    m_plotX.clear();
    m_plotY.clear();
    m_plotColor.clear();
    m_plottedIndices.clear();
    m_plottedIndicesValid = false;
    m_scatterPlot->clearPolygonOverlays();
    m_scatterPlot->clearData();
    m_statisticsWidget->clear();
    m_plotXLabel.clear();
    m_plotYLabel.clear();
    m_plotColorLabel.clear();
    m_scatterPlot->clearIsolines();
    updateLogScaleWarnings();
    // Whatever comes next for this dataset starts from the full view.
    m_lastPlotXFeature.clear();
    m_lastPlotYFeature.clear();
    m_lastPlotDatasetIndex = m_store.activeRow();
    updateFilteredStatus();
    refreshWhatFollowsThePlot();
}

void MainWindow::collectPlottedEvents(const DatasetEntry& entry, RTDCReader& reader,
                                      const std::vector<double>& x, const std::vector<double>& y) {
    const std::size_t eventCount = reader.getEventCount();
    // Columns shorter than the event count are read only as far as they go.
    const std::size_t n = std::min({x.size(), y.size(), eventCount});
    m_plotX.clear();
    m_plotY.clear();
    m_plottedIndices.clear();
    const auto keep = [&](std::size_t event) {
        const double xi = x[event];
        const double yi = y[event];
        if (!std::isfinite(xi) || !std::isfinite(yi))
            return;
        m_plotX.push_back(xi);
        m_plotY.push_back(yi);
        m_plottedIndices.push_back(static_cast<int>(event));
    };

    const EventFilter filter = buildEffectiveFilter(&entry);
    if (filter.isEnabled() && filter.ruleCount() > 0) {
        EventFilter::FeatureMap columns;
        for (const std::string& name : filter.requiredFeatures())
            columns[name] = &reader.readScalarFeature(name);
        const std::vector<int> shown = filter.apply(columns, eventCount);
        m_plotX.reserve(shown.size());
        m_plotY.reserve(shown.size());
        m_plottedIndices.reserve(shown.size());
        for (const int event : shown)
            if (event >= 0 && static_cast<std::size_t>(event) < n)
                keep(static_cast<std::size_t>(event));
    } else {
        m_plotX.reserve(n);
        m_plotY.reserve(n);
        m_plottedIndices.reserve(n);
        for (std::size_t event = 0; event < n; ++event)
            keep(event);
    }
}

void MainWindow::computePlotColor(RTDCReader& reader, const std::string& colorId) {
    m_plotColor.clear();
    m_plotColorLabel.clear();
    if (colorId.empty())
        return;
    if (isDensityId(colorId)) {
        // Estimated in the space the axes show, over the points they draw;
        // the others (not drawn) take 0, outside the colour range of the plot.
        const auto sx = static_cast<ScaleMode>(m_scaleXCombo->currentIndex());
        const auto sy = static_cast<ScaleMode>(m_scaleYCombo->currentIndex());
        const DrawnPoints drawn(m_plotX, m_plotY, sx, sy);
        const DensityMethod method = densityMethodOf(colorId);
        std::vector<double> densities;
        if (method == DensityMethod::KDE && m_contourModeCombo->currentIndex() != 0) {
            // The contours come from the same grid: built once for both.
            KernelDensityView view = DensityEstimator::estimateKDEWithContours(
                drawn.x(), drawn.y(), contourFractions(), sx, sy);
            densities = std::move(view.densities);
            m_kdeContours = std::move(view.levels);
        } else {
            std::vector<double> xStorage;
            std::vector<double> yStorage;
            densities = DensityEstimator::estimateNaNSafe(
                inAxisSpace(drawn.x(), sx, xStorage), inAxisSpace(drawn.y(), sy, yStorage), method);
        }
        m_plotColorLabel = QStringLiteral("Density");
        // Too few points for any density (fewer than four): show them in
        // plain colour rather than dropping every one for lack of a colour.
        if (std::none_of(densities.begin(), densities.end(),
                         [](double c) { return std::isfinite(c); }))
            return;
        m_plotColor = drawn.perPlotPoint(std::move(densities), 0.0);
        return;
    }
    const std::vector<double>& column = reader.readScalarFeature(colorId);
    m_plotColorLabel = QString::fromStdString(reader.getFeatureLabel(colorId));
    // A column shorter than the event count colours nothing.
    if (column.empty() || column.size() < reader.getEventCount())
        return;
    m_plotColor.resize(m_plottedIndices.size());
    for (std::size_t i = 0; i < m_plottedIndices.size(); ++i)
        m_plotColor[i] = column[static_cast<std::size_t>(m_plottedIndices[i])];
}

void MainWindow::dropPointsWithoutColor() {
    if (m_plotColor.empty())
        return;
    const auto firstBad = std::find_if(m_plotColor.begin(), m_plotColor.end(),
                                       [](double c) { return !std::isfinite(c); });
    if (firstBad == m_plotColor.end())
        return;
    std::size_t kept = static_cast<std::size_t>(firstBad - m_plotColor.begin());
    for (std::size_t i = kept; i < m_plotColor.size(); ++i) {
        if (!std::isfinite(m_plotColor[i]))
            continue;
        m_plotX[kept] = m_plotX[i];
        m_plotY[kept] = m_plotY[i];
        m_plotColor[kept] = m_plotColor[i];
        m_plottedIndices[kept] = m_plottedIndices[i];
        ++kept;
    }
    m_plotX.resize(kept);
    m_plotY.resize(kept);
    m_plotColor.resize(kept);
    m_plottedIndices.resize(kept);
}

void MainWindow::updateLogScaleWarnings() {
    const auto nonPositive = [](const std::vector<double>& values, int mode) -> std::size_t {
        if (static_cast<ScaleMode>(mode) != ScaleMode::Log)
            return 0;
        return static_cast<std::size_t>(
            std::count_if(values.begin(), values.end(), [](double v) { return v <= 0.0; }));
    };
    setScaleComboWarning(m_scaleXCombo, nonPositive(m_plotX, m_scaleXCombo->currentIndex()),
                         QStringLiteral("X-axis scale mode"));
    setScaleComboWarning(m_scaleYCombo, nonPositive(m_plotY, m_scaleYCombo->currentIndex()),
                         QStringLiteral("Y-axis scale mode"));
}

void MainWindow::setScaleComboWarning(QComboBox* combo, std::size_t nonPositiveCount,
                                      const QString& baseToolTip) {
    if (!combo)
        return;
    if (nonPositiveCount == 0) {
        combo->setItemText(1, QStringLiteral("Log"));
        combo->setStyleSheet(QString());
        combo->setToolTip(baseToolTip);
        return;
    }
    combo->setItemText(1, QStringLiteral("Log \u26A0"));
    combo->setStyleSheet(QString::fromUtf8(kWarnComboStyle));
    combo->setToolTip(
        QStringLiteral(
            "%1: %2 point%3 with value \u2264 0 not shown (cannot be drawn on a log axis)")
            .arg(baseToolTip, QString::number(nonPositiveCount),
                 nonPositiveCount == 1 ? QString() : QStringLiteral("s")));
}

void MainWindow::applyZoomRule(const std::string& xName, const std::string& yName,
                               const std::string& colorId) {
    bool changedValues = false;
    if (m_zoomResetPredicate) {
        const auto changed = std::move(m_zoomResetPredicate);
        m_zoomResetPredicate = nullptr;
        changedValues = changed(xName) || changed(yName) || changed(colorId);
    }
    // Colour, filter and contour changes alone keep the user's zoom.
    if (xName != m_lastPlotXFeature || yName != m_lastPlotYFeature ||
        m_store.activeRow() != m_lastPlotDatasetIndex || changedValues)
        m_scatterPlot->resetZoom();
    m_lastPlotXFeature = xName;
    m_lastPlotYFeature = yName;
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
    if (m_plottedIndices.empty())
        return;
    // The current event is filtered out: the first shown event takes its place.
    entry.currentEventIndex = m_plottedIndices.front();
    {
        const QSignalBlocker blocker(m_eventSpinBox);
        m_eventSpinBox->setValue(entry.currentEventIndex);
    }
    m_scatterPlot->highlightPoint(0);
    displayEventImage(entry.currentEventIndex);
}

int MainWindow::plotIndexOfEvent(int event) const {
    const auto found = std::lower_bound(m_plottedIndices.begin(), m_plottedIndices.end(), event);
    if (found == m_plottedIndices.end() || *found != event)
        return -1;
    return static_cast<int>(found - m_plottedIndices.begin());
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
    const QVariant x = m_xFeatureCombo->currentData();
    const QVariant y = m_yFeatureCombo->currentData();
    const QVariant color = m_colorCombo->currentData();
    {
        const QSignalBlocker blockX(m_xFeatureCombo);
        const QSignalBlocker blockY(m_yFeatureCombo);
        const QSignalBlocker blockColor(m_colorCombo);
        loadFeatureComboBoxes();
        m_calculationsWidget->refreshDimRedFeatures(activeDataset());
        m_filterDock->refreshFeatureLists();
        selectFeature(m_xFeatureCombo, x);
        selectFeature(m_yFeatureCombo, y);
        selectFeature(m_colorCombo, color);
    }
    requestPlotUpdate();
}

void MainWindow::onApplyPlotSettingsToAll() {
    DatasetEntry* active = activeDataset();
    if (!active)
        return;
    saveCurrentDatasetState();
    const bool colorIsFeature =
        !active->colorFeatureName.empty() && !isDensityId(active->colorFeatureName);
    for (const auto& other : datasets()) {
        if (!other || other.get() == active)
            continue;
        if (const RTDCReader* reader = other->reader.get()) {
            if (reader->hasFeature(active->xFeatureName))
                other->xFeatureName = active->xFeatureName;
            if (reader->hasFeature(active->yFeatureName))
                other->yFeatureName = active->yFeatureName;
            if (!colorIsFeature || reader->hasFeature(active->colorFeatureName))
                other->colorFeatureName = active->colorFeatureName;
        }
        other->contourMode = active->contourMode;
        other->contourFraction1 = active->contourFraction1;
        other->contourFraction2 = active->contourFraction2;
        other->scaleXMode = active->scaleXMode;
        other->scaleYMode = active->scaleYMode;
    }
    requestPlotUpdate();
    updatePlotSettingsButtonState();
}

bool MainWindow::plotSettingsAlignedAcrossDatasets(const DatasetEntry* exclude) const {
    const DatasetEntry* active = activeDataset();
    if (!active)
        return true;
    const std::string x = currentFeatureName(m_xFeatureCombo);
    const std::string y = currentFeatureName(m_yFeatureCombo);
    const std::string color = currentFeatureName(m_colorCombo);
    const int scaleX = m_scaleXCombo->currentIndex();
    const int scaleY = m_scaleYCombo->currentIndex();
    const int contourMode = m_contourModeCombo->currentIndex();
    const double fraction1 = m_contourInnerSpin->value() / 100.0;
    const double fraction2 = m_contourOuterSpin->value() / 100.0;
    for (const auto& other : datasets()) {
        if (!other || other.get() == active || other.get() == exclude)
            continue;
        if (other->xFeatureName != x || other->yFeatureName != y ||
            other->colorFeatureName != color || other->scaleXMode != scaleX ||
            other->scaleYMode != scaleY || other->contourMode != contourMode ||
            other->contourFraction1 != fraction1 || other->contourFraction2 != fraction2)
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
    const std::string x = currentFeatureName(m_xFeatureCombo);
    const std::string y = currentFeatureName(m_yFeatureCombo);
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

std::vector<double> MainWindow::contourFractions() const {
    const double f1 = m_contourInnerSpin->value() / 100.0;
    const double f2 = m_contourOuterSpin->value() / 100.0;
    // The smaller fraction first: the plot draws the first level dashed.
    return {std::min(f1, f2), std::max(f1, f2)};
}

void MainWindow::updateContourDisplay() {
    // Levels the density colour of this refresh computed along, if any.
    std::optional<std::vector<ContourLevel>> shared = std::move(m_kdeContours);
    m_kdeContours.reset();
    const int mode = m_contourModeCombo->currentIndex();
    m_scatterPlot->setScatterVisible(mode != 2);
    if (mode == 0 || !activeDataset() || m_plotX.size() < 4) {
        m_scatterPlot->clearContours();
        m_scatterPlot->replot();
        return;
    }
    if (shared) {
        m_scatterPlot->setContours(*shared);
        return;
    }
    // Only what the axes draw: on a log axis, values at or below 0 would
    // otherwise gather at the value 1 and draw contours of points not shown.
    const auto sx = static_cast<ScaleMode>(m_scaleXCombo->currentIndex());
    const auto sy = static_cast<ScaleMode>(m_scaleYCombo->currentIndex());
    const DrawnPoints drawn(m_plotX, m_plotY, sx, sy);
    m_scatterPlot->setContours(DensityEstimator::computeContoursTransformed(
        drawn.x(), drawn.y(), contourFractions(), sx, sy));
}

void MainWindow::updateIsolines() {
    const std::string x = currentFeatureName(m_xFeatureCombo);
    const std::string y = currentFeatureName(m_yFeatureCombo);
    const bool deformOnX = x == "deform" && y == "area_um";
    const bool pair = (x == "area_um" && y == "deform") || deformOnX;
    m_isoelasticsCheck->setVisible(pair);
    m_isoLabelsCheck->setVisible(pair && m_isoelasticsCheck->isChecked());

    const DatasetEntry* entry = activeDataset();
    if (!pair || !m_isoelasticsCheck->isChecked() || !entry) {
        m_scatterPlot->clearIsolines();
        return;
    }
    const bool hasTemp = entry->reader && entry->reader->hasFeature("temp");
    const EModParams params = m_calculationsWidget->buildParamsForDataset(entry->metadata, hasTemp);
    std::vector<IsoLine> lines = m_emodulus->computeIsolines(params);
    if (deformOnX) {
        for (IsoLine& line : lines)
            for (auto& point : line.points)
                std::swap(point.first, point.second);
    }
    m_scatterPlot->setIsolines(lines, m_isoLabelsCheck->isChecked());
}

void MainWindow::updateFilteredStatus() {
    const DatasetEntry* entry = activeDataset();
    const RTDCReader* reader = activeReader();
    if (!entry || !reader)
        return;
    const std::size_t total = reader->getEventCount();
    const std::size_t shown = m_plottedIndicesValid ? m_plottedIndices.size() : total;
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
    if (!m_plottedIndices.empty()) {
        if (plotIndex < 0 || static_cast<std::size_t>(plotIndex) >= m_plottedIndices.size())
            return;
        event = m_plottedIndices[static_cast<std::size_t>(plotIndex)];
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
