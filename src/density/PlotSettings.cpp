#include "density/PlotSettings.h"

#include "core/RTDCReader.h"

#include <algorithm>

namespace Quorvex3 {

namespace {

const char* const kDensityPrefix = "__density_";

} // namespace

bool PlotSettings::operator==(const PlotSettings& other) const {
    return xFeature == other.xFeature && yFeature == other.yFeature && colorId == other.colorId &&
           scaleX == other.scaleX && scaleY == other.scaleY && contourMode == other.contourMode &&
           contourFraction1 == other.contourFraction1 && contourFraction2 == other.contourFraction2;
}

bool isDensityColorId(const std::string& id) {
    return id.rfind(kDensityPrefix, 0) == 0;
}

ColorChoice parseColorId(const std::string& id) {
    ColorChoice choice;
    if (id.empty())
        return choice;
    if (!isDensityColorId(id)) {
        choice.kind = ColorChoice::Kind::Feature;
        choice.feature = id;
        return choice;
    }
    choice.kind = ColorChoice::Kind::Density;
    if (id == "__density_hist__")
        choice.method = DensityMethod::Histogram;
    else if (id == "__density_knn__")
        choice.method = DensityMethod::KNN;
    else
        choice.method = DensityMethod::KDE;
    return choice;
}

std::string densityColorId(DensityMethod method) {
    switch (method) {
    case DensityMethod::Histogram:
        return "__density_hist__";
    case DensityMethod::KNN:
        return "__density_knn__";
    case DensityMethod::KDE:
        break;
    }
    return "__density_kde__";
}

std::vector<double> sortedContourFractions(const PlotSettings& settings) {
    const double f1 = settings.contourFraction1;
    const double f2 = settings.contourFraction2;
    return {std::min(f1, f2), std::max(f1, f2)};
}

bool sameAxes(const PlotSettings& a, const PlotSettings& b) {
    return a.xFeature == b.xFeature && a.yFeature == b.yFeature && a.scaleX == b.scaleX &&
           a.scaleY == b.scaleY;
}

PlotSettings adoptPlotSettings(const PlotSettings& target, const PlotSettings& source,
                               const RTDCReader* reader) {
    PlotSettings result = target;
    if (reader) {
        if (reader->hasFeature(source.xFeature))
            result.xFeature = source.xFeature;
        if (reader->hasFeature(source.yFeature))
            result.yFeature = source.yFeature;
        if (parseColorId(source.colorId).kind != ColorChoice::Kind::Feature ||
            reader->hasFeature(source.colorId))
            result.colorId = source.colorId;
    }
    result.scaleX = source.scaleX;
    result.scaleY = source.scaleY;
    result.contourMode = source.contourMode;
    result.contourFraction1 = source.contourFraction1;
    result.contourFraction2 = source.contourFraction2;
    return result;
}

} // namespace Quorvex3
