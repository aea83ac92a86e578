#include "core/EventFilter.h"
#include "core/EventFilterTestSupport.h"
#include "core/ScaleTransform.h"

#include <gtest/gtest.h>

#include <QVariant>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

using namespace EventFilterTest;

// ---- rule list ---------------------------------------------------------------------

TEST(FilterRuleList, DefaultsAreZeroOrEmptyExceptEnabled) {
    const FilterRule r;
    EXPECT_EQ(r.type, 0);
    EXPECT_TRUE(r.featureName.empty());
    EXPECT_TRUE(r.featureNameY.empty());
    EXPECT_EQ(r.minValue, 0.0);
    EXPECT_EQ(r.maxValue, 0.0);
    EXPECT_TRUE(r.polygonVertices.empty());
    EXPECT_EQ(r.scaleXMode, 0);
    EXPECT_EQ(r.scaleYMode, 0);
    EXPECT_TRUE(r.enabled);
    EXPECT_FALSE(r.inverted);
    EXPECT_TRUE(r.propagationId.empty());

    const EventFilter f;
    EXPECT_EQ(f.ruleCount(), 0);
    EXPECT_EQ(f.combineMode(), FilterCombineMode::AND);
    EXPECT_TRUE(f.isEnabled());
}

TEST(FilterRuleList, AddRemoveSetKeepOrderAndIgnoreBadIndices) {
    EventFilter f = filterOf({rangeRule("a", 0, 1), rangeRule("b", 0, 1), rangeRule("c", 0, 1)});
    f.removeRule(-1);
    f.removeRule(3);
    f.setRule(3, rangeRule("x", 0, 1));
    f.setRule(-1, rangeRule("x", 0, 1));
    ASSERT_EQ(f.ruleCount(), 3);

    f.removeRule(1);
    ASSERT_EQ(f.ruleCount(), 2);
    EXPECT_EQ(f.rules()[0].featureName, "a");
    EXPECT_EQ(f.rules()[1].featureName, "c");

    FilterRule replacement = polygonRule("p", "q", {{0, 0}, {1, 0}, {0, 1}}, 1, 2, true);
    replacement.enabled = false;
    replacement.propagationId = "{00000000-0000-0000-0000-000000000001}";
    f.setRule(1, replacement);
    const FilterRule& stored = f.rules()[1];
    EXPECT_EQ(stored.type, 1);
    EXPECT_EQ(stored.featureNameY, "q");
    EXPECT_EQ(stored.polygonVertices.size(), 3u);
    EXPECT_EQ(stored.scaleXMode, 1);
    EXPECT_EQ(stored.scaleYMode, 2);
    EXPECT_FALSE(stored.enabled);
    EXPECT_TRUE(stored.inverted);
    EXPECT_EQ(stored.propagationId, replacement.propagationId);

    f.clearRules();
    EXPECT_EQ(f.ruleCount(), 0);
}

TEST(FilterRuleList, MetaTypesAreRegisteredUnderTheirQualifiedNames) {
    Quorvex3::registerFilterMetaTypes();
    Quorvex3::registerFilterMetaTypes(); // twice is harmless
    EXPECT_EQ(QMetaType::type("Quorvex3::FilterRule"), qMetaTypeId<FilterRule>());
    EXPECT_EQ(QMetaType::type("Quorvex3::EventFilter"), qMetaTypeId<EventFilter>());

    const FilterRule r = rangeRule("area_um", 10, 20, true);
    const QVariant v = QVariant::fromValue(r);
    EXPECT_EQ(v.value<FilterRule>().featureName, "area_um");
    EXPECT_TRUE(v.value<FilterRule>().inverted);
}

// ---- requiredFeatures -----------------------------------------------------------------

TEST(RequiredFeatures, FirstAppearanceOrderWithoutDuplicatesOrDisabledRules) {
    FilterRule disabled = rangeRule("C", 0, 1);
    disabled.enabled = false;
    const EventFilter f =
        filterOf({rangeRule("A", 0, 1), polygonRule("B", "A", {{0, 0}, {1, 0}, {0, 1}}), disabled,
                  polygonRule("A", "", {{0, 0}, {1, 0}, {0, 1}})});
    EXPECT_EQ(f.requiredFeatures(), (std::vector<std::string>{"A", "B"}));
}

