// Rank tests: hand-computed cases, the handling of non-finite values, and
// scipy as the independent reference on random data (tests/stats/stats_oracle.py,
// run as "/usr/bin/python3 tests/stats/stats_oracle.py <input>").
// Tolerances: statistics 1e-10 relative; normal-approximation p-values 1e-9
// relative; chi-squared p-values and lnGamma 1e-8 relative (the six-term
// Lanczos series is good to about 1e-10).

#include "stats/NonParametricTests.h"
#include "support/PythonOracle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iomanip>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace Quorvex3;
using Quorvex3::testing::oracleNumber;
using Quorvex3::testing::runPythonOracle;
using NPT = NonParametricTests;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const std::string kOracle = std::string(QUORVEX3_TEST_DIR) + "/stats_oracle.py";

void expectRelative(double actual, double expected, double tolerance, const std::string& what) {
    EXPECT_NEAR(actual, expected, tolerance * std::max(std::abs(expected), 1e-300) + 1e-300)
        << what;
}

void expectInvalid(const TestResult& r) {
    EXPECT_FALSE(r.valid);
    EXPECT_EQ(r.statistic, 0.0);
    EXPECT_EQ(r.pValue, 1.0);
}

// ---------------------------------------------------------------- hand cases

TEST(NonParametricTests, RanksAverageTiesInInputOrder) {
    EXPECT_EQ(NPT::computeRanks({3, 1, 3, 2}), (std::vector<double>{3.5, 1, 3.5, 2}));
    EXPECT_EQ(NPT::computeRanks({5, 5, 5}), (std::vector<double>{2, 2, 2}));
    EXPECT_EQ(NPT::computeRanks({-1, 10, 0}), (std::vector<double>{1, 3, 2}));
    EXPECT_TRUE(NPT::computeRanks({}).empty());
}

struct HandCase {
    const char* name;
    TestResult result;
    double statistic;
    double pValue;
    double pTolerance;
};

TEST(NonParametricTests, HandComputedCases) {
    const HandCase cases[] = {
        {"MWU separated", NPT::mannWhitneyU({1, 2, 3}, {4, 5, 6}), 0.0, 0.04953, 5e-6},
        {"MWU reversed", NPT::mannWhitneyU({4, 5, 6}, {1, 2, 3}), 0.0, 0.04953, 5e-6},
        {"MWU all equal", NPT::mannWhitneyU({2, 2, 2}, {2, 2, 2}), 4.5, 1.0, 0.0},
        {"Wilcoxon all positive", NPT::wilcoxonSignedRank({1, 2, 3}), 0.0, 0.10881, 5e-6},
        {"Wilcoxon signs mixed", NPT::wilcoxonSignedRank({-1, 2, 3}), 1.0, 0.2850494, 1e-7},
        {"Kruskal-Wallis", NPT::kruskalWallis({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}), 7.2, 0.02732,
         5e-6},
        {"Kruskal-Wallis identical", NPT::kruskalWallis({{1, 1, 1}, {1, 1, 1}}), 0.0, 1.0, 0.0},
        {"Friedman", NPT::friedman({{1, 2, 3}, {2, 3, 4}, {3, 4, 5}}), 6.0, std::exp(-3.0), 1e-9},
        {"Friedman two treatments", NPT::friedman({{1, 2, 3}, {2, 3, 4}}), 3.0, 0.0832645, 1e-6},
    };
    for (const HandCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(c.result.valid);
        EXPECT_NEAR(c.result.statistic, c.statistic, 1e-12);
        EXPECT_NEAR(c.result.pValue, c.pValue, c.pTolerance);
    }
}

