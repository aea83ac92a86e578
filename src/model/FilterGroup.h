#pragma once

#include "core/FilterRule.h"

#include <string>
#include <vector>

namespace Quorvex3 {

/// A named set of filter rules shared by all datasets; each dataset switches
/// it on or off for itself (`DatasetEntry::groupEnabled`).
struct FilterGroup {
    /// Unique among the groups of the main window.
    int id = 0;
    /// Shown name; any text, duplicates allowed.
    std::string name;
    /// Rules in display order. Group rules never carry a propagation id.
    std::vector<FilterRule> rules;
};

/// Overlay id of rule `ruleIndex` of group `groupId` on the scatter plot:
/// 1000000 + groupId * 10000 + ruleIndex. Dataset rules use their own index
/// (below 1000000), so the two kinds share one id space as long as every
/// group holds fewer than 10000 rules.
int encodeGroupPolygonId(int groupId, int ruleIndex);

/// Splits an overlay id made by encodeGroupPolygonId back into its group id
/// and rule index (integer division truncating toward zero).
void decodeGroupPolygonId(int id, int& groupId, int& ruleIndex);

/// True when `id` names a group rule (id > 999999) rather than a rule of the
/// dataset's own filter.
bool isGroupPolygonId(int id);

} // namespace Quorvex3
