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

// One assessment's inputs: the table, its lower edge and the scaling to
// the dataset's conditions.
struct Assessment {
    const TriangulatedLUT& lut;
    std::array<double, kProfileBins> profile;
    double areaScale; // s²
    double factor;    // modulus scaling F
    double pixelSize;
};

// What the mapped events contribute to the medians.
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

// Counts one event (area in µm², measured deformation) in the report and
// collects what a mapped event adds.
void classifyEvent(const Assessment& a, double area, double measured,
                   EModulus::QualityReport& report, Collected& c) {
    const TriangulatedLUT& t = a.lut;
    const double as = a.areaScale * area;
    const double d = EModulus::pixelationCorrection(measured, area, a.pixelSize);
    if (as < t.areaMin) {
        ++report.areaTooSmall;
        return;
    }
    if (as > t.areaMax) {
        ++report.areaTooLarge;
        return;
    }
    if (d < t.deformMin || d > t.deformMax) {
        ++(d < t.deformMin ? report.deformTooLow : report.deformTooHigh);
        return;
    }
    const double e = interpolateTriangulated(t, as, d);
    if (std::isnan(e)) {
        ++(outsideHullIsHigh(t, as, d) ? report.deformTooHigh : report.deformTooLow);
        return;
    }
    ++report.mapped;
    const double es = a.factor * e;
    c.all.push_back(es);
    c.deform.push_back(d);
    const int bin = profileBin((as - t.areaMin) / t.areaRange);
    const double gap = d - a.profile[static_cast<std::size_t>(bin)];
    if (gap >= 0.0 && gap < 0.1 * t.deformRange)
        ++report.nearBoundary;
    else
        c.interior.push_back(es);
    const double h = 0.001 * t.deformRange;
    const double up = interpolateTriangulated(t, as, d + h);
    const double down = interpolateTriangulated(t, as, d - h);
    if (!std::isnan(up) && !std::isnan(down))
        c.rawSensitivity.push_back(a.factor * std::abs(up - down) / (2.0 * h) /
                                   std::max(es, 1e-10));
}

// The medians, sensitivity and bias of the mapped events.
void summarise(Collected& c, EModulus::QualityReport& report) {
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

    const Assessment assessment{t, lowerEdgeProfile(t), s * s, factor, params.pixelSize};
    // Columns shorter than the event count end the valid range early rather
    // than being read past their end.
    const std::size_t events =
        std::min({reader->getEventCount(), areaColumn->size(), deformColumn->size()});
    report.totalEvents = static_cast<int>(indices.size());
    Collected collected;
    for (int index : indices) {
        if (index < 0 || static_cast<std::size_t>(index) >= events)
            continue;
        const auto i = static_cast<std::size_t>(index);
        classifyEvent(assessment, (*areaColumn)[i], (*deformColumn)[i], report, collected);
    }
    report.valid = true;
    if (report.mapped > 0)
        summarise(collected, report);
    return report;
}

} // namespace Quorvex3
