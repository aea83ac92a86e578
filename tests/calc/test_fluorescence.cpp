// Fluorescence peak refinement (timing metadata, channels, velocity, window
// and peak search, whole runs on traces, cancelling) and crosstalk
// compensation against numpy.

#include "CalcTestSupport.h"
#include "calc/FLCompensation.h"
#include "calc/FLRefinement.h"
#include "calc/FLRefinementCore.h"
#include "core/RTDCMetadata.h"

#include <thread>

namespace Quorvex3::testing {

using Traces = std::map<int, std::vector<std::vector<float>>>;

std::vector<float> triangle(std::size_t length, std::size_t centre, float height, float slope) {
    std::vector<float> trace(length);
    for (std::size_t j = 0; j < length; ++j)
        trace[j] = std::max(height - slope * std::abs(float(j) - float(centre)), 0.0f);
    return trace;
}

TEST(RefinementCore, TimingChannelsAndVelocityVotes) {
    // clang-format off
    const FluorescenceTiming timing = parseFluorescenceTiming({{"sample rate", "1e6"},
        {"sample_rate", "500000"}, {"baseline 1 offset", "5"}, {"baseline 12 offset", "50"},
        {"baseline_2_offset", "-7.5"}, {"baseline x offset", "9"}, {"baseline 3 offset", "high"}});
    // clang-format on
    EXPECT_EQ(timing.dt, 2.0); // the later key wins
    EXPECT_EQ(timing.baselineOffsets, (std::map<int, double>{{1, 5.0}, {2, -7.5}, {12, 50.0}}));
    EXPECT_EQ(parseFluorescenceTiming({{"sample rate", "-1e6"}}).dt, 1e6);
    EXPECT_EQ(refinementChannels({"fl3_max", "fl1_max", "fl2_max_ctc", "fl1_max_rf", "flx_max",
                                  "fl_max", "fl12_max", "fl1_maxi", "fl3a_max", "xfl4_max"}),
              (std::vector<int>{1, 3, 12}));
    // (distance, ratio) pairs -> velocity, spread in units of 1.4826. Sorted
    // by distance the first three vote: 1 2 4 -> 2, deviations 1 0 2 -> 1.
    // Even: 1 2 3 4 -> element 2, deviations 2 0 1 1 -> 1. Five pairs: the
    // two farthest vote. Non-finite pairs are dropped before sorting; a
    // median that is not positive means no velocity.
    // clang-format off
    const std::tuple<std::vector<std::pair<double, double>>, double, double> cases[] = {
        {{{2, 50}, {10, 1}, {1, 100}, {9, 2}, {0.5, 7}, {8, 4}}, 2.0, 1.0},
        {{{10, 1}, {9, 3}, {8, 2}, {7, 4}, {1, 0}, {1, 0}, {1, 0}, {1, 0}}, 3.0, 1.0},
        {{{8, 1}, {10, 5}, {9, 6}, {1, 1}, {0.5, 1}}, 6.0, 1.0}, {{{10, -1}, {9, -2}, {1, 5}, {1, 5}}, 0.0, 1.0},
        {{{NAN, 100}, {10, 3}, {INFINITY, 5}, {9, NAN}, {1, 9}}, 3.0, 0.0}};
    // clang-format on
    for (const auto& [pairs, velocity, spread] : cases)
        EXPECT_EQ(velocityFromPairs(pairs), std::pair(velocity, 1.4826 * spread)) << velocity;
}

TEST(RefinementCore, WindowClampedAndPeakMaximumPositionAndHalfLevelWidth) {
    // (low, high) -> (lo, hi) in a trace of 100 samples, never converting a
    // NaN, negative or huge double.
    // clang-format off
    for (const auto& [low, high, lo, hi] : {std::tuple{10.9, 20.9, 10, 20}, {NAN, 30.0, 0, 30},
            {5.0, NAN, 5, 99}, {5.0, 1e300, 5, 99}, {-INFINITY, -1.0, 0, 0}, {40.0, 30.0, 30, 30}}) {
        const SampleWindow window = windowSamples(low, high, 100);
        EXPECT_EQ(std::pair(window.lo, window.hi), std::pair(std::size_t(lo), std::size_t(hi)));
    }
    // Trace, window, baseline offset -> maximum, position and width at 2 µs per
    // sample. 100 - 10 |j - 40|: the first samples below half are 34 and 46; an
    // offset of 20 lifts the half level to 60: 33 and 47. Peak on the window's
    // first sample: the left edge is the peak. Above half to the window's start:
    // left edge lo + 1; to its end: hi. Equal maxima: the first wins. NaN samples
    // never win nor end a scan. Without any usable sample: no peak.
    const std::tuple<std::vector<float>, SampleWindow, double, double, double, double> cases[] = {
        {triangle(100, 40, 100, 10), {20, 60}, 0, 100, 80, 24},
        {triangle(100, 40, 100, 10), {20, 60}, 20, 120, 80, 28},
        {{1, 9, 5, 2, 1}, {1, 4}, 0, 9, 2, 4}, {{8, 8, 9, 8, 1, 0}, {0, 5}, 0, 9, 4, 6},
        {{0, 1, 9, 8, 8}, {0, 4}, 0, 9, 4, 6}, {{0, 9, 1, 9, 0}, {0, 4}, 0, 9, 2, 2},
        {{0, NAN, 9, NAN, 8, 0}, {0, 5}, 0, 9, 4, 8}, {{-5, -3, -4}, {0, 2}, 0, -3, 2, 0}};
    // clang-format on
    for (const auto& [trace, window, offset, maximum, position, width] : cases) {
        const RefinedPeak p = refinePeak(trace, window, offset, 2.0);
        EXPECT_EQ(std::tuple(p.maximum, p.position, p.width), std::tuple(maximum, position, width))
            << "maximum " << maximum;
    }
    const RefinedPeak none = refinePeak({1, NAN, NAN, 1}, {1, 2}, 0.0, 1.0);
    EXPECT_TRUE(std::isnan(none.maximum) && std::isnan(none.position) && std::isnan(none.width));
}

class Refinement : public CalcTest {
protected:
    // Columns, raw traces "fl<N>_raw" and, with a width, blank images.
    RTDCReader& withTraces(const Columns& columns, const Traces& traces, std::size_t w = 0) {
        return open(columns, [&](RtdcFixtureWriter& writer) {
            for (const auto& [channel, rows] : traces) {
                std::vector<float> flat;
                for (const auto& row : rows)
                    flat.insert(flat.end(), row.begin(), row.end());
                writer.addTrace("fl" + std::to_string(channel) + "_raw", rows.size(),
                                rows[0].size(), flat);
            }
            const std::size_t events = columns.begin()->second.size();
            if (w > 0)
                writer.addImageStack("image", events, 2, w, std::vector<uint8_t>(events * 2 * w));
        });
    }

