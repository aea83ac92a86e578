#pragma once

#include "core/EventFilter.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace Quorvex3 {

/// One root attribute of an exported file's record of the filter that
/// selected its events: a text value, or a polygon of (x, y) rows.
struct FilterRecordEntry {
    std::string name;
    bool isPolygon = false;
    std::string text;
    std::vector<std::pair<double, double>> points;
};

/// The rules of `filter` that EventFilter::apply lets take part over these
/// columns: enabled range rules and enabled polygon rules with at least
/// three corners whose columns exist and cover `eventCount` events. Keeps
/// the filter's combine mode and enabled flag.
EventFilter rulesTakingPart(const EventFilter& filter, const EventFilter::FeatureMap& features,
                            std::size_t eventCount);

/// The "offline_filter:" attributes that state `filter` (give it the rules
/// that took part, see rulesTakingPart), in writing order; empty for a
/// disabled filter.
///
/// - A range rule on f: "<f> min" and "<f> max", the bounds as the shortest
///   text that reads back as the same double. Range rules on one feature
///   that are not inverted form one record with the largest minimum and the
///   smallest maximum: both combine modes keep or drop an event on the
///   intersection alone.
/// - A polygon rule on fx, fy: "<fx>,<fy> polygon points" and its
///   "polygon x scale" and "polygon y scale" ("linear", "log", "pseudolog").
/// - An inverted rule adds "<f> inverted" (or "<fx>,<fy> inverted") = "true".
/// - A record whose feature (pair) already has one gets " (n)" after each of
///   its names, n counting from 2, so no record overwrites another.
/// - NOT mode adds "combine mode" = "NOT" (only when a rule is recorded).
std::vector<FilterRecordEntry> offlineFilterRecord(const EventFilter& filter);

/// "linear" (0 and below), "log" (1), "pseudolog" (2 and above).
std::string scaleModeName(int mode);

/// Shortest text that parses back to exactly `value` ("0.05", "1e-07",
/// "250", "nan", "-inf"); independent of the process locale.
std::string formatRoundTrip(double value);

} // namespace Quorvex3
