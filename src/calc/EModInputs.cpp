#include "calc/EModInputs.h"

#include "core/RTDCMetadata.h"

#include <QString>

#include <cmath>

namespace Quorvex3 {

namespace {

const std::map<std::string, std::string>* conditionSection(const RTDCMetadata& metadata,
                                                           const std::string& section) {
    if (section == "setup")
        return &metadata.setup;
    if (section == "imaging")
        return &metadata.imaging;
    return nullptr;
}

} // namespace

MediumRecognition recogniseMedium(const std::string& text) {
    if (text == "Viscora")
        return {EModMedium::Viscora, ViscosityModel::Herold2017, "Viscora"};
    if (text == "ViscoraB")
        return {EModMedium::ViscoraB, ViscosityModel::Herold2017, "ViscoraB"};
    if (text == "Water" || text == "water")
        return {EModMedium::Water, ViscosityModel::Kestin1978, "Water"};
    if (text == "0.83% MC-PBS" || text == "MC-PBS 0.83%")
        return {EModMedium::McPbs083, ViscosityModel::Manual, "0.83% MC-PBS"};
    if (text.empty())
        return {EModMedium::Unknown, ViscosityModel::Manual, "\u2014 (unknown)"};
    return {EModMedium::Unknown, ViscosityModel::Manual, text + " (unknown)"};
}

ViscosityModel viscosityChoiceFor(EModMedium medium) {
    switch (medium) {
    case EModMedium::Viscora:
    case EModMedium::ViscoraB:
        return ViscosityModel::Herold2017;
    case EModMedium::Water:
        return ViscosityModel::Kestin1978;
    default:
        return ViscosityModel::Manual;
    }
}

std::string viscosityChoiceName(ViscosityModel model) {
    switch (model) {
    case ViscosityModel::Herold2017:
        return "Herold-2017";
    case ViscosityModel::Kestin1978:
        return "Kestin-1978";
    case ViscosityModel::Buyukurganci2022:
        return "Buyukurganci-2022";
    default:
        return "Manual";
    }
}

double metadataDouble(const RTDCMetadata& metadata, const std::string& section,
                      const std::string& key, double fallback) {
    const auto* map = conditionSection(metadata, section);
    if (!map)
        return fallback;
    const auto found = map->find(key);
    if (found == map->end())
        return fallback;
    bool ok = false;
    const double value = QString::fromStdString(found->second).toDouble(&ok);
    return ok ? value : fallback;
}

std::string metadataString(const RTDCMetadata& metadata, const std::string& section,
                           const std::string& key) {
    const auto* map = conditionSection(metadata, section);
    if (!map)
        return {};
    const auto found = map->find(key);
    return found == map->end() ? std::string() : found->second;
}

bool isReservoirMeasurement(const RTDCMetadata& metadata) {
    const auto found = metadata.setup.find("chip region");
    return found != metadata.setup.end() && found->second == "reservoir";
}

namespace {

constexpr double kDefaultTemperature = 23.0;

bool usable(double value) {
    return std::isfinite(value) && value > 0.0;
}

// A condition of the metadata, or `fallback` when it is not usable.
double condition(const RTDCMetadata& metadata, const std::string& section, const std::string& key,
                 double fallback) {
    const double value = metadataDouble(metadata, section, key, fallback);
    return usable(value) ? value : fallback;
}

bool conditionMissing(const RTDCMetadata& metadata, const std::string& section,
                      const std::string& key) {
    return !usable(metadataDouble(metadata, section, key, 0.0));
}

std::string defaultText(const char* what, double value, const char* unit) {
    return std::string(what) + " " + QString::number(value, 'g', 6).toStdString() + " " + unit;
}

} // namespace

double metadataTemperature(const RTDCMetadata& metadata) {
    return condition(metadata, "setup", "temperature", kDefaultTemperature);
}

std::vector<std::string> emodDefaultsTaken(const RTDCMetadata& metadata, const EModParams& params) {
    std::vector<std::string> taken;
    if (conditionMissing(metadata, "setup", "channel width"))
        taken.push_back(defaultText("channel width", params.channelWidth, "\u00b5m"));
    if (conditionMissing(metadata, "setup", "flow rate"))
        taken.push_back(defaultText("flow rate", params.flowRate, "\u00b5L/s"));
    if (params.pixelationCorrection && conditionMissing(metadata, "imaging", "pixel size"))
        taken.push_back(defaultText("pixel size", params.pixelSize, "\u00b5m"));
    if (params.temperatureSource == static_cast<int>(TemperatureSource::Metadata) &&
        conditionMissing(metadata, "setup", "temperature"))
        taken.push_back(defaultText("temperature", params.temperature, "\u00b0C"));
    return taken;
}

std::string emodUnavailableReason(const RTDCMetadata& metadata, bool hasArea, bool hasDeform) {
    if (isReservoirMeasurement(metadata))
        return "Not available: this measurement was taken in the reservoir, where cells are not "
               "deformed.";
    if (!hasArea || !hasDeform)
        return std::string("Not available: the dataset has no \"") +
               (hasArea ? "deform" : "area_um") + "\" feature.";
    return {};
}

EModParams emodParamsFromMetadata(const RTDCMetadata& metadata, bool hasTemperatureFeature,
                                  const EModTemperatureChoice& choice, double manualViscosity) {
    EModParams params;
    params.channelWidth = condition(metadata, "setup", "channel width", params.channelWidth);
    params.flowRate = condition(metadata, "setup", "flow rate", params.flowRate);
    params.pixelSize = condition(metadata, "imaging", "pixel size", params.pixelSize);
    const MediumRecognition medium = recogniseMedium(metadataString(metadata, "setup", "medium"));
    params.medium = static_cast<int>(medium.medium);
    params.viscosityModel = static_cast<int>(medium.viscosityModel);
    if (medium.viscosityModel == ViscosityModel::Manual)
        params.viscosity = manualViscosity;
    if (hasTemperatureFeature && choice.source == TemperatureSource::Event) {
        params.temperatureSource = static_cast<int>(TemperatureSource::Event);
    } else if (choice.source == TemperatureSource::Metadata) {
        params.temperatureSource = static_cast<int>(TemperatureSource::Metadata);
        // The rule of the active dataset's computation: an unusable value is 23 °C.
        params.temperature = metadataTemperature(metadata);
    } else {
        params.temperatureSource = static_cast<int>(TemperatureSource::Manual);
        params.temperature = choice.temperature;
    }
    params.deformFeature = "deform";
    params.pixelationCorrection = true;
    return params;
}

bool fillMissingConditions(EModParams& params) {
    const EModParams defaults;
    bool replaced = false;
    for (auto [value, fallback] : {std::pair{&params.channelWidth, defaults.channelWidth},
                                   std::pair{&params.flowRate, defaults.flowRate},
                                   std::pair{&params.pixelSize, defaults.pixelSize}}) {
        if (!(std::isfinite(*value) && *value > 0.0)) {
            *value = fallback;
            replaced = true;
        }
    }
    return replaced;
}

} // namespace Quorvex3
