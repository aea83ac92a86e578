#include "core/RTDCReader.h"
#include "core/TraceFilter.h"
#include "support/RtdcFixtureWriter.h"

#include <gtest/gtest.h>

#include <H5Cpp.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using Quorvex3::RTDCReader;
using Quorvex3::TraceFilterSettings;
using Quorvex3::testing::RtdcFixtureWriter;
using Quorvex3::testing::Storage;
using Quorvex3::testing::TempDir;

namespace {

constexpr size_t kEvents = 3;
constexpr size_t kSamples = 12;

// Row e of the raw trace: a pulse with a spike, different per event.
std::vector<int16_t> rawRow(size_t e) {
    std::vector<int16_t> row(kSamples);
    for (size_t i = 0; i < kSamples; ++i)
        row[i] = static_cast<int16_t>(10 * e + (i > 3 && i < 8 ? 40 : 2) + (i % 3));
    row[2] = static_cast<int16_t>(500 + e); // spike for the Hampel stages
    return row;
}

std::vector<int16_t> rawRows() {
    std::vector<int16_t> all;
    for (size_t e = 0; e < kEvents; ++e) {
        const std::vector<int16_t> row = rawRow(e);
        all.insert(all.end(), row.begin(), row.end());
    }
    return all;
}

std::vector<float> asFloats(const std::vector<int16_t>& row) {
    return std::vector<float>(row.begin(), row.end());
}

std::vector<float> filtered(const TraceFilterSettings& settings, std::vector<float> row) {
    Quorvex3::applyTraceFilter(settings, row);
    return row;
}

class TraceFile : public ::testing::Test {
protected:
    void write(const std::function<void(RtdcFixtureWriter&)>& fill) {
        RtdcFixtureWriter writer(m_path);
        writer.addColumn<float>("area_um", std::vector<float>(kEvents, 1.0f));
        fill(writer);
    }

    // The usual layout: two channels of raw and median traces.
    void writeStandard() {
        write([](RtdcFixtureWriter& w) {
            w.addTrace("fl1_raw", kEvents, kSamples, rawRows());
            w.addTrace("fl1_median", kEvents, kSamples,
                       std::vector<float>(kEvents * kSamples, 1.5f));
            w.addTrace("fl2_raw", kEvents, kSamples, std::vector<int16_t>(kEvents * kSamples, 7));
        });
    }

    TempDir m_dir;
    std::string m_path = m_dir.file("traces.rtdc");
    RTDCReader m_reader;
};

} // namespace

// ---- Listing at open -------------------------------------------------------------

TEST_F(TraceFile, ListsMedianAndRawDatasetsSorted) {
    write([](RtdcFixtureWriter& w) {
        // "aaa" comes first in the group's name order, so a length taken
        // from it instead of the first accepted trace would be 9.
        w.addTrace("aaa", 2, 9, std::vector<float>(18, 0.0f));
        w.addTrace("fl2_median", 2, 4, std::vector<float>(8, 0.0f));
        w.addTrace("fl1_raw", 2, 4, std::vector<int16_t>(8, 0));
        w.addTrace("fl1_median", 2, 4, std::vector<float>(8, 0.0f));
        w.addTrace("fl1_RAW", 2, 4, std::vector<float>(8, 0.0f)); // case-sensitive
    });
    ASSERT_TRUE(m_reader.openFile(m_path));
    EXPECT_TRUE(m_reader.hasTraces());
    EXPECT_EQ(m_reader.getAvailableTraceNames(),
              (std::vector<std::string>{"fl1_median", "fl1_raw", "fl2_median"}));
    EXPECT_EQ(m_reader.getTraceLength(), 4u);
    // The trace group is no feature.
    for (const std::string& name : m_reader.getAvailableFeatures())
        EXPECT_NE(name, "trace");
}

