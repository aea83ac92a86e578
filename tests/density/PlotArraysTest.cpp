// The plot arrays of the main scatter plot, built from a filter, a reader and
// the plot settings without any widget, and the plot settings record itself.
#include "density/PlotArrays.h"

#include "core/EventFilter.h"
#include "core/RTDCReader.h"
#include "density/PlotSettings.h"
#include "support/RtdcFixtureWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Quorvex3 {
namespace {

using testing::RtdcFixtureWriter;
using testing::TempDir;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

using Columns = std::map<std::string, std::vector<double>>;

/// A measurement of the given columns; the first column by name sets the
/// event count, so "area_um" (first) always holds one value per event.
class PlotArraysTest : public ::testing::Test {
protected:
    RTDCReader& open(const Columns& columns) {
        const std::string path = m_dir.file("m" + std::to_string(m_files++) + ".rtdc");
        {
            RtdcFixtureWriter writer(path);
            for (const auto& [name, values] : columns)
                writer.addColumn<double>(name, values);
        }
        m_reader = std::make_unique<RTDCReader>();
        EXPECT_TRUE(m_reader->openFile(path));
        return *m_reader;
    }
    static PlotSettings axes(const std::string& x, const std::string& y) {
        PlotSettings settings;
        settings.xFeature = x;
        settings.yFeature = y;
        return settings;
    }
    static FilterRule range(const std::string& feature, double lo, double hi) {
        FilterRule rule;
        rule.featureName = feature;
        rule.minValue = lo;
        rule.maxValue = hi;
        return rule;
    }

private:
    TempDir m_dir;
    int m_files = 0;
    std::unique_ptr<RTDCReader> m_reader;
};

/// A cloud of n points with no two alike: enough for every density method.
std::vector<double> spread(std::size_t n, double scale, double offset) {
    std::vector<double> values(n);
    for (std::size_t i = 0; i < n; ++i)
        values[i] = offset + scale * std::sin(0.7 * static_cast<double>(i) + 0.3 * i * i);
    return values;
}

// ---- which events become points ------------------------------------------------------

struct PointsCase {
    const char* name;
    Columns columns;
    std::vector<FilterRule> rules;
    bool filterEnabled;
    std::vector<int> events;
    std::vector<double> x;
    std::vector<double> y;
};

TEST_F(PlotArraysTest, PointsAreTheShownEventsWithFiniteCoordinatesInEventOrder) {
    const std::vector<PointsCase> cases = {
        {"all events, no filter",
         {{"area_um", {1, 2, 3, 4}}, {"deform", {0.1, 0.2, 0.3, 0.4}}},
         {},
         true,
         {0, 1, 2, 3},
         {1, 2, 3, 4},
         {0.1, 0.2, 0.3, 0.4}},
        {"non-finite x or y leaves the event out",
         {{"area_um", {1, kNaN, 3, 4, kInf, 6}}, {"deform", {0.1, 0.2, -kInf, 0.4, 0.5, 0.6}}},
         {},
         true,
         {0, 3, 5},
         {1, 4, 6},
         {0.1, 0.4, 0.6}},
        {"a range rule hides events",
         {{"area_um", {1, 2, 3, 4, 5}}, {"deform", {0.1, 0.2, 0.3, 0.4, 0.5}}},
         {range("area_um", 2, 4)},
         true,
         {1, 2, 3},
         {2, 3, 4},
         {0.2, 0.3, 0.4}},
        {"a rule on a third feature, with a non-finite point among the shown",
         {{"area_um", {1, 2, 3, 4, 5}},
          {"deform", {0.1, kNaN, 0.3, 0.4, 0.5}},
          {"volume", {9, 1, 1, 9, 1}}},
         {range("volume", 0, 2)},
         true,
         {2, 4},
         {3, 5},
         {0.3, 0.5}},
        {"a switched-off filter shows every event",
         {{"area_um", {1, 2, 3}}, {"deform", {0.1, 0.2, 0.3}}},
         {range("area_um", 2, 2)},
         false,
         {0, 1, 2},
         {1, 2, 3},
         {0.1, 0.2, 0.3}},
        {"a filter showing events beyond a short axis column",
         {{"area_um", {1, 2, 3, 4, 5}}, {"deform", {0.1, 0.2, 0.3}}},
         {range("area_um", 2, 5)},
         true,
         {1, 2},
         {2, 3},
         {0.2, 0.3}},
        {"an axis column shorter than the events is read as far as it goes",
         {{"area_um", {1, 2, 3, 4}}, {"deform", {0.1, 0.2}}},
         {},
         true,
         {0, 1},
         {1, 2},
         {0.1, 0.2}},
    };
    for (const PointsCase& c : cases) {
        SCOPED_TRACE(c.name);
        RTDCReader& reader = open(c.columns);
        EventFilter filter;
        for (const FilterRule& rule : c.rules)
            filter.addRule(rule);
        filter.setEnabled(c.filterEnabled);
        const PlotArrays arrays = buildPlotArrays(filter, reader, axes("area_um", "deform"));
        EXPECT_EQ(arrays.outcome, PlotArrays::Outcome::Plotted);
        EXPECT_EQ(arrays.eventIndices, c.events);
        EXPECT_EQ(arrays.x, c.x);
        EXPECT_EQ(arrays.y, c.y);
        EXPECT_TRUE(arrays.color.empty());
        EXPECT_EQ(arrays.eventCount, c.columns.at("area_um").size());
        EXPECT_EQ(arrays.xLabel, reader.getFeatureLabel("area_um"));
        EXPECT_EQ(arrays.yLabel, reader.getFeatureLabel("deform"));
        EXPECT_FALSE(arrays.contours.has_value());
    }
}

// ---- nothing to plot -------------------------------------------------------------------

TEST_F(PlotArraysTest, NoEventsOrNoFeatureGiveAnEmptyPlotAndAnUnreadableAxisSaysWhy) {
    RTDCReader& reader = open({{"area_um", {1, 2}}, {"deform", {0.1, 0.2}}});
    const EventFilter filter;
    for (const auto& [x, y] : std::vector<std::pair<std::string, std::string>>{
             {"", "deform"}, {"area_um", ""}, {"", ""}}) {
        const PlotArrays arrays = buildPlotArrays(filter, reader, axes(x, y));
        EXPECT_EQ(arrays.outcome, PlotArrays::Outcome::Empty) << x << "/" << y;
        EXPECT_TRUE(arrays.x.empty());
    }
    const PlotArrays missing = buildPlotArrays(filter, reader, axes("area_um", "no_such"));
    EXPECT_EQ(missing.outcome, PlotArrays::Outcome::ReadFailed);
    EXPECT_TRUE(missing.x.empty());
    EXPECT_TRUE(missing.eventIndices.empty());

    RTDCReader& none = open({{"area_um", {}}, {"deform", {}}});
    EXPECT_EQ(buildPlotArrays(filter, none, axes("area_um", "deform")).outcome,
              PlotArrays::Outcome::Empty);
}

// ---- log axes --------------------------------------------------------------------------

TEST_F(PlotArraysTest, LogAxesCountTheValuesTheyLeaveOutAndOtherScalesNone) {
    RTDCReader& reader = open({{"area_um", {-1, 0, 2, 3, 0.5}}, {"deform", {1, -2, -3, 4, 0}}});
    struct Case {
        ScaleMode x;
        ScaleMode y;
        std::size_t leftOutX;
        std::size_t leftOutY;
    };
    for (const Case& c : std::vector<Case>{{ScaleMode::Log, ScaleMode::Linear, 2, 0},
                                           {ScaleMode::Linear, ScaleMode::Log, 0, 3},
                                           {ScaleMode::Log, ScaleMode::Log, 2, 3},
                                           {ScaleMode::PseudoLog, ScaleMode::PseudoLog, 0, 0}}) {
        PlotSettings settings = axes("area_um", "deform");
        settings.scaleX = c.x;
        settings.scaleY = c.y;
        const PlotArrays arrays = buildPlotArrays(EventFilter(), reader, settings);
        EXPECT_EQ(arrays.nonPositiveX, c.leftOutX) << static_cast<int>(c.x);
        EXPECT_EQ(arrays.nonPositiveY, c.leftOutY) << static_cast<int>(c.y);
        // The points stay: the axis leaves them out when it draws.
        EXPECT_EQ(arrays.x.size(), 5u);
    }
}

// ---- colour ----------------------------------------------------------------------------

TEST_F(PlotArraysTest, FeatureColourFollowsTheEventsAndDropsPointsWithoutOne) {
    RTDCReader& reader = open({{"area_um", {1, 2, 3, 4, 5}},
                               {"bright_avg", {10, kNaN, 30, 40, 50}},
                               {"deform", {0.1, 0.2, 0.3, kNaN, 0.5}}});
    EventFilter filter;
    filter.addRule(range("area_um", 2, 5));
    PlotSettings settings = axes("area_um", "deform");
    settings.colorId = "bright_avg";
    const PlotArrays arrays = buildPlotArrays(filter, reader, settings);
    // Event 0 filtered, 3 not finite, 1 without colour.
    EXPECT_EQ(arrays.eventIndices, (std::vector<int>{2, 4}));
    EXPECT_EQ(arrays.x, (std::vector<double>{3, 5}));
    EXPECT_EQ(arrays.y, (std::vector<double>{0.3, 0.5}));
    EXPECT_EQ(arrays.color, (std::vector<double>{30, 50}));
    EXPECT_EQ(arrays.colorLabel, reader.getFeatureLabel("bright_avg"));
    // The statistics describe the points plotted, not those without colour.
    const PlotStatistics& stats = arrays.statistics;
    ASSERT_TRUE(stats.hasValues);
    EXPECT_EQ(stats.xCount, 2u);
    EXPECT_EQ(stats.yCount, 2u);
    EXPECT_DOUBLE_EQ(stats.x.mean, 4.0);
    EXPECT_DOUBLE_EQ(stats.x.sd, std::sqrt(2.0));
    EXPECT_DOUBLE_EQ(stats.x.q1, 3.5);
    EXPECT_DOUBLE_EQ(stats.x.median, 4.0);
    EXPECT_DOUBLE_EQ(stats.x.q3, 4.5);
    EXPECT_DOUBLE_EQ(stats.y.mean, 0.4);
    EXPECT_DOUBLE_EQ(stats.y.iqr, 0.1);
}

TEST_F(PlotArraysTest, ColourColumnShorterThanTheEventsColoursNothingAndDropsNothing) {
    RTDCReader& reader = open(
        {{"area_um", {1, 2, 3, 4}}, {"deform", {0.1, 0.2, 0.3, 0.4}}, {"volume", {kNaN, 7, 8}}});
    PlotSettings settings = axes("area_um", "deform");
    settings.colorId = "volume";
    const PlotArrays arrays = buildPlotArrays(EventFilter(), reader, settings);
    EXPECT_TRUE(arrays.color.empty());
    EXPECT_EQ(arrays.eventIndices, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(arrays.colorLabel, reader.getFeatureLabel("volume"));
}

TEST_F(PlotArraysTest, DensityIsEstimatedOverTheDrawnPointsInAxisSpaceAndZeroElsewhere) {
    const std::size_t n = 40;
    std::vector<double> x = spread(n, 40.0, 50.0);
    const std::vector<double> y = spread(n, 0.02, 0.05);
    x[3] = -5.0;
    x[17] = 0.0;
    RTDCReader& reader = open({{"area_um", x}, {"deform", y}});
    for (const std::string id : {"__density_kde__", "__density_hist__", "__density_knn__"}) {
        SCOPED_TRACE(id);
        PlotSettings settings = axes("area_um", "deform");
        settings.colorId = id;
        settings.scaleX = ScaleMode::Log;
        const PlotArrays arrays = buildPlotArrays(EventFilter(), reader, settings);
        ASSERT_EQ(arrays.color.size(), n);
        EXPECT_EQ(arrays.colorLabel, "Density");
        std::vector<double> drawnX;
        std::vector<double> drawnY;
        for (std::size_t i = 0; i < n; ++i) {
            if (i == 3 || i == 17)
                continue;
            drawnX.push_back(std::log10(x[i]));
            drawnY.push_back(y[i]);
        }
        const std::vector<double> expected =
            DensityEstimator::estimateNaNSafe(drawnX, drawnY, parseColorId(id).method);
        std::size_t k = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (i == 3 || i == 17) {
                EXPECT_EQ(arrays.color[i], 0.0) << i;
                continue;
            }
            EXPECT_DOUBLE_EQ(arrays.color[i], expected[k++]) << i;
        }
        EXPECT_EQ(arrays.nonPositiveX, 2u);
    }
}

TEST_F(PlotArraysTest, TooFewPointsForADensityKeepThemInPlainColour) {
    RTDCReader& reader = open({{"area_um", {1, 2, 3}}, {"deform", {0.1, 0.3, 0.2}}});
    PlotSettings settings = axes("area_um", "deform");
    settings.colorId = "__density_kde__";
    const PlotArrays arrays = buildPlotArrays(EventFilter(), reader, settings);
    EXPECT_TRUE(arrays.color.empty());
    EXPECT_EQ(arrays.colorLabel, "Density");
    EXPECT_EQ(arrays.eventIndices, (std::vector<int>{0, 1, 2}));
}

// ---- contours --------------------------------------------------------------------------

TEST_F(PlotArraysTest, ContoursComeWhenAskedForAndEqualWithOrWithoutTheDensityColour) {
    const std::size_t n = 60;
    RTDCReader& reader =
        open({{"area_um", spread(n, 40.0, 50.0)}, {"deform", spread(n, 0.02, 0.05)}});
    PlotSettings settings = axes("area_um", "deform");
    settings.contourFraction1 = 0.67;
    settings.contourFraction2 = 0.1;

    EXPECT_FALSE(buildPlotArrays(EventFilter(), reader, settings).contours.has_value());

    settings.contourMode = ContourMode::Overlay;
    const PlotArrays plain = buildPlotArrays(EventFilter(), reader, settings);
    ASSERT_TRUE(plain.contours.has_value());
    ASSERT_EQ(plain.contours->size(), 2u);
    // The smaller fraction first.
    EXPECT_DOUBLE_EQ((*plain.contours)[0].fraction, 0.1);
    EXPECT_DOUBLE_EQ((*plain.contours)[1].fraction, 0.67);

    settings.colorId = "__density_kde__";
    settings.contourMode = ContourMode::Only;
    const PlotArrays shared = buildPlotArrays(EventFilter(), reader, settings);
    ASSERT_TRUE(shared.contours.has_value());
    ASSERT_EQ(shared.contours->size(), 2u);
    for (std::size_t level = 0; level < 2; ++level) {
        EXPECT_DOUBLE_EQ((*shared.contours)[level].threshold, (*plain.contours)[level].threshold);
        EXPECT_EQ((*shared.contours)[level].paths.size(), (*plain.contours)[level].paths.size());
    }
    const std::vector<ContourLevel> again = plotContours(plain.x, plain.y, settings);
    ASSERT_EQ(again.size(), 2u);
    EXPECT_DOUBLE_EQ(again[0].threshold, (*plain.contours)[0].threshold);
}

TEST_F(PlotArraysTest, FewerThanFourPointsDrawNoContours) {
    RTDCReader& reader =
        open({{"area_um", {1, 2, 3, 4, 5}}, {"deform", {0.1, 0.3, 0.2, kNaN, kNaN}}});
    PlotSettings settings = axes("area_um", "deform");
    settings.contourMode = ContourMode::Overlay;
    EXPECT_FALSE(buildPlotArrays(EventFilter(), reader, settings).contours.has_value());
    EXPECT_TRUE(plotContours({1, 2, 3}, {1, 3, 2}, settings).empty());
}

// ---- the settings record -----------------------------------------------------------------

TEST(PlotSettings, ColourIdsAreReadInOnePlace) {
    struct Case {
        std::string id;
        ColorChoice::Kind kind;
        DensityMethod method;
        std::string feature;
    };
    const std::vector<Case> cases = {
        {"", ColorChoice::Kind::None, DensityMethod::KDE, ""},
        {"area_um", ColorChoice::Kind::Feature, DensityMethod::KDE, "area_um"},
        {"__density_kde__", ColorChoice::Kind::Density, DensityMethod::KDE, ""},
        {"__density_hist__", ColorChoice::Kind::Density, DensityMethod::Histogram, ""},
        {"__density_knn__", ColorChoice::Kind::Density, DensityMethod::KNN, ""},
        {"__density_other", ColorChoice::Kind::Density, DensityMethod::KDE, ""},
        {"__densit", ColorChoice::Kind::Feature, DensityMethod::KDE, "__densit"},
        {"x__density_knn__", ColorChoice::Kind::Feature, DensityMethod::KDE, "x__density_knn__"},
    };
    for (const Case& c : cases) {
        const ColorChoice choice = parseColorId(c.id);
        EXPECT_EQ(choice.kind, c.kind) << c.id;
        EXPECT_EQ(choice.feature, c.feature) << c.id;
        if (c.kind == ColorChoice::Kind::Density) {
            EXPECT_EQ(choice.method, c.method) << c.id;
        }
        EXPECT_EQ(isDensityColorId(c.id), c.kind == ColorChoice::Kind::Density) << c.id;
    }
    for (DensityMethod method : {DensityMethod::KDE, DensityMethod::Histogram, DensityMethod::KNN})
        EXPECT_EQ(parseColorId(densityColorId(method)).method, method);
    EXPECT_EQ(densityColorId(DensityMethod::KDE), "__density_kde__");
}

TEST(PlotSettings, ContourFractionsSmallerFirstAndAxesCompareFeaturesAndScalesOnly) {
    PlotSettings a;
    a.contourFraction1 = 0.8;
    a.contourFraction2 = 0.3;
    EXPECT_EQ(sortedContourFractions(a), (std::vector<double>{0.3, 0.8}));
    a.contourFraction1 = 0.2;
    EXPECT_EQ(sortedContourFractions(a), (std::vector<double>{0.2, 0.3}));

    a.xFeature = "area_um";
    a.yFeature = "deform";
    PlotSettings b = a;
    b.colorId = "__density_kde__";
    b.contourMode = ContourMode::Only;
    EXPECT_TRUE(sameAxes(a, b));
    EXPECT_NE(a, b);
    for (const std::function<void(PlotSettings&)>& change :
         std::vector<std::function<void(PlotSettings&)>>{
             [](PlotSettings& s) { s.xFeature = "volume"; },
             [](PlotSettings& s) { s.yFeature = "volume"; },
             [](PlotSettings& s) { s.scaleX = ScaleMode::Log; },
             [](PlotSettings& s) { s.scaleY = ScaleMode::PseudoLog; }}) {
        PlotSettings c = a;
        change(c);
        EXPECT_FALSE(sameAxes(a, c));
        EXPECT_NE(a, c);
    }
}

TEST_F(PlotArraysTest, AdoptedSettingsTakeOnlyFeaturesTheDatasetHas) {
    RTDCReader& reader = open({{"area_um", {1}}, {"deform", {1}}, {"volume", {1}}});
    PlotSettings target = axes("area_um", "deform");
    target.colorId = "volume";
    PlotSettings source = axes("bright_avg", "volume");
    source.scaleX = ScaleMode::Log;
    source.scaleY = ScaleMode::PseudoLog;
    source.contourMode = ContourMode::Overlay;
    source.contourFraction1 = 0.3;
    source.contourFraction2 = 0.9;

    struct Case {
        std::string sourceColor;
        const RTDCReader* reader;
        std::string x;
        std::string y;
        std::string color;
    };
    const std::vector<Case> cases = {
        {"bright_avg", &reader, "area_um", "volume", "volume"},
        {"deform", &reader, "area_um", "volume", "deform"},
        {"__density_hist__", &reader, "area_um", "volume", "__density_hist__"},
        {"", &reader, "area_um", "volume", ""},
        {"deform", nullptr, "area_um", "deform", "volume"},
    };
    for (const Case& c : cases) {
        source.colorId = c.sourceColor;
        const PlotSettings adopted = adoptPlotSettings(target, source, c.reader);
        SCOPED_TRACE(c.sourceColor + (c.reader ? "" : " without reader"));
        EXPECT_EQ(adopted.xFeature, c.x);
        EXPECT_EQ(adopted.yFeature, c.y);
        EXPECT_EQ(adopted.colorId, c.color);
        EXPECT_EQ(adopted.scaleX, ScaleMode::Log);
        EXPECT_EQ(adopted.scaleY, ScaleMode::PseudoLog);
        EXPECT_EQ(adopted.contourMode, ContourMode::Overlay);
        EXPECT_EQ(adopted.contourFraction1, 0.3);
        EXPECT_EQ(adopted.contourFraction2, 0.9);
    }
}

} // namespace
} // namespace Quorvex3
