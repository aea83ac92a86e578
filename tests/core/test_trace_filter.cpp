#include "core/TraceFilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using Quorvex3::TraceFilterSettings;

namespace {

void expectRowsNear(const std::vector<float>& actual, const std::vector<float>& expected,
                    float tolerance) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], tolerance) << "sample " << i;
}

// A fluorescence-like pulse with a baseline, two spikes and a dropout; the
// same row as `row` in trace_filter_oracle.py.
const std::vector<float> kPulse = {2,  3,  2,  4,  3,  2, 60, 3, 5,   9, 16, 25, 34, 41, 44,
                                   42, 36, 27, 18, 11, 6, 4,  3, -40, 2, 3,  2,  4,  3,  2};

// Every stage off: the row must come through untouched.
TraceFilterSettings allOff() {
    TraceFilterSettings s;
    s.hampel1Enabled = false;
    s.hampel2Enabled = false;
    s.runningMedianEnabled = false;
    s.movingAverageEnabled = false;
    s.smoothingEnabled = false;
    return s;
}

} // namespace

// ---- hampelFilter ------------------------------------------------------------

TEST(HampelFilter, SpikeInFlatWindowIsKeptBecauseMadIsZero) {
    // Window {1, 100, 1}: median 1, MAD 0, so the scale is 0 and nothing may
    // be replaced (a zero scale must not count as "everything is an outlier").
    std::vector<float> row = {1, 1, 1, 100, 1, 1};
    Quorvex3::hampelFilter(row, 1, 3.0f);
    EXPECT_EQ(row, (std::vector<float>{1, 1, 1, 100, 1, 1}));
    Quorvex3::hampelFilter(row, 2, 3.0f);
    EXPECT_EQ(row, (std::vector<float>{1, 1, 1, 100, 1, 1}));
}

TEST(HampelFilter, OutlierReplacedByWindowMedian) {
    // At i = 3: window {2, 3, 100, 5, 6}, median 5, deviations
    // {3, 2, 95, 0, 1}, MAD 2, s = 2.9652; |100 - 5| > 3 s.
    // The other samples: at i = 2 the window {1, 2, 3, 100, 5} has median 3
    // and MAD 1 (s = 1.4826), |3 - 3| = 0 stays; at i = 4 the window
    // {3, 100, 5, 6, 7} has median 6, MAD 1, |5 - 6| = 1 < 4.45 stays.
    std::vector<float> row = {1, 2, 3, 100, 5, 6, 7};
    Quorvex3::hampelFilter(row, 2, 3.0f);
    EXPECT_EQ(row, (std::vector<float>{1, 2, 3, 5, 5, 6, 7}));
}

TEST(HampelFilter, WindowsReadTheInputNotReplacedValues) {
    // Half-width 1 on {2, 1, 50, 52, 3, 4}: at i = 2 the window {1, 50, 52}
    // has median 50 and MAD 2, at i = 3 {50, 52, 3} median 50 and MAD 2, so
    // the neighbouring spikes protect each other and nothing changes.
    std::vector<float> narrow = {2, 1, 50, 52, 3, 4};
    Quorvex3::hampelFilter(narrow, 1, 3.0f);
    EXPECT_EQ(narrow, (std::vector<float>{2, 1, 50, 52, 3, 4}));

    // Half-width 2: at i = 2 the window {2, 1, 50, 52, 3} has median 3 and
    // deviations {1, 2, 47, 49, 0}, MAD 2: 50 becomes 3. At i = 3 the window
    // of the input {1, 50, 52, 3, 4} has median 4 and MAD 3: 52 becomes 4.
    // Had the window read the already replaced 3, it would be
    // {1, 3, 52, 3, 4} with median 3, and 52 would become 3.
    std::vector<float> wide = {2, 1, 50, 52, 3, 4};
    Quorvex3::hampelFilter(wide, 2, 3.0f);
    EXPECT_EQ(wide, (std::vector<float>{2, 1, 3, 4, 3, 4}));
}

TEST(HampelFilter, EvenWindowUsesUpperMiddleValue) {
    // Half-width 2 at i = 1 of {0, 10, 0, 1}: the window is the whole row,
    // sorted {0, 0, 1, 10}. The upper middle value 1 gives deviations
    // {1, 9, 1, 0}, MAD 1 (upper middle of {0, 1, 1, 9}), and 10 becomes 1.
    // The lower middle (0) would give MAD 0 and keep 10; the mean of the two
    // middle values would replace 10 by 0.5.
    std::vector<float> row = {0, 10, 0, 1};
    Quorvex3::hampelFilter(row, 2, 3.0f);
    EXPECT_EQ(row, (std::vector<float>{0, 1, 0, 1}));
}