TEST_F(TraceFile, OnlyTwoDimensionalDatasetsAreTraces) {
    write([](RtdcFixtureWriter& w) {
        w.addDataset<float>("/events/trace/fl1_raw", {6}, std::vector<float>(6, 1.0f));
        w.addDataset<float>("/events/trace/fl2_raw", {2, 2, 3}, std::vector<float>(12, 1.0f));
        w.addGroup("/events/trace/fl3_raw");
        w.addTrace("fl4_raw", 2, 5, std::vector<float>(10, 2.0f));
    });
    ASSERT_TRUE(m_reader.openFile(m_path));
    EXPECT_EQ(m_reader.getAvailableTraceNames(), (std::vector<std::string>{"fl4_raw"}));
    EXPECT_EQ(m_reader.getTraceLength(), 5u);
    EXPECT_TRUE(m_reader.readTrace("fl1_raw", 0).empty());
    EXPECT_TRUE(m_reader.readTrace("fl2_raw", 0).empty());
    EXPECT_TRUE(m_reader.readTrace("fl3_raw", 0).empty());
    EXPECT_EQ(m_reader.readTrace("fl4_raw", 1), std::vector<float>(5, 2.0f));
}

TEST_F(TraceFile, FileWithoutTraceGroupHasNoTraces) {
    write([](RtdcFixtureWriter&) {});
    ASSERT_TRUE(m_reader.openFile(m_path));
    EXPECT_FALSE(m_reader.hasTraces());
    EXPECT_TRUE(m_reader.getAvailableTraceNames().empty());
    EXPECT_EQ(m_reader.getTraceLength(), 0u);
    EXPECT_TRUE(m_reader.readTrace("fl1_raw", 0).empty());
}

TEST_F(TraceFile, TraceGroupWithoutMatchingNamesHasNoTraces) {
    write([](RtdcFixtureWriter& w) { w.addTrace("fl1", 2, 4, std::vector<float>(8, 0.0f)); });
    ASSERT_TRUE(m_reader.openFile(m_path));
    EXPECT_FALSE(m_reader.hasTraces());
    EXPECT_EQ(m_reader.getTraceLength(), 0u);
    // Unlisted datasets are not read either.
    EXPECT_TRUE(m_reader.readTrace("fl1", 0).empty());
}

TEST_F(TraceFile, FileWithoutEventsGroupOpens) {
    {
        RtdcFixtureWriter writer(m_path);
        writer.setStringAttribute("experiment:sample", "x");
    }
    ASSERT_TRUE(m_reader.openFile(m_path));
    EXPECT_FALSE(m_reader.hasTraces());
    EXPECT_TRUE(m_reader.readTrace("fl1_raw", 0).empty());
}

TEST_F(TraceFile, ClosingClearsTraceNames) {
    writeStandard();
    ASSERT_TRUE(m_reader.openFile(m_path));
    m_reader.closeFile();
    EXPECT_FALSE(m_reader.hasTraces());
    EXPECT_TRUE(m_reader.getAvailableTraceNames().empty());
    EXPECT_EQ(m_reader.getTraceLength(), 0u);
    EXPECT_TRUE(m_reader.readTrace("fl1_raw", 0).empty());
}

// ---- Reading file traces ---------------------------------------------------------

TEST_F(TraceFile, SignedSixteenBitRowsReadExactly) {
    write([](RtdcFixtureWriter& w) {
        w.addTrace("fl1_raw", 2, 3, std::vector<int16_t>{-2, 0, 7, -32768, 32767, 1});
    });
    ASSERT_TRUE(m_reader.openFile(m_path));
    EXPECT_EQ(m_reader.readTrace("fl1_raw", 0), (std::vector<float>{-2, 0, 7}));
    EXPECT_EQ(m_reader.readTrace("fl1_raw", 1), (std::vector<float>{-32768, 32767, 1}));
}

TEST_F(TraceFile, UnsignedSixteenBitRowsAreNotClamped) {
    write([](RtdcFixtureWriter& w) {
        w.addTrace("fl1_raw", 1, 4, std::vector<uint16_t>{0, 32767, 40000, 65535});
    });
    ASSERT_TRUE(m_reader.openFile(m_path));
    EXPECT_EQ(m_reader.readTrace("fl1_raw", 0), (std::vector<float>{0, 32767, 40000, 65535}));
}

