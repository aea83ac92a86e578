#include "core/ScaleTransform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using Quorvex3::ScaleMode;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

ScaleMode modeFromCode(int code) {
    return static_cast<ScaleMode>(code);
}

} // namespace

// ---- pseudo-log maths ---------------------------------------------------------

TEST(PseudoLogMaths, DefaultMapIsLinearInsideTheBandAndOneUnitPerDecadeBeyond) {
    // Threshold 100, slope 0.005: the band maps onto [-0.5, 0.5], and beyond it
    // log10(x) - 1.5.
    EXPECT_EQ(Quorvex3::pseudoLogForward(0.0), 0.0);
    EXPECT_DOUBLE_EQ(Quorvex3::pseudoLogForward(50.0), 0.25);
    EXPECT_DOUBLE_EQ(Quorvex3::pseudoLogForward(-50.0), -0.25);
    EXPECT_DOUBLE_EQ(Quorvex3::pseudoLogForward(100.0), 0.5);
    EXPECT_DOUBLE_EQ(Quorvex3::pseudoLogForward(-100.0), -0.5);
    EXPECT_DOUBLE_EQ(Quorvex3::pseudoLogForward(1000.0), 1.5);
    EXPECT_DOUBLE_EQ(Quorvex3::pseudoLogForward(-1000.0), -1.5);
    EXPECT_DOUBLE_EQ(Quorvex3::pseudoLogForward(1e4), 2.5);
    EXPECT_DOUBLE_EQ(Quorvex3::pseudoLogForward(1e6), 4.5);
}

TEST(PseudoLogMaths, PiecesMeetAtTheThreshold) {
    // Just beyond the threshold the log piece must continue the linear one.
    const double above = Quorvex3::pseudoLogForward(std::nextafter(100.0, 200.0));
    const double below = Quorvex3::pseudoLogForward(std::nextafter(-100.0, -200.0));
    EXPECT_NEAR(above, 0.5, 1e-14);
    EXPECT_NEAR(below, -0.5, 1e-14);
}

TEST(PseudoLogMaths, OtherParametersFollowTheSameRule) {
    // Threshold 10, slope 0.1: k = 1 - 1 = 0, so x > 10 maps to log10(x).
    EXPECT_DOUBLE_EQ(Quorvex3::pseudoLogForward(5.0, 10.0, 0.1), 0.5);
    EXPECT_DOUBLE_EQ(Quorvex3::pseudoLogForward(100.0, 10.0, 0.1), 2.0);
    EXPECT_DOUBLE_EQ(Quorvex3::pseudoLogForward(-1000.0, 10.0, 0.1), -3.0);
    EXPECT_DOUBLE_EQ(Quorvex3::pseudoLogInverse(2.0, 10.0, 0.1), 100.0);
    EXPECT_DOUBLE_EQ(Quorvex3::pseudoLogInverse(-0.5, 10.0, 0.1), -5.0);
}

TEST(PseudoLogMaths, InverseHandValues) {
    EXPECT_DOUBLE_EQ(Quorvex3::pseudoLogInverse(0.25), 50.0);
    EXPECT_DOUBLE_EQ(Quorvex3::pseudoLogInverse(0.5), 100.0);
    EXPECT_DOUBLE_EQ(Quorvex3::pseudoLogInverse(1.5), 1000.0);
    EXPECT_DOUBLE_EQ(Quorvex3::pseudoLogInverse(-2.5), -1e4);
    EXPECT_EQ(Quorvex3::pseudoLogInverse(0.0), 0.0);
}

TEST(PseudoLogMaths, InverseUndoesForwardForFiniteValues) {
    const double values[] = {-1e12, -123456.7, -1000.0, -100.5, -100.0, -99.9,  -1.0,   -1e-9, 0.0,
                             1e-9,  0.3,       42.0,    99.99,  100.0,  100.01, 2500.0, 7.5e8};
    for (double x : values) {
        const double back = Quorvex3::pseudoLogInverse(Quorvex3::pseudoLogForward(x));
        EXPECT_NEAR(back, x, 1e-12 * std::max(1.0, std::fabs(x))) << "x = " << x;
    }
}

TEST(PseudoLogMaths, NaNStaysNaNBothWays) {
    EXPECT_TRUE(std::isnan(Quorvex3::pseudoLogForward(kNaN)));
    EXPECT_TRUE(std::isnan(Quorvex3::pseudoLogInverse(kNaN)));
}

TEST(PseudoLogMaths, ForwardIsMonotone) {
    // Ascending values from -1e6 to 1e6, dense around the threshold.
    std::vector<double> xs;
    for (int k = 600; k >= -300; --k)
        xs.push_back(-std::pow(10.0, k / 100.0));
    xs.push_back(0.0);
    for (int k = -300; k <= 600; ++k)
        xs.push_back(std::pow(10.0, k / 100.0));
    for (std::size_t i = 1; i < xs.size(); ++i) {
        EXPECT_GE(Quorvex3::pseudoLogForward(xs[i]), Quorvex3::pseudoLogForward(xs[i - 1]))
            << "x = " << xs[i];
    }
}

