// Rank tests, ROC curves and the combined LDA score against scipy 1.10 and
// sklearn 1.2 on data the oracle draws from a fixed seed
// (tests/stats/stats_oracle.py, run as "/usr/bin/python3 tests/stats/stats_oracle.py";
// ties handled as described there), plus the handling of non-finite values
// and of inputs too small to test. Tolerances: rank statistics 1e-10
// relative; normal-approximation p-values 1e-9 relative; chi-squared
// p-values, Q(a, x) and lnGamma 1e-8 relative (absolute below 1e-3; the
// six-term Lanczos series is good to about 1e-10); ROC rates and thresholds
// exact, AUC 1e-12; LDA weights 1e-8 relative (lstsq against our elimination).

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
                expectRelative(r.weights[j], g[0][1 + j], 1e-8);
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

} // namespace
