// Speed of the image gallery's background tasks: rendering a page of 400
// cutouts and computing the automatic contrast.
//
// The measurement (10,000 events of 80 x 250 pixels, gzip-compressed in
// chunks of 100 frames, a dark elliptic cell with noise per frame, and
// pos_x/pos_y in micrometres) is generated once into
// $TMPDIR/quorvex3-bench/gallery_10k.rtdc and reused. The events sampled by
// the automatic contrast are written beside it (gallery_10k.sample.txt), so
// bench/gallery_h5py_contrast.py can time h5py reading the same 200 frames.
// BM_RenderPageEvery10thVsH5py runs bench/gallery_h5py_page.py (with
// /usr/bin/python3) on the same pages in the same run and reports the ratio.

#include "GalleryBenchData.h"
#include "compare/GalleryContrast.h"
#include "compare/GalleryRender.h"
#include "core/RTDCReader.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace galleryBench;

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

// Median milliseconds per page of bench/gallery_h5py_page.py on the same
// pages; NaN when the script cannot run.
double h5pyPageMilliseconds(int stride, int pages) {
    const std::string command = std::string("/usr/bin/python3 ") + QUORVEX3_BENCH_DIR +
                                "/gallery_h5py_page.py " + benchFile() + " " +
                                std::to_string(stride) + " " + std::to_string(pages);
    double ms = std::nan("");
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char line[128];
        if (std::fgets(line, sizeof(line), pipe))
            ms = std::strtod(line, nullptr);
        while (std::fgets(line, sizeof(line), pipe)) {
        }
        ::pclose(pipe);
    }
    return ms;
}

// The spread page against h5py + numpy cutting the same tiles, timed in the
// same round: the median of 10 pages each (one untimed page first), and
// their ratio. Each page is rendered by a freshly opened reader (opened
// outside the timing), as the script reads each from a freshly opened file:
// a reader that has shown a page keeps its chunks in the library's cache.
// Run with --benchmark_repetitions=3 for three rounds.
void BM_RenderPageEvery10thVsH5py(benchmark::State& state) {
    constexpr int kStride = 10;
    constexpr int kPages = 10;
    const int span = kPageSize * kStride;
    const int pages = static_cast<int>(kEvents) / span;
    auto pageInput = [&](int page) {
        Quorvex3::GalleryRenderInput input;
        input.pageIndices.resize(kPageSize);
        for (int k = 0; k < kPageSize; ++k)
            input.pageIndices[static_cast<size_t>(k)] = page * span + k * kStride;
        input.cutoutWidth = input.cutoutHeight = 64;
        input.pixelSize = kPixelSize;
        input.lo = 60;
        input.hi = 140;
        return input;
    };
    if (const auto warm = openReader(state))
        benchmark::DoNotOptimize(Quorvex3::renderGalleryPage(warm, pageInput(0)).tiles.size());
    std::vector<double> times;
    int page = 0;
    size_t tiles = 0;
    for (auto _ : state) {
        const auto reader = openReader(state);
        if (!reader)
            return;
        const auto start = std::chrono::steady_clock::now();
        const Quorvex3::GalleryRenderResult result =
            Quorvex3::renderGalleryPage(reader, pageInput(page));
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        for (const auto& tile : result.tiles)
            tiles += tile.image.empty() ? 0 : 1;
        page = (page + 1) % pages;
    }
    if (tiles != times.size() * kPageSize)
        state.SkipWithError("a tile was not rendered");
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const double h5py = h5pyPageMilliseconds(kStride, kPages);
    state.counters["page_ms"] = median;
    state.counters["h5py_page_ms"] = h5py;
    state.counters["ratio"] = median / h5py;
}
BENCHMARK(BM_RenderPageEvery10thVsH5py)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

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
