// Fluorescence peak refinement: the numeric pieces (timing metadata,
// channel discovery, velocity median, window and peak search), and whole
// runs on measurements with traces: a triangular peak, the velocity model's
// window, missing or short inputs, progress and cancelling.

#include "CalcTestSupport.h"
#include "calc/FLRefinement.h"
#include "calc/FLRefinementCore.h"
#include "core/RTDCMetadata.h"
#include "core/RTDCReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <future>
#include <limits>
#include <memory>
#include <thread>

namespace Quorvex3 {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr float kNaNf = std::numeric_limits<float>::quiet_NaN();

// ---------------------------------------------------------------- timing metadata

TEST(FluorescenceTiming, SampleRateAndBaselineOffsets) {
    const FluorescenceTiming timing = parseFluorescenceTiming({
        {"sample rate", "1000000.000000"},
        {"sample_rate", "500000"}, // later in key order: wins
        {"baseline 1 offset", "5"},
        {"baseline 12 offset", "50"}, // channel 12, not a second value for channel 1
        {"baseline_2_offset", "-7.5"},
        {"baseline x offset", "9"},
        {"baseline 3 offset", "high"},
        {"baseline 4", "9"},
    });
    EXPECT_EQ(timing.sampleRate, 500000.0);
    EXPECT_EQ(timing.dt, 2.0);
    EXPECT_EQ(timing.baselineOffsets, (std::map<int, double>{{1, 5.0}, {2, -7.5}, {12, 50.0}}));
}

TEST(FluorescenceTiming, WithoutAUsableSampleRateASampleIsAMillionMicroseconds) {
    for (const char* rate : {"", "fast", "0", "-1e6", "inf"}) {
        SCOPED_TRACE(rate);
        std::map<std::string, std::string> section;
        if (*rate)
            section["sample rate"] = rate;
        EXPECT_EQ(parseFluorescenceTiming(section).dt, 1'000'000.0);
    }
}

// ---------------------------------------------------------------- channels

TEST(RefinementChannels, NumberedMaximaOnlyAscendingOnce) {
    EXPECT_EQ(
        refinementChannels({"fl3_max", "area_um", "fl1_max", "fl2_max_ctc", "fl1_max_rf", "flx_max",
                            "fl_max", "fl12_max", "fl1_maxi", "fl3a_max", "fl1_pos", "xfl4_max"}),
        (std::vector<int>{1, 3, 12}));
    EXPECT_TRUE(refinementChannels({"fl1_pos", "deform"}).empty());
}

// ---------------------------------------------------------------- velocity

TEST(VelocityFromPairs, FarthestHalfVotesWithTheUpperMedian) {
    // Sorted by distance: 10 (1.0), 9 (2.0), 8 (4.0), 2 (50), 1 (100), 0.5
    // (7): the first 3 vote; ratios 1 2 4 -> 2; deviations 1 0 2 -> 1.
    const auto [velocity, spread] =
        velocityFromPairs({{2, 50.0}, {10, 1.0}, {1, 100.0}, {9, 2.0}, {0.5, 7.0}, {8, 4.0}});
    EXPECT_EQ(velocity, 2.0);
    EXPECT_DOUBLE_EQ(spread, 1.4826);
}

TEST(VelocityFromPairs, EvenCountTakesTheUpperMiddle) {
    const auto [velocity, spread] = velocityFromPairs(
        {{10, 1.0}, {9, 3.0}, {8, 2.0}, {7, 4.0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}});
    EXPECT_EQ(velocity, 3.0);               // 1 2 3 4 -> element 2
    EXPECT_DOUBLE_EQ(spread, 1.4826 * 1.0); // deviations 2 0 1 1 -> 0 1 1 2 -> 1
}

TEST(VelocityFromPairs, OddCountKeepsTheSmallerHalf) {
    // Five pairs: the two farthest vote (5, 6 -> 6), not three (1, 5, 6 -> 5).
    EXPECT_EQ(velocityFromPairs({{8, 1.0}, {10, 5.0}, {9, 6.0}, {1, 1.0}, {0.5, 1.0}}).first, 6.0);
}

TEST(VelocityFromPairs, NonFinitePairsAreDroppedBeforeSorting) {
    // A NaN distance would break the sort's ordering; a NaN ratio the median.
    const auto [velocity, spread] =
        velocityFromPairs({{kNaN, 100.0}, {10, 3.0}, {kInf, 5.0}, {9, kNaN}, {1, 9.0}});
    EXPECT_EQ(velocity, 3.0);
    EXPECT_EQ(spread, 0.0);
    EXPECT_EQ(velocityFromPairs({{kNaN, 1.0}}), std::make_pair(0.0, 0.0));
    EXPECT_EQ(velocityFromPairs({}), std::make_pair(0.0, 0.0));
    EXPECT_EQ(velocityFromPairs({{5, 2.5}}), std::make_pair(2.5, 0.0));
}

TEST(VelocityFromPairs, NonPositiveMedianMeansNoVelocity) {
    const auto [velocity, spread] = velocityFromPairs({{10, -1.0}, {9, -2.0}, {1, 5.0}, {1, 5.0}});
    // Ratios -1 -2 -> median -1; deviations 0 1 -> 1.
    EXPECT_EQ(velocity, 0.0);
    EXPECT_DOUBLE_EQ(spread, 1.4826);
}

// ---------------------------------------------------------------- window

TEST(WindowSamples, EndsAreClampedWithoutConvertingBadDoubles) {
    struct Case {
        double low;
        double high;
        std::size_t lo;
        std::size_t hi;
    };
    const Case cases[] = {
        {10.0, 20.0, 10, 20},   {10.9, 20.9, 10, 20}, {-5.0, 3.0, 0, 3},      {kNaN, 30.0, 0, 30},
        {5.0, kNaN, 5, 99},     {5.0, 1e300, 5, 99},  {5.0, kInf, 5, 99},     {-kInf, -1.0, 0, 0},
        {150.0, 200.0, 99, 99}, {40.0, 30.0, 30, 30}, {1e300, 1e301, 99, 99}, {98.5, 99.5, 98, 99},
    };
    for (const Case& c : cases) {
        const SampleWindow w = windowSamples(c.low, c.high, 100);
        EXPECT_EQ(w.lo, c.lo) << c.low << " " << c.high;
        EXPECT_EQ(w.hi, c.hi) << c.low << " " << c.high;
    }
}

// ---------------------------------------------------------------- peak

std::vector<float> triangle(std::size_t length, std::size_t centre, float height, float slope) {
    std::vector<float> trace(length, 0.0f);
    for (std::size_t j = 0; j < length; ++j) {
        const float v = height - slope * std::abs(float(j) - float(centre));
        trace[j] = std::max(v, 0.0f);
    }
    return trace;
}

TEST(RefinePeak, TriangularPeakHeightPositionAndHalfWidth) {
    // 100 - 10 |j - 40|: half level 50; 34 and 46 are the first samples
    // below it -> width 12 samples.
    const std::vector<float> trace = triangle(100, 40, 100.0f, 10.0f);
    const RefinedPeak peak = refinePeak(trace, {20, 60}, 0.0, 2.0);
    EXPECT_EQ(peak.maximum, 100.0);
    EXPECT_EQ(peak.position, 80.0);
    EXPECT_EQ(peak.width, 24.0);
    // A baseline offset of 20 raises the half level to 60: 33 and 47.
    const RefinedPeak raised = refinePeak(trace, {20, 60}, 20.0, 1.0);
    EXPECT_EQ(raised.maximum, 120.0);
    EXPECT_EQ(raised.width, 14.0);
}

TEST(RefinePeak, EdgeRulesAtTheWindowsEnds) {
    struct Case {
        const char* name;
        std::vector<float> trace;
        SampleWindow window;
        double position;
        double width;
    };
    const Case cases[] = {
        // Peak on the first sample: the left edge is the peak itself.
        {"peak at start", {1, 9, 5, 2, 1}, {1, 4}, 1.0, 2.0},
        // Plateau above half from the start: left edge lo + 1, not lo.
        {"plateau to start", {8, 8, 9, 8, 1, 0}, {0, 5}, 2.0, 3.0},
        // Plateau above half to the end: right edge hi.
        {"plateau to end", {0, 1, 9, 8, 8}, {0, 4}, 2.0, 3.0},
        // Equal maxima: the first wins.
        {"equal maxima", {0, 9, 1, 9, 0}, {0, 4}, 1.0, 1.0},
        // NaN samples never win and do not end a half-level scan.
        {"NaN samples", {0, kNaNf, 9, kNaNf, 8, 0}, {0, 5}, 2.0, 4.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RefinedPeak peak = refinePeak(c.trace, c.window, 0.0, 1.0);
        EXPECT_EQ(peak.position, c.position);
        EXPECT_EQ(peak.width, c.width);
    }
}

TEST(RefinePeak, NegativePeakHasNoWidth) {
    const RefinedPeak peak = refinePeak({-5, -3, -4}, {0, 2}, 0.0, 1.0);
    EXPECT_EQ(peak.maximum, -3.0);
    EXPECT_EQ(peak.position, 1.0);
    EXPECT_EQ(peak.width, 0.0);
}

TEST(RefinePeak, WindowWithoutUsableSamplesHasNoPeak) {
    // Guards against the search's starting value (-1e30) being stored as a
    // peak height, which would wreck every mean and plot range.
    const RefinedPeak peak = refinePeak({1, kNaNf, kNaNf, kNaNf, 1}, {1, 3}, 0.0, 1.0);
    EXPECT_TRUE(std::isnan(peak.maximum));
    EXPECT_TRUE(std::isnan(peak.position));
    EXPECT_TRUE(std::isnan(peak.width));
}

// ---------------------------------------------------------------- whole runs

// One measurement: scalar columns, raw traces per channel, optional images.
struct FlMeasurement {
    std::map<std::string, std::vector<double>> columns;
    std::map<int, std::vector<std::vector<float>>> traces; // channel -> rows
    std::size_t imageWidth = 0;                            // 0: no images
};

FLRefineSettings unfiltered() {
    FLRefineSettings settings;
    settings.hampel1Enabled = false;
    settings.hampel2Enabled = false;
    settings.medianEnabled = false;
    settings.rollingAvgEnabled = false;
    settings.savgolEnabled = false;
    return settings;
}

class RefinementRun : public ::testing::Test {
protected:
    RTDCReader& open(const FlMeasurement& m) {
        const std::string path = m_dir.file("fl" + std::to_string(m_readers.size()) + ".rtdc");
        {
            testing::RtdcFixtureWriter writer(path);
            for (const auto& [name, values] : m.columns)
                writer.addColumn<double>(name, values);
            for (const auto& [channel, rows] : m.traces) {
                const std::size_t samples = rows.empty() ? 0 : rows.front().size();
                std::vector<float> flat;
                for (const auto& row : rows)
                    flat.insert(flat.end(), row.begin(), row.end());
                writer.addTrace("fl" + std::to_string(channel) + "_raw", rows.size(), samples,
                                flat);
            }
            if (m.imageWidth > 0) {
                const std::size_t events = m.columns.begin()->second.size();
                writer.addImageStack("image", events, 2, m.imageWidth,
                                     std::vector<uint8_t>(events * 2 * m.imageWidth, 0));
            }
        }
        m_readers.push_back(std::make_unique<RTDCReader>());
        EXPECT_TRUE(m_readers.back()->openFile(path));
        return *m_readers.back();
    }

    static RTDCMetadata metadata(const std::map<std::string, std::string>& fluorescence,
                                 const std::map<std::string, std::string>& imaging = {}) {
        RTDCMetadata m;
        m.fluorescence = fluorescence;
        m.imaging = imaging;
        return m;
    }

    testing::TempDir m_dir;
    std::vector<std::unique_ptr<RTDCReader>> m_readers;
    FLRefinement m_refinement;
};

TEST_F(RefinementRun, TriangularPeakWithBaselineOffset) {
    // Sample rate 1 MHz: 1 µs per sample. fl1_pos centres a window of
    // ±0.05 · 400 = 20 samples on each event's peak.
    FlMeasurement m;
    m.columns["fl1_max"] = {1000, 1000};
    m.columns["fl1_pos"] = {150.0, 250.0};
    m.traces[1] = {triangle(400, 150, 100.0f, 10.0f), triangle(400, 250, 60.0f, 5.0f)};
    RTDCReader& reader = open(m);
    ASSERT_TRUE(m_refinement.run(
        &reader, metadata({{"sample rate", "1000000"}, {"baseline 1 offset", "20"}}),
        unfiltered()));
    // Event 0: 120 - 10 |j - 150|, half 60 -> edges 143 and 157.
    // Event 1: 80 - 5 |j - 250|, half 40 -> edges 241 and 259.
    EXPECT_EQ(reader.readScalarFeature("fl1_max_rf"), (std::vector<double>{120.0, 80.0}));
    EXPECT_EQ(reader.readScalarFeature("fl1_pos_rf"), (std::vector<double>{150.0, 250.0}));
    EXPECT_EQ(reader.readScalarFeature("fl1_width_rf"), (std::vector<double>{14.0, 18.0}));
    const std::vector<std::string> traces = reader.getAvailableTraceNames();
    EXPECT_NE(std::find(traces.begin(), traces.end(), "fl1_median_rf"), traces.end());
}

TEST_F(RefinementRun, TraceFiltersOfTheSettingsApplyToTheSearchedTrace) {
    // A one-sample spike beside the peak: without filters it is the
    // maximum; the Hampel filter removes it.
    std::vector<float> row = triangle(400, 150, 100.0f, 10.0f);
    row[160] = 1000.0f;
    FlMeasurement m;
    m.columns["fl1_max"] = {1000};
    m.columns["fl1_pos"] = {150.0};
    m.traces[1] = {row};
    RTDCReader& reader = open(m);
    const RTDCMetadata meta = metadata({{"sample rate", "1000000"}});
    ASSERT_TRUE(m_refinement.run(&reader, meta, unfiltered()));
    EXPECT_EQ(reader.readScalarFeature("fl1_pos_rf"), std::vector<double>{160.0});
    FLRefineSettings hampel = unfiltered();
    hampel.hampel1Enabled = true;
    ASSERT_TRUE(m_refinement.run(&reader, meta, hampel));
    EXPECT_EQ(reader.readScalarFeature("fl1_pos_rf"), std::vector<double>{150.0});
    EXPECT_EQ(reader.traceFilterSettings().hampel1Enabled, true);
}

TEST_F(RefinementRun, EveryEventIsSearchedInItsRegisteredFilteredTrace) {
    // Many events (several blocks, several threads) with noisy traces and
    // spikes, default filters: each result equals a search, event by event,
    // in the reader's own "fl1_median_rf" trace.
    constexpr std::size_t kEvents = 5000;
    constexpr std::size_t kLength = 120;
    testing::SplitMix64 random(21);
    FlMeasurement m;
    for (std::size_t e = 0; e < kEvents; ++e) {
        const auto centre = static_cast<std::size_t>(30 + 60 * random.uniform());
        std::vector<float> row = triangle(kLength, centre, 200.0f, 12.0f);
        for (float& v : row)
            v += static_cast<float>(std::floor(15.0 * random.uniform()));
        row[static_cast<std::size_t>(kLength * random.uniform())] = 900.0f;
        m.traces[1].push_back(row);
        m.columns["fl1_max"].push_back(1000.0);
        m.columns["fl1_pos"].push_back(2.0 * static_cast<double>(centre) + 4.0);
    }
    RTDCReader& reader = open(m);
    const FLRefineSettings settings; // the dock's defaults: Hampel twice, smoothing
    ASSERT_TRUE(m_refinement.run(&reader, metadata({{"sample rate", "500000"}}), settings));
    const std::vector<double>& maxima = reader.readScalarFeature("fl1_max_rf");
    const std::vector<double>& positions = reader.readScalarFeature("fl1_pos_rf");
    const std::vector<double>& widths = reader.readScalarFeature("fl1_width_rf");
    ASSERT_EQ(maxima.size(), kEvents);
    for (std::size_t e = 0; e < kEvents; ++e) {
        const double centre = m.columns["fl1_pos"][e] / 2.0;
        const SampleWindow window =
            windowSamples(std::max(centre - 6.0, 0.0), centre + 6.0, kLength);
        const RefinedPeak peak = refinePeak(reader.readTrace("fl1_median_rf", e), window, 0.0, 2.0);
        ASSERT_EQ(maxima[e], peak.maximum) << e;
        ASSERT_EQ(positions[e], peak.position) << e;
        ASSERT_EQ(widths[e], peak.width) << e;
    }
}

TEST_F(RefinementRun, ChannelsFromMaximaInAscendingOrderWithTheirOwnOffsets) {
    FlMeasurement m;
    for (int channel : {3, 1, 12}) {
        const std::string fl = "fl" + std::to_string(channel);
        m.columns[fl + "_max"] = {1000};
        m.columns[fl + "_pos"] = {100.0};
        m.traces[channel] = {triangle(200, 100, 10.0f * channel, 1.0f)};
    }
    m.columns["fl2_max_ctc"] = {5};
    RTDCReader& reader = open(m);
    ASSERT_TRUE(m_refinement.run(&reader,
                                 metadata({{"sample rate", "1000000"},
                                           {"baseline 1 offset", "1"},
                                           {"baseline 12 offset", "1000"}}),
                                 unfiltered()));
    EXPECT_EQ(reader.readScalarFeature("fl1_max_rf"), std::vector<double>{11.0});
    EXPECT_EQ(reader.readScalarFeature("fl3_max_rf"), std::vector<double>{30.0});
    EXPECT_EQ(reader.readScalarFeature("fl12_max_rf"), std::vector<double>{1120.0});
    EXPECT_FALSE(reader.hasFeature("fl2_max_rf"));
}

TEST_F(RefinementRun, VelocityModelPlacesTheWindowFromTheImagePosition) {
    // Image 100 px of 0.5 µm: centre 25 µm. Trace 200 samples of 1 µs:
    // the cell crosses the laser 100 µs plus its offset / velocity. Cells
    // move at 0.5 µm/µs, so the true peak sits at 100 + 2 δ for pos_x =
    // 25 + δ, and a decoy twice as high 30 samples later. Event 8's own
    // fl1_pos points at its decoy; the velocity (from the farthest half of
    // the events) still places its window on the true peak.
    const std::vector<double> offsets{-20, -15, -10, -5, 5, 10, 15, 20, 12};
    FlMeasurement m;
    for (double delta : offsets) {
        const auto peak = static_cast<std::size_t>(100 + 2 * delta);
        std::vector<float> row = triangle(200, peak, 500.0f, 50.0f);
        const std::vector<float> decoy = triangle(200, peak + 30, 2000.0f, 200.0f);
        for (std::size_t j = 0; j < row.size(); ++j)
            row[j] = std::max(row[j], decoy[j]);
        m.traces[1].push_back(row);
        m.columns["pos_x"].push_back(25.0 + delta);
        m.columns["size_x"].push_back(4.0);
        m.columns["fl1_max"].push_back(1000.0);
        m.columns["fl1_pos"].push_back(100.0 + 2 * delta);
    }
    m.columns["fl1_pos"][8] = 100.0 + 2 * 12 + 30;
    m.imageWidth = 100;
    RTDCReader& reader = open(m);
    const std::vector<double>& posX = reader.readScalarFeature("pos_x");
    const auto [velocity, spread] =
        m_refinement.estimateVelocity(&reader, 25.0, 100.0, {1}, &posX, 9, 400.0);
    EXPECT_DOUBLE_EQ(velocity, 0.5);
    EXPECT_EQ(spread, 0.0);

    ASSERT_TRUE(m_refinement.run(
        &reader, metadata({{"sample rate", "1000000"}}, {{"pixel size", "0.5"}}), unfiltered()));
    const std::vector<double>& maxima = reader.readScalarFeature("fl1_max_rf");
    const std::vector<double>& positions = reader.readScalarFeature("fl1_pos_rf");
    for (std::size_t e = 0; e < offsets.size(); ++e) {
        EXPECT_EQ(maxima[e], 500.0) << e;
        EXPECT_EQ(positions[e], 100.0 + 2 * offsets[e]) << e;
    }
    // Window ±(4 / 0.5 / 1 · 0.5) = ±4 samples, all above half: edges lo + 1
    // and hi.
    EXPECT_EQ(reader.readScalarFeature("fl1_width_rf")[0], 7.0);

    // Without the pixel size there is no image centre and no velocity:
    // event 8's window follows its fl1_pos onto the decoy.
    ASSERT_TRUE(m_refinement.run(&reader, metadata({{"sample rate", "1000000"}}), unfiltered()));
    EXPECT_EQ(reader.readScalarFeature("fl1_max_rf")[8], 2000.0);
}

TEST_F(RefinementRun, ThresholdAndTimingExcludeEventsFromTheVelocity) {
    FlMeasurement m;
    m.columns["pos_x"] = {45.0, 35.0, 30.0};
    m.columns["fl1_max"] = {400.0, kNaN, 1000.0}; // at the threshold: out; NaN: in
    m.columns["fl1_pos"] = {120.0, 120.0, 100.0}; // at halfTime: out
    m.traces[1] = {std::vector<float>(200, 0.0f), std::vector<float>(200, 0.0f),
                   std::vector<float>(200, 0.0f)};
    RTDCReader& reader = open(m);
    const std::vector<double>& posX = reader.readScalarFeature("pos_x");
    // Only event 1 votes: (35 - 25) / (120 - 100) = 0.5.
    EXPECT_EQ(m_refinement.estimateVelocity(&reader, 25.0, 100.0, {1}, &posX, 3, 400.0),
              std::make_pair(0.5, 0.0));
    EXPECT_EQ(m_refinement.estimateVelocity(&reader, 0.0, 100.0, {1}, &posX, 3, 400.0),
              std::make_pair(0.0, 0.0));
    EXPECT_EQ(m_refinement.estimateVelocity(&reader, 25.0, 100.0, {1}, nullptr, 3, 400.0),
              std::make_pair(0.0, 0.0));
    EXPECT_EQ(m_refinement.estimateVelocity(&reader, 25.0, 100.0, {}, &posX, 3, 400.0),
              std::make_pair(0.0, 0.0));
}

TEST_F(RefinementRun, VelocitySpreadWidensTheWindowUpToOneAndAHalf) {
    // A flat trace: the peak is the window's first sample and the width
    // spans the window. Base half width 4 / 0.5 / 1 · 0.5 = 4 samples
    // around sample 100; the factor is 1 + spread / velocity, at most 1.5.
    FlMeasurement m;
    m.columns["fl1_max"] = {1000};
    m.columns["fl1_pos"] = {0.0};
    m.traces[1] = {std::vector<float>(200, 100.0f)};
    RTDCReader& reader = open(m);
    reader.addCalculatedTrace("fl1_median_rf", "fl1_raw");
    reader.setTraceFilterSettings(false, 5, 3.0f, false, 11, 3.0f, false, 3, false, 3, false, 3);
    const std::vector<double> posX{25.0};
    const std::vector<double> sizeX{4.0};
    const std::pair<double, double> cases[] = {{0.0, 8.0}, {0.1, 9.0}, {0.25, 12.0}, {1.0, 12.0}};
    for (const auto& [spread, width] : cases) {
        ASSERT_TRUE(m_refinement.extractChannelFeatures(&reader, 1, 1.0, 0.0, 0.5, spread, 25.0,
                                                        100, 200, 10.0, &posX, &sizeX, 1, 0, 1));
        EXPECT_EQ(reader.readScalarFeature("fl1_width_rf")[0], width) << spread;
    }
}

TEST_F(RefinementRun, WithoutSampleRateTimesCountAMillionPerSample) {
    FlMeasurement m;
    m.columns["fl1_max"] = {1000};
    m.columns["fl1_pos"] = {40e6};
    m.traces[1] = {triangle(100, 40, 100.0f, 10.0f)};
    RTDCReader& reader = open(m);
    ASSERT_TRUE(m_refinement.run(&reader, metadata({}), unfiltered()));
    EXPECT_EQ(reader.readScalarFeature("fl1_pos_rf"), std::vector<double>{40e6});
    // Window ±5 samples, all above half: edges 36 and 45.
    EXPECT_EQ(reader.readScalarFeature("fl1_width_rf"), std::vector<double>{9e6});
}

TEST_F(RefinementRun, EventsWithoutATraceKeepTheirMeasuredPosition) {
    // Channel 2 has no raw trace; channel 1's window ends beyond the trace.
    FlMeasurement m;
    m.columns["fl1_max"] = {1000, 1000};
    m.columns["fl1_pos"] = {10.0, 5000.0};
    m.columns["fl2_max"] = {1000, 1000};
    m.columns["fl2_pos"] = {33.0, 44.0};
    m.traces[1] = {triangle(100, 10, 50.0f, 5.0f), triangle(100, 10, 50.0f, 5.0f)};
    RTDCReader& reader = open(m);
    ASSERT_TRUE(m_refinement.run(&reader, metadata({{"sample rate", "1000000"}}), unfiltered()));
    EXPECT_EQ(reader.readScalarFeature("fl1_max_rf")[0], 50.0);
    // Event 1's window is clamped into the trace: [99, 99].
    EXPECT_EQ(reader.readScalarFeature("fl1_pos_rf")[1], 99.0);
    EXPECT_EQ(reader.readScalarFeature("fl2_max_rf"), (std::vector<double>{0.0, 0.0}));
    EXPECT_EQ(reader.readScalarFeature("fl2_pos_rf"), (std::vector<double>{33.0, 44.0}));
    EXPECT_EQ(reader.readScalarFeature("fl2_width_rf"), (std::vector<double>{0.0, 0.0}));
}

TEST_F(RefinementRun, ColumnsShorterThanTheEventCountCountAsMissing) {
    // Three events ("area_um" sets the count), but fl1_pos and pos_x hold
    // fewer values: no read past their end, no velocity; without a
    // position the window spans the whole trace.
    FlMeasurement m;
    m.columns["area_um"] = {1, 2, 3};
    m.columns["fl1_max"] = {1000, 1000, 1000};
    m.columns["fl1_pos"] = {10.0};
    m.columns["pos_x"] = {1.0};
    m.columns["size_x"] = {1.0, 1.0, 1.0};
    m.traces[1] = {triangle(100, 70, 50.0f, 5.0f), triangle(100, 20, 40.0f, 5.0f),
                   triangle(100, 90, 30.0f, 5.0f)};
    m.imageWidth = 10;
    RTDCReader& reader = open(m);
    ASSERT_TRUE(m_refinement.run(
        &reader, metadata({{"sample rate", "1000000"}}, {{"pixel size", "1"}}), unfiltered()));
    EXPECT_EQ(reader.readScalarFeature("fl1_max_rf"), (std::vector<double>{50.0, 40.0, 30.0}));
    EXPECT_EQ(reader.readScalarFeature("fl1_pos_rf"), (std::vector<double>{70.0, 20.0, 90.0}));
}

TEST_F(RefinementRun, TraceOfNoSamplesIsNoTrace) {
    FlMeasurement m;
    m.columns["fl1_max"] = {1000, 1000};
    m.columns["fl1_pos"] = {3.0, 4.0};
    m.traces[1] = {std::vector<float>{}, std::vector<float>{}};
    RTDCReader& reader = open(m);
    ASSERT_EQ(reader.getTraceLength(), 0u);
    ASSERT_TRUE(m_refinement.run(&reader, metadata({}), unfiltered()));
    EXPECT_EQ(reader.readScalarFeature("fl1_max_rf"), (std::vector<double>{0.0, 0.0}));
    EXPECT_EQ(reader.readScalarFeature("fl1_pos_rf"), (std::vector<double>{3.0, 4.0}));
}

TEST_F(RefinementRun, NoChannelChangesNothingNoEventsAddsEmptyColumns) {
    FlMeasurement none;
    none.columns["area_um"] = {1, 2};
    RTDCReader& plain = open(none);
    EXPECT_FALSE(m_refinement.run(&plain, metadata({}), unfiltered()));
    EXPECT_EQ(plain.getAvailableFeatures(), std::vector<std::string>{"area_um"});

    FlMeasurement empty;
    empty.columns["fl1_max"] = {};
    empty.columns["fl1_pos"] = {};
    RTDCReader& reader = open(empty);
    EXPECT_TRUE(m_refinement.run(&reader, metadata({}), unfiltered()));
    EXPECT_TRUE(reader.isCalculatedFeature("fl1_width_rf"));
    EXPECT_TRUE(reader.readScalarFeature("fl1_max_rf").empty());
}

FlMeasurement twoChannels(std::size_t events) {
    FlMeasurement m;
    for (int channel : {1, 2}) {
        const std::string fl = "fl" + std::to_string(channel);
        m.columns[fl + "_max"] = std::vector<double>(events, 1000.0);
        m.columns[fl + "_pos"] = std::vector<double>(events, 20.0);
        m.traces[channel] = std::vector<std::vector<float>>(events, triangle(40, 20, 9.0f, 1.0f));
    }
    return m;
}

TEST_F(RefinementRun, TwoChannelsShareTheProgress) {
    RTDCReader& reader = open(twoChannels(1000));
    std::vector<int> progress;
    QObject::connect(&m_refinement, &FLRefinement::progressChanged,
                     [&progress](int percent) { progress.push_back(percent); });
    ASSERT_TRUE(m_refinement.run(&reader, metadata({}), unfiltered()));
    EXPECT_EQ(progress, (std::vector<int>{0, 12, 25, 38, 50, 62, 75, 88, 100}));
}

TEST_F(RefinementRun, CancelFromAnotherThreadStopsBeforeTheNextEvent) {
    RTDCReader& reader = open(twoChannels(600));
    std::promise<void> reached;
    std::promise<void> cancelled;
    std::shared_future<void> cancelledFuture = cancelled.get_future().share();
    bool signalled = false;
    // The worker pauses in its first progress report of the second channel
    // until the test thread has cancelled.
    QObject::connect(&m_refinement, &FLRefinement::progressChanged,
                     [&reached, cancelledFuture, &signalled](int percent) {
                         if (percent >= 50 && !signalled) {
                             signalled = true;
                             reached.set_value();
                             cancelledFuture.wait();
                         }
                     });
    bool result = true;
    std::thread worker([&] { result = m_refinement.run(&reader, metadata({}), unfiltered()); });
    reached.get_future().wait();
    m_refinement.cancel();
    cancelled.set_value();
    worker.join();
    EXPECT_FALSE(result);
    EXPECT_TRUE(reader.hasFeature("fl1_max_rf")); // finished before the cancel
    EXPECT_FALSE(reader.hasFeature("fl2_max_rf"));
    // A new run starts uncancelled.
    QObject::disconnect(&m_refinement, nullptr, nullptr, nullptr);
    EXPECT_TRUE(m_refinement.run(&reader, metadata({}), unfiltered()));
    EXPECT_TRUE(reader.hasFeature("fl2_max_rf"));
}

} // namespace
} // namespace Quorvex3
