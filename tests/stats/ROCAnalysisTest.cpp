// ROC curves and the combined LDA score: hand-computed curves, and sklearn
// 1.2 as the independent reference (tests/stats/roc_oracle.py, run as
// "/usr/bin/python3 tests/stats/roc_oracle.py <input>"): roc_curve with
// drop_intermediate=False, roc_auc_score, the first argmax of tpr - fpr, and
// LinearDiscriminantAnalysis(solver='lsqr'), whose coef_ divided by the
// sample count equals the weights. Tolerances: rates and thresholds 1e-12,
// AUC 1e-12, weights 1e-8 relative (lstsq against our elimination).

#include "stats/ROCAnalysis.h"
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

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const std::string kOracle = std::string(QUORVEX3_TEST_DIR) + "/roc_oracle.py";

struct Point {
    double fpr;
    double tpr;
    double threshold;
};

void expectCurve(const ROCResult& r, const std::vector<Point>& points) {
    ASSERT_EQ(r.fpr.size(), points.size());
    ASSERT_EQ(r.tpr.size(), points.size());
    ASSERT_EQ(r.thresholds.size(), points.size());
    for (size_t i = 0; i < points.size(); ++i) {
        EXPECT_NEAR(r.fpr[i], points[i].fpr, 1e-15) << "point " << i;
        EXPECT_NEAR(r.tpr[i], points[i].tpr, 1e-15) << "point " << i;
        EXPECT_EQ(r.thresholds[i], points[i].threshold) << "point " << i;
    }
}

// ---------------------------------------------------------------- hand cases

TEST(ROCAnalysis, SeparatedClassesGiveThePerfectCurve) {
    const ROCResult r = ROCAnalysis::compute({1, 2, 3}, {4, 5, 6});
    expectCurve(r, {{0, 0, 7},
                    {0, 1.0 / 3, 6},
                    {0, 2.0 / 3, 5},
                    {0, 1, 4},
                    {1.0 / 3, 1, 3},
                    {2.0 / 3, 1, 2},
                    {1, 1, 1}});
    EXPECT_TRUE(r.valid);
    EXPECT_TRUE(r.higherIsPositive);
    EXPECT_DOUBLE_EQ(r.auc, 1.0);
    EXPECT_EQ(r.optimalThreshold, 4.0);
    EXPECT_EQ(r.sensitivity, 1.0);
    EXPECT_EQ(r.specificity, 1.0);
    EXPECT_EQ(r.nNegative, 3);
    EXPECT_EQ(r.nPositive, 3);
}

TEST(ROCAnalysis, LowerScoresForPositivesFlipTheDirection) {
    const ROCResult r = ROCAnalysis::compute({4, 5, 6}, {1, 2, 3});
    EXPECT_TRUE(r.valid);
    EXPECT_FALSE(r.higherIsPositive);
    EXPECT_DOUBLE_EQ(r.auc, 1.0);
    EXPECT_EQ(r.optimalThreshold, 3.0);
    EXPECT_EQ(r.sensitivity, 1.0);
    EXPECT_EQ(r.specificity, 1.0);
    // Back in input units and ascending, from the smallest score - 1.
    expectCurve(r, {{0, 0, 0},
                    {0, 1.0 / 3, 1},
                    {0, 2.0 / 3, 2},
                    {0, 1, 3},
                    {1.0 / 3, 1, 4},
                    {2.0 / 3, 1, 5},
                    {1, 1, 6}});
}

TEST(ROCAnalysis, AllScoresEqualGiveTwoPointsAndTheFirstOptimum) {
    const ROCResult r = ROCAnalysis::compute({2, 2}, {2, 2, 2});
    expectCurve(r, {{0, 0, 3}, {1, 1, 2}});
    EXPECT_DOUBLE_EQ(r.auc, 0.5);
    EXPECT_TRUE(r.higherIsPositive);
    EXPECT_EQ(r.optimalThreshold, 3.0);
    EXPECT_EQ(r.sensitivity, 0.0);
    EXPECT_EQ(r.specificity, 1.0);
    EXPECT_TRUE(r.valid);
}

TEST(ROCAnalysis, TiesAcrossClassesCountHalf) {
    const ROCResult r = ROCAnalysis::compute({1, 2}, {2, 3});
    expectCurve(r, {{0, 0, 4}, {0, 0.5, 3}, {0.5, 1, 2}, {1, 1, 1}});
    EXPECT_DOUBLE_EQ(r.auc, 0.875);
}

TEST(ROCAnalysis, AnEmptyClassGivesTheInvalidDefault) {
    for (const auto& [neg, pos] : std::vector<std::pair<std::vector<double>, std::vector<double>>>{
             {{1, 2, 3}, {}}, {{}, {1, 2}}, {{}, {}}}) {
        const ROCResult r = ROCAnalysis::compute(neg, pos);
        EXPECT_FALSE(r.valid);
        EXPECT_EQ(r.auc, 0.5);
        EXPECT_TRUE(r.fpr.empty());
        EXPECT_TRUE(r.thresholds.empty());
        EXPECT_TRUE(r.higherIsPositive);
        EXPECT_EQ(r.nNegative, static_cast<int32_t>(neg.size()));
        EXPECT_EQ(r.nPositive, static_cast<int32_t>(pos.size()));
    }
}

