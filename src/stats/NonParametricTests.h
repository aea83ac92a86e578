#pragma once

#include "stats/TestResult.h"

#include <vector>

namespace Quorvex3 {

/// Rank-based tests of the group comparison, with p-values from the normal
/// approximation (no tie or continuity correction) or from the chi-squared
/// distribution. Stateless and pure; callable from any thread.
///
/// Values that are not finite are dropped before ranking (NaN has no place
/// in an ordering); the size guards then apply to what is left. In the
/// matched tests a block with a non-finite value is dropped as a whole.
class NonParametricTests {
public:
    NonParametricTests() = delete;

    /// 1-based rank of each value in input order; ties share their average
    /// rank. NaN gets the rank NaN and takes no place among the others.
    static std::vector<double> computeRanks(const std::vector<double>& values);

    /// Two-sided tail probability of a standard normal deviate z.
    static double normalSurvival2Tail(double z);

    /// ln Gamma(x) for x > 0 (six-term Lanczos series, about 1e-10 relative).
    static double lnGamma(double x);

    /// Regularized upper incomplete gamma function Q(a, x), a > 0; 1 for
    /// x <= 0, NaN for a <= 0 or a NaN argument.
    static double upperIncGammaReg(double a, double x);

    /// P(chi-squared with df degrees of freedom > x); 1 for x <= 0.
    static double chiSquaredSurvival(double x, double df);

    /// Mann-Whitney U of two independent samples (each at least 3 values).
    /// The statistic is the smaller of U_x and U_y.
    static TestResult mannWhitneyU(const std::vector<double>& x, const std::vector<double>& y);

    /// Wilcoxon signed-rank test of paired differences (at least 3 non-zero).
    /// The statistic is the smaller of W+ and W-.
    static TestResult wilcoxonSignedRank(const std::vector<double>& differences);

    /// Kruskal-Wallis H of two or more independent groups (each at least 3).
    static TestResult kruskalWallis(const std::vector<std::vector<double>>& groups);

    /// Friedman test: one vector per treatment, position i of every vector
    /// belongs to block i; at least 2 treatments, 3 blocks, equal sizes.
    static TestResult friedman(const std::vector<std::vector<double>>& groups);
};

} // namespace Quorvex3
