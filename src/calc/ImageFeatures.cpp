#include "calc/ImageFeatures.h"

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

bool ImageFeatures::run(RTDCReader*) {
    return false;
}

} // namespace Quorvex3
