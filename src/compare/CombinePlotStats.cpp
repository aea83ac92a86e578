#include "compare/CombinePlotStats.h"

#include "compare/CombineParallel.h"
#include "compare/CombinePlotData.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace Quorvex3 {

namespace {

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
    return computeFeatureStats(values);
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
