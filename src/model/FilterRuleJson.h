#pragma once

#include "core/EventFilter.h"
#include "core/FilterRule.h"

#include <QJsonObject>
#include <QStringList>

#include <vector>

namespace Quorvex3 {

/// The JSON object of one filter rule, as stored in session files and
/// filter-group files. Always holds the same eleven keys: "type" ("Range" or
/// "Polygon"), "featureName", "featureNameY", "minValue", "maxValue",
/// "enabled", "inverted", "propagationId", "polygonVertices" (an array of
/// [x, y] pairs in data units), "scaleXMode" and "scaleYMode".
///
/// Finite numbers are written as JSON numbers. JSON has no infinity or NaN
/// (Qt would write null, which reads back as 0 and silently changes the
/// filter), so a non-finite bound or vertex coordinate is written as the
/// string "inf", "-inf" or "nan". Never fails.
QJsonObject serializeFilterRule(const FilterRule& rule);

/// Reads a rule written by serializeFilterRule, or anything else: every key
/// that is missing or of another JSON type keeps the default rule's value
/// (range rule, empty names, bounds 0, no vertices, linear scales, enabled,
/// not inverted, no propagation id). Numbers are also accepted as the
/// strings "inf", "-inf" and "nan"; scale codes other than 0, 1 and 2 read
/// as 0 (linear). Never fails and never reports.
FilterRule deserializeFilterRule(const QJsonObject& object);

/// deserializeFilterRule for a file whose damage the user is told about:
/// each value that is present but unusable, and so takes its default, is
/// named in `problems` (one short text each, e.g. `minimum "abc" replaced
/// by 0`). Polygon vertices that are not a pair of finite numbers are left
/// out, and named, instead of becoming (0, 0) or NaN corners. A missing key
/// is no damage and is not named.
FilterRule deserializeFilterRule(const QJsonObject& object, QStringList& problems);

/// The JSON object of a whole filter, as session files store a dataset's
/// own filter: "enabled" (boolean), "combineMode" ("AND" or "NOT") and
/// "rules" (each rule in filter order, through serializeFilterRule). Never
/// fails.
QJsonObject serializeFilter(const EventFilter& filter);

/// Replaces `filter` with the one `object` describes. Missing or mistyped
/// keys take the defaults: disabled, AND (NOT only for the exact text
/// "NOT", so "not" reads as AND), no rules. Every element of "rules" is
/// appended in order through deserializeFilterRule. Never fails.
void restoreFilter(EventFilter& filter, const QJsonObject& object);

/// restoreFilter that names what it could not use in `problems`: a switch
/// or combine mode of another type or text, and the rules' problems as
/// readFilterRules names them.
void restoreFilter(EventFilter& filter, const QJsonObject& object, QStringList& problems);

/// The rules stored under "rules" of a filter or a filter group, read with
/// the checked deserializeFilterRule, in stored order. What could not be
/// used is named in `problems`, each rule's texts led by the rule ("rule N
/// (range on f): ...", N from 1): a value that is no array gives no rules
/// ("rules 5 left out"). Rules that could filter nothing are left out, each
/// named in one line: an element that is no object ("rule N: 5 is no rule;
/// left out"), a polygon rule left with fewer than 3 usable vertices (3 are
/// enough), and a rule whose "featureName" (and, for a polygon,
/// "featureNameY") is missing, empty or no text. A name that is text is
/// kept whatever it names: a feature one measurement lacks may be
/// another's. A missing value (undefined) gives no rules and is no problem.
std::vector<FilterRule> readFilterRules(const QJsonValue& rules, QStringList& problems);

/// A JSON value as a file's author wrote it, for messages that name a value
/// that could not be used: strings quoted, numbers in their shortest form,
/// "true"/"false", "null", "an array", "an object".
QString jsonValueText(const QJsonValue& value);

} // namespace Quorvex3
