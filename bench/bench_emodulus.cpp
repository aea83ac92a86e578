// Young's modulus: building the look-up table's triangulation (against the
// plain every-triangle scan), look-ups per second, and a whole computation
// on 1,000,000 events.
//
// Tables are generated in code: scattered rows (5,000 and 20,000) and a
// 141 x 141 grid (19,881 rows, full of co-circular points). The measurement
// of the run benchmark is written once to a temporary directory.

#include "calc/CalcTestSupport.h"
#include "calc/EModulus.h"
#include "calc/LUTTriangulation.h"
#include "core/RTDCReader.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace Quorvex3;

std::pair<std::vector<double>, std::vector<double>>
normalised(const std::vector<testing::LutRow>& rows) {
    LUTData table;
    for (const testing::LutRow& row : rows) {
        table.area.push_back(row.area);
        table.deform.push_back(row.deform);
        table.emodulus.push_back(row.emodulus);
    }
    TriangulatedLUT lut;
    triangulateLUT(table, lut, nullptr);
    return {lut.x, lut.y};
}

std::vector<testing::LutRow> gridTable(int side) {
    std::vector<testing::LutRow> rows;
    for (int j = 0; j < side; ++j)
        for (int i = 0; i < side; ++i)
            rows.push_back({20.0 + i, 0.001 * j, 1.0 + 0.01 * i + 0.1 * j});
    return rows;
}

void BM_TriangulateScattered(benchmark::State& state) {
    const auto [x, y] = normalised(testing::scatteredTable(int(state.range(0)), 1));
    for (auto _ : state)
        benchmark::DoNotOptimize(delaunayTriangles(x, y));
    state.SetLabel("rows=" + std::to_string(x.size()));
}
BENCHMARK(BM_TriangulateScattered)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_TriangulateGrid(benchmark::State& state) {
    const auto [x, y] = normalised(gridTable(141));
    for (auto _ : state)
        benchmark::DoNotOptimize(delaunayTriangles(x, y));
    state.SetLabel("rows=" + std::to_string(x.size()));
}
BENCHMARK(BM_TriangulateGrid)->Unit(benchmark::kMillisecond);

// The plain algorithm, every triangle tested per point: the reason for the
// indexed version.
void BM_TriangulatePlainScan(benchmark::State& state) {
    const auto [x, y] = normalised(testing::scatteredTable(int(state.range(0)), 1));
    for (auto _ : state)
        benchmark::DoNotOptimize(testing::referenceDelaunay(x, y));
}
BENCHMARK(BM_TriangulatePlainScan)
    ->Arg(5000)
    ->Arg(20000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Normalising, triangulating and indexing a whole table, as a first look-up
// pays it.
void BM_TriangulateTable(benchmark::State& state) {
    LUTData table;
    for (const testing::LutRow& row : testing::scatteredTable(int(state.range(0)), 1)) {
        table.area.push_back(row.area);
        table.deform.push_back(row.deform);
        table.emodulus.push_back(row.emodulus);
    }
    for (auto _ : state) {
        TriangulatedLUT lut;
        benchmark::DoNotOptimize(triangulateLUT(table, lut, nullptr));
    }
}
BENCHMARK(BM_TriangulateTable)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_Lookup(benchmark::State& state) {
    LUTData table;
    for (const testing::LutRow& row : testing::scatteredTable(int(state.range(0)), 1)) {
        table.area.push_back(row.area);
        table.deform.push_back(row.deform);
        table.emodulus.push_back(row.emodulus);
    }
    TriangulatedLUT lut;
    triangulateLUT(table, lut, nullptr);
    testing::SplitMix64 random(2);
    std::vector<std::pair<double, double>> queries(4096);
    for (auto& q : queries)
        q = {20.0 + 200.0 * random.uniform(), 0.01 + 0.1 * random.uniform()};
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& q = queries[i++ & 4095];
        benchmark::DoNotOptimize(interpolateTriangulated(lut, q.first, q.second));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Lookup)->Arg(5000)->Arg(20000);

void BM_EModulusRun(benchmark::State& state) {
    static testing::TempDir dir;
    static testing::LutDir lut(testing::lutText(testing::scatteredTable(5000, 1)));
    static const std::string path = [] {
        testing::SplitMix64 random(3);
        std::vector<double> area(1'000'000);
        std::vector<double> deform(area.size());
        for (std::size_t i = 0; i < area.size(); ++i) {
            area[i] = 20.0 + 200.0 * random.uniform();
            deform[i] = 0.012 + 0.1 * random.uniform();
        }
        return testing::writeMeasurement(dir, "emod_1M.rtdc",
                                         {{"area_um", area}, {"deform", deform}});
    }();
    RTDCReader reader;
    reader.openFile(path);
    reader.preloadAllFeatures();
    EModulus emod;
    emod.setLUTSearchDir(lut.base());
    emod.buildTriangulation(0); // the table is built once per program run
    const EModParams params;
    for (auto _ : state) {
        benchmark::DoNotOptimize(emod.run(&reader, params));
        state.PauseTiming();
        reader.releaseRetiredColumns();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 1'000'000);
}
BENCHMARK(BM_EModulusRun)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
