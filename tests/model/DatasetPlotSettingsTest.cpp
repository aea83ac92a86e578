// The plot settings a dataset keeps while another dataset is shown, and
// the plotted features a restored dataset cannot show.
#include "model/DatasetPlotSettings.h"

#include "model/DatasetEntry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// A restored dataset's plotted feature that its plot cannot offer, once
// the restored computations have run, is named with the dataset and
// emptied, so the plot's default stands in for it as the record says.
TEST(PlotSettings, PlottedFeaturesThePlotCannotShowAreNamedAndReplaced) {
    const std::vector<std::string> usable = {"area_um", "deform", "deform_fc", "emodulus"};
    const struct {
        const char* what;
        const char* x;
        const char* y;
        const char* colour;
        const char* name;              // display name
        std::vector<std::string> kept; // x, y, colour afterwards
        std::vector<QString> lines;
    } cases[] = {
        {"all offered",
         "area_um",
         "deform",
         "emodulus",
         "A",
         {"area_um", "deform", "emodulus"},
         {}},
        {"derived features present",
         "deform_fc",
         "emodulus",
         "",
         "A",
         {"deform_fc", "emodulus", ""},
         {}},
        {"kernel density colour",
         "area_um",
         "deform",
         "__density_kde__",
         "A",
         {"area_um", "deform", "__density_kde__"},
         {}},
        {"no choice stays none", "", "", "", "A", {"", "", ""}, {}},
        {"x the measurement lacks",
         "no_such_feature",
         "deform",
         "",
         "Probe B",
         {"", "deform", ""},
         {"Probe B: x feature \"no_such_feature\", which the measurement cannot show, replaced "
          "by the default"}},
        {"y and colour it lacks, named by the file without a display name",
         "area_um",
         "fl1_max",
         "bright_avg",
         "",
         {"area_um", "", ""},
         {"b.rtdc: y feature \"fl1_max\", which the measurement cannot show, replaced by the "
          "default",
          "b.rtdc: colour feature \"bright_avg\", which the measurement cannot show, replaced by "
          "none"}},
        {"a density is no axis",
         "__density_kde__",
         "deform",
         "",
         "A",
         {"", "deform", ""},
         {"A: x feature \"__density_kde__\", which the measurement cannot show, replaced by "
          "the default"}},
        {"a density the plot does not offer",
         "area_um",
         "deform",
         "__density_hist__",
         "A",
         {"area_um", "deform", ""},
         {"A: colour feature \"__density_hist__\", which the measurement cannot show, replaced "
          "by none"}},
        {"an embedding not made again, a name in another case",
         "dim_1",
         "Deform",
         "",
         "A",
         {"", "", ""},
         {"A: x feature \"dim_1\", which the measurement cannot show, replaced by the default",
          "A: y feature \"Deform\", which the measurement cannot show, replaced by the "
          "default"}},
    };
    for (const auto& c : cases) {
        DatasetEntry entry;
        entry.filePath = "/data/b.rtdc";
        entry.displayName = QString::fromUtf8(c.name);
        entry.xFeatureName = c.x;
        entry.yFeatureName = c.y;
        entry.colorFeatureName = c.colour;
        std::vector<QString> lines = {QStringLiteral("earlier line")};
        checkPlottedFeatures(entry, usable, lines);
        EXPECT_EQ((std::vector<std::string>{entry.xFeatureName, entry.yFeatureName,
                                            entry.colorFeatureName}),
                  c.kept)
            << c.what;
        std::vector<QString> expected = {QStringLiteral("earlier line")};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        EXPECT_EQ(lines, expected) << c.what;
    }
}

} // namespace
} // namespace Quorvex3
