#include "core/ScaleTransform.h"
#include "plots/PseudoLogScaleEngine.h"
#include "plots/PseudoLogTransform.h"

#include <gtest/gtest.h>

#include <qwt_scale_engine.h>

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>

using Quorvex3::PseudoLogScaleEngine;
using Quorvex3::PseudoLogTransform;

namespace {

QList<double> listOf(std::initializer_list<double> values) {
    QList<double> list;
    for (double v : values)
        list.append(v);
    return list;
}

QList<double> reversed(QList<double> list) {
    std::reverse(list.begin(), list.end());
    return list;
}

QList<double> rangeList(double first, double step, int count) {
    QList<double> list;
    for (int i = 0; i < count; ++i)
        list.append(first + i * step);
    return list;
}

void expectListsNear(const QList<double>& actual, const QList<double>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], 1e-9 * std::max(1.0, std::fabs(expected[i])))
            << "tick " << i;
}

// Qwt's linear engine keeps align() protected; it is the reference here.
class LinearEngine : public QwtLinearScaleEngine {
public:
    using QwtLinearScaleEngine::align;
};

QStringList g_warnings;

void collectWarning(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtWarningMsg)
        g_warnings.append(text);
}

} // namespace

// ---- PseudoLogTransform -------------------------------------------------------------

TEST(PseudoLogTransform, DefaultTransformHandValues) {
    const PseudoLogTransform t;
    EXPECT_EQ(t.transform(0.0), 0.0);
    EXPECT_DOUBLE_EQ(t.transform(50.0), 0.25);
    EXPECT_DOUBLE_EQ(t.transform(100.0), 0.5);
    EXPECT_DOUBLE_EQ(t.transform(1000.0), 1.5);
    EXPECT_DOUBLE_EQ(t.transform(-1000.0), -1.5);
    EXPECT_DOUBLE_EQ(t.transform(1e4), 2.5);
    EXPECT_DOUBLE_EQ(t.invTransform(1.5), 1000.0);
    EXPECT_DOUBLE_EQ(t.invTransform(-0.25), -50.0);
}

TEST(PseudoLogTransform, GivesTheCoreNumbersBitForBit) {
    // The plot axes and the filter/contour code must agree exactly.
    const PseudoLogTransform t;
    const PseudoLogTransform custom(10.0, 2.0);
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> exponent(-4.0, 8.0);
    for (int i = 0; i < 2000; ++i) {
        const double x = (i % 2 ? -1.0 : 1.0) * std::pow(10.0, exponent(rng));
        EXPECT_EQ(t.transform(x), Quorvex3::pseudoLogForward(x));
        EXPECT_EQ(t.invTransform(x / 1e3), Quorvex3::pseudoLogInverse(x / 1e3));
        EXPECT_EQ(custom.transform(x), Quorvex3::pseudoLogForward(x, 10.0, 0.2));
        EXPECT_EQ(custom.invTransform(x / 1e3), Quorvex3::pseudoLogInverse(x / 1e3, 10.0, 0.2));
    }
}

TEST(PseudoLogTransform, InverseUndoesTransform) {
    const PseudoLogTransform t;
    for (double x : {-5e7, -1234.5, -100.0, -3.0, 0.0, 0.5, 99.0, 101.0, 8.8e9})
        EXPECT_NEAR(t.invTransform(t.transform(x)), x, 1e-12 * std::max(1.0, std::fabs(x)));
}

TEST(PseudoLogTransform, LinearExtentSetsTheBand) {
    const PseudoLogTransform t(10.0, 2.0); // band [-10, 10] onto [-2, 2]
    EXPECT_DOUBLE_EQ(t.slope(), 0.2);
    EXPECT_DOUBLE_EQ(t.transform(10.0), 2.0);
    EXPECT_DOUBLE_EQ(t.transform(-5.0), -1.0);
    EXPECT_DOUBLE_EQ(t.transform(100.0), 3.0); // one decade beyond the threshold
}

