// The JSON object of one filter rule, as sessions and filter-group files
// store it: every field survives a round trip through text, every missing
// or mistyped key falls back to the default rule, and non-finite numbers
// are kept instead of turning into 0.
#include "model/FilterRuleJson.h"

#include "core/EventFilter.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace Quorvex3 {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::uint64_t bits(double value) {
    std::uint64_t out = 0;
    std::memcpy(&out, &value, sizeof out);
    return out;
}

// Through the text a file holds, not just through the object.
QJsonObject throughText(const QJsonObject& object) {
    const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return QJsonDocument::fromJson(text).object();
}

FilterRule fromText(const char* json) {
    return deserializeFilterRule(QJsonDocument::fromJson(QByteArray(json)).object());
}

// Compares every field; doubles bit for bit (NaN equals NaN of the same bits).
void expectSameRule(const FilterRule& a, const FilterRule& b) {
    EXPECT_EQ(a.type, b.type);
    EXPECT_EQ(a.featureName, b.featureName);
    EXPECT_EQ(a.featureNameY, b.featureNameY);
    EXPECT_EQ(bits(a.minValue), bits(b.minValue)) << a.minValue << " vs " << b.minValue;
    EXPECT_EQ(bits(a.maxValue), bits(b.maxValue)) << a.maxValue << " vs " << b.maxValue;
    ASSERT_EQ(a.polygonVertices.size(), b.polygonVertices.size());
    for (std::size_t i = 0; i < a.polygonVertices.size(); ++i) {
        EXPECT_EQ(bits(a.polygonVertices[i].first), bits(b.polygonVertices[i].first)) << i;
        EXPECT_EQ(bits(a.polygonVertices[i].second), bits(b.polygonVertices[i].second)) << i;
    }
    EXPECT_EQ(a.scaleXMode, b.scaleXMode);
    EXPECT_EQ(a.scaleYMode, b.scaleYMode);
    EXPECT_EQ(a.enabled, b.enabled);
    EXPECT_EQ(a.inverted, b.inverted);
    EXPECT_EQ(a.propagationId, b.propagationId);
}

FilterRule polygonRule() {
    FilterRule rule;
    rule.type = 1;
    rule.featureName = "area_um";
    rule.featureNameY = "deform";
    rule.minValue = 12.36;
    rule.maxValue = 1.0 / 3.0;
    rule.polygonVertices = {{0.1, 0.2},
                            {512.94, 1e-300},
                            {std::numeric_limits<double>::denorm_min(), -1.7976931348623157e308},
                            {9007199254740993.0, 2.0 / 3.0}};
    rule.scaleXMode = 2;
    rule.scaleYMode = 1;
    rule.enabled = false;
    rule.inverted = true;
    rule.propagationId = "{1b4e28ba-2fa1-11d2-883f-0016d3cca427}";
    return rule;
}

// ---- writing ------------------------------------------------------------------

TEST(FilterRuleJsonWrite, HoldsExactlyTheElevenKeysForEveryRule) {
    const QStringList expected = {
        "enabled",         "featureName",   "featureNameY", "inverted",   "maxValue", "minValue",
        "polygonVertices", "propagationId", "scaleXMode",   "scaleYMode", "type"};
    EXPECT_EQ(serializeFilterRule(FilterRule{}).keys(), expected);
    EXPECT_EQ(serializeFilterRule(polygonRule()).keys(), expected);
}

TEST(FilterRuleJsonWrite, RangeRuleHasEmptyYFeatureAndVertexArray) {
    FilterRule rule;
    rule.featureName = "area_um";
    rule.minValue = 1.5;
    rule.maxValue = 20.0;
    const QJsonObject object = serializeFilterRule(rule);
    EXPECT_EQ(object.value("type").toString(), "Range");
    EXPECT_EQ(object.value("featureName").toString(), "area_um");
    EXPECT_EQ(object.value("featureNameY").toString(), "");
    ASSERT_TRUE(object.value("polygonVertices").isArray());
    EXPECT_TRUE(object.value("polygonVertices").toArray().isEmpty());
    EXPECT_EQ(object.value("minValue").toDouble(), 1.5);
    EXPECT_EQ(object.value("maxValue").toDouble(), 20.0);
    EXPECT_EQ(object.value("enabled"), QJsonValue(true));
    EXPECT_EQ(object.value("inverted"), QJsonValue(false));
    EXPECT_EQ(object.value("scaleXMode"), QJsonValue(0));
    EXPECT_EQ(object.value("propagationId").toString(), "");
}