TEST_F(TraceFile, OtherTypesReadAsFloat) {
    write([](RtdcFixtureWriter& w) {
        w.addTrace("fl1_median", 2, 2, std::vector<float>{0.25f, -1.5f, 3.0f, 4.0f});
        w.addDataset<double>("/events/trace/fl2_median", {1, 3}, {0.5, 1e6, -2.0});
        w.addDataset<int32_t>("/events/trace/fl3_raw", {1, 2}, {-70000, 70000});
        w.addDataset<uint8_t>("/events/trace/fl4_raw", {1, 2}, {0, 255});
    });
    ASSERT_TRUE(m_reader.openFile(m_path));
    EXPECT_EQ(m_reader.readTrace("fl1_median", 1), (std::vector<float>{3.0f, 4.0f}));
    EXPECT_EQ(m_reader.readTrace("fl2_median", 0), (std::vector<float>{0.5f, 1e6f, -2.0f}));
    EXPECT_EQ(m_reader.readTrace("fl3_raw", 0), (std::vector<float>{-70000.0f, 70000.0f}));
    EXPECT_EQ(m_reader.readTrace("fl4_raw", 0), (std::vector<float>{0.0f, 255.0f}));
}

TEST_F(TraceFile, IndexOutOfRangeAndUnknownNameGiveEmptyRows) {
    writeStandard();
    ASSERT_TRUE(m_reader.openFile(m_path));
    EXPECT_TRUE(m_reader.readTrace("fl1_raw", kEvents).empty());
    EXPECT_TRUE(m_reader.readTrace("fl1_raw", static_cast<size_t>(-1)).empty());
    EXPECT_TRUE(m_reader.readTrace("fl9_raw", 0).empty());
    EXPECT_TRUE(m_reader.readTrace("", 0).empty());
    EXPECT_TRUE(m_reader.readTrace("../fl1_raw", 0).empty());
    // The last valid row still reads after the misses.
    EXPECT_EQ(m_reader.readTrace("fl1_raw", kEvents - 1), asFloats(rawRow(kEvents - 1)));
}

TEST_F(TraceFile, EmptyRowsOfZeroSamples) {
    write([](RtdcFixtureWriter& w) { w.addTrace("fl1_raw", 2, 0, std::vector<float>{}); });
    ASSERT_TRUE(m_reader.openFile(m_path));
    EXPECT_EQ(m_reader.getAvailableTraceNames(), (std::vector<std::string>{"fl1_raw"}));
    EXPECT_EQ(m_reader.getTraceLength(), 0u);
    EXPECT_TRUE(m_reader.readTrace("fl1_raw", 0).empty());
}

TEST_F(TraceFile, CompressedChunksReadRowByRowAcrossTraces) {
    // Many events in compressed chunks; alternating between two traces makes
    // the reader switch the dataset it keeps open.
    constexpr size_t events = 250;
    constexpr size_t samples = 40;
    std::vector<uint16_t> a(events * samples);
    std::vector<float> b(events * samples);
    for (size_t e = 0; e < events; ++e) {
        for (size_t i = 0; i < samples; ++i) {
            a[e * samples + i] = static_cast<uint16_t>(e * 100 + i);
            b[e * samples + i] = static_cast<float>(e) + 0.5f * static_cast<float>(i);
        }
    }
    write([&](RtdcFixtureWriter& w) {
        w.addTrace("fl1_raw", events, samples, a, Storage::chunked({64, samples}, 4, true));
        w.addTrace("fl1_median", events, samples, b, Storage::chunked({100, samples}, 6));
    });
    ASSERT_TRUE(m_reader.openFile(m_path));
    for (size_t e = 0; e < events; e += 7) {
        const std::vector<float> rowA = m_reader.readTrace("fl1_raw", e);
        const std::vector<float> rowB = m_reader.readTrace("fl1_median", e);
        ASSERT_EQ(rowA.size(), samples);
        ASSERT_EQ(rowB.size(), samples);
        for (size_t i = 0; i < samples; ++i) {
            ASSERT_EQ(rowA[i], static_cast<float>(a[e * samples + i])) << e << "," << i;
            ASSERT_EQ(rowB[i], b[e * samples + i]) << e << "," << i;
        }
    }
    // Reopening the same file replaces the dataset kept open.
    ASSERT_TRUE(m_reader.openFile(m_path));
    EXPECT_EQ(m_reader.readTrace("fl1_raw", events - 1)[3],
              static_cast<float>((events - 1) * 100 + 3));
}

