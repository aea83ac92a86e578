// Rank tests, ROC curves and the combined LDA score against scipy 1.10 and
// sklearn 1.2 on data the oracle draws from a fixed seed
// (tests/stats/stats_oracle.py, run as "/usr/bin/python3 tests/stats/stats_oracle.py";
// ties handled as described there), plus the handling of non-finite values
// and of inputs too small to test. Tolerances: rank statistics 1e-10
// relative; normal-approximation p-values 1e-9 relative; chi-squared
// p-values, Q(a, x) and lnGamma 1e-8 relative (absolute below 1e-3; the
// six-term Lanczos series is good to about 1e-10); ROC rates and thresholds
// exact, AUC 1e-12; LDA weights 1e-12 relative (lstsq against our elimination).

#include "stats/NonParametricTests.h"
#include "stats/ROCAnalysis.h"
#include "support/PythonOracle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace Quorvex3;
using namespace Quorvex3::testing;
using NPT = NonParametricTests;
using Groups = std::vector<std::vector<double>>;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

void expectRelative(double actual, double expected, double tolerance, double floor = 1e-300) {
    EXPECT_NEAR(actual, expected, tolerance * std::max(std::abs(expected), floor));
}

TEST(StatsKernels, MatchScipyAndSklearn) {
    const std::vector<OracleCase> cases =
        runPythonOracle(std::string(QUORVEX3_TEST_DIR) + "/stats_oracle.py");
    for (size_t c = 0; c < cases.size(); ++c) {
        const auto& [kind, g] = cases[c];
        SCOPED_TRACE(kind + " case " + std::to_string(c));
        const Groups data(g.begin() + 1, g.end());
        if (kind == "LNG") {
            for (size_t i = 0; i < g[0].size(); ++i)
                expectRelative(NPT::lnGamma(g[0][i]), g[1][i], 1e-8, 1e-3);
        } else if (kind == "IGQ") {
            // Q(a, x) is also the chi-squared tail beyond 2x with 2a degrees of freedom.
            for (size_t i = 0; i < g[0].size(); ++i)
                for (double q : {NPT::upperIncGammaReg(g[0][i], g[1][i]),
                                 NPT::chiSquaredSurvival(2 * g[1][i], 2 * g[0][i])})
                    expectRelative(q, g[2][i], 1e-8, 1e-3);
        } else if (kind == "ROC") {
            const ROCResult r = ROCAnalysis::compute(data[0], data[1]);
            EXPECT_TRUE(r.fpr == g[3] && r.tpr == g[4]);
            ASSERT_EQ(r.thresholds, g[5]);
            const auto best = static_cast<size_t>(g[0][2]);
            EXPECT_EQ(r.higherIsPositive, g[0][0] == 0.0);
            EXPECT_NEAR(r.auc, g[0][1], 1e-12);
            EXPECT_EQ(r.optimalThreshold, r.thresholds[best]);
            EXPECT_TRUE(r.sensitivity == g[4][best] && r.specificity == 1.0 - g[3][best]);
        } else if (kind == "LDA") {
            const size_t k = g[0].size() - 1;
            const CombinedROCResult r =
                ROCAnalysis::computeCombined(Groups(data.begin(), data.begin() + k),
                                             Groups(data.begin() + k, data.end()), {k, "f"});
            ASSERT_EQ(r.weights.size(), k);
            for (size_t j = 0; j < k; ++j)
                expectRelative(r.weights[j], g[0][1 + j], 1e-12);
            EXPECT_NEAR(r.auc, g[0][0], 1e-12);
        } else {
            const TestResult r = kind == "MWU"   ? NPT::mannWhitneyU(data[0], data[1])
                                 : kind == "WSR" ? NPT::wilcoxonSignedRank(data[0])
                                 : kind == "KW"  ? NPT::kruskalWallis(data)
                                                 : NPT::friedman(data);
            ASSERT_TRUE(r.valid);
            expectRelative(r.statistic, g[0][0], 1e-10);
            expectRelative(r.pValue, g[0][1], kind == "MWU" || kind == "WSR" ? 1e-9 : 1e-8);
        }
    }
    EXPECT_EQ(cases.size(), 96u + 2u + 24u + 12u);
}

