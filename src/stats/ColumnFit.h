#pragma once

#include <vector>

namespace Quorvex3 {

/// What one column of a table of text needs, in pixels.
struct ColumnNeed {
    /// Its title and every cell on one line.
    int wanted = 0;
    /// Its cells on one line and its title wrapped at its spaces: the most
    /// it can give without making a row of cells taller (only the header).
    int titleWrapped = 0;
    /// Its longest word, of title and cells: below it words are cut.
    int least = 0;
    /// The rows with text of its own, which its wrapping makes taller.
    int rowsFilled = 0;
};

/// Widths of a table's columns in `available` pixels.
///
/// - Everything fits: each column gets its wanted width and the last one
///   takes what is left over, as a stretched last section would.
/// - Too little room: the titles wrap first (one row, the header, grows);
///   then the columns give way in the order of the rows they fill, fewest
///   first, each group down to its longest words (so a column of category
///   values wraps before the test names that fill every row). Within a step
///   the widest are cut first, to one common width above each column's
///   floor; pixels left by the rounding go to the first of them. The widths
///   then add up to `available` exactly.
/// - Even the longest words do not fit: every column is at its `least` and
///   the sum exceeds `available` (the table scrolls sideways, no word cut).
///
/// Each column's floors are taken as `least` <= `titleWrapped` <= `wanted`
/// (a larger floor is lowered to the width above it).
std::vector<int> fitColumns(const std::vector<ColumnNeed>& columns, int available);

} // namespace Quorvex3
