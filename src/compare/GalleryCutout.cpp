#include "compare/GalleryCutout.h"

#include "core/RTDCReader.h"

#include <algorithm>
#include <cmath>

namespace Quorvex3 {

namespace {

int evenSide(int side) {
    if (side < 1)
        return 64;
    side = std::min(side, kMaxGalleryCutoutSide);
    return side % 2 == 0 ? side : side + 1;
}

} // namespace

double featurePercentile99(RTDCReader& reader, const std::vector<int>& filteredIndices,
                           const std::string& feature) {
    if (!reader.hasFeature(feature) || filteredIndices.empty())
        return 0.0;
    const auto column = reader.featureColumn(feature);
    if (!column)
        return 0.0;
    std::vector<double> values;
    values.reserve(filteredIndices.size());
    for (const int i : filteredIndices) {
        if (i >= 0 && static_cast<size_t>(i) < column->size() &&
            std::isfinite((*column)[static_cast<size_t>(i)]))
            values.push_back((*column)[static_cast<size_t>(i)]);
    }
    if (values.empty())
        return 0.0;
    const auto k = static_cast<size_t>(std::floor(static_cast<double>(values.size() - 1) * 0.99));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
    return values[k];
}

int cutoutSideFromPercentile(double percentile99, double pixelSize, int margin) {
    if (!(percentile99 > 0.0) || !(std::isfinite(pixelSize) && pixelSize > 0.0))
        return 0;
    const double side = std::ceil(percentile99 / pixelSize) + 2.0 * margin;
    if (!(side >= 1.0))
        return 0;
    return static_cast<int>(std::min(side, static_cast<double>(kMaxGalleryCutoutSide)));
}

GalleryCutoutSize computeAutoCutoutSize(RTDCReader& reader, const std::vector<int>& filteredIndices,
                                        double pixelSize, int margin) {
    int w = cutoutSideFromPercentile(featurePercentile99(reader, filteredIndices, "size_x"),
                                     pixelSize, margin);
    int h = cutoutSideFromPercentile(featurePercentile99(reader, filteredIndices, "size_y"),
                                     pixelSize, margin);
    if ((w < 1 || h < 1) && !filteredIndices.empty() && filteredIndices.front() >= 0) {
        int width = 0;
        int height = 0;
        const auto frame =
            reader.readImage(static_cast<size_t>(filteredIndices.front()), width, height);
        if (!frame.empty()) {
            w = w < 1 ? width : w;
            h = h < 1 ? height : h;
        }
    }
    return {evenSide(w), evenSide(h)};
}

} // namespace Quorvex3
