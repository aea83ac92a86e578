#pragma once

#include <qwt_interval.h>
#include <qwt_scale_div.h>
#include <qwt_scale_engine.h>

#include <QList>

namespace Quorvex3 {

/// Qwt scale engine of a pseudo-log plot axis. Major ticks are the aligned
/// ends of the scale, zero when the scale crosses it, and the powers of ten
/// whose magnitude is at least the linear threshold; minor ticks fill each
/// gap in steps of the decade below the lower major tick. The engine owns a
/// PseudoLogTransform with the same parameters; the plot axis owns the engine.
class PseudoLogScaleEngine : public QwtScaleEngine {
public:
    /// `linThreshold` (> 0) bounds the linear band and is the smallest
    /// magnitude of a power-of-ten major tick; the band maps onto
    /// [-linearExtent, linearExtent]. The program uses (100.0, 0.5).
    PseudoLogScaleEngine(double linThreshold, double linearExtent);
    ~PseudoLogScaleEngine() override;

    PseudoLogScaleEngine(const PseudoLogScaleEngine&) = delete;
    PseudoLogScaleEngine& operator=(const PseudoLogScaleEngine&) = delete;

    /// Same procedure as QwtLinearScaleEngine::autoScale, in data units.
    void autoScale(int maxNumSteps, double& x1, double& x2, double& stepSize) const override;

    /// Ticks of [x1, x2] (inverted when x1 > x2); an empty division for an
    /// empty or overflowing width. stepSize 0 lets the engine choose one.
    QwtScaleDiv divideScale(double x1, double x2, int maxMajorSteps, int maxMinorSteps,
                            double stepSize = 0.0) const override;

    /// Rounds the ends of `interval` outwards to multiples of `stepSize`
    /// (unless they already are nearly). The result has no border flags.
    QwtInterval align(const QwtInterval& interval, double stepSize) const;

    /// Fills ticks[QwtScaleDiv::MinorTick / MediumTick / MajorTick] for
    /// `interval`; ticks outside `interval` are dropped and ticks within
    /// |stepSize| * 1e-6 of zero become exactly 0.0. The medium list stays
    /// empty; maxMinorSteps >= 1 only switches the minor ticks on.
    void buildTicks(const QwtInterval& interval, double stepSize, int maxMinorSteps,
                    QList<double> ticks[QwtScaleDiv::NTickTypes]) const;

    /// Major ticks of an aligned interval [lo, hi]: lo, the powers of ten of
    /// magnitude >= linThreshold and zero met while walking up from lo (at
    /// most 100 steps), then hi.
    QList<double> buildMajorTicks(const QwtInterval& interval, double stepSize) const;

    /// Minor ticks between consecutive major ticks (up to 10 per gap, the
    /// next major tick included when met exactly); mediumTicks is untouched.
    void buildMinorTicks(const QList<double>& majorTicks, QList<double>& minorTicks,
                         QList<double>& mediumTicks) const;

    double linThreshold() const { return m_linThreshold; }
    double linearExtent() const { return m_linearExtent; }

private:
    double m_linThreshold;
    double m_linearExtent;
};

} // namespace Quorvex3
