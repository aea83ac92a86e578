#pragma once

#include <cstddef>
#include <vector>

namespace Quorvex3 {

/// Widths of a table's columns in `available` pixels. `wanted` holds the
/// width each column's text needs; the columns from `keptFrom` on always get
/// theirs (the verdict columns), the ones before it give way.
///
/// - Everything fits: each column gets its wanted width and the last one
///   takes what is left over, as a stretched last section would.
/// - Too little room: the flexible columns are capped at one common width,
///   the largest with which they fit, so narrow columns stay whole and the
///   widest are cut first; pixels left by the rounding go to the first
///   capped columns. No flexible column goes below `minimum` (then, and only
///   then, the sum exceeds `available`).
std::vector<int> fitColumnWidths(const std::vector<int>& wanted, int available,
                                 std::size_t keptFrom, int minimum);

/// Raises each of `widths` to its `least` (for a column of text: its
/// longest word, below which the text is cut rather than wrapped) and takes
/// the pixels this adds back from the columns before `keptFrom` that are
/// wider than their least: one pixel at a time from the one with the most
/// to spare (the first of equals), until the sum is `available` again or no
/// such column has any to spare. `least` holds one width per column.
std::vector<int> keepLeastWidths(std::vector<int> widths, const std::vector<int>& least,
                                 int available, std::size_t keptFrom);

} // namespace Quorvex3
