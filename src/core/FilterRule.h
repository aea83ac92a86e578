#pragma once

#include <QMetaType>

#include <string>
#include <utility>
#include <vector>

namespace Quorvex3 {

/// One range or polygon rule of an event filter. A plain copyable value.
struct FilterRule {
    /// 0 = range rule, 1 = polygon rule; any other value takes no part.
    int type = 0;
    /// Range rule: the feature tested; polygon rule: the x-axis feature.
    std::string featureName;
    /// Polygon rule: the y-axis feature; ignored by range rules.
    std::string featureNameY;
    /// Range rule: inclusive lower bound, in data units.
    double minValue = 0.0;
    /// Range rule: inclusive upper bound, in data units.
    double maxValue = 0.0;
    /// Polygon rule: corners (x, y) in data units (not transformed), in
    /// drawing order; the closing edge back to the first corner is implied.
    std::vector<std::pair<double, double>> polygonVertices;
    /// ScaleMode code of the x axis the polygon was drawn on; the polygon
    /// test runs in that axis space.
    int scaleXMode = 0;
    /// ScaleMode code of the y axis the polygon was drawn on.
    int scaleYMode = 0;
    /// A disabled rule stays in the list but takes no part.
    bool enabled = true;
    /// Pass the events outside the range or polygon instead of those inside.
    bool inverted = false;
    /// Identity shared by copies of one rule in several datasets.
    std::string propagationId;
};

/// How the usable rules of a filter combine.
enum class FilterCombineMode : int {
    /// Shown when the event passes every usable rule.
    AND = 0,
    /// Shown when the event fails at least one usable rule: the exact
    /// complement of AND over the same rules.
    NOT = 1,
};

} // namespace Quorvex3

Q_DECLARE_METATYPE(Quorvex3::FilterRule)
