// Compressed columns are inflated chunk by chunk on several threads; these
// tests hold that path to exactly what the stored values are, and check that
// storage it does not handle still reads correctly the usual way.

#include "ReaderTestUtil.h"

#include "core/ParallelChunkRead.h"

#include <H5Cpp.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
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
