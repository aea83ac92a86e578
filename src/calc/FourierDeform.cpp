#include "calc/FourierDeform.h"

namespace Quorvex3 {

FourierDeform::FourierDeform(QObject* parent) : QObject(parent) {}

bool FourierDeform::run(RTDCReader*) {
    return false;
}

} // namespace Quorvex3
