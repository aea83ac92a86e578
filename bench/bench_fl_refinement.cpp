// Fluorescence refinement and crosstalk compensation on a measurement of
// 100,000 events with 3 channels of 200-sample traces (int16, contiguous),
// written once to a temporary directory. Refinement runs with the dock's
// default trace filters (two Hampel filters and Savitzky-Golay).

#include "calc/CalcTestSupport.h"
#include "calc/FLCompensation.h"
#include "calc/FLRefinement.h"
#include "core/RTDCMetadata.h"
#include "core/RTDCReader.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

using namespace Quorvex3;
namespace fixture = Quorvex3::testing;

constexpr std::size_t kEvents = 100'000;
constexpr std::size_t kSamples = 200;
constexpr int kChannels = 3;

const std::string& measurement() {
    static fixture::TempDir dir;
    static const std::string path = [] {
        const std::string file = dir.file("fl_100k.rtdc");
        std::mt19937_64 random(4);
        fixture::RtdcFixtureWriter writer(file);
        std::vector<double> posX(kEvents);
        std::vector<double> sizeX(kEvents);
        std::vector<double> area(kEvents);
        for (std::size_t e = 0; e < kEvents; ++e) {
            posX[e] = 20.0 + 40.0 * fixture::uniform(random);
            sizeX[e] = 6.0 + 4.0 * fixture::uniform(random);
            area[e] = 50.0 + 50.0 * fixture::uniform(random);
        }
        writer.addColumn<double>("area_um", area);
        writer.addColumn<double>("pos_x", posX);
        writer.addColumn<double>("size_x", sizeX);
        for (int channel = 1; channel <= kChannels; ++channel) {
            std::vector<int16_t> trace(kEvents * kSamples);
            std::vector<double> maxima(kEvents);
            std::vector<double> positions(kEvents);
            for (std::size_t e = 0; e < kEvents; ++e) {
                // Cells at 0.25 µm/µs cross the trace centre when at 40 µm.
                const double centre = 100.0 + (posX[e] - 40.0) / 0.25;
                const double height = 500.0 + 2000.0 * fixture::uniform(random);
                for (std::size_t j = 0; j < kSamples; ++j) {
                    const double d = (double(j) - centre) / 6.0;
                    trace[e * kSamples + j] = static_cast<int16_t>(height * std::exp(-d * d) +
                                                                   20.0 * fixture::uniform(random));
                }
                maxima[e] = height;
                positions[e] = centre;
            }
            const std::string fl = "fl" + std::to_string(channel);
            writer.addColumn<double>(fl + "_max", maxima);
            writer.addColumn<double>(fl + "_pos", positions);
            writer.addTrace(fl + "_raw", kEvents, kSamples, trace);
        }
        writer.addImageStack("image", 1, 2, 160, std::vector<uint8_t>(2 * 160, 0));
        return file;
    }();
    return path;
}

void BM_Refinement(benchmark::State& state) {
    RTDCReader reader;
    reader.openFile(measurement());
    reader.preloadAllFeatures();
    RTDCMetadata metadata;
    metadata.fluorescence["sample rate"] = "1000000";
    metadata.imaging["pixel size"] = "0.5";
    FLRefinement refinement;
    const FLRefineSettings settings;
    for (auto _ : state) {
        benchmark::DoNotOptimize(refinement.run(&reader, metadata, settings));
        state.PauseTiming();
        reader.releaseRetiredColumns();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kEvents * kChannels);
}
BENCHMARK(BM_Refinement)->Iterations(2)->Unit(benchmark::kMillisecond);

void BM_Compensation(benchmark::State& state) {
    RTDCReader reader;
    reader.openFile(measurement());
    reader.preloadAllFeatures();
    FLCompensation compensation;
    const arma::mat spillover{{1.0, 0.1, 0.02}, {0.05, 1.0, 0.1}, {0.01, 0.2, 1.0}};
    for (auto _ : state) {
        benchmark::DoNotOptimize(compensation.run(&reader, {1, 2, 3}, spillover));
        state.PauseTiming();
        reader.releaseRetiredColumns();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kEvents);
}
BENCHMARK(BM_Compensation)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
