#pragma once

// The shown events of one dataset as a combined plot draws them: reading
// and filtering, heat-map densities, contours, and what a logarithmic axis
// can show of them. GUI-free; the combined plot window converts the results
// into plot items.

#include "core/EventFilter.h"
#include "core/ScaleTransform.h"
#include "density/DensityEstimator.h"

#include <string>
#include <vector>

namespace Quorvex3 {

class RTDCReader;

/// One dataset's shown events for one plot, in data units. `x` and `y` have
/// the same length and hold finite values only; `density` is empty or holds
/// one finite kernel density per event. N of the plot is x.size().
struct CombineFilteredData {
    std::vector<double> x;
    std::vector<double> y;
    std::vector<double> density;
    std::string xLabel; ///< display label of the x feature with its unit, UTF-8
    std::string yLabel;
};

/// What to read of one dataset.
struct CombineDataRequest {
    std::string xFeature;
    std::string yFeature;
    /// Axis scales; the densities are estimated in the space these axes show.
    ScaleMode scaleX = ScaleMode::Linear;
    ScaleMode scaleY = ScaleMode::Linear;
    /// Heat-map colouring: compute `density` (needs at least 4 events).
    bool withDensity = false;
};

/// Reads the dataset's shown events. `filter` is the dataset's effective
/// filter; it is applied only when enabled with at least one rule, else
/// every event is shown. A rule whose column is missing or shorter than the
/// event count takes no part. Events stop at the shortest of the x column,
/// the y column and the reader's event count; events with a non-finite x or
/// y are left out before the densities are estimated, so N and the
/// statistics do not depend on the colour mode. A closed reader or a missing
/// column gives empty vectors (the labels are still filled).
CombineFilteredData readCombineFilteredData(RTDCReader& reader, const EventFilter& filter,
                                            const CombineDataRequest& request);

/// The events a plot with these axis scales can draw as dots: on a
/// logarithmic axis only values above 0 (Qwt would place the others at
/// 1e-100). Pseudo-log and linear axes keep every event. The counts, N and
/// the statistics stay those of `data`.
CombineFilteredData dotsForAxes(const CombineFilteredData& data, ScaleMode scaleX,
                                ScaleMode scaleY);

/// Number of values a logarithmic axis cannot show, per axis (0 for an axis
/// that is not logarithmic).
struct ScaleWarningCounts {
    int x = 0;
    int y = 0;
};
ScaleWarningCounts countScaleWarnings(const CombineFilteredData& data, ScaleMode scaleX,
                                      ScaleMode scaleY);

/// Colour range of a heat map: the smallest and largest density, the upper
/// end raised by 1.0 when both are equal. (0, 1) for no densities.
struct DensityColorRange {
    double lower = 0.0;
    double upper = 1.0;
};
DensityColorRange densityColorRange(const std::vector<double>& density);

/// Density contours of the shown events for the "Inner:" and "Outer:"
/// percentages (in either order: the smaller share is always the first,
/// dashed level), estimated on the given axis scales, points in data units.
/// No levels for fewer than 4 events.
std::vector<ContourLevel> computeCombineContours(const CombineFilteredData& data,
                                                 double innerPercent, double outerPercent,
                                                 ScaleMode scaleX, ScaleMode scaleY);

/// Contours a rebuild draws of a dataset: the "Inner:" and "Outer:"
/// percentages, in either order.
struct CombineContourRequest {
    bool on = false;
    double innerPercent = 50.0;
    double outerPercent = 95.0;
};

/// What one rebuild of the combined plots draws of one dataset, worked out
/// once and shared by the dataset's plot, the contour overlay, the common
/// limits, the scale warnings and the statistics.
struct CombinePlotInputs {
    /// As readCombineFilteredData gives it for the request.
    CombineFilteredData data;
    /// As computeCombineContours gives it for the data and the request's
    /// scales; empty when contours are off or there are fewer than 4 events.
    std::vector<ContourLevel> contours;
};

/// Reads the dataset once for a rebuild. With a heat map and contours, the
/// densities and the contour levels come from one density grid (the same
/// numbers as estimating each on its own).
CombinePlotInputs readCombinePlotInputs(RTDCReader& reader, const EventFilter& filter,
                                        const CombineDataRequest& request,
                                        const CombineContourRequest& contours);

/// One dataset of a rebuild, as readCombinePlotInputs takes it.
struct CombineInputsJob {
    /// Not owned; must outlive the call. Null: the dataset shows no events
    /// (its inputs stay empty, without labels).
    RTDCReader* reader = nullptr;
    EventFilter filter; ///< the dataset's effective filter
    CombineDataRequest request;
};

/// readCombinePlotInputs of every job with the same contour request, the
/// datasets on several threads at once: entry i is exactly what
/// readCombinePlotInputs gives for job i, whatever the thread count. Readers
/// may repeat (their column reads are thread-safe).
std::vector<CombinePlotInputs> readAllCombinePlotInputs(const std::vector<CombineInputsJob>& jobs,
                                                        const CombineContourRequest& contours);

} // namespace Quorvex3
