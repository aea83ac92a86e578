#pragma once

#include "core/EventFilter.h"
#include "stats/StatSummaryResult.h"

#include <string>
#include <vector>

namespace Quorvex3 {

class RTDCReader;

/// One dataset of a statistical summary table, as the main window hands it
/// over: nothing here refers back to the window.
struct StatSummarySource {
    /// The row's first cell (UTF-8).
    std::string displayName;
    /// Not owned; must stay open while the table is built.
    RTDCReader* reader = nullptr;
    /// The dataset's effective filter; it is applied in every case.
    EventFilter filter;
};

/// The whole statistical summary table (UTF-8, "\n" line ends): the header
/// line and one line per source, in order, with one cell per chosen feature
/// and chosen statistic in column order.
///
/// A feature's header label is the label of the first source whose reader
/// has it (the name itself when that label is empty or no source has it).
/// Per source the filter's shown events are taken once; a feature's values
/// are its finite values at those events, read only inside the column's
/// length (a short or failed column gives fewer values, never a read past
/// its end). A source without the feature, or without a reader, gets empty
/// cells; one without values gets "0" under "N" and empty cells elsewhere.
std::string buildStatSummaryTable(const std::vector<StatSummarySource>& sources,
                                  const StatSummaryResult& result);

} // namespace Quorvex3