TEST(FilterRuleJsonWrite, TypeTextDependsOnlyOnWhetherTheTypeIsZero) {
    FilterRule rule;
    rule.type = 1;
    EXPECT_EQ(serializeFilterRule(rule).value("type").toString(), "Polygon");
    rule.type = 7;
    EXPECT_EQ(serializeFilterRule(rule).value("type").toString(), "Polygon");
    rule.type = 0;
    EXPECT_EQ(serializeFilterRule(rule).value("type").toString(), "Range");
}

TEST(FilterRuleJsonWrite, VerticesAreXYPairsInOrder) {
    const QJsonArray vertices =
        serializeFilterRule(polygonRule()).value("polygonVertices").toArray();
    ASSERT_EQ(vertices.size(), 4);
    EXPECT_EQ(vertices.at(0).toArray(), (QJsonArray{0.1, 0.2}));
    EXPECT_EQ(vertices.at(1).toArray().at(0).toDouble(), 512.94);
}

TEST(FilterRuleJsonWrite, FiniteNumbersStayJsonNumbers) {
    const QJsonObject object = serializeFilterRule(polygonRule());
    EXPECT_TRUE(object.value("minValue").isDouble());
    EXPECT_TRUE(object.value("maxValue").isDouble());
    for (const QJsonValue& vertex : object.value("polygonVertices").toArray()) {
        EXPECT_TRUE(vertex.toArray().at(0).isDouble());
        EXPECT_TRUE(vertex.toArray().at(1).isDouble());
    }
}

// ---- round trip -----------------------------------------------------------------

TEST(FilterRuleJsonRoundTrip, EveryFieldKeepsItsExactValue) {
    const FilterRule rule = polygonRule();
    expectSameRule(deserializeFilterRule(serializeFilterRule(rule)), rule);
    expectSameRule(deserializeFilterRule(throughText(serializeFilterRule(rule))), rule);
}

TEST(FilterRuleJsonRoundTrip, DefaultRuleAndRangeRule) {
    expectSameRule(deserializeFilterRule(throughText(serializeFilterRule(FilterRule{}))),
                   FilterRule{});
    FilterRule range;
    range.featureName = "bright_avg";
    range.minValue = -0.1;
    range.maxValue = 512.94;
    range.propagationId = "{00000000-0000-0000-0000-000000000001}";
    expectSameRule(deserializeFilterRule(throughText(serializeFilterRule(range))), range);
}

TEST(FilterRuleJsonRoundTrip, PolygonWithoutVerticesStaysAPolygon) {
    FilterRule rule;
    rule.type = 1;
    const QJsonObject object = serializeFilterRule(rule);
    EXPECT_TRUE(object.value("polygonVertices").toArray().isEmpty());
    const FilterRule back = deserializeFilterRule(throughText(object));
    EXPECT_EQ(back.type, 1);
    EXPECT_TRUE(back.polygonVertices.empty());
}

TEST(FilterRuleJsonRoundTrip, NonAsciiFeatureNamesSurvive) {
    FilterRule rule;
    rule.featureName = "fl1_max_\xC2\xB5m"; // UTF-8 for "µ"
    expectSameRule(deserializeFilterRule(throughText(serializeFilterRule(rule))), rule);
}

// ---- non-finite numbers -----------------------------------------------------------

// JSON has no infinity: written as a number, an infinite bound would come
// back as 0 and the rule would silently hide everything.
TEST(FilterRuleJsonNonFinite, AreWrittenAsTheThreeStrings) {
    FilterRule rule;
    rule.minValue = -kInf;
    rule.maxValue = kInf;
    rule.type = 1;
    rule.polygonVertices = {{kNaN, 1.0}, {2.0, -kInf}};
    const QJsonObject object = throughText(serializeFilterRule(rule));
    EXPECT_EQ(object.value("minValue"), QJsonValue("-inf"));
    EXPECT_EQ(object.value("maxValue"), QJsonValue("inf"));
    const QJsonArray vertices = object.value("polygonVertices").toArray();
    EXPECT_EQ(vertices.at(0).toArray(), (QJsonArray{"nan", 1.0}));
    EXPECT_EQ(vertices.at(1).toArray(), (QJsonArray{2.0, "-inf"}));
}