TEST(ROCAnalysis, NonFiniteScoresAreLeftOut) {
    const ROCResult dirty = ROCAnalysis::compute({1, kNaN, 2}, {kNaN, 2, 3});
    const ROCResult clean = ROCAnalysis::compute({1, 2}, {2, 3});
    EXPECT_TRUE(dirty.valid);
    EXPECT_EQ(dirty.thresholds, clean.thresholds);
    EXPECT_EQ(dirty.auc, clean.auc);
    EXPECT_EQ(dirty.nNegative, 2);
    EXPECT_EQ(dirty.nPositive, 2);
    EXPECT_FALSE(ROCAnalysis::compute({kNaN}, {1, 2}).valid);
}

// ------------------------------------------------------------- combined LDA

TEST(ROCAnalysis, CombinedWithOneFeatureWeighsByTheInverseScatter) {
    // d = 5 - 2 = 3; S = 2 + 2 (sums of squared deviations of both classes).
    const CombinedROCResult r = ROCAnalysis::computeCombined({{1, 2, 3}}, {{4, 5, 6}}, {"area_um"});
    ASSERT_EQ(r.weights.size(), 1u);
    EXPECT_DOUBLE_EQ(r.weights[0], 3.0 / 4.0);
    EXPECT_EQ(r.featureNames, std::vector<std::string>{"area_um"});
    EXPECT_TRUE(r.valid);
    EXPECT_DOUBLE_EQ(r.auc, 1.0);
    EXPECT_DOUBLE_EQ(r.optimalThreshold, 4.0 * 0.75);
}

TEST(ROCAnalysis, CombinedWithIdenticalFeaturesFallsBackToEqualWeights) {
    const std::vector<double> neg = {1, 3, 2, 5};
    const std::vector<double> pos = {4, 6, 5, 7};
    const CombinedROCResult r = ROCAnalysis::computeCombined({neg, neg}, {pos, pos}, {"a", "b"});
    EXPECT_EQ(r.weights, (std::vector<double>{0.5, 0.5}));
    // The ROC of (x + x) * 0.5, i.e. of x itself.
    const ROCResult single = ROCAnalysis::compute(neg, pos);
    EXPECT_EQ(r.thresholds, single.thresholds);
    EXPECT_EQ(r.auc, single.auc);
}

TEST(ROCAnalysis, CombinedFlipsLikeASingleScore) {
    // A feature constant within both classes leaves the scatter singular.
    const CombinedROCResult r =
        ROCAnalysis::computeCombined({{5, 6, 7}, {1, 1, 1}}, {{1, 2, 3}, {1, 1, 1}}, {"a", "b"});
    EXPECT_EQ(r.weights, (std::vector<double>{0.5, 0.5}));
    EXPECT_FALSE(r.higherIsPositive);
    EXPECT_DOUBLE_EQ(r.auc, 1.0);
}

TEST(ROCAnalysis, CombinedWithoutDataIsInvalidButKeepsTheNames) {
    const std::vector<std::string> names = {"a", "b"};
    const CombinedROCResult cases[] = {
        ROCAnalysis::computeCombined({{1, 2}, {3, 4}}, {{}, {}}, names),
        ROCAnalysis::computeCombined({}, {{1, 2}, {3, 4}}, names),
        ROCAnalysis::computeCombined({{1, 2}}, {{3, 4}}, {}),
        // Fewer feature vectors than names cannot be combined.
        ROCAnalysis::computeCombined({{1, 2}}, {{3, 4}}, names),
    };
    for (const CombinedROCResult& r : cases) {
        EXPECT_FALSE(r.valid);
        EXPECT_EQ(r.auc, 0.5);
        EXPECT_TRUE(r.weights.empty());
        EXPECT_TRUE(r.fpr.empty());
    }
    EXPECT_EQ(cases[0].featureNames, names);
    EXPECT_EQ(cases[1].featureNames, names);
}

// ------------------------------------------------------------------ sklearn

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

std::vector<double> draw(std::mt19937_64& rng, size_t n, double shift, bool ties) {
    std::normal_distribution<double> normal(shift, 1.0);
    std::vector<double> v(n);
    for (double& x : v)
        x = ties ? std::round(normal(rng) * 2.0) / 2.0 : normal(rng);
    return v;
}

std::vector<double> words(const std::vector<std::string>& line, size_t from) {
    std::vector<double> v;
    for (size_t i = from; i < line.size(); ++i)
        v.push_back(oracleNumber(line[i]));
    return v;
}

