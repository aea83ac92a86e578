#pragma once

#include <optional>
#include <string>
#include <vector>

namespace Quorvex3 {

/// How the evaluation window reduces one dataset's shown events to one value;
/// the numbers are the indices of its "Dataset summary:" box.
enum class SummaryStatistic {
    Median = 0,
    Mean = 1,
    StandardDeviation = 2,
    CoefficientOfVariation = 3, ///< a ratio, not a percentage
    InterquartileRange = 4,     ///< x[3n/4] - x[n/4] of the sorted values, no interpolation
};

/// The statistic of a summary-box index; any index out of range is the median.
SummaryStatistic summaryStatisticFromIndex(int index);

/// The y axis title of a plot of per-dataset summary values of a feature:
/// "Median of Area [um^2]", "Mean of ...", "SD of ...", "IQR of ...", and
/// "CV of Area" without the unit, the coefficient of variation being a ratio.
/// The unit is a trailing " [...]" of the label. UTF-8.
std::string summaryAxisTitle(SummaryStatistic statistic, const std::string& featureLabel);

/// The finite values of `column` at the `shown` event indices, in index order.
/// Indices outside the column (a short or empty column) are skipped, so a
/// column shorter than the event count is read only inside its length.
std::vector<double> collectShownFiniteValues(const std::vector<double>& column,
                                             const std::vector<int>& shown);

/// Reduces finite values to one number. The vector is reordered in place
/// (partial selection, no full sort). Empty for an empty vector. Equal
/// values have an SD and a CV of exactly 0.
std::optional<double> summarizeValues(std::vector<double>& values, SummaryStatistic statistic);

/// One dataset's summary value of one feature: `column` is the feature's
/// column (empty when the dataset lacks it), `shown` the indices of the shown
/// events from the dataset's effective filter. Empty when there is no column,
/// no shown event or no finite value at a shown event, so a missing value is
/// never mistaken for a true zero.
std::optional<double> computeDatasetSummary(const std::vector<double>& column,
                                            const std::vector<int>& shown,
                                            SummaryStatistic statistic);

/// "***" when p < alpha/100, "**" when p < alpha/10, "*" when p < alpha,
/// else "ns" (all strict, so p == alpha is "ns"; a NaN p is "ns" too).
std::string significanceStars(double p, double alpha);

} // namespace Quorvex3
