#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Quorvex3 {

/// Receiver operating characteristic of one score separating a negative
/// (reference) class from a positive class. Point i is (fpr[i], tpr[i]) at
/// thresholds[i]; the three vectors always have the same length.
struct ROCResult {
    std::vector<double> fpr;
    std::vector<double> tpr;
    std::vector<double> thresholds; ///< in score units
    double auc = 0.5;
    double optimalThreshold = 0.0; ///< threshold of the Youden optimum
    double sensitivity = 0.0;      ///< true-positive rate at the optimum
    double specificity = 0.0;      ///< 1 - false-positive rate at the optimum
    int32_t nPositive = 0;
    int32_t nNegative = 0;
    bool valid = false;
    /// True: a score at or above a threshold counts as positive. False: the
    /// curve was built on negated scores, so at or below counts as positive
    /// and the thresholds ascend.
    bool higherIsPositive = true;
};

/// The ROC of a combined linear-discriminant score, with its weights.
struct CombinedROCResult : ROCResult {
    std::vector<double> weights;           ///< one per feature, in feature order
    std::vector<std::string> featureNames; ///< as passed in
};

/// ROC analysis of one score and of an LDA combination of several.
/// Stateless and pure; callable from any thread. The window passes finite
/// values only; a non-finite score (or a sample with a non-finite feature
/// value) is left out, and the counts are those of the samples kept.
class ROCAnalysis {
public:
    ROCAnalysis() = delete;

    /// ROC of higher-is-positive scores; when that gives an AUC below 0.5 the
    /// curve of the negated scores is returned instead (thresholds back in
    /// input units), so a valid result has an AUC of at least 0.5. Invalid
    /// (no points, AUC 0.5) when either class is empty.
    static ROCResult compute(const std::vector<double>& negatives,
                             const std::vector<double>& positives);

    /// Fisher LDA of k features: weights w solving S w = mean(pos) - mean(neg)
    /// with S the pooled within-class scatter (sums of products of
    /// deviations, not divided by counts), then compute() of the scores
    /// sum_j w[j] * value[j]. Inputs are feature-major: [feature][sample].
    /// A singular S (pivot below 1e-15) gives equal weights 1/k.
    static CombinedROCResult computeCombined(const std::vector<std::vector<double>>& negByFeature,
                                             const std::vector<std::vector<double>>& posByFeature,
                                             const std::vector<std::string>& featureNames);
};

} // namespace Quorvex3
