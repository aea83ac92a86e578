#pragma once

namespace Quorvex3 {

/// Outcome of one non-parametric test. A test that cannot run (too few
/// values, mismatched groups) keeps the defaults: statistic 0, p 1, not valid.
struct TestResult {
    double statistic = 0.0; ///< U, W, H or the Friedman chi-squared value
    double pValue = 1.0;    ///< two-sided, in [0, 1]
    bool valid = false;     ///< false when the test could not run
};

} // namespace Quorvex3