    // A run without trace filters; the pixel size (µm) gives the image centre.
    bool run(RTDCReader& reader, std::map<std::string, std::string> fluorescence = {},
             const char* pixelSize = nullptr) {
        RTDCMetadata metadata;
        metadata.fluorescence = std::move(fluorescence);
        if (pixelSize)
            metadata.imaging["pixel size"] = pixelSize;
        const FLRefineSettings unfiltered{false, 5, 3, false, 11, 3, false, 3, false, 3, false};
        return m_refinement.run(&reader, metadata, unfiltered);
    }

    FLRefinement m_refinement;
};

TEST_F(Refinement, TriangularPeaksWithTheirChannelsOffsetsAndShortOrMissingInputs) {
    // 1 µs per sample; fl<N>_pos centres a window of ±0.05 · 400 samples.
    // Event 0: 120 - 10 |j - 150|, half level 60 -> edges 143 and 157; event
    // 1: 80 - 5 |j - 250|, half 40 -> 241 and 259. Channel 12 takes its own
    // offset. Channel 3's fl3_pos is short: missing, the whole trace is
    // searched. Channel 2 has no trace: its positions stay.
    const std::vector rows{triangle(400, 150, 100, 10), triangle(400, 250, 60, 5)};
    // clang-format off
    RTDCReader& reader = withTraces({{"fl1_max", {1, 1}}, {"fl1_pos", {150, 250}}, {"fl12_max", {1, 1}},
            {"fl12_pos", {150, 250}}, {"fl3_max", {1, 1}}, {"fl3_pos", {0}}, {"fl2_max", {1, 1}},
            {"fl2_pos", {33, 44}}}, {{1, rows}, {12, rows}, {3, rows}});
    ASSERT_TRUE(run(reader, {{"sample rate", "1e6"}, {"baseline 1 offset", "20"}, {"baseline 12 offset", "40"}}));
    for (const auto& [name, values] : {std::pair{"fl1_max_rf", std::vector<double>{120, 80}},
            {"fl1_pos_rf", {150, 250}}, {"fl1_width_rf", {14, 18}}, {"fl12_max_rf", {140, 100}},
            {"fl3_pos_rf", {150, 250}}, {"fl2_max_rf", {0, 0}}, {"fl2_pos_rf", {33, 44}}})
        EXPECT_EQ(reader.readScalarFeature(name), values) << name;
    // clang-format on
    // A trace of no samples is no trace; without "fl<N>_max", nothing to do.
    RTDCReader& empty = withTraces({{"fl1_max", {1, 1}}, {"fl1_pos", {3, 4}}}, {{1, {{}, {}}}});
    ASSERT_TRUE(run(empty));
    EXPECT_EQ(empty.readScalarFeature("fl1_pos_rf"), (std::vector<double>{3, 4}));
    EXPECT_FALSE(run(open({{"area_um", {1, 2}}})));
}

TEST_F(Refinement, SearchesTheFilteredTraceTheReaderShowsAndTimesInSamplesWithoutARate) {
    // With the dock's filters (two Hampel filters, Savitzky-Golay) a spike
    // of 500 beside the peak is an outlier: the refined maximum is that of
    // the registered trace "fl1_median_rf" in the window 45 .. 55, not the
    // spike. Without a sample rate one sample lasts 1,000,000 µs.
    std::vector<std::vector<float>> rows;
    for (std::size_t e = 0; e < 3; ++e) {
        rows.push_back(triangle(100, 48 + e, 100, 6));
        rows.back()[52] += 500;
    }
    RTDCReader& reader = withTraces({{"fl1_max", {1, 1, 1}}, {"fl1_pos", {50e6, 50e6, 50e6}}},
                                    {{1, rows}});
    RTDCMetadata metadata;
    ASSERT_TRUE(m_refinement.run(&reader, metadata, FLRefineSettings{}));
    const std::vector<std::string> traces = reader.getAvailableTraceNames();
    EXPECT_NE(std::find(traces.begin(), traces.end(), "fl1_median_rf"), traces.end());
    for (std::size_t e = 0; e < 3; ++e) {
        const std::vector<float> shown = reader.readTrace("fl1_median_rf", e);
        ASSERT_EQ(shown.size(), 100u);
        const auto peak = std::max_element(shown.begin() + 45, shown.begin() + 56);
        EXPECT_LT(*peak, 200.0f);
        EXPECT_EQ(reader.readScalarFeature("fl1_max_rf")[e], static_cast<double>(*peak)) << e;
        EXPECT_EQ(reader.readScalarFeature("fl1_pos_rf")[e], 1e6 * double(peak - shown.begin()));
    }
}

TEST_F(Refinement, VelocityFromTheFarthestEventsPlacesEachWindowWithinTheSpreadCap) {
    // Images of 100 px of 0.5 µm: centre 25 µm; 200 samples. Cells move at
    // 0.5 µm/µs: the peak of pos_x = 25 + δ is at 100 + 2 δ. Event 8's
    // fl1_pos points far off; the velocity still places its window (±4
    // samples) on the peak, but without a pixel size (no image centre, no
    // velocity) fl1_pos rules and the window holds nothing.
    const std::vector<double> offsets{-20, -15, -10, -5, 5, 10, 15, 20, 12};
    Columns c;
    Traces traces;
    for (double delta : offsets) {
        traces[1].push_back(triangle(200, static_cast<std::size_t>(100 + 2 * delta), 500, 50));
        c["pos_x"].push_back(25.0 + delta);
        c["size_x"].push_back(4.0);
        c["fl1_max"].push_back(1000.0);
        c["fl1_pos"].push_back(delta == 12 ? 30 : 100.0 + 2 * delta);
    }
    RTDCReader& reader = withTraces(c, traces, 100);
    ASSERT_TRUE(run(reader, {{"sample rate", "1e6"}}, "0.5"));
    for (std::size_t e = 0; e < offsets.size(); ++e)
        EXPECT_EQ(reader.readScalarFeature("fl1_pos_rf")[e], 100.0 + 2 * offsets[e]) << e;
    EXPECT_EQ(reader.readScalarFeature("fl1_width_rf")[1], 7.0); // lo + 1 to hi, all above half
    ASSERT_TRUE(run(reader, {{"sample rate", "1e6"}}));
    EXPECT_EQ(reader.readScalarFeature("fl1_max_rf")[8], 0.0);
    // The spread widens the window by 1 + spread / velocity, at most 1.5:
    // 500 - 50 |j - 110| falls below half at 104 and 116.
    for (const auto& [spread, width] : {std::pair{0.1, 8.0}, {0.25, 11.0}, {1.0, 11.0}}) {
        ASSERT_TRUE(m_refinement.extractChannelFeatures(&reader, 1, 1, 0, 0.5, spread, 25, 100, 200,
                                                        10, &c["pos_x"], &c["size_x"], 9, 0, 1));
        EXPECT_EQ(reader.readScalarFeature("fl1_width_rf")[4], width) << spread;
    }
    // Only events above the threshold and off the centre time vote, a NaN
    // maximum does: (35 - 25) / (120 - 100). A pos_x shorter than the event
    // count: no velocity.
    const std::vector<double> posX{45, 35, 50}, shortPosX{45, 35};
    RTDCReader& few =
        withTraces({{"fl1_max", {400, NAN, 1000}}, {"fl1_pos", {120, 120, 100 + 1e-7}}},
                   {{1, std::vector(3, std::vector<float>(10))}});
    EXPECT_EQ(m_refinement.estimateVelocity(&few, 25, 100, {1}, &posX, 3, 400).first, 0.5);
    EXPECT_EQ(m_refinement.estimateVelocity(&few, 25, 100, {1}, &shortPosX, 3, 0).first, 0.0);
}

TEST_F(Refinement, CancelFromAnotherThreadStopsBeforeTheNextEvent) {
    Columns columns;
    for (const char* name : {"fl1_max", "fl1_pos", "fl2_max", "fl2_pos"})
        columns[name].assign(600, 20.0);
    const std::vector rows(600, triangle(40, 20, 9, 1));
    RTDCReader& reader = withTraces(columns, {{1, rows}, {2, rows}});
    // Cancelled from another thread in the first progress report of the
    // second channel: the run stops before its next event.
    std::vector<int> progress;
    QObject::connect(&m_refinement, &FLRefinement::progressChanged, [&](int percent) {
        progress.push_back(percent);
        if (percent == 50)
            std::thread([this] { m_refinement.cancel(); }).join();
    });
    EXPECT_FALSE(run(reader));
    EXPECT_EQ(progress, (std::vector<int>{0, 21, 42, 50})); // channels share the progress
    EXPECT_TRUE(reader.hasFeature("fl1_max_rf"));           // finished before the cancel
    EXPECT_FALSE(reader.hasFeature("fl2_max_rf"));
    QObject::disconnect(&m_refinement, nullptr, nullptr, nullptr);
    progress.clear();
    QObject::connect(&m_refinement, &FLRefinement::progressChanged,
                     [&](int percent) { progress.push_back(percent); });
    EXPECT_TRUE(run(reader)); // a new run starts uncancelled
    EXPECT_EQ(progress, (std::vector<int>{0, 21, 42, 50, 71, 92, 100}));
    EXPECT_TRUE(reader.hasFeature("fl2_width_rf"));
    // Every 256 events, not more often: one channel of 256 events reports 0
    // and 100 only.
    progress.clear();
    EXPECT_TRUE(run(withTraces({{"fl1_max", std::vector<double>(256, 20)},
                                {"fl1_pos", std::vector<double>(256, 20)}},
                               {{1, std::vector(256, triangle(40, 20, 9, 1))}})));
    EXPECT_EQ(progress, (std::vector<int>{0, 100}));
}

TEST_F(CalcTest, CompensationMatchesNumpySolveInTheChannelOrderRefusesSingularMatrices) {
    // /usr/bin/python3 tests/calc/emodulus_fl_oracle.py solve MATRIX INPUTS (the
    // matrix row after row); relative tolerance 1e-12. Row and column 0 belong to the first listed
    // channel,
    // 3. Channel 1's refined peak height, once computed, is its input.
    const std::vector<double> spillover{1.0, 0.12, 0.03, 0.2, 1.0, 0.07, 0.015, 0.31, 1.0};
    std::mt19937_64 random(3);
    Rows inputs(200, std::vector<double>(3));
    Columns c{{"fl1_max", std::vector<double>(200)}};
    const char* names[] = {"fl3_max", "fl1_max_rf", "fl2_max"};
    for (std::size_t i = 0; i < 600; ++i)
        c[names[i % 3]].push_back(inputs[i / 3][i % 3] = 50 + 5000 * uniform(random));
    RTDCReader& reader = open(c);
    reader.addCalculatedFeature("fl1_max_rf", c["fl1_max_rf"]);
    FLCompensation compensation;
    ASSERT_TRUE(
        compensation.run(&reader, {3, 1, 2}, arma::reshape(arma::mat(spillover), 3, 3).t()));
    const std::vector<double> expected = oracle("solve", {{spillover}, inputs});
    ASSERT_EQ(expected.size(), 600u);
    const char* outputs[] = {"fl3_max_ctc", "fl1_max_ctc", "fl2_max_ctc"};
    for (std::size_t i = 0; i < 600; ++i)
        EXPECT_NEAR(reader.readScalarFeature(outputs[i % 3])[i / 3] / expected[i], 1, 1e-12) << i;
    // A source column shorter than the event count: NaN for the events it
    // lacks, in every channel.
    reader.addCalculatedFeature("fl4_max_rf", {10});
    ASSERT_TRUE(compensation.run(&reader, {2, 4}, arma::eye(2, 2)));
    EXPECT_EQ(reader.readScalarFeature("fl2_max_ctc")[0], c["fl2_max"][0]);
    EXPECT_TRUE(std::isnan(reader.readScalarFeature("fl2_max_ctc")[1]));
    // Singular, singular up to rounding, not finite: refused with the message.
    for (const arma::mat& singular : {arma::mat{{1, 2}, {2, 4}}, arma::mat{{1, 1}, {1, 1 + 1e-15}},
                                      arma::mat{{1, NAN}, {0, 1}}}) {
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(compensation.run(&reader, {1, 2}, singular));
        EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                  "FLCompensation: spillover matrix is singular\n");
    }
}

