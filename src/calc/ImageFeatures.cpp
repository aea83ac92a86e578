#include "calc/ImageFeatures.h"

#include "calc/ImageTextureFeatures.h"
#include "core/RTDCReader.h"

#include <cstdint>
#include <limits>

namespace Quorvex3 {

const std::vector<std::string>& imageFeatureNames() {
    static const std::vector<std::string> names = {
        "bright_median",   "bright_perc_10",    "bright_perc_90",  "bright_iqr",
        "bright_mad",      "bright_cv",         "bright_skew",     "bright_kurt",
        "bright_entropy",  "lbp_entropy",       "lbp_uniformity",  "lbp_spot",
        "radial_slope",    "radial_cer",        "radial_contrast", "radial_ringdepth",
        "spectral_slope",  "spectral_centroid", "spectral_hf",     "spectral_entropy",
        "focus_tenengrad", "focus_lapvar",      "focus_brenner",   "focus_edge",
    };
    return names;
}

ImageFeatures::ImageFeatures(QObject* parent) : QObject(parent) {}

bool ImageFeatures::run(RTDCReader* reader) {
    if (!reader || !reader->hasImages() || !reader->hasMasks())
        return false;
    const size_t n = reader->getEventCount();
    const std::vector<std::string>& names = imageFeatureNames();
    std::vector<std::vector<double>> columns(
        names.size(), std::vector<double>(n, std::numeric_limits<double>::quiet_NaN()));
    std::vector<double> values;
    for (size_t i = 0; i < n; ++i) {
        int imageWidth = 0;
        int imageHeight = 0;
        int maskWidth = 0;
        int maskHeight = 0;
        std::vector<uint8_t> image = reader->readImage(i, imageWidth, imageHeight);
        std::vector<uint8_t> mask = reader->readMask(i, maskWidth, maskHeight);
        const size_t pixels = static_cast<size_t>(imageWidth) * static_cast<size_t>(imageHeight);
        if (!image.empty() && !mask.empty() && imageWidth == maskWidth &&
            imageHeight == maskHeight && imageWidth >= 1 && imageHeight >= 1 &&
            image.size() >= pixels && mask.size() >= pixels) {
            const cv::Mat imageMat(imageHeight, imageWidth, CV_8UC1, image.data());
            const cv::Mat maskMat(maskHeight, maskWidth, CV_8UC1, mask.data());
            if (computeImageFeatures(imageMat, maskMat, values))
                for (size_t k = 0; k < columns.size(); ++k)
                    columns[k][i] = values[k];
        }
        if (i % 100 == 0)
            emit progressChanged(
                static_cast<int>(static_cast<double>(i) * 100.0 / static_cast<double>(n)));
    }
    for (size_t k = 0; k < columns.size(); ++k)
        reader->addCalculatedFeature(names[k], std::move(columns[k]));
    emit progressChanged(100);
    return true;
}

} // namespace Quorvex3
