// Copies of filter rules across dataset records and the rules a measurement
// brings along in its metadata, without a window: propagation ids, finding
// the copy of a rule, the divergence of copies, and the import of the
// measurement's online-filter limits.
#include "model/FilterPropagation.h"
#include "core/RTDCReader.h"
#include "model/DatasetEntry.h"
#include "support/RtdcFixtureWriter.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QString>

#include <cmath>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace Quorvex3 {
namespace {

using testing::RtdcFixtureWriter;
using testing::TempDir;

FilterRule rangeRule(const std::string& feature, double lo, double hi, const std::string& id) {
    FilterRule rule;
    rule.type = 0;
    rule.featureName = feature;
    rule.minValue = lo;
    rule.maxValue = hi;
    rule.propagationId = id;
    return rule;
}

FilterRule polygonRule(const std::string& x, const std::string& y, const std::string& id) {
    FilterRule rule;
    rule.type = 1;
    rule.featureName = x;
    rule.featureNameY = y;
    rule.polygonVertices = {{0.0, 0.0}, {10.0, 0.0}, {10.0, 0.1}};
    rule.propagationId = id;
    return rule;
}

// ---- propagation ids ---------------------------------------------------------------

TEST(PropagationId, IsABracedLowerCaseUuidOf38CharactersAndNewEachTime) {
    const QRegularExpression form(
        QStringLiteral("^\\{[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\}$"));
    std::set<std::string> seen;
    for (int i = 0; i < 20; ++i) {
        const std::string id = createPropagationId();
        EXPECT_EQ(id.size(), 38u);
        EXPECT_TRUE(form.match(QString::fromStdString(id)).hasMatch()) << id;
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 20u);
}

TEST(FindRuleCopy, FindsTheFirstRuleWithTheSameIdByteForByte) {
    EventFilter filter;
    filter.addRule(rangeRule("area_um", 0, 1, ""));
    filter.addRule(rangeRule("area_um", 0, 1, "{b}"));
    filter.addRule(rangeRule("deform", 0, 1, "{a}"));
    filter.addRule(rangeRule("area_um", 0, 1, "{a}"));
    EXPECT_EQ(findRuleCopy(filter, "{a}"), 2);
    EXPECT_EQ(findRuleCopy(filter, "{b}"), 1);
    EXPECT_EQ(findRuleCopy(filter, "{A}"), -1);
    EXPECT_EQ(findRuleCopy(filter, "{a} "), -1);
    // An empty id links nothing, although rule 0 carries an empty id too.
    EXPECT_EQ(findRuleCopy(filter, ""), -1);
}

// ---- what counts as different settings ---------------------------------------------

TEST(RuleSettingsDiffer, RangeRulesCompareBoundsExactlyAndInvertButNotNamesOrEnabled) {
    const FilterRule active = rangeRule("area_um", 10.0, 20.0, "{x}");
    FilterRule copy = active;
    EXPECT_FALSE(ruleSettingsDiffer(active, copy));
    copy.featureName = "deform";
    copy.enabled = false;
    copy.polygonVertices = {{1, 2}};
    copy.scaleXMode = 2;
    EXPECT_FALSE(ruleSettingsDiffer(active, copy));

    copy = active;
    copy.minValue = std::nextafter(10.0, 0.0);
    EXPECT_TRUE(ruleSettingsDiffer(active, copy));
    copy = active;
    copy.maxValue = 20.5;
    EXPECT_TRUE(ruleSettingsDiffer(active, copy));
    copy = active;
    copy.inverted = true;
    EXPECT_TRUE(ruleSettingsDiffer(active, copy));
}

TEST(RuleSettingsDiffer, PolygonRulesCompareVerticesAndScalesButNotBounds) {
    const FilterRule active = polygonRule("area_um", "deform", "{x}");
    FilterRule copy = active;
    copy.minValue = 5.0;
    copy.featureNameY = "bright_avg";
    EXPECT_FALSE(ruleSettingsDiffer(active, copy));

    copy = active;
    copy.polygonVertices[2].second = 0.1000001;
    EXPECT_TRUE(ruleSettingsDiffer(active, copy));
    copy = active;
    copy.polygonVertices.push_back({0.0, 0.1});
    EXPECT_TRUE(ruleSettingsDiffer(active, copy));
    copy = active;
    copy.scaleXMode = 1;
    EXPECT_TRUE(ruleSettingsDiffer(active, copy));
    copy = active;
    copy.scaleYMode = 2;
    EXPECT_TRUE(ruleSettingsDiffer(active, copy));
}

// ---- divergence over datasets ------------------------------------------------------

class PropagationStatusTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_full = openReader("full.rtdc", true);
        m_noDeform = openReader("nodeform.rtdc", false);
    }

    std::shared_ptr<RTDCReader> openReader(const std::string& name, bool withDeform) {
        const std::string path = m_dir.file(name);
        {
            RtdcFixtureWriter writer(path);
            writer.addColumn<double>("area_um", {10.0, 20.0, 30.0});
            if (withDeform)
                writer.addColumn<double>("deform", {0.01, 0.02, 0.03});
        }
        auto reader = std::make_shared<RTDCReader>();
        EXPECT_TRUE(reader->openFile(path));
        return reader;
    }

    DatasetEntry& add(std::shared_ptr<RTDCReader> reader) {
        m_datasets.push_back(std::make_unique<DatasetEntry>());
        m_datasets.back()->id = static_cast<int>(m_datasets.size()) - 1;
        m_datasets.back()->reader = std::move(reader);
        return *m_datasets.back();
    }

    TempDir m_dir;
    std::shared_ptr<RTDCReader> m_full;
    std::shared_ptr<RTDCReader> m_noDeform;
    std::vector<std::unique_ptr<DatasetEntry>> m_datasets;
};

