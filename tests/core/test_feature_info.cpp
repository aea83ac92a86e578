// Display labels and units of features, the fluorescence naming rule and the
// scalar-feature test.

#include "ReaderTestUtil.h"

#include <set>
#include <tuple>

using namespace Quorvex3;
using namespace Quorvex3::testing;

namespace {

struct Row {
    const char* key;
    const char* label; // the full display text, unit in brackets
    const char* unit;
};

// Every known feature, written out in full in the order the vocabulary lists
// them (not generated), so a wrong rule or a typo in the table shows up.
const Row kKnownFeatures[] = {
    {"area_cvx", "Convex area [px]", "px"},
    {"area_msd", "Measured area [px]", "px"},
    {"area_ratio", "Porosity", ""},
    {"area_um", "Area [µm²]", "µm²"},
    {"area_um_raw", "Area of raw contour [µm²]", "µm²"},
    {"aspect", "Aspect ratio of bounding box", ""},
    {"bg_med", "Median frame background brightness [a.u.]", "a.u."},
    {"bg_off", "Background offset [a.u.]", "a.u."},
    {"bright_avg", "Brightness average [a.u.]", "a.u."},
    {"bright_sd", "Brightness SD [a.u.]", "a.u."},
    {"bright_bc_avg", "Brightness average (bgc) [a.u.]", "a.u."},
    {"bright_bc_sd", "Brightness SD (bgc) [a.u.]", "a.u."},
    {"bright_median", "Brightness median [a.u.]", "a.u."},
    {"bright_perc_10", "Brightness 10th percentile [a.u.]", "a.u."},
    {"bright_perc_90", "Brightness 90th percentile [a.u.]", "a.u."},
    {"bright_iqr", "Brightness interquartile range [a.u.]", "a.u."},
    {"bright_mad", "Brightness MAD (robust SD) [a.u.]", "a.u."},
    {"bright_cv", "Brightness coefficient of variation", ""},
    {"bright_skew", "Brightness skewness", ""},
    {"bright_kurt", "Brightness excess kurtosis", ""},
    {"bright_entropy", "Brightness histogram entropy [bit]", "bit"},
    {"lbp_entropy", "LBP pattern entropy [bit]", "bit"},
    {"lbp_uniformity", "LBP uniform-pattern fraction", ""},
    {"lbp_spot", "LBP spot-pattern fraction", ""},
    {"radial_slope", "Radial intensity slope [a.u.]", "a.u."},
    {"radial_cer", "Radial centre-to-edge ratio", ""},
    {"radial_contrast", "Radial profile contrast", ""},
    {"radial_ringdepth", "Radial ring/halo depth", ""},
    {"spectral_slope", "Spectral log-log slope", ""},
    {"spectral_centroid", "Spectral centroid frequency [1/px]", "1/px"},
    {"spectral_hf", "Spectral high-frequency fraction", ""},
    {"spectral_entropy", "Spectral entropy [bit]", "bit"},
    {"focus_tenengrad", "Focus: Tenengrad (mean sq. gradient)", ""},
    {"focus_lapvar", "Focus: variance of Laplacian", ""},
    {"focus_brenner", "Focus: Brenner gradient", ""},
    {"focus_edge", "Focus: mean edge-band gradient", ""},
    {"circ", "Circularity", ""},
    {"deform", "Deformation", ""},
    {"deform_raw", "Deformation of raw contour", ""},
    {"deform_odd", "Deformation of odd FC only", ""},
    {"deform_even", "Deformation of even FC only", ""},
    {"deform_fc", "Deformation from FC", ""},
    {"eccentr_prnc", "Eccentricity of raw contour", ""},
    {"dim_1", "Dimension 1", ""},
    {"dim_2", "Dimension 2", ""},
    {"dr_cluster", "DR cluster ID", ""},
    {"emodulus", "Young's modulus [kPa]", "kPa"},
    {"fl1_area", "FL-1 area of peak [a.u.]", "a.u."},
    {"fl1_dist", "FL-1 distance between two first peaks [µs]", "µs"},
    {"fl1_max", "FL-1 maximum [a.u.]", "a.u."},
    {"fl1_max_ctc", "FL-1 maximum, crosstalk-corrected [a.u.]", "a.u."},
    {"fl1_npeaks", "FL-1 number of peaks", ""},
    {"fl1_pos", "FL-1 position of peak [µs]", "µs"},
    {"fl1_width", "FL-1 width [µs]", "µs"},
    {"fl2_area", "FL-2 area of peak [a.u.]", "a.u."},
    {"fl2_dist", "FL-2 distance between two first peaks [µs]", "µs"},
    {"fl2_max", "FL-2 maximum [a.u.]", "a.u."},
    {"fl2_max_ctc", "FL-2 maximum, crosstalk-corrected [a.u.]", "a.u."},
    {"fl2_npeaks", "FL-2 number of peaks", ""},
    {"fl2_pos", "FL-2 position of peak [µs]", "µs"},
    {"fl2_width", "FL-2 width [µs]", "µs"},
    {"fl3_area", "FL-3 area of peak [a.u.]", "a.u."},
    {"fl3_dist", "FL-3 distance between two first peaks [µs]", "µs"},
    {"fl3_max", "FL-3 maximum [a.u.]", "a.u."},
    {"fl3_max_ctc", "FL-3 maximum, crosstalk-corrected [a.u.]", "a.u."},
    {"fl3_npeaks", "FL-3 number of peaks", ""},
    {"fl3_pos", "FL-3 position of peak [µs]", "µs"},
    {"fl3_width", "FL-3 width [µs]", "µs"},
    {"fl1_max_rf", "FL-1 maximum refined [a.u.]", "a.u."},
    {"fl1_pos_rf", "FL-1 position refined [µs]", "µs"},
    {"fl1_width_rf", "FL-1 width refined [µs]", "µs"},
    {"fl2_max_rf", "FL-2 maximum refined [a.u.]", "a.u."},
    {"fl2_pos_rf", "FL-2 position refined [µs]", "µs"},
    {"fl2_width_rf", "FL-2 width refined [µs]", "µs"},
    {"fl3_max_rf", "FL-3 maximum refined [a.u.]", "a.u."},
    {"fl3_pos_rf", "FL-3 position refined [µs]", "µs"},
    {"fl3_width_rf", "FL-3 width refined [µs]", "µs"},
    {"flow_rate", "Flow rate [µL/s]", "µL/s"},
    {"frame", "Video frame number", ""},
    {"index", "Index (Dataset)", ""},
    {"index_online", "Index (Online)", ""},
    {"inert_ratio_cvx", "Inertia ratio of convex contour", ""},
    {"inert_ratio_prnc", "Principal inertia ratio of raw contour", ""},
    {"inert_ratio_raw", "Inertia ratio of raw contour", ""},
    {"ml_class", "Most probable ML class", ""},
    {"per_ratio", "Inverse convexity", ""},
    {"per_um_raw", "Perimeter of raw contour [µm]", "µm"},
    {"pos_x", "Position along channel axis [µm]", "µm"},
    {"pos_y", "Position lateral in channel [µm]", "µm"},
    {"size_x", "Bounding box size x [µm]", "µm"},
    {"size_y", "Bounding box size y [µm]", "µm"},
    {"temp", "Chip temperature [°C]", "°C"},
    {"temp_amb", "Ambient temperature [°C]", "°C"},
    {"time", "Time [s]", "s"},
    {"volume", "Volume [µm³]", "µm³"},
    {"userdef0", "User-defined 0", ""},
    {"userdef1", "User-defined 1", ""},
    {"userdef2", "User-defined 2", ""},
    {"userdef3", "User-defined 3", ""},
    {"userdef4", "User-defined 4", ""},
    {"userdef5", "User-defined 5", ""},
    {"userdef6", "User-defined 6", ""},
    {"userdef7", "User-defined 7", ""},
    {"userdef8", "User-defined 8", ""},
    {"userdef9", "User-defined 9", ""},
};

// =============================================================================
// Known features
// =============================================================================

TEST(FeatureVocabulary, EveryKnownFeatureHasItsLabelAndUnit) {
    static_assert(sizeof(kKnownFeatures) / sizeof(kKnownFeatures[0]) == 105);
    std::set<std::string> keys;
    const RTDCReader reader;
    for (const Row& row : kKnownFeatures) {
        keys.insert(row.key);
        EXPECT_EQ(reader.getFeatureLabel(row.key), row.label) << row.key;
        EXPECT_EQ(reader.getFeatureUnit(row.key), row.unit) << row.key;
    }
    EXPECT_EQ(keys.size(), 105u); // the listing has no duplicates
}

TEST(FeatureVocabulary, UnknownKeysStayAsTheyAre) {
    const RTDCReader reader;
    for (const char* key : {"my_feature", "", "Area_um", "area_um ", "deform_", "fl"}) {
        EXPECT_EQ(reader.getFeatureLabel(key), key);
        EXPECT_EQ(reader.getFeatureUnit(key), "");
    }
}

// =============================================================================
// Fluorescence naming rule
// =============================================================================

TEST(FeatureVocabulary, FluorescenceRuleNamesOtherChannels) {
    const RTDCReader reader;
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"fl4_max", "FL-4 maximum [a.u.]", "a.u."},
        {"fl10_npeaks", "FL-10 number of peaks", ""},
        {"fl01_area", "FL-01 area of peak [a.u.]", "a.u."},
        {"fl12_width", "FL-12 width [µs]", "µs"},
        {"fl0_pos_rf", "FL-0 position refined [µs]", "µs"},
        {"fl7_max_ctc", "FL-7 maximum, crosstalk-corrected [a.u.]", "a.u."},
        {"fl99_dist", "FL-99 distance between two first peaks [µs]", "µs"},
        // Already in the main table, with the same text.
        {"fl1_max_ctc", "FL-1 maximum, crosstalk-corrected [a.u.]", "a.u."},
    };
    for (const auto& [key, label, unit] : cases) {
        EXPECT_EQ(reader.getFeatureLabel(key), label) << key;
        EXPECT_EQ(reader.getFeatureUnit(key), unit) << key;
    }
}

