#pragma once

#include "core/FilterRule.h"

#include <QMetaType>

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

namespace Quorvex3 {

/// A dataset's ordered list of filter rules with a combine mode and an
/// on/off switch. A plain copyable value; edit it on one thread, share copies.
class EventFilter {
public:
    /// Feature name -> column; each column holds one double per event.
    using FeatureMap = std::unordered_map<std::string, const std::vector<double>*>;

    /// No rules, AND, enabled.
    EventFilter() = default;

    /// Appends a copy of `rule`.
    void addRule(const FilterRule& rule);
    /// Erases the rule at `index`; out-of-range indices do nothing.
    void removeRule(int index);
    /// Replaces the rule at `index`; out-of-range indices do nothing.
    void setRule(int index, const FilterRule& rule);
    /// Removes all rules.
    void clearRules();

    const std::vector<FilterRule>& rules() const { return m_rules; }
    int ruleCount() const { return static_cast<int>(m_rules.size()); }

    void setCombineMode(FilterCombineMode mode) { m_combineMode = mode; }
    FilterCombineMode combineMode() const { return m_combineMode; }

    /// For the callers only: apply() does not read it.
    void setEnabled(bool enabled) { m_enabled = enabled; }
    bool isEnabled() const { return m_enabled; }

    /// The feature names apply() looks up, in first-appearance order over the
    /// enabled rules, without duplicates (x name, then a non-empty y name).
    std::vector<std::string> requiredFeatures() const;

    /// Indices (ascending) of the events shown by the filter over the first
    /// `eventCount` events of the given columns. Rules that are disabled, of
    /// an unknown type, polygons with fewer than 3 corners, or whose column
    /// is missing, null or shorter than `eventCount` take no part; with no
    /// usable rule every event is shown in both combine modes. Never throws;
    /// safe to call concurrently; the columns must not change during a call.
    std::vector<int> apply(const FeatureMap& features, std::size_t eventCount) const;

private:
    std::vector<FilterRule> m_rules;
    FilterCombineMode m_combineMode = FilterCombineMode::AND;
    bool m_enabled = true;
};

/// Registers FilterRule and EventFilter for queued signal connections under
/// "Quorvex3::FilterRule" and "Quorvex3::EventFilter". Call once at start-up
/// (calling again is harmless).
void registerFilterMetaTypes();

} // namespace Quorvex3

Q_DECLARE_METATYPE(Quorvex3::EventFilter)