TEST(PseudoLogTransform, CopyHasTheSameParameters) {
    const PseudoLogTransform t(10.0, 2.0);
    std::unique_ptr<QwtTransform> copy(t.copy());
    auto* typed = dynamic_cast<PseudoLogTransform*>(copy.get());
    ASSERT_NE(typed, nullptr);
    EXPECT_DOUBLE_EQ(typed->linThreshold(), 10.0);
    EXPECT_DOUBLE_EQ(typed->slope(), 0.2);
    for (double x : {-500.0, -3.0, 7.0, 4000.0})
        EXPECT_DOUBLE_EQ(typed->transform(x), t.transform(x));
}

TEST(PseudoLogScaleEngine, InstallsATransformEqualToTheDefault) {
    const PseudoLogScaleEngine engine(100.0, 0.5);
    // transformation() hands out a copy that the caller owns.
    const std::unique_ptr<QwtTransform> owner(engine.transformation());
    const auto* t = dynamic_cast<const PseudoLogTransform*>(owner.get());
    ASSERT_NE(t, nullptr);
    const PseudoLogTransform reference;
    EXPECT_EQ(t->linThreshold(), reference.linThreshold());
    EXPECT_EQ(t->slope(), reference.slope());
    for (double x : {-1e5, -100.0, 0.0, 37.0, 100.0, 2500.0})
        EXPECT_EQ(t->transform(x), reference.transform(x));
}

// ---- major and minor ticks -------------------------------------------------------------

TEST(PseudoLogScaleEngine, MajorTicksArePowersOfTenFromTheThreshold) {
    const PseudoLogScaleEngine engine(100.0, 0.5);
    EXPECT_EQ(engine.buildMajorTicks(QwtInterval(0, 10000), 2000), listOf({0, 100, 1000, 10000}));
    // Zero is met on the walk -50, -1, 0 (it comes as -0.0, equal to 0).
    EXPECT_EQ(engine.buildMajorTicks(QwtInterval(-50, 1000), 200), listOf({-50, 0, 100, 1000}));
    // Negative decades beyond the threshold, then up through zero.
    EXPECT_EQ(engine.buildMajorTicks(QwtInterval(-1e4, 500), 1000),
              listOf({-1e4, -1000, -100, 0, 100, 500}));
    // A degenerate interval has only its ends.
    EXPECT_EQ(engine.buildMajorTicks(QwtInterval(300, 300), 1), listOf({300, 300}));
}

TEST(PseudoLogScaleEngine, MinorTicksStepByTheDecadeBelowEachMajorTick) {
    const PseudoLogScaleEngine engine(100.0, 0.5);
    QList<double> minor;
    QList<double> medium;
    engine.buildMinorTicks(listOf({-50, 0, 100, 1000}), minor, medium);
    QList<double> expected = rangeList(-49, 1, 10); // -49 .. -40
    expected += rangeList(10, 10, 10);              // 10 .. 100
    expected += rangeList(200, 100, 9);             // 200 .. 1000
    expectListsNear(minor, expected);
    EXPECT_TRUE(medium.isEmpty());

    minor.clear();
    engine.buildMinorTicks(listOf({5}), minor, medium);
    EXPECT_TRUE(minor.isEmpty());
}

// ---- divideScale -------------------------------------------------------------------

TEST(PseudoLogScaleEngine, DivideScaleBuildsMajorAndMinorTicks) {
    const PseudoLogScaleEngine engine(100.0, 0.5);
    const QwtScaleDiv div = engine.divideScale(0, 10000, 8, 5);
    EXPECT_EQ(div.lowerBound(), 0.0);
    EXPECT_EQ(div.upperBound(), 10000.0);
    EXPECT_EQ(div.ticks(QwtScaleDiv::MajorTick), listOf({0, 100, 1000, 10000}));
    QList<double> minor = rangeList(10, 10, 10);
    minor += rangeList(200, 100, 9);
    minor += rangeList(2000, 1000, 9);
    expectListsNear(div.ticks(QwtScaleDiv::MinorTick), minor);
    EXPECT_TRUE(div.ticks(QwtScaleDiv::MediumTick).isEmpty());

    // No minor steps asked: no minor ticks.
    EXPECT_TRUE(engine.divideScale(0, 10000, 8, 0).ticks(QwtScaleDiv::MinorTick).isEmpty());
}