TEST_F(TraceFile, UnconvertibleTraceTypeGivesEmptyRowAndMessage) {
    write([](RtdcFixtureWriter& w) {
        H5::CompType pair(2 * sizeof(float));
        pair.insertMember("a", 0, H5::PredType::NATIVE_FLOAT);
        pair.insertMember("b", sizeof(float), H5::PredType::NATIVE_FLOAT);
        const float values[4][2] = {{1, 2}, {3, 4}, {5, 6}, {7, 8}};
        w.addTypedDataset("/events/trace/fl1_raw", pair, {2, 2}, pair, values);
        w.addTrace("fl2_raw", 2, 2, std::vector<int16_t>{1, 2, 3, 4});
    });
    ASSERT_TRUE(m_reader.openFile(m_path));
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(m_reader.readTrace("fl1_raw", 1).empty());
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(message.rfind("Error reading trace 'fl1_raw' at index 1: ", 0), 0u) << message;
    // The failure leaves the reader usable for other traces.
    EXPECT_EQ(m_reader.readTrace("fl2_raw", 1), (std::vector<float>{3, 4}));
}

TEST_F(TraceFile, CorruptCompressedChunkGivesEmptyRowAndMessage) {
    write([](RtdcFixtureWriter& w) {
        w.addTrace("fl1_raw", 4, 64, std::vector<int16_t>(256, 5), Storage::chunked({2, 64}, 6));
    });
    // Overwrite the compressed bytes of the chunk holding rows 2 and 3.
    haddr_t address = 0;
    hsize_t size = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(RTDCReader::s_hdf5Mutex);
        H5::H5File file(m_path, H5F_ACC_RDONLY);
        H5::DataSet dataset = file.openDataSet("/events/trace/fl1_raw");
        const hsize_t offset[2] = {2, 0};
        unsigned filterMask = 0;
        ASSERT_GE(H5Dget_chunk_info_by_coord(dataset.getId(), offset, &filterMask, &address, &size),
                  0);
    }
    ASSERT_GT(size, 4u);
    {
        std::FILE* f = std::fopen(m_path.c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        std::fseek(f, static_cast<long>(address), SEEK_SET);
        const std::vector<unsigned char> junk(static_cast<size_t>(size), 0xA5);
        std::fwrite(junk.data(), 1, junk.size(), f);
        std::fclose(f);
    }
    ASSERT_TRUE(m_reader.openFile(m_path));
    EXPECT_EQ(m_reader.readTrace("fl1_raw", 0), std::vector<float>(64, 5.0f));
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(m_reader.readTrace("fl1_raw", 3).empty());
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(message.rfind("Error reading trace 'fl1_raw' at index 3: ", 0), 0u) << message;
    EXPECT_EQ(m_reader.readTrace("fl1_raw", 1), std::vector<float>(64, 5.0f));
}

TEST_F(TraceFile, TruncatedFileOpensNothingAndReadsNothing) {
    writeStandard();
    Quorvex3::testing::truncateFile(m_path, Quorvex3::testing::fileSize(m_path) / 2);
    ::testing::internal::CaptureStderr();
    const bool opened = m_reader.openFile(m_path);
    const std::vector<float> row = m_reader.readTrace("fl1_raw", 0);
    ::testing::internal::GetCapturedStderr();
    // Either the open fails, or whatever is listed reads without a crash.
    if (!opened) {
        EXPECT_TRUE(row.empty());
    }
    EXPECT_LE(row.size(), kSamples);
}

// ---- Derived traces --------------------------------------------------------------

TEST_F(TraceFile, DerivedTraceIsTheFilteredSourceRow) {
    writeStandard();
    ASSERT_TRUE(m_reader.openFile(m_path));
    m_reader.addCalculatedTrace("fl1_median_rf", "fl1_raw");
    EXPECT_EQ(m_reader.getAvailableTraceNames(),
              (std::vector<std::string>{"fl1_median", "fl1_median_rf", "fl1_raw", "fl2_raw"}));
    EXPECT_EQ(m_reader.getTraceLength(), kSamples);
    for (size_t e = 0; e < kEvents; ++e) {
        const std::vector<float> expected = filtered(TraceFilterSettings{}, asFloats(rawRow(e)));
        EXPECT_EQ(m_reader.readTrace("fl1_median_rf", e), expected) << e;
    }
    // The spike is gone and the raw trace itself is untouched.
    EXPECT_LT(m_reader.readTrace("fl1_median_rf", 0)[2], 100.0f);
    EXPECT_EQ(m_reader.readTrace("fl1_raw", 0), asFloats(rawRow(0)));
}

