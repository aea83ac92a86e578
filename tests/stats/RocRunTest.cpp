// The ROC tab's run without widgets: class choice, the refusals and their
// texts, replicate aggregation, datasets without a value, the table texts,
// and the distribution explorer's curves. Expected values are worked by hand
// in the comments; the curves themselves are checked against sklearn in
// StatsKernelsTest and the densities against numpy/scipy in StatsCoresTest.

#include "stats/RocRun.h"
#include "stats/DistributionRun.h"
#include "support/PythonOracle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Quorvex3;

namespace {

using Values = std::vector<std::optional<double>>;
using Strings = std::vector<std::string>;
const std::optional<double> kNone;

/// A class of datasets "<name>1", "<name>2", ... with one feature value each.
RocClassInput singleFeatureClass(const std::string& name, const Values& values,
                                 std::vector<int> ids = {}, std::vector<int> bioReps = {}) {
    RocClassInput input{name, {}, {}};
    for (std::size_t i = 0; i < values.size(); ++i) {
        input.datasetNames.push_back(name + std::to_string(i + 1));
        input.entries.push_back({i < ids.size() ? ids[i] : static_cast<int>(i) + 1,
                                 i < bioReps.size() ? bioReps[i] : 0,
                                 {values[i]}});
    }
    return input;
}

RocRunInput oneFeature(RocClassInput neg, RocClassInput pos, bool replicates = false,
                       bool rms = false) {
    return {std::move(neg), std::move(pos), {"area_um"}, {"Area [um^2]"}, replicates, rms};
}

// ================================================================= oracle

/// One class of an oracle RUN line: ids, biological replicates, values
/// entry-major (NaN: no value).
RocClassInput oracleClass(const std::string& name, const std::vector<double>& ids,
                          const std::vector<double>& bio, const std::vector<double>& values,
                          std::size_t k) {
    RocClassInput input{name, {}, {}};
    for (std::size_t e = 0; e < ids.size(); ++e) {
        RocEntryValues entry{static_cast<int>(ids[e]), static_cast<int>(bio[e]), {}};
        for (std::size_t f = 0; f < k; ++f) {
            const double v = values[e * k + f];
            entry.values.push_back(std::isnan(v) ? kNone : std::optional<double>(v));
        }
        input.datasetNames.push_back(name + std::to_string(e));
        input.entries.push_back(entry);
    }
    return input;
}

void expectRelative(double actual, double expected, double tolerance) {
    EXPECT_NEAR(actual, expected, tolerance * std::max(std::abs(expected), 1e-300));
}

// Whole runs (missing values, replicates with and without biological
// replicate numbers, mean and RMS, ties, flipped curves, the LDA on the
// complete samples) against tests/stats/roc_run_oracle.py: rates and
// thresholds 1e-12, AUC 1e-12, LDA weights 1e-12 relative.
TEST(RocRun, WholeRunsMatchSklearn) {
    const auto lines =
        Quorvex3::testing::runPythonOracle(std::string(QUORVEX3_TEST_DIR) + "/roc_run_oracle.py");
    ASSERT_FALSE(lines.empty());
    int runs = 0;
    RocRunOutcome outcome;
    std::size_t feature = 0;
    for (std::size_t l = 0; l < lines.size(); ++l) {
        const auto& [kind, g] = lines[l];
        SCOPED_TRACE("line " + std::to_string(l + 1) + " " + kind);
        if (kind == "RUN") {
            ++runs;
            const std::size_t k = static_cast<std::size_t>(g[0][2]);
            RocRunInput input{oracleClass("N", g[1], g[2], g[3], k),
                              oracleClass("P", g[4], g[5], g[6], k),
                              {},
                              {},
                              g[0][0] == 1.0,
                              g[0][1] == 1.0};
            for (std::size_t f = 0; f < k; ++f) {
                input.featureNames.push_back("f" + std::to_string(f));
                input.featureLabels.push_back("F" + std::to_string(f));
            }
            outcome = runRocAnalysis(input);
            feature = 0;
        } else if (kind == "ERR") {
            const std::string counts = "After replicate aggregation, there are " +
                                       std::to_string(static_cast<int>(g[0][0])) + " and " +
                                       std::to_string(static_cast<int>(g[0][1])) + " samples.";
            EXPECT_EQ(outcome.error.rfind("Each category needs at least 3 samples", 0), 0u);
            if (outcome.error.find("After") != std::string::npos) {
                EXPECT_NE(outcome.error.find(counts), std::string::npos) << outcome.error;
            }
        } else if (kind == "FEAT") {
            ASSERT_EQ(outcome.error, "");
            ASSERT_LT(feature, outcome.features.size());
            const ROCResult& r = outcome.features[feature++].result;
            EXPECT_EQ(r.nNegative, static_cast<int>(g[0][3]));
            EXPECT_EQ(r.nPositive, static_cast<int>(g[0][4]));
            if (g[0][0] < 0) {
                EXPECT_FALSE(r.valid);
                continue;
            }
            ASSERT_TRUE(r.valid);
            EXPECT_EQ(r.higherIsPositive, g[0][0] == 0.0);
            EXPECT_NEAR(r.auc, g[0][1], 1e-12);
            ASSERT_EQ(r.fpr.size(), g[1].size());
            for (std::size_t i = 0; i < r.fpr.size(); ++i) {
                EXPECT_NEAR(r.fpr[i], g[1][i], 1e-12);
                EXPECT_NEAR(r.tpr[i], g[2][i], 1e-12);
                expectRelative(r.thresholds[i], g[3][i], 1e-12);
            }
            expectRelative(r.optimalThreshold, g[3][static_cast<std::size_t>(g[0][2])], 1e-12);
        } else if (kind == "LDA") {
            ASSERT_TRUE(outcome.combined);
            const CombinedROCResult& c = *outcome.combined;
            EXPECT_EQ(c.nNegative, static_cast<int>(g[0][1]));
            EXPECT_EQ(c.nPositive, static_cast<int>(g[0][2]));
            if (g[0][0] < 0)
                continue;
            ASSERT_EQ(c.weights.size(), g[1].size());
            for (std::size_t j = 0; j < c.weights.size(); ++j)
                expectRelative(c.weights[j], g[1][j], 1e-12);
            EXPECT_NEAR(c.auc, g[0][0], 1e-12);
        }
    }
    EXPECT_EQ(runs, 40);
}

// ============================================================ class choice

// Names resolve to the first category bearing them; the positive choice
// leaves out the negative's position (not every category of its name).
TEST(RocRun, ClassChoiceAndDuplicateNames) {
    const Strings names = {"A", "B", "A", "C"};
    EXPECT_EQ(categoryIndexOfName(names, "A"), 0);
    EXPECT_EQ(categoryIndexOfName(names, "C"), 3);
    EXPECT_EQ(categoryIndexOfName(names, "a"), -1);
    EXPECT_EQ(positiveClassChoices({"A", "B", "C"}, 1), (Strings{"A", "C"}));
    EXPECT_EQ(positiveClassChoices(names, 0), (Strings{"B", "A", "C"}));
}

// ================================================================ refusals

TEST(RocRun, RefusalsAndCountTexts) {
    const std::string tooFew = "Each category needs at least 3 samples for ROC analysis. ";
    struct Case {
        const char* what;
        RocRunInput input;
        std::string error;
    };
    RocRunInput noFeature = oneFeature(singleFeatureClass("N", {1.0, 2.0, 3.0}),
                                       singleFeatureClass("P", {4.0, 5.0, 6.0}));
    noFeature.featureNames.clear();
    noFeature.featureLabels.clear();
    const Case cases[] = {
        {"no feature", noFeature, "Select at least one feature."},
        {"two datasets, no replicates",
         oneFeature(singleFeatureClass("N", {1.0, 2.0}), singleFeatureClass("P", {4.0, 5.0, 6.0})),
         tooFew},
        // three datasets sharing ID 1 are one subject: negative first
        {"one subject after aggregation",
         oneFeature(singleFeatureClass("N", {1.0, 2.0, 3.0}, {1, 1, 1}),
                    singleFeatureClass("P", {4.0, 5.0, 6.0, 7.0}), true),
         tooFew + "After replicate aggregation, there are 1 and 4 samples."},
        {"unassigned ID in the positive class",
         oneFeature(singleFeatureClass("N", {1.0, 2.0, 3.0}),
                    singleFeatureClass("P", {4.0, 5.0, 6.0}, {1, 0, 2}), true),
         "Replicates are enabled but some datasets have no ID assigned. Double-click datasets "
         "to assign IDs."},
        // a dataset without a value is no sample of 0.0: two are left
        {"missing value leaves too few",
         oneFeature(singleFeatureClass("N", {1.0, kNone, 3.0}),
                    singleFeatureClass("P", {4.0, 5.0, 6.0})),
         tooFew},
        {"missing value, with replicates",
         oneFeature(singleFeatureClass("N", {1.0, 2.0, 3.0}),
                    singleFeatureClass("P", {kNone, 5.0, 6.0, 7.0}, {1, 2, 3, 3}), true),
         tooFew + "After replicate aggregation, there are 3 and 2 samples."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const RocRunOutcome outcome = runRocAnalysis(c.input);
        EXPECT_EQ(outcome.error, c.error);
        EXPECT_TRUE(outcome.features.empty() && !outcome.combined && outcome.leftOut.empty());
    }
    // Unassigned IDs do not matter without replicates.
    EXPECT_EQ(runRocAnalysis(oneFeature(singleFeatureClass("N", {1.0, 2.0, 3.0}, {0, 0, 0}),
                                        singleFeatureClass("P", {4.0, 5.0, 6.0}, {0, 0, 0})))
                  .error,
              "");
}

// ============================================================== replicates

// Subject 1 has (ID, BR) (1,1), (1,1), (1,2) with 1, 3, 8: technical
// replicates give 2 and 8, the subject 5; with the RMS sqrt(5) and 8, then
// sqrt((5 + 64) / 2). Samples come out by ID: IDs 3, 1, 2 in list order.
TEST(RocRun, ReplicatesAggregateBeforeTheCurve) {
    const RocClassInput neg = singleFeatureClass("N", {0.5, 1.5, 2.5});
    for (bool rms : {false, true}) {
        SCOPED_TRACE(rms ? "rms" : "mean");
        const RocClassInput pos =
            singleFeatureClass("P", {30.0, 1.0, 3.0, 8.0, 20.0}, {3, 1, 1, 1, 2}, {0, 1, 1, 2, 0});
        const RocRunOutcome outcome = runRocAnalysis(oneFeature(neg, pos, true, rms));
        ASSERT_EQ(outcome.error, "");
        ASSERT_EQ(outcome.features.size(), 1u);
        const ROCResult& r = outcome.features[0].result;
        EXPECT_EQ(r.nPositive, 3);
        EXPECT_EQ(r.nNegative, 3);
        const double subject1 = rms ? std::sqrt((5.0 + 64.0) / 2.0) : 5.0;
        // descending: 31 (start), 30, 20, subject 1, 2.5, 1.5, 0.5
        ASSERT_EQ(r.thresholds.size(), 7u);
        EXPECT_EQ(r.thresholds[3], subject1);
        EXPECT_EQ(r.optimalThreshold, subject1);
        EXPECT_EQ(r.auc, 1.0);
    }
}

// =========================================================== missing values

// A dataset without a value leaves that feature only; the LDA takes the
// samples with every feature, aligned; one warning names the datasets.
TEST(RocRun, DatasetsWithoutValueAreLeftOutAndNamed) {
    RocRunInput input;
    input.featureNames = {"a", "b"};
    input.featureLabels = {"Feature A", "Feature B"};
    input.negative = {
        "Base",
        {"n1", "n2", "n3", "n4"},
        {{1, 0, {1.0, 10.0}}, {2, 0, {2.0, kNone}}, {3, 0, {3.0, 30.0}}, {4, 0, {4.0, 40.0}}}};
    input.positive = {
        "Cond",
        {"p1", "p2", "p3", "p4"},
        {{1, 0, {kNone, 15.0}}, {2, 0, {6.0, 25.0}}, {3, 0, {7.0, 35.0}}, {4, 0, {8.0, 45.0}}}};
    const RocRunOutcome outcome = runRocAnalysis(input);
    ASSERT_EQ(outcome.error, "");
    ASSERT_EQ(outcome.features.size(), 2u);
    EXPECT_EQ(outcome.features[0].result.nNegative, 4);
    EXPECT_EQ(outcome.features[0].result.nPositive, 3);
    EXPECT_EQ(outcome.features[0].result.auc, 1.0); // a 0.0 for p1 would cost AUC
    EXPECT_EQ(outcome.features[1].result.nNegative, 3);
    EXPECT_EQ(outcome.features[1].result.nPositive, 4);
    ASSERT_TRUE(outcome.combined);
    EXPECT_EQ(outcome.combined->nNegative, 3); // n1, n3, n4
    EXPECT_EQ(outcome.combined->nPositive, 3); // p2, p3, p4
    EXPECT_TRUE(outcome.combined->valid);
    // Aligned: the combined scores are w . (a, b) of the same datasets, so
    // its LDA matches one run on the complete samples alone.
    const CombinedROCResult alone = ROCAnalysis::computeCombined(
        {{1, 3, 4}, {10, 30, 40}}, {{6, 7, 8}, {25, 35, 45}}, {"a", "b"});
    EXPECT_EQ(outcome.combined->weights, alone.weights);
    EXPECT_EQ(outcome.combined->thresholds, alone.thresholds);
    EXPECT_EQ(outcome.leftOut,
              "These datasets have no value for a feature (the feature is missing, or none of "
              "their shown events has a finite value) and were left out of that feature's ROC "
              "analysis:\n\nFeature A \xE2\x80\x94 Cond: p1\nFeature B \xE2\x80\x94 Base: n2"
              "\n\nThe combined (LDA) score uses only the samples that have a value for every "
              "feature.");

    input.negative.entries[1].values[1] = 20.0;
    input.positive.entries[0].values[0] = 5.0;
    EXPECT_EQ(runRocAnalysis(input).leftOut, "");
}

// One feature: no combined result; two: one, even when it is not valid
// (no sample of the positive class has both values).
TEST(RocRun, CombinedOnlyWithTwoFeatures) {
    EXPECT_FALSE(runRocAnalysis(oneFeature(singleFeatureClass("N", {1.0, 2.0, 3.0}),
                                           singleFeatureClass("P", {4.0, 5.0, 6.0})))
                     .combined);
    RocRunInput input;
    input.featureNames = {"a", "b"};
    input.featureLabels = {"A", "B"};
    input.negative = {
        "N", {"1", "2", "3"}, {{1, 0, {1.0, 1.0}}, {2, 0, {2.0, 3.0}}, {3, 0, {3.0, 2.0}}}};
    input.positive = {
        "P", {"4", "5", "6"}, {{1, 0, {4.0, kNone}}, {2, 0, {5.0, kNone}}, {3, 0, {6.0, kNone}}}};
    const RocRunOutcome outcome = runRocAnalysis(input);
    ASSERT_TRUE(outcome.combined);
    EXPECT_FALSE(outcome.combined->valid);
    EXPECT_FALSE(outcome.features[1].result.valid);
    EXPECT_EQ(rocTableCells(outcome.features[1].result, "P"), Strings(7, "n/a"));
}

// ============================================================== table texts

TEST(RocRun, TableTexts) {
    EXPECT_EQ(rocTableHeader("Baseline", "Condition 1"),
              (Strings{"Feature", "AUC", "Direction", "Optimal Threshold", "Sensitivity",
                       "Specificity", "N Baseline", "N Condition 1"}));
    // negatives 1, 2, 4 and positives 3, 5, 6: AUC 8/9; J is 2/3 at 5 (tpr
    // 2/3, fpr 0) and 1 - 1/3 at 3, one ulp more in doubles: the two are
    // equal, so the first (5) wins.
    EXPECT_EQ(rocTableCells(ROCAnalysis::compute({1, 2, 4}, {3, 5, 6}), "Cond"),
              (Strings{"0.889", "> (higher = Cond)", "5", "0.667", "1.000", "3", "3"}));
    // the positive class lower: flipped, threshold in input units
    EXPECT_EQ(rocTableCells(ROCAnalysis::compute({10.5, 20.25, 30, 40}, {1.23456, 2, 3}), "Cond"),
              (Strings{"1.000", "< (lower = Cond)", "3", "1.000", "1.000", "4", "3"}));
    EXPECT_EQ(rocTableCells(ROCAnalysis::compute({1234567, 2, 3}, {0.000123456, 1, 1}), "X")[2],
              "1");
    EXPECT_EQ(rocTableCells(ROCAnalysis::compute({1, 2}, {12345.6, 12346}), "X")[2], "1.235e+04");
    EXPECT_EQ(combinedRocTitle({"Area", "Deformation", "c"}, {0.000123456, 12345.6, -1.5}),
              "Combined (LDA)\nWeights: Area: 0.000123, Deformation: 1.23e+04, c: -1.5");
}

// ============================================================= distribution

using Samples = std::vector<DistributionSample>;

TEST(DistributionRun, CurvesPerSampleAndPerCategory) {
    // A dataset in two categories contributes to both; category 2 has one
    // sample (mean, no band), category 3 none.
    const std::vector<double> a = {1.0, 2.0, 2.5, 3.0, 7.0};
    const Samples samples = {{a, "a", 0}, {{4.0, 5.0, 5.5}, "b", 0}, {a, "a", 1}, {{6.0}, "c", 2}};
    const DistributionCurves curves = computeDistributionCurves(samples, 4);
    ASSERT_EQ(curves.status, DistributionStatus::Ready);
    // min 1, max 7: R 6, start 0.7, step (7.3 - 0.7) / 255
    EXPECT_DOUBLE_EQ(curves.grid.start, 0.7);
    EXPECT_DOUBLE_EQ(curves.grid.step, 6.6 / 255);
    ASSERT_EQ(curves.x.size(), 256u);
    EXPECT_DOUBLE_EQ(curves.x[255], 7.3);
    ASSERT_EQ(curves.densities.size(), 4u);
    for (const auto& d : curves.densities) {
        double integral = 0.0;
        for (double v : d)
            integral += v * curves.grid.step;
        EXPECT_NEAR(integral, 1.0, 1e-12);
    }
    EXPECT_EQ(curves.densities[0], estimateDensityCurve(a, 6.0, curves.grid.step, 0.7));
    ASSERT_EQ(curves.categories.size(), 4u);
    EXPECT_EQ(curves.categories[1].mean, curves.densities[2]);
    EXPECT_TRUE(curves.categories[1].upper.empty());
    EXPECT_EQ(curves.categories[2].mean, curves.densities[3]);
    EXPECT_TRUE(curves.categories[3].mean.empty());
    const DensityAverage& first = curves.categories[0];
    ASSERT_EQ(first.upper.size(), 256u);
    const auto outline = densityBandOutline(curves.x, first);
    ASSERT_EQ(outline.size(), 512u);
    EXPECT_EQ(outline[0], std::make_pair(curves.x[0], first.upper[0]));
    EXPECT_EQ(outline[256], std::make_pair(curves.x[255], first.lower[255]));
    EXPECT_EQ(outline[511], std::make_pair(curves.x[0], first.lower[0]));
    for (std::size_t g = 0; g < 256; ++g) {
        const double m = (curves.densities[0][g] + curves.densities[1][g]) / 2;
        EXPECT_NEAR(first.mean[g], m, 1e-15);
        EXPECT_GE(first.lower[g], 0.0);
        EXPECT_NEAR(first.upper[g] - m, std::abs(curves.densities[0][g] - m) * std::sqrt(2.0),
                    1e-12);
    }
}

// Each sample alone spans a finite range, together they overflow: no plot,
// and the window warns. No finite value at all: no plot, silently.
TEST(DistributionRun, OverflowAndNoData) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(computeDistributionCurves({{{-1e308, -1e307}, "a", 0}, {{1e308}, "b", 1}}, 2).status,
              DistributionStatus::Overflow);
    EXPECT_EQ(computeDistributionCurves({}, 2).status, DistributionStatus::NoData);
    EXPECT_EQ(computeDistributionCurves({{{inf, std::nan("")}, "a", 0}}, 1).status,
              DistributionStatus::NoData);
    // All values equal: the grid spans [v - 0.05, v + 1.05].
    const DistributionCurves flat = computeDistributionCurves({{{3.0, 3.0}, "a", 0}}, 1);
    ASSERT_EQ(flat.status, DistributionStatus::Ready);
    EXPECT_DOUBLE_EQ(flat.x.front(), 2.95);
    EXPECT_DOUBLE_EQ(flat.x.back(), 4.05);
}

} // namespace
