// How trustworthy a dataset's Young's moduli are: coverage of the table,
// closeness to its lower deformation edge, sensitivity to deformation
// errors, and the bias that edge events add to the median.

#include "calc/EModulus.h"

#include "core/RTDCReader.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace Quorvex3 {

namespace {

constexpr int kProfileBins = 200;

// The element at position floor(n / 2) of the ascending values: for an even
// count the upper of the two middle values.
double upperMedian(std::vector<double> values) {
    if (values.empty())
        return 0.0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

int profileBin(double normalised) {
    const double bin = std::trunc(kProfileBins * normalised);
    return static_cast<int>(std::max(0.0, std::min(double(kProfileBins - 1), bin)));
}

// Smallest table deformation per bin of normalised area; empty bins take a
// neighbour's value, first from the left, then from the right.
std::array<double, kProfileBins> lowerEdgeProfile(const TriangulatedLUT& lut) {
    std::array<double, kProfileBins> profile;
    profile.fill(lut.deformMax);
    for (std::size_t i = 0; i < lut.x.size(); ++i) {
        double& edge = profile[static_cast<std::size_t>(profileBin(lut.x[i]))];
        edge = std::min(edge, lut.deformMin + lut.deformRange * lut.y[i]);
    }
    for (int b = 1; b < kProfileBins; ++b) {
        if (profile[b] >= lut.deformMax)
            profile[b] = profile[b - 1];
    }
    for (int b = kProfileBins - 2; b >= 0; --b) {
        if (profile[b] >= lut.deformMax)
            profile[b] = profile[b + 1];
    }
    return profile;
}

struct Collected {
    std::vector<double> all;
    std::vector<double> interior;
    std::vector<double> deform;
    std::vector<double> rawSensitivity;
};

// Which side of the table an event inside its bounding box but outside its
// hull lies on.
bool outsideHullIsHigh(const TriangulatedLUT& lut, double area, double d) {
    const double middle = (lut.deformMin + lut.deformMax) / 2.0;
    if (!std::isnan(interpolateTriangulated(lut, area, middle)))
        return d > middle;
    return !std::isnan(interpolateTriangulated(lut, area, lut.deformMin + 0.05 * lut.deformRange));
}

} // namespace

EModulus::QualityReport EModulus::assessQuality(RTDCReader* reader, const EModParams& params,
                                                const std::vector<int>& indices) {
    QualityReport report;
    if (!reader || !reader->hasFeature("area_um") || !reader->hasFeature("deform"))
        return report;
    if (!emodParamsProblem(params, true).isEmpty())
        return report;
    buildTriangulation(params.lutModel);
    const TriangulatedLUT* lutPtr = triangulation(params.lutModel);
    const LUTData* table = lut(params.lutModel);
    if (!lutPtr || !table)
        return report;
    const TriangulatedLUT& t = *lutPtr;

    const auto areaColumn = reader->featureColumn("area_um");
    const auto deformColumn = reader->featureColumn("deform");
    if (!areaColumn || !deformColumn)
        return report;
    const double s = table->channelWidth / params.channelWidth;
    const double eta = computeViscosity(params, params.temperature);
    const double factor =
        (eta / table->fluidViscosity) * (params.flowRate / table->flowRate) * std::pow(s, 3.0);
    if (!std::isfinite(factor) || !(factor > 0.0))
        return report;

    const std::array<double, kProfileBins> profile = lowerEdgeProfile(t);
    // Columns shorter than the event count end the valid range early rather
    // than being read past their end.
    const std::size_t events =
        std::min({reader->getEventCount(), areaColumn->size(), deformColumn->size()});
    report.totalEvents = static_cast<int>(indices.size());
    Collected c;
    const double h = 0.001 * t.deformRange;
    for (int index : indices) {
        if (index < 0 || static_cast<std::size_t>(index) >= events)
            continue;
        const double area = (*areaColumn)[static_cast<std::size_t>(index)];
        const double as = s * s * area;
        const double d = pixelationCorrection((*deformColumn)[static_cast<std::size_t>(index)],
                                              area, params.pixelSize);
        if (as < t.areaMin) {
            ++report.areaTooSmall;
        } else if (as > t.areaMax) {
            ++report.areaTooLarge;
        } else if (d < t.deformMin) {
            ++report.deformTooLow;
        } else if (d > t.deformMax) {
            ++report.deformTooHigh;
        } else {
            const double e = interpolateTriangulated(t, as, d);
            if (std::isnan(e)) {
                ++(outsideHullIsHigh(t, as, d) ? report.deformTooHigh : report.deformTooLow);
                continue;
            }
            ++report.mapped;
            const double es = factor * e;
            c.all.push_back(es);
            c.deform.push_back(d);
            const int bin = profileBin((as - t.areaMin) / t.areaRange);
            const double gap = d - profile[static_cast<std::size_t>(bin)];
            if (gap >= 0.0 && gap < 0.1 * t.deformRange)
                ++report.nearBoundary;
            else
                c.interior.push_back(es);
            const double up = interpolateTriangulated(t, as, d + h);
            const double down = interpolateTriangulated(t, as, d - h);
            if (!std::isnan(up) && !std::isnan(down))
                c.rawSensitivity.push_back(factor * std::abs(up - down) / (2.0 * h) /
                                           std::max(es, 1e-10));
        }
    }
    report.valid = true;
    if (report.mapped == 0)
        return report;

    const double medianDeform = upperMedian(c.deform);
    std::vector<double> deviations(c.deform.size());
    for (std::size_t i = 0; i < c.deform.size(); ++i)
        deviations[i] = std::abs(c.deform[i] - medianDeform);
    const double mad = 1.4826 * upperMedian(deviations);
    for (double& sensitivity : c.rawSensitivity) {
        sensitivity *= mad;
        report.highSensitivity += sensitivity > 1.0 ? 1 : 0;
    }
    report.medianSensitivity = upperMedian(c.rawSensitivity);
    report.medianAll = upperMedian(c.all);
    report.medianInterior = c.interior.empty() ? report.medianAll : upperMedian(c.interior);
    report.bias = report.medianInterior > 1e-10
                      ? std::abs(report.medianAll - report.medianInterior) / report.medianInterior
                      : 0.0;
    return report;
}

} // namespace Quorvex3
