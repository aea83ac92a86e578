#include "compare/CombinePlotAxes.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Quorvex3 {

namespace {

// Forward and inverse map of an axis scale, for padding in the space the
// axis shows. Linear axes stay in data units.
double toAxisSpace(double v, ScaleMode mode) {
    if (mode == ScaleMode::Log)
        return std::log10(v);
    if (mode == ScaleMode::PseudoLog)
        return pseudoLogForward(v);
    return v;
}

double fromAxisSpace(double v, ScaleMode mode) {
    if (mode == ScaleMode::Log)
        return std::pow(10.0, v);
    if (mode == ScaleMode::PseudoLog)
        return pseudoLogInverse(v);
    return v;
}

bool usableOnAxis(double v, ScaleMode mode) {
    return std::isfinite(v) && (mode != ScaleMode::Log || v > 0.0);
}

// n >= 1, d >= 1; written so that no sum can overflow.
int ceilDiv(int n, int d) {
    return (n - 1) / d + 1;
}

} // namespace

AxisRange paddedAxisRange(const std::vector<const std::vector<double>*>& columns, ScaleMode mode) {
    double low = std::numeric_limits<double>::max();
    double high = std::numeric_limits<double>::lowest();
    bool any = false;
    for (const std::vector<double>* column : columns) {
        if (column == nullptr)
            continue;
        for (const double v : *column) {
            if (!usableOnAxis(v, mode))
                continue;
            low = std::min(low, v);
            high = std::max(high, v);
            any = true;
        }
    }
    if (!any)
        return {};
    const double a = toAxisSpace(low, mode);
    const double b = toAxisSpace(high, mode);
    double pad = 0.05 * (b - a);
    if (pad == 0.0)
        pad = 1.0;
    AxisRange range{true, fromAxisSpace(a - pad, mode), fromAxisSpace(b + pad, mode)};
    // A span near the largest double pads past it; the axis then scales itself.
    range.valid = std::isfinite(range.min) && std::isfinite(range.max);
    return range;
}

CombineAxisLimits computeGlobalAxisLimits(const std::vector<const CombineFilteredData*>& datasets,
                                          ScaleMode scaleX, ScaleMode scaleY) {
    std::vector<const std::vector<double>*> xs;
    std::vector<const std::vector<double>*> ys;
    for (const CombineFilteredData* data : datasets) {
        if (data == nullptr)
            continue;
        xs.push_back(&data->x);
        ys.push_back(&data->y);
    }
    return {paddedAxisRange(xs, scaleX), paddedAxisRange(ys, scaleY)};
}

CombineAxisLimits manualAxisLimits(double xMin, double xMax, double yMin, double yMax,
                                   ScaleMode scaleX, ScaleMode scaleY) {
    auto axis = [](double low, double high, ScaleMode mode) {
        const bool valid = usableOnAxis(low, mode) && usableOnAxis(high, mode);
        return AxisRange{valid, low, high};
    };
    return {axis(xMin, xMax, scaleX), axis(yMin, yMax, scaleY)};
}

CombineGridSize computeGridSize(int plotCount, bool manualSize, int manualColumns, int manualRows) {
    if (plotCount < 1)
        return {};
    if (manualSize && manualColumns >= 1)
        return {manualColumns, ceilDiv(plotCount, manualColumns)};
    if (manualSize && manualRows >= 1)
        return {ceilDiv(plotCount, manualRows), manualRows};
    const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(plotCount))));
    return {columns, ceilDiv(plotCount, columns)};
}

} // namespace Quorvex3
