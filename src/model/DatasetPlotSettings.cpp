#include "model/DatasetPlotSettings.h"

#include "model/DatasetEntry.h"

namespace Quorvex3 {

PlotSettings plotSettingsOf(const DatasetEntry& entry) {
    PlotSettings settings;
    settings.xFeature = entry.xFeatureName;
    settings.yFeature = entry.yFeatureName;
    settings.colorId = entry.colorFeatureName;
    settings.scaleX = static_cast<ScaleMode>(entry.scaleXMode);
    settings.scaleY = static_cast<ScaleMode>(entry.scaleYMode);
    settings.contourMode = static_cast<ContourMode>(entry.contourMode);
    settings.contourFraction1 = entry.contourFraction1;
    settings.contourFraction2 = entry.contourFraction2;
    return settings;
}

void storePlotSettings(DatasetEntry& entry, const PlotSettings& settings) {
    entry.xFeatureName = settings.xFeature;
    entry.yFeatureName = settings.yFeature;
    entry.colorFeatureName = settings.colorId;
    entry.scaleXMode = static_cast<int>(settings.scaleX);
    entry.scaleYMode = static_cast<int>(settings.scaleY);
    entry.contourMode = static_cast<int>(settings.contourMode);
    entry.contourFraction1 = settings.contourFraction1;
    entry.contourFraction2 = settings.contourFraction2;
}

} // namespace Quorvex3
