// The feature vocabulary: display labels and units of every known feature
// key, and the naming rule for fluorescence channels the tables lack.

#include "core/RTDCReader.h"

#include <map>
#include <string>
#include <utility>

namespace Quorvex3 {

namespace {

using FeatureTable = std::map<std::string, std::pair<std::string, std::string>>;

// The tables are function-local statics: they are built on first use, so no
// static initialiser of another file (and not the HDF5 lock) can see them
// half-built, and their construction is thread-safe.

const FeatureTable& flSuffixInfo() {
    static const FeatureTable s_flSuffixInfo = {
        {"_area", {"area of peak", "a.u."}},
        {"_dist", {"distance between two first peaks", "µs"}},
        {"_max", {"maximum", "a.u."}},
        {"_max_ctc", {"maximum, crosstalk-corrected", "a.u."}},
        {"_max_rf", {"maximum refined", "a.u."}},
        {"_npeaks", {"number of peaks", ""}},
        {"_pos", {"position of peak", "µs"}},
        {"_pos_rf", {"position refined", "µs"}},
        {"_width", {"width", "µs"}},
        {"_width_rf", {"width refined", "µs"}},
    };
    return s_flSuffixInfo;
}

FeatureTable buildFeatureInfoTable() {
    FeatureTable table = {
        {"area_cvx", {"Convex area", "px"}},
        {"area_msd", {"Measured area", "px"}},
        {"area_ratio", {"Porosity", ""}},
        {"area_um", {"Area", "µm²"}},
        {"area_um_raw", {"Area of raw contour", "µm²"}},
        {"aspect", {"Aspect ratio of bounding box", ""}},
        {"bg_med", {"Median frame background brightness", "a.u."}},
        {"bg_off", {"Background offset", "a.u."}},
        {"bright_avg", {"Brightness average", "a.u."}},
        {"bright_sd", {"Brightness SD", "a.u."}},
        {"bright_bc_avg", {"Brightness average (bgc)", "a.u."}},
        {"bright_bc_sd", {"Brightness SD (bgc)", "a.u."}},
        {"bright_median", {"Brightness median", "a.u."}},
        {"bright_perc_10", {"Brightness 10th percentile", "a.u."}},
        {"bright_perc_90", {"Brightness 90th percentile", "a.u."}},
        {"bright_iqr", {"Brightness interquartile range", "a.u."}},
        {"bright_mad", {"Brightness MAD (robust SD)", "a.u."}},
        {"bright_cv", {"Brightness coefficient of variation", ""}},
        {"bright_skew", {"Brightness skewness", ""}},
        {"bright_kurt", {"Brightness excess kurtosis", ""}},
        {"bright_entropy", {"Brightness histogram entropy", "bit"}},
        {"lbp_entropy", {"LBP pattern entropy", "bit"}},
        {"lbp_uniformity", {"LBP uniform-pattern fraction", ""}},
        {"lbp_spot", {"LBP spot-pattern fraction", ""}},
        {"radial_slope", {"Radial intensity slope", "a.u."}},
        {"radial_cer", {"Radial centre-to-edge ratio", ""}},
        {"radial_contrast", {"Radial profile contrast", ""}},
        {"radial_ringdepth", {"Radial ring/halo depth", ""}},
        {"spectral_slope", {"Spectral log-log slope", ""}},
        {"spectral_centroid", {"Spectral centroid frequency", "1/px"}},
        {"spectral_hf", {"Spectral high-frequency fraction", ""}},
        {"spectral_entropy", {"Spectral entropy", "bit"}},
        {"focus_tenengrad", {"Focus: Tenengrad (mean sq. gradient)", ""}},
        {"focus_lapvar", {"Focus: variance of Laplacian", ""}},
        {"focus_brenner", {"Focus: Brenner gradient", ""}},
        {"focus_edge", {"Focus: mean edge-band gradient", ""}},
        {"circ", {"Circularity", ""}},
        {"deform", {"Deformation", ""}},
        {"deform_raw", {"Deformation of raw contour", ""}},
        {"deform_odd", {"Deformation of odd FC only", ""}},
        {"deform_even", {"Deformation of even FC only", ""}},
        {"deform_fc", {"Deformation from FC", ""}},
        {"eccentr_prnc", {"Eccentricity of raw contour", ""}},
        {"dim_1", {"Dimension 1", ""}},
        {"dim_2", {"Dimension 2", ""}},
        {"dr_cluster", {"DR cluster ID", ""}},
        {"emodulus", {"Young's modulus", "kPa"}},
        {"flow_rate", {"Flow rate", "µL/s"}},
        {"frame", {"Video frame number", ""}},
        {"index", {"Index (Dataset)", ""}},
        {"index_online", {"Index (Online)", ""}},
        {"inert_ratio_cvx", {"Inertia ratio of convex contour", ""}},
        {"inert_ratio_prnc", {"Principal inertia ratio of raw contour", ""}},
        {"inert_ratio_raw", {"Inertia ratio of raw contour", ""}},
        {"ml_class", {"Most probable ML class", ""}},
        {"per_ratio", {"Inverse convexity", ""}},
        {"per_um_raw", {"Perimeter of raw contour", "µm"}},
        {"pos_x", {"Position along channel axis", "µm"}},
        {"pos_y", {"Position lateral in channel", "µm"}},
        {"size_x", {"Bounding box size x", "µm"}},
        {"size_y", {"Bounding box size y", "µm"}},
        {"temp", {"Chip temperature", "°C"}},
        {"temp_amb", {"Ambient temperature", "°C"}},
        {"time", {"Time", "s"}},
        {"volume", {"Volume", "µm³"}},
    };
    // Fluorescence channels 1 to 3 with every peak quantity.
    for (const char channel : {'1', '2', '3'}) {
        for (const auto& [suffix, info] : flSuffixInfo()) {
            table[std::string("fl") + channel + suffix] = {
                std::string("FL-") + channel + " " + info.first, info.second};
        }
    }
    for (char digit = '0'; digit <= '9'; ++digit)
        table[std::string("userdef") + digit] = {std::string("User-defined ") + digit, ""};
    return table;
}

const FeatureTable& featureInfo() {
    static const FeatureTable s_featureInfo = buildFeatureInfoTable();
    return s_featureInfo;
}

// Slots that Veloxar instruments fill with fixed quantities.
const FeatureTable& userdefInfo() {
    static const FeatureTable s_userdefInfo = {
        {"userdef0", {"Velocity", "mm/s"}},
        {"userdef1", {"Deformation of odd FC only", ""}},
        {"userdef2", {"Deformation of even FC only", ""}},
        {"userdef9", {"Cell Type ID", ""}},
    };
    return s_userdefInfo;
}

// Names "fl<digits>_<suffix>" for channels and combinations the main table
// lacks (fl4_max, fl12_width). The digits are kept as written.
bool flFeatureLabel(const std::string& name, std::string& label, std::string& unit) {
    if (name.size() < 4 || name[0] != 'f' || name[1] != 'l')
        return false;
    size_t pos = 2;
    while (pos < name.size() && name[pos] >= '0' && name[pos] <= '9')
        ++pos;
    if (pos == 2 || pos == name.size() || name[pos] != '_')
        return false;
    const auto row = flSuffixInfo().find(name.substr(pos));
    if (row == flSuffixInfo().end())
        return false;
    label = "FL-" + name.substr(2, pos - 2) + " " + row->second.first;
    unit = row->second.second;
    return true;
}

} // namespace

bool RTDCReader::lookupLabel(const std::string& name, std::string& label, std::string& unit) const {
    if (m_isVeloxar) {
        const auto row = userdefInfo().find(name);
        if (row != userdefInfo().end()) {
            label = row->second.first;
            unit = row->second.second;
            return true;
        }
    }
    const auto row = featureInfo().find(name);
    if (row != featureInfo().end()) {
        label = row->second.first;
        unit = row->second.second;
        return true;
    }
    return flFeatureLabel(name, label, unit);
}

std::string RTDCReader::getFeatureLabel(const std::string& name) const {
    std::string label;
    std::string unit;
    if (!lookupLabel(name, label, unit))
        return name;
    return unit.empty() ? label : label + " [" + unit + "]";
}

std::string RTDCReader::getFeatureUnit(const std::string& name) const {
    std::string label;
    std::string unit;
    if (!lookupLabel(name, label, unit))
        return {};
    return unit;
}

bool RTDCReader::isScalarFeature(const std::string& name) {
    return name != "image" && name != "mask" && name != "contour";
}

} // namespace Quorvex3
