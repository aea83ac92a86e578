#pragma once

#include <string>

namespace Quorvex3 {

/// Measurement media the viscosity models know.
enum class EModMedium : int {
    Viscora = 0,  ///< "Viscora" in the metadata
    ViscoraB = 1, ///< "ViscoraB"
    Water = 2,
    McPbs083 = 3, ///< 0.83 % methyl cellulose in PBS ("0.83% MC-PBS")
    Unknown = 4   ///< any other or missing medium
};

/// Viscosity models; any other value gives a viscosity of 1.0 mPa·s.
enum class ViscosityModel : int {
    Herold2017 = 0,
    Kestin1978 = 1,
    Buyukurganci2022 = 2,
    Manual = 3 ///< the record's `viscosity`
};

/// Where the temperature of a Young's modulus computation comes from.
enum class TemperatureSource : int {
    Manual = 0,  ///< the record's `temperature`
    Event = 1,   ///< the event feature "temp", per event
    Metadata = 2 ///< the measurement's metadata, resolved into `temperature` beforehand
};

/// Every input of one Young's modulus computation. A dataset keeps the record
/// of its last computation so the modulus can be recomputed when the dataset
/// is shown again. The defaults are the values a new dataset starts with.
struct EModParams {
    /// Look-up table model (0 = the finite-element table).
    int lutModel = 0;
    /// Viscosity model: 0 Herold 2017, 1 Kestin 1978, 2 Buyukurganci 2022,
    /// 3 manual (`viscosity`); any other value gives a viscosity of 1.0.
    int viscosityModel = 0;
    /// Medium: 0 Viscora, 1 ViscoraB, 2 water, 3 0.83% MC-PBS, 4 unknown.
    int medium = 1;
    /// Temperature in °C, used when no per-event temperature is used.
    double temperature = 23.0;
    /// Where the temperature comes from: 0 manual, 1 per event ("temp"),
    /// 2 the measurement's metadata.
    int temperatureSource = 2;
    /// Viscosity in mPa·s for the manual model.
    double viscosity = 0.0;
    /// Channel width in µm.
    double channelWidth = 20.0;
    /// Flow rate in µL/s.
    double flowRate = 0.04;
    /// Camera pixel size in µm.
    double pixelSize = 0.34;
    /// Deformation feature that is mapped through the table.
    std::string deformFeature = "deform";
    /// Whether the pixelation correction is applied to the deformation.
    bool pixelationCorrection = true;
};

} // namespace Quorvex3
