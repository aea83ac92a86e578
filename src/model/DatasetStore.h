#pragma once

#include "core/EventFilter.h"
#include "core/FilterRule.h"
#include "model/DatasetEntry.h"
#include "model/FilterGroup.h"

#include <memory>
#include <string>
#include <vector>

namespace Quorvex3 {

class RTDCReader;

/// The open datasets in list order, which of them is active, and the filter
/// groups with their per-dataset switches: what every window that shows
/// datasets reads. Owns the records; hands out plain pointers that stay
/// valid until the record is removed.
///
/// Dataset ids and group ids come from counters that only grow, so an id
/// never names a second dataset or group during a run, also not after the
/// first one was removed. No widgets, no signals: the main window calls it
/// and refreshes its views afterwards. Not thread-safe; GUI thread only.
class DatasetStore {
public:
    using DatasetList = std::vector<std::unique_ptr<DatasetEntry>>;
    using GroupList = std::vector<std::unique_ptr<FilterGroup>>;

    DatasetStore() = default;
    DatasetStore(const DatasetStore&) = delete;
    DatasetStore& operator=(const DatasetStore&) = delete;

    // ---- datasets ------------------------------------------------------------

    /// The datasets in list order; row i of the dataset list shows entry i.
    const DatasetList& datasets() const { return m_datasets; }
    int count() const { return static_cast<int>(m_datasets.size()); }
    /// The dataset at `row`, null out of range.
    DatasetEntry* at(int row) const;
    /// First dataset with that id in list order, else null.
    DatasetEntry* findById(int id) const;
    /// First dataset whose path equals `path` byte for byte, else null.
    DatasetEntry* findByPath(const std::string& path) const;
    /// Row of the dataset with that id, -1 when there is none.
    int rowOfId(int id) const;

    /// A dataset id never given out before. Opening a measurement takes its
    /// id first, so a failed open consumes one.
    int newDatasetId() { return m_nextDatasetId++; }
    /// The id the next new dataset will get.
    int nextDatasetId() const { return m_nextDatasetId; }
    /// Removes every dataset and every filter group, makes none active and
    /// starts group ids from 0 again. Dataset ids keep growing: an id is
    /// never given out twice in a run.
    void clearAll();
    /// Takes `entry` and appends it; returns its row. A record without an
    /// id (-1) gets the next one; one with an id from newDatasetId keeps it.
    /// The active row does not change.
    int append(std::unique_ptr<DatasetEntry> entry);
    /// Appends a copy of the dataset at `row` under the next id, named
    /// "<name> (copy)": same reader (shared), metadata, path, features,
    /// current event, filter, contour and scale settings, loaded flag and
    /// failed features; calculation flags and group switches stay at their
    /// defaults. Returns the copy's row, or -1 when `row` is out of range or
    /// its features are still loading.
    int duplicate(int row);
    /// Removes the dataset at `row` and returns the row that becomes active:
    /// the active dataset stays active (its row shifts up by one when a row
    /// above it goes); when the active dataset itself goes, the dataset
    /// below it takes its place, or the new last one when it was last, and
    /// -1 when none is left. In that case the store's active row is left at
    /// -1 until the caller activates the returned row, so nothing reads the
    /// removed record's state. Out of range: nothing changes, returns the
    /// active row.
    int removeAt(int row);
    /// Moves the dataset at `from` so that it ends at `destination` (both
    /// in range); the active row follows its dataset. Returns false and
    /// changes nothing for rows out of range.
    bool move(int from, int destination);
    /// Puts the datasets with the listed ids first, in the listed order;
    /// the others follow in their present order. Unknown and repeated ids
    /// are passed over. The active row follows its dataset.
    void reorder(const std::vector<int>& leadingIds);

    /// Row of the active dataset, -1 when none is active.
    int activeRow() const { return m_activeRow; }
    /// Makes `row` active; a row out of range makes none active.
    void setActiveRow(int row);
    /// The active dataset, null when none is active.
    DatasetEntry* activeDataset() const { return at(m_activeRow); }
    /// Id of the active dataset, -1 when none is active.
    int activeDatasetId() const;

    // ---- filter groups -------------------------------------------------------

    /// The filter groups in creation order.
    const GroupList& groups() const { return m_groups; }
    /// The id the next new group will get.
    int nextGroupId() const { return m_nextGroupId; }
    /// Replaces every group with `groups`, which keep their ids, and sets
    /// the next group id to `nextGroupId`, raised above every kept id. The
    /// datasets' switches are left as they are.
    void replaceGroups(std::vector<FilterGroup> groups, int nextGroupId);
    /// The group with that id, else null.
    FilterGroup* findGroupById(int groupId) const;
    /// Appends a group under the next group id, named `name` or, when that
    /// is empty, "Filter group N" with N the id plus one. It starts switched
    /// off (an explicit false) in every open dataset, so it changes nothing
    /// any dataset shows. Returns the id.
    int addGroup(const std::string& name);
    /// Removes the group and its switch from every dataset; false for an
    /// unknown id.
    bool removeGroup(int groupId);
    /// False for an unknown id. Any name is taken, duplicates and empty too.
    bool renameGroup(int groupId, const std::string& name);
    /// Appends a copy of `rule` without its propagation id (group rules are
    /// never propagated); false for an unknown id.
    bool addRuleToGroup(int groupId, const FilterRule& rule);
    /// Replaces rule `ruleIndex` likewise; false for an unknown id or an
    /// index out of range.
    bool updateRuleInGroup(int groupId, int ruleIndex, const FilterRule& rule);
    /// False for an unknown id or an index out of range.
    bool removeRuleFromGroup(int groupId, int ruleIndex);

    /// The dataset's switch for the group; false for null or a missing key.
    bool isGroupEnabled(const DatasetEntry* entry, int groupId) const;
    /// Stores the switch in the dataset with that id (also for a group id
    /// that names no group); false when no dataset has that id.
    bool setGroupEnabled(int datasetId, int groupId, bool on);
    /// Stores `on` under every listed group id; false, and nothing stored,
    /// for an unknown dataset or an empty list.
    bool setGroupsEnabled(int datasetId, const std::vector<int>& groupIds, bool on);
    /// Stores the switch in every dataset.
    void setGroupEnabledInAll(int groupId, bool on);
    /// Whether the group's switch differs between `entry` and some dataset.
    bool groupSwitchDiverges(const DatasetEntry& entry, int groupId) const;

    /// The dataset's own filter (enabled flag, combine mode, rules) followed
    /// by the rules of every group switched on for it, in group order.
    /// Disabled group rules are copied too; the filter skips them itself. So
    /// the dataset's filter switched off switches off the whole result, and
    /// its combine mode governs the group rules too. A default filter
    /// (enabled, AND, no rules) for null.
    EventFilter buildEffectiveFilter(const DatasetEntry* entry) const;

private:
    DatasetList m_datasets;
    GroupList m_groups;
    int m_activeRow = -1;
    int m_nextDatasetId = 0;
    int m_nextGroupId = 0;
};

} // namespace Quorvex3