TEST(HampelFilter, ThresholdComparisonIsStrict) {
    // Whole-row window {-2, 0, d, 0, 2}: median 0, deviations
    // {2, 0, d, 0, 2}, MAD 2, s = 2 x 1.4826. A sample exactly at k x s
    // stays; the next float above it is replaced by the median.
    const float scale = 2.0f * 1.4826f;
    const float atThreshold = 3.0f * scale;
    std::vector<float> keep = {-2, 0, atThreshold, 0, 2};
    Quorvex3::hampelFilter(keep, 2, 3.0f);
    EXPECT_EQ(keep[2], atThreshold);
    std::vector<float> replace = {-2, 0, std::nextafter(atThreshold, 100.0f), 0, 2};
    Quorvex3::hampelFilter(replace, 2, 3.0f);
    EXPECT_EQ(replace[2], 0.0f);
}

TEST(HampelFilter, EmptyRowAndZeroHalfWidthAreNoOps) {
    std::vector<float> empty;
    Quorvex3::hampelFilter(empty, 5, 3.0f);
    EXPECT_TRUE(empty.empty());
    std::vector<float> row = {1, 2, 300, 4};
    Quorvex3::hampelFilter(row, 0, 3.0f);
    EXPECT_EQ(row, (std::vector<float>{1, 2, 300, 4}));
}

TEST(HampelFilter, HalfWidthLargerThanRowUsesWholeRow) {
    // Every window is the whole row {1, 2, 3, 4, 100}: median 3, deviations
    // {2, 1, 0, 1, 97}, MAD 1, s = 1.4826: 100 is replaced, 1 (|1-3| = 2 <
    // 4.45) stays.
    std::vector<float> row = {1, 2, 3, 4, 100};
    Quorvex3::hampelFilter(row, 1000, 3.0f);
    EXPECT_EQ(row, (std::vector<float>{1, 2, 3, 4, 3}));
}

TEST(HampelFilter, MatchesNumpyReference) {
    // /usr/bin/python3 tests/core/trace_filter_oracle.py: "hampel(row, 2, 3.0)"
    std::vector<float> row = kPulse;
    Quorvex3::hampelFilter(row, 2, 3.0f);
    expectRowsNear(row, {2,  3,  2,  4,  3,  2, 3, 3, 5, 9, 16, 25, 34, 41, 44,
                         42, 36, 27, 18, 11, 6, 4, 3, 3, 2, 3,  2,  4,  3,  2},
                   0.0f);
}

// ---- runningMedian -----------------------------------------------------------

TEST(RunningMedian, ShrinkingWindowsUseUpperMiddle) {
    // out[0] = position 1 of {1, 3} = 3; out[1] = 2; out[2] = position 1 of
    // {1, 2} = 2.
    std::vector<float> row = {3, 1, 2};
    Quorvex3::runningMedian(row, 1);
    EXPECT_EQ(row, (std::vector<float>{3, 2, 2}));
}

TEST(RunningMedian, RemovesIsolatedSpikesAndKeepsSteps) {
    std::vector<float> row = {0, 0, 9, 0, 0, 5, 5, 5, 5};
    Quorvex3::runningMedian(row, 1);
    EXPECT_EQ(row, (std::vector<float>{0, 0, 0, 0, 0, 5, 5, 5, 5}));
}

TEST(RunningMedian, HalfWidthBelowOneAndEmptyRowAreNoOps) {
    std::vector<float> row = {3, 1, 2};
    Quorvex3::runningMedian(row, 0);
    EXPECT_EQ(row, (std::vector<float>{3, 1, 2}));
    std::vector<float> empty;
    Quorvex3::runningMedian(empty, 3);
    EXPECT_TRUE(empty.empty());
}

// ---- movingAverage -----------------------------------------------------------

TEST(MovingAverage, WindowShrinksAtBothEnds) {
    std::vector<float> row = {1, 2, 3, 4};
    Quorvex3::movingAverage(row, 1);
    EXPECT_EQ(row, (std::vector<float>{1.5f, 2.0f, 3.0f, 3.5f}));
}

TEST(MovingAverage, SingleSampleAndWideWindow) {
    std::vector<float> one = {7};
    Quorvex3::movingAverage(one, 3);
    EXPECT_EQ(one, (std::vector<float>{7}));
    // Half-width beyond the row: every window is the whole row.
    std::vector<float> row = {1, 2, 6};
    Quorvex3::movingAverage(row, 10);
    EXPECT_EQ(row, (std::vector<float>{3, 3, 3}));
}

