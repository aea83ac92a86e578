#pragma once

#include "stats/ROCAnalysis.h"
#include "stats/RocSamples.h"

#include <optional>
#include <string>
#include <vector>

namespace Quorvex3 {

/// One class (category) of a ROC run: its name and, per dataset entry in
/// list order, the display name and the replicate numbers with one summary
/// value per selected feature (empty: the dataset has no value for it).
/// Texts are UTF-8.
struct RocClassInput {
    std::string name;
    std::vector<std::string> datasetNames;
    std::vector<RocEntryValues> entries; ///< same order and length as datasetNames
};

/// What the ROC tab runs on: the two classes, the selected features with
/// their labels (same order) and the replicate options.
struct RocRunInput {
    RocClassInput negative;
    RocClassInput positive;
    std::vector<std::string> featureNames;
    std::vector<std::string> featureLabels;
    bool replicates = false;     ///< aggregate per numberId
    bool rootMeanSquare = false; ///< RMS instead of the mean (the SD summary)
};

/// One feature's row of the run.
struct RocFeatureOutcome {
    std::string name;
    std::string label;
    ROCResult result;
};

/// The outcome of a run. With `error` set the run stopped at that message
/// and nothing else is filled.
struct RocRunOutcome {
    std::string error;
    std::vector<RocFeatureOutcome> features;
    /// Present with two or more features (also when not valid).
    std::optional<CombinedROCResult> combined;
    /// The one warning naming the datasets left out of a feature because they
    /// have no value for it; empty when every dataset has every value.
    std::string leftOut;
};

/// Position of the first category named exactly `name` (case-sensitive), or
/// -1: two categories of one name always resolve to the first.
int categoryIndexOfName(const std::vector<std::string>& names, const std::string& name);

/// The names offered for the positive class: all but the one at `negativeIndex`.
std::vector<std::string> positiveClassChoices(const std::vector<std::string>& names,
                                              int negativeIndex);

/// Whether some entry of the class has no subject number (numberId below 1).
bool replicateIdsMissing(const RocClassInput& input);

/// The run after the class choice: checks the features, the replicate IDs of
/// both classes and the sample count of the first feature (counting only the
/// samples that have a value), then the per-feature ROC and, with two or more
/// features, the LDA combination over the samples that have every feature.
/// Messages are the window's texts.
RocRunOutcome runRocAnalysis(const RocRunInput& input);

/// The 8 header labels of the ROC table.
std::vector<std::string> rocTableHeader(const std::string& negativeName,
                                        const std::string& positiveName);

/// Columns 1 to 7 of one ROC table row: "n/a" for an invalid result, else the
/// AUC (3 decimals), the direction naming the positive class, the optimal
/// threshold (4 significant digits), sensitivity and specificity (3
/// decimals) and the negative and positive counts.
std::vector<std::string> rocTableCells(const ROCResult& result, const std::string& positiveName);

/// "Combined (LDA)\nWeights: <label>: <w>, ..." with each weight to 3
/// significant digits.
std::string combinedRocTitle(const std::vector<std::string>& labels,
                             const std::vector<double>& weights);

} // namespace Quorvex3
