#pragma once

#include <utility>
#include <vector>

namespace Quorvex3 {

/// A line of constant Young's modulus, as the scatter plots draw it. Kept apart
/// from the modulus computation so plots can take lines without its headers.
struct IsoLine {
    /// Modulus of the line in kPa, in the dataset's conditions.
    double value = 0.0;
    /// Points (projected area in µm², deformation) in increasing area.
    /// Plots skip lines with fewer than two points.
    std::vector<std::pair<double, double>> points;
};

} // namespace Quorvex3
