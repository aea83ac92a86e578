#include "stats/DatasetSummary.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>

namespace Quorvex3 {

namespace {

/// The k-th smallest value (0-based); reorders `values`.
double selectRank(std::vector<double>& values, std::size_t k) {
    const auto kth = values.begin() + static_cast<std::ptrdiff_t>(k);
    std::nth_element(values.begin(), kth, values.end());
    return *kth;
}

double median(std::vector<double>& values) {
    const std::size_t n = values.size();
    const double upper = selectRank(values, n / 2);
    if (n % 2 == 1)
        return upper;
    // After the selection every value before n/2 is at most the upper middle,
    // so the lower middle is their maximum.
    const double lower =
        *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(n / 2));
    return (lower + upper) / 2.0;
}

double interquartileRange(std::vector<double>& values) {
    const std::size_t n = values.size();
    const std::size_t upperIndex = 3 * n / 4;
    const std::size_t lowerIndex = n / 4;
    const double upper = selectRank(values, upperIndex);
    if (lowerIndex == upperIndex)
        return 0.0;
    // The lower quartile lies among the values left of the upper one.
    const auto kth = values.begin() + static_cast<std::ptrdiff_t>(lowerIndex);
    std::nth_element(values.begin(), kth, values.begin() + static_cast<std::ptrdiff_t>(upperIndex));
    return upper - *kth;
}

double mean(const std::vector<double>& values) {
    double sum = 0.0;
    for (double v : values)
        sum += v;
    return sum / static_cast<double>(values.size());
}

bool allEqual(const std::vector<double>& values) {
    return std::adjacent_find(values.begin(), values.end(), std::not_equal_to<>()) == values.end();
}

double sampleStandardDeviation(const std::vector<double>& values, double m) {
    // Equal values have no spread, even when their mean is rounded (three
    // times 0.1 averages to one step above 0.1, which would show as an SD).
    if (values.size() < 2 || allEqual(values))
        return 0.0;
    double squares = 0.0;
    for (double v : values)
        squares += (v - m) * (v - m);
    return std::sqrt(squares / static_cast<double>(values.size() - 1));
}

} // namespace

SummaryStatistic summaryStatisticFromIndex(int index) {
    return index >= 0 && index <= 4 ? static_cast<SummaryStatistic>(index)
                                    : SummaryStatistic::Median;
}

std::string summaryAxisTitle(SummaryStatistic statistic, const std::string& featureLabel) {
    switch (statistic) {
    case SummaryStatistic::Mean:
        return "Mean of " + featureLabel;
    case SummaryStatistic::StandardDeviation:
        return "SD of " + featureLabel;
    case SummaryStatistic::InterquartileRange:
        return "IQR of " + featureLabel;
    case SummaryStatistic::CoefficientOfVariation: {
        const std::size_t unit = featureLabel.rfind(" [");
        const bool hasUnit = unit != std::string::npos && unit > 0 && !featureLabel.empty() &&
                             featureLabel.back() == ']';
        return "CV of " + (hasUnit ? featureLabel.substr(0, unit) : featureLabel);
    }
    case SummaryStatistic::Median:
        break;
    }
    return "Median of " + featureLabel;
}

std::vector<double> collectShownFiniteValues(const std::vector<double>& column,
                                             const std::vector<int>& shown) {
    std::vector<double> values;
    values.reserve(shown.size());
    const std::size_t size = column.size();
    for (int index : shown) {
        // The unsigned cast sends negative indices past the end as well.
        const auto i = static_cast<std::size_t>(index);
        if (i < size && std::isfinite(column[i]))
            values.push_back(column[i]);
    }
    return values;
}

std::optional<double> summarizeValues(std::vector<double>& values, SummaryStatistic statistic) {
    if (values.empty())
        return std::nullopt;
    switch (statistic) {
    case SummaryStatistic::Mean:
        return mean(values);
    case SummaryStatistic::StandardDeviation:
        return sampleStandardDeviation(values, mean(values));
    case SummaryStatistic::CoefficientOfVariation: {
        const double m = mean(values);
        if (std::abs(m) < 1e-15)
            return 0.0;
        return sampleStandardDeviation(values, m) / std::abs(m);
    }
    case SummaryStatistic::InterquartileRange:
        return interquartileRange(values);
    case SummaryStatistic::Median:
        break;
    }
    return median(values);
}

std::optional<double> computeDatasetSummary(const std::vector<double>& column,
                                            const std::vector<int>& shown,
                                            SummaryStatistic statistic) {
    std::vector<double> values = collectShownFiniteValues(column, shown);
    return summarizeValues(values, statistic);
}

std::string significanceStars(double p, double alpha) {
    if (p < alpha / 100.0)
        return "***";
    if (p < alpha / 10.0)
        return "**";
    if (p < alpha)
        return "*";
    return "ns";
}

} // namespace Quorvex3