// ---- applyScaleTransform ----------------------------------------------------------

TEST(ApplyScaleTransform, LinearReturnsAnEqualCopy) {
    const std::vector<double> in = {-3.0, 0.0, 2.5, 1e300};
    EXPECT_EQ(Quorvex3::applyScaleTransform(in, ScaleMode::Linear), in);
}

TEST(ApplyScaleTransform, LogMapsNonPositiveAndNaNToZero) {
    const std::vector<double> out =
        Quorvex3::applyScaleTransform({0.0, -3.0, 100.0, kNaN, 0.001}, ScaleMode::Log);
    ASSERT_EQ(out.size(), 5u);
    EXPECT_EQ(out[0], 0.0);
    EXPECT_EQ(out[1], 0.0);
    EXPECT_DOUBLE_EQ(out[2], 2.0);
    EXPECT_EQ(out[3], 0.0);
    EXPECT_DOUBLE_EQ(out[4], -3.0);
}

TEST(ApplyScaleTransform, PseudoLogUsesTheDefaultMap) {
    const std::vector<double> out =
        Quorvex3::applyScaleTransform({-1e5, -100.0, 20.0, 1000.0, kNaN}, ScaleMode::PseudoLog);
    ASSERT_EQ(out.size(), 5u);
    EXPECT_DOUBLE_EQ(out[0], -3.5);
    EXPECT_DOUBLE_EQ(out[1], -0.5);
    EXPECT_DOUBLE_EQ(out[2], 0.1);
    EXPECT_DOUBLE_EQ(out[3], 1.5);
    EXPECT_TRUE(std::isnan(out[4]));
}

TEST(ApplyScaleTransform, CodesOutsideTheKnownThreeAreLinear) {
    const std::vector<double> in = {-1000.0, 0.0, 50.0, 1e4, kNaN};
    for (int code : {3, 4, -1, 99}) {
        const std::vector<double> out = Quorvex3::applyScaleTransform(in, modeFromCode(code));
        ASSERT_EQ(out.size(), in.size()) << "code " << code;
        for (std::size_t i = 0; i + 1 < in.size(); ++i)
            EXPECT_EQ(out[i], in[i]) << "code " << code;
        EXPECT_TRUE(std::isnan(out.back()));
    }
}

TEST(ApplyScaleTransform, EmptyInputGivesEmptyOutputInEveryMode) {
    for (int code : {0, 1, 2, 3})
        EXPECT_TRUE(Quorvex3::applyScaleTransform({}, modeFromCode(code)).empty());
}

// ---- inverseScaleTransformInPlace ---------------------------------------------------

TEST(InverseScaleTransform, LogBringsTheZeroOfNonPositiveValuesBackAsOne) {
    double x = 0.0;
    double y = 2.0;
    Quorvex3::inverseScaleTransformInPlace(x, y, ScaleMode::Log, ScaleMode::Log);
    EXPECT_DOUBLE_EQ(x, 1.0);
    EXPECT_DOUBLE_EQ(y, 100.0);
}

TEST(InverseScaleTransform, EachCoordinateUsesItsOwnMode) {
    double x = 1.5;
    double y = 1.5;
    Quorvex3::inverseScaleTransformInPlace(x, y, ScaleMode::PseudoLog, ScaleMode::Linear);
    EXPECT_DOUBLE_EQ(x, 1000.0);
    EXPECT_EQ(y, 1.5);

    x = -0.25;
    y = -1.0;
    Quorvex3::inverseScaleTransformInPlace(x, y, ScaleMode::Linear, ScaleMode::Log);
    EXPECT_EQ(x, -0.25);
    EXPECT_DOUBLE_EQ(y, 0.1);
}

TEST(InverseScaleTransform, LinearAndUnknownCodesLeaveThePointAlone) {
    for (int code : {0, 3, -7}) {
        double x = 0.4;
        double y = -2.5;
        Quorvex3::inverseScaleTransformInPlace(x, y, modeFromCode(code), modeFromCode(code));
        EXPECT_EQ(x, 0.4) << "code " << code;
        EXPECT_EQ(y, -2.5) << "code " << code;
    }
}

TEST(InverseScaleTransform, UndoesApplyForEachMode) {
    const std::vector<double> xs = {0.02, 3.0, 150.0, 9.9e5};
    for (int code : {0, 1, 2}) {
        const std::vector<double> t = Quorvex3::applyScaleTransform(xs, modeFromCode(code));
        for (std::size_t i = 0; i < xs.size(); ++i) {
            double x = t[i];
            double y = t[i];
            Quorvex3::inverseScaleTransformInPlace(x, y, modeFromCode(code), modeFromCode(code));
            EXPECT_NEAR(x, xs[i], 1e-12 * xs[i]) << "code " << code;
        }
    }
}
