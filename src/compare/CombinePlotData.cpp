#include "compare/CombinePlotData.h"

#include "compare/CombineParallel.h"
#include "core/RTDCReader.h"
#include "core/ShownEvents.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace Quorvex3 {

namespace {

using Column = std::shared_ptr<const std::vector<double>>;

// Indices of the shown events below `limit`, ascending.
std::vector<int> shownEventsBelow(RTDCReader& reader, const EventFilter& filter, size_t limit) {
    std::vector<int> indices = shownEvents(reader, filter);
    const auto end = std::lower_bound(indices.begin(), indices.end(), limit,
                                      [](int i, size_t n) { return static_cast<size_t>(i) < n; });
    indices.erase(end, indices.end());
    return indices;
}

// The estimator only gives NaN for non-finite pairs, which are gone; if it
// ever did, the event is dropped rather than drawn in a wrong colour.
void keepFiniteDensities(CombineFilteredData& data) {
    size_t kept = 0;
    for (size_t i = 0; i < data.x.size(); ++i) {
        if (!std::isfinite(data.density[i]))
            continue;
        data.x[kept] = data.x[i];
        data.y[kept] = data.y[i];
        data.density[kept] = data.density[i];
        ++kept;
    }
    data.x.resize(kept);
    data.y.resize(kept);
    data.density.resize(kept);
}

// The two contour percentages as shares, the smaller first.
std::vector<double> contourShares(double innerPercent, double outerPercent) {
    const double a = innerPercent / 100.0;
    const double b = outerPercent / 100.0;
    return {std::min(a, b), std::max(a, b)};
}

bool isPositiveWhereLog(double value, ScaleMode mode) {
    return mode != ScaleMode::Log || value > 0.0;
}

} // namespace

CombineFilteredData readCombineFilteredData(RTDCReader& reader, const EventFilter& filter,
                                            const CombineDataRequest& request) {
    CombineFilteredData data;
    data.xLabel = reader.getFeatureLabel(request.xFeature);
    data.yLabel = reader.getFeatureLabel(request.yFeature);
    if (!reader.isOpen())
        return data;
    const Column xColumn = reader.featureColumn(request.xFeature);
    const Column yColumn = reader.featureColumn(request.yFeature);
    if (!xColumn || !yColumn || xColumn->empty() || yColumn->empty())
        return data;
    const size_t limit = std::min({xColumn->size(), yColumn->size(), reader.getEventCount()});
    const std::vector<int> indices = shownEventsBelow(reader, filter, limit);
    data.x.reserve(indices.size());
    data.y.reserve(indices.size());
    for (const int i : indices) {
        const double x = (*xColumn)[static_cast<size_t>(i)];
        const double y = (*yColumn)[static_cast<size_t>(i)];
        if (std::isfinite(x) && std::isfinite(y)) {
            data.x.push_back(x);
            data.y.push_back(y);
        }
    }
    if (!request.withDensity || data.x.size() < 4)
        return data;
    data.density = DensityEstimator::estimateNaNSafe(applyScaleTransform(data.x, request.scaleX),
                                                     applyScaleTransform(data.y, request.scaleY),
                                                     DensityMethod::KDE);
    keepFiniteDensities(data);
    return data;
}

CombinePlotInputs readCombinePlotInputs(RTDCReader& reader, const EventFilter& filter,
                                        const CombineDataRequest& request,
                                        const CombineContourRequest& contours) {
    CombinePlotInputs inputs;
    if (!contours.on) {
        inputs.data = readCombineFilteredData(reader, filter, request);
        return inputs;
    }
    CombineDataRequest plain = request;
    plain.withDensity = false;
    inputs.data = readCombineFilteredData(reader, filter, plain);
    CombineFilteredData& data = inputs.data;
    if (!request.withDensity) {
        inputs.contours = computeCombineContours(data, contours.innerPercent, contours.outerPercent,
                                                 request.scaleX, request.scaleY);
        return inputs;
    }
    if (data.x.size() < 4)
        return inputs;
    KernelDensityView view = DensityEstimator::estimateKDEWithContours(
        data.x, data.y, contourShares(contours.innerPercent, contours.outerPercent), request.scaleX,
        request.scaleY);
    data.density = std::move(view.densities);
    inputs.contours = std::move(view.levels);
    keepFiniteDensities(data);
    return inputs;
}

std::vector<CombinePlotInputs> readAllCombinePlotInputs(const std::vector<CombineInputsJob>& jobs,
                                                        const CombineContourRequest& contours) {
    std::vector<CombinePlotInputs> all(jobs.size());
    runCombineJobs(jobs.size(), [&](size_t i) {
        const CombineInputsJob& job = jobs[i];
        if (job.reader != nullptr)
            all[i] = readCombinePlotInputs(*job.reader, job.filter, job.request, contours);
    });
    return all;
}

CombineFilteredData dotsForAxes(const CombineFilteredData& data, ScaleMode scaleX,
                                ScaleMode scaleY) {
    if (scaleX != ScaleMode::Log && scaleY != ScaleMode::Log)
        return data;
    CombineFilteredData dots;
    dots.xLabel = data.xLabel;
    dots.yLabel = data.yLabel;
    const bool withDensity = data.density.size() == data.x.size() && !data.density.empty();
    for (size_t i = 0; i < data.x.size() && i < data.y.size(); ++i) {
        if (!isPositiveWhereLog(data.x[i], scaleX) || !isPositiveWhereLog(data.y[i], scaleY))
            continue;
        dots.x.push_back(data.x[i]);
        dots.y.push_back(data.y[i]);
        if (withDensity)
            dots.density.push_back(data.density[i]);
    }
    return dots;
}

ScaleWarningCounts countScaleWarnings(const CombineFilteredData& data, ScaleMode scaleX,
                                      ScaleMode scaleY) {
    auto count = [](const std::vector<double>& values, ScaleMode mode) {
        if (mode != ScaleMode::Log)
            return 0;
        return static_cast<int>(
            std::count_if(values.begin(), values.end(), [](double v) { return v <= 0.0; }));
    };
    return {count(data.x, scaleX), count(data.y, scaleY)};
}

DensityColorRange densityColorRange(const std::vector<double>& density) {
    if (density.empty())
        return {};
    const auto [low, high] = std::minmax_element(density.begin(), density.end());
    return {*low, *high == *low ? *low + 1.0 : *high};
}

std::vector<ContourLevel> computeCombineContours(const CombineFilteredData& data,
                                                 double innerPercent, double outerPercent,
                                                 ScaleMode scaleX, ScaleMode scaleY) {
    if (data.x.size() < 4 || data.x.size() != data.y.size())
        return {};
    return DensityEstimator::computeContoursTransformed(
        data.x, data.y, contourShares(innerPercent, outerPercent), scaleX, scaleY);
}

} // namespace Quorvex3
