// The event filter against implementations written apart from it: an
// independent numpy version of the whole filter, and the plain even-odd
// crossing test over every corner for the shortcuts of the polygon test.
#include "core/EventFilter.h"
#include "core/EventFilterTestSupport.h"
#include "core/ScaleTransform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace EventFilterTest;

// ---- cross-check against an independent implementation --------------------------------

namespace {

// The generator of event_filter_oracle.py, bit for bit.
class Lcg {
public:
    explicit Lcg(std::uint64_t seed) : m_state(seed) {}
    double next() {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(m_state >> 11) * 0x1.0p-53;
    }

private:
    std::uint64_t m_state;
};

Columns oracleColumns() {
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

const Corners kConcave = {{-800.0, 0.0},  {2000.0, -50.0},  {2500.0, 700.0}, {600.0, 300.0},
                          {400.0, 850.0}, {-1000.0, 800.0}, {0.0, 300.0}};
const Corners kLogTriangle = {{0.05, 1.0}, {800.0, 20.0}, {5.0, 900.0}};
const Corners kPseudo = {{-5e4, -2000.0}, {-50.0, 300.0},   {8e4, -500.0},
                         {9e4, 2500.0},   {-200.0, 2000.0}, {-9e4, 300.0}};
const Corners kMixed = {{0.02, -9e4}, {600.0, -200.0}, {900.0, 9e4}, {1.0, 300.0}, {0.1, 5e4}};

std::vector<FilterRule> oracleScenario(const std::string& name) {
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

TEST(EventFilterOracle, MatchesIndependentNumpyImplementation) {
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

// ---- the fast polygon test against the plain crossing test ---------------------------

namespace {

double referenceAxis(double v, int mode) {
    if (mode == 1)
        return v > 0.0 ? std::log(v) : 0.0;
    if (mode == 2)
        return Quorvex3::pseudoLogForward(v);
    return v;
}

// Every corner, every event, every edge: the rule as stated, without any
// shortcut, to hold the filter's windows and edge bands to.
bool referenceInside(const Corners& raw, int modeX, int modeY, double px, double py) {
    Corners c;
    for (const auto& v : raw)
        c.emplace_back(referenceAxis(v.first, modeX), referenceAxis(v.second, modeY));
    const double x = referenceAxis(px, modeX);
    const double y = referenceAxis(py, modeY);
    bool inside = false;
    for (std::size_t k = 0, j = c.size() - 1; k < c.size(); j = k++) {
        if ((c[k].second > y) != (c[j].second > y)) {
            const double xCross = c[k].first + (y - c[k].second) * (c[j].first - c[k].first) /
                                                   (c[j].second - c[k].second);
            if (x < xCross)
                inside = !inside;
        }
    }
    return inside;
}

// Inverse of referenceAxis, to place events and corners in an axis's space.
double toData(double v, int mode) {
    if (mode == 1)
        return std::exp(v);
    if (mode == 2)
        return Quorvex3::pseudoLogInverse(v);
    return v;
}

// Corners in axis space around (0, 0) with the given radius.
Corners randomShape(std::mt19937_64& rng, int kind, int corners, double radius) {
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

TEST(EventFilterPolygon, SameEventsAsThePlainCrossingTestOnRandomShapes) {
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
        const double radius =
            (linear ? linearRadii[size] : logRadii[size]) * (trial % 2 ? 1.0 : 0.5);
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

TEST(EventFilterPolygon, SameEventsWithTheFinerGridOfLargeEventCounts) {
    // Many events give a polygon of few corners a fine grid; events on and
    // beside its edges must still come out as the plain test has them.
    std::mt19937_64 rng(77);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    constexpr int n = 300000;
    for (int mode : {0, 1, 2}) {
        const double radius = mode == 0 ? 500.0 : 2.0;
        const Corners axisCorners = randomShape(rng, mode == 1 ? 1 : 0, 12, radius);
        Corners dataCorners;
        for (const auto& c : axisCorners)
            dataCorners.emplace_back(toData(c.first, mode), toData(c.second, mode));
        Columns cols;
        auto& x = cols.data["x"];
        auto& y = cols.data["y"];
        for (int i = 0; i < n; ++i) {
            double ax = 1.2 * radius * u(rng);
            double ay = 1.2 * radius * u(rng);
            if (i % 3 == 0) { // on an edge, or a few millionths off it
                const std::size_t k = rng() % axisCorners.size();
                const auto& a = axisCorners[k];
                const auto& b = axisCorners[(k + 1) % axisCorners.size()];
                const double t = unit(rng);
                ax = a.first + t * (b.first - a.first) + (i % 2 ? 3e-6 * radius * u(rng) : 0.0);
                ay = a.second + t * (b.second - a.second);
            }
            x.push_back(toData(ax, mode));
            y.push_back(toData(ay, mode));
        }
        std::vector<int> expected;
        for (int i = 0; i < n; ++i)
            if (referenceInside(dataCorners, mode, mode, x[i], y[i]))
                expected.push_back(i);
        EXPECT_EQ(run(filterOf({polygonRule("x", "y", dataCorners, mode, mode)}), cols, n),
                  expected)
            << "mode " << mode;
    }
}

TEST(EventFilterPolygon, TinyValuesOnLogAxesFollowThePlainCrossingTest) {
    // Subnormal values (below 2.2e-308) are where cheap estimates of a
    // logarithm break down; a polygon drawn around them must still hold
    // exactly the events the plain test puts inside.
    const Corners corners = {
        {1e-312, 1e-311}, {1e-300, 1e-312}, {1e-296, 1e-296}, {1e-311, 1e-298}};
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> exponent(-318.0, -294.0);
    Columns cols;
    auto& x = cols.data["x"];
    auto& y = cols.data["y"];
    for (int i = 0; i < 20000; ++i) {
        x.push_back(std::pow(10.0, exponent(rng)));
        y.push_back(std::pow(10.0, exponent(rng)));
    }
    std::vector<int> expected;
    for (std::size_t i = 0; i < x.size(); ++i)
        if (referenceInside(corners, 1, 1, x[i], y[i]))
            expected.push_back(static_cast<int>(i));
    EXPECT_GT(expected.size(), 1000u);
    EXPECT_EQ(run(filterOf({polygonRule("x", "y", corners, 1, 1)}), cols, x.size()), expected);
}

TEST(EventFilterPolygon, NonFiniteCornersFollowThePlainCrossingTest) {
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