TEST_F(TraceFile, RegisteringTwiceReplacesSourceWithoutDuplicatingName) {
    writeStandard();
    ASSERT_TRUE(m_reader.openFile(m_path));
    m_reader.addCalculatedTrace("fl_x_rf", "fl2_raw");
    m_reader.addCalculatedTrace("fl_x_rf", "fl1_raw");
    EXPECT_EQ(m_reader.getAvailableTraceNames().size(), 4u);
    EXPECT_EQ(m_reader.readTrace("fl_x_rf", 1),
              filtered(TraceFilterSettings{}, asFloats(rawRow(1))));
}

TEST_F(TraceFile, DerivedTraceDoesNotChangeHasTracesOrLength) {
    write([](RtdcFixtureWriter&) {});
    ASSERT_TRUE(m_reader.openFile(m_path));
    m_reader.addCalculatedTrace("fl1_median_rf", "fl1_raw");
    EXPECT_FALSE(m_reader.hasTraces());
    EXPECT_EQ(m_reader.getTraceLength(), 0u);
    EXPECT_EQ(m_reader.getAvailableTraceNames(), (std::vector<std::string>{"fl1_median_rf"}));
    // Its source does not exist: an empty row, which is cached like any other.
    EXPECT_TRUE(m_reader.readTrace("fl1_median_rf", 0).empty());
}

TEST_F(TraceFile, SecondReadOfSameRowComesFromTheCache) {
    writeStandard();
    ASSERT_TRUE(m_reader.openFile(m_path));
    m_reader.addCalculatedTrace("fl1_median_rf", "fl1_raw");
    const std::vector<float> first = m_reader.readTrace("fl1_median_rf", 1);
    ASSERT_EQ(first.size(), kSamples);

    // Closing keeps the derived map and the one-row cache. With the file gone
    // the source cannot be read, so only the cache can answer.
    m_reader.closeFile();
    EXPECT_EQ(m_reader.readTrace("fl1_median_rf", 1), first);
    // Another row misses the cache and its source read fails: empty.
    EXPECT_TRUE(m_reader.readTrace("fl1_median_rf", 0).empty());
    // That empty result replaced the cached row.
    EXPECT_TRUE(m_reader.readTrace("fl1_median_rf", 1).empty());
}

TEST_F(TraceFile, ChangingSettingsComputesTheRowAgain) {
    writeStandard();
    ASSERT_TRUE(m_reader.openFile(m_path));
    m_reader.addCalculatedTrace("fl1_median_rf", "fl1_raw");
    const std::vector<float> before = m_reader.readTrace("fl1_median_rf", 2);
    EXPECT_EQ(before, filtered(TraceFilterSettings{}, asFloats(rawRow(2))));

    TraceFilterSettings s;
    s.hampel1Enabled = false;
    s.hampel2Enabled = false;
    s.movingAverageEnabled = true;
    s.movingAverageHalfWidth = 2;
    s.smoothingEnabled = false;
    m_reader.setTraceFilterSettings(
        s.hampel1Enabled, s.hampel1HalfWidth, s.hampel1Threshold, s.hampel2Enabled,
        s.hampel2HalfWidth, s.hampel2Threshold, s.runningMedianEnabled, s.runningMedianHalfWidth,
        s.movingAverageEnabled, s.movingAverageHalfWidth, s.smoothingEnabled, s.smoothingHalfWidth);
    const std::vector<float> after = m_reader.readTrace("fl1_median_rf", 2);
    EXPECT_EQ(after, filtered(s, asFloats(rawRow(2))));
    EXPECT_NE(after, before);

    // Even settings equal to the old ones invalidate the cached row: with the
    // file closed, the next read has to compute and finds no source.
    m_reader.closeFile();
    EXPECT_EQ(m_reader.readTrace("fl1_median_rf", 2), after);
    m_reader.setTraceFilterSettings(
        s.hampel1Enabled, s.hampel1HalfWidth, s.hampel1Threshold, s.hampel2Enabled,
        s.hampel2HalfWidth, s.hampel2Threshold, s.runningMedianEnabled, s.runningMedianHalfWidth,
        s.movingAverageEnabled, s.movingAverageHalfWidth, s.smoothingEnabled, s.smoothingHalfWidth);
    EXPECT_TRUE(m_reader.readTrace("fl1_median_rf", 2).empty());
}

