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

EModParams emodParamsFromMetadata(const RTDCMetadata& metadata, bool hasTemperatureFeature,
                                  const EModTemperatureChoice& choice, double manualViscosity) {
    EModParams params;
    params.channelWidth = metadataDouble(metadata, "setup", "channel width", 20.0);
    params.flowRate = metadataDouble(metadata, "setup", "flow rate", 0.04);
    params.pixelSize = metadataDouble(metadata, "imaging", "pixel size", 0.34);
    const MediumRecognition medium = recogniseMedium(metadataString(metadata, "setup", "medium"));
    params.medium = static_cast<int>(medium.medium);
    params.viscosityModel = static_cast<int>(medium.viscosityModel);
    if (medium.viscosityModel == ViscosityModel::Manual)
        params.viscosity = manualViscosity;
    if (hasTemperatureFeature && choice.source == TemperatureSource::Event) {
        params.temperatureSource = static_cast<int>(TemperatureSource::Event);
    } else if (choice.source == TemperatureSource::Metadata) {
        params.temperatureSource = static_cast<int>(TemperatureSource::Metadata);
        params.temperature = metadataDouble(metadata, "setup", "temperature", 23.0);
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