// A NaN has no place in an ordering: it gets no rank, non-finite values are
// dropped before a test (the oracle's data hold some) and the guards judge
// what is left. A ROC without a class is invalid, as is a combination with
// fewer feature vectors than names.
TEST(StatsKernels, NonFiniteValuesTooLittleDataAndSingularScatter) {
    const std::vector<double> ranks = NPT::computeRanks({3, kNaN, 1, 3, kNaN, 2});
    EXPECT_TRUE(std::isnan(ranks[1]) && std::isnan(ranks[4]));
    EXPECT_EQ((std::vector<double>{ranks[0], ranks[2], ranks[3], ranks[5]}),
              (std::vector<double>{3.5, 1, 3.5, 2}));
    for (const TestResult& r :
         {NPT::mannWhitneyU({1, 2, kNaN}, {4, 5, 6}), NPT::mannWhitneyU({1, 2, 3}, {}),
          NPT::wilcoxonSignedRank({0, -0.0, 1, 2, kNaN}), NPT::kruskalWallis({{1, 2, 3}}),
          NPT::kruskalWallis({{1, 2, kInf}, {4, 5, 6}}), NPT::friedman({{1, 2, 3}, {1, 2, 3, 4}}),
          NPT::friedman({{1, 2, 3}, {2, kNaN, 4}})})
        EXPECT_TRUE(!r.valid && r.statistic == 0.0 && r.pValue == 1.0);
    const std::vector<std::string> names = {"a", "b"};
    for (const ROCResult& r :
         {ROCAnalysis::compute({1, 2, 3}, {kNaN}),
          ROCResult(ROCAnalysis::computeCombined({{1, 2}, {3, 4}}, {{}, {}}, names)),
          ROCResult(ROCAnalysis::computeCombined({{1, 2}}, {{3, 4}}, names))})
        EXPECT_TRUE(!r.valid && r.auc == 0.5 && r.fpr.empty() && r.thresholds.empty());
    // A feature constant within both classes leaves the scatter singular:
    // equal weights, and the combined score flips like a single one.
    const CombinedROCResult r =
        ROCAnalysis::computeCombined({{5, 6, 7}, {1, 1, 1}}, {{1, 2, 3}, {1, 1, 1}}, names);
    EXPECT_EQ(r.weights, (std::vector<double>{0.5, 0.5}));
    EXPECT_TRUE(!r.higherIsPositive && r.auc == 1.0);
}