TEST(TraceFilterSettingsStore, DefaultsAndTwelveValuesInOrder) {
    RTDCReader reader;
    const TraceFilterSettings d = reader.traceFilterSettings();
    EXPECT_TRUE(d.hampel1Enabled);
    EXPECT_EQ(d.hampel1HalfWidth, 5);
    EXPECT_EQ(d.hampel1Threshold, 3.0f);
    EXPECT_TRUE(d.hampel2Enabled);
    EXPECT_EQ(d.hampel2HalfWidth, 11);
    EXPECT_EQ(d.hampel2Threshold, 3.0f);
    EXPECT_FALSE(d.runningMedianEnabled);
    EXPECT_EQ(d.runningMedianHalfWidth, 3);
    EXPECT_FALSE(d.movingAverageEnabled);
    EXPECT_EQ(d.movingAverageHalfWidth, 3);
    EXPECT_TRUE(d.smoothingEnabled);
    EXPECT_EQ(d.smoothingHalfWidth, 3);

    reader.setTraceFilterSettings(false, 1, 2.5f, false, 2, 3.5f, true, 4, true, 5, false, 6);
    const TraceFilterSettings s = reader.traceFilterSettings();
    EXPECT_FALSE(s.hampel1Enabled);
    EXPECT_EQ(s.hampel1HalfWidth, 1);
    EXPECT_EQ(s.hampel1Threshold, 2.5f);
    EXPECT_FALSE(s.hampel2Enabled);
    EXPECT_EQ(s.hampel2HalfWidth, 2);
    EXPECT_EQ(s.hampel2Threshold, 3.5f);
    EXPECT_TRUE(s.runningMedianEnabled);
    EXPECT_EQ(s.runningMedianHalfWidth, 4);
    EXPECT_TRUE(s.movingAverageEnabled);
    EXPECT_EQ(s.movingAverageHalfWidth, 5);
    EXPECT_FALSE(s.smoothingEnabled);
    EXPECT_EQ(s.smoothingHalfWidth, 6);
}

TEST_F(TraceFile, DerivedOfDerivedFiltersTwice) {
    writeStandard();
    ASSERT_TRUE(m_reader.openFile(m_path));
    m_reader.addCalculatedTrace("b", "fl1_raw");
    m_reader.addCalculatedTrace("c", "b");
    const TraceFilterSettings d;
    const std::vector<float> once = filtered(d, asFloats(rawRow(0)));
    EXPECT_EQ(m_reader.readTrace("c", 0), filtered(d, once));
    // Reading the source after the chain recomputes the source's own row.
    EXPECT_EQ(m_reader.readTrace("b", 0), once);
}

TEST_F(TraceFile, RegistrationsThatWouldCycleAreIgnored) {
    writeStandard();
    ASSERT_TRUE(m_reader.openFile(m_path));
    m_reader.addCalculatedTrace("self", "self");
    EXPECT_EQ(m_reader.getAvailableTraceNames().size(), 3u);
    EXPECT_TRUE(m_reader.readTrace("self", 0).empty());

    m_reader.addCalculatedTrace("b", "fl1_raw");
    m_reader.addCalculatedTrace("c", "b");
    m_reader.addCalculatedTrace("d", "c");
    m_reader.addCalculatedTrace("b", "d"); // b -> d -> c -> b: ignored
    m_reader.addCalculatedTrace("c", "c"); // ignored, c keeps b
    const TraceFilterSettings s;
    const std::vector<float> once = filtered(s, asFloats(rawRow(1)));
    EXPECT_EQ(m_reader.readTrace("b", 1), once);
    EXPECT_EQ(m_reader.readTrace("c", 1), filtered(s, once));
    EXPECT_EQ(m_reader.readTrace("d", 1), filtered(s, filtered(s, once)));
}

