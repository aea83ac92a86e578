#pragma once

// Rule builders and owned feature columns shared by the event filter tests.

#include "core/EventFilter.h"

#include <initializer_list>
#include <limits>
#include <numeric>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace EventFilterTest {

using Quorvex3::EventFilter;
using Quorvex3::FilterCombineMode;
using Quorvex3::FilterRule;

inline const double kNaN = std::numeric_limits<double>::quiet_NaN();
using Corners = std::vector<std::pair<double, double>>;

inline FilterRule rangeRule(const std::string& feature, double minValue, double maxValue,
                            bool inverted = false) {
    FilterRule r;
    r.type = 0;
    r.featureName = feature;
    r.minValue = minValue;
    r.maxValue = maxValue;
    r.inverted = inverted;
    return r;
}

inline FilterRule polygonRule(const std::string& x, const std::string& y, Corners corners,
                              int modeX = 0, int modeY = 0, bool inverted = false) {
    FilterRule r;
    r.type = 1;
    r.featureName = x;
    r.featureNameY = y;
    r.polygonVertices = std::move(corners);
    r.scaleXMode = modeX;
    r.scaleYMode = modeY;
    r.inverted = inverted;
    return r;
}

inline EventFilter filterOf(std::initializer_list<FilterRule> rules,
                            FilterCombineMode mode = FilterCombineMode::AND) {
    EventFilter f;
    for (const FilterRule& r : rules)
        f.addRule(r);
    f.setCombineMode(mode);
    return f;
}

inline std::vector<int> allIndices(int n) {
    std::vector<int> v(static_cast<std::size_t>(n));
    std::iota(v.begin(), v.end(), 0);
    return v;
}

// Columns owned by the test; the map points into them.
struct Columns {
    std::unordered_map<std::string, std::vector<double>> data;

    EventFilter::FeatureMap map() const {
        EventFilter::FeatureMap m;
        for (const auto& entry : data)
            m[entry.first] = &entry.second;
        return m;
    }
};

inline std::vector<int> run(const EventFilter& f, const Columns& cols, std::size_t n) {
    return f.apply(cols.map(), n);
}

} // namespace EventFilterTest
