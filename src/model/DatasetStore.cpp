#include "model/DatasetStore.h"

#include <QString>

#include <algorithm>
#include <utility>

namespace Quorvex3 {

// ---- datasets ----------------------------------------------------------------------

DatasetEntry* DatasetStore::at(int row) const {
    if (row < 0 || row >= count())
        return nullptr;
    return m_datasets[static_cast<std::size_t>(row)].get();
}

DatasetEntry* DatasetStore::findById(int id) const {
    const int row = rowOfId(id);
    return row < 0 ? nullptr : at(row);
}

DatasetEntry* DatasetStore::findByPath(const std::string& path) const {
    for (const auto& entry : m_datasets)
        if (entry && entry->filePath == path)
            return entry.get();
    return nullptr;
}

int DatasetStore::rowOfId(int id) const {
    for (std::size_t i = 0; i < m_datasets.size(); ++i)
        if (m_datasets[i] && m_datasets[i]->id == id)
            return static_cast<int>(i);
    return -1;
}

int DatasetStore::append(std::unique_ptr<DatasetEntry> entry) {
    if (entry->id < 0)
        entry->id = newDatasetId();
    m_datasets.push_back(std::move(entry));
    return count() - 1;
}

int DatasetStore::duplicate(int row) {
    const DatasetEntry* found = at(row);
    if (!found || !found->featuresLoaded)
        return -1;
    const DatasetEntry& source = *found;

    // Calculation flags and filter-group switches stay at their defaults;
    // features computed on the shared reader remain visible to both.
    auto copy = std::make_unique<DatasetEntry>();
    copy->reader = source.reader;
    copy->metadata = source.metadata;
    copy->filePath = source.filePath;
    copy->displayName = source.displayName + QStringLiteral(" (copy)");
    copy->xFeatureName = source.xFeatureName;
    copy->yFeatureName = source.yFeatureName;
    copy->colorFeatureName = source.colorFeatureName;
    copy->currentEventIndex = source.currentEventIndex;
    copy->featuresLoaded = true;
    // What the preload could not read is a property of the shared reader.
    copy->failedFeatures = source.failedFeatures;
    copy->filter = source.filter;
    copy->contourMode = source.contourMode;
    copy->contourFraction1 = source.contourFraction1;
    copy->contourFraction2 = source.contourFraction2;
    copy->scaleXMode = source.scaleXMode;
    copy->scaleYMode = source.scaleYMode;
    return append(std::move(copy));
}

int DatasetStore::removeAt(int row) {
    if (row < 0 || row >= count())
        return m_activeRow;
    m_datasets.erase(m_datasets.begin() + row);
    if (row == m_activeRow) {
        m_activeRow = -1;
        return m_datasets.empty() ? -1 : std::min(row, count() - 1);
    }
    if (m_activeRow > row)
        --m_activeRow;
    return m_activeRow;
}

bool DatasetStore::move(int from, int destination) {
    if (from < 0 || from >= count() || destination < 0 || destination >= count())
        return false;
    const DatasetEntry* active = activeDataset();
    std::unique_ptr<DatasetEntry> moved = std::move(m_datasets[static_cast<std::size_t>(from)]);
    m_datasets.erase(m_datasets.begin() + from);
    m_datasets.insert(m_datasets.begin() + destination, std::move(moved));
    const auto found = std::find_if(m_datasets.begin(), m_datasets.end(),
                                    [active](const auto& entry) { return entry.get() == active; });
    m_activeRow = active && found != m_datasets.end()
                      ? static_cast<int>(std::distance(m_datasets.begin(), found))
                      : -1;
    return true;
}

void DatasetStore::reorder(const std::vector<int>& leadingIds) {
    const DatasetEntry* active = activeDataset();
    DatasetList ordered;
    ordered.reserve(m_datasets.size());
    for (const int id : leadingIds) {
        const auto found =
            std::find_if(m_datasets.begin(), m_datasets.end(),
                         [id](const auto& entry) { return entry && entry->id == id; });
        if (found != m_datasets.end())
            ordered.push_back(std::move(*found));
    }
    for (auto& entry : m_datasets)
        if (entry)
            ordered.push_back(std::move(entry));
    m_datasets = std::move(ordered);
    const auto found = std::find_if(m_datasets.begin(), m_datasets.end(),
                                    [active](const auto& entry) { return entry.get() == active; });
    m_activeRow = active && found != m_datasets.end()
                      ? static_cast<int>(std::distance(m_datasets.begin(), found))
                      : -1;
}

void DatasetStore::setActiveRow(int row) {
    m_activeRow = row >= 0 && row < count() ? row : -1;
}

int DatasetStore::activeDatasetId() const {
    const DatasetEntry* entry = activeDataset();
    return entry ? entry->id : -1;
}

// ---- filter groups -----------------------------------------------------------------

FilterGroup* DatasetStore::findGroupById(int groupId) const {
    for (const auto& group : m_groups)
        if (group->id == groupId)
            return group.get();
    return nullptr;
}

void DatasetStore::clearAll() {
    m_activeRow = -1;
    m_datasets.clear();
    m_groups.clear();
    m_nextGroupId = 0;
}

void DatasetStore::replaceGroups(std::vector<FilterGroup> groups, int nextGroupId) {
    m_groups.clear();
    m_nextGroupId = std::max(0, nextGroupId);
    for (FilterGroup& group : groups) {
        if (group.id >= m_nextGroupId)
            m_nextGroupId = group.id + 1;
        m_groups.push_back(std::make_unique<FilterGroup>(std::move(group)));
    }
}

int DatasetStore::addGroup(const std::string& name) {
    auto group = std::make_unique<FilterGroup>();
    group->id = m_nextGroupId++;
    group->name = name.empty() ? "Filter group " + std::to_string(group->id + 1) : name;
    const int id = group->id;
    m_groups.push_back(std::move(group));
    // Explicitly off everywhere, so a new group never changes what any
    // dataset shows until someone switches it on.
    for (const auto& entry : m_datasets)
        if (entry)
            entry->groupEnabled[id] = false;
    return id;
}

bool DatasetStore::removeGroup(int groupId) {
    const auto removed = std::remove_if(m_groups.begin(), m_groups.end(),
                                        [groupId](const std::unique_ptr<FilterGroup>& group) {
                                            return group && group->id == groupId;
                                        });
    if (removed == m_groups.end())
        return false;
    m_groups.erase(removed, m_groups.end());
    for (const auto& entry : m_datasets)
        if (entry)
            entry->groupEnabled.erase(groupId);
    return true;
}

bool DatasetStore::renameGroup(int groupId, const std::string& name) {
    FilterGroup* group = findGroupById(groupId);
    if (!group)
        return false;
    group->name = name;
    return true;
}

bool DatasetStore::addRuleToGroup(int groupId, const FilterRule& rule) {
    FilterGroup* group = findGroupById(groupId);
    if (!group)
        return false;
    FilterRule copy = rule;
    copy.propagationId.clear();
    group->rules.push_back(std::move(copy));
    return true;
}

bool DatasetStore::updateRuleInGroup(int groupId, int ruleIndex, const FilterRule& rule) {
    FilterGroup* group = findGroupById(groupId);
    if (!group || ruleIndex < 0 || ruleIndex >= static_cast<int>(group->rules.size()))
        return false;
    FilterRule copy = rule;
    copy.propagationId.clear();
    group->rules[static_cast<std::size_t>(ruleIndex)] = std::move(copy);
    return true;
}

bool DatasetStore::removeRuleFromGroup(int groupId, int ruleIndex) {
    FilterGroup* group = findGroupById(groupId);
    if (!group || ruleIndex < 0 || ruleIndex >= static_cast<int>(group->rules.size()))
        return false;
    group->rules.erase(group->rules.begin() + ruleIndex);
    return true;
}

bool DatasetStore::isGroupEnabled(const DatasetEntry* entry, int groupId) const {
    if (!entry)
        return false;
    const auto found = entry->groupEnabled.find(groupId);
    return found != entry->groupEnabled.end() && found->second;
}

bool DatasetStore::setGroupEnabled(int datasetId, int groupId, bool on) {
    DatasetEntry* entry = findById(datasetId);
    if (!entry)
        return false;
    entry->groupEnabled[groupId] = on;
    return true;
}

bool DatasetStore::setGroupsEnabled(int datasetId, const std::vector<int>& groupIds, bool on) {
    DatasetEntry* entry = findById(datasetId);
    if (!entry || groupIds.empty())
        return false;
    for (const int groupId : groupIds)
        entry->groupEnabled[groupId] = on;
    return true;
}

void DatasetStore::setGroupEnabledInAll(int groupId, bool on) {
    for (const auto& entry : m_datasets)
        if (entry)
            entry->groupEnabled[groupId] = on;
}

bool DatasetStore::groupSwitchDiverges(const DatasetEntry& entry, int groupId) const {
    const bool own = isGroupEnabled(&entry, groupId);
    for (const auto& other : m_datasets)
        if (isGroupEnabled(other.get(), groupId) != own)
            return true;
    return false;
}

EventFilter DatasetStore::buildEffectiveFilter(const DatasetEntry* entry) const {
    EventFilter effective;
    if (!entry)
        return effective;
    effective.setEnabled(entry->filter.isEnabled());
    effective.setCombineMode(entry->filter.combineMode());
    for (const FilterRule& rule : entry->filter.rules())
        effective.addRule(rule);
    // Disabled group rules are copied too; the filter skips them itself.
    for (const auto& group : m_groups) {
        if (!isGroupEnabled(entry, group->id))
            continue;
        for (const FilterRule& rule : group->rules)
            effective.addRule(rule);
    }
    return effective;
}

// ---- shown events ------------------------------------------------------------------

} // namespace Quorvex3
