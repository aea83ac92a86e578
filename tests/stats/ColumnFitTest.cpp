// Column widths of the evaluation window's tables in the width they are
// given: hand-computed cases of the water filling and of the order in which
// titles and columns give way.
#include "stats/ColumnFit.h"

#include <gtest/gtest.h>

#include <numeric>

using Quorvex3::ColumnNeed;
using Quorvex3::fitColumns;

namespace {

/// Columns whose titles are no wider than their cells: `wanted` of them
/// give way down to `least` (24 pixels, or less where they want less), the
/// ones from `keptFrom` on keep their width (their words are their whole
/// text).
std::vector<ColumnNeed> flexibleThenKept(const std::vector<int>& wanted, std::size_t keptFrom) {
    std::vector<ColumnNeed> columns;
    for (std::size_t c = 0; c < wanted.size(); ++c) {
        const bool kept = c >= keptFrom;
        columns.push_back({wanted[c], wanted[c], kept ? wanted[c] : std::min(wanted[c], 24), 1});
    }
    return columns;
}

struct Case {
    const char* what;
    std::vector<int> wanted;
    int available;
    std::size_t keptFrom;
    std::vector<int> expected;
};

} // namespace

TEST(ColumnFit, WidthsInTheAvailableRoom) {
    const std::vector<Case> cases = {
        {"room to spare: the last column takes it", {50, 60, 30}, 200, 2, {50, 60, 90}},
        {"exact fit", {50, 60, 30}, 140, 2, {50, 60, 30}},
        // Three groups at 1280 x 720: kept 74 + 104 = 178, room 505; 75 and
        // the three 107 fit under the equal share, the feature column gets
        // the 505 - 75 - 321 = 109 left.
        {"widest cut first",
         {170, 107, 107, 107, 75, 74, 104},
         683,
         5,
         {109, 107, 107, 107, 75, 74, 104}},
        // Room 151 for three of 100: cap 50, one pixel left for the first.
        {"rounding pixel to the first capped", {100, 100, 100, 50}, 201, 3, {51, 50, 50, 50}},
        {"a narrow column stays whole", {30, 200, 20}, 150, 2, {30, 100, 20}},
        // Room 20 for two: the share 10 is below the least 24.
        {"never below the least", {100, 100, 40}, 60, 2, {24, 24, 40}},
        // Room 46 for two: the share 23 is one below the least.
        {"a share just below the least", {100, 100, 40}, 86, 2, {24, 24, 40}},
        {"kept columns wider than the room", {100, 100, 40}, 30, 2, {24, 24, 40}},
        {"nothing gives way: unchanged", {100, 100}, 50, 0, {100, 100}},
        // Every column gives way; 50 fits under 60.
        {"all flexible", {100, 50}, 120, 5, {70, 50}},
        {"no columns", {}, 100, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(fitColumns(flexibleThenKept(c.wanted, c.keptFrom), c.available), c.expected);
    }
}

// Whenever the longest words fit, the columns fill the room exactly.
TEST(ColumnFit, FillsTheRoomExactly) {
    const std::vector<ColumnNeed> columns = {{170, 170, 60, 2},  {90, 90, 50, 2},  {95, 80, 70, 2},
                                             {101, 101, 40, 2},  {75, 60, 60, 30}, {74, 74, 74, 30},
                                             {140, 104, 104, 30}};
    for (int available = 462; available <= 900; available += 7) {
        const std::vector<int> widths = fitColumns(columns, available);
        EXPECT_EQ(std::accumulate(widths.begin(), widths.end(), 0), available) << available;
        for (std::size_t c = 0; c < columns.size(); ++c) {
            EXPECT_GE(widths[c], columns[c].least) << c << " at " << available;
            if (c + 1 < columns.size()) {
                EXPECT_LE(widths[c], columns[c].wanted) << c << " at " << available;
            }
        }
    }
}

// Six categories did not fit beside the docks: the category values must
// wrap before the test names that fill every row, and the titles before
// any cell, so that the fewest rows grow; no column below its longest word.
TEST(ColumnFit, TitlesAndColumnsOfFewRowsGiveWayFirst) {
    struct OrderCase {
        const char* what;
        std::vector<ColumnNeed> columns;
        int available;
        std::vector<int> expected;
    };
    const std::vector<OrderCase> cases = {
        // 40 too many: the first column's title wraps from 120 to 80.
        {"a title wraps before any cell", {{120, 60, 40, 1}, {100, 100, 50, 9}}, 180, {80, 100}},
        // 50 too many: the second column's title wraps, though the first
        // fills fewer rows.
        {"a title of many rows wraps before the cells of few",
         {{100, 100, 40, 1}, {150, 100, 50, 9}},
         200,
         {100, 100}},
        {"the column of fewer rows gives way",
         {{100, 100, 40, 1}, {100, 100, 40, 5}},
         150,
         {50, 100}},
        // 80 too many: the first gives its 60 to its longest word, the
        // second the remaining 20.
        {"then the column of more rows", {{100, 100, 40, 1}, {100, 100, 40, 5}}, 120, {40, 80}},
        // Their longest words need 80: the table is wider than its room.
        {"never below the longest word", {{100, 100, 40, 1}, {100, 100, 40, 5}}, 50, {40, 40}},
        // 50 too many among equals: the widest is cut to 100 first.
        {"equals cut widest first",
         {{150, 150, 40, 2}, {90, 90, 40, 2}, {60, 60, 60, 2}},
         250,
         {100, 90, 60}},
        // The title wraps to 120, the cells give the remaining 20.
        {"the wrapped title and then the cells", {{150, 120, 50, 3}}, 100, {100}},
        // Floors above the wanted width are lowered to it.
        {"floors above the wanted width", {{50, 70, 90, 1}}, 10, {50}},
    };
    for (const OrderCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(fitColumns(c.columns, c.available), c.expected);
    }
}
