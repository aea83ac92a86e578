// Compressed columns are inflated chunk by chunk on several threads; these
// tests hold that path to exactly what the stored values are, and check that
// storage it does not handle still reads correctly the usual way.

#include "ReaderTestUtil.h"

#include "core/ParallelChunkRead.h"
#include "support/ChildProcess.h"

#include <H5Cpp.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <system_error>

using namespace Quorvex3;
using namespace Quorvex3::testing;

namespace {

template <typename T> std::vector<T> randomValues(size_t n, unsigned seed) {
    std::mt19937_64 rng(seed);
    std::vector<T> values(n);
    for (T& v : values) {
        if constexpr (std::is_floating_point_v<T>)
            v = static_cast<T>(std::uniform_real_distribution<double>(-1e6, 1e6)(rng));
        else
            v = static_cast<T>(rng());
    }
    return values;
}

template <typename T> std::vector<double> widened(const std::vector<T>& values) {
    return std::vector<double>(values.begin(), values.end());
}

class ReaderChunksTest : public ::testing::Test {
protected:
    TempDir m_dir;
    RTDCReader m_reader;
};

// Sizes that leave a partial last chunk, one exactly full, and many chunks.
TEST_F(ReaderChunksTest, ShuffledAndPlainDeflatedColumnsOfEveryWidthReadExactly) {
    const std::string path = m_dir.file("chunks.rtdc");
    const size_t n = 10007;
    const auto f32 = randomValues<float>(n, 1);
    const auto f64 = randomValues<double>(n, 2);
    const auto i16 = randomValues<int16_t>(n, 3);
    const auto u16 = randomValues<uint16_t>(n, 4);
    const auto u64 = randomValues<uint64_t>(n, 5);
    const auto u8 = randomValues<uint8_t>(n, 6);
    const auto i32 = randomValues<int32_t>(n, 7);
    {
        RtdcFixtureWriter w(path);
        w.addColumn<float>("f32_shuffled", f32, Storage::chunked({1000}, 4, true));
        w.addColumn<float>("f32_plain", f32, Storage::chunked({333}, 1, false));
        w.addColumn<double>("f64_shuffled", f64, Storage::chunked({2048}, 6, true));
        w.addColumn<int16_t>("i16", i16, Storage::chunked({1001}, 4, true));
        w.addColumn<uint16_t>("u16", u16, Storage::chunked({5000}, 4, false));
        w.addColumn<uint64_t>("u64", u64, Storage::chunked({777}, 4, true));
        w.addColumn<uint8_t>("u8", u8, Storage::chunked({4096}, 9, true));
        w.addColumn<int32_t>("i32_exact", i32, Storage::chunked({10007 / 1}, 4, true));
    }
    ASSERT_TRUE(m_reader.openFile(path));
    EXPECT_EQ(m_reader.readScalarFeature("f32_shuffled"), widened(f32));
    EXPECT_EQ(m_reader.readScalarFeature("f32_plain"), widened(f32));
    EXPECT_EQ(m_reader.readScalarFeature("f64_shuffled"), f64);
    EXPECT_EQ(m_reader.readScalarFeature("i16"), widened(i16));
    EXPECT_EQ(m_reader.readScalarFeature("u16"), widened(u16));
    EXPECT_EQ(m_reader.readScalarFeature("u64"), widened(u64));
    EXPECT_EQ(m_reader.readScalarFeature("u8"), widened(u8));
    EXPECT_EQ(m_reader.readScalarFeature("i32_exact"), widened(i32));
}

// Storage outside the handled kind: shuffle without deflate, a big-endian
// stored type (needs conversion) and a single chunk go the library's way.
TEST_F(ReaderChunksTest, StorageOutsideTheParallelPathStillReadsCorrectly) {
    const std::string path = m_dir.file("other.rtdc");
    const size_t n = 5000;
    const auto values = randomValues<float>(n, 11);
    {
        RtdcFixtureWriter w(path);
        w.addColumn<float>("shuffle_only", values, Storage::chunked({700}, 0, true));
        w.addColumn<float>("one_chunk", values, Storage::chunked({8000}, 4, true));
        w.addTypedDataset("/events/big_endian", H5::PredType::IEEE_F32BE, {n},
                          H5::PredType::NATIVE_FLOAT, values.data(),
                          Storage::chunked({600}, 4, true));
    }
    ASSERT_TRUE(m_reader.openFile(path));
    EXPECT_EQ(m_reader.readScalarFeature("shuffle_only"), widened(values));
    EXPECT_EQ(m_reader.readScalarFeature("one_chunk"), widened(values));
    EXPECT_EQ(m_reader.readScalarFeature("big_endian"), widened(values));
}

// Chunks never written hold the fill value; the library supplies it.
TEST_F(ReaderChunksTest, UnwrittenChunksReadAsTheFillValue) {
    const std::string path = m_dir.file("fill.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addTypedDataset("/events/empty", H5::PredType::IEEE_F32LE, {3000},
                          H5::PredType::NATIVE_FLOAT, nullptr, Storage::chunked({1000}, 4, true));
    }
    ASSERT_TRUE(m_reader.openFile(path));
    EXPECT_EQ(m_reader.readScalarFeature("empty"), std::vector<double>(3000, 0.0));
}

