#include "core/EventFilter.h"

#include "core/CompiledPolygon.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace Quorvex3 {

void EventFilter::addRule(const FilterRule& rule) {
    m_rules.push_back(rule);
}

void EventFilter::removeRule(int index) {
    if (index < 0 || index >= ruleCount())
        return;
    m_rules.erase(m_rules.begin() + index);
}

void EventFilter::setRule(int index, const FilterRule& rule) {
    if (index < 0 || index >= ruleCount())
        return;
    m_rules[static_cast<std::size_t>(index)] = rule;
}

void EventFilter::clearRules() {
    m_rules.clear();
}

std::vector<std::string> EventFilter::requiredFeatures() const {
    std::vector<std::string> names;
    auto addOnce = [&names](const std::string& name) {
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    };
    for (const FilterRule& rule : m_rules) {
        if (!rule.enabled)
            continue;
        addOnce(rule.featureName);
        if (rule.type == 1 && !rule.featureNameY.empty())
            addOnce(rule.featureNameY);
    }
    return names;
}

namespace {

// Events are filtered in blocks: each rule narrows the block's list of
// surviving events, so later (dearer) rules only see what is left, and no
// allocation happens per event.
constexpr std::size_t kBlockSize = 2048;

struct CompiledRange {
    const double* data;
    double minValue;
    double maxValue;
    bool inverted;
};

struct CompiledRules {
    std::vector<CompiledRange> ranges;
    std::vector<CompiledPolygon> polygons;
};

const double* lookUp(const EventFilter::FeatureMap& features, const std::string& name,
                     std::size_t eventCount) {
    const auto it = features.find(name);
    if (it == features.end() || it->second == nullptr || it->second->size() < eventCount)
        return nullptr;
    return it->second->data();
}

CompiledRules compileRules(const std::vector<FilterRule>& rules,
                           const EventFilter::FeatureMap& features, std::size_t eventCount) {
    CompiledRules compiled;
    for (const FilterRule& rule : rules) {
        if (!rule.enabled)
            continue;
        if (rule.type == 0) {
            if (const double* data = lookUp(features, rule.featureName, eventCount))
                compiled.ranges.push_back({data, rule.minValue, rule.maxValue, rule.inverted});
            continue;
        }
        if (rule.type != 1 || rule.polygonVertices.size() < 3)
            continue;
        const double* dataX = lookUp(features, rule.featureName, eventCount);
        const double* dataY = lookUp(features, rule.featureNameY, eventCount);
        if (dataX == nullptr || dataY == nullptr)
            continue;
        compiled.polygons.emplace_back(rule.polygonVertices, rule.scaleXMode, rule.scaleYMode,
                                       rule.inverted, dataX, dataY, eventCount);
    }
    return compiled;
}

// Keeps the candidates (offsets from `base`) that pass the range rule;
// returns how many are left at the front of `idx`.
std::size_t keepRangePassing(const CompiledRange& r, std::size_t base, std::uint32_t* idx,
                             std::size_t count) {
    const double* data = r.data + base;
    std::size_t kept = 0;
    for (std::size_t c = 0; c < count; ++c) {
        const std::uint32_t j = idx[c];
        const double v = data[j];
        const bool inside = (v >= r.minValue) & !(v > r.maxValue);
        idx[kept] = j;
        kept += inside != r.inverted;
    }
    return kept;
}

// The first rule of a block reads its column straight through.
std::size_t keepRangePassingFirst(const CompiledRange& r, std::size_t base, std::size_t length,
                                  std::uint32_t* idx) {
    const double* data = r.data + base;
    std::size_t kept = 0;
    for (std::size_t j = 0; j < length; ++j) {
        const double v = data[j];
        const bool inside = (v >= r.minValue) & !(v > r.maxValue);
        idx[kept] = static_cast<std::uint32_t>(j);
        kept += inside != r.inverted;
    }
    return kept;
}

// Offsets (ascending) of the block's events that pass every compiled rule.
std::size_t passingInBlock(const CompiledRules& rules, std::size_t base, std::size_t length,
                           std::uint32_t* idx) {
    std::size_t count = length;
    bool first = true;
    for (const CompiledRange& r : rules.ranges) {
        count = first ? keepRangePassingFirst(r, base, length, idx)
                      : keepRangePassing(r, base, idx, count);
        first = false;
        if (count == 0)
            return 0;
    }
    if (first) {
        for (std::size_t j = 0; j < length; ++j)
            idx[j] = static_cast<std::uint32_t>(j);
    }
    for (const CompiledPolygon& p : rules.polygons) {
        count = p.keepPassing(base, idx, count);
        if (count == 0)
            return 0;
    }
    return count;
}

} // namespace

std::vector<int> EventFilter::apply(const FeatureMap& features, std::size_t eventCount) const {
    std::vector<int> shown;
    shown.reserve(eventCount);
    const CompiledRules compiled = compileRules(m_rules, features, eventCount);

    if (compiled.ranges.empty() && compiled.polygons.empty()) {
        for (std::size_t i = 0; i < eventCount; ++i)
            shown.push_back(static_cast<int>(i));
        return shown;
    }

    // NOT shows exactly the events that AND hides.
    const bool showPassing = m_combineMode == FilterCombineMode::AND;
    std::array<std::uint32_t, kBlockSize> idx;
    for (std::size_t base = 0; base < eventCount; base += kBlockSize) {
        const std::size_t length = std::min(kBlockSize, eventCount - base);
        const std::size_t count = passingInBlock(compiled, base, length, idx.data());
        if (showPassing) {
            for (std::size_t c = 0; c < count; ++c)
                shown.push_back(static_cast<int>(base + idx[c]));
        } else {
            std::size_t c = 0;
            for (std::size_t j = 0; j < length; ++j) {
                if (c < count && idx[c] == j)
                    ++c;
                else
                    shown.push_back(static_cast<int>(base + j));
            }
        }
    }
    return shown;
}

void registerFilterMetaTypes() {
    qRegisterMetaType<FilterRule>("Quorvex3::FilterRule");
    qRegisterMetaType<EventFilter>("Quorvex3::EventFilter");
}

} // namespace Quorvex3