// Small cases worked by hand: the rank sums, the normal and chi-squared
// tails (erfc and e^-x written out below) and every ROC point.
TEST(StatsKernels, HandWorkedCases) {
    struct Case {
        const char* what;
        TestResult result;
        double statistic;
        double p;
        bool valid;
    };
    const double e3 = std::exp(-3.0);
    const Case cases[] = {
        // U_x = 0, sigma = sqrt(9 * 7 / 12): p = erfc(4.5 / sigma / sqrt 2) = 0.049535
        {"U separate", NPT::mannWhitneyU({1, 2, 3}, {4, 5, 6}), 0.0,
         std::erfc(4.5 / std::sqrt(63.0 / 12.0) / std::sqrt(2.0)), true},
        // all ranks 3.5: U_x = 10.5 - 6 = 4.5 = m n / 2, p = 1
        {"U all equal", NPT::mannWhitneyU({7, 7, 7}, {7, 7, 7}), 4.5, 1.0, true},
        {"U two values", NPT::mannWhitneyU({1, 2}, {4, 5, 6}), 0.0, 1.0, false},
        {"U two values y", NPT::mannWhitneyU({1, 2, 3}, {4, 5}), 0.0, 1.0, false},
        // W- = 0, mu = 3, sigma = sqrt(3 * 4 * 7 / 24): p = erfc(3 / sigma / sqrt 2) = 0.10881
        {"W positive", NPT::wilcoxonSignedRank({1, 2, 3}), 0.0,
         std::erfc(3.0 / std::sqrt(3.5) / std::sqrt(2.0)), true},
        // W+ = 1 + 3 = 4 (|-2| ranks 2), W- = 2, W = 2
        {"W mixed", NPT::wilcoxonSignedRank({1, -2, 3}), 2.0,
         std::erfc(1.0 / std::sqrt(3.5) / std::sqrt(2.0)), true},
        {"W zeros", NPT::wilcoxonSignedRank({0, 0, 0, 1, 2}), 0.0, 1.0, false},
        // R = 6, 15, 24: 12 / 90 * (12 + 75 + 192) - 30 = 7.2, df 2: p = e^-3.6
        {"H", NPT::kruskalWallis({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}), 7.2, std::exp(-3.6), true},
        {"H one group", NPT::kruskalWallis({{1, 2, 3}}), 0.0, 1.0, false},
        {"H small group", NPT::kruskalWallis({{1, 2, 3}, {4, 5}}), 0.0, 1.0, false},
        // every block ranks 1, 2, 3: R = 3, 6, 9; 12 / 36 * 126 - 36 = 6, p = e^-3
        {"Q", NPT::friedman({{1, 2, 3}, {2, 3, 4}, {3, 4, 5}}), 6.0, e3, true},
        // reversed treatments give the same Q
        {"Q reversed", NPT::friedman({{3, 4, 5}, {2, 3, 4}, {1, 2, 3}}), 6.0, e3, true},
        // all blocks tied: R_j = 4.5 each, Q = 12 / 18 * 40.5 - 27 = 0, p = 1
        {"Q tied", NPT::friedman({{1, 1, 1}, {1, 1, 1}}), 0.0, 1.0, true},
        {"Q sizes", NPT::friedman({{1, 2, 3}, {1, 2, 3, 4}}), 0.0, 1.0, false},
        {"Q two blocks", NPT::friedman({{1, 2}, {2, 3}}), 0.0, 1.0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.result.valid, c.valid);
        EXPECT_NEAR(c.result.statistic, c.statistic, 1e-12);
        EXPECT_NEAR(c.result.pValue, c.p, 1e-9 * c.p);
    }
    EXPECT_NEAR(NPT::upperIncGammaReg(1.0, 2.0), std::exp(-2.0), 1e-12);
    EXPECT_NEAR(NPT::upperIncGammaReg(1.0, 0.5), std::exp(-0.5), 1e-12); // series branch
    EXPECT_EQ(NPT::upperIncGammaReg(2.5, 0.0), 1.0);
    EXPECT_NEAR(NPT::chiSquaredSurvival(5.991, 2.0), std::exp(-5.991 / 2), 1e-12);
    EXPECT_EQ(NPT::chiSquaredSurvival(-1.0, 2.0), 1.0);
    EXPECT_NEAR(NPT::lnGamma(5.0), std::log(24.0), 1e-9);
    EXPECT_NEAR(NPT::normalSurvival2Tail(-1.959963984540054), 0.05, 1e-12);

    struct RocCase {
        const char* what;
        std::vector<double> neg, pos, fpr, tpr, thresholds;
        double auc, optimum, sensitivity, specificity;
        bool higherIsPositive;
    };
    const double third = 1.0 / 3;
    const RocCase rocs[] = {
        {"separate", {1, 2, 3}, {4, 5, 6}, {0, 0, 0, 0, third, 2 * third, 1},
         {0, third, 2 * third, 1, 1, 1, 1}, {7, 6, 5, 4, 3, 2, 1}, 1.0, 4, 1, 1, true},
        // the first pass has AUC 0: the negated scores, thresholds ascending
        {"flipped", {4, 5, 6}, {1, 2, 3}, {0, 0, 0, 0, third, 2 * third, 1},
         {0, third, 2 * third, 1, 1, 1, 1}, {0, 1, 2, 3, 4, 5, 6}, 1.0, 3, 1, 1, false},
        // one point for the one score; both have J = 0, the first wins
        {"all equal", {2, 2}, {2, 2, 2}, {0, 1}, {0, 1}, {3, 2}, 0.5, 3, 0, 1, true},
        // the shared 2 moves both rates at once: the tied pair counts half
        {"tie across", {1, 2}, {2, 3}, {0, 0, 0.5, 1}, {0, 0.5, 1, 1}, {4, 3, 2, 1}, 0.875, 3,
         0.5, 1, true},
        // (0, 1/3) at 6 and (2/3, 1) at 2 share the largest J = 1/3, which in
        // doubles is 0.33333333333333331 against 0.33333333333333337: the
        // first point still wins
        {"equal J apart in the last bit", {5, 4, 1}, {6, 3, 2},
         {0, 0, third, 2 * third, 2 * third, 2 * third, 1},
         {0, third, third, third, 2 * third, 1, 1}, {7, 6, 5, 4, 3, 2, 1}, 5.0 / 9, 6, third, 1,
         true},
        {"equal J, flipped", {-5, -4, -1}, {-6, -3, -2},
         {0, 0, third, 2 * third, 2 * third, 2 * third, 1},
         {0, third, third, third, 2 * third, 1, 1}, {-7, -6, -5, -4, -3, -2, -1}, 5.0 / 9, -6,
         third, 1, false},
    };
    for (const RocCase& c : rocs) {
        SCOPED_TRACE(c.what);
        const ROCResult r = ROCAnalysis::compute(c.neg, c.pos);
        EXPECT_TRUE(r.valid);
        EXPECT_EQ(r.fpr, c.fpr);
        EXPECT_EQ(r.tpr, c.tpr);
        EXPECT_EQ(r.thresholds, c.thresholds);
        EXPECT_DOUBLE_EQ(r.auc, c.auc);
        EXPECT_EQ(r.optimalThreshold, c.optimum);
        EXPECT_EQ(r.sensitivity, c.sensitivity);
        EXPECT_EQ(r.specificity, c.specificity);
        EXPECT_EQ(r.higherIsPositive, c.higherIsPositive);
        EXPECT_EQ(r.nNegative, static_cast<int32_t>(c.neg.size()));
        EXPECT_EQ(r.nPositive, static_cast<int32_t>(c.pos.size()));
    }
    const ROCResult empty = ROCAnalysis::compute({1, 2, 3, 4}, {});
    EXPECT_TRUE(!empty.valid && empty.auc == 0.5 && empty.fpr.empty() && empty.nNegative == 4 &&
                empty.nPositive == 0 && empty.higherIsPositive);

    // One feature: w = d / S = (5 - 2) / ((1 + 0 + 1) + (1 + 0 + 1)) = 0.75.
    const CombinedROCResult one = ROCAnalysis::computeCombined({{1, 2, 3}}, {{4, 5, 6}}, {"a"});
    EXPECT_EQ(one.weights, std::vector<double>{0.75});
    EXPECT_EQ(one.thresholds, (std::vector<double>{5.5, 4.5, 3.75, 3.0, 2.25, 1.5, 0.75}));
    EXPECT_EQ(one.featureNames, std::vector<std::string>{"a"});
    // Two identical features: the second pivot vanishes, weights 1/2 each,
    // so the combined score is the feature itself.
    const CombinedROCResult twin =
        ROCAnalysis::computeCombined({{1, 2, 4}, {1, 2, 4}}, {{3, 5, 6}, {3, 5, 6}}, {"a", "b"});
    EXPECT_EQ(twin.weights, (std::vector<double>{0.5, 0.5}));
    EXPECT_EQ(twin.thresholds, (std::vector<double>{7, 6, 5, 4, 3, 2, 1}));
    EXPECT_DOUBLE_EQ(twin.auc, ROCAnalysis::compute({1, 2, 4}, {3, 5, 6}).auc);
    // Names are kept even without data.
    const CombinedROCResult none = ROCAnalysis::computeCombined({}, {{1}}, {"x", "y"});
    EXPECT_TRUE(!none.valid && none.weights.empty() && none.featureNames.size() == 2);
}

} // namespace
