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
#include "GalleryBenchData.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <numeric>
#include <random>

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
