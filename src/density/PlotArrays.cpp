#include "density/PlotArrays.h"

#include "core/EventFilter.h"
#include "core/RTDCReader.h"

#include <algorithm>
#include <cmath>
#include <future>
#include <utility>

namespace Quorvex3 {

namespace {

/// The values in the space the axes show; linear axes use them as they are.
const std::vector<double>& inAxisSpace(const std::vector<double>& values, ScaleMode mode,
                                       std::vector<double>& storage) {
    if (mode != ScaleMode::Log && mode != ScaleMode::PseudoLog)
        return values;
    storage = applyScaleTransform(values, mode);
    return storage;
}

/// The plot points both axes can draw: on a log axis values at or below 0
/// are not drawn, so they take no part in the density colours and contours
/// either (they would sit at the value 1 of the axis). Copies only when some
/// point is left out.
class DrawnPoints {
public:
    DrawnPoints(const std::vector<double>& x, const std::vector<double>& y, ScaleMode xMode,
                ScaleMode yMode)
        : m_allX(x), m_allY(y) {
        const std::size_t n = std::min(x.size(), y.size());
        const auto drawn = [&](std::size_t i) {
            return isDrawableOnScale(x[i], xMode) && isDrawableOnScale(y[i], yMode);
        };
        std::size_t i = 0;
        while (i < n && drawn(i))
            ++i;
        if (i == n)
            return;
        m_some = true;
        for (i = 0; i < n; ++i) {
            if (!drawn(i))
                continue;
            m_x.push_back(x[i]);
            m_y.push_back(y[i]);
            m_index.push_back(i);
        }
    }
    const std::vector<double>& x() const { return m_some ? m_x : m_allX; }
    const std::vector<double>& y() const { return m_some ? m_y : m_allY; }
    /// One value per plot point: `values` (one per drawn point) at the drawn
    /// points, `elsewhere` at the others.
    std::vector<double> perPlotPoint(std::vector<double> values, double elsewhere) const {
        if (!m_some)
            return values;
        std::vector<double> all(m_allX.size(), elsewhere);
        for (std::size_t k = 0; k < m_index.size() && k < values.size(); ++k)
            all[m_index[k]] = values[k];
        return all;
    }

private:
    const std::vector<double>& m_allX;
    const std::vector<double>& m_allY;
    bool m_some = false;
    std::vector<double> m_x;
    std::vector<double> m_y;
    std::vector<std::size_t> m_index;
};

/// The events the filter shows whose x and y are finite, within the common
/// length of x, y and the event count.
void collectPlottedEvents(const EventFilter& filter, RTDCReader& reader,
                          const std::vector<double>& x, const std::vector<double>& y,
                          PlotArrays& arrays) {
    const std::size_t eventCount = arrays.eventCount;
    // Columns shorter than the event count are read only as far as they go.
    const std::size_t n = std::min({x.size(), y.size(), eventCount});
    const auto keep = [&](std::size_t event) {
        const double xi = x[event];
        const double yi = y[event];
        if (!std::isfinite(xi) || !std::isfinite(yi))
            return;
        arrays.x.push_back(xi);
        arrays.y.push_back(yi);
        arrays.eventIndices.push_back(static_cast<int>(event));
    };
    const auto reserve = [&](std::size_t size) {
        arrays.x.reserve(size);
        arrays.y.reserve(size);
        arrays.eventIndices.reserve(size);
    };

    if (filter.isEnabled() && filter.ruleCount() > 0) {
        EventFilter::FeatureMap columns;
        for (const std::string& name : filter.requiredFeatures())
            columns[name] = &reader.readScalarFeature(name);
        const std::vector<int> shown = filter.apply(columns, eventCount);
        reserve(shown.size());
        for (const int event : shown)
            if (event >= 0 && static_cast<std::size_t>(event) < n)
                keep(static_cast<std::size_t>(event));
    } else {
        reserve(n);
        for (std::size_t event = 0; event < n; ++event)
            keep(event);
    }
}

/// The colour of the plotted points; a kernel density asked for with
/// contours leaves the contours it computed along in `sharedContours`.
void computeColor(RTDCReader& reader, const PlotSettings& settings, PlotArrays& arrays,
                  std::optional<std::vector<ContourLevel>>& sharedContours) {
    const ColorChoice choice = parseColorId(settings.colorId);
    if (choice.kind == ColorChoice::Kind::None)
        return;
    if (choice.kind == ColorChoice::Kind::Density) {
        // Estimated in the space the axes show, over the points they draw;
        // the others (not drawn) take 0, outside the colour range of the plot.
        const ScaleMode sx = settings.scaleX;
        const ScaleMode sy = settings.scaleY;
        const DrawnPoints drawn(arrays.x, arrays.y, sx, sy);
        std::vector<double> densities;
        if (choice.method == DensityMethod::KDE && settings.contourMode != ContourMode::Off) {
            // The contours come from the same grid: built once for both.
            KernelDensityView view = DensityEstimator::estimateKDEWithContours(
                drawn.x(), drawn.y(), sortedContourFractions(settings), sx, sy);
            densities = std::move(view.densities);
            sharedContours = std::move(view.levels);
        } else {
            std::vector<double> xStorage;
            std::vector<double> yStorage;
            densities = DensityEstimator::estimateNaNSafe(inAxisSpace(drawn.x(), sx, xStorage),
                                                          inAxisSpace(drawn.y(), sy, yStorage),
                                                          choice.method);
        }
        arrays.colorLabel = "Density";
        // Too few points for any density (fewer than four): show them in
        // plain colour rather than dropping every one for lack of a colour.
        if (std::none_of(densities.begin(), densities.end(),
                         [](double c) { return std::isfinite(c); }))
            return;
        arrays.color = drawn.perPlotPoint(std::move(densities), 0.0);
        return;
    }
    const std::vector<double>& column = reader.readScalarFeature(choice.feature);
    arrays.colorLabel = reader.getFeatureLabel(choice.feature);
    // A column shorter than the event count colours nothing.
    if (column.empty() || column.size() < arrays.eventCount)
        return;
    arrays.color.resize(arrays.eventIndices.size());
    for (std::size_t i = 0; i < arrays.eventIndices.size(); ++i)
        arrays.color[i] = column[static_cast<std::size_t>(arrays.eventIndices[i])];
}

/// Drops the plot points whose colour value is not finite.
void dropPointsWithoutColor(PlotArrays& arrays) {
    std::vector<double>& color = arrays.color;
    if (color.empty())
        return;
    const auto firstBad =
        std::find_if(color.begin(), color.end(), [](double c) { return !std::isfinite(c); });
    if (firstBad == color.end())
        return;
    std::size_t kept = static_cast<std::size_t>(firstBad - color.begin());
    for (std::size_t i = kept; i < color.size(); ++i) {
        if (!std::isfinite(color[i]))
            continue;
        arrays.x[kept] = arrays.x[i];
        arrays.y[kept] = arrays.y[i];
        color[kept] = color[i];
        arrays.eventIndices[kept] = arrays.eventIndices[i];
        ++kept;
    }
    arrays.x.resize(kept);
    arrays.y.resize(kept);
    color.resize(kept);
    arrays.eventIndices.resize(kept);
}

} // namespace

std::size_t countLeftOutOnScale(const std::vector<double>& values, ScaleMode mode) {
    if (mode != ScaleMode::Log)
        return 0;
    return static_cast<std::size_t>(
        std::count_if(values.begin(), values.end(), [](double v) { return v <= 0.0; }));
}

std::vector<ContourLevel> plotContours(const std::vector<double>& x, const std::vector<double>& y,
                                       const PlotSettings& settings) {
    if (settings.contourMode == ContourMode::Off || x.size() < 4)
        return {};
    // Only what the axes draw: on a log axis, values at or below 0 would
    // otherwise gather at the value 1 and draw contours of points not shown.
    const DrawnPoints drawn(x, y, settings.scaleX, settings.scaleY);
    return DensityEstimator::computeContoursTransformed(
        drawn.x(), drawn.y(), sortedContourFractions(settings), settings.scaleX, settings.scaleY);
}

PlotArrays buildPlotArrays(const EventFilter& filter, RTDCReader& reader,
                           const PlotSettings& settings) {
    PlotArrays arrays;
    arrays.eventCount = reader.getEventCount();
    // A measurement without events (no "events" group, or columns of no
    // values) or without a feature to plot is shown empty: nothing failed.
    if (arrays.eventCount == 0 || settings.xFeature.empty() || settings.yFeature.empty())
        return arrays;
    const std::vector<double>& x = reader.readScalarFeature(settings.xFeature);
    const std::vector<double>& y = reader.readScalarFeature(settings.yFeature);
    if (x.empty() || y.empty()) {
        arrays.outcome = PlotArrays::Outcome::ReadFailed;
        for (const std::string* name : {&settings.xFeature, &settings.yFeature}) {
            const std::string reason = reader.featureReadError(*name);
            if (!reason.empty() && std::find(arrays.readErrors.begin(), arrays.readErrors.end(),
                                             reason) == arrays.readErrors.end())
                arrays.readErrors.push_back(reason);
        }
        return arrays;
    }
    arrays.outcome = PlotArrays::Outcome::Plotted;
    collectPlottedEvents(filter, reader, x, y, arrays);
    arrays.xLabel = reader.getFeatureLabel(settings.xFeature);
    arrays.yLabel = reader.getFeatureLabel(settings.yFeature);
    std::optional<std::vector<ContourLevel>> sharedContours;
    {
        // The statistics need only the points: worked out on another thread
        // while the colour is (which reads the points and does not change them).
        auto statistics = std::async(std::launch::async,
                                     [&x = std::as_const(arrays.x), &y = std::as_const(arrays.y)] {
                                         return computePlotStatistics(x, y);
                                     });
        computeColor(reader, settings, arrays, sharedContours);
        arrays.statistics = statistics.get();
    }
    const std::size_t beforeDrop = arrays.x.size();
    dropPointsWithoutColor(arrays);
    if (arrays.x.size() != beforeDrop)
        arrays.statistics = computePlotStatistics(arrays.x, arrays.y);
    arrays.nonPositiveX = countLeftOutOnScale(arrays.x, settings.scaleX);
    arrays.nonPositiveY = countLeftOutOnScale(arrays.y, settings.scaleY);
    if (settings.contourMode != ContourMode::Off && arrays.x.size() >= 4)
        arrays.contours = sharedContours ? std::move(*sharedContours)
                                         : plotContours(arrays.x, arrays.y, settings);
    return arrays;
}

} // namespace Quorvex3
