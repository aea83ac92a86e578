#pragma once

#include "core/EventFilter.h"

#include <QJsonObject>

namespace Quorvex3 {

/// The JSON object of a dataset's own filter as session files store it:
/// "enabled" (boolean), "combineMode" ("AND" or "NOT") and "rules" (each
/// rule in filter order, through serializeFilterRule). Never fails.
QJsonObject serializeFilter(const EventFilter& filter);

/// Replaces `filter` with the one `object` describes. Missing or mistyped
/// keys take the defaults: disabled, AND (NOT only for the exact text
/// "NOT", so "not" reads as AND), no rules. Every element of "rules" is
/// appended in order through deserializeFilterRule. Never fails.
void restoreFilter(EventFilter& filter, const QJsonObject& object);

} // namespace Quorvex3
