#pragma once

// Copies of one filter rule in several datasets, and the rules a measurement
// brings along in its own metadata. Plain functions over dataset records;
// the main window's slots call them and push the results to the filter dock.

#include "core/EventFilter.h"
#include "core/FilterRule.h"
#include "core/RTDCMetadata.h"

#include <memory>
#include <string>
#include <vector>

namespace Quorvex3 {

struct DatasetEntry;

/// A fresh propagation id: a random UUID as 38 characters, 32 lower-case
/// hexadecimal digits grouped 8-4-4-4-12 by hyphens, in curly braces.
std::string createPropagationId();

/// Index of the first rule of `filter` whose propagation id equals `id`
/// byte for byte; -1 when `id` is empty or no rule carries it.
int findRuleCopy(const EventFilter& filter, const std::string& id);

/// Whether `copy` holds other settings than `active`: a different invert
/// flag, or by the active rule's type different bounds (range) or different
/// vertices or scale modes (polygon). All comparisons are exact; feature
/// names and the enabled flag are not compared.
bool ruleSettingsDiffer(const FilterRule& active, const FilterRule& copy);

/// How the copies of one active rule differ from it.
struct RuleDivergence {
    bool settingsDiffer = false;
    bool enabledDiffers = false;
};

/// Where the other datasets differ from the active one.
struct FilterPropagationStatus {
    /// Some other dataset's filter is switched on or off differently.
    bool enabledStateDiverges = false;
    /// Some other dataset's filter combines its rules differently.
    bool combineModeDiverges = false;
    /// One entry per rule of the active filter, in rule order.
    std::vector<RuleDivergence> rules;
};

/// Compares every other dataset with `datasets[activeIndex]`. A rule
/// without a propagation id never diverges. For a rule with one, a dataset
/// counts only when its reader exists and has the rule's feature(s) and it
/// holds a copy (the first rule with the same id); null entries are
/// skipped. An invalid `activeIndex` or a null active entry gives a status
/// with nothing diverging and no rules.
FilterPropagationStatus
computeFilterPropagationStatus(const std::vector<std::unique_ptr<DatasetEntry>>& datasets,
                               int activeIndex);

/// Reads the leading decimal number of `text` (blanks before it and an
/// optional sign allowed; whatever follows is ignored), independent of the
/// process locale. False, with `value` untouched, when the text does not
/// begin with a number, or the number is NaN or beyond the range of double.
bool parseLeadingDecimal(const std::string& text, double& value);

/// Appends to `filter` one rule per limit that the measurement's online
/// filter had switched on (an entry "<feature> soft limit" with the value
/// "1"): a range rule from "<feature> min" and "<feature> max", or for
/// "<x>,<y> soft limit" a polygon rule from the first stored polygon of
/// those two features (linear scales). Entries are visited in key order; a
/// feature whose bounds are missing or hold no number, or whose polygon is
/// missing or empty, is skipped. New rules are enabled, not inverted and
/// carry no propagation id. Switches the filter on when it added a rule.
/// Returns the number of rules added.
int appendMeasurementFilterRules(EventFilter& filter, const RTDCMetadata& metadata);

} // namespace Quorvex3
