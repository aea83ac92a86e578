// Filters: the effective filter of a dataset (its own rules and the rules of
// the groups switched on for it), the filter groups, the propagation of
// rules to every dataset, polygons drawn or edited in the plot, and the
// filter-group files.
//
// Editing filters is not available in this build yet: apart from the read
// accessors and the rule's JSON form, the operations below are the places
// where it goes, and do nothing so far.
#include "app/MainWindow.h"

#include "model/FilterRuleJson.h"

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

/// Creates nothing yet; -1 stands for "no group".
int MainWindow::addFilterGroup(const std::string&) {
    return -1;
}

void MainWindow::removeFilterGroup(int) {}
void MainWindow::renameFilterGroup(int, const std::string&) {}
void MainWindow::addRuleToGroup(int, const FilterRule&) {}
void MainWindow::updateRuleInGroup(int, int, const FilterRule&) {}
void MainWindow::removeRuleFromGroup(int, int) {}
void MainWindow::setGroupEnabled(int, int, bool) {}
void MainWindow::setGroupEnabledInAll(int, bool) {}
void MainWindow::refreshFilterGroupsUi() {}

// ---- filter dock: group requests ---------------------------------------------------

void MainWindow::onAddFilterGroupRequested() {}
void MainWindow::onRenameFilterGroupRequested(int, const QString&) {}
void MainWindow::onDeleteFilterGroupRequested(int) {}
void MainWindow::onGroupEnableChanged(int, bool) {}
void MainWindow::onGroupEnablePropagateRequested(int, bool) {}
void MainWindow::onAddRuleToGroupRequested(int) {}
void MainWindow::onAddPolygonToGroupRequested(int) {}
void MainWindow::onGroupRuleChanged(int, int, const FilterRule&) {}
void MainWindow::onGroupRuleRemoved(int, int) {}

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
void MainWindow::importFilterGroupsFromFile() {}
void MainWindow::exportFilterGroupsToFile() {}

} // namespace Quorvex3
