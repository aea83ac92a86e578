#include "calc/FLRefinement.h"

namespace Quorvex3 {

FLRefinement::FLRefinement(QObject* parent) : QObject(parent) {}

bool FLRefinement::run(RTDCReader*, const RTDCMetadata&, const FLRefineSettings&) {
    return false;
}

} // namespace Quorvex3