TEST(RequiredFeatures, EmptyNamesAreListedAndRangeRulesIgnoreTheirYName) {
    FilterRule r = rangeRule("", 0, 1);
    r.featureNameY = "Y";
    const EventFilter f = filterOf({r, rangeRule("A", 0, 1)});
    EXPECT_EQ(f.requiredFeatures(), (std::vector<std::string>{"", "A"}));
}

// ---- rules that take no part ---------------------------------------------------------

TEST(EventFilterApply, WithoutUsableRulesEveryEventIsShownInBothModes) {
    Columns cols;
    cols.data["a"] = {1, 2, 3, 4, 5};
    cols.data["short"] = {1, 2, 3, 4};
    FilterRule disabled = rangeRule("a", 100, 200);
    disabled.enabled = false;
    FilterRule otherType = rangeRule("a", 100, 200);
    otherType.type = 2;
    const std::vector<FilterRule> useless = {
        disabled,
        otherType,
        rangeRule("missing", 100, 200),
        rangeRule("short", 100, 200),              // one value too few
        polygonRule("a", "a", {{0, 0}, {10, 10}}), // two corners
        polygonRule("a", "missing", {{0, 0}, {10, 0}, {0, 10}}),
        polygonRule("short", "a", {{0, 0}, {10, 0}, {0, 10}}),
    };
    for (FilterCombineMode mode : {FilterCombineMode::AND, FilterCombineMode::NOT}) {
        EXPECT_EQ(run(filterOf({}, mode), cols, 5), allIndices(5));
        EventFilter f;
        f.setCombineMode(mode);
        for (const FilterRule& r : useless)
            f.addRule(r);
        EXPECT_EQ(run(f, cols, 5), allIndices(5));
    }
}

TEST(EventFilterApply, NullColumnPointerTakesNoPart) {
    EventFilter::FeatureMap map;
    map["a"] = nullptr;
    EXPECT_EQ(filterOf({rangeRule("a", 100, 200)}).apply(map, 3), allIndices(3));
}

TEST(EventFilterApply, UnusableRulesDoNotDisturbUsableOnes) {
    Columns cols;
    cols.data["a"] = {1, 2, 3, 4, 5};
    cols.data["short"] = {1, 2};
    const EventFilter f = filterOf({rangeRule("short", 100, 200), rangeRule("a", 2, 4),
                                    polygonRule("a", "a", {{0, 0}, {10, 10}})});
    EXPECT_EQ(run(f, cols, 5), (std::vector<int>{1, 2, 3}));
}

TEST(EventFilterApply, ZeroEventsGiveAnEmptyResult) {
    Columns cols;
    cols.data["a"] = {};
    EXPECT_TRUE(run(filterOf({rangeRule("a", 0, 1)}), cols, 0).empty());
    EXPECT_TRUE(run(filterOf({}), cols, 0).empty());
    EXPECT_TRUE(run(filterOf({rangeRule("a", 0, 1)}, FilterCombineMode::NOT), cols, 0).empty());
}

TEST(EventFilterApply, LongerColumnsAreReadOnlyUpToTheEventCount) {
    Columns cols;
    cols.data["a"] = {5, 5, 5, 5, 5, 5};
    EXPECT_EQ(run(filterOf({rangeRule("a", 0, 10)}), cols, 4), allIndices(4));
}

// ---- range rules ---------------------------------------------------------------------

