// Viscosity models of the measurement media and the pixelation correction
// of the deformation.

#include "calc/EModulus.h"

#include <cmath>

namespace Quorvex3 {

double EModulus::viscosityKestin1978(double T) {
    const double delta = 20.0 - T;
    const double exponent =
        delta / (T + 96.0) * (1.2364 - 0.00137 * delta + 5.7e-6 * delta * delta);
    return 1.002 * std::pow(10.0, exponent);
}

double EModulus::viscosityHerold2017(EModMedium medium, double T, double channelWidth,
                                     double flowRate) {
    const double width = channelWidth * 1e-6;
    const double shearRate = 2.0 * (7.1136 * flowRate * 1e-9) / std::pow(width, 3.0) / 3.0;
    if (medium == EModMedium::Viscora) {
        const double k = 0.677 - 1.0;
        return std::pow(T / 23.2, -0.866) * 0.179 * std::pow(1.6707050335189184 * shearRate, k) *
               1000.0;
    }
    return std::pow(T / 23.6, -0.866) * 0.36 * std::pow(1.706549572791479 * shearRate, -0.366) *
           1000.0;
}

double EModulus::viscosityBuyukurganci2022(EModMedium medium, double T, double channelWidth,
                                           double flowRate) {
    const double kelvin = T + 273.15;
    double a = 5.7e-6;
    double b = -0.0744;
    if (medium == EModMedium::Viscora) {
        a = 2.3e-6;
        b = -0.0056;
    } else if (medium == EModMedium::McPbs083) {
        a = 1.652e-5;
        b = -0.1455;
    }
    const double k = a * std::exp(3379.7 / kelvin);
    const double n = 0.00223 * kelvin + b;
    const double w = channelWidth * 0.001;
    const double shearRate = 8.0 * flowRate / std::pow(w, 3.0) * (0.2121 / n + 0.6671);
    return k * std::pow(shearRate, n - 1.0) * 1000.0;
}

double EModulus::computeViscosity(const EModParams& params, double T) {
    const auto medium = static_cast<EModMedium>(params.medium);
    switch (static_cast<ViscosityModel>(params.viscosityModel)) {
    case ViscosityModel::Herold2017:
        return viscosityHerold2017(medium, T, params.channelWidth, params.flowRate);
    case ViscosityModel::Kestin1978:
        return viscosityKestin1978(T);
    case ViscosityModel::Buyukurganci2022:
        return viscosityBuyukurganci2022(medium, T, params.channelWidth, params.flowRate);
    case ViscosityModel::Manual:
        return params.viscosity;
    }
    return 1.0;
}

double EModulus::pixelationCorrection(double deform, double area, double pixelSize) {
    const double ratio = 0.34 / pixelSize;
    const double z = -area * (ratio * ratio);
    return deform - (0.0012 + 0.02 * std::exp(z / 7.1) + 0.01 * std::exp(z / 38.6) +
                     0.005 * std::exp(z / 296.0));
}

} // namespace Quorvex3
