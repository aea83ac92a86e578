#pragma once

// Delaunay triangulation of a look-up table in normalised coordinates, its
// 100 x 100 grid index, and linear interpolation inside its triangles.
// GUI-free, no Qt beyond QString for messages.

#include "calc/LUTDelaunay.h"
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
    /// touches it; a triangle whose box spans more than 64 cells (a long
    /// sliver, as points along a curve give) only where it comes within
    /// 1e-6 of the cell, the only cells where a look-up can find it.
    std::vector<std::vector<int>> grid;
};

/// Normalises, triangulates and indexes `table`. False, with `error` set to
/// a sentence for the user, when there are fewer than 3 rows; when the area
/// or deformation column holds a value that is not finite, a single value
/// (nothing to normalise by) or values further apart than a double holds
/// (±1e308); or when the result would not give a modulus at each of the
/// table's own rows (points on or close to one line, or crowded too close
/// together to interpolate between).
bool triangulateLUT(const LUTData& table, TriangulatedLUT& out, QString* error);

/// Fills `lut.grid` from `lut.triangles`, `lut.x` and `lut.y`.
void buildLUTGrid(TriangulatedLUT& lut);

/// Modulus in kPa at (area in µm², deformation), interpolated linearly in
/// the first triangle of the point's grid cell that contains it; NaN outside
/// the table's bounding box, outside its convex hull, or for NaN input.
double interpolateTriangulated(const TriangulatedLUT& lut, double area, double deform);

} // namespace Quorvex3
