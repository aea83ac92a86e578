#include "calc/EModulus.h"

#include "calc/EModParams.h"

namespace Quorvex3 {

EModulus::EModulus(QObject* parent) : QObject(parent) {}

bool EModulus::run(RTDCReader*, const EModParams&) {
    return false;
}

std::vector<EModulus::IsoLine> EModulus::computeIsolines(const EModParams&) {
    return {};
}

} // namespace Quorvex3
