#pragma once

#include <string>
#include <vector>

namespace Quorvex3 {

/// The choices of one statistical summary export: which features of which
/// datasets go to which file, and which statistics the table holds. The main
/// window keeps the last accepted one and offers it again next time.
struct StatSummaryResult {
    /// Scalar feature names in the order they were chosen.
    std::vector<std::string> features;
    /// True: every loaded dataset; false: the active dataset only.
    bool allDatasets = false;
    /// The output file (UTF-8).
    std::string outputPath;
    /// Which statistics the table holds.
    bool includeN = true;
    bool includeMedian = true;
    bool includeIQR = false;
    bool includeMean = true;
    bool includeSD = true;
    bool includeSEM = false;
    bool includeQ1 = false;
    bool includeQ3 = false;
    bool includeMin = false;
    bool includeMax = false;
    bool includeCV = false;
    bool includeSkewness = false;
    bool includePercentile = false;
    /// Percentile in per cent written by the Percentile statistic.
    double percentile = 95.0;
};

} // namespace Quorvex3
