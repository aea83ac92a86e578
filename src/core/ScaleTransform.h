#pragma once

#include <cmath>
#include <vector>

namespace Quorvex3 {

/// Scale of a plot axis, also used for polygon tests and contours. Stored as
/// its int code wherever it is saved; codes outside 0..2 behave as linear.
enum class ScaleMode : int {
    Linear = 0,
    Log = 1,
    PseudoLog = 2,
};

/// Magnitude up to which the program-wide pseudo-log scale is linear.
constexpr double kDefaultPseudoLogThreshold = 100.0;
/// Factor of the linear band of the program-wide pseudo-log scale (the
/// threshold maps to threshold * slope = 0.5).
constexpr double kDefaultPseudoLogSlope = 0.005;

/// The pseudo-log map with its constants worked out once, for loops over
/// many values. forward() and inverse() give exactly the numbers of
/// pseudoLogForward() and pseudoLogInverse() for the same parameters.
class PseudoLogMap {
public:
    /// linThreshold must be > 0.
    explicit PseudoLogMap(double linThreshold = kDefaultPseudoLogThreshold,
                          double slope = kDefaultPseudoLogSlope)
        : m_threshold(linThreshold), m_slope(slope), m_bandEdge(linThreshold * slope),
          m_offset(linThreshold * slope - std::log10(linThreshold)),
          m_inverseOffset(std::log10(linThreshold) - linThreshold * slope) {}

    /// See pseudoLogForward().
    double forward(double x) const {
        if (x > m_threshold)
            return std::log10(x) + m_offset;
        if (x < -m_threshold)
            return -(std::log10(-x) + m_offset);
        return x * m_slope; // also NaN
    }

    /// See pseudoLogInverse().
    double inverse(double v) const {
        if (v > m_bandEdge)
            return std::pow(10.0, v + m_inverseOffset);
        if (v < -m_bandEdge)
            return -std::pow(10.0, m_inverseOffset - v);
        return v / m_slope;
    }

    /// The magnitude up to which the map is linear.
    double threshold() const { return m_threshold; }
    /// The factor of the linear band.
    double slope() const { return m_slope; }
    /// k in log10(x) + k, the map beyond the threshold.
    double offset() const { return m_offset; }

private:
    double m_threshold;
    double m_slope;
    double m_bandEdge;
    double m_offset;
    double m_inverseOffset;
};

/// Pseudo-log forward map: x * slope inside [-linThreshold, linThreshold]
/// (and for NaN), log10(x) + k above it and -(log10(-x) + k) below it, with
/// k = linThreshold * slope - log10(linThreshold) so the pieces meet at the
/// threshold; beyond it one decade is one unit. linThreshold must be > 0.
double pseudoLogForward(double x, double linThreshold = kDefaultPseudoLogThreshold,
                        double slope = kDefaultPseudoLogSlope);

/// Inverse of pseudoLogForward for the same parameters (NaN stays NaN).
double pseudoLogInverse(double v, double linThreshold = kDefaultPseudoLogThreshold,
                        double slope = kDefaultPseudoLogSlope);

/// Whether an axis of that scale can draw the value: a log axis cannot draw
/// values at or below 0 (nor NaN); other scales draw every finite value.
inline bool isDrawableOnScale(double value, ScaleMode mode) {
    return mode == ScaleMode::Log ? value > 0.0 : !std::isnan(value);
}

/// Maps a feature column into scale space; returns a new vector of the same
/// length. Linear: a copy. Log: log10(x) for x > 0, and 0.0 for x <= 0 and
/// NaN (the position of the value 1). Pseudo-log: the default pseudo-log
/// map. Any other code is treated as linear.
std::vector<double> applyScaleTransform(const std::vector<double>& values, ScaleMode mode);

/// Maps one point from scale space back to data units, each coordinate by
/// its own mode. Log: 10^v (so 0.0 comes back as 1.0); pseudo-log: the
/// default inverse; linear and any other code: unchanged.
void inverseScaleTransformInPlace(double& x, double& y, ScaleMode modeX, ScaleMode modeY);

} // namespace Quorvex3
