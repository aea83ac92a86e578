#include "calc/EModConditions.h"

#include <cmath>

namespace Quorvex3 {

EModParams withUsableConditions(EModParams params) {
    const EModParams defaults;
    auto usable = [](double v) { return std::isfinite(v) && v > 0.0; };
    if (!usable(params.channelWidth))
        params.channelWidth = defaults.channelWidth;
    if (!usable(params.flowRate))
        params.flowRate = defaults.flowRate;
    if (!usable(params.pixelSize))
        params.pixelSize = defaults.pixelSize;
    return params;
}

} // namespace Quorvex3