TEST(FilterRuleJsonNonFinite, ReadBackAsTheSameValues) {
    FilterRule rule;
    rule.type = 1;
    rule.minValue = kNaN;
    rule.maxValue = -kInf;
    rule.polygonVertices = {{kInf, kNaN}, {-kInf, 0.5}, {1.0, 2.0}};
    const FilterRule back = deserializeFilterRule(throughText(serializeFilterRule(rule)));
    EXPECT_TRUE(std::isnan(back.minValue));
    EXPECT_EQ(back.maxValue, -kInf);
    ASSERT_EQ(back.polygonVertices.size(), 3u);
    EXPECT_EQ(back.polygonVertices[0].first, kInf);
    EXPECT_TRUE(std::isnan(back.polygonVertices[0].second));
    EXPECT_EQ(back.polygonVertices[1].first, -kInf);
    EXPECT_EQ(back.polygonVertices[1].second, 0.5);
}

TEST(FilterRuleJsonNonFinite, AnOpenEndedRangeFiltersTheSameAfterARoundTrip) {
    FilterRule rule;
    rule.featureName = "area_um";
    rule.minValue = 20.0;
    rule.maxValue = kInf;
    const std::vector<double> area = {5.0, 20.0, 1e30, kInf, 19.999};
    const EventFilter::FeatureMap columns = {{"area_um", &area}};

    EventFilter before;
    before.addRule(rule);
    EventFilter after;
    after.addRule(deserializeFilterRule(throughText(serializeFilterRule(rule))));
    EXPECT_EQ(before.apply(columns, area.size()), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(after.apply(columns, area.size()), before.apply(columns, area.size()));
}

TEST(FilterRuleJsonNonFinite, OnlyTheExactLowerCaseStringsAreNumbers) {
    EXPECT_EQ(fromText(R"({"minValue": "inf", "maxValue": "-inf"})").minValue, kInf);
    EXPECT_EQ(fromText(R"({"minValue": "inf", "maxValue": "-inf"})").maxValue, -kInf);
    EXPECT_TRUE(std::isnan(fromText(R"({"minValue": "nan"})").minValue));
    for (const char* json :
         {R"({"minValue": "Inf"})", R"({"minValue": "INF"})", R"({"minValue": "infinity"})",
          R"({"minValue": "NaN"})", R"({"minValue": " inf"})", R"({"minValue": "+inf"})"}) {
        EXPECT_EQ(fromText(json).minValue, 0.0) << json;
    }
}

// ---- reading: defaults and wrong types ---------------------------------------------

TEST(FilterRuleJsonRead, EmptyObjectIsAnEnabledRangeRuleFromZeroToZero) {
    expectSameRule(deserializeFilterRule(QJsonObject{}), FilterRule{});
    const FilterRule rule = deserializeFilterRule(QJsonObject{});
    EXPECT_EQ(rule.type, 0);
    EXPECT_TRUE(rule.enabled);
    EXPECT_FALSE(rule.inverted);
}

TEST(FilterRuleJsonRead, TypeIsPolygonOnlyForTheExactText) {
    EXPECT_EQ(fromText(R"({"type": "Polygon"})").type, 1);
    EXPECT_EQ(fromText(R"({"type": "polygon"})").type, 0);
    EXPECT_EQ(fromText(R"({"type": "POLYGON"})").type, 0);
    EXPECT_EQ(fromText(R"({"type": 1})").type, 0);
    EXPECT_EQ(fromText(R"({"type": "Range"})").type, 0);
    EXPECT_EQ(fromText(R"({"type": null})").type, 0);
}

TEST(FilterRuleJsonRead, WrongTypesFallBackToTheDefaults) {
    const FilterRule rule = fromText(R"({
        "featureName": 5, "featureNameY": ["x"], "minValue": "5", "maxValue": true,
        "enabled": "false", "inverted": 1, "propagationId": {"a": 1},
        "polygonVertices": "[[1, 2]]", "scaleXMode": "1", "scaleYMode": false})");
    expectSameRule(rule, FilterRule{});
}

TEST(FilterRuleJsonRead, NullValuesFallBackToTheDefaults) {
    const FilterRule rule = fromText(R"({
        "featureName": null, "minValue": null, "maxValue": null, "enabled": null,
        "inverted": null, "polygonVertices": null, "scaleXMode": null})");
    expectSameRule(rule, FilterRule{});
}

