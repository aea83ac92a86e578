#include "compare/CombinePlotStats.h"

#include "compare/CombinePlotData.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace Quorvex3 {

namespace {

double quantileOfSorted(const std::vector<double>& sorted, double p) {
    const double h = p * static_cast<double>(sorted.size() - 1);
    const size_t i = static_cast<size_t>(std::floor(h));
    const double f = h - static_cast<double>(i);
    if (i + 1 < sorted.size())
        return sorted[i] * (1.0 - f) + f * sorted[i + 1];
    return sorted[i];
}

// Where the statistics of `feature` come from in a row, or null.
const std::vector<double>* valuesOf(const CombineStatsInput& position, const std::string& feature) {
    if (feature == position.xFeature)
        return &position.data->x;
    if (feature == position.yFeature)
        return &position.data->y;
    return nullptr;
}

} // namespace

const char* const kCombineStatNames[6] = {"Mean", "SD", "Q1", "Median", "Q3", "IQR"};

CombinePlotStats computeStats(const std::vector<double>& values) {
    CombinePlotStats stats;
    if (values.empty())
        return stats;
    const double n = static_cast<double>(values.size());
    stats.mean = std::accumulate(values.begin(), values.end(), 0.0) / n;
    if (values.size() > 1) {
        double squares = 0.0;
        for (const double v : values)
            squares += (v - stats.mean) * (v - stats.mean);
        stats.sd = std::sqrt(squares / (n - 1.0));
    }
    std::vector<double> sorted(values);
    std::sort(sorted.begin(), sorted.end());
    stats.q1 = quantileOfSorted(sorted, 0.25);
    stats.median = quantileOfSorted(sorted, 0.5);
    stats.q3 = quantileOfSorted(sorted, 0.75);
    stats.iqr = stats.q3 - stats.q1;
    return stats;
}

CombineStatsTable buildCombineStatsTable(const std::vector<CombineStatsInput>& positions) {
    CombineStatsTable table;
    for (const CombineStatsInput& position : positions) {
        for (const std::string* name : {&position.xFeature, &position.yFeature}) {
            if (!name->empty() && std::find(table.features.begin(), table.features.end(), *name) ==
                                      table.features.end())
                table.features.push_back(*name);
        }
    }
    for (const CombineStatsInput& position : positions) {
        CombineStatsRow& row = table.rows.emplace_back();
        row.groups.resize(table.features.size());
        if (position.data == nullptr)
            continue;
        row.known = true;
        row.n = position.data->x.size();
        for (size_t k = 0; k < table.features.size(); ++k) {
            const std::vector<double>* values = valuesOf(position, table.features[k]);
            if (values != nullptr && !values->empty())
                row.groups[k] = computeStats(*values);
        }
    }
    return table;
}

} // namespace Quorvex3
