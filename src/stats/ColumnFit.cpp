#include "stats/ColumnFit.h"

#include <algorithm>
#include <map>
#include <numeric>

namespace Quorvex3 {

namespace {

/// Takes up to `excess` pixels from the columns `members` of `widths`, none
/// below its `floor`: the widest first, down to one common width. Returns
/// the pixels still to take.
int giveWay(std::vector<int>& widths, const std::vector<int>& floor,
            const std::vector<std::size_t>& members, int excess) {
    int spare = 0;
    int widest = 0;
    for (const std::size_t c : members) {
        spare += widths[c] - floor[c];
        widest = std::max(widest, widths[c]);
    }
    if (spare <= excess) {
        for (const std::size_t c : members)
            widths[c] = floor[c];
        return excess - spare;
    }
    // What the members take with every one capped at `cap`.
    const auto total = [&](int cap) {
        int sum = 0;
        for (const std::size_t c : members)
            sum += std::max(floor[c], std::min(widths[c], cap));
        return sum;
    };
    int target = -excess;
    for (const std::size_t c : members)
        target += widths[c];
    // The smallest cap that leaves the members at least `target` pixels.
    int low = 0;
    int high = widest;
    while (low < high) {
        const int mid = low + (high - low) / 2;
        if (total(mid) >= target)
            high = mid;
        else
            low = mid + 1;
    }
    const int cap = low;
    int surplus = total(cap) - target;
    // The rounding pixel goes to the first capped columns: take the surplus
    // back from the last ones that sit at the cap and may go below it.
    for (auto it = members.rbegin(); it != members.rend(); ++it) {
        const std::size_t c = *it;
        const int width = std::max(floor[c], std::min(widths[c], cap));
        widths[c] = width;
        if (surplus > 0 && width == cap && cap > floor[c]) {
            --widths[c];
            --surplus;
        }
    }
    return 0;
}

} // namespace

std::vector<int> fitColumns(const std::vector<ColumnNeed>& columns, int available) {
    std::vector<int> widths;
    std::vector<int> titleFloor;
    std::vector<int> leastFloor;
    for (const ColumnNeed& need : columns) {
        widths.push_back(need.wanted);
        titleFloor.push_back(std::min(need.titleWrapped, need.wanted));
        leastFloor.push_back(std::min(need.least, titleFloor.back()));
    }
    if (widths.empty())
        return widths;
    int excess = std::accumulate(widths.begin(), widths.end(), 0) - available;
    if (excess <= 0) {
        widths.back() -= excess;
        return widths;
    }

    std::vector<std::size_t> all(columns.size());
    std::iota(all.begin(), all.end(), std::size_t{0});
    excess = giveWay(widths, titleFloor, all, excess);
    // Then the cells, by the rows they fill: fewest first.
    std::map<int, std::vector<std::size_t>> byRows;
    for (std::size_t c = 0; c < columns.size(); ++c)
        byRows[columns[c].rowsFilled].push_back(c);
    for (const auto& [rows, members] : byRows) {
        if (excess <= 0)
            break;
        excess = giveWay(widths, leastFloor, members, excess);
    }
    return widths;
}

} // namespace Quorvex3
