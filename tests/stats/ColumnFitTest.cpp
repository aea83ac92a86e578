// Column widths of the comparison's results table in the width it is given:
// hand-computed cases of the water filling.
#include "stats/ColumnFit.h"

#include <gtest/gtest.h>

#include <numeric>

using Quorvex3::fitColumnWidths;
using Quorvex3::keepLeastWidths;

namespace {

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
        // Room 20 for two: the share 10 is below the minimum 24.
        {"never below the minimum", {100, 100, 40}, 60, 2, {24, 24, 40}},
        // Room 46 for two: the share 23 is one below the minimum.
        {"a share just below the minimum", {100, 100, 40}, 86, 2, {24, 24, 40}},
        {"kept columns wider than the room", {100, 100, 40}, 30, 2, {24, 24, 40}},
        {"nothing flexible: unchanged", {100, 100}, 50, 0, {100, 100}},
        // keptFrom past the end: every column gives way; 50 fits under 60.
        {"all flexible", {100, 50}, 120, 5, {70, 50}},
        {"no columns", {}, 100, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<int> widths = fitColumnWidths(c.wanted, c.available, c.keptFrom, 24);
        EXPECT_EQ(widths, c.expected);
    }
}

// Whenever the minimum does not bind, the columns fill the room exactly.
TEST(ColumnFit, FillsTheRoomExactly) {
    const std::vector<int> wanted = {170, 90, 95, 101, 75, 74, 104};
    for (int available = 420; available <= 900; available += 7) {
        const std::vector<int> widths = fitColumnWidths(wanted, available, 5, 24);
        EXPECT_EQ(std::accumulate(widths.begin(), widths.end(), 0), available) << available;
        for (std::size_t c = 0; c < wanted.size(); ++c)
            EXPECT_LE(widths[c], c + 1 == wanted.size() ? available : wanted[c]) << c;
        EXPECT_EQ(widths[5], 74);
        EXPECT_GE(widths[6], 104);
    }
}

// A narrow window cut the results' words ("Brightn…"); the columns now keep
// their longest word and give way above it, the one with most to spare first.
TEST(ColumnFit, ColumnsKeepTheirLongestWord) {
    struct LeastCase {
        const char* what;
        std::vector<int> widths;
        std::vector<int> least;
        int available;
        std::size_t keptFrom;
        std::vector<int> expected;
    };
    const std::vector<LeastCase> cases = {
        // Raised 50 -> 60; the 10 come from the second column's 30 spare.
        {"raised and paid back", {50, 40, 30}, {60, 10, 10}, 120, 2, {60, 30, 30}},
        // Only 5 to spare: the sum stays 5 over, no word is cut.
        {"too little to spare", {50, 40, 30}, {60, 35, 10}, 100, 2, {60, 35, 30}},
        // Spares 20 and 30: 10 from the second, then alternately, the first
        // of equals first: 5 each.
        {"most to spare first", {50, 50, 20}, {30, 20, 10}, 100, 2, {45, 35, 20}},
        {"kept columns never give way", {10, 80}, {10, 10}, 50, 1, {10, 80}},
        {"already wide enough", {50, 50}, {20, 20}, 100, 1, {50, 50}},
        {"mismatched least: unchanged", {50, 50}, {20}, 60, 1, {50, 50}},
    };
    for (const LeastCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(keepLeastWidths(c.widths, c.least, c.available, c.keptFrom), c.expected);
    }
}
