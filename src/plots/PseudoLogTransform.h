#pragma once

#include "core/ScaleTransform.h"

#include <qwt_transform.h>

namespace Quorvex3 {

/// Qwt transform of a pseudo-log plot axis: linear inside
/// [-linThreshold, linThreshold], logarithmic beyond it on both sides. It
/// computes exactly the numbers of pseudoLogForward/pseudoLogInverse.
class PseudoLogTransform : public QwtTransform {
public:
    /// The program-wide default: threshold 100.0, slope 0.005.
    PseudoLogTransform();
    /// The band [-linThreshold, linThreshold] maps onto
    /// [-linearExtent, linearExtent]; linThreshold must be > 0.
    PseudoLogTransform(double linThreshold, double linearExtent);
    ~PseudoLogTransform() override;

    double transform(double value) const override;
    double invTransform(double value) const override;
    /// A new transform with the same parameters; the caller owns it.
    QwtTransform* copy() const override;

    double linThreshold() const { return m_linThreshold; }
    double slope() const { return m_slope; }

private:
    double m_linThreshold;
    double m_slope;
    // The same maths with its constants worked out once: Qwt maps every
    // plotted point through transform().
    PseudoLogMap m_map;
};

} // namespace Quorvex3
