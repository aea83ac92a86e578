#include "calc/FLCompensation.h"

namespace Quorvex3 {

FLCompensation::FLCompensation(QObject* parent) : QObject(parent) {}

bool FLCompensation::run(RTDCReader*, const std::vector<int>&, const arma::Mat<double>&) {
    return false;
}

} // namespace Quorvex3