TEST(FeatureVocabulary, FluorescenceRuleRefusesOtherShapes) {
    const RTDCReader reader;
    for (const char* key : {
             "fl_max",   // no digits
             "fl12",     // digits to the end
             "fl1max",   // no underscore after the digits
             "fl1_foo",  // suffix not known
             "FL1_max",  // capitals
             "fl1_",     // bare underscore
             "fl1_max_", // suffix with a trailing underscore
             "fl1_Max",  // suffixes are case-sensitive
             "xfl1_max", // must start with fl
             "fl+1_max", // a sign is no digit
             "fl1_max_ctc_rf",
         }) {
        EXPECT_EQ(reader.getFeatureLabel(key), key);
        EXPECT_EQ(reader.getFeatureUnit(key), "") << key;
    }
}

// =============================================================================
// Veloxar user-defined slots
// =============================================================================

TEST(FeatureVocabulary, VeloxarFilesNameTheirUserDefinedSlots) {
    TempDir dir;
    const std::string path = dir.file("veloxar.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addColumn<float>("userdef0", {1.f});
        w.setStringAttribute("setup:module composition", "Cell_Flow_2, Veloxar");
    }
    RTDCReader reader;
    ASSERT_TRUE(reader.openFile(path));
    EXPECT_EQ(reader.getFeatureLabel("userdef0"), "User-defined 0");
    reader.readMetadata();
    ASSERT_TRUE(reader.isVeloxar());
    EXPECT_EQ(reader.getFeatureLabel("userdef0"), "Velocity [mm/s]");
    EXPECT_EQ(reader.getFeatureUnit("userdef0"), "mm/s");
    EXPECT_EQ(reader.getFeatureLabel("userdef1"), "Deformation of odd FC only");
    EXPECT_EQ(reader.getFeatureLabel("userdef2"), "Deformation of even FC only");
    EXPECT_EQ(reader.getFeatureLabel("userdef3"), "User-defined 3");
    EXPECT_EQ(reader.getFeatureLabel("userdef9"), "Cell Type ID");
    EXPECT_EQ(reader.getFeatureLabel("area_um"), "Area [µm²]");
    // Closing the file forgets the instrument.
    reader.closeFile();
    EXPECT_FALSE(reader.isVeloxar());
    EXPECT_EQ(reader.getFeatureLabel("userdef0"), "User-defined 0");
}

// =============================================================================
// Scalar features
// =============================================================================

TEST(FeatureVocabulary, OnlyImageMaskAndContourAreNotScalar) {
    for (const char* name : {"image", "mask", "contour"})
        EXPECT_FALSE(RTDCReader::isScalarFeature(name)) << name;
    for (const char* name : {"Image", "masks", "", "area_um", "contour_x", "image "})
        EXPECT_TRUE(RTDCReader::isScalarFeature(name)) << name;
}

} // namespace
