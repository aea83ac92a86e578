#include "model/FilterPropagation.h"

#include "core/RTDCReader.h"
#include "model/DatasetEntry.h"

#include <QUuid>

#include <charconv>
#include <cmath>
#include <cstddef>

namespace Quorvex3 {

namespace {

const std::string kSoftLimitSuffix = " soft limit";

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

/// The copy of `rule` in `entry`, or null when the dataset cannot show the
/// rule's features or holds no copy.
const FilterRule* comparableCopy(const DatasetEntry& entry, const FilterRule& rule) {
    const RTDCReader* reader = entry.reader.get();
    if (!reader || !reader->hasFeature(rule.featureName))
        return nullptr;
    if (rule.type == 1 && !reader->hasFeature(rule.featureNameY))
        return nullptr;
    const int index = findRuleCopy(entry.filter, rule.propagationId);
    if (index < 0)
        return nullptr;
    return &entry.filter.rules()[static_cast<std::size_t>(index)];
}

RuleDivergence ruleDivergence(const std::vector<std::unique_ptr<DatasetEntry>>& datasets,
                              std::size_t activeIndex, const FilterRule& rule) {
    RuleDivergence result;
    if (rule.propagationId.empty())
        return result;
    for (std::size_t i = 0; i < datasets.size(); ++i) {
        if (i == activeIndex || !datasets[i])
            continue;
        const FilterRule* copy = comparableCopy(*datasets[i], rule);
        if (!copy)
            continue;
        result.settingsDiffer = result.settingsDiffer || ruleSettingsDiffer(rule, *copy);
        result.enabledDiffers = result.enabledDiffers || copy->enabled != rule.enabled;
        if (result.settingsDiffer && result.enabledDiffers)
            break;
    }
    return result;
}

FilterRule newMeasurementRule(int type) {
    FilterRule rule;
    rule.type = type;
    rule.scaleXMode = 0;
    rule.scaleYMode = 0;
    rule.enabled = true;
    rule.inverted = false;
    return rule;
}

/// The polygon rule for "<x>,<y>", or false when the measurement stored no
/// polygon with points for that pair.
bool measurementPolygonRule(const std::string& base, const RTDCMetadata& metadata,
                            FilterRule& rule) {
    const std::size_t comma = base.find(',');
    const std::string x = base.substr(0, comma);
    const std::string y = base.substr(comma + 1);
    for (const MetadataPolygon& polygon : metadata.polygons) {
        if (polygon.featureX != x || polygon.featureY != y || polygon.points.empty())
            continue;
        rule = newMeasurementRule(1);
        rule.featureName = x;
        rule.featureNameY = y;
        rule.polygonVertices = polygon.points;
        return true;
    }
    return false;
}

/// The range rule for `base`, or false when either bound is missing or
/// holds no number (that feature is then left out, the others still count).
bool measurementRangeRule(const std::string& base, const RTDCMetadata& metadata, FilterRule& rule) {
    const auto minEntry = metadata.onlineFilter.find(base + " min");
    const auto maxEntry = metadata.onlineFilter.find(base + " max");
    if (minEntry == metadata.onlineFilter.end() || maxEntry == metadata.onlineFilter.end())
        return false;
    double minValue = 0.0;
    double maxValue = 0.0;
    if (!parseLeadingDecimal(minEntry->second, minValue) ||
        !parseLeadingDecimal(maxEntry->second, maxValue))
        return false;
    rule = newMeasurementRule(0);
    rule.featureName = base;
    rule.minValue = minValue;
    rule.maxValue = maxValue;
    return true;
}

} // namespace

std::string createPropagationId() {
    // Qt's default text form is exactly the braced, lower-case 38 characters.
    return QUuid::createUuid().toString(QUuid::WithBraces).toStdString();
}

int findRuleCopy(const EventFilter& filter, const std::string& id) {
    if (id.empty())
        return -1;
    const std::vector<FilterRule>& rules = filter.rules();
    for (std::size_t i = 0; i < rules.size(); ++i)
        if (rules[i].propagationId == id)
            return static_cast<int>(i);
    return -1;
}

bool ruleSettingsDiffer(const FilterRule& active, const FilterRule& copy) {
    if (active.inverted != copy.inverted)
        return true;
    if (active.type == 0)
        return active.minValue != copy.minValue || active.maxValue != copy.maxValue;
    if (active.type == 1)
        return active.polygonVertices != copy.polygonVertices ||
               active.scaleXMode != copy.scaleXMode || active.scaleYMode != copy.scaleYMode;
    return false;
}

FilterPropagationStatus
computeFilterPropagationStatus(const std::vector<std::unique_ptr<DatasetEntry>>& datasets,
                               int activeIndex) {
    FilterPropagationStatus status;
    if (activeIndex < 0 || activeIndex >= static_cast<int>(datasets.size()))
        return status;
    const std::size_t active = static_cast<std::size_t>(activeIndex);
    const DatasetEntry* entry = datasets[active].get();
    if (!entry)
        return status;

    for (std::size_t i = 0; i < datasets.size(); ++i) {
        if (i == active || !datasets[i])
            continue;
        const EventFilter& other = datasets[i]->filter;
        status.enabledStateDiverges =
            status.enabledStateDiverges || other.isEnabled() != entry->filter.isEnabled();
        status.combineModeDiverges =
            status.combineModeDiverges || other.combineMode() != entry->filter.combineMode();
    }

    const std::vector<FilterRule>& rules = entry->filter.rules();
    status.rules.reserve(rules.size());
    for (const FilterRule& rule : rules)
        status.rules.push_back(ruleDivergence(datasets, active, rule));
    return status;
}

bool parseLeadingDecimal(const std::string& text, double& value) {
    std::size_t start = 0;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t'))
        ++start;
    // from_chars takes a minus sign but no plus sign.
    if (start < text.size() && text[start] == '+' &&
        (start + 1 >= text.size() || text[start + 1] != '-'))
        ++start;
    double parsed = 0.0;
    const char* first = text.data() + start;
    const char* last = text.data() + text.size();
    const std::from_chars_result result =
        std::from_chars(first, last, parsed, std::chars_format::general);
    // A number beyond the range of double is no usable bound either.
    if (result.ec != std::errc() || result.ptr == first || std::isnan(parsed))
        return false;
    value = parsed;
    return true;
}

int appendMeasurementFilterRules(EventFilter& filter, const RTDCMetadata& metadata) {
    if (metadata.onlineFilter.empty() && metadata.polygons.empty())
        return 0;
    int added = 0;
    for (const auto& [key, text] : metadata.onlineFilter) {
        if (key.size() <= kSoftLimitSuffix.size() || !endsWith(key, kSoftLimitSuffix) ||
            text != "1")
            continue;
        const std::string base = key.substr(0, key.size() - kSoftLimitSuffix.size());
        FilterRule rule;
        const bool made = base.find(',') != std::string::npos
                              ? measurementPolygonRule(base, metadata, rule)
                              : measurementRangeRule(base, metadata, rule);
        if (!made)
            continue;
        filter.addRule(rule);
        ++added;
    }
    if (added > 0)
        filter.setEnabled(true);
    return added;
}

} // namespace Quorvex3