TEST(FilterRuleJsonRead, BooleansAreTakenOnlyFromJsonBooleans) {
    const FilterRule rule = fromText(R"({"enabled": false, "inverted": true})");
    EXPECT_FALSE(rule.enabled);
    EXPECT_TRUE(rule.inverted);
    EXPECT_TRUE(fromText(R"({"enabled": 0})").enabled);
}

TEST(FilterRuleJsonRead, IntegralNumbersAreReadAsBounds) {
    const FilterRule rule = fromText(R"({"minValue": -3, "maxValue": 1e3})");
    EXPECT_EQ(rule.minValue, -3.0);
    EXPECT_EQ(rule.maxValue, 1000.0);
}

TEST(FilterRuleJsonRead, MalformedVertexElementsAreSkippedInOrder) {
    const FilterRule rule =
        fromText(R"({"polygonVertices": [[1, 2], [3], "s", [4, 5, 6], {"x": 7}, [], [8, 9]]})");
    ASSERT_EQ(rule.polygonVertices.size(), 3u);
    EXPECT_EQ(rule.polygonVertices[0], (std::pair<double, double>{1.0, 2.0}));
    EXPECT_EQ(rule.polygonVertices[1], (std::pair<double, double>{4.0, 5.0}));
    EXPECT_EQ(rule.polygonVertices[2], (std::pair<double, double>{8.0, 9.0}));
}

TEST(FilterRuleJsonRead, NonNumericVertexEntriesReadAsZero) {
    const FilterRule rule =
        fromText(R"({"polygonVertices": [["a", 2], [3, null], [true, "inf"]]})");
    ASSERT_EQ(rule.polygonVertices.size(), 3u);
    EXPECT_EQ(rule.polygonVertices[0], (std::pair<double, double>{0.0, 2.0}));
    EXPECT_EQ(rule.polygonVertices[1], (std::pair<double, double>{3.0, 0.0}));
    EXPECT_EQ(rule.polygonVertices[2], (std::pair<double, double>{0.0, kInf}));
}

TEST(FilterRuleJsonRead, RangeRuleKeepsVerticesFromAHandEditedFile) {
    const FilterRule rule = fromText(R"({"type": "Range", "polygonVertices": [[1, 2]]})");
    EXPECT_EQ(rule.type, 0);
    EXPECT_EQ(rule.polygonVertices.size(), 1u);
}

TEST(FilterRuleJsonRead, ScaleCodesOutsideTheKnownThreeReadAsLinear) {
    EXPECT_EQ(fromText(R"({"scaleXMode": 0})").scaleXMode, 0);
    EXPECT_EQ(fromText(R"({"scaleXMode": 1})").scaleXMode, 1);
    EXPECT_EQ(fromText(R"({"scaleXMode": 2, "scaleYMode": 2})").scaleYMode, 2);
    EXPECT_EQ(fromText(R"({"scaleXMode": 1.5})").scaleXMode, 0);
    EXPECT_EQ(fromText(R"({"scaleXMode": 3})").scaleXMode, 0);
    EXPECT_EQ(fromText(R"({"scaleXMode": -1})").scaleXMode, 0);
    EXPECT_EQ(fromText(R"({"scaleYMode": 1e12})").scaleYMode, 0);
    EXPECT_EQ(fromText(R"({"scaleYMode": 2.0})").scaleYMode, 2);
}

// ---- a whole filter ------------------------------------------------------------------

void expectSameFilter(const EventFilter& a, const EventFilter& b, const char* what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(a.isEnabled(), b.isEnabled());
    EXPECT_EQ(a.combineMode(), b.combineMode());
    ASSERT_EQ(a.ruleCount(), b.ruleCount());
    for (int i = 0; i < a.ruleCount(); ++i)
        expectSameRule(a.rules()[static_cast<std::size_t>(i)],
                       b.rules()[static_cast<std::size_t>(i)]);
}

EventFilter restoredThroughText(const EventFilter& filter) {
    EventFilter restored;
    restored.addRule(FilterRule()); // restoring replaces, never appends
    restoreFilter(restored, throughText(serializeFilter(filter)));
    return restored;
}

