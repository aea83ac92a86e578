#pragma once

#include "core/ScaleTransform.h"
#include "density/DensityEstimator.h"

#include <string>
#include <vector>

namespace Quorvex3 {

class RTDCReader;

/// What the contour choice of a scatter plot draws; the codes are the
/// indexes of its choices and what a dataset and a session store.
enum class ContourMode : int { Off = 0, Overlay = 1, Only = 2 };

/// Everything the plot-setting controls choose for one scatter plot, free of
/// widgets so the plot arrays are built from it on any thread and a dataset
/// keeps it while another is shown.
struct PlotSettings {
    /// Scalar features on the axes; empty when the dataset offers none.
    std::string xFeature;
    std::string yFeature;
    /// Empty (no colour), a scalar feature or a density id (densityColorId).
    std::string colorId;
    ScaleMode scaleX = ScaleMode::Linear;
    ScaleMode scaleY = ScaleMode::Linear;
    ContourMode contourMode = ContourMode::Off;
    /// Inner and outer contour levels as fractions (0.1 is 10 %), as chosen:
    /// either may be the larger.
    double contourFraction1 = 0.1;
    double contourFraction2 = 0.67;

    bool operator==(const PlotSettings& other) const;
    bool operator!=(const PlotSettings& other) const { return !(*this == other); }
};

/// Which part of the settings a control changed: a plot reacts to each in
/// its own way (an axis scale resets that axis, contours alone do not
/// rebuild the points). Isolines are a window-wide choice beside the record.
enum class PlotSettingsChange { Features, ScaleX, ScaleY, Contours, Isolines };

/// What a colour id asks for.
struct ColorChoice {
    enum class Kind { None, Feature, Density };
    Kind kind = Kind::None;
    /// The feature for Kind::Feature.
    std::string feature;
    /// The method for Kind::Density.
    DensityMethod method = DensityMethod::KDE;
};

/// The one reading of a colour id: "" is no colour, an id beginning with
/// "__density_" a density ("__density_hist__" and "__density_knn__" name
/// their methods, any other the kernel density), anything else a feature.
ColorChoice parseColorId(const std::string& id);
/// Whether the id names a density rather than a feature or no colour.
bool isDensityColorId(const std::string& id);
/// The colour id of a density method ("__density_kde__" for the kernel density).
std::string densityColorId(DensityMethod method);

/// The contour levels to draw, the smaller fraction first (the plot draws
/// the first level dashed).
std::vector<double> sortedContourFractions(const PlotSettings& settings);

/// Whether both plot the same features on the same scales: a polygon drawn
/// under one fits the other.
bool sameAxes(const PlotSettings& a, const PlotSettings& b);

/// `target` with the settings of `source` that a dataset read by `reader`
/// can show: scales and contours always; a feature (axis or colour) only
/// when the reader has it, otherwise the target keeps its own; no feature
/// at all without a reader. A density or no colour fits every dataset.
PlotSettings adoptPlotSettings(const PlotSettings& target, const PlotSettings& source,
                               const RTDCReader* reader);

} // namespace Quorvex3
