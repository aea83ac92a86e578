#include "core/EventFilter.h"
#include "core/ScaleTransform.h"

#include <gtest/gtest.h>

#include <QVariant>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

using Quorvex3::EventFilter;
using Quorvex3::FilterCombineMode;
using Quorvex3::FilterRule;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
using Corners = std::vector<std::pair<double, double>>;

FilterRule rangeRule(const std::string& feature, double minValue, double maxValue,
                     bool inverted = false)
{
    FilterRule r;
    r.type = 0;
    r.featureName = feature;
    r.minValue = minValue;
    r.maxValue = maxValue;
    r.inverted = inverted;
    return r;
}

FilterRule polygonRule(const std::string& x, const std::string& y, Corners corners,
                       int modeX = 0, int modeY = 0, bool inverted = false)
{
    FilterRule r;
    r.type = 1;
    r.featureName = x;
    r.featureNameY = y;
    r.polygonVertices = std::move(corners);
    r.scaleXMode = modeX;
    r.scaleYMode = modeY;
    r.inverted = inverted;
    return r;
}

EventFilter filterOf(std::initializer_list<FilterRule> rules,
                     FilterCombineMode mode = FilterCombineMode::AND)
{
    EventFilter f;
    for (const FilterRule& r : rules)
        f.addRule(r);
    f.setCombineMode(mode);
    return f;
}

std::vector<int> allIndices(int n)
{
    std::vector<int> v(static_cast<std::size_t>(n));
    std::iota(v.begin(), v.end(), 0);
    return v;
}

// Columns owned by the test; the map points into them.
struct Columns {
    std::unordered_map<std::string, std::vector<double>> data;

    EventFilter::FeatureMap map() const
    {
        EventFilter::FeatureMap m;
        for (const auto& entry : data)
            m[entry.first] = &entry.second;
        return m;
    }
};

std::vector<int> run(const EventFilter& f, const Columns& cols, std::size_t n)
{
    return f.apply(cols.map(), n);
}

} // namespace

// ---- rule list ---------------------------------------------------------------------