TEST(EventFilterRange, BoundsAreInclusive) {
    Columns cols;
    cols.data["a"] = {0.999, 1.0, 1.5, 2.0, 2.001};
    EXPECT_EQ(run(filterOf({rangeRule("a", 1.0, 2.0)}), cols, 5), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(run(filterOf({rangeRule("a", 1.0, 2.0, true)}), cols, 5), (std::vector<int>{0, 4}));
}

TEST(EventFilterRange, EqualBoundsPassOnlyThatValue) {
    Columns cols;
    cols.data["a"] = {3.0, std::nextafter(3.0, 4.0), 3.0, std::nextafter(3.0, 2.0)};
    EXPECT_EQ(run(filterOf({rangeRule("a", 3.0, 3.0)}), cols, 4), (std::vector<int>{0, 2}));
}

TEST(EventFilterRange, ReversedBoundsShowNothingAndTheirInverseEverything) {
    Columns cols;
    cols.data["a"] = {-1, 0, 1, 2, kNaN};
    EXPECT_TRUE(run(filterOf({rangeRule("a", 2, 0)}), cols, 5).empty());
    EXPECT_EQ(run(filterOf({rangeRule("a", 2, 0, true)}), cols, 5), allIndices(5));
}

TEST(EventFilterRange, NaNFailsAPlainRuleAndPassesAnInvertedOne) {
    Columns cols;
    cols.data["a"] = {kNaN, 1.0, kNaN};
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(run(filterOf({rangeRule("a", -inf, inf)}), cols, 3), (std::vector<int>{1}));
    EXPECT_EQ(run(filterOf({rangeRule("a", -inf, inf, true)}), cols, 3), (std::vector<int>{0, 2}));
}

TEST(EventFilterRange, AndNeedsEveryRule) {
    Columns cols;
    cols.data["a"] = {1, 2, 3, 4, 5, 6};
    cols.data["b"] = {6, 5, 4, 3, 2, 1};
    const EventFilter f = filterOf({rangeRule("a", 2, 5), rangeRule("b", 3, 10)});
    EXPECT_EQ(run(f, cols, 6), (std::vector<int>{1, 2, 3}));
}

// ---- NOT mode ------------------------------------------------------------------------

TEST(EventFilterNot, ShowsEventsFailingAtLeastOneRule) {
    Columns cols;
    cols.data["a"] = {1, 2, 3, 4, 5, 6};
    cols.data["b"] = {6, 5, 4, 3, 2, 1};
    const EventFilter f =
        filterOf({rangeRule("a", 2, 5), rangeRule("b", 3, 10)}, FilterCombineMode::NOT);
    EXPECT_EQ(run(f, cols, 6), (std::vector<int>{0, 4, 5}));
}

TEST(EventFilterNot, RuleEveryonePassesShowsNothingAndRuleNobodyPassesShowsAll) {
    Columns cols;
    cols.data["a"] = {1, 2, 3};
    EXPECT_TRUE(run(filterOf({rangeRule("a", 0, 10)}, FilterCombineMode::NOT), cols, 3).empty());
    EXPECT_EQ(run(filterOf({rangeRule("a", 20, 30)}, FilterCombineMode::NOT), cols, 3),
              allIndices(3));
}

TEST(EventFilterNot, IsTheExactComplementOfAndOnRandomData) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> u(-10.0, 10.0);
    Columns cols;
    for (const char* name : {"a", "b", "c"}) {
        auto& col = cols.data[name];
        for (int i = 0; i < 5000; ++i)
            col.push_back(i % 37 == 0 ? kNaN : u(rng));
    }
    const std::initializer_list<FilterRule> rules = {
        rangeRule("a", -5, 7), rangeRule("b", -8, 2, true),
        polygonRule("a", "c", {{-9, -9}, {9, -6}, {2, 0}, {8, 9}, {-7, 5}}),
        polygonRule("b", "c", {{0, 0}, {10, 1}, {1, 10}}, 1, 2, true)};
    const std::vector<int> shown = run(filterOf(rules), cols, 5000);
    const std::vector<int> hidden = run(filterOf(rules, FilterCombineMode::NOT), cols, 5000);
    std::vector<int> merged(shown);
    merged.insert(merged.end(), hidden.begin(), hidden.end());
    std::sort(merged.begin(), merged.end());
    EXPECT_EQ(merged, allIndices(5000));
    EXPECT_FALSE(shown.empty());
    EXPECT_FALSE(hidden.empty());
}

