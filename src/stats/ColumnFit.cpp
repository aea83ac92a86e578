#include "stats/ColumnFit.h"

#include <algorithm>
#include <numeric>

namespace Quorvex3 {

std::vector<int> fitColumnWidths(const std::vector<int>& wanted, int available,
                                 std::size_t keptFrom, int minimum) {
    std::vector<int> widths = wanted;
    if (widths.empty())
        return widths;
    const int total = std::accumulate(wanted.begin(), wanted.end(), 0);
    if (total <= available) {
        widths.back() += available - total;
        return widths;
    }

    const std::size_t flexible = std::min(keptFrom, wanted.size());
    if (flexible == 0)
        return widths;
    const int kept = std::accumulate(wanted.begin() + static_cast<std::ptrdiff_t>(flexible),
                                     wanted.end(), 0);
    // Water filling: walk the flexible columns from the narrowest; each that
    // fits under an equal share of what remains keeps its width.
    std::vector<int> ascending(wanted.begin(), wanted.begin() + static_cast<std::ptrdiff_t>(flexible));
    std::sort(ascending.begin(), ascending.end());
    int remaining = available - kept;
    int open = static_cast<int>(flexible);
    int cap = 0;
    for (const int w : ascending) {
        if (w * open > remaining) {
            cap = remaining / open;
            break;
        }
        remaining -= w;
        --open;
    }
    int leftover = remaining - cap * open;
    if (cap < minimum) {
        cap = minimum;
        leftover = 0;
    }
    for (std::size_t c = 0; c < flexible; ++c) {
        if (wanted[c] <= cap)
            continue;
        widths[c] = cap;
        if (leftover > 0) {
            ++widths[c];
            --leftover;
        }
    }
    return widths;
}

std::vector<int> keepLeastWidths(std::vector<int> widths, const std::vector<int>& least,
                                 int available, std::size_t keptFrom) {
    if (least.size() != widths.size())
        return widths;
    for (std::size_t c = 0; c < widths.size(); ++c)
        widths[c] = std::max(widths[c], least[c]);
    int excess = std::accumulate(widths.begin(), widths.end(), 0) - available;
    const std::size_t flexible = std::min(keptFrom, widths.size());
    while (excess > 0) {
        std::size_t roomiest = flexible;
        int most = 0;
        for (std::size_t c = 0; c < flexible; ++c) {
            if (widths[c] - least[c] > most) {
                most = widths[c] - least[c];
                roomiest = c;
            }
        }
        if (roomiest == flexible)
            break;
        --widths[roomiest];
        --excess;
    }
    return widths;
}

} // namespace Quorvex3
