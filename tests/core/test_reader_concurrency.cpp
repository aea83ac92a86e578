// The reader shared between threads as the application shares it: a
// background preload, a calculation task registering derived features, and
// the GUI thread listing and reading. Meant to run under ThreadSanitizer.

#include "ReaderTestUtil.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

using namespace Quorvex3;
using namespace Quorvex3::testing;

namespace {

constexpr size_t kEvents = 4000;
constexpr size_t kColumns = 12;
constexpr size_t kFrames = 40;
constexpr size_t kFrameSide = 12;

std::string columnName(size_t c) {
    return "col" + std::to_string(c / 10) + std::to_string(c % 10);
}

double columnValue(size_t c, size_t i) {
    return static_cast<double>(c * 1000 + i % 1000);
}

uint8_t framePixel(size_t f, size_t p) {
    return static_cast<uint8_t>((f * 7 + p) % 256);
}

std::string writeMeasurement(const TempDir& dir) {
    const std::string path = dir.file("shared.rtdc");
    RtdcFixtureWriter w(path);
    for (size_t c = 0; c < kColumns; ++c) {
        std::vector<float> values(kEvents);
        for (size_t i = 0; i < kEvents; ++i)
            values[i] = static_cast<float>(columnValue(c, i));
        w.addColumn<float>(columnName(c), values, Storage::chunked({500}, 4));
    }
    const size_t pixels = kFrameSide * kFrameSide;
    std::vector<uint8_t> stack(kFrames * pixels);
    for (size_t f = 0; f < kFrames; ++f)
        for (size_t p = 0; p < pixels; ++p)
            stack[f * pixels + p] = framePixel(f, p);
    w.addImageStack("image", kFrames, kFrameSide, kFrameSide, stack,
                    Storage::chunked({8, kFrameSide, kFrameSide}, 4));
    return path;
}

bool isDerived(const std::string& name) {
    return name.compare(0, 7, "derived") == 0;
}

// The GUI thread's part: list, test, read file and derived columns and
// frames until the other two are done. Returns the number of faults seen.
size_t readWhileOthersWork(RTDCReader& reader, const std::atomic<int>& running) {
    size_t faults = 0;
    size_t frame = 0;
    while (running.load() > 0) {
        const std::vector<std::string> names = reader.getAvailableFeatures();
        for (const std::string& name : names) {
            if (!reader.hasFeature(name) && !isDerived(name))
                ++faults; // file features never disappear
            if (!RTDCReader::isScalarFeature(name))
                continue;
            reader.getFeatureLabel(name);
            const std::vector<double>& column = reader.readScalarFeature(name);
            if (isDerived(name)) {
                // Removed meanwhile (empty) or one registration's values,
                // never a mix: each registration fills one value throughout.
                for (double v : column)
                    faults += (v != column.front());
            } else {
                const size_t c = static_cast<size_t>(std::stoi(name.substr(3)));
                faults += (column.size() != kEvents);
                for (size_t i = 0; i < column.size(); i += 97)
                    faults += (column[i] != columnValue(c, i));
            }
        }
        int width = 0;
        int height = 0;
        const std::vector<uint8_t> image = reader.readImage(frame, width, height);
        faults += (image.size() != kFrameSide * kFrameSide);
        for (size_t p = 0; p < image.size(); ++p)
            faults += (image[p] != framePixel(frame, p));
        frame = (frame + 1) % kFrames;
        faults += (reader.getEventCount() != kEvents);
    }
    return faults;
}

// A calculation task's part: register, re-register and remove derived
// features, reading its own results back.
size_t registerDerivedFeatures(RTDCReader& reader) {
    size_t faults = 0;
    for (int k = 0; k < 150; ++k) {
        const std::string name = "derived" + std::to_string(k % 4);
        reader.addCalculatedFeature(name, std::vector<double>(kEvents, static_cast<double>(k)));
        const std::shared_ptr<const std::vector<double>> column = reader.featureColumn(name);
        faults += (!column || column->size() != kEvents || column->back() != k);
        faults += !reader.isCalculatedFeature(name);
        if (k % 5 == 0)
            reader.removeCalculatedFeature(name);
        if (k % 37 == 0)
            reader.ensureFeaturesSorted();
    }
    return faults;
}

TEST(ReaderConcurrency, PreloadRegistrationAndReadsInterleave) {
    TempDir dir;
    const std::string path = writeMeasurement(dir);
    for (int round = 0; round < 4; ++round) {
        auto reader = std::make_shared<RTDCReader>();
        ASSERT_TRUE(reader->openFile(path));
        std::atomic<int> running{2};
        std::vector<std::string> failedReads{"not run"};
        size_t registerFaults = 0;
        size_t readFaults = 0;

        std::thread preload([&] {
            failedReads = reader->preloadAllFeatures();
            --running;
        });
        std::thread calculation([&] {
            registerFaults = registerDerivedFeatures(*reader);
            --running;
        });
        std::thread gui([&] { readFaults = readWhileOthersWork(*reader, running); });
        preload.join();
        calculation.join();
        gui.join();

        EXPECT_TRUE(failedReads.empty());
        EXPECT_EQ(registerFaults, 0u);
        EXPECT_EQ(readFaults, 0u);
        // Everything is cached and consistent once the threads are done.
        reader->releaseRetiredColumns();
        const std::vector<std::string> names = reader->getAvailableFeatures();
        EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
        for (size_t c = 0; c < kColumns; ++c)
            EXPECT_EQ(reader->readScalarFeature(columnName(c)).size(), kEvents);
        // derived1 was last registered at k = 149 and not removed after it.
        EXPECT_EQ(reader->readScalarFeature("derived1").back(), 149.0);
    }
}

// Many readers of many files, as the gallery does with several datasets:
// the process-wide lock serialises them without deadlock.
TEST(ReaderConcurrency, SeparateReadersOnSeveralThreads) {
    TempDir dir;
    const std::string path = writeMeasurement(dir);
    std::atomic<size_t> faults{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round) {
                RTDCReader reader;
                if (!reader.openFile(path)) {
                    ++faults;
                    continue;
                }
                if (t % 2 == 0)
                    faults += reader.preloadAllFeatures().size();
                int width = 0;
                int height = 0;
                faults += (reader.readImage(static_cast<size_t>(t + round), width, height).size() !=
                           kFrameSide * kFrameSide);
                faults += (reader.readScalarFeature(columnName(3)).size() != kEvents);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(faults.load(), 0u);
}

// Bulk frame reads (fetching under the lock, inflating on their own worker
// threads) beside frame and column reads of the same reader, a close and a
// reopen in the middle, and a caller that already holds the lock: every frame
// handed over has its own bytes, and nothing deadlocks.
TEST(ReaderConcurrency, BulkFrameReadsBesideOtherReadsAndAClose) {
    TempDir dir;
    const std::string path = writeMeasurement(dir);
    auto reader = std::make_shared<RTDCReader>();
    ASSERT_TRUE(reader->openFile(path));
    std::vector<size_t> all;
    for (size_t f = 0; f < kFrames; ++f)
        all.push_back(f);
    const auto checkFrames = [&](size_t& visited) {
        size_t faults = 0;
        visited =
            reader->visitImages(all, [&](size_t position, const uint8_t* pixels, int w, int h) {
                faults +=
                    (static_cast<size_t>(w) * static_cast<size_t>(h) != kFrameSide * kFrameSide);
                for (size_t p = 0; p < kFrameSide * kFrameSide; ++p)
                    faults += (pixels[p] != framePixel(all[position], p));
            });
        return faults;
    };
    std::atomic<int> running{1};
    std::atomic<bool> reopened{false};
    std::atomic<size_t> faults{0};
    std::atomic<size_t> fullReadsAfterReopen{0};
    std::thread bulk([&] {
        for (int after = 0; after < 3;) {
            const bool settled = reopened.load();
            size_t visited = 0;
            faults += checkFrames(visited);
            faults += (visited > kFrames);
            if (settled) {
                ++after;
                fullReadsAfterReopen += (visited == kFrames);
            }
        }
        --running;
    });
    std::thread other([&] {
        size_t frame = 0;
        while (running.load() > 0) {
            int width = 0;
            int height = 0;
            const std::vector<uint8_t> image = reader->readImage(frame, width, height);
            for (size_t p = 0; p < image.size(); ++p)
                faults += (image[p] != framePixel(frame, p));
            reader->readScalarFeature(columnName(frame % kColumns));
            frame = (frame + 1) % kFrames;
        }
    });
    // Closed and reopened while the bulk reads run: a read then sees fewer
    // frames (the frame-by-frame ones find no file), never wrong ones.
    for (int k = 0; k < 3; ++k) {
        reader->closeFile();
        faults += !reader->openFile(path);
    }
    reopened = true;
    bulk.join();
    other.join();
    EXPECT_EQ(faults.load(), 0u);
    EXPECT_EQ(fullReadsAfterReopen.load(), 3u);
    {
        std::lock_guard<std::recursive_mutex> lock(RTDCReader::s_hdf5Mutex);
        size_t visited = 0;
        EXPECT_EQ(checkFrames(visited), 0u);
        EXPECT_EQ(visited, kFrames);
    }
}

// Listing and cache hits answer from the reader's own state: while another
// thread holds the HDF5 lock for a long read, the GUI thread must not wait.
TEST(ReaderConcurrency, ListingAndCacheHitsDoNotWaitForTheFileLock) {
    TempDir dir;
    const std::string path = writeMeasurement(dir);
    RTDCReader reader;
    ASSERT_TRUE(reader.openFile(path));
    const std::vector<double> expected = reader.readScalarFeature(columnName(0));
    ASSERT_EQ(expected.size(), kEvents);

    std::promise<void> locked;
    std::promise<void> release;
    std::thread holder([&] {
        std::lock_guard<std::recursive_mutex> lock(RTDCReader::s_hdf5Mutex);
        locked.set_value();
        release.get_future().wait();
    });
    locked.get_future().wait();
    auto answers = std::async(std::launch::async, [&] {
        return reader.hasFeature(columnName(1)) &&
               reader.getAvailableFeatures().size() > kColumns &&
               reader.readScalarFeature(columnName(0)) == expected &&
               reader.getFilename() == path && reader.getAvailableTraceNames().empty();
    });
    // A generous bound: this detects waiting on the lock, it measures nothing.
    const bool answered = answers.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    release.set_value();
    holder.join();
    ASSERT_TRUE(answered);
    EXPECT_TRUE(answers.get());
}

} // namespace
