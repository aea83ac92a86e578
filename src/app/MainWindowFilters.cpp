// Filters: the window's side of the filter groups. The store keeps the
// groups, their per-dataset switches and the effective filter; here each
// change replots and reaches the filter dock, the matrix windows and the
// polygon work on the plot. Propagation of rules and
// polygon gating live in MainWindowPropagation.cpp, the filter-group files
// in MainWindowFilterGroupFiles.cpp.
#include "app/MainWindow.h"

#include "core/RTDCReader.h"
#include "filters/FilterDockWidget.h"
#include "model/FilterRuleJson.h"
#include "plots/ScatterPlot.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace Quorvex3 {

// ---- group operations --------------------------------------------------------------

int MainWindow::addFilterGroup(const std::string& name) {
    return m_store.addGroup(name);
}

void MainWindow::removeFilterGroup(int groupId) {
    if (!m_store.removeGroup(groupId))
        return;
    releasePolygonWorkOfGroup(groupId);
    requestPlotUpdate();
}

void MainWindow::releasePolygonWorkOfGroup(int groupId) {
    // A polygon being drawn for this group would be dropped when it is
    // closed; end the drawing now so the plot does not keep waiting for it.
    if (m_pendingPolygonGroupId == groupId) {
        m_pendingPolygonGroupId = -1;
        if (m_scatterPlot && m_scatterPlot->isDrawingPolygon())
            m_scatterPlot->cancelPolygonDrawing();
        if (m_filterDock)
            m_filterDock->setPolygonDrawing(false);
    }
    // Vertices edited on the plot would have no rule to land in.
    if (m_scatterPlot && m_scatterPlot->isEditingPolygon() &&
        isGroupPolygonId(m_scatterPlot->editingPolygonId())) {
        int editedGroup = -1;
        int editedRule = -1;
        decodeGroupPolygonId(m_scatterPlot->editingPolygonId(), editedGroup, editedRule);
        if (editedGroup == groupId)
            m_scatterPlot->stopPolygonEditing();
    }
}

void MainWindow::renameFilterGroup(int groupId, const std::string& name) {
    m_store.renameGroup(groupId, name);
}

void MainWindow::addRuleToGroup(int groupId, const FilterRule& rule) {
    if (m_store.addRuleToGroup(groupId, rule))
        requestPlotUpdate();
}

void MainWindow::updateRuleInGroup(int groupId, int ruleIndex, const FilterRule& rule) {
    if (!m_store.updateRuleInGroup(groupId, ruleIndex, rule))
        return;
    // The user is typing in one of the group's rule editors: rebuilding the
    // group widgets now would delete that editor under the cursor.
    requestPlotUpdateKeepingGroupWidgets();
}

void MainWindow::removeRuleFromGroup(int groupId, int ruleIndex) {
    if (m_store.removeRuleFromGroup(groupId, ruleIndex))
        requestPlotUpdate();
}

void MainWindow::setGroupEnabled(int datasetId, int groupId, bool on) {
    if (m_store.setGroupEnabled(datasetId, groupId, on))
        requestPlotUpdate();
}

void MainWindow::setGroupsEnabled(int datasetId, const std::vector<int>& groupIds, bool on) {
    if (m_store.setGroupsEnabled(datasetId, groupIds, on))
        requestPlotUpdate();
}

void MainWindow::setGroupEnabledInAll(int groupId, bool on) {
    m_store.setGroupEnabledInAll(groupId, on);
    requestPlotUpdate();
}

void MainWindow::refreshFilterGroupsUi() {
    std::vector<FilterGroup*> groups;
    groups.reserve(filterGroups().size());
    for (const auto& group : filterGroups())
        groups.push_back(group.get());
    const DatasetEntry* active = activeDataset();
    if (m_filterDock) {
        m_filterDock->refreshFilterGroups(groups, active ? active->reader.get() : nullptr);
        if (active)
            markGroupDivergence(*active);
    }
    // The matrix windows follow even without an active dataset, so their
    // columns never lag behind the group list.
    notifyGroupsMatrixRefresh();
}

