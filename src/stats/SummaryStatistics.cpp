#include "stats/SummaryStatistics.h"

#include "stats/TableText.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <set>

namespace Quorvex3 {

namespace {

using Iterator = std::vector<double>::iterator;

/// Places every requested rank (ascending, unique, within the range) where a
/// full sort would put it: select the middle rank, then each side's ranks
/// within its side. About log2(k) passes over the data for k ranks.
void selectRanks(Iterator first, Iterator last, const std::size_t* ranksBegin,
                 const std::size_t* ranksEnd, std::size_t offset) {
    if (ranksBegin == ranksEnd || last - first < 2)
        return;
    const std::size_t* middle = ranksBegin + (ranksEnd - ranksBegin) / 2;
    const Iterator nth = first + static_cast<std::ptrdiff_t>(*middle - offset);
    std::nth_element(first, nth, last);
    selectRanks(first, nth, ranksBegin, middle, offset);
    selectRanks(nth + 1, last, middle + 1, ranksEnd,
                offset + static_cast<std::size_t>(nth + 1 - first));
}

/// h = p (n - 1) and k = floor(h) of the quantile rule, p clamped into [0, 1].
std::pair<std::size_t, double> quantilePosition(std::size_t n, double p) {
    const double h = std::clamp(std::isnan(p) ? 0.0 : p, 0.0, 1.0) * static_cast<double>(n - 1);
    const auto k = std::min(static_cast<std::size_t>(h), n - 1);
    return {k, h - static_cast<double>(k)};
}

/// Q(p) from values whose ranks k and k + 1 are in place.
double quantileInPlace(const std::vector<double>& v, double p) {
    const auto [k, fraction] = quantilePosition(v.size(), p);
    if (k + 1 < v.size())
        return v[k] * (1.0 - fraction) + fraction * v[k + 1];
    return v.back();
}

bool isQuantile(SummaryColumn c) {
    return c == SummaryColumn::IQR || c == SummaryColumn::Q1 || c == SummaryColumn::Q3 ||
           c == SummaryColumn::Percentile;
}

std::vector<std::size_t> neededRanks(std::size_t n, const std::vector<SummaryColumn>& columns,
                                     double percentile) {
    std::set<std::size_t> ranks;
    const auto addQuantile = [&](double p) {
        const std::size_t k = quantilePosition(n, p).first;
        ranks.insert(k);
        if (k + 1 < n)
            ranks.insert(k + 1);
    };
    for (SummaryColumn c : columns) {
        if (c == SummaryColumn::Median) {
            ranks.insert(n / 2);
            ranks.insert(n % 2 == 0 ? n / 2 - 1 : n / 2);
        } else if (c == SummaryColumn::Min || c == SummaryColumn::Max) {
            ranks.insert(c == SummaryColumn::Min ? 0 : n - 1);
        } else if (isQuantile(c)) {
            addQuantile(c == SummaryColumn::Percentile ? percentile / 100.0
                        : c == SummaryColumn::Q3       ? 0.75
                                                       : 0.25);
            if (c == SummaryColumn::IQR)
                addQuantile(0.75);
        }
    }
    return {ranks.begin(), ranks.end()};
}

/// Population central moments m2 and m3 and the sample standard deviation.
struct Moments {
    double mean = 0.0;
    double sd = 0.0;
    double m2 = 0.0;
    double m3 = 0.0;
};

Moments moments(const std::vector<double>& v) {
    Moments m;
    const double n = static_cast<double>(v.size());
    double sum = 0.0;
    for (double x : v)
        sum += x;
    m.mean = sum / n;
    // Equal values have no spread: their rounded mean (three times 0.1
    // averages to one step above 0.1) must not make an SD, a CV or a
    // skewness of +-1 out of the rounding.
    if (std::adjacent_find(v.begin(), v.end(), std::not_equal_to<>()) == v.end())
        return m;
    double squares = 0.0;
    double cubes = 0.0;
    for (double x : v) {
        const double d = x - m.mean;
        squares += d * d;
        cubes += d * d * d;
    }
    m.m2 = squares / n;
    m.m3 = cubes / n;
    m.sd = v.size() < 2 ? 0.0 : std::sqrt(squares / (n - 1.0));
    return m;
}

double statistic(SummaryColumn c, const std::vector<double>& v, const Moments& m,
                 double percentile) {
    const std::size_t n = v.size();
    const bool spread = n >= 2;
    switch (c) {
    case SummaryColumn::N:
        return static_cast<double>(n);
    case SummaryColumn::Median:
        return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) * 0.5;
    case SummaryColumn::IQR:
        return quantileInPlace(v, 0.75) - quantileInPlace(v, 0.25);
    case SummaryColumn::Q1:
        return quantileInPlace(v, 0.25);
    case SummaryColumn::Q3:
        return quantileInPlace(v, 0.75);
    case SummaryColumn::Percentile:
        return quantileInPlace(v, percentile / 100.0);
    case SummaryColumn::Mean:
        return m.mean;
    case SummaryColumn::SD:
        return m.sd;
    case SummaryColumn::SEM:
        return spread ? m.sd / std::sqrt(static_cast<double>(n)) : 0.0;
    case SummaryColumn::CV:
        return spread && m.mean != 0.0 ? m.sd * 100.0 / std::abs(m.mean) : 0.0;
    case SummaryColumn::Min:
        return v.front();
    case SummaryColumn::Max:
        return v.back();
    case SummaryColumn::Skewness:
        return n >= 3 && m.m2 != 0.0 ? m.m3 / std::pow(m.m2, 1.5) : 0.0;
    }
    return 0.0;
}

} // namespace

