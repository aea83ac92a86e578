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

} // namespace Quorvex3
