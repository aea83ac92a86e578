// Fourier deformation and image texture features in events per second, on
// 10,000 synthetic cells of 80 x 250 pixels (tests/calc/SyntheticCells.h):
// the per-event kernels on masks and images in memory, and the Fourier run
// through the reader on a measurement file (reading the masks included).

#include "calc/FourierDeform.h"
#include "calc/ImageTextureFeatures.h"
#include "calc/SyntheticCells.h"
#include "core/RTDCReader.h"
#include "support/RtdcFixtureWriter.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

using namespace Quorvex3;
using namespace Quorvex3::testing;

namespace {

constexpr int kEvents = 10000;
constexpr int kRows = 80;
constexpr int kCols = 250;

const std::vector<SyntheticCell>& cells() {
    static const std::vector<SyntheticCell> all = [] {
        std::mt19937_64 rng(2024);
        std::vector<SyntheticCell> made;
        made.reserve(kEvents);
        for (int i = 0; i < kEvents; ++i)
            made.push_back(randomCell(rng, kRows, kCols, 25.0));
        return made;
    }();
    return all;
}

void BM_FourierDeformKernel(benchmark::State& state) {
    const auto& all = cells();
    for (auto _ : state) {
        for (const SyntheticCell& cell : all)
            benchmark::DoNotOptimize(FourierDeform::deformationsOfMask(cell.mask));
    }
    state.SetItemsProcessed(state.iterations() * kEvents);
}
BENCHMARK(BM_FourierDeformKernel)->Unit(benchmark::kMillisecond);

void BM_ImageFeaturesKernel(benchmark::State& state) {
    const auto& all = cells();
    std::vector<double> out;
    for (auto _ : state) {
        for (const SyntheticCell& cell : all) {
            computeImageFeatures(cell.image, cell.mask, out);
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetItemsProcessed(state.iterations() * kEvents);
}
BENCHMARK(BM_ImageFeaturesKernel)->Unit(benchmark::kMillisecond);

void BM_FourierDeformRun(benchmark::State& state) {
    TempDir dir;
    const std::string path = dir.file("masks.rtdc");
    {
        RtdcFixtureWriter writer(path);
        writer.addColumn<float>("area_um", std::vector<float>(kEvents, 1.0f));
        writer.addImageStack("mask", kEvents, kRows, kCols,
                             stackFrames(cells(), &SyntheticCell::mask),
                             Storage::chunked({100, kRows, kCols}, 4));
    }
    for (auto _ : state) {
        RTDCReader reader;
        reader.openFile(path);
        FourierDeform deform;
        benchmark::DoNotOptimize(deform.run(&reader));
    }
    state.SetItemsProcessed(state.iterations() * kEvents);
}
BENCHMARK(BM_FourierDeformRun)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

BENCHMARK_MAIN();