TEST(EventFilterNot, AnyModeOtherThanAndBehavesAsNot) {
    Columns cols;
    cols.data["a"] = {1, 2, 3};
    const EventFilter f = filterOf({rangeRule("a", 2, 2)}, static_cast<FilterCombineMode>(5));
    EXPECT_EQ(run(f, cols, 3), (std::vector<int>{0, 2}));
}

// ---- polygon rules -------------------------------------------------------------------

namespace {

// A triangle that is convex on linear axes; on log or pseudo-log axes its
// hypotenuse bends, so (1000, 1000) lies inside on linear axes only.
const Corners kTriangle = {{0.1, 0.1}, {1e4, 0.1}, {0.1, 1e4}};

} // namespace

TEST(EventFilterPolygon, LinearAxesUseTheDrawnShape) {
    Columns cols;
    cols.data["x"] = {1000, 9000, 20, -5, 5000, kNaN};
    cols.data["y"] = {1000, 9000, 20, 20, 20, 20};
    EXPECT_EQ(run(filterOf({polygonRule("x", "y", kTriangle)}), cols, 6),
              (std::vector<int>{0, 2, 4}));
}

TEST(EventFilterPolygon, LogAxesTestInLogSpace) {
    // log10 corners (-1,-1), (4,-1), (-1,4): x + y < 3 inside.
    Columns cols;
    cols.data["x"] = {1000, 10, 30, 2000};
    cols.data["y"] = {1000, 10, 30, 60};
    EXPECT_EQ(run(filterOf({polygonRule("x", "y", kTriangle, 1, 1)}), cols, 4),
              (std::vector<int>{1, 2}));
}

