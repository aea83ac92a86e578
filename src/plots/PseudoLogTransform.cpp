#include "plots/PseudoLogTransform.h"

namespace Quorvex3 {

PseudoLogTransform::PseudoLogTransform()
    : m_linThreshold(kDefaultPseudoLogThreshold), m_slope(kDefaultPseudoLogSlope),
      m_map(m_linThreshold, m_slope) {}

PseudoLogTransform::PseudoLogTransform(double linThreshold, double linearExtent)
    : m_linThreshold(linThreshold), m_slope(linearExtent / linThreshold),
      m_map(m_linThreshold, m_slope) {}

PseudoLogTransform::~PseudoLogTransform() = default;

double PseudoLogTransform::transform(double value) const {
    return m_map.forward(value);
}

double PseudoLogTransform::invTransform(double value) const {
    return m_map.inverse(value);
}

QwtTransform* PseudoLogTransform::copy() const {
    return new PseudoLogTransform(m_linThreshold, m_linThreshold * m_slope);
}

} // namespace Quorvex3
