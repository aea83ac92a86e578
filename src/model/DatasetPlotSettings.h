#pragma once

#include "density/PlotSettings.h"

namespace Quorvex3 {

struct DatasetEntry;

/// The plot settings a dataset keeps while another is shown, and storing
/// them back into it.
PlotSettings plotSettingsOf(const DatasetEntry& entry);
void storePlotSettings(DatasetEntry& entry, const PlotSettings& settings);

} // namespace Quorvex3