TEST_F(PropagationStatusTest, NoActiveDatasetGivesNothing) {
    add(m_full).filter.setEnabled(false);
    add(m_full);
    for (int index : {-1, 2}) {
        const FilterPropagationStatus status = computeFilterPropagationStatus(m_datasets, index);
        EXPECT_FALSE(status.enabledStateDiverges);
        EXPECT_FALSE(status.combineModeDiverges);
        EXPECT_TRUE(status.rules.empty());
    }
    m_datasets.push_back(nullptr);
    EXPECT_TRUE(computeFilterPropagationStatus(m_datasets, 2).rules.empty());
}

TEST_F(PropagationStatusTest, EnabledStateAndCombineModeDivergeWhenAnyOtherDatasetDiffers) {
    DatasetEntry& active = add(m_full);
    add(m_full);
    DatasetEntry& third = add(nullptr); // no reader: still counts for the two switches
    m_datasets.push_back(nullptr);
    active.filter.addRule(rangeRule("area_um", 0, 1, ""));

    FilterPropagationStatus status = computeFilterPropagationStatus(m_datasets, 0);
    EXPECT_FALSE(status.enabledStateDiverges);
    EXPECT_FALSE(status.combineModeDiverges);
    ASSERT_EQ(status.rules.size(), 1u);
    EXPECT_FALSE(status.rules[0].settingsDiffer);
    EXPECT_FALSE(status.rules[0].enabledDiffers);

    third.filter.setEnabled(false);
    third.filter.setCombineMode(FilterCombineMode::NOT);
    status = computeFilterPropagationStatus(m_datasets, 0);
    EXPECT_TRUE(status.enabledStateDiverges);
    EXPECT_TRUE(status.combineModeDiverges);

    // Seen from the third dataset, both others differ from it.
    status = computeFilterPropagationStatus(m_datasets, 2);
    EXPECT_TRUE(status.enabledStateDiverges);
    EXPECT_TRUE(status.combineModeDiverges);
}

