#pragma once

// Delaunay triangulation of the look-up table's points, in normalised
// coordinates. GUI-free, no Qt.

#include <array>
#include <cstdint>
#include <vector>

namespace Quorvex3 {

/// How long the triangulation keeps to the table's row order.
struct DelaunayLimits {
    /// Work (triangles tested, walked through and made) that inserting the
    /// points in table order may take, plus tableOrderWorkPerRow for each
    /// point; past it the points are inserted again in a scrambled order.
    /// Larger keeps the table's order (and so the order of the triangles)
    /// for more tables, at the price of up to this much wasted work on the
    /// tables that do not finish.
    std::int64_t tableOrderWork = 8'000'000;
    std::int64_t tableOrderWorkPerRow = 64;
};

/// Bowyer–Watson Delaunay triangulation of the points (x[i], y[i]), which
/// lie in the unit square, inserted in index order inside the
/// super-triangle (−10, −10), (20, −10), (−10, 20); triangles that touch the
/// super-triangle are removed. Index triples, counter-clockwise.
///
/// Where each point's flagged triangles (circumcircle strictly holding it)
/// form a sound cavity, as they do for points in general position, the
/// result is that of the plain algorithm that scans every triangle per
/// point, triangle for triangle and in the same order (survivors keep their
/// order, new triangles are appended), decided by the same floating-point
/// expressions. Where rounding makes those flags noise (co-circular or
/// nearly collinear points) a sound cavity is grown instead, so the result
/// is always a triangulation; exact repeats of a point are left out.
///
/// Each point costs about the size of its cavity. Orders that make that
/// grow with the table (rows along exact lines listed row by row, points
/// along a convex curve listed the wrong way round) exceed `limits`, and
/// the points are then inserted in a fixed scrambled order: for points in
/// general position the same triangles, listed in another order.
std::vector<std::array<int, 3>> delaunayTriangles(const std::vector<double>& x,
                                                  const std::vector<double>& y,
                                                  const DelaunayLimits& limits = {});

} // namespace Quorvex3