TEST(ROCAnalysis, CurvesMatchSklearn) {
    std::mt19937_64 rng(99);
    std::vector<ROCResult> results;
    std::string input;
    for (int round = 0; round < 24; ++round) {
        const bool ties = round % 2 == 1;
        // Shifts of both signs, so about half the cases flip.
        const double shift = (round % 3 - 1) * 0.8 + 0.05 * round;
        const auto neg = draw(rng, 3 + static_cast<size_t>(round) % 9, 0.0, ties);
        const auto pos = draw(rng, 3 + static_cast<size_t>(round * 5) % 11, shift, ties);
        results.push_back(ROCAnalysis::compute(neg, pos));
        input += "ROC " + std::to_string(neg.size()) + " " + std::to_string(pos.size()) +
                 joined(neg) + joined(pos) + "\n";
    }
    const auto run = runPythonOracle(kOracle, input);
    ASSERT_EQ(run.status, 0) << "the sklearn oracle failed";
    ASSERT_EQ(run.lines.size(), results.size() * 4);
    int flipped = 0;
    for (size_t c = 0; c < results.size(); ++c) {
        SCOPED_TRACE("case " + std::to_string(c));
        const ROCResult& r = results[c];
        const auto& head = run.lines[4 * c];
        ASSERT_EQ(head.size(), 6u);
        const bool flip = head[1] == "1";
        flipped += flip;
        EXPECT_EQ(r.higherIsPositive, !flip);
        EXPECT_NEAR(r.auc, oracleNumber(head[3]), 1e-12);
        const auto fpr = words(run.lines[4 * c + 1], 1);
        const auto tpr = words(run.lines[4 * c + 2], 1);
        const auto thr = words(run.lines[4 * c + 3], 1);
        ASSERT_EQ(r.fpr.size(), fpr.size());
        for (size_t i = 0; i < fpr.size(); ++i) {
            EXPECT_NEAR(r.fpr[i], fpr[i], 1e-12);
            EXPECT_NEAR(r.tpr[i], tpr[i], 1e-12);
            EXPECT_NEAR(r.thresholds[i], thr[i], 1e-12);
        }
        const size_t best = static_cast<size_t>(std::stoi(head[5]));
        EXPECT_EQ(r.optimalThreshold, r.thresholds[best]);
        EXPECT_EQ(r.sensitivity, tpr[best]);
        EXPECT_NEAR(r.specificity, 1.0 - fpr[best], 1e-15);
    }
    EXPECT_GT(flipped, 3);
    EXPECT_LT(flipped, 21);
}

TEST(ROCAnalysis, CombinedWeightsMatchSklearnLda) {
    std::mt19937_64 rng(4242);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<CombinedROCResult> results;
    std::string input;
    for (int round = 0; round < 12; ++round) {
        const size_t k = 2 + static_cast<size_t>(round) % 3;
        const size_t nNeg = 6 + static_cast<size_t>(round) * 3;
        const size_t nPos = 5 + static_cast<size_t>(round * 7) % 17;
        std::vector<std::vector<double>> neg(k, std::vector<double>(nNeg));
        std::vector<std::vector<double>> pos(k, std::vector<double>(nPos));
        // Correlated features with different scales and class shifts.
        for (size_t i = 0; i < nNeg; ++i) {
            const double common = normal(rng);
            for (size_t j = 0; j < k; ++j)
                neg[j][i] = (j + 1.0) * (common + 0.7 * normal(rng));
        }
        for (size_t i = 0; i < nPos; ++i) {
            const double common = normal(rng);
            for (size_t j = 0; j < k; ++j)
                pos[j][i] = (j + 1.0) * (common + 0.7 * normal(rng)) + (j % 2 ? -0.6 : 0.9);
        }
        std::vector<std::string> names;
        std::string line =
            "LDA " + std::to_string(k) + " " + std::to_string(nNeg) + " " + std::to_string(nPos);
        for (size_t j = 0; j < k; ++j) {
            names.push_back("f" + std::to_string(j));
            line += joined(neg[j]);
        }
        for (size_t j = 0; j < k; ++j)
            line += joined(pos[j]);
        input += line + "\n";
        results.push_back(ROCAnalysis::computeCombined(neg, pos, names));
    }
    const auto run = runPythonOracle(kOracle, input);
    ASSERT_EQ(run.status, 0) << "the sklearn oracle failed";
    ASSERT_EQ(run.lines.size(), results.size());
    for (size_t c = 0; c < results.size(); ++c) {
        SCOPED_TRACE("case " + std::to_string(c));
        const CombinedROCResult& r = results[c];
        const auto& line = run.lines[c];
        const size_t k = r.featureNames.size();
        ASSERT_EQ(line.size(), k + 3);
        ASSERT_EQ(r.weights.size(), k);
        for (size_t j = 0; j < k; ++j) {
            const double expected = oracleNumber(line[1 + j]);
            EXPECT_NEAR(r.weights[j], expected, 1e-8 * std::abs(expected) + 1e-14);
        }
        EXPECT_TRUE(r.valid);
        EXPECT_NEAR(r.auc, oracleNumber(line[k + 2]), 1e-12);
    }
}

} // namespace