TEST_F(PropagationStatusTest, CopiesMarkSettingsAndEnabledStateSeparately) {
    DatasetEntry& active = add(m_full);
    DatasetEntry& second = add(m_full);
    DatasetEntry& third = add(m_full);
    active.filter.addRule(rangeRule("area_um", 10, 20, "{r}"));
    active.filter.addRule(rangeRule("area_um", 10, 20, "")); // never marked
    second.filter.addRule(rangeRule("area_um", 10, 20, "{r}"));
    third.filter.addRule(rangeRule("area_um", 10, 20, "{r}"));
    second.filter.addRule(rangeRule("area_um", 0, 1, ""));

    FilterPropagationStatus status = computeFilterPropagationStatus(m_datasets, 0);
    ASSERT_EQ(status.rules.size(), 2u);
    EXPECT_FALSE(status.rules[0].settingsDiffer);
    EXPECT_FALSE(status.rules[0].enabledDiffers);

    FilterRule changed = third.filter.rules()[0];
    changed.minValue = 11;
    third.filter.setRule(0, changed);
    status = computeFilterPropagationStatus(m_datasets, 0);
    EXPECT_TRUE(status.rules[0].settingsDiffer);
    EXPECT_FALSE(status.rules[0].enabledDiffers);
    EXPECT_FALSE(status.rules[1].settingsDiffer);

    FilterRule unchecked = second.filter.rules()[0];
    unchecked.enabled = false;
    second.filter.setRule(0, unchecked);
    status = computeFilterPropagationStatus(m_datasets, 0);
    EXPECT_TRUE(status.rules[0].settingsDiffer);
    EXPECT_TRUE(status.rules[0].enabledDiffers);
    EXPECT_FALSE(status.rules[1].settingsDiffer);
    EXPECT_FALSE(status.rules[1].enabledDiffers);
}

TEST_F(PropagationStatusTest, OnlyTheFirstCopyOfADatasetCounts) {
    DatasetEntry& active = add(m_full);
    DatasetEntry& second = add(m_full);
    active.filter.addRule(rangeRule("area_um", 10, 20, "{r}"));
    second.filter.addRule(rangeRule("area_um", 10, 20, "{r}"));
    FilterRule other = rangeRule("area_um", 99, 100, "{r}");
    other.enabled = false;
    second.filter.addRule(other);
    const FilterPropagationStatus status = computeFilterPropagationStatus(m_datasets, 0);
    EXPECT_FALSE(status.rules[0].settingsDiffer);
    EXPECT_FALSE(status.rules[0].enabledDiffers);
}

TEST_F(PropagationStatusTest, DatasetsThatCannotShowTheRuleOrLackTheCopyAreIgnored) {
    DatasetEntry& active = add(m_full);
    DatasetEntry& lacksDeform = add(m_noDeform);
    DatasetEntry& noReader = add(nullptr);
    add(m_full); // holds no copy at all
    active.filter.addRule(polygonRule("area_um", "deform", "{p}"));
    active.filter.addRule(rangeRule("deform", 0, 1, "{d}"));
    FilterRule polygonCopy = polygonRule("area_um", "deform", "{p}");
    polygonCopy.scaleXMode = 1;
    polygonCopy.enabled = false;
    FilterRule rangeCopy = rangeRule("deform", 0, 2, "{d}");
    for (DatasetEntry* entry : {&lacksDeform, &noReader}) {
        entry->filter.addRule(polygonCopy);
        entry->filter.addRule(rangeCopy);
    }
    const FilterPropagationStatus status = computeFilterPropagationStatus(m_datasets, 0);
    ASSERT_EQ(status.rules.size(), 2u);
    for (const RuleDivergence& rule : status.rules) {
        EXPECT_FALSE(rule.settingsDiffer);
        EXPECT_FALSE(rule.enabledDiffers);
    }

    // The same copies in a dataset that has both features do count.
    DatasetEntry& full = add(m_full);
    full.filter.addRule(polygonCopy);
    full.filter.addRule(rangeCopy);
    const FilterPropagationStatus marked = computeFilterPropagationStatus(m_datasets, 0);
    EXPECT_TRUE(marked.rules[0].settingsDiffer);
    EXPECT_TRUE(marked.rules[0].enabledDiffers);
    EXPECT_TRUE(marked.rules[1].settingsDiffer);
    EXPECT_FALSE(marked.rules[1].enabledDiffers);
}