TEST_F(TraceFile, RemovingDerivedFeaturesDropsDerivedTraces) {
    writeStandard();
    ASSERT_TRUE(m_reader.openFile(m_path));
    m_reader.addCalculatedTrace("fl1_median_rf", "fl1_raw");
    ASSERT_FALSE(m_reader.readTrace("fl1_median_rf", 0).empty());
    m_reader.removeCalculatedFeatures();
    EXPECT_EQ(m_reader.getAvailableTraceNames(),
              (std::vector<std::string>{"fl1_median", "fl1_raw", "fl2_raw"}));
    EXPECT_TRUE(m_reader.readTrace("fl1_median_rf", 0).empty());
}

TEST_F(TraceFile, ReopenedReaderStillServesDerivedTracesByName) {
    writeStandard();
    ASSERT_TRUE(m_reader.openFile(m_path));
    m_reader.addCalculatedTrace("fl1_median_rf", "fl1_raw");
    m_reader.closeFile();
    ASSERT_TRUE(m_reader.openFile(m_path));
    // Not listed after the reopen, but readable.
    EXPECT_EQ(m_reader.getAvailableTraceNames().size(), 3u);
    EXPECT_EQ(m_reader.readTrace("fl1_median_rf", 2),
              filtered(TraceFilterSettings{}, asFloats(rawRow(2))));
}

TEST_F(TraceFile, ConcurrentReadsOfRawAndDerivedRows) {
    writeStandard();
    ASSERT_TRUE(m_reader.openFile(m_path));
    m_reader.addCalculatedTrace("fl1_median_rf", "fl1_raw");
    std::vector<std::vector<float>> expectedDerived;
    for (size_t e = 0; e < kEvents; ++e)
        expectedDerived.push_back(filtered(TraceFilterSettings{}, asFloats(rawRow(e))));

    std::vector<int> failures(4, 0);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < failures.size(); ++t) {
        threads.emplace_back([&, t] {
            for (size_t k = 0; k < 200; ++k) {
                const size_t e = (k + t) % kEvents;
                if (m_reader.readTrace("fl1_median_rf", e) != expectedDerived[e])
                    ++failures[t];
                if (m_reader.readTrace("fl1_raw", e) != asFloats(rawRow(e)))
                    ++failures[t];
                if (m_reader.getAvailableTraceNames().size() != 4)
                    ++failures[t];
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int f : failures)
        EXPECT_EQ(f, 0);
}

// ---- Stale cached rows --------------------------------------------------------------

TEST_F(TraceFile, OpeningAnotherFileDoesNotServeThePreviousFilesCachedRow) {
    writeStandard();
    ASSERT_TRUE(m_reader.openFile(m_path));
    m_reader.addCalculatedTrace("fl1_median_rf", "fl1_raw");
    ASSERT_EQ(m_reader.readTrace("fl1_median_rf", 1).size(), kSamples);

    // Another file with the same trace name but other samples.
    const std::string other = m_dir.file("other.rtdc");
    std::vector<int16_t> flat(kEvents * kSamples, 3);
    {
        RtdcFixtureWriter writer(other);
        writer.addColumn<float>("area_um", std::vector<float>(kEvents, 1.0f));
        writer.addTrace("fl1_raw", kEvents, kSamples, flat);
    }
    ASSERT_TRUE(m_reader.openFile(other));
    EXPECT_EQ(m_reader.readTrace("fl1_median_rf", 1), std::vector<float>(kSamples, 3.0f));
}

TEST_F(TraceFile, ReplacingTheSourceDropsTheRowCachedFromTheOldSource) {
    writeStandard();
    ASSERT_TRUE(m_reader.openFile(m_path));
    m_reader.addCalculatedTrace("fl_x_rf", "fl1_raw");
    ASSERT_EQ(m_reader.readTrace("fl_x_rf", 1),
              filtered(TraceFilterSettings{}, asFloats(rawRow(1))));
    m_reader.addCalculatedTrace("fl_x_rf", "fl2_raw");
    EXPECT_EQ(m_reader.readTrace("fl_x_rf", 1), std::vector<float>(kSamples, 7.0f));
}
