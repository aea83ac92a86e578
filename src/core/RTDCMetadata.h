#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace Quorvex3 {

/// A polygon filter of the measurement itself ("<section>:<x>,<y> polygon points").
struct MetadataPolygon {
    std::string featureX;
    std::string featureY;
    /// Corners (x, y) in stored row order, widened from float.
    std::vector<std::pair<double, double>> points;
};

/// The measurement's metadata as text: integers in decimal, floating-point
/// values in fixed notation with six decimals, enumerations as integers.
struct RTDCMetadata {
    std::map<std::string, std::string> experiment;
    std::map<std::string, std::string> setup;
    std::map<std::string, std::string> imaging;
    std::map<std::string, std::string> onlineContour;
    std::map<std::string, std::string> onlineFilter;
    std::map<std::string, std::string> offlineFilter;
    std::map<std::string, std::string> fluorescence;
    std::map<std::string, std::string> exportSection;
    /// Every attribute turned into text, under its full name.
    std::map<std::string, std::string> allAttributes;
    std::vector<MetadataPolygon> polygons;

    /// Plain-text listing of the experiment, setup, imaging, online contour
    /// and fluorescence sections.
    std::string toString() const;
};

} // namespace Quorvex3
