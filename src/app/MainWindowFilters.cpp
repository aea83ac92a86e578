// Filters: the effective filter of a dataset (its own rules and the rules of
// the groups switched on for it), the filter groups with their per-dataset
// switches, and the filter dock's group requests. Propagation of rules and
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

// ---- effective filter and groups (read access) -----------------------------------

EventFilter MainWindow::buildEffectiveFilter(const DatasetEntry* entry) const {
    EventFilter effective;
    if (!entry)
        return effective;
    effective.setEnabled(entry->filter.isEnabled());
    effective.setCombineMode(entry->filter.combineMode());
    for (const FilterRule& rule : entry->filter.rules())
        effective.addRule(rule);
    // Disabled group rules are copied too; the filter skips them itself.
    for (const auto& group : m_filterGroups) {
        if (!isGroupEnabled(entry, group->id))
            continue;
        for (const FilterRule& rule : group->rules)
            effective.addRule(rule);
    }
    return effective;
}

FilterGroup* MainWindow::findFilterGroupById(int groupId) const {
    for (const auto& group : m_filterGroups)
        if (group->id == groupId)
            return group.get();
    return nullptr;
}

bool MainWindow::isGroupEnabled(const DatasetEntry* entry, int groupId) const {
    if (!entry)
        return false;
    const auto found = entry->groupEnabled.find(groupId);
    return found != entry->groupEnabled.end() && found->second;
}

// ---- group operations --------------------------------------------------------------

int MainWindow::addFilterGroup(const std::string& name) {
    auto group = std::make_unique<FilterGroup>();
    group->id = m_nextGroupId++;
    group->name = name.empty() ? "Filter group " + std::to_string(group->id + 1) : name;
    const int id = group->id;
    m_filterGroups.push_back(std::move(group));
    // Explicitly off everywhere, so a new group never changes what any
    // dataset shows until someone switches it on.
    for (const auto& entry : m_datasets)
        if (entry)
            entry->groupEnabled[id] = false;
    return id;
}

void MainWindow::removeFilterGroup(int groupId) {
    const auto removed = std::remove_if(m_filterGroups.begin(), m_filterGroups.end(),
                                        [groupId](const std::unique_ptr<FilterGroup>& group) {
                                            return group && group->id == groupId;
                                        });
    if (removed == m_filterGroups.end())
        return;
    m_filterGroups.erase(removed, m_filterGroups.end());
    for (const auto& entry : m_datasets)
        if (entry)
            entry->groupEnabled.erase(groupId);
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
    if (FilterGroup* group = findFilterGroupById(groupId))
        group->name = name;
}

void MainWindow::addRuleToGroup(int groupId, const FilterRule& rule) {
    FilterGroup* group = findFilterGroupById(groupId);
    if (!group)
        return;
    FilterRule copy = rule;
    copy.propagationId.clear();
    group->rules.push_back(std::move(copy));
    requestPlotUpdate();
}

void MainWindow::updateRuleInGroup(int groupId, int ruleIndex, const FilterRule& rule) {
    FilterGroup* group = findFilterGroupById(groupId);
    if (!group || ruleIndex < 0 || ruleIndex >= static_cast<int>(group->rules.size()))
        return;
    FilterRule copy = rule;
    copy.propagationId.clear();
    group->rules[static_cast<std::size_t>(ruleIndex)] = std::move(copy);
    // The user is typing in one of the group's rule editors: rebuilding the
    // group widgets now would delete that editor under the cursor.
    requestPlotUpdateKeepingGroupWidgets();
}

void MainWindow::removeRuleFromGroup(int groupId, int ruleIndex) {
    FilterGroup* group = findFilterGroupById(groupId);
    if (!group || ruleIndex < 0 || ruleIndex >= static_cast<int>(group->rules.size()))
        return;
    group->rules.erase(group->rules.begin() + ruleIndex);
    requestPlotUpdate();
}

void MainWindow::setGroupEnabled(int datasetId, int groupId, bool on) {
    DatasetEntry* entry = findDatasetById(datasetId);
    if (!entry)
        return;
    entry->groupEnabled[groupId] = on;
    requestPlotUpdate();
}

void MainWindow::setGroupsEnabled(int datasetId, const std::vector<int>& groupIds, bool on) {
    DatasetEntry* entry = findDatasetById(datasetId);
    if (!entry || groupIds.empty())
        return;
    for (const int groupId : groupIds)
        entry->groupEnabled[groupId] = on;
    requestPlotUpdate();
}

void MainWindow::setGroupEnabledInAll(int groupId, bool on) {
    for (const auto& entry : m_datasets)
        if (entry)
            entry->groupEnabled[groupId] = on;
    requestPlotUpdate();
}

void MainWindow::refreshFilterGroupsUi() {
    std::vector<FilterGroup*> groups;
    groups.reserve(m_filterGroups.size());
    for (const auto& group : m_filterGroups)
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
    for (const auto& group : m_filterGroups) {
        const bool own = isGroupEnabled(&active, group->id);
        bool diverged = false;
        for (const auto& entry : m_datasets) {
            if (isGroupEnabled(entry.get(), group->id) != own) {
                diverged = true;
                break;
            }
        }
        m_filterDock->setGroupEnabledDivergence(group->id, diverged);
    }
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
    DatasetEntry* entry = activeDataset();
    if (!entry)
        return;
    entry->groupEnabled[groupId] = on;
    requestPlotUpdate();
}

void MainWindow::onGroupEnablePropagateRequested(int groupId, bool on) {
    for (const auto& entry : m_datasets)
        if (entry)
            entry->groupEnabled[groupId] = on;
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

QJsonObject MainWindow::serializeFilter(const EventFilter&) const {
    return {};
}
void MainWindow::restoreFilter(EventFilter&, const QJsonObject&) {}

} // namespace Quorvex3
