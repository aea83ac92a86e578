#pragma once

#include "stats/TestResult.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace Quorvex3 {

/// One dataset's value in a category with its replicate numbers (0 or less:
/// not assigned). An empty value is a dataset without a summary value.
struct ReplicateSample {
    int numberId = 0;
    int bioRepId = 0;
    std::optional<double> value;
};

/// Mean of the values, or their root mean square sqrt(sum x^2 / n) when
/// `rootMeanSquare` is set (standard deviations are pooled that way). A single
/// value is returned unchanged; NaN for none.
double reduceReplicateValues(const std::vector<double>& values, bool rootMeanSquare);

/// Replicate aggregation of one category: the values are reduced first within
/// each (numberId, bioRepId) group (technical replicates of one biological
/// replicate; bioRepId 0 is a group of its own), then within each numberId.
/// `byBioRep` false reduces in one level within each numberId. Samples
/// without a value are left out before reducing; an ID none of whose samples
/// has a value does not appear. Result: numberId -> value, ascending.
std::map<int, double> aggregateReplicates(const std::vector<ReplicateSample>& samples,
                                          bool rootMeanSquare, bool byBioRep = true);

/// The values of a map in ascending key order.
std::vector<double> mapValues(const std::map<int, double>& byId);

/// Multiple-comparison correction of the test family, by its choice text.
enum class MultipleCorrection { Bonferroni, Holm, None };

/// "Bonferroni", "Holm-Bonferroni"; anything else is None ("None (discouraged)").
MultipleCorrection correctionFromText(const std::string& text);

/// One member of the test family with its outcome.
struct CorrectedTest {
    int featureIndex = 0;
    int pairIndex = -1; ///< -1 for an omnibus test
    double pValue = 1.0;
    double threshold = 0.0; ///< the test's effective significance level
    std::string stars;      ///< "***", "**", "*", "ns"; empty for an invalid test
    bool valid = false;     ///< false for a non-finite p-value: never ranked or marked
};

/// The family of one run: per feature, its omnibus test when it has no
/// pairwise comparisons, else its pairwise comparisons; invalid tests stay
/// out. `pairwise[f]` may be empty; missing entries count as empty.
std::vector<CorrectedTest> buildTestFamily(const std::vector<TestResult>& omnibus,
                                           const std::vector<std::vector<TestResult>>& pairwise);

/// Indices of the finite p-values in ascending p order; equal p-values keep
/// their input order (stable). Non-finite ones are left out, never sorted.
std::vector<int> sortTestsByPValue(const std::vector<double>& pValues);

/// Sets threshold, stars and validity of every member. A member whose p-value
/// is not finite is invalid and does not count in m, the number of valid ones.
/// Bonferroni (m >= 2): every threshold alpha/m. Holm (m >= 2) is step-down:
/// in ascending p order the member at position i (threshold alpha/(m - i))
/// is rejected while p < alpha/(m - i); from the first one that is not, it
/// and every later member are "ns". A rejected member's stars are those of
/// its Holm-adjusted p-value, max over j <= i of min(1, (m - j) p_(j)),
/// against alpha (at least "*"), so stars never grow with p and ties share
/// them. Otherwise stars use the member's own threshold.
/// None, or m < 2: every threshold is alpha.
void applyCorrection(std::vector<CorrectedTest>& family, double alpha,
                     MultipleCorrection correction);

/// The smallest two-sided p-value the Wilcoxon signed-rank test can give
/// with n non-zero differences (W = 0, normal approximation); 1 for n < 1.
double wilcoxonMinimumP(int n);

/// Whether significance can be reached at all in a matched design.
struct ReachabilityCheck {
    double pMin = 1.0;              ///< wilcoxonMinimumP(n)
    double effectiveAlpha = 0.0;    ///< alpha/T with Bonferroni and T >= 2, else alpha
    bool bonferroniApplied = false; ///< whether the division by T was made
    bool reachable = true;          ///< false when effectiveAlpha < pMin
};

/// n matched observations; T = featureCount * C(C - 1)/2 tests for C categories.
ReachabilityCheck checkReachability(int n, double alpha, MultipleCorrection correction,
                                    int featureCount, int categoryCount);

} // namespace Quorvex3