std::vector<SummaryColumn> summaryColumns(const StatSummaryResult& r) {
    const std::pair<bool, SummaryColumn> flags[] = {
        {r.includeN, SummaryColumn::N},
        {r.includeMedian, SummaryColumn::Median},
        {r.includeIQR, SummaryColumn::IQR},
        {r.includeQ1, SummaryColumn::Q1},
        {r.includeQ3, SummaryColumn::Q3},
        {r.includePercentile, SummaryColumn::Percentile},
        {r.includeMean, SummaryColumn::Mean},
        {r.includeSD, SummaryColumn::SD},
        {r.includeSEM, SummaryColumn::SEM},
        {r.includeCV, SummaryColumn::CV},
        {r.includeMin, SummaryColumn::Min},
        {r.includeMax, SummaryColumn::Max},
        {r.includeSkewness, SummaryColumn::Skewness}};
    std::vector<SummaryColumn> columns;
    for (const auto& [set, column] : flags)
        if (set)
            columns.push_back(column);
    return columns;
}

std::string summaryColumnName(SummaryColumn column, double percentile) {
    static const char* const names[] = {"N",  "Median", "IQR",    "Q1",  "Q3",  "P",       "Mean",
                                        "SD", "SEM",    "CV (%)", "Min", "Max", "Skewness"};
    const std::string name = names[static_cast<int>(column)];
    return column == SummaryColumn::Percentile ? name + formatFixed(percentile, 1) : name;
}

double quantileOfSorted(const std::vector<double>& sorted, double p) {
    return sorted.empty() ? std::numeric_limits<double>::quiet_NaN() : quantileInPlace(sorted, p);
}

std::vector<std::optional<double>>
computeSummaryStatistics(std::vector<double> values, const std::vector<SummaryColumn>& columns,
                         double percentile) {
    std::vector<std::optional<double>> cells(columns.size());
    if (values.empty()) {
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (columns[i] == SummaryColumn::N)
                cells[i] = 0.0;
        return cells;
    }
    const std::vector<std::size_t> ranks = neededRanks(values.size(), columns, percentile);
    selectRanks(values.begin(), values.end(), ranks.data(), ranks.data() + ranks.size(), 0);
    const Moments m = moments(values);
    for (std::size_t i = 0; i < columns.size(); ++i)
        cells[i] = statistic(columns[i], values, m, percentile);
    return cells;
}

std::string statSummaryHeader(const std::vector<std::string>& featureLabels,
                              const std::vector<SummaryColumn>& columns, double percentile) {
    std::string line = "Dataset";
    for (const std::string& label : featureLabels)
        for (SummaryColumn column : columns)
            line +=
                '\t' + escapeTableCell(label, '\t') + ' ' + summaryColumnName(column, percentile);
    return line + '\n';
}

std::string
statSummaryRow(const std::string& datasetName,
               const std::vector<std::optional<std::vector<std::optional<double>>>>& features,
               std::size_t columnCount) {
    std::string line = escapeTableCell(datasetName, '\t');
    for (const auto& cells : features)
        for (std::size_t i = 0; i < columnCount; ++i) {
            line += '\t';
            if (cells && i < cells->size() && (*cells)[i])
                line += formatGeneral(*(*cells)[i]);
        }
    return line + '\n';
}

std::vector<std::string>
statSummaryFeatureOrder(const std::vector<std::string>& current,
                        const std::vector<std::vector<std::string>>& others) {
    const std::set<std::string> own(current.begin(), current.end());
    std::set<std::string> extra;
    for (const std::vector<std::string>& names : others)
        for (const std::string& name : names)
            if (own.count(name) == 0)
                extra.insert(name);
    std::vector<std::string> order(own.begin(), own.end());
    order.insert(order.end(), extra.begin(), extra.end());
    return order;
}

} // namespace Quorvex3