TEST(FilterRuleList, DefaultsAreZeroOrEmptyExceptEnabled)
{
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

TEST(FilterRuleList, AddRemoveSetKeepOrderAndIgnoreBadIndices)
{
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

TEST(FilterRuleList, MetaTypesAreRegisteredUnderTheirQualifiedNames)
{
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

TEST(RequiredFeatures, FirstAppearanceOrderWithoutDuplicatesOrDisabledRules)
{
    FilterRule disabled = rangeRule("C", 0, 1);
    disabled.enabled = false;
    const EventFilter f = filterOf({rangeRule("A", 0, 1),
                                    polygonRule("B", "A", {{0, 0}, {1, 0}, {0, 1}}),
                                    disabled,
                                    polygonRule("A", "", {{0, 0}, {1, 0}, {0, 1}})});
    EXPECT_EQ(f.requiredFeatures(), (std::vector<std::string>{"A", "B"}));
}

TEST(RequiredFeatures, EmptyNamesAreListedAndRangeRulesIgnoreTheirYName)
{
    FilterRule r = rangeRule("", 0, 1);
    r.featureNameY = "Y";
    const EventFilter f = filterOf({r, rangeRule("A", 0, 1)});
    EXPECT_EQ(f.requiredFeatures(), (std::vector<std::string>{"", "A"}));
}

// ---- rules that take no part ---------------------------------------------------------

TEST(EventFilterApply, WithoutUsableRulesEveryEventIsShownInBothModes)
{
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
        rangeRule("short", 100, 200),                                   // one value too few
        polygonRule("a", "a", {{0, 0}, {10, 10}}),                      // two corners
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

TEST(EventFilterApply, NullColumnPointerTakesNoPart)
{
    EventFilter::FeatureMap map;
    map["a"] = nullptr;
    EXPECT_EQ(filterOf({rangeRule("a", 100, 200)}).apply(map, 3), allIndices(3));
}

TEST(EventFilterApply, UnusableRulesDoNotDisturbUsableOnes)
{
    Columns cols;
    cols.data["a"] = {1, 2, 3, 4, 5};
    cols.data["short"] = {1, 2};
    const EventFilter f = filterOf({rangeRule("short", 100, 200), rangeRule("a", 2, 4),
                                    polygonRule("a", "a", {{0, 0}, {10, 10}})});
    EXPECT_EQ(run(f, cols, 5), (std::vector<int>{1, 2, 3}));
}

TEST(EventFilterApply, ZeroEventsGiveAnEmptyResult)
{
    Columns cols;
    cols.data["a"] = {};
    EXPECT_TRUE(run(filterOf({rangeRule("a", 0, 1)}), cols, 0).empty());
    EXPECT_TRUE(run(filterOf({}), cols, 0).empty());
    EXPECT_TRUE(run(filterOf({rangeRule("a", 0, 1)}, FilterCombineMode::NOT), cols, 0).empty());
}

TEST(EventFilterApply, LongerColumnsAreReadOnlyUpToTheEventCount)
{
    Columns cols;
    cols.data["a"] = {5, 5, 5, 5, 5, 5};
    EXPECT_EQ(run(filterOf({rangeRule("a", 0, 10)}), cols, 4), allIndices(4));
}

// ---- range rules ---------------------------------------------------------------------

TEST(EventFilterRange, BoundsAreInclusive)
{
    Columns cols;
    cols.data["a"] = {0.999, 1.0, 1.5, 2.0, 2.001};
    EXPECT_EQ(run(filterOf({rangeRule("a", 1.0, 2.0)}), cols, 5), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(run(filterOf({rangeRule("a", 1.0, 2.0, true)}), cols, 5), (std::vector<int>{0, 4}));
}

TEST(EventFilterRange, EqualBoundsPassOnlyThatValue)
{
    Columns cols;
    cols.data["a"] = {3.0, std::nextafter(3.0, 4.0), 3.0, std::nextafter(3.0, 2.0)};
    EXPECT_EQ(run(filterOf({rangeRule("a", 3.0, 3.0)}), cols, 4), (std::vector<int>{0, 2}));
}

TEST(EventFilterRange, ReversedBoundsShowNothingAndTheirInverseEverything)
{
    Columns cols;
    cols.data["a"] = {-1, 0, 1, 2, kNaN};
    EXPECT_TRUE(run(filterOf({rangeRule("a", 2, 0)}), cols, 5).empty());
    EXPECT_EQ(run(filterOf({rangeRule("a", 2, 0, true)}), cols, 5), allIndices(5));
}

TEST(EventFilterRange, NaNFailsAPlainRuleAndPassesAnInvertedOne)
{
    Columns cols;
    cols.data["a"] = {kNaN, 1.0, kNaN};
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(run(filterOf({rangeRule("a", -inf, inf)}), cols, 3), (std::vector<int>{1}));
    EXPECT_EQ(run(filterOf({rangeRule("a", -inf, inf, true)}), cols, 3),
              (std::vector<int>{0, 2}));
}

TEST(EventFilterRange, AndNeedsEveryRule)
{
    Columns cols;
    cols.data["a"] = {1, 2, 3, 4, 5, 6};
    cols.data["b"] = {6, 5, 4, 3, 2, 1};
    const EventFilter f = filterOf({rangeRule("a", 2, 5), rangeRule("b", 3, 10)});
    EXPECT_EQ(run(f, cols, 6), (std::vector<int>{1, 2, 3}));
}

// ---- NOT mode ------------------------------------------------------------------------

TEST(EventFilterNot, ShowsEventsFailingAtLeastOneRule)
{
    Columns cols;
    cols.data["a"] = {1, 2, 3, 4, 5, 6};
    cols.data["b"] = {6, 5, 4, 3, 2, 1};
    const EventFilter f =
        filterOf({rangeRule("a", 2, 5), rangeRule("b", 3, 10)}, FilterCombineMode::NOT);
    EXPECT_EQ(run(f, cols, 6), (std::vector<int>{0, 4, 5}));
}

TEST(EventFilterNot, RuleEveryonePassesShowsNothingAndRuleNobodyPassesShowsAll)
{
    Columns cols;
    cols.data["a"] = {1, 2, 3};
    EXPECT_TRUE(run(filterOf({rangeRule("a", 0, 10)}, FilterCombineMode::NOT), cols, 3).empty());
    EXPECT_EQ(run(filterOf({rangeRule("a", 20, 30)}, FilterCombineMode::NOT), cols, 3),
              allIndices(3));
}

TEST(EventFilterNot, IsTheExactComplementOfAndOnRandomData)
{
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

TEST(EventFilterNot, AnyModeOtherThanAndBehavesAsNot)
{
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

TEST(EventFilterPolygon, LinearAxesUseTheDrawnShape)
{
    Columns cols;
    cols.data["x"] = {1000, 9000, 20, -5, 5000, kNaN};
    cols.data["y"] = {1000, 9000, 20, 20, 20, 20};
    EXPECT_EQ(run(filterOf({polygonRule("x", "y", kTriangle)}), cols, 6),
              (std::vector<int>{0, 2, 4}));
}

TEST(EventFilterPolygon, LogAxesTestInLogSpace)
{
    // log10 corners (-1,-1), (4,-1), (-1,4): x + y < 3 inside.
    Columns cols;
    cols.data["x"] = {1000, 10, 30, 2000};
    cols.data["y"] = {1000, 10, 30, 60};
    EXPECT_EQ(run(filterOf({polygonRule("x", "y", kTriangle, 1, 1)}), cols, 4),
              (std::vector<int>{1, 2}));
}

TEST(EventFilterPolygon, NonPositiveAndNaNOnLogAxesLieWhereOneLies)
{
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

TEST(EventFilterPolygon, NaturalAndDecimalLogarithmsSelectTheSameEvents)
{
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

    const std::vector<int> onLogAxes = run(filterOf({polygonRule("x", "y", corners, 1, 1)}), raw,
                                           20000);
    const std::vector<int> inLogSpace =
        run(filterOf({polygonRule("x", "y", logCorners, 0, 0)}), logged, 20000);
    EXPECT_EQ(onLogAxes, inLogSpace);
    EXPECT_GT(onLogAxes.size(), 1000u);
}

TEST(EventFilterPolygon, PseudoLogAxesTestInPseudoLogSpace)
{
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

TEST(EventFilterPolygon, NaNIsOutsideOnLinearAndPseudoLogAxes)
{
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

TEST(EventFilterPolygon, InvertedPolygonPassesTheOutside)
{
    Columns cols;
    cols.data["x"] = {1000, 9000, 20, -5};
    cols.data["y"] = {1000, 9000, 20, 20};
    EXPECT_EQ(run(filterOf({polygonRule("x", "y", kTriangle, 0, 0, true)}), cols, 4),
              (std::vector<int>{1, 3}));
}

TEST(EventFilterPolygon, EvenOddRuleForSelfIntersectingShapes)
{
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

TEST(EventFilterPolygon, ScaleCodesOutsideTheKnownThreeAreLinear)
{
    Columns cols;
    cols.data["x"] = {1000, 9000, 20, -5, 5000};
    cols.data["y"] = {1000, 9000, 20, 20, 20};
    const std::vector<int> linear = run(filterOf({polygonRule("x", "y", kTriangle, 0, 0)}), cols, 5);
    EXPECT_EQ(run(filterOf({polygonRule("x", "y", kTriangle, 3, -1)}), cols, 5), linear);
    EXPECT_EQ(run(filterOf({polygonRule("x", "y", kTriangle, 42, 3)}), cols, 5), linear);
}

TEST(EventFilterPolygon, RangeAndPolygonRulesCombine)
{
    Columns cols;
    cols.data["x"] = {1000, 9000, 20, -5, 5000};
    cols.data["y"] = {1000, 9000, 20, 20, 20};
    const EventFilter f = filterOf({polygonRule("x", "y", kTriangle), rangeRule("x", 100, 1e5)});
    EXPECT_EQ(run(f, cols, 5), (std::vector<int>{0, 4}));
}

// ---- cross-check against an independent implementation --------------------------------

namespace {

// The generator of event_filter_oracle.py, bit for bit.
class Lcg {
public:
    explicit Lcg(std::uint64_t seed) : m_state(seed) {}
    double next()
    {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(m_state >> 11) * 0x1.0p-53;
    }

private:
    std::uint64_t m_state;
};

Columns oracleColumns()
{
    constexpr int n = 20000;
    Lcg rng(20240917);
    Columns cols;
    auto& a = cols.data["a"];
    auto& b = cols.data["b"];
    auto& c = cols.data["c"];
    auto& d = cols.data["d"];
    for (int i = 0; i < n; ++i)
        a.push_back(rng.next() * 1000.0 - 100.0);
    for (int i = 0; i < n; ++i)
        b.push_back(std::pow(10.0, rng.next() * 5.0 - 2.0));
    for (int i = 0; i < n; ++i)
        c.push_back((rng.next() - 0.3) * 4000.0);
    for (int i = 0; i < n; ++i)
        d.push_back((rng.next() * 2.0 - 1.0) * 1e5);
    for (int i = 0; i < n; ++i) {
        if (i % 97 == 0)
            a[i] = kNaN;
        if (i % 50 == 1)
            a[i] = 250.0;
        if (i % 50 == 2)
            a[i] = 600.0;
        if (i % 89 == 3)
            b[i] = -b[i];
        if (i % 211 == 4)
            b[i] = 0.0;
        if (i % 101 == 5)
            c[i] = kNaN;
        if (i % 73 == 6)
            d[i] = 300.0;
    }
    return cols;
}

const Corners kConcave = {{-800.0, 0.0}, {2000.0, -50.0}, {2500.0, 700.0}, {600.0, 300.0},
                          {400.0, 850.0}, {-1000.0, 800.0}, {0.0, 300.0}};
const Corners kLogTriangle = {{0.05, 1.0}, {800.0, 20.0}, {5.0, 900.0}};
const Corners kPseudo = {{-5e4, -2000.0}, {-50.0, 300.0}, {8e4, -500.0},
                         {9e4, 2500.0},  {-200.0, 2000.0}, {-9e4, 300.0}};
const Corners kMixed = {{0.02, -9e4}, {600.0, -200.0}, {900.0, 9e4}, {1.0, 300.0}, {0.1, 5e4}};

std::vector<FilterRule> oracleScenario(const std::string& name)
{
    if (name == "ranges")
        return {rangeRule("a", 250.0, 600.0), rangeRule("c", -50.0, 500.0, true)};
    if (name == "linearPolygon")
        return {polygonRule("c", "a", kConcave)};
    if (name == "logPolygon")
        return {polygonRule("b", "a", kLogTriangle, 1, 1)};
    if (name == "pseudoLogPolygonInverted")
        return {polygonRule("d", "c", kPseudo, 2, 2, true)};
    return {rangeRule("a", 0.0, 800.0), rangeRule("b", 0.05, 500.0),
            polygonRule("c", "a", kConcave, 0, 3), polygonRule("b", "d", kMixed, 1, 2)};
}

struct OracleResult {
    const char* scenario;
    FilterCombineMode mode;
    std::size_t count;
    long long indexSum;
    long long indexSquareSum;
};

} // namespace

TEST(EventFilterOracle, MatchesIndependentNumpyImplementation)
{
    // Recorded with: /usr/bin/python3 tests/core/event_filter_oracle.py
    // (exact: counts and index sums must agree to the last event).
    const OracleResult expected[] = {
        {"ranges", FilterCombineMode::AND, 6354, 63519433LL, 845674525597LL},
        {"ranges", FilterCombineMode::NOT, 13646, 136470567LL, 1820792144403LL},
        {"linearPolygon", FilterCombineMode::AND, 8348, 83392286LL, 1112077808430LL},
        {"linearPolygon", FilterCombineMode::NOT, 11652, 116597714LL, 1554388861570LL},
        {"logPolygon", FilterCombineMode::AND, 2939, 29693189LL, 397703526817LL},
        {"logPolygon", FilterCombineMode::NOT, 17061, 170296811LL, 2268763143183LL},
        {"pseudoLogPolygonInverted", FilterCombineMode::AND, 11762, 117351599LL, 1560467201877LL},
        {"pseudoLogPolygonInverted", FilterCombineMode::NOT, 8238, 82638401LL, 1105999468123LL},
        {"mixed", FilterCombineMode::AND, 679, 6492593LL, 85528054923LL},
        {"mixed", FilterCombineMode::NOT, 19321, 193497407LL, 2580938615077LL},
    };
    const Columns cols = oracleColumns();
    for (const OracleResult& e : expected) {
        EventFilter f;
        for (const FilterRule& r : oracleScenario(e.scenario))
            f.addRule(r);
        f.setCombineMode(e.mode);
        const std::vector<int> shown = run(f, cols, 20000);
        long long sum = 0;
        long long squares = 0;
        for (int i : shown) {
            sum += i;
            squares += static_cast<long long>(i) * i;
        }
        EXPECT_EQ(shown.size(), e.count) << e.scenario;
        EXPECT_EQ(sum, e.indexSum) << e.scenario;
        EXPECT_EQ(squares, e.indexSquareSum) << e.scenario;
        EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end())) << e.scenario;
    }
}

// ---- the banded polygon test against the plain crossing test ---------------------------

namespace {

double referenceAxis(double v, int mode)
{
    if (mode == 1)
        return v > 0.0 ? std::log(v) : 0.0;
    if (mode == 2)
        return Quorvex3::pseudoLogForward(v);
    return v;
}

// Every corner, every event, every edge: the rule as stated, without any
// shortcut, to hold the filter's windows and edge bands to.
bool referenceInside(const Corners& raw, int modeX, int modeY, double px, double py)
{
    Corners c;
    for (const auto& v : raw)
        c.emplace_back(referenceAxis(v.first, modeX), referenceAxis(v.second, modeY));
    const double x = referenceAxis(px, modeX);
    const double y = referenceAxis(py, modeY);
    bool inside = false;
    for (std::size_t k = 0, j = c.size() - 1; k < c.size(); j = k++) {
        if ((c[k].second > y) != (c[j].second > y)) {
            const double xCross = c[k].first
                + (y - c[k].second) * (c[j].first - c[k].first) / (c[j].second - c[k].second);
            if (x < xCross)
                inside = !inside;
        }
    }
    return inside;
}

// Inverse of referenceAxis, to place events and corners in an axis's space.
double toData(double v, int mode)
{
    if (mode == 1)
        return std::exp(v);
    if (mode == 2)
        return Quorvex3::pseudoLogInverse(v);
    return v;
}

// Corners in axis space around (0, 0) with the given radius.
Corners randomShape(std::mt19937_64& rng, int kind, int corners, double radius)
{
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    const double pi = std::acos(-1.0);
    Corners c;
    for (int k = 0; k < corners; ++k) {
        const double angle = 2 * pi * k / corners;
        switch (kind) {
        case 0: { // smooth outline, as drawn by hand
            const double r = radius * (0.8 + 0.15 * std::sin(3 * angle) + 0.03 * u(rng));
            c.emplace_back(r * std::cos(angle), r * std::sin(angle));
            break;
        }
        case 1: { // ragged star
            const double r = radius * (0.3 + 0.7 * std::fabs(u(rng)));
            c.emplace_back(r * std::cos(angle), r * std::sin(angle));
            break;
        }
        case 2: // staircase of level and upright edges (snapped to a coarse lattice)
            c.emplace_back(radius * std::round(4 * std::cos(angle)) / 4,
                           radius * std::round(4 * std::sin(angle)) / 4);
            break;
        case 3: // a thin sliver
            c.emplace_back(radius * std::cos(angle), radius * 1e-3 * std::sin(angle));
            break;
        default: // arbitrary, usually self-intersecting, with repeated corners
            c.emplace_back(radius * u(rng), radius * u(rng));
            if (k % 7 == 3)
                c.push_back(c.back());
            break;
        }
    }
    return c;
}

} // namespace

TEST(EventFilterPolygon, SameEventsAsThePlainCrossingTestOnRandomShapes)
{
    // Events on corners, on edges, a few ulps and a few millionths beside
    // them, and scattered, in the polygon's own axis space; shapes from a
    // few to hundreds of corners, at small, large and far-off coordinates.
    std::mt19937_64 rng(2024);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double linearRadii[] = {1e-3, 1.0, 40.0, 3000.0};
    const double logRadii[] = {1e-4, 0.3, 2.0, 6.0}; // in decades (pseudo-log) or e-folds
    constexpr int n = 3000;
    for (int trial = 0; trial < 150; ++trial) {
        const int modeX = trial % 3;
        const int modeY = (trial / 3) % 3;
        const int kind = (trial / 9) % 5;
        const bool linear = modeX == 0 && modeY == 0;
        const int size = (trial / 45) % 4;
        const double radius = (linear ? linearRadii[size] : logRadii[size]) * (trial % 2 ? 1.0 : 0.5);
        // Far from the origin on linear axes, so window and cell arithmetic
        // work with large offsets.
        const double offset = trial % 4 == 3 ? 1e5 * radius : 0.0;
        const int cornerCount = 3 + static_cast<int>(rng() % (trial % 5 == 0 ? 400 : 40));
        Corners axisCorners = randomShape(rng, kind, cornerCount, radius);
        for (auto& c : axisCorners) {
            c.first += modeX == 0 ? offset : 0.0;
            c.second += modeY == 0 ? offset : 0.0;
        }

        Columns cols;
        auto& x = cols.data["x"];
        auto& y = cols.data["y"];
        for (int i = 0; i < n; ++i) {
            const auto& a = axisCorners[rng() % axisCorners.size()];
            const auto& b = axisCorners[rng() % axisCorners.size()];
            double ax = 0.0;
            double ay = 0.0;
            const double t = unit(rng);
            switch (i % 6) {
            case 0: // a corner
                ax = a.first;
                ay = a.second;
                break;
            case 1: // on the segment between two corners (often an edge)
            case 2:
                ax = a.first + t * (b.first - a.first);
                ay = a.second + t * (b.second - a.second);
                if (i % 6 == 2) { // a few ulps or millionths away
                    const double nudge = (i % 12 < 6 ? 4e-16 : 3e-6) * radius;
                    ax += nudge * u(rng);
                    ay += nudge * u(rng);
                }
                break;
            default: // anywhere around the shape
                ax = (modeX == 0 ? offset : 0.0) + 1.3 * radius * u(rng);
                ay = (modeY == 0 ? offset : 0.0) + 1.3 * radius * u(rng);
                break;
            }
            x.push_back(toData(ax, modeX));
            y.push_back(toData(ay, modeY));
        }
        x[7] = kNaN;
        y[8] = kNaN;
        x[9] = -std::numeric_limits<double>::infinity();
        y[10] = std::numeric_limits<double>::infinity();
        x[11] = 0.0;
        y[13] = -2.0;

        Corners dataCorners;
        for (const auto& c : axisCorners)
            dataCorners.emplace_back(toData(c.first, modeX), toData(c.second, modeY));
        for (bool inverted : {false, true}) {
            std::vector<int> expected;
            for (int i = 0; i < n; ++i) {
                if (referenceInside(dataCorners, modeX, modeY, x[i], y[i]) != inverted)
                    expected.push_back(i);
            }
            const EventFilter f =
                filterOf({polygonRule("x", "y", dataCorners, modeX, modeY, inverted)});
            ASSERT_EQ(run(f, cols, n), expected)
                << "trial " << trial << ", kind " << kind << ", " << dataCorners.size()
                << " corners, modes " << modeX << "/" << modeY << (inverted ? ", inverted" : "");
        }
    }
}

TEST(EventFilterPolygon, NonFiniteCornersFollowThePlainCrossingTest)
{
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<Corners> shapes = {
        {{0, 0}, {10, 0}, {kNaN, 5}, {0, 10}},
        {{0, 0}, {inf, 0}, {10, 10}, {0, 10}},
        {{-inf, -inf}, {10, 0}, {10, 10}},
        {{1e308, -1e308}, {-1e308, 1e308}, {1e308, 1e308}},
    };
    Columns cols;
    auto& x = cols.data["x"];
    auto& y = cols.data["y"];
    for (double vx : {-20.0, 0.0, 1.0, 5.0, 9.0, 20.0, 1e307})
        for (double vy : {-20.0, 0.0, 1.0, 5.0, 9.0, 20.0, 1e307}) {
            x.push_back(vx);
            y.push_back(vy);
        }
    for (const Corners& shape : shapes)
        for (int mode : {0, 1, 2}) {
            std::vector<int> expected;
            for (std::size_t i = 0; i < x.size(); ++i)
                if (referenceInside(shape, mode, mode, x[i], y[i]))
                    expected.push_back(static_cast<int>(i));
            EXPECT_EQ(run(filterOf({polygonRule("x", "y", shape, mode, mode)}), cols, x.size()),
                      expected)
                << "mode " << mode;
        }
}