// ---- the measurement's own filters -------------------------------------------------

TEST(ParseLeadingDecimal, ReadsTheLeadingNumberAndIgnoresTheRest) {
    double value = -1.0;
    ASSERT_TRUE(parseLeadingDecimal("0.340000", value));
    EXPECT_EQ(value, 0.34);
    ASSERT_TRUE(parseLeadingDecimal("  12.5 um", value));
    EXPECT_EQ(value, 12.5);
    ASSERT_TRUE(parseLeadingDecimal("-3e2x", value));
    EXPECT_EQ(value, -300.0);
    ASSERT_TRUE(parseLeadingDecimal("+7", value));
    EXPECT_EQ(value, 7.0);
    ASSERT_TRUE(parseLeadingDecimal("5,5", value));
    EXPECT_EQ(value, 5.0);
}

TEST(ParseLeadingDecimal, TextWithoutANumberFailsAndLeavesTheValue) {
    for (const char* text : {"", " ", "abc", "x1", "+-1", "nan", "1e999", ".", "-"}) {
        double value = 42.0;
        EXPECT_FALSE(parseLeadingDecimal(text, value)) << '"' << text << '"';
        EXPECT_EQ(value, 42.0) << text;
    }
}

RTDCMetadata softLimits(std::map<std::string, std::string> entries) {
    RTDCMetadata metadata;
    metadata.onlineFilter = std::move(entries);
    return metadata;
}

TEST(MeasurementFilters, ASoftLimitWithMinAndMaxBecomesAnEnabledRangeRule) {
    const RTDCMetadata metadata = softLimits({{"area_um soft limit", "1"},
                                              {"area_um min", "12.500000"},
                                              {"area_um max", "300.000000"},
                                              {"deform max", "0.100000"}});
    EventFilter filter;
    filter.setEnabled(false);
    ASSERT_EQ(appendMeasurementFilterRules(filter, metadata), 1);
    EXPECT_TRUE(filter.isEnabled());
    ASSERT_EQ(filter.ruleCount(), 1);
    const FilterRule& rule = filter.rules()[0];
    EXPECT_EQ(rule.type, 0);
    EXPECT_EQ(rule.featureName, "area_um");
    EXPECT_EQ(rule.minValue, 12.5);
    EXPECT_EQ(rule.maxValue, 300.0);
    EXPECT_TRUE(rule.enabled);
    EXPECT_FALSE(rule.inverted);
    EXPECT_TRUE(rule.propagationId.empty());
}

TEST(MeasurementFilters, OnlyTheExactValueOneSwitchesALimitOn) {
    for (const char* flag : {"1.0", "true", "True", " 1", "0", ""}) {
        const RTDCMetadata metadata =
            softLimits({{"area_um soft limit", flag}, {"area_um min", "1"}, {"area_um max", "2"}});
        EventFilter filter;
        filter.setEnabled(false);
        EXPECT_EQ(appendMeasurementFilterRules(filter, metadata), 0) << flag;
        EXPECT_EQ(filter.ruleCount(), 0);
        EXPECT_FALSE(filter.isEnabled()) << "nothing added leaves the switch alone";
    }
    // A key that is just the suffix names no feature.
    EventFilter filter;
    EXPECT_EQ(appendMeasurementFilterRules(
                  filter, softLimits({{" soft limit", "1"}, {" min", "1"}, {" max", "2"}})),
              0);
}

TEST(MeasurementFilters, MissingOrUnreadableBoundsSkipOnlyThatFeature) {
    const RTDCMetadata metadata = softLimits({{"area_um soft limit", "1"},
                                              {"area_um min", "abc"},
                                              {"area_um max", "300"},
                                              {"bright_avg soft limit", "1"},
                                              {"bright_avg min", "20"},
                                              {"deform soft limit", "1"},
                                              {"deform min", "0.01"},
                                              {"deform max", "0.05 (upper)"},
                                              {"size_x_um soft limit", "1"},
                                              {"size_x_um min", "5"},
                                              {"size_x_um max", ""}});
    EventFilter filter;
    ASSERT_EQ(appendMeasurementFilterRules(filter, metadata), 1);
    EXPECT_EQ(filter.rules()[0].featureName, "deform");
    EXPECT_EQ(filter.rules()[0].minValue, 0.01);
    EXPECT_EQ(filter.rules()[0].maxValue, 0.05);
}