TEST(NonParametricTests, GuardsReturnTheInvalidResult) {
    expectInvalid(NPT::mannWhitneyU({1, 2}, {3, 4, 5}));
    expectInvalid(NPT::mannWhitneyU({1, 2, 3}, {4, 5}));
    expectInvalid(NPT::mannWhitneyU({}, {}));
    expectInvalid(NPT::wilcoxonSignedRank({0, 0, 0, 1, 2}));
    expectInvalid(NPT::wilcoxonSignedRank({0.0, -0.0, 1, 2}));
    expectInvalid(NPT::wilcoxonSignedRank({}));
    expectInvalid(NPT::kruskalWallis({{1, 2, 3}}));
    expectInvalid(NPT::kruskalWallis({{1, 2, 3}, {4, 5}}));
    expectInvalid(NPT::friedman({{1, 2, 3}}));
    expectInvalid(NPT::friedman({{1, 2, 3}, {1, 2, 3, 4}}));
    expectInvalid(NPT::friedman({{1, 2}, {3, 4}}));
}

TEST(NonParametricTests, ZeroDifferencesNeitherCountNorRank) {
    // Only 1, 2, 3 take part: the same result as without the zeros.
    const TestResult with = NPT::wilcoxonSignedRank({0, 1, 0, 2, -0.0, 3});
    const TestResult without = NPT::wilcoxonSignedRank({1, 2, 3});
    EXPECT_TRUE(with.valid);
    EXPECT_EQ(with.statistic, without.statistic);
    EXPECT_EQ(with.pValue, without.pValue);
}

TEST(NonParametricTests, SpecialFunctionsAtKnownPoints) {
    EXPECT_NEAR(NPT::lnGamma(5.0), std::log(24.0), 1e-8);
    EXPECT_NEAR(NPT::lnGamma(0.5), 0.5 * std::log(M_PI), 1e-9);
    EXPECT_NEAR(NPT::upperIncGammaReg(1.0, 2.0), std::exp(-2.0), 1e-12);
    EXPECT_NEAR(NPT::upperIncGammaReg(1.0, 0.5), std::exp(-0.5), 1e-12);
    EXPECT_EQ(NPT::upperIncGammaReg(3.0, 0.0), 1.0);
    EXPECT_EQ(NPT::upperIncGammaReg(3.0, -1.0), 1.0);
    EXPECT_NEAR(NPT::chiSquaredSurvival(5.991, 2.0), 0.05, 1e-4);
    EXPECT_EQ(NPT::chiSquaredSurvival(0.0, 4.0), 1.0);
    EXPECT_NEAR(NPT::normalSurvival2Tail(1.959963984540054), 0.05, 1e-12);
    EXPECT_EQ(NPT::normalSurvival2Tail(0.0), 1.0);
    EXPECT_EQ(NPT::normalSurvival2Tail(-40.0), 0.0);
}

// ------------------------------------------------------- non-finite values

TEST(NonParametricTests, RanksLeaveNaNOutOfTheOrdering) {
    const std::vector<double> ranks = NPT::computeRanks({3, kNaN, 1, 3, kNaN, 2});
    ASSERT_EQ(ranks.size(), 6u);
    EXPECT_EQ(ranks[0], 3.5);
    EXPECT_TRUE(std::isnan(ranks[1]));
    EXPECT_EQ(ranks[2], 1.0);
    EXPECT_EQ(ranks[3], 3.5);
    EXPECT_TRUE(std::isnan(ranks[4]));
    EXPECT_EQ(ranks[5], 2.0);
}

