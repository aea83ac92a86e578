#pragma once

#include "density/PlotSettings.h"

#include <QString>

#include <string>
#include <vector>

namespace Quorvex3 {

struct DatasetEntry;

/// The plot settings a dataset keeps while another is shown, and storing
/// them back into it.
PlotSettings plotSettingsOf(const DatasetEntry& entry);
void storePlotSettings(DatasetEntry& entry, const PlotSettings& settings);

/// The plotted features of a restored dataset that its plot cannot show,
/// given `usable`, the features the plot offers once the restored
/// computations have run (usableScalarFeatures). Such an x or y feature is
/// replaced by the default and such a colour by none: emptied, so the views
/// choose as for a dataset without a choice. The colour may also be no
/// colour (empty) or the kernel density. Each name replaced is added to
/// `repairs`, led by the dataset's display name (its file name when that is
/// empty).
void checkPlottedFeatures(DatasetEntry& entry, const std::vector<std::string>& usable,
                          std::vector<QString>& repairs);

} // namespace Quorvex3
