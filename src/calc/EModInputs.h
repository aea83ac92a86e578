#pragma once

#include "calc/EModParams.h"

#include <string>
#include <vector>

namespace Quorvex3 {

struct RTDCMetadata;

/// What the measurement's "setup"/"medium" text means for a Young's modulus
/// computation: the medium, the viscosity model that belongs to it and the
/// text the calculations dock shows for it.
struct MediumRecognition {
    EModMedium medium = EModMedium::Unknown;
    ViscosityModel viscosityModel = ViscosityModel::Manual;
    std::string label;
};

/// Recognises a medium text exactly as the measurement software writes it
/// (case-sensitive; only "water" is also accepted in lower case, and the
/// methyl-cellulose medium in both of its spellings). Anything else is an
/// unknown medium whose viscosity the user has to give.
MediumRecognition recogniseMedium(const std::string& text);

/// The one viscosity model offered for a medium and its display name.
ViscosityModel viscosityChoiceFor(EModMedium medium);
std::string viscosityChoiceName(ViscosityModel model);

/// The value of `key` in the metadata section "setup" or "imaging" as a
/// number; `fallback` for any other section, a missing key or a text that is
/// not a number.
double metadataDouble(const RTDCMetadata& metadata, const std::string& section,
                      const std::string& key, double fallback);
/// The text of `key` in "setup" or "imaging"; empty otherwise.
std::string metadataString(const RTDCMetadata& metadata, const std::string& section,
                           const std::string& key);

/// Whether the measurement was taken in the reservoir rather than the
/// channel: no deformation there, so no Young's modulus.
bool isReservoirMeasurement(const RTDCMetadata& metadata);

/// The temperature choice of the calculations dock, which applies to every
/// dataset alike.
struct EModTemperatureChoice {
    /// The source the user picked (manual, per event or metadata).
    TemperatureSource source = TemperatureSource::Metadata;
    /// The temperature the dock shows, used for the manual source.
    double temperature = 23.0;
};

/// Young's modulus parameters of one dataset from its own metadata: channel
/// width, flow rate, pixel size and medium, with the dock's temperature
/// choice and, for media without a viscosity model, the dock's viscosity.
/// Per-event temperature is taken only when the dataset has "temp"; a
/// condition that is missing or not a finite number above 0 falls back to
/// the defaults of `EModParams`, the metadata temperature to 23 °C.
EModParams emodParamsFromMetadata(const RTDCMetadata& metadata, bool hasTemperatureFeature,
                                  const EModTemperatureChoice& choice, double manualViscosity);

/// The measurement temperature of the metadata ("setup" "temperature") when
/// it is a finite number above 0 °C; 23 °C otherwise (a recorder writes 0
/// when it measured none). Every Young's modulus computation takes this rule.
double metadataTemperature(const RTDCMetadata& metadata);

/// The conditions of a computation with `params` on a dataset whose metadata
/// gave no usable value for them (absent, not a number, not finite, 0 or
/// less), each with the default taken instead, e.g. "channel width 20 µm".
/// The pixel size counts only with the pixelation correction, the
/// temperature only when it comes from the metadata.
std::vector<std::string> emodDefaultsTaken(const RTDCMetadata& metadata, const EModParams& params);

/// Why a dataset cannot have a Young's modulus, as a sentence for the user;
/// empty when it can.
std::string emodUnavailableReason(const RTDCMetadata& metadata, bool hasArea, bool hasDeform);

/// Replaces a channel width, flow rate or pixel size that is not a positive
/// number by the default every dataset starts with: such a value maps no
/// event through the look-up table and would only produce an all-NaN column.
/// Returns whether anything was replaced.
bool fillMissingConditions(EModParams& params);

} // namespace Quorvex3