TEST(FilterJsonRoundTrip, EveryFilterComesBackUnchanged) {
    FilterRule range;
    range.featureName = "area_um";
    range.minValue = 12.5;
    range.maxValue = 80.0;
    range.propagationId = "{8b1e07c4-3f3a-4d7e-9a51-0c6f2d1e4b7a}";
    FilterRule polygon;
    polygon.type = 1;
    polygon.featureName = "area_um";
    polygon.featureNameY = "deform";
    polygon.polygonVertices = {{10.0, 0.01}, {90.0, 0.02}, {50.0, 0.1}};
    polygon.scaleXMode = 1;
    polygon.scaleYMode = 2;
    FilterRule invertedOff = range;
    invertedOff.inverted = true;
    invertedOff.enabled = false;
    invertedOff.propagationId.clear();
    FilterRule unbounded;
    unbounded.featureName = "deform";
    unbounded.minValue = -kInf;
    unbounded.maxValue = kInf;
    FilterRule nanBound;
    nanBound.featureName = "bright_avg";
    nanBound.minValue = kNaN;
    nanBound.maxValue = 3.0;
    FilterRule nonFiniteCorner = polygon;
    nonFiniteCorner.polygonVertices = {{kInf, 0.0}, {1.0, -kInf}, {kNaN, 2.0}};

    struct Case {
        const char* what;
        bool enabled;
        FilterCombineMode mode;
        std::vector<FilterRule> rules;
    };
    const std::vector<Case> cases = {
        {"new filter", true, FilterCombineMode::AND, {}},
        {"switched off, no rules", false, FilterCombineMode::AND, {}},
        {"range and polygon", true, FilterCombineMode::AND, {range, polygon}},
        {"NOT mode", true, FilterCombineMode::NOT, {polygon, range}},
        {"switched off with NOT", false, FilterCombineMode::NOT, {range}},
        {"inverted and disabled rule", true, FilterCombineMode::AND, {invertedOff, range}},
        {"non-finite bounds and corners",
         true,
         FilterCombineMode::AND,
         {unbounded, nanBound, nonFiniteCorner}},
    };
    for (const Case& c : cases) {
        EventFilter filter;
        filter.setEnabled(c.enabled);
        filter.setCombineMode(c.mode);
        for (const FilterRule& rule : c.rules)
            filter.addRule(rule);
        expectSameFilter(restoredThroughText(filter), filter, c.what);
    }
}

TEST(FilterJsonWrite, HoldsEnabledCombineModeAndRulesInOrder) {
    EventFilter filter;
    filter.setEnabled(false);
    filter.setCombineMode(FilterCombineMode::NOT);
    FilterRule first;
    first.featureName = "first";
    FilterRule second;
    second.featureName = "second";
    filter.addRule(first);
    filter.addRule(second);
    const QJsonObject object = serializeFilter(filter);
    EXPECT_EQ(object.keys(), (QStringList{"combineMode", "enabled", "rules"}));
    EXPECT_EQ(object.value("enabled"), QJsonValue(false));
    EXPECT_EQ(object.value("combineMode"), QJsonValue("NOT"));
    const QJsonArray rules = object.value("rules").toArray();
    ASSERT_EQ(rules.size(), 2);
    EXPECT_EQ(rules[0].toObject(), serializeFilterRule(first));
    EXPECT_EQ(rules[1].toObject(), serializeFilterRule(second));
    filter.setCombineMode(FilterCombineMode::AND);
    EXPECT_EQ(serializeFilter(filter).value("combineMode"), QJsonValue("AND"));
}

TEST(FilterJsonRead, MissingOrOddKeysTakeTheDefaults) {
    struct Case {
        const char* json;
        bool enabled;
        FilterCombineMode mode;
        int rules;
    };
    const Case cases[] = {
        {R"({})", false, FilterCombineMode::AND, 0},
        {R"({"enabled": true, "combineMode": "NOT", "rules": [{}, {}]})", true,
         FilterCombineMode::NOT, 2},
        {R"({"enabled": true, "combineMode": "not"})", true, FilterCombineMode::AND, 0},
        {R"({"enabled": "yes", "combineMode": 1, "rules": {}})", false, FilterCombineMode::AND, 0},
        {R"({"combineMode": "NOT ", "rules": [3]})", false, FilterCombineMode::AND, 1},
    };
    for (const Case& c : cases) {
        EventFilter filter;
        filter.addRule(FilterRule());
        filter.setEnabled(!c.enabled);
        restoreFilter(filter, QJsonDocument::fromJson(QByteArray(c.json)).object());
        EXPECT_EQ(filter.isEnabled(), c.enabled) << c.json;
        EXPECT_EQ(filter.combineMode(), c.mode) << c.json;
        EXPECT_EQ(filter.ruleCount(), c.rules) << c.json;
    }
}