// The measurement's event count (its first feature's length) bounds every
// column: a longer dataset gives its first values only, whatever its
// storage and type, and a sparse one of 2^31 rows is never read whole
// (once a 17 GB allocation for three events).
TEST_F(ReaderChunksTest, AColumnLongerThanTheMeasurementGivesOneValuePerEvent) {
    constexpr size_t kEvents = 5000;
    const auto doubles = randomValues<double>(3 * kEvents, 31);
    const auto floats = randomValues<float>(3 * kEvents, 32);
    const auto integers = randomValues<uint16_t>(3 * kEvents, 33);
    const std::string path = m_dir.file("long.rtdc");
    {
        RtdcFixtureWriter w(path);
        w.addColumn<double>("area_um", std::vector<double>(kEvents, 1.0)); // sorts first
        w.addColumn<double>("contiguous", doubles);
        w.addColumn<double>("deflated", doubles, Storage::chunked({1000}, 4));
        w.addColumn<float>("float_shuffled", floats, Storage::chunked({700}, 4, true));
        w.addColumn<uint16_t>("integer_chunks", integers, Storage::chunked({3000}));
        w.addColumn<double>("short", {1.0, 2.0});
        w.addTypedDataset("/events/sparse", H5::PredType::IEEE_F64LE, {hsize_t(1) << 31},
                          H5::PredType::NATIVE_DOUBLE, nullptr, Storage::chunked({1 << 16}, 4));
    }
    const auto leading = [](const auto& values) {
        return std::vector<double>(values.begin(), values.begin() + kEvents);
    };
    const struct {
        const char* name;
        std::vector<double> expected;
    } cases[] = {{"contiguous", leading(doubles)},
                 {"deflated", leading(doubles)},
                 {"float_shuffled", leading(floats)},
                 {"integer_chunks", leading(integers)},
                 {"short", {1.0, 2.0}},
                 {"sparse", std::vector<double>(kEvents, 0.0)}};
    // In a child whose memory would not hold the whole sparse column.
    const int status = statusInChild([&] {
        if (!limitFurtherMemory(size_t(1) << 30))
            return 100;
        RTDCReader reader;
        if (!reader.openFile(path) || reader.getEventCount() != kEvents)
            return 101;
        int failures = 0;
        for (const auto& c : cases) {
            if (reader.readScalarFeature(c.name) != c.expected) {
                std::fprintf(stderr, "%s: %zu values\n", c.name,
                             reader.readScalarFeature(c.name).size());
                ++failures;
            }
        }
        // The preload reads the same columns (the cached ones above aside).
        reader.closeFile();
        if (!reader.openFile(path) || !reader.preloadAllFeatures().empty() ||
            reader.readScalarFeature("sparse").size() != kEvents)
            ++failures;
        return failures;
    });
    EXPECT_TRUE(succeeded(status)) << describeStatus(status);
}

// A thread start refused by the system (std::thread throws) must neither
// abort the program (a started worker left joinable) nor escape the reader:
// the workers that started are joined and the column is read the usual way.
std::atomic<int> s_starts{0};
std::atomic<int> s_refuseStart{0}; // 1-based start to refuse; 0: none

std::thread refusingStarter(std::function<void()> work) {
    const int start = ++s_starts;
    if (start == s_refuseStart.load())
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    return std::thread(std::move(work));
}

TEST_F(ReaderChunksTest, RefusedWorkerThreadFallsBackToTheLibrarysRead) {
    const std::string path = m_dir.file("threads.rtdc");
    const auto values = randomValues<float>(40000, 21);
    {
        RtdcFixtureWriter w(path);
        for (const char* name : {"a", "b", "c", "d"})
            w.addColumn<float>(name, values, Storage::chunked({1000}, 4, true));
    }
    ASSERT_TRUE(m_reader.openFile(path));
    const WorkerStarter previous = setWorkerStarter(&refusingStarter);
    const struct {
        const char* column;
        int refuse;
    } cases[] = {{"a", 0}, {"b", 1}, {"c", 2}, {"d", 5}};
    for (const auto& c : cases) {
        s_starts = 0;
        s_refuseStart = c.refuse;
        EXPECT_EQ(m_reader.readScalarFeature(c.column), widened(values)) << c.column;
        // The parallel path was taken: workers were started, up to the refusal.
        if (std::thread::hardware_concurrency() > 1) {
            EXPECT_GE(s_starts.load(), std::max(c.refuse, 1)) << c.column;
        }
    }
    setWorkerStarter(previous);
}

} // namespace
