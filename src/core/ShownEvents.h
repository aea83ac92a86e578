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

} // namespace Quorvex3
