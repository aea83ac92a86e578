#include "core/ScaleTransform.h"

#include <cmath>

namespace Quorvex3 {

double pseudoLogForward(double x, double linThreshold, double slope) {
    return PseudoLogMap(linThreshold, slope).forward(x);
}

double pseudoLogInverse(double v, double linThreshold, double slope) {
    return PseudoLogMap(linThreshold, slope).inverse(v);
}

std::vector<double> applyScaleTransform(const std::vector<double>& values, ScaleMode mode) {
    std::vector<double> out(values);
    switch (mode) {
    case ScaleMode::Log:
        for (double& v : out)
            v = v > 0.0 ? std::log10(v) : 0.0; // NaN fails the test as well
        break;
    case ScaleMode::PseudoLog: {
        const PseudoLogMap map;
        for (double& v : out)
            v = map.forward(v);
        break;
    }
    case ScaleMode::Linear:
    default:
        break;
    }
    return out;
}

namespace {

double inverseOne(double v, ScaleMode mode) {
    switch (mode) {
    case ScaleMode::Log:
        return std::pow(10.0, v);
    case ScaleMode::PseudoLog:
        return PseudoLogMap().inverse(v);
    case ScaleMode::Linear:
    default:
        return v;
    }
}

} // namespace

void inverseScaleTransformInPlace(double& x, double& y, ScaleMode modeX, ScaleMode modeY) {
    x = inverseOne(x, modeX);
    y = inverseOne(y, modeY);
}

} // namespace Quorvex3
