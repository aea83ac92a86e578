#pragma once

#include "density/DensityEstimator.h"
#include "density/PlotSettings.h"
#include "density/PlotStatistics.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace Quorvex3 {

class EventFilter;
class RTDCReader;

/// What a scatter plot of one dataset draws, built without widgets.
///
/// Index i of x, y, color and eventIndices is plot point i; eventIndices
/// maps it to its event and is ascending.
struct PlotArrays {
    enum class Outcome {
        /// The arrays hold the plot (possibly no point: all filtered out).
        Plotted,
        /// No events, or no feature chosen for an axis: an empty plot,
        /// nothing failed.
        Empty,
        /// An axis column could not be read; readErrors says why.
        ReadFailed,
    };
    Outcome outcome = Outcome::Empty;
    std::vector<double> x;
    std::vector<double> y;
    /// One value per point, or empty: no colour, a column shorter than the
    /// events, or too few points for a density.
    std::vector<double> color;
    std::vector<int> eventIndices;
    /// Axis and colour titles ("Density" for a density colour).
    std::string xLabel;
    std::string yLabel;
    std::string colorLabel;
    /// Events of the dataset, shown or not.
    std::size_t eventCount = 0;
    /// Points a logarithmic axis leaves out (value at or below 0); 0 on
    /// other scales.
    std::size_t nonPositiveX = 0;
    std::size_t nonPositiveY = 0;
    /// Highest-density-region levels, when the settings ask for contours and
    /// at least four points are plotted.
    std::optional<std::vector<ContourLevel>> contours;
    /// Summary statistics of x and y (Plotted only): worked out with the
    /// arrays, so the window only shows them.
    PlotStatistics statistics;
    /// Distinct reasons the axis columns gave no values (ReadFailed only).
    std::vector<std::string> readErrors;
};

/// The plot arrays of a dataset read by `reader`, shown through `filter`,
/// as `settings` choose them.
///
/// Takes the filter and the reader, not the dataset record: a pool task
/// holds a copy of the filter and a share of the reader, and must not touch
/// a record the user can remove meanwhile. The reader caches the columns it
/// reads.
///
/// Points are the events the filter shows (all of them when it is off or has
/// no rules) whose x and y are finite, within the common length of x, y and
/// the event count. A density colour is estimated in the axes' scaled space
/// over the points both axes can draw (on a log axis values at or below 0
/// are not drawn); the others take 0. A feature colour shorter than the
/// event count colours nothing. Points whose colour is not finite are left
/// out.
PlotArrays buildPlotArrays(const EventFilter& filter, RTDCReader& reader,
                           const PlotSettings& settings);

/// The contour levels of plotted points under the settings' scales and
/// fractions, over the points both axes can draw; empty when fewer than
/// four points are plotted or the settings draw no contours.
std::vector<ContourLevel> plotContours(const std::vector<double>& x, const std::vector<double>& y,
                                       const PlotSettings& settings);

/// Values a logarithmic axis leaves out (at or below 0); 0 on other scales.
std::size_t countLeftOutOnScale(const std::vector<double>& values, ScaleMode mode);

} // namespace Quorvex3