// ---- checked reading of a rule list ----------------------------------------------------

// What a filter's or a group's "rules" could not use is named rule by rule;
// a polygon is kept with 3 usable corners and left out with fewer.
TEST(FilterRulesJsonRead, NameWhatTheyReplaceOrLeaveOut) {
    struct Case {
        const char* what;
        const char* rules;                // the JSON value of "rules"; empty: missing
        std::vector<std::size_t> corners; // corners of each rule kept
        QStringList problems;
    };
    const Case cases[] = {
        {"missing", "", {}, {}},
        {"no array", R"("none")", {}, {R"(rules "none" left out)"}},
        {"object", R"({"type": "Range"})", {}, {"rules an object left out"}},
        {"valid range and triangle",
         R"([{"featureName": "a"}, {"type": "Polygon", "featureName": "a", "featureNameY": "b",
              "polygonVertices": [[0, 0], [1, 0], [0, 1]]}])",
         {0, 3},
         {}},
        {"triangle after a dropped corner",
         R"([{"type": "Polygon", "featureName": "x", "featureNameY": "y",
              "polygonVertices": [[0, 0], [1, 0], [null, 2], [0, 1]]}])",
         {3},
         {"rule 1 (polygon on x/y): 1 vertex that is no pair of finite numbers left out"}},
        {"two corners",
         R"([{"type": "Polygon", "polygonVertices": [[0, 0], [1, 0], ["inf", 1]]},
             {"featureName": "c"}])",
         {0},
         {"rule 1 (polygon on /): only 2 vertices usable; rule left out"}},
        {"elements no object",
         R"([17, {"featureName": "b", "enabled": "no"}, null, "x", [1]])",
         {0},
         {"rule 1: 17 is no rule; left out",
          R"(rule 2 (range on b): enabled "no" replaced by true)",
          "rule 3: null is no rule; left out", R"(rule 4: "x" is no rule; left out)",
          "rule 5: an array is no rule; left out"}},
        // A rule without a feature to test filters nothing: one line each,
        // its other damage unsaid. A name this measurement may lack is kept.
        {"feature names that name nothing",
         R"([{"featureName": 17, "minValue": "abc"}, {"featureName": ""}, {"maxValue": 4},
             {"type": "Polygon", "featureName": "x", "featureNameY": 4,
              "polygonVertices": [[0, 0], [1, 0], [0, 1]]},
             {"type": "Polygon", "featureName": "x", "featureNameY": "",
              "polygonVertices": [[0, 0], [1, 0], [0, 1]]},
             {"type": "Polygon", "featureName": "x",
              "polygonVertices": [[0, 0], [1, 0], [0, 1]]},
             {"type": "Polygon", "featureName": null, "featureNameY": "y",
              "polygonVertices": [[0, 0], [1, 0], [0, 1]]},
             {"featureName": "no_such_feature", "featureNameY": 3},
             {"type": "Polygon", "featureName": "no_such_feature", "featureNameY": "y",
              "polygonVertices": [[0, 0], [1, 0], [0, 1]]}])",
         {0, 3},
         {"rule 1 (range): featureName 17 names no feature; rule left out",
          R"(rule 2 (range): featureName "" names no feature; rule left out)",
          "rule 3 (range): no featureName; rule left out",
          "rule 4 (polygon): featureNameY 4 names no feature; rule left out",
          R"(rule 5 (polygon): featureNameY "" names no feature; rule left out)",
          "rule 6 (polygon): no featureNameY; rule left out",
          "rule 7 (polygon): featureName null names no feature; rule left out",
          "rule 8 (range on no_such_feature): featureNameY 3 replaced by an empty name"}},
    };
    for (const Case& c : cases) {
        const QByteArray json =
            *c.rules ? QByteArray("{\"rules\": ") + c.rules + "}" : QByteArray("{}");
        const QJsonObject holder = QJsonDocument::fromJson(json).object();
        ASSERT_FALSE(QJsonDocument::fromJson(json).isNull()) << c.what;
        QStringList problems;
        const std::vector<FilterRule> rules =
            readFilterRules(holder.value(QStringLiteral("rules")), problems);
        std::vector<std::size_t> corners;
        for (const FilterRule& rule : rules)
            corners.push_back(rule.polygonVertices.size());
        EXPECT_EQ(corners, c.corners) << c.what;
        EXPECT_EQ(problems, c.problems) << c.what;
    }
}

} // namespace
} // namespace Quorvex3
