#pragma once

#include "calc/EModParams.h"

namespace Quorvex3 {

/// The parameters with every measurement condition the table needs made
/// usable: a channel width, flow rate or pixel size that is missing from
/// the metadata (0, negative or not finite) takes the record's default, as
/// for every other dataset, so a computation never runs on a zero
/// condition and yields only NaN.
EModParams withUsableConditions(EModParams params);

} // namespace Quorvex3