TEST(PseudoLogScaleEngine, TicksAreStrippedToTheRequestedInterval) {
    // Step 1050 aligns [-50, 1000] to [-1050, 1050]; only ticks inside the
    // requested interval survive.
    const PseudoLogScaleEngine engine(100.0, 0.5);
    const QwtScaleDiv div = engine.divideScale(-50, 1000, 5, 5, 1050);
    EXPECT_EQ(div.ticks(QwtScaleDiv::MajorTick), listOf({0, 100, 1000}));
    for (double tick : div.ticks(QwtScaleDiv::MinorTick)) {
        EXPECT_GE(tick, -50.0);
        EXPECT_LE(tick, 1000.0);
    }
}

TEST(PseudoLogScaleEngine, TicksNextToZeroBecomeExactlyZero) {
    const PseudoLogScaleEngine engine(100.0, 0.5);
    const QwtScaleDiv div = engine.divideScale(-50, 1000, 5, 5, 1050);
    const QList<double> major = div.ticks(QwtScaleDiv::MajorTick);
    ASSERT_FALSE(major.isEmpty());
    EXPECT_EQ(major.first(), 0.0);
    EXPECT_FALSE(std::signbit(major.first())); // the walk's -0.0 is written as 0.0

    // Minor ticks accumulated from -0.001 in steps of 1e-4 end a rounding error
    // away from zero; that one must be written as 0.0.
    const QwtScaleDiv small = engine.divideScale(-0.001, 0.001, 2, 5, 0.001);
    for (int type = 0; type < QwtScaleDiv::NTickTypes; ++type) {
        for (double tick : small.ticks(type)) {
            EXPECT_FALSE(tick != 0.0 && std::fabs(tick) <= 1e-9) << tick;
            EXPECT_FALSE(tick == 0.0 && std::signbit(tick));
        }
    }
}

TEST(PseudoLogScaleEngine, DivideScaleOfAnInvertedIntervalIsTheInvertedDivision) {
    const PseudoLogScaleEngine engine(100.0, 0.5);
    const QwtScaleDiv forward = engine.divideScale(-3000, 20000, 6, 5);
    const QwtScaleDiv backward = engine.divideScale(20000, -3000, 6, 5);
    EXPECT_EQ(backward.lowerBound(), 20000.0);
    EXPECT_EQ(backward.upperBound(), -3000.0);
    for (int type = 0; type < QwtScaleDiv::NTickTypes; ++type) {
        const QList<double> f = forward.ticks(type);
        const QList<double> b = backward.ticks(type);
        EXPECT_TRUE(f == b || f == reversed(b)) << "tick type " << type;
    }
    EXPECT_FALSE(forward.ticks(QwtScaleDiv::MajorTick).isEmpty());
    EXPECT_EQ(backward.inverted(), forward);
}

TEST(PseudoLogScaleEngine, EmptyWidthGivesAnEmptyDivision) {
    const PseudoLogScaleEngine engine(100.0, 0.5);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const auto& ends :
         {std::make_pair(5.0, 5.0), std::make_pair(0.0, 0.0), std::make_pair(nan, 3.0)}) {
        const QwtScaleDiv div = engine.divideScale(ends.first, ends.second, 5, 5);
        EXPECT_TRUE(div.isEmpty());
        EXPECT_EQ(div, QwtScaleDiv());
    }
}

TEST(PseudoLogScaleEngine, OverflowingWidthWarnsAndGivesAnEmptyDivision) {
    const PseudoLogScaleEngine engine(100.0, 0.5);
    g_warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarning);
    const QwtScaleDiv div = engine.divideScale(-1.5e308, 1.5e308, 5, 5);
    qInstallMessageHandler(previous);
    EXPECT_EQ(div, QwtScaleDiv());
    EXPECT_EQ(g_warnings, QStringList{"PseudoLogScaleEngine::divideScale: overflow"});
}

// ---- autoScale and align agree with Qwt's linear engine -------------------------------------