TEST(MeasurementFilters, APairOfFeaturesNeedsAStoredPolygonWithPoints) {
    RTDCMetadata metadata = softLimits({{"area_um,deform soft limit", "1"},
                                        {"area_um,deform min", "1"},
                                        {"area_um,deform max", "2"}});
    EventFilter filter;
    EXPECT_EQ(appendMeasurementFilterRules(filter, metadata), 0) << "no polygon, no range rule";

    metadata.polygons.push_back({"deform", "area_um", {{1, 2}, {3, 4}, {5, 6}}}); // other order
    metadata.polygons.push_back({"area_um", "deform", {}});                       // no points
    metadata.polygons.push_back({"area_um", "deform", {{10, 0.01}, {20, 0.01}, {15, 0.05}}});
    metadata.polygons.push_back({"area_um", "deform", {{0, 0}, {1, 1}, {1, 0}}});
    ASSERT_EQ(appendMeasurementFilterRules(filter, metadata), 1);
    const FilterRule& rule = filter.rules()[0];
    EXPECT_EQ(rule.type, 1);
    EXPECT_EQ(rule.featureName, "area_um");
    EXPECT_EQ(rule.featureNameY, "deform");
    const std::vector<std::pair<double, double>> expected = {{10, 0.01}, {20, 0.01}, {15, 0.05}};
    EXPECT_EQ(rule.polygonVertices, expected);
    EXPECT_EQ(rule.scaleXMode, 0);
    EXPECT_EQ(rule.scaleYMode, 0);
    EXPECT_TRUE(rule.enabled);
    EXPECT_FALSE(rule.inverted);
    EXPECT_TRUE(rule.propagationId.empty());
}

TEST(MeasurementFilters, RulesFollowKeyOrderAndImportingTwiceAppendsTwice) {
    RTDCMetadata metadata = softLimits({{"deform soft limit", "1"},
                                        {"deform min", "0"},
                                        {"deform max", "0.1"},
                                        {"area_um,deform soft limit", "1"},
                                        {"area_um soft limit", "1"},
                                        {"area_um min", "5"},
                                        {"area_um max", "50"}});
    metadata.polygons.push_back({"area_um", "deform", {{1, 0}, {2, 0}, {2, 1}}});
    EventFilter filter;
    filter.addRule(rangeRule("bright_avg", 0, 1, "{keep}"));
    ASSERT_EQ(appendMeasurementFilterRules(filter, metadata), 3);
    ASSERT_EQ(appendMeasurementFilterRules(filter, metadata), 3);
    ASSERT_EQ(filter.ruleCount(), 7);
    // "area_um " sorts before "area_um," (space before comma).
    const std::vector<std::string> expected = {"bright_avg", "area_um", "area_um", "deform",
                                               "area_um",    "area_um", "deform"};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(filter.rules()[static_cast<size_t>(i)].featureName,
                  expected[static_cast<size_t>(i)]);
    EXPECT_EQ(filter.rules()[1].type, 0);
    EXPECT_EQ(filter.rules()[2].type, 1);
    EXPECT_EQ(filter.rules()[0].propagationId, "{keep}");
}

TEST(MeasurementFilters, MetadataWithoutLimitsOrPolygonsAddsNothing) {
    EventFilter filter;
    filter.setEnabled(false);
    EXPECT_EQ(appendMeasurementFilterRules(filter, RTDCMetadata()), 0);
    RTDCMetadata polygonsOnly;
    polygonsOnly.polygons.push_back({"area_um", "deform", {{1, 0}, {2, 0}, {2, 1}}});
    EXPECT_EQ(appendMeasurementFilterRules(filter, polygonsOnly), 0);
    EXPECT_FALSE(filter.isEnabled());
}

} // namespace
} // namespace Quorvex3
