#include "compare/CombinePlotStats.h"

#include "compare/CombineParallel.h"
#include "compare/CombinePlotData.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace Quorvex3 {

namespace {

// Position of quantile p among n sorted values: the lower order statistic
// and the weight of the next one.
struct QuantilePosition {
    size_t index = 0;
    double fraction = 0.0;
};

QuantilePosition quantilePosition(size_t n, double p) {
    const double h = p * static_cast<double>(n - 1);
    const size_t i = static_cast<size_t>(std::floor(h));
    return {i, h - static_cast<double>(i)};
}

double quantileAt(const std::vector<double>& ordered, QuantilePosition at) {
    if (at.index + 1 < ordered.size())
        return ordered[at.index] * (1.0 - at.fraction) + at.fraction * ordered[at.index + 1];
    return ordered[at.index];
}

// Puts the value of every rank in [first, last) (ascending, each inside
// [lo, hi)) where a full sort of [lo, hi) would put it. [lo, hi) must hold
// exactly the values of those ranks, as the whole vector does at the start.
// A few selections cost a fraction of sorting a large column.
void placeRanks(std::vector<double>& values, size_t lo, size_t hi, const size_t* first,
                const size_t* last) {
    if (first == last)
        return;
    const size_t* middle = first + (last - first) / 2;
    const auto begin = values.begin();
    std::nth_element(begin + static_cast<std::ptrdiff_t>(lo),
                     begin + static_cast<std::ptrdiff_t>(*middle),
                     begin + static_cast<std::ptrdiff_t>(hi));
    placeRanks(values, lo, *middle, first, middle);
    placeRanks(values, *middle + 1, hi, middle + 1, last);
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
    // Only the order statistics the quartiles interpolate between are put
    // in place; each holds the value a full sort would give it.
    const QuantilePosition at[3] = {quantilePosition(values.size(), 0.25),
                                    quantilePosition(values.size(), 0.5),
                                    quantilePosition(values.size(), 0.75)};
    std::vector<size_t> ranks;
    for (const QuantilePosition& q : at) {
        ranks.push_back(q.index);
        if (q.index + 1 < values.size())
            ranks.push_back(q.index + 1);
    }
    std::sort(ranks.begin(), ranks.end());
    ranks.erase(std::unique(ranks.begin(), ranks.end()), ranks.end());
    std::vector<double> ordered(values);
    placeRanks(ordered, 0, ordered.size(), ranks.data(), ranks.data() + ranks.size());
    stats.q1 = quantileAt(ordered, at[0]);
    stats.median = quantileAt(ordered, at[1]);
    stats.q3 = quantileAt(ordered, at[2]);
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
    // Each cell group's column, summarised on its own thread.
    struct Cell {
        std::optional<CombinePlotStats>* group;
        const std::vector<double>* values;
    };
    std::vector<Cell> cells;
    table.rows.resize(positions.size());
    for (size_t r = 0; r < positions.size(); ++r) {
        const CombineStatsInput& position = positions[r];
        CombineStatsRow& row = table.rows[r];
        row.groups.resize(table.features.size());
        if (position.data == nullptr)
            continue;
        row.known = true;
        row.n = position.data->x.size();
        for (size_t k = 0; k < table.features.size(); ++k) {
            const std::vector<double>* values = valuesOf(position, table.features[k]);
            if (values != nullptr && !values->empty())
                cells.push_back({&row.groups[k], values});
        }
    }
    runCombineJobs(cells.size(),
                   [&cells](size_t i) { *cells[i].group = computeStats(*cells[i].values); });
    return table;
}

} // namespace Quorvex3
