// Lines of constant Young's modulus over area and measured deformation.

#include "calc/EModulus.h"

#include <cmath>

namespace Quorvex3 {

namespace {

// Table levels in kPa at the table's reference conditions.
constexpr double kLevels[] = {0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.9, 1.2, 1.5, 2.0, 3.0};
constexpr int kAreaSteps = 150;
constexpr int kDeformSteps = 50;
constexpr int kBisections = 40;

// Offset that pixelation adds to the deformation of a cell of `area` µm².
double pixelationOffset(double area, double pixelSize) {
    return -EModulus::pixelationCorrection(0.0, area, pixelSize);
}

// The deformation (table units) at which the modulus at table area `area`
// crosses `level`: the first crossing of a coarse scan, refined by
// bisection. False when the column never crosses it.
bool findCrossing(const TriangulatedLUT& lut, double area, double level, double& deform) {
    auto e = [&lut, area](double d) { return interpolateTriangulated(lut, area, d); };
    const double step = lut.deformRange / kDeformSteps;
    double previous = e(lut.deformMin);
    for (int k = 1; k <= kDeformSteps; ++k) {
        const double dk = lut.deformMin + step * k;
        const double current = e(dk);
        if (!std::isnan(previous) && !std::isnan(current) &&
            (previous - level) * (current - level) <= 0.0) {
            double lo = lut.deformMin + step * (k - 1);
            double hi = dk;
            double eLo = e(lo);
            for (int i = 0; i < kBisections; ++i) {
                const double mid = (lo + hi) / 2.0;
                const double eMid = e(mid);
                if (std::isnan(eMid))
                    break;
                if ((eLo - level) * (eMid - level) <= 0.0) {
                    hi = mid;
                } else {
                    lo = mid;
                    eLo = eMid;
                }
                if (std::abs(hi - lo) < 1e-8)
                    break;
            }
            deform = (lo + hi) / 2.0;
            return true;
        }
        previous = current;
    }
    return false;
}

} // namespace

std::vector<IsoLine> EModulus::computeIsolines(const EModParams& params) {
    constexpr LUTModel kModel = 0;
    if (!emodParamsProblem(params, true).isEmpty())
        return {};
    buildTriangulation(kModel);
    const TriangulatedLUT* lutPtr = triangulation(kModel);
    const LUTData* table = lut(kModel);
    if (!lutPtr || !table)
        return {};
    const TriangulatedLUT& t = *lutPtr;
    const double s = table->channelWidth / params.channelWidth;
    const double eta = computeViscosity(params, params.temperature);
    const double factor =
        std::pow(s, 3.0) * (params.flowRate / table->flowRate) * (eta / table->fluidViscosity);
    if (!std::isfinite(factor) || !(factor > 0.0))
        return {};

    const double areaLow = t.areaMin / (s * s);
    const double areaHigh = t.areaMax / (s * s);
    const double areaStep = (areaHigh - areaLow) / kAreaSteps;
    std::vector<IsoLine> lines;
    for (double level : kLevels) {
        IsoLine line;
        line.value = factor * level;
        // The step count bounds the loop even if the sum overshoots by
        // rounding; the area itself grows by repeated addition.
        double a = areaLow;
        for (int k = 0; k <= kAreaSteps + 1 && a <= areaHigh; ++k, a += areaStep) {
            double deform = 0.0;
            if (findCrossing(t, s * s * a, level, deform))
                line.points.emplace_back(a, deform + pixelationOffset(a, params.pixelSize));
        }
        if (line.points.size() >= 2)
            lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace Quorvex3