TEST(EventFilterPolygon, NonPositiveAndNaNOnLogAxesLieWhereOneLies) {
    // A square around log-space (0, 0) in data units [0.1, 10]^2, and one
    // square well away from it.
    const Corners aroundOne = {{0.1, 0.1}, {10, 0.1}, {10, 10}, {0.1, 10}};
    const Corners awayFromOne = {{2, 2}, {10, 2}, {10, 10}, {2, 10}};
    Columns cols;
    cols.data["x"] = {0.0, -4.0, kNaN, 5.0, 20.0};
    cols.data["y"] = {-1.0, kNaN, 0.0, 5.0, 5.0};
    EXPECT_EQ(run(filterOf({polygonRule("x", "y", aroundOne, 1, 1)}), cols, 5),
              (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(run(filterOf({polygonRule("x", "y", awayFromOne, 1, 1)}), cols, 5),
              (std::vector<int>{3}));
}

TEST(EventFilterPolygon, NaturalAndDecimalLogarithmsSelectTheSameEvents) {
    // The same polygon, once on log axes over raw data and once on linear
    // axes over base-10 logs of data and corners.
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> exponent(-3.0, 5.0);
    Columns raw;
    for (const char* name : {"x", "y"}) {
        auto& col = raw.data[name];
        for (int i = 0; i < 20000; ++i)
            col.push_back(i % 41 == 0 ? -1.0 : std::pow(10.0, exponent(rng)));
    }
    const Corners corners = {{0.01, 0.5}, {2e4, 0.003}, {300, 50}, {5e4, 9e4}, {0.2, 3e3}};
    Corners logCorners;
    for (const auto& c : corners)
        logCorners.emplace_back(std::log10(c.first), std::log10(c.second));
    Columns logged;
    logged.data["x"] = Quorvex3::applyScaleTransform(raw.data["x"], Quorvex3::ScaleMode::Log);
    logged.data["y"] = Quorvex3::applyScaleTransform(raw.data["y"], Quorvex3::ScaleMode::Log);

    const std::vector<int> onLogAxes =
        run(filterOf({polygonRule("x", "y", corners, 1, 1)}), raw, 20000);
    const std::vector<int> inLogSpace =
        run(filterOf({polygonRule("x", "y", logCorners, 0, 0)}), logged, 20000);
    EXPECT_EQ(onLogAxes, inLogSpace);
    EXPECT_GT(onLogAxes.size(), 1000u);
}

TEST(EventFilterPolygon, PseudoLogAxesTestInPseudoLogSpace) {
    // Pseudo-log corners (0, 0), (2.5, 0), (0, 2.5) for data (0, 0), (1e4, 0),
    // (0, 1e4): (1000, 1000) maps to (1.5, 1.5), outside; (100, 1000) to
    // (0.5, 1.5), inside; negative x stays outside.
    const Corners corners = {{0, 0}, {1e4, 0}, {0, 1e4}};
    Columns cols;
    cols.data["x"] = {1000, 100, 50, -10, 3000};
    cols.data["y"] = {1000, 1000, 50, 50, 10};
    EXPECT_EQ(run(filterOf({polygonRule("x", "y", corners, 2, 2)}), cols, 5),
              (std::vector<int>{1, 2, 4}));
    EXPECT_EQ(run(filterOf({polygonRule("x", "y", corners, 0, 0)}), cols, 5),
              (std::vector<int>{0, 1, 2, 4}));
}

TEST(EventFilterPolygon, NaNIsOutsideOnLinearAndPseudoLogAxes) {
    const Corners square = {{-1e3, -1e3}, {1e3, -1e3}, {1e3, 1e3}, {-1e3, 1e3}};
    Columns cols;
    cols.data["x"] = {kNaN, 0.0, 0.0};
    cols.data["y"] = {0.0, kNaN, 0.0};
    for (int mode : {0, 2}) {
        EXPECT_EQ(run(filterOf({polygonRule("x", "y", square, mode, mode)}), cols, 3),
                  (std::vector<int>{2}))
            << "mode " << mode;
        EXPECT_EQ(run(filterOf({polygonRule("x", "y", square, mode, mode, true)}), cols, 3),
                  (std::vector<int>{0, 1}))
            << "mode " << mode;
    }
}

TEST(EventFilterPolygon, InvertedPolygonPassesTheOutside) {
    Columns cols;
    cols.data["x"] = {1000, 9000, 20, -5};
    cols.data["y"] = {1000, 9000, 20, 20};
    EXPECT_EQ(run(filterOf({polygonRule("x", "y", kTriangle, 0, 0, true)}), cols, 4),
              (std::vector<int>{1, 3}));
}

TEST(EventFilterPolygon, EvenOddRuleForSelfIntersectingShapes) {
    // A pentagram: its centre is covered twice and so lies outside.
    Corners star;
    for (int k = 0; k < 5; ++k) {
        const double pi = std::acos(-1.0);
        const double angle = pi / 2 + k * 4 * pi / 5;
        star.emplace_back(std::cos(angle), std::sin(angle));
    }
    Columns cols;
    cols.data["x"] = {0.0, 0.0, 0.0};
    cols.data["y"] = {0.0, 0.8, 2.0};
    EXPECT_EQ(run(filterOf({polygonRule("x", "y", star)}), cols, 3), (std::vector<int>{1}));
}

TEST(EventFilterPolygon, ScaleCodesOutsideTheKnownThreeAreLinear) {
    Columns cols;
    cols.data["x"] = {1000, 9000, 20, -5, 5000};
    cols.data["y"] = {1000, 9000, 20, 20, 20};
    const std::vector<int> linear =
        run(filterOf({polygonRule("x", "y", kTriangle, 0, 0)}), cols, 5);
    EXPECT_EQ(run(filterOf({polygonRule("x", "y", kTriangle, 3, -1)}), cols, 5), linear);
    EXPECT_EQ(run(filterOf({polygonRule("x", "y", kTriangle, 42, 3)}), cols, 5), linear);
}

TEST(EventFilterPolygon, RangeAndPolygonRulesCombine) {
    Columns cols;
    cols.data["x"] = {1000, 9000, 20, -5, 5000};
    cols.data["y"] = {1000, 9000, 20, 20, 20};
    const EventFilter f = filterOf({polygonRule("x", "y", kTriangle), rangeRule("x", 100, 1e5)});
    EXPECT_EQ(run(f, cols, 5), (std::vector<int>{0, 4}));
}