TEST(PseudoLogScaleEngine, AutoScaleAndAlignAgreeWithQwtLinearEngine) {
    std::mt19937_64 rng(99);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> decade(-6, 9);
    std::uniform_int_distribution<int> steps(-1, 12);
    const QwtScaleEngine::Attributes attributeSets[] = {
        QwtScaleEngine::NoAttribute,
        QwtScaleEngine::Floating,
        QwtScaleEngine::Inverted,
        QwtScaleEngine::IncludeReference,
        QwtScaleEngine::Symmetric | QwtScaleEngine::IncludeReference,
        QwtScaleEngine::Floating | QwtScaleEngine::Inverted | QwtScaleEngine::Symmetric,
    };
    for (int trial = 0; trial < 3000; ++trial) {
        const double magnitude = std::pow(10.0, decade(rng));
        double a = magnitude * unit(rng);
        double b = trial % 17 == 0 ? a : magnitude * unit(rng); // some zero widths
        const int maxSteps = steps(rng);
        const QwtScaleEngine::Attributes attributes = attributeSets[trial % 6];
        const double reference = magnitude * unit(rng);
        const double lower = trial % 3 == 0 ? magnitude * 0.1 * std::fabs(unit(rng)) : 0.0;
        const double upper = trial % 5 == 0 ? magnitude * 0.1 * std::fabs(unit(rng)) : 0.0;

        PseudoLogScaleEngine ours(100.0, 0.5);
        LinearEngine qwt;
        for (QwtScaleEngine* e :
             {static_cast<QwtScaleEngine*>(&ours), static_cast<QwtScaleEngine*>(&qwt)}) {
            e->setAttributes(attributes);
            e->setReference(reference);
            e->setMargins(lower, upper);
        }
        double x1 = a, x2 = b, step = -1;
        double q1 = a, q2 = b, qStep = -2;
        ours.autoScale(maxSteps, x1, x2, step);
        qwt.autoScale(maxSteps, q1, q2, qStep);
        ASSERT_EQ(x1, q1) << "trial " << trial;
        ASSERT_EQ(x2, q2) << "trial " << trial;
        ASSERT_EQ(step, qStep) << "trial " << trial;

        const QwtInterval interval = QwtInterval(a, b).normalized();
        const double alignStep = std::fabs(qStep) > 0 ? std::fabs(qStep) : magnitude;
        const QwtInterval mine = ours.align(interval, alignStep);
        const QwtInterval theirs = qwt.align(interval, alignStep);
        ASSERT_EQ(mine.minValue(), theirs.minValue()) << "trial " << trial;
        ASSERT_EQ(mine.maxValue(), theirs.maxValue()) << "trial " << trial;
        EXPECT_EQ(mine.borderFlags(), QwtInterval::IncludeBorders);
    }
}

TEST(PseudoLogScaleEngine, AlignKeepsEndsThatNearlyAreMultiplesLikeQwt) {
    // Ends a relative 1e-14 away from a multiple of the step stay as they
    // are; ends a little further away are rounded outwards.
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> multiple(-50, 50);
    std::uniform_int_distribution<int> decade(-4, 6);
    const PseudoLogScaleEngine ours(100.0, 0.5);
    const LinearEngine qwt;
    int keptAsIs = 0;
    for (int trial = 0; trial < 2000; ++trial) {
        const double step = std::pow(10.0, decade(rng));
        const double relative = trial % 2 ? 1e-14 : 1e-9;
        const double lo = multiple(rng) * step * (1 + relative * unit(rng));
        const double hi = (multiple(rng) + 60) * step * (1 + relative * unit(rng));
        const QwtInterval mine = ours.align(QwtInterval(lo, hi), step);
        const QwtInterval theirs = qwt.align(QwtInterval(lo, hi), step);
        ASSERT_EQ(mine.minValue(), theirs.minValue()) << "trial " << trial;
        ASSERT_EQ(mine.maxValue(), theirs.maxValue()) << "trial " << trial;
        keptAsIs += mine.minValue() == lo && std::fmod(lo, step) != 0.0;
    }
    EXPECT_GT(keptAsIs, 100); // the nearly-equal branch was exercised
}

TEST(PseudoLogScaleEngine, AutoScaleOfAZeroWidthIntervalWidensIt) {
    PseudoLogScaleEngine engine(100.0, 0.5);
    double x1 = 50, x2 = 50, step = 0;
    engine.autoScale(5, x1, x2, step);
    EXPECT_LT(x1, 50.0);
    EXPECT_GT(x2, 50.0);
    EXPECT_GT(step, 0.0);
}
