#include "session/FilterRecord.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

namespace Quorvex3 {

namespace {

const std::string kSection = "offline_filter:";

bool coversEvents(const EventFilter::FeatureMap& features, const std::string& name,
                  std::size_t eventCount) {
    const auto it = features.find(name);
    return it != features.end() && it->second != nullptr && it->second->size() >= eventCount;
}

// One record before it is turned into attributes.
struct Record {
    const FilterRule* rule = nullptr;
    std::string base;
    double minValue = 0.0;
    double maxValue = 0.0;
    int ordinal = 1;
};

// Bounds of the intersection of two ranges. A NaN bound lets no event in,
// so it stays NaN rather than giving way to the other bound.
double largerBound(double a, double b) {
    return std::isnan(a) || std::isnan(b) ? std::nan("") : std::max(a, b);
}

double smallerBound(double a, double b) {
    return std::isnan(a) || std::isnan(b) ? std::nan("") : std::min(a, b);
}

std::string suffixFor(int ordinal) {
    return ordinal > 1 ? " (" + std::to_string(ordinal) + ")" : std::string();
}

} // namespace

std::string scaleModeName(int mode) {
    if (mode == 1)
        return "log";
    if (mode >= 2)
        return "pseudolog";
    return "linear";
}

std::string formatRoundTrip(double value) {
    if (std::isnan(value))
        return "nan";
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, end) : std::string();
}

EventFilter rulesTakingPart(const EventFilter& filter, const EventFilter::FeatureMap& features,
                            std::size_t eventCount) {
    EventFilter kept;
    kept.setEnabled(filter.isEnabled());
    kept.setCombineMode(filter.combineMode());
    for (const FilterRule& rule : filter.rules()) {
        if (!rule.enabled)
            continue;
        const bool usable = rule.type == 0
                                ? coversEvents(features, rule.featureName, eventCount)
                                : rule.type == 1 && rule.polygonVertices.size() >= 3 &&
                                      coversEvents(features, rule.featureName, eventCount) &&
                                      coversEvents(features, rule.featureNameY, eventCount);
        if (usable)
            kept.addRule(rule);
    }
    return kept;
}

std::vector<FilterRecordEntry> offlineFilterRecord(const EventFilter& filter) {
    std::vector<FilterRecordEntry> entries;
    if (!filter.isEnabled())
        return entries;

    std::vector<Record> records;
    std::map<std::string, int> recordsPerBase;
    std::map<std::string, std::size_t> mergeableRange; // feature -> record index
    for (const FilterRule& rule : filter.rules()) {
        if (!rule.enabled || (rule.type != 0 && rule.type != 1))
            continue;
        const bool range = rule.type == 0;
        const std::string base =
            range ? rule.featureName : rule.featureName + "," + rule.featureNameY;
        if (range && !rule.inverted) {
            const auto merged = mergeableRange.find(base);
            if (merged != mergeableRange.end()) {
                Record& record = records[merged->second];
                record.minValue = largerBound(record.minValue, rule.minValue);
                record.maxValue = smallerBound(record.maxValue, rule.maxValue);
                continue;
            }
            mergeableRange.emplace(base, records.size());
        }
        records.push_back({&rule, base, rule.minValue, rule.maxValue, ++recordsPerBase[base]});
    }
    if (records.empty())
        return entries;

    if (filter.combineMode() == FilterCombineMode::NOT)
        entries.push_back({kSection + "combine mode", false, "NOT", {}});
    for (const Record& record : records) {
        const std::string prefix = kSection + record.base;
        const std::string suffix = suffixFor(record.ordinal);
        if (record.rule->type == 0) {
            entries.push_back(
                {prefix + " min" + suffix, false, formatRoundTrip(record.minValue), {}});
            entries.push_back(
                {prefix + " max" + suffix, false, formatRoundTrip(record.maxValue), {}});
        } else {
            entries.push_back(
                {prefix + " polygon points" + suffix, true, {}, record.rule->polygonVertices});
            entries.push_back({prefix + " polygon x scale" + suffix,
                               false,
                               scaleModeName(record.rule->scaleXMode),
                               {}});
            entries.push_back({prefix + " polygon y scale" + suffix,
                               false,
                               scaleModeName(record.rule->scaleYMode),
                               {}});
        }
        if (record.rule->inverted)
            entries.push_back({prefix + " inverted" + suffix, false, "true", {}});
    }
    return entries;
}

} // namespace Quorvex3