TEST(MovingAverage, RunningSumDoesNotDriftOnLargeOffsets) {
    // Sums of three samples near 1e7 exceed 2^24, where a float sum rounds to
    // even integers and the running update drifts; the double sum stays
    // exact, so each mean is the correctly rounded float of the true mean.
    std::vector<float> row(2000);
    for (size_t i = 0; i < row.size(); ++i)
        row[i] = 1.0e7f + static_cast<float>(i % 2);
    Quorvex3::movingAverage(row, 1);
    for (size_t i = 1; i + 1 < row.size(); ++i) {
        const double expected = 1.0e7 + (i % 2 ? 1.0 : 2.0) / 3.0;
        ASSERT_EQ(row[i], static_cast<float>(expected)) << i;
    }
}

TEST(MovingAverage, MatchesNumpyReference) {
    // /usr/bin/python3 tests/core/trace_filter_oracle.py: "moving_average(row, 2)"
    std::vector<float> row = kPulse;
    Quorvex3::movingAverage(row, 2);
    expectRowsNear(row, {2.3333333f, 2.75f, 2.8f,  2.8f,  14.2f, 14.4f, 14.6f, 15.8f, 18.6f, 11.6f,
                         17.8f,      25.0f, 32.0f, 37.2f, 39.4f, 38.0f, 33.4f, 26.8f, 19.6f, 13.2f,
                         8.4f,       -3.2f, -5.0f, -5.6f, -6.0f, -5.8f, 2.8f,  2.8f,  2.75f, 3.0f},
                   1e-5f);
}

// ---- polynomialSmoothing -----------------------------------------------------

TEST(PolynomialSmoothing, WeightsMatchSavitzkyGolayCoefficients) {
    // A unit impulse in the middle of a row long enough for a full window
    // returns the weights reversed (they are symmetric) around it.
    // scipy.signal.savgol_coeffs(2m+1, 2) via
    // /usr/bin/python3 tests/core/trace_filter_oracle.py:
    const std::vector<std::vector<double>> reference = {
        {-0.085714286, 0.342857143, 0.485714286, 0.342857143, -0.085714286},
        {-0.095238095, 0.142857143, 0.285714286, 0.333333333, 0.285714286, 0.142857143,
         -0.095238095},
        {-0.090909091, 0.060606061, 0.168831169, 0.233766234, 0.255411255, 0.233766234, 0.168831169,
         0.060606061, -0.090909091},
        {-0.083916084, 0.020979021, 0.102564103, 0.160839161, 0.195804196, 0.207459207, 0.195804196,
         0.160839161, 0.102564103, 0.020979021, -0.083916084},
    };
    for (int m = 2; m <= 5; ++m) {
        const size_t n = static_cast<size_t>(6 * m + 1);
        const size_t centre = n / 2;
        std::vector<float> row(n, 0.0f);
        row[centre] = 1.0f;
        Quorvex3::polynomialSmoothing(row, m);
        const auto& weights = reference[static_cast<size_t>(m - 2)];
        for (int j = -m; j <= m; ++j)
            EXPECT_NEAR(row[static_cast<size_t>(static_cast<int>(centre) + j)],
                        weights[static_cast<size_t>(j + m)], 1e-6)
                << "m " << m << " j " << j;
    }
}

TEST(PolynomialSmoothing, DefaultHalfWidthInTwentyFirsts) {
    // m = 3: -2/21, 3/21, 6/21, 7/21, 6/21, 3/21, -2/21. A ramp of squares
    // is reproduced exactly by a quadratic fit: x^2 smoothed stays x^2.
    std::vector<float> row;
    for (int i = 0; i < 12; ++i)
        row.push_back(static_cast<float>(i * i));
    const std::vector<float> original = row;
    Quorvex3::polynomialSmoothing(row, 3);
    expectRowsNear(row, original, 2e-4f);

    // The impulse response spelled out in twenty-firsts.
    std::vector<float> padded(13, 0.0f);
    padded[6] = 21.0f;
    Quorvex3::polynomialSmoothing(padded, 3);
    expectRowsNear(padded, {0, 0, 0, -2, 3, 6, 7, 6, 3, -2, 0, 0, 0}, 1e-5f);
}

TEST(PolynomialSmoothing, OnlyFullWindowsChangeSamples) {
    // m = 2 on 4 samples: 2m = 4 is not below n, the row stays.
    std::vector<float> four = {5, 0, 0, 5};
    Quorvex3::polynomialSmoothing(four, 2);
    EXPECT_EQ(four, (std::vector<float>{5, 0, 0, 5}));
    // On 5 samples only the middle one changes:
    // (-3*5 + 12*0 + 17*0 + 12*0 - 3*5) / 35 = -30/35.
    std::vector<float> five = {5, 0, 0, 0, 5};
    Quorvex3::polynomialSmoothing(five, 2);
    EXPECT_EQ(five[0], 5.0f);
    EXPECT_EQ(five[1], 0.0f);
    EXPECT_NEAR(five[2], -30.0f / 35.0f, 1e-6f);
    EXPECT_EQ(five[3], 0.0f);
    EXPECT_EQ(five[4], 5.0f);
}