TEST_F(CalcTest, CompensationRefusalsTheIdentityAndTheTwoChannelClosedForm) {
    RTDCReader& reader = open({{"fl1_max", {100, 200}}, {"fl2_max", {30, 60}}});
    RTDCReader& empty = open({{"fl1_max", {}}, {"fl2_max", {}}});
    FLCompensation compensation;
    ::testing::internal::CaptureStderr();
    // No reader, one channel, a matrix of another size, no events: refused
    // without a message; so is an empty or non-square matrix on its own.
    EXPECT_FALSE(compensation.run(nullptr, {1, 2}, arma::eye(2, 2)));
    EXPECT_FALSE(compensation.run(&reader, {1}, arma::eye(1, 1)));
    EXPECT_FALSE(compensation.run(&reader, {1, 2}, arma::eye(3, 3)));
    EXPECT_FALSE(compensation.run(&reader, {1, 2}, arma::mat(2, 3, arma::fill::eye)));
    EXPECT_FALSE(compensation.run(&empty, {1, 2}, arma::eye(2, 2)));
    arma::mat inverse;
    EXPECT_FALSE(FLCompensation::compensationMatrix(arma::mat(), inverse));
    EXPECT_FALSE(FLCompensation::compensationMatrix(arma::mat(2, 3, arma::fill::eye), inverse));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(reader.hasFeature("fl1_max_ctc") || empty.hasFeature("fl1_max_ctc"));
    // The identity copies; [[1, a], [b, 1]] gives ((x - a y), (y - b x)) / (1 - ab).
    ASSERT_TRUE(compensation.run(&reader, {1, 2}, arma::eye(2, 2)));
    EXPECT_EQ(reader.readScalarFeature("fl1_max_ctc"), (std::vector<double>{100, 200}));
    EXPECT_EQ(reader.readScalarFeature("fl2_max_ctc"), (std::vector<double>{30, 60}));
    const double a = 0.25, b = 0.1;
    ASSERT_TRUE(compensation.run(&reader, {1, 2}, arma::mat{{1, a}, {b, 1}}));
    for (std::size_t e = 0; e < 2; ++e) {
        const double x = e == 0 ? 100 : 200, y = e == 0 ? 30 : 60;
        EXPECT_NEAR(reader.readScalarFeature("fl1_max_ctc")[e], (x - a * y) / (1 - a * b), 1e-12);
        EXPECT_NEAR(reader.readScalarFeature("fl2_max_ctc")[e], (y - b * x) / (1 - a * b), 1e-12);
    }
    // Progress every 256 events as a share of the events, then 100.
    std::vector<int> progress;
    QObject::connect(&compensation, &FLCompensation::progressChanged,
                     [&](int percent) { progress.push_back(percent); });
    for (const auto& [count, expected] :
         {std::pair{600, std::vector{0, 42, 85, 100}}, {256, std::vector{0, 100}}}) {
        progress.clear();
        RTDCReader& many = open({{"fl1_max", std::vector<double>(count, 1.0)},
                                 {"fl2_max", std::vector<double>(count, 2.0)}});
        ASSERT_TRUE(compensation.run(&many, {1, 2}, arma::eye(2, 2)));
        EXPECT_EQ(progress, expected) << count;
    }
    // One event by hand: a matrix of the wrong size leaves zeros.
    std::vector<double> out;
    FLCompensation::compensateEvent(arma::mat{{2, 1}, {0, 3}}, {1, 2}, out);
    EXPECT_EQ(out, (std::vector<double>{4, 6}));
    FLCompensation::compensateEvent(arma::eye(3, 3), {1, 2}, out);
    EXPECT_EQ(out, (std::vector<double>{0, 0}));
}

} // namespace Quorvex3::testing
