// Speed of the image gallery's background tasks: rendering a page of 400
// cutouts and computing the automatic contrast.
//
// The measurement (10,000 events of 80 x 250 pixels, gzip-compressed in
// chunks of 100 frames, a dark elliptic cell with noise per frame, and
// pos_x/pos_y in micrometres) is generated once into
// $TMPDIR/quorvex3-bench/gallery_10k.rtdc and reused. The events sampled by
// the automatic contrast are written beside it (gallery_10k.sample.txt), so
// bench/gallery_h5py_contrast.py can time h5py reading the same 200 frames.

#include "compare/GalleryContrast.h"
#include "compare/GalleryRender.h"
#include "core/RTDCReader.h"
#include "support/RtdcFixtureWriter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <numeric>
#include <random>

namespace {

constexpr size_t kEvents = 10000;
constexpr size_t kHeight = 80;
constexpr size_t kWidth = 250;
constexpr double kPixelSize = 0.34;
constexpr int kPageSize = 400;

std::filesystem::path benchDir() {
    return std::filesystem::temp_directory_path() / "quorvex3-bench";
}

void writeMeasurement(const std::string& path) {
    std::mt19937 rng(20240613);
    std::normal_distribution<double> noise(0.0, 4.0);
    std::uniform_real_distribution<double> centreX(40.0, 210.0), radius(8.0, 16.0);
    std::vector<uint8_t> pixels(kEvents * kHeight * kWidth);
    std::vector<double> posX(kEvents), posY(kEvents);
    for (size_t e = 0; e < kEvents; ++e) {
        const double cx = centreX(rng), cy = 40.0, rx = radius(rng), ry = rx * 0.8;
        posX[e] = cx * kPixelSize;
        posY[e] = cy * kPixelSize;
        for (size_t y = 0; y < kHeight; ++y) {
            for (size_t x = 0; x < kWidth; ++x) {
                const double dx = (static_cast<double>(x) - cx) / rx;
                const double dy = (static_cast<double>(y) - cy) / ry;
                const double inside = dx * dx + dy * dy < 1.0 ? -45.0 : 0.0;
                const double value = 110.0 + static_cast<double>(x) / 25.0 + inside + noise(rng);
                pixels[(e * kHeight + y) * kWidth + x] =
                    static_cast<uint8_t>(std::clamp(value, 0.0, 255.0));
            }
        }
    }
    Quorvex3::testing::RtdcFixtureWriter writer(path);
    writer.addImageStack("image", kEvents, kHeight, kWidth, pixels,
                         Quorvex3::testing::Storage::chunked({100, kHeight, kWidth}, 4));
    writer.addColumn("pos_x", posX);
    writer.addColumn("pos_y", posY);
}

// Written under a temporary name and renamed, so an interrupted run never
// leaves a half-written file to be reused.
const std::string& benchFile() {
    static const std::string path = [] {
        const std::string target = (benchDir() / "gallery_10k.rtdc").string();
        if (!std::filesystem::exists(target)) {
            std::filesystem::create_directories(benchDir());
            std::cerr << "Generating " << target << " (once)..." << std::endl;
            writeMeasurement(target + ".partial");
            std::filesystem::rename(target + ".partial", target);
        }
        return target;
    }();
    return path;
}

std::shared_ptr<Quorvex3::RTDCReader> openReader(benchmark::State& state) {
    auto reader = std::make_shared<Quorvex3::RTDCReader>();
    if (!reader->openFile(benchFile())) {
        state.SkipWithError("cannot open the benchmark file");
        return nullptr;
    }
    return reader;
}

// Pages of 400 events taken every `stride`-th event, turning to the next
// page each iteration (as a user paging through does), with an automatic
// contrast window applied to 64 x 64 cutouts.
void renderPages(benchmark::State& state, int stride) {
    const auto reader = openReader(state);
    if (!reader)
        return;
    const int span = kPageSize * stride;
    const int pages = static_cast<int>(kEvents) / span;
    int page = 0;
    size_t tiles = 0;
    for (auto _ : state) {
        Quorvex3::GalleryRenderInput input;
        input.pageIndices.resize(kPageSize);
        for (int k = 0; k < kPageSize; ++k)
            input.pageIndices[static_cast<size_t>(k)] = page * span + k * stride;
        input.cutoutWidth = input.cutoutHeight = 64;
        input.pixelSize = kPixelSize;
        input.lo = 60;
        input.hi = 140;
        const Quorvex3::GalleryRenderResult result = Quorvex3::renderGalleryPage(reader, input);
        for (const auto& tile : result.tiles)
            tiles += tile.image.empty() ? 0 : 1;
        page = (page + 1) % pages;
    }
    if (tiles != static_cast<size_t>(state.iterations()) * kPageSize)
        state.SkipWithError("a tile was not rendered");
    state.SetItemsProcessed(state.iterations() * kPageSize);
}

void BM_RenderPageConsecutive(benchmark::State& state) {
    renderPages(state, 1);
}
BENCHMARK(BM_RenderPageConsecutive)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RenderPageEvery10th(benchmark::State& state) {
    renderPages(state, 10);
}
BENCHMARK(BM_RenderPageEvery10th)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole task as the window starts it: a fresh reader (no chunk cached
// yet) and every event of the dataset.
void BM_AutoContrast(benchmark::State& state) {
    std::vector<int> indices(kEvents);
    std::iota(indices.begin(), indices.end(), 0);
    {
        std::ofstream sample(benchDir() / "gallery_10k.sample.txt");
        for (const int i : Quorvex3::galleryContrastSample(indices))
            sample << i << '\n';
    }
    // One untimed run on its own reader first, as the h5py script does:
    // a single timed iteration would otherwise include the first reads of
    // the file. Each timed run opens a fresh reader (cold chunk cache).
    if (auto warm = openReader(state))
        benchmark::DoNotOptimize(Quorvex3::computeGalleryAutoContrast(warm, indices, 1).lo);
    for (auto _ : state) {
        state.PauseTiming();
        auto reader = openReader(state);
        state.ResumeTiming();
        if (!reader)
            return;
        const auto result = Quorvex3::computeGalleryAutoContrast(reader, indices, 1);
        state.counters["lo"] = result.lo;
        state.counters["hi"] = result.hi;
    }
}
BENCHMARK(BM_AutoContrast)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