TEST(PolynomialSmoothing, HalfWidthZeroAndOneLeaveRowUnchanged) {
    // m = 0: the single weight is 1; m = 1: the weights are 0, 1, 0.
    std::vector<float> row = {4, -1, 9, 2, 7};
    Quorvex3::polynomialSmoothing(row, 0);
    EXPECT_EQ(row, (std::vector<float>{4, -1, 9, 2, 7}));
    Quorvex3::polynomialSmoothing(row, 1);
    expectRowsNear(row, {4, -1, 9, 2, 7}, 1e-6f);
    std::vector<float> empty;
    Quorvex3::polynomialSmoothing(empty, 0);
    EXPECT_TRUE(empty.empty());
}

TEST(PolynomialSmoothing, MatchesScipyReference) {
    // /usr/bin/python3 tests/core/trace_filter_oracle.py: "smooth(row, 3)"
    // (np.convolve with savgol_coeffs(7, 2) in double; ends unchanged).
    std::vector<float> row = kPulse;
    Quorvex3::polynomialSmoothing(row, 3);
    expectRowsNear(row, {2.0f,       3.0f,        2.0f,       -2.4285715f, 11.0f,      19.0f,
                         21.333334f, 19.333334f,  13.380953f, 4.047619f,   16.428572f, 25.095238f,
                         33.904762f, 40.57143f,   43.42857f,  41.61905f,   35.61905f,  27.238094f,
                         18.47619f,  11.238095f,  10.523809f, -2.142857f,  -9.476191f, -11.666667f,
                         -9.952381f, -3.5714285f, 7.0f,       4.0f,        3.0f,       2.0f},
                   2e-5f);
}

// ---- applyTraceFilter --------------------------------------------------------

TEST(ApplyTraceFilter, AllStagesOffLeavesRow) {
    std::vector<float> row = kPulse;
    Quorvex3::applyTraceFilter(allOff(), row);
    EXPECT_EQ(row, kPulse);
}

TEST(ApplyTraceFilter, DefaultsMatchNumpyReference) {
    // /usr/bin/python3 tests/core/trace_filter_oracle.py: "defaults"
    // = smooth(hampel(hampel(row, 5, 3.0), 11, 3.0), 3)
    std::vector<float> row = kPulse;
    Quorvex3::applyTraceFilter(TraceFilterSettings{}, row);
    expectRowsNear(row, {2.0f,       3.0f,       2.0f,       2.9047618f, 3.0f,       3.0f,
                         2.6666667f, 3.3333333f, 7.1904764f, 9.333333f,  10.333333f, 9.380953f,
                         7.142857f,  5.047619f,  6.0f,       4.857143f,  7.2380953f, 10.142858f,
                         11.619047f, 11.095238f, 8.428572f,  4.0f,       2.8095238f, 2.6666667f,
                         2.3333333f, 2.5714285f, 2.9047618f, 4.0f,       3.0f,       2.0f},
                   2e-5f);
}

TEST(ApplyTraceFilter, StagesRunInFixedOrder) {
    // The running median (stage 3) runs before the moving average (stage 4),
    // so the spike is removed before it could be spread out.
    TraceFilterSettings s = allOff();
    s.runningMedianEnabled = true;
    s.runningMedianHalfWidth = 1;
    s.movingAverageEnabled = true;
    s.movingAverageHalfWidth = 1;
    std::vector<float> row = {0, 0, 0, 90, 0, 0, 0};
    Quorvex3::applyTraceFilter(s, row);
    // The reverse order would leave 30s around the spike.
    EXPECT_EQ(row, (std::vector<float>(7, 0.0f)));
}

TEST(ApplyTraceFilter, DisabledStageIgnoresItsHalfWidth) {
    TraceFilterSettings s = allOff();
    s.movingAverageHalfWidth = 1; // disabled, so it must not run
    std::vector<float> row = {1, 2, 3, 4};
    Quorvex3::applyTraceFilter(s, row);
    EXPECT_EQ(row, (std::vector<float>{1, 2, 3, 4}));
    s.movingAverageEnabled = true;
    Quorvex3::applyTraceFilter(s, row);
    EXPECT_EQ(row, (std::vector<float>{1.5f, 2.0f, 3.0f, 3.5f}));
}
