// Reading speed of the measurement reader: opening a large measurement and
// preloading all its scalar features, and stepping through event images.
//
// The measurement (1,000,000 events, 30 float32 columns in gzip-compressed
// chunks of 100,000 values, and 1,000 frames of 80 x 250 pixels in
// compressed chunks of 100 frames) is generated once into
// $TMPDIR/quorvex3-bench/reader_1M.rtdc and reused. bench/h5py_preload.py
// reads the same file with h5py for comparison.

#include "core/RTDCReader.h"
#include "support/RtdcFixtureWriter.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <random>

namespace {

constexpr size_t kEvents = 1000000;
constexpr size_t kColumns = 30;
constexpr size_t kFrames = 1000;
constexpr size_t kFrameHeight = 80;
constexpr size_t kFrameWidth = 250;

std::string benchFilePath() {
    return (std::filesystem::temp_directory_path() / "quorvex3-bench" / "reader_1M.rtdc").string();
}

void writeColumns(Quorvex3::testing::RtdcFixtureWriter& writer, std::mt19937& rng) {
    // Measured quantities: smooth distributions stored at float precision,
    // which compress about as badly as real ones.
    std::normal_distribution<float> normal(0.f, 1.f);
    std::vector<float> values(kEvents);
    for (size_t c = 0; c < kColumns; ++c) {
        const float scale = 1.f + static_cast<float>(c);
        for (float& v : values)
            v = 100.f + scale * normal(rng);
        char name[32];
        std::snprintf(name, sizeof(name), "feature_%02zu", c);
        writer.addColumn<float>(name, values, Quorvex3::testing::Storage::chunked({100000}, 4));
    }
}

void writeImages(Quorvex3::testing::RtdcFixtureWriter& writer, std::mt19937& rng) {
    // A background gradient with noise and a dark blob per frame.
    std::uniform_int_distribution<int> noise(-6, 6);
    std::vector<uint8_t> pixels(kFrames * kFrameHeight * kFrameWidth);
    for (size_t f = 0; f < kFrames; ++f) {
        const size_t cx = 30 + f % 190;
        for (size_t y = 0; y < kFrameHeight; ++y) {
            for (size_t x = 0; x < kFrameWidth; ++x) {
                const long dx = static_cast<long>(x) - static_cast<long>(cx);
                const long dy = static_cast<long>(y) - 40;
                int value = 100 + static_cast<int>(x / 25) + noise(rng);
                if (dx * dx + dy * dy < 200)
                    value -= 50;
                pixels[(f * kFrameHeight + y) * kFrameWidth + x] = static_cast<uint8_t>(value);
            }
        }
    }
    writer.addImageStack("image", kFrames, kFrameHeight, kFrameWidth, pixels,
                         Quorvex3::testing::Storage::chunked({100, kFrameHeight, kFrameWidth}, 4));
}

// Writes the measurement under a temporary name and renames it, so an
// interrupted run never leaves a half-written file to be reused.
const std::string& benchFile() {
    static const std::string path = [] {
        const std::string target = benchFilePath();
        if (std::filesystem::exists(target))
            return target;
        std::filesystem::create_directories(std::filesystem::path(target).parent_path());
        const std::string partial = target + ".partial";
        std::cerr << "Generating " << target << " (once)..." << std::endl;
        {
            std::mt19937 rng(20240611);
            Quorvex3::testing::RtdcFixtureWriter writer(partial);
            writeColumns(writer, rng);
            writeImages(writer, rng);
        }
        std::filesystem::rename(partial, target);
        return target;
    }();
    return path;
}

void BM_OpenAndPreloadAllFeatures(benchmark::State& state) {
    const std::string& path = benchFile();
    // One untimed load first, as bench/h5py_preload.py does: a single timed
    // iteration (2 s or more) would otherwise include the first use of the
    // file and the library.
    {
        Quorvex3::RTDCReader warm;
        if (warm.openFile(path))
            benchmark::DoNotOptimize(warm.preloadAllFeatures().data());
    }
    for (auto _ : state) {
        auto reader = std::make_unique<Quorvex3::RTDCReader>();
        if (!reader->openFile(path)) {
            state.SkipWithError("cannot open the benchmark file");
            break;
        }
        const std::vector<std::string> failed = reader->preloadAllFeatures();
        benchmark::DoNotOptimize(failed.data());
        if (!failed.empty())
            state.SkipWithError("preload failed");
        // Freeing 240 MB of columns is not part of loading them (the h5py
        // script frees its columns outside its timing as well).
        state.PauseTiming();
        reader.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kEvents * kColumns));
}
BENCHMARK(BM_OpenAndPreloadAllFeatures)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadImageConsecutiveFrames(benchmark::State& state) {
    const std::string& path = benchFile();
    Quorvex3::RTDCReader reader;
    if (!reader.openFile(path)) {
        state.SkipWithError("cannot open the benchmark file");
        return;
    }
    for (auto _ : state) {
        for (size_t f = 0; f < kFrames; ++f) {
            int width = 0;
            int height = 0;
            const std::vector<uint8_t> frame = reader.readImage(f, width, height);
            benchmark::DoNotOptimize(frame.data());
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kFrames));
}
BENCHMARK(BM_ReadImageConsecutiveFrames)->Unit(benchmark::kMillisecond)->UseRealTime();

// Baseline: the dataset opened per frame with the default chunk cache, which
// inflates the frame's whole 100-frame chunk on every read. It is about a
// hundred times slower, so it steps through the first 100 frames only.
void BM_ReadImageReopeningPerFrame(benchmark::State& state) {
    constexpr size_t kBaselineFrames = 100;
    const std::string& path = benchFile();
    H5::H5File file(path, H5F_ACC_RDONLY);
    std::vector<uint8_t> frame(kFrameHeight * kFrameWidth);
    for (auto _ : state) {
        for (size_t f = 0; f < kBaselineFrames; ++f) {
            H5::DataSet dataset = file.openDataSet("/events/image");
            H5::DataSpace space = dataset.getSpace();
            const hsize_t start[3] = {f, 0, 0};
            const hsize_t count[3] = {1, kFrameHeight, kFrameWidth};
            space.selectHyperslab(H5S_SELECT_SET, count, start);
            const hsize_t memDims[2] = {kFrameHeight, kFrameWidth};
            H5::DataSpace memSpace(2, memDims);
            dataset.read(frame.data(), H5::PredType::NATIVE_UINT8, memSpace, space);
            benchmark::DoNotOptimize(frame.data());
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kBaselineFrames));
}
BENCHMARK(BM_ReadImageReopeningPerFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