void MainWindow::markGroupDivergence(const DatasetEntry& active) {
    for (const auto& group : filterGroups())
        m_filterDock->setGroupEnabledDivergence(group->id,
                                                m_store.groupSwitchDiverges(active, group->id));
    // The rebuilt group widgets start with every Edit toggle released; the
    // one whose polygon the plot is editing stays pressed.
    if (m_scatterPlot && m_scatterPlot->isEditingPolygon() &&
        isGroupPolygonId(m_scatterPlot->editingPolygonId())) {
        int groupId = -1;
        int ruleIndex = -1;
        decodeGroupPolygonId(m_scatterPlot->editingPolygonId(), groupId, ruleIndex);
        m_filterDock->setGroupPolygonEditChecked(groupId, ruleIndex, true);
    }
}

// ---- filter dock: group requests ---------------------------------------------------

void MainWindow::onAddFilterGroupRequested() {
    addFilterGroup(std::string());
    refreshFilterGroupsUi();
}

void MainWindow::onRenameFilterGroupRequested(int groupId, const QString& name) {
    renameFilterGroup(groupId, name.toStdString());
    refreshFilterGroupsUi();
}

void MainWindow::onDeleteFilterGroupRequested(int groupId) {
    removeFilterGroup(groupId);
    refreshFilterGroupsUi();
}

void MainWindow::onGroupEnableChanged(int groupId, bool on) {
    if (m_store.setGroupEnabled(activeDatasetId(), groupId, on))
        requestPlotUpdate();
}

void MainWindow::onGroupEnablePropagateRequested(int groupId, bool on) {
    m_store.setGroupEnabledInAll(groupId, on);
    requestPlotUpdate();
    refreshFilterGroupsUi();
}

void MainWindow::onAddRuleToGroupRequested(int groupId) {
    addRuleToGroup(groupId, newGroupRangeRule());
    refreshFilterGroupsUi();
}

FilterRule MainWindow::newGroupRangeRule() {
    FilterRule rule;
    rule.type = 0;
    RTDCReader* reader = activeReader();
    if (!reader)
        return rule;
    for (const std::string& name : reader->getAvailableFeatures()) {
        if (!RTDCReader::isScalarFeature(name))
            continue;
        rule.featureName = name;
        break;
    }
    if (rule.featureName.empty())
        return rule;
    // The rule starts by passing every finite value of its feature.
    bool found = false;
    for (const double value : reader->readScalarFeature(rule.featureName)) {
        if (!std::isfinite(value))
            continue;
        rule.minValue = found ? std::min(rule.minValue, value) : value;
        rule.maxValue = found ? std::max(rule.maxValue, value) : value;
        found = true;
    }
    return rule;
}

void MainWindow::onAddPolygonToGroupRequested(int groupId) {
    m_pendingPolygonGroupId = groupId;
    if (m_filterDock)
        m_filterDock->setPolygonDrawing(true);
    if (m_scatterPlot)
        m_scatterPlot->startPolygonDrawing();
}

void MainWindow::onGroupRuleChanged(int groupId, int ruleIndex, const FilterRule& rule) {
    updateRuleInGroup(groupId, ruleIndex, rule);
}

void MainWindow::onGroupRuleRemoved(int groupId, int ruleIndex) {
    removeRuleFromGroup(groupId, ruleIndex);
    refreshFilterGroupsUi();
}

// ---- JSON form and filter-group files ----------------------------------------------

QJsonObject MainWindow::serializeFilterRule(const FilterRule& rule) const {
    return Quorvex3::serializeFilterRule(rule);
}

FilterRule MainWindow::deserializeFilterRule(const QJsonObject& object) {
    return Quorvex3::deserializeFilterRule(object);
}

QJsonObject MainWindow::serializeFilter(const EventFilter& filter) const {
    return Quorvex3::serializeFilter(filter);
}

void MainWindow::restoreFilter(EventFilter& filter, const QJsonObject& object) {
    Quorvex3::restoreFilter(filter, object);
}

} // namespace Quorvex3
