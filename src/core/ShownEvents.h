#pragma once

#include "core/EventFilter.h"

#include <vector>

namespace Quorvex3 {

class RTDCReader;

/// Indices (ascending) of the events of `reader` that `filter` shows: every
/// event when the filter is switched off or has no rules. Columns are taken
/// through RTDCReader::featureColumn and held while the filter reads them,
/// so this may run on a pool thread while the GUI thread registers features.
std::vector<int> shownEvents(RTDCReader& reader, const EventFilter& filter);

/// Indices (ascending) of the events that the rules of `filter` show, also
/// while the filter itself is switched off: the statistical evaluation reads
/// every dataset as filtered, whatever the plots show. Every event when there
/// is no rule.
std::vector<int> shownEventsByRules(RTDCReader& reader, const EventFilter& filter);

} // namespace Quorvex3
