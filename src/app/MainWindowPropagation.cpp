// The active filter spread to the other datasets and kept in step with its
// copies, the rules a measurement brings along, and polygons drawn or edited
// in the scatter plot becoming dataset or group rules.
#include "app/MainWindow.h"

#include "filters/FilterDockWidget.h"
#include "filters/PolygonRuleWidget.h"
#include "model/FilterPropagation.h"
#include "plots/PlotControlsWidget.h"
#include "plots/ScatterPlot.h"
#include "util/DialogProvider.h"


#include <cstddef>

namespace Quorvex3 {

namespace {

/// Rule `index` of the entry's filter, or null when out of range.
const FilterRule* ruleAt(const DatasetEntry* entry, int index) {
    if (!entry || index < 0 || index >= entry->filter.ruleCount())
        return nullptr;
    return &entry->filter.rules()[static_cast<std::size_t>(index)];
}

QPolygonF toPolygon(const std::vector<std::pair<double, double>>& vertices) {
    QPolygonF polygon;
    polygon.reserve(static_cast<int>(vertices.size()));
    for (const auto& [x, y] : vertices)
        polygon.append(QPointF(x, y));
    return polygon;
}

std::vector<std::pair<double, double>> toVertices(const QPolygonF& polygon) {
    std::vector<std::pair<double, double>> vertices;
    vertices.reserve(static_cast<std::size_t>(polygon.size()));
    for (const QPointF& point : polygon)
        vertices.emplace_back(point.x(), point.y());
    return vertices;
}

} // namespace

// ---- the active filter and its copies ----------------------------------------------

void MainWindow::onFilterChanged() {
    requestPlotUpdate();
}

void MainWindow::onApplyFilterToAll() {
    const DatasetEntry* active = activeDataset();
    if (!active)
        return;
    for (const auto& entry : datasets()) {
        if (!entry || entry.get() == active)
            continue;
        entry->filter.setEnabled(active->filter.isEnabled());
        entry->filter.setCombineMode(active->filter.combineMode());
        entry->filter.clearRules();
        for (const FilterRule& rule : active->filter.rules())
            entry->filter.addRule(rule);
    }
    requestPlotUpdate();
}

void MainWindow::onApplyRuleToAll(int ruleIndex) {
    DatasetEntry* active = activeDataset();
    const FilterRule* source = ruleAt(active, ruleIndex);
    if (!source)
        return;
    FilterRule copy = *source;
    if (copy.propagationId.empty()) {
        copy.propagationId = createPropagationId();
        active->filter.setRule(ruleIndex, copy);
    }
    for (const auto& entry : datasets()) {
        if (!entry || entry.get() == active)
            continue;
        const int existing = findRuleCopy(entry->filter, copy.propagationId);
        if (existing >= 0)
            entry->filter.setRule(existing, copy);
        else
            entry->filter.addRule(copy);
    }
    m_filterDock->updateRuleWidgetPropagationId(ruleIndex, copy.propagationId);
    requestPlotUpdate();
}

void MainWindow::onUpdateRuleToAll(int ruleIndex) {
    const DatasetEntry* active = activeDataset();
    const FilterRule* source = ruleAt(active, ruleIndex);
    if (!source || source->propagationId.empty())
        return;
    const FilterRule copy = *source;
    forEachRuleCopyElsewhere(copy.propagationId,
                             [&](EventFilter& filter, int index) { filter.setRule(index, copy); });
    requestPlotUpdate();
}

void MainWindow::onUncheckRuleInAll(int ruleIndex) {
    setRuleEnabledInAll(ruleIndex, false);
}

void MainWindow::onCheckRuleInAll(int ruleIndex) {
    setRuleEnabledInAll(ruleIndex, true);
}

void MainWindow::setRuleEnabledInAll(int ruleIndex, bool on) {
    const DatasetEntry* active = activeDataset();
    const FilterRule* source = ruleAt(active, ruleIndex);
    if (!source || source->propagationId.empty())
        return;
    forEachRuleCopyElsewhere(source->propagationId, [on](EventFilter& filter, int index) {
        FilterRule rule = filter.rules()[static_cast<std::size_t>(index)];
        rule.enabled = on;
        filter.setRule(index, rule);
    });
    // The dock switches the active rule itself, so its widget stays in step.
    m_filterDock->setRuleEnabled(ruleIndex, on);
    requestPlotUpdate();
}

void MainWindow::onDeleteRuleFromAll(int ruleIndex) {
    const DatasetEntry* active = activeDataset();
    const FilterRule* source = ruleAt(active, ruleIndex);
    if (!source || source->propagationId.empty())
        return;
    forEachRuleCopyElsewhere(source->propagationId,
                             [](EventFilter& filter, int index) { filter.removeRule(index); });
    m_filterDock->removeRuleAt(ruleIndex);
    requestPlotUpdate();
}

void MainWindow::forEachRuleCopyElsewhere(const std::string& id,
                                          const std::function<void(EventFilter&, int)>& visit) {
    const DatasetEntry* active = activeDataset();
    for (const auto& entry : datasets()) {
        if (!entry || entry.get() == active)
            continue;
        const int existing = findRuleCopy(entry->filter, id);
        if (existing >= 0)
            visit(entry->filter, existing);
    }
}

void MainWindow::onEnabledChangedForAll(bool enabled) {
    const DatasetEntry* active = activeDataset();
    for (const auto& entry : datasets())
        if (entry && entry.get() != active)
            entry->filter.setEnabled(enabled);
    requestPlotUpdate();
}

void MainWindow::onCombineModeChangedForAll(int mode) {
    const DatasetEntry* active = activeDataset();
    const FilterCombineMode combineMode = mode == static_cast<int>(FilterCombineMode::NOT)
                                              ? FilterCombineMode::NOT
                                              : FilterCombineMode::AND;
    for (const auto& entry : datasets())
        if (entry && entry.get() != active)
            entry->filter.setCombineMode(combineMode);
    requestPlotUpdate();
}

void MainWindow::updateFilterPropagationStatus() {
    stopPolygonWorkOnAxesChange();
    if (!m_filterDock)
        return;
    const FilterPropagationStatus status =
        computeFilterPropagationStatus(datasets(), m_store.activeRow());
    m_filterDock->setEnabledStateDivergence(status.enabledStateDiverges);
    m_filterDock->setCombineModeDivergence(status.combineModeDiverges);
    for (std::size_t i = 0; i < status.rules.size(); ++i)
        m_filterDock->setRuleDivergence(static_cast<int>(i), status.rules[i].settingsDiffer,
                                        status.rules[i].enabledDiffers);
}

// ---- the measurement's own filters -------------------------------------------------

void MainWindow::onImportMeasurementFilters(bool allDatasets) {
    int added = 0;
    if (allDatasets) {
        for (const auto& entry : datasets())
            added += applyMeasurementFilters(entry.get());
    } else {
        DatasetEntry* active = activeDataset();
        if (!active)
            return;
        added = applyMeasurementFilters(active);
    }
    if (added == 0) {
        DialogProvider::current().information(this, tr("Import Measurement Filters"),
                                              tr("No features with soft limit enabled found."),
                                              QMessageBox::Ok);
        return;
    }
    m_filterDock->setActiveDataset(activeDataset());
    requestPlotUpdate();
}

int MainWindow::applyMeasurementFilters(DatasetEntry* entry) {
    if (!entry)
        return 0;
    return appendMeasurementFilterRules(entry->filter, entry->metadata);
}

// ---- polygons drawn in the plot ----------------------------------------------------

MainWindow::PlotAxesContext MainWindow::currentPlotAxesContext() const {
    PlotAxesContext context;
    context.datasetId = activeDatasetId();
    if (m_plotControls)
        context.axes = m_plotControls->settings();
    return context;
}

void MainWindow::stopPolygonWorkOnAxesChange() {
    const PlotAxesContext now = currentPlotAxesContext();
    if (now == m_plotAxesContext)
        return;
    // Remembered first: the stop signals below reach slots that look at it.
    m_plotAxesContext = now;
    if (!m_scatterPlot)
        return;
    // Vertices clicked or dragged so far are in the units of the axes that
    // were shown; they mean nothing for the new ones.
    if (m_scatterPlot->isDrawingPolygon())
        m_scatterPlot->cancelPolygonDrawing();
    if (m_scatterPlot->isEditingPolygon())
        m_scatterPlot->stopPolygonEditing();
}

void MainWindow::onPolygonCompleted(const QPolygonF& polygon) {
    if (!activeDataset() || !plotAxesUnchanged())
        return;
    FilterRule rule;
    rule.type = 1;
    const PlotSettings axes = m_plotControls->settings();
    rule.featureName = axes.xFeature;
    rule.featureNameY = axes.yFeature;
    rule.scaleXMode = static_cast<int>(axes.scaleX);
    rule.scaleYMode = static_cast<int>(axes.scaleY);
    rule.polygonVertices = toVertices(polygon);
    rule.enabled = true;
    rule.inverted = false;

    if (m_pendingPolygonGroupId < 0) {
        activeDataset()->filter.addRule(rule);
        m_filterDock->setActiveDataset(activeDataset());
        requestPlotUpdate();
        return;
    }
    const int groupId = m_pendingPolygonGroupId;
    m_pendingPolygonGroupId = -1;
    addRuleToGroup(groupId, rule);
    refreshFilterGroupsUi();
}

void MainWindow::onPolygonDrawingStopped() {
    m_filterDock->setPolygonDrawing(false);
    m_pendingPolygonGroupId = -1;
}

// ---- polygons edited in the plot ---------------------------------------------------

void MainWindow::onPolygonEditRequested(int ruleIndex, bool on) {
    const FilterRule* rule = ruleAt(activeDataset(), ruleIndex);
    if (!rule || rule->type != 1)
        return;
    if (!on) {
        m_scatterPlot->stopPolygonEditing();
        return;
    }
    const PlotAxesContext now = currentPlotAxesContext();
    if (rule->featureName == now.axes.xFeature && rule->featureNameY == now.axes.yFeature &&
        plotAxesUnchanged()) {
        m_scatterPlot->startPolygonEditing(ruleIndex, toPolygon(rule->polygonVertices));
        return;
    }
    m_filterDock->setPolygonEditing(ruleIndex, false);
}

void MainWindow::onGroupPolygonEditRequested(int groupId, int ruleIndex, bool on) {
    if (!on) {
        m_scatterPlot->stopPolygonEditing();
        return;
    }
    const FilterGroup* group = findFilterGroupById(groupId);
    if (!group || ruleIndex < 0 || ruleIndex >= static_cast<int>(group->rules.size()))
        return;
    const FilterRule& rule = group->rules[static_cast<std::size_t>(ruleIndex)];
    if (rule.type != 1)
        return;
    const PlotAxesContext now = currentPlotAxesContext();
    if (activeDataset() && rule.featureName == now.axes.xFeature &&
        rule.featureNameY == now.axes.yFeature && plotAxesUnchanged()) {
        m_scatterPlot->startPolygonEditing(encodeGroupPolygonId(groupId, ruleIndex),
                                           toPolygon(rule.polygonVertices));
        return;
    }
    // Released like a dataset rule's toggle: nothing is being edited.
    m_filterDock->setGroupPolygonEditChecked(groupId, ruleIndex, false);
}

void MainWindow::onPolygonEdited(int id, const QPolygonF& polygon) {
    // Only the polygon under edit can change, and only on the axes it was
    // shown on.
    if (!m_scatterPlot->isEditingPolygon() || m_scatterPlot->editingPolygonId() != id)
        return;
    if (!plotAxesUnchanged()) {
        // Dragged on other axes or in another dataset's plot: never store.
        m_scatterPlot->stopPolygonEditing();
        return;
    }
    if (!isGroupPolygonId(id)) {
        DatasetEntry* active = activeDataset();
        const FilterRule* current = ruleAt(active, id);
        if (!current || current->type != 1)
            return;
        FilterRule rule = *current;
        rule.polygonVertices = toVertices(polygon);
        active->filter.setRule(id, rule);
        // The dock rewrites the rule list from its widgets on the next edit
        // there, so its copy must carry the new vertices too.
        const std::vector<QWidget*>& widgets = m_filterDock->ruleWidgets();
        if (id < static_cast<int>(widgets.size()))
            if (auto* widget =
                    qobject_cast<PolygonRuleWidget*>(widgets[static_cast<std::size_t>(id)]))
                widget->setRule(rule);
        requestPlotUpdate();
        return;
    }
    int groupId = -1;
    int ruleIndex = -1;
    decodeGroupPolygonId(id, groupId, ruleIndex);
    FilterGroup* group = findFilterGroupById(groupId);
    if (!group || ruleIndex < 0 || ruleIndex >= static_cast<int>(group->rules.size()))
        return;
    FilterRule& rule = group->rules[static_cast<std::size_t>(ruleIndex)];
    if (rule.type != 1)
        return;
    rule.polygonVertices = toVertices(polygon);
    requestPlotUpdate();
}

void MainWindow::onPolygonEditingStopped(int id) {
    if (id >= 0 && id <= 999999)
        m_filterDock->setPolygonEditing(id, false);
    refreshFilterGroupsUi();
    updatePolygonOverlays();
}

} // namespace Quorvex3
