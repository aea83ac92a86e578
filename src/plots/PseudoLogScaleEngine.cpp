#include "plots/PseudoLogScaleEngine.h"

#include "plots/PseudoLogTransform.h"

#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <limits>

namespace Quorvex3 {

namespace {

constexpr double kMaxDouble = std::numeric_limits<double>::max();

// The next walk position after x: the next power of ten above a positive x,
// 1 from zero (or NaN), and one decade closer to zero for a negative x.
double nextMajorCandidate(double x) {
    if (x > 0.0)
        return std::pow(10.0, std::floor(std::log10(x)) + 1.0);
    if (x < 0.0)
        return -std::pow(10.0, std::floor(std::log10(-x)) - 1.0);
    return 1.0;
}

bool nearlyEqual(double a, double b) {
    return std::fabs(a - b) * 1e12 <= std::min(std::fabs(a), std::fabs(b));
}

} // namespace

PseudoLogScaleEngine::PseudoLogScaleEngine(double linThreshold, double linearExtent)
    : QwtScaleEngine(10), m_linThreshold(linThreshold), m_linearExtent(linearExtent) {
    setTransformation(new PseudoLogTransform(linThreshold, linearExtent));
}

PseudoLogScaleEngine::~PseudoLogScaleEngine() = default;

void PseudoLogScaleEngine::autoScale(int maxNumSteps, double& x1, double& x2,
                                     double& stepSize) const {
    QwtInterval interval = QwtInterval(x1, x2).normalized();
    interval.setMinValue(interval.minValue() - lowerMargin());
    interval.setMaxValue(interval.maxValue() + upperMargin());

    if (testAttribute(QwtScaleEngine::Symmetric))
        interval = interval.symmetrize(reference());
    if (testAttribute(QwtScaleEngine::IncludeReference))
        interval = interval.extend(reference());
    if (interval.width() == 0.0)
        interval = buildInterval(interval.minValue());

    stepSize =
        QwtScaleArithmetic::divideInterval(interval.width(), std::max(maxNumSteps, 1), base());
    if (!testAttribute(QwtScaleEngine::Floating))
        interval = align(interval, stepSize);

    x1 = interval.minValue();
    x2 = interval.maxValue();
    if (testAttribute(QwtScaleEngine::Inverted)) {
        std::swap(x1, x2);
        stepSize = -stepSize;
    }
}

QwtScaleDiv PseudoLogScaleEngine::divideScale(double x1, double x2, int maxMajorSteps,
                                              int maxMinorSteps, double stepSize) const {
    const QwtInterval interval = QwtInterval(x1, x2).normalized();
    const double width = interval.width();
    if (width > kMaxDouble) {
        qWarning("PseudoLogScaleEngine::divideScale: overflow");
        return QwtScaleDiv();
    }
    if (width <= 0.0)
        return QwtScaleDiv();

    double step = std::fabs(stepSize);
    if (step == 0.0)
        step = QwtScaleArithmetic::divideInterval(width, std::max(maxMajorSteps, 1), base());

    QwtScaleDiv scaleDiv(0.0, 0.0);
    if (step != 0.0) {
        QList<double> ticks[QwtScaleDiv::NTickTypes];
        buildTicks(interval, step, maxMinorSteps, ticks);
        scaleDiv = QwtScaleDiv(interval, ticks);
    }
    if (x1 > x2)
        scaleDiv.invert();
    return scaleDiv;
}

QwtInterval PseudoLogScaleEngine::align(const QwtInterval& interval, double stepSize) const {
    double x1 = interval.minValue();
    double x2 = interval.maxValue();

    // Guards against stepping past the largest double when rounding outwards.
    if (-kMaxDouble + stepSize <= x1) {
        const double f = QwtScaleArithmetic::floorEps(x1, stepSize);
        if (std::fabs(f) <= 1e-12 || !nearlyEqual(x1, f))
            x1 = f;
    }
    if (kMaxDouble - stepSize >= x2) {
        const double c = QwtScaleArithmetic::ceilEps(x2, stepSize);
        if (std::fabs(c) <= 1e-12 || !nearlyEqual(x2, c))
            x2 = c;
    }
    return QwtInterval(x1, x2);
}

void PseudoLogScaleEngine::buildTicks(const QwtInterval& interval, double stepSize,
                                      int maxMinorSteps,
                                      QList<double> ticks[QwtScaleDiv::NTickTypes]) const {
    const QwtInterval bounding = align(interval, stepSize);
    ticks[QwtScaleDiv::MajorTick] = buildMajorTicks(bounding, stepSize);
    if (maxMinorSteps >= 1) {
        buildMinorTicks(ticks[QwtScaleDiv::MajorTick], ticks[QwtScaleDiv::MinorTick],
                        ticks[QwtScaleDiv::MediumTick]);
    }

    const double zeroTolerance = std::fabs(stepSize) * 1e-6;
    for (int i = 0; i < QwtScaleDiv::NTickTypes; ++i) {
        ticks[i] = strip(ticks[i], interval);
        for (double& tick : ticks[i]) {
            if (std::fabs(tick) <= zeroTolerance)
                tick = 0.0;
        }
    }
}

QList<double> PseudoLogScaleEngine::buildMajorTicks(const QwtInterval& interval,
                                                    double stepSize) const {
    const double lo = interval.minValue();
    const double hi = interval.maxValue();

    // Only a capacity hint: clamp before converting so huge or NaN ratios
    // cannot overflow the int.
    const double n = std::round(interval.width() / stepSize);
    const double capped = std::max(0.0, std::min(9999.0, n));
    QList<double> ticks;
    ticks.reserve(static_cast<int>(capped) + 1);

    ticks.append(lo);
    if (lo < hi) {
        double x = lo;
        for (int stepCount = 0; stepCount < 100; ++stepCount) {
            x = std::round(nextMajorCandidate(x));
            if (x < hi && std::fabs(x) >= m_linThreshold)
                ticks.append(x);
            if (x == 0.0)
                ticks.append(x);
            if (x >= hi)
                break;
        }
    }
    ticks.append(hi);
    return ticks;
}

void PseudoLogScaleEngine::buildMinorTicks(const QList<double>& majorTicks,
                                           QList<double>& minorTicks,
                                           QList<double>& mediumTicks) const {
    Q_UNUSED(mediumTicks)
    if (majorTicks.size() < 2)
        return;
    for (int i = 0; i + 1 < majorTicks.size(); ++i) {
        double v = majorTicks[i];
        double step = m_linThreshold / 10.0;
        if (std::fabs(v) > 1e-12) {
            double e = std::floor(std::log10(std::fabs(v)));
            if (v < 0.0)
                e -= 1.0;
            step = std::pow(10.0, e);
        }
        for (int k = 0; k < 10; ++k) {
            v += step;
            if (v > majorTicks[i + 1])
                break;
            minorTicks.append(v);
        }
    }
}

} // namespace Quorvex3
