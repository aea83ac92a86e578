#pragma once

// The group comparison of the evaluation window without the window: checks
// of the categories and settings, one summary value per dataset and feature,
// replicate aggregation, the rank tests, the correction of the test family,
// the results table as text and the inputs of the group plots. Texts are
// UTF-8; the window only shows them.

#include "stats/DatasetSummary.h"
#include "stats/GroupComparison.h"
#include "stats/TestResult.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace Quorvex3 {

/// One dataset in a category, as the comparison reads it (0 or less: no ID).
struct ComparisonEntry {
    int datasetId = -1;
    std::string displayName;
    int numberId = 0;
    int bioRepId = 0;
};

struct ComparisonCategory {
    std::string name;
    std::vector<ComparisonEntry> entries;
};

/// The window's controls at the start of a run.
struct ComparisonSettings {
    std::vector<std::string> features;      ///< selected feature names, in selection order
    std::vector<std::string> featureLabels; ///< display labels, parallel; a missing one is the name
    SummaryStatistic summary = SummaryStatistic::Median;
    bool replicates = false; ///< "Replicates included"
    bool matched = false;    ///< design "Repeated measures / Matched"
    double alpha = 0.05;
    MultipleCorrection correction = MultipleCorrection::Holm;
    std::string correctionText = "Holm-Bonferroni"; ///< as the choice box shows it
};

/// The message that stops the run before anything changes, if any.
std::optional<std::string> validateComparison(const std::vector<ComparisonCategory>& categories,
                                              const ComparisonSettings& settings);

/// The warning that refuses a run while a dataset sits in more than one
/// category: the tests would count it as independent samples of each. Names
/// every such dataset with its categories, in the order of first appearance;
/// empty when no dataset does.
std::optional<std::string>
datasetsInSeveralCategories(const std::vector<ComparisonCategory>& categories);

/// Whether every category has at least one entry, every numberId is at
/// least 1 and all categories share one set of IDs (two categories at least).
bool comparisonPairingValid(const std::vector<ComparisonCategory>& categories);

/// The Yes/No question asked in the matched design when no test of the run
/// can reach significance; empty when it is reachable or the design is
/// independent. Run after validateComparison has passed.
std::optional<std::string> reachabilityQuestion(const std::vector<ComparisonCategory>& categories,
                                                const ComparisonSettings& settings);

/// One pair of categories compared after the omnibus test.
struct PairwiseComparison {
    int first = 0;
    int second = 1;
    TestResult result;
    std::string testName;
    std::string stars; ///< empty when the test is not valid
};

/// Everything one feature contributes to the table and its plot.
struct FeatureComparison {
    std::string feature;
    std::string label;
    /// Per category: the values of the table's mean ± SD and of the dots:
    /// aggregated per ID in the independent design with replicates, else one
    /// per dataset with a value. Datasets without a value are left out.
    std::vector<std::vector<double>> categoryValues;
    std::vector<std::vector<std::string>> pointLabels; ///< parallel to categoryValues
    /// Matched design only: per category numberId -> value.
    std::vector<std::map<int, double>> matchedValues;
    TestResult omnibus;
    std::string omnibusName;
    std::string omnibusStars; ///< for a feature without pairwise comparisons
    std::vector<PairwiseComparison> pairwise;
};

/// A dataset left out of one feature because it has no value there.
struct OmittedDataset {
    std::string featureLabel;
    std::string categoryName;
    std::string displayName;
};

struct ComparisonOutcome {
    std::vector<FeatureComparison> features;
    std::vector<CorrectedTest> family; ///< after the correction
    std::vector<OmittedDataset> omitted;
};

/// The summary value of a dataset's feature; empty when there is none.
using SummaryProvider = std::function<std::optional<double>(int datasetId, const std::string& feature)>;

/// Tests every selected feature (after validation). The provider is asked
/// once per entry and feature, in category, entry and feature order.
ComparisonOutcome runComparison(const std::vector<ComparisonCategory>& categories,
                                const ComparisonSettings& settings,
                                const SummaryProvider& summaryOf);

/// One cell of the results table.
struct TableCell {
    std::string text;
    bool alignRight = false; ///< numbers: right-aligned, vertically centred
};

struct ComparisonTable {
    std::vector<std::string> header;       ///< "Feature", the categories, "Test", "p", "Sig. ..."
    std::vector<std::vector<TableCell>> rows; ///< every row has header.size() cells
};

/// The header of the table as it stands before any test has run.
std::vector<std::string> comparisonTableFrame(const std::vector<std::string>& categoryNames);

ComparisonTable buildComparisonTable(const ComparisonOutcome& outcome,
                                     const std::vector<std::string>& categoryNames,
                                     const ComparisonSettings& settings);

/// A bracket between two categories with its stars.
struct SignificanceBar {
    int first = 0;
    int second = 1;
    std::string stars;
};

/// The brackets of a feature's plot: its own test, or its valid pairwise
/// tests, wherever the mark is not "ns".
std::vector<SignificanceBar> significanceBars(const FeatureComparison& comparison);

/// The one warning after the results naming every dataset left out, or
/// empty when none was.
std::string omittedDatasetsMessage(const std::vector<OmittedDataset>& omitted);

/// Mean and sample SD (n - 1; 0 below two values) as the table shows them.
std::string meanSdText(const std::vector<double>& values);

} // namespace Quorvex3
