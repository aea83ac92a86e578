// The plot settings a dataset keeps while another dataset is shown.
#include "model/DatasetPlotSettings.h"

#include "model/DatasetEntry.h"

#include <gtest/gtest.h>

namespace Quorvex3 {
namespace {

TEST(PlotSettings, ADatasetKeepsEveryField) {
    PlotSettings settings;
    settings.xFeature = "volume";
    settings.yFeature = "area_um";
    settings.colorId = "__density_knn__";
    settings.scaleX = ScaleMode::PseudoLog;
    settings.scaleY = ScaleMode::Log;
    settings.contourMode = ContourMode::Only;
    settings.contourFraction1 = 0.25;
    settings.contourFraction2 = 0.75;
    DatasetEntry entry;
    storePlotSettings(entry, settings);
    EXPECT_EQ(entry.xFeatureName, "volume");
    EXPECT_EQ(entry.scaleXMode, 2);
    EXPECT_EQ(entry.scaleYMode, 1);
    EXPECT_EQ(entry.contourMode, 2);
    EXPECT_EQ(plotSettingsOf(entry), settings);
}

} // namespace
} // namespace Quorvex3
