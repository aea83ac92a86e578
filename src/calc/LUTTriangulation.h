#pragma once

// Delaunay triangulation of a look-up table in normalised coordinates, its
// 100 x 100 grid index, and linear interpolation inside its triangles.
// GUI-free, no Qt beyond QString for messages.

#include "calc/LUTTable.h"

#include <QString>

#include <array>
#include <vector>

namespace Quorvex3 {

/// Cells of the grid index along each normalised axis.
constexpr int kLUTGridCells = 100;

/// A table ready for look-ups. Built by triangulateLUT; read-only afterwards,
/// so any number of threads may interpolate in it at once.
struct TriangulatedLUT {
    /// Normalised area (area − areaMin) / areaRange, one per table row.
    std::vector<double> x;
    /// Normalised deformation (deform − deformMin) / deformRange.
    std::vector<double> y;
    /// The table's moduli in kPa.
    std::vector<double> e;
    double areaMin = 0.0;
    double areaMax = 0.0;
    double deformMin = 0.0;
    double deformMax = 0.0;
    double areaRange = 0.0;
    double deformRange = 0.0;
    /// Index triples into x/y/e, counter-clockwise in normalised coordinates.
    std::vector<std::array<int, 3>> triangles;
    /// kLUTGridCells² cells; cell (ix, iy) is element ix + kLUTGridCells · iy
    /// and lists, in increasing order, the triangles whose bounding box
    /// touches it.
    std::vector<std::vector<int>> grid;
};

/// Bowyer–Watson Delaunay triangulation of the points (x[i], y[i]) inserted
/// in index order inside the super-triangle (−10, −10), (20, −10), (−10, 20),
/// triangles that touch the super-triangle removed. The order of the result
/// is that of the plain algorithm that scans every triangle per point
/// (survivors keep their order, new triangles are appended), decided by the
/// same floating-point expressions; this version tests each point only
/// against the triangles whose circumcircle can contain it, which makes a
/// 20,000-point table take milliseconds instead of seconds.
std::vector<std::array<int, 3>> delaunayTriangles(const std::vector<double>& x,
                                                  const std::vector<double>& y);

/// Normalises, triangulates and indexes `table`. False, with `error` set to
/// a sentence for the user, when there are fewer than 3 rows or the area or
/// deformation column is constant (nothing to normalise by).
bool triangulateLUT(const LUTData& table, TriangulatedLUT& out, QString* error);

/// Fills `lut.grid` from `lut.triangles`, `lut.x` and `lut.y`.
void buildLUTGrid(TriangulatedLUT& lut);

/// Modulus in kPa at (area in µm², deformation), interpolated linearly in
/// the first triangle of the point's grid cell that contains it; NaN outside
/// the table's bounding box, outside its convex hull, or for NaN input.
double interpolateTriangulated(const TriangulatedLUT& lut, double area, double deform);

} // namespace Quorvex3