TEST(NonParametricTests, NonFiniteValuesAreDroppedBeforeRanking) {
    struct Case {
        const char* name;
        TestResult dirty;
        TestResult clean;
    };
    const Case cases[] = {
        {"Mann-Whitney", NPT::mannWhitneyU({1, kNaN, 2, 3, kInf}, {4, 5, -kInf, 6, kNaN}),
         NPT::mannWhitneyU({1, 2, 3}, {4, 5, 6})},
        {"Wilcoxon", NPT::wilcoxonSignedRank({1, kNaN, -2, 3, kInf, 4}),
         NPT::wilcoxonSignedRank({1, -2, 3, 4})},
        {"Kruskal-Wallis", NPT::kruskalWallis({{1, kNaN, 2, 3}, {4, 5, 6, kInf}}),
         NPT::kruskalWallis({{1, 2, 3}, {4, 5, 6}})},
        // The block with the NaN goes as a whole, keeping the others matched.
        {"Friedman", NPT::friedman({{1, 2, 9, 3}, {2, 3, kNaN, 4}, {3, 4, 1, 5}}),
         NPT::friedman({{1, 2, 3}, {2, 3, 4}, {3, 4, 5}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(c.dirty.valid);
        EXPECT_EQ(c.dirty.statistic, c.clean.statistic);
        EXPECT_EQ(c.dirty.pValue, c.clean.pValue);
    }
    // What is left decides the guards.
    expectInvalid(NPT::mannWhitneyU({1, 2, kNaN}, {4, 5, 6}));
    expectInvalid(NPT::wilcoxonSignedRank({1, 2, kNaN}));
    expectInvalid(NPT::kruskalWallis({{1, 2, kInf}, {4, 5, 6}}));
    expectInvalid(NPT::friedman({{1, 2, 3}, {2, kNaN, 4}}));
}

TEST(NonParametricTests, MannWhitneyRankSumMatchesPooledRanksWithTies) {
    // U_x must be the rank sum of the first sample in the pooled ranking
    // (ties averaged) minus m(m+1)/2, however the sum is formed.
    std::mt19937_64 rng(7);
    std::uniform_int_distribution<int> level(0, 6);
    for (int round = 0; round < 50; ++round) {
        std::vector<double> x(3 + round % 11);
        std::vector<double> y(3 + (round * 7) % 13);
        for (double& v : x)
            v = level(rng) * 0.5;
        for (double& v : y)
            v = level(rng) * 0.5;
        std::vector<double> pool(x);
        pool.insert(pool.end(), y.begin(), y.end());
        const std::vector<double> ranks = NPT::computeRanks(pool);
        double rankSum = 0.0;
        for (size_t i = 0; i < x.size(); ++i)
            rankSum += ranks[i];
        const double m = static_cast<double>(x.size());
        const double n = static_cast<double>(y.size());
        const double ux = rankSum - m * (m + 1) / 2;
        const TestResult r = NPT::mannWhitneyU(x, y);
        EXPECT_EQ(r.statistic, std::min(ux, m * n - ux)) << "round " << round;
    }
}

// ------------------------------------------------------------------ scipy

std::string number(double v) {
    std::ostringstream s;
    s << std::setprecision(17) << v;
    return s.str();
}

std::string joined(const std::vector<double>& values) {
    std::string out;
    for (double v : values)
        out += " " + number(v);
    return out;
}

struct OracleCase {
    std::string line;
    TestResult result;
    double pTolerance;
};

/// Continuous values (no ties) or values on a coarse grid (ties).
std::vector<double> draw(std::mt19937_64& rng, size_t n, double shift, bool ties) {
    std::normal_distribution<double> normal(shift, 1.0);
    std::vector<double> v(n);
    for (double& x : v)
        x = ties ? std::round(normal(rng) * 2.0) / 2.0 : normal(rng);
    return v;
}

std::vector<OracleCase> buildTestCases() {
    std::vector<OracleCase> cases;
    std::mt19937_64 rng(20240611);
    for (int ties = 0; ties < 2; ++ties) {
        for (int round = 0; round < 12; ++round) {
            const size_t m = 3 + static_cast<size_t>(round) * 5;
            const size_t n = 4 + static_cast<size_t>(round % 4) * 9;
            const double shift = 0.15 * round;
            const auto x = draw(rng, m, 0.0, ties);
            const auto y = draw(rng, n, shift, ties);
            cases.push_back(
                {"MWU " + std::to_string(m) + " " + std::to_string(n) + joined(x) + joined(y),
                 NPT::mannWhitneyU(x, y), 1e-9});

            auto d = draw(rng, 5 + static_cast<size_t>(round) * 4, 0.1 * round, ties);
            if (ties)
                d[0] = 0.0; // a zero difference that must not count
            cases.push_back(
                {"WSR " + std::to_string(d.size()) + joined(d), NPT::wilcoxonSignedRank(d), 1e-9});

            const size_t k = 2 + static_cast<size_t>(round) % 4;
            std::vector<std::vector<double>> groups;
            std::string sizes;
            std::string values;
            for (size_t g = 0; g < k; ++g) {
                groups.push_back(draw(rng, 3 + (g * 3 + static_cast<size_t>(round)) % 10,
                                      0.2 * static_cast<double>(g) * round / 4.0, ties));
                sizes += " " + std::to_string(groups.back().size());
                values += joined(groups.back());
            }
            cases.push_back(
                {"KW " + std::to_string(k) + sizes + values, NPT::kruskalWallis(groups), 1e-8});

            // scipy's Friedman needs three treatments at least.
            const size_t treatments = 3 + static_cast<size_t>(round) % 3;
            const size_t blocks = 3 + static_cast<size_t>(round) * 2;
            std::vector<std::vector<double>> matched;
            std::string flat;
            for (size_t g = 0; g < treatments; ++g) {
                matched.push_back(draw(rng, blocks, 0.1 * static_cast<double>(g * round), ties));
                flat += joined(matched.back());
            }
            cases.push_back(
                {"FR " + std::to_string(treatments) + " " + std::to_string(blocks) + flat,
                 NPT::friedman(matched), 1e-8});
        }
    }
    return cases;
}

TEST(NonParametricTests, MatchScipyWithAndWithoutTies) {
    const std::vector<OracleCase> cases = buildTestCases();
    std::string input;
    for (const OracleCase& c : cases)
        input += c.line + "\n";
    const auto run = runPythonOracle(kOracle, input);
    ASSERT_EQ(run.status, 0) << "the scipy oracle failed";
    ASSERT_EQ(run.lines.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string what = "case " + std::to_string(i) + ": " + cases[i].line.substr(0, 40);
        ASSERT_EQ(run.lines[i].size(), 2u) << what;
        ASSERT_TRUE(cases[i].result.valid) << what;
        expectRelative(cases[i].result.statistic, oracleNumber(run.lines[i][0]), 1e-10, what);
        expectRelative(cases[i].result.pValue, oracleNumber(run.lines[i][1]), cases[i].pTolerance,
                       what);
    }
}

TEST(NonParametricTests, SpecialFunctionsMatchScipy) {
    struct Case {
        std::string line;
        double value;
        double tolerance;
    };
    std::vector<Case> cases;
    for (double x : {0.05, 0.3, 0.5, 1.0, 1.5, 2.0, 3.7, 5.0, 10.0, 42.5, 100.0, 1234.5}) {
        cases.push_back({"LNG " + number(x), NPT::lnGamma(x), 1e-8});
    }
    for (double a : {0.5, 1.0, 1.5, 2.5, 4.0, 10.0}) {
        for (double x : {0.01, 0.4, 1.0, 2.2, 3.5, 6.0, 12.0, 30.0}) {
            // Both branches: the series below a + 1, the continued fraction above.
            cases.push_back(
                {"IGQ " + number(a) + " " + number(x), NPT::upperIncGammaReg(a, x), 1e-8});
        }
    }
    for (double df : {1.0, 2.0, 3.0, 7.0}) {
        for (double x : {0.2, 1.0, 3.84, 7.81, 20.0}) {
            cases.push_back(
                {"CHI " + number(x) + " " + number(df), NPT::chiSquaredSurvival(x, df), 1e-8});
        }
    }
    std::string input;
    for (const Case& c : cases)
        input += c.line + "\n";
    const auto run = runPythonOracle(kOracle, input);
    ASSERT_EQ(run.status, 0) << "the scipy oracle failed";
    ASSERT_EQ(run.lines.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        ASSERT_EQ(run.lines[i].size(), 1u);
        const double expected = oracleNumber(run.lines[i][0]);
        // Relative where the value is large, absolute near zero (lnGamma(1)).
        EXPECT_NEAR(cases[i].value, expected,
                    cases[i].tolerance * std::max(std::abs(expected), 1e-3))
            << cases[i].line;
    }
}

} // namespace
