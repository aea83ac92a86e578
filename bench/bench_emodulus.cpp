// Young's modulus: building the look-up table's triangulation (against the
// plain every-triangle scan; on an ellipse and a grid; on every shape that
// troubles it, at 20,000 and 50,000 rows), look-ups per second, and a whole
// computation on 1,000,000 events.
//
// Tables are generated in code: scattered rows (5,000 and 20,000), a
// 141 x 141 grid (19,881 rows, full of co-circular points) and the shapes of
// calc/LutShapes.h. The measurement of the run benchmark is written once to
// a temporary directory.

#include "calc/CalcTestSupport.h"
#include "calc/EModulus.h"
#include "calc/LUTTriangulation.h"
#include "calc/LutShapes.h"
#include "calc/PlainDelaunay.h"
#include "core/RTDCReader.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace Quorvex3;
namespace fixture = Quorvex3::testing;
using fixture::Rows;

using fixture::lutTable;

// `n` rows at random places of [20, 220] x [0.01, 0.11] with a smooth modulus.
Rows scatteredTable(int n, unsigned seed) {
    std::mt19937_64 random(seed);
    Rows rows(static_cast<std::size_t>(n));
    for (auto& row : rows) {
        const double area = 20.0 + 200.0 * fixture::uniform(random);
        const double deform = 0.01 + 0.1 * fixture::uniform(random);
        row = {area, deform, 0.3 + 0.004 * area * (1 + 30 * deform) + 0.1 * std::sin(area / 40)};
    }
    return rows;
}

std::pair<std::vector<double>, std::vector<double>> normalised(const Rows& rows) {
    TriangulatedLUT lut;
    triangulateLUT(lutTable(rows), lut, nullptr);
    return {lut.x, lut.y};
}

Rows gridTable(int side) {
    Rows rows;
    for (int j = 0; j < side; ++j)
        for (int i = 0; i < side; ++i)
            rows.push_back({20.0 + i, 0.001 * j, 1.0 + 0.01 * i + 0.1 * j});
    return rows;
}

using fixture::plainDelaunay;

// `n` rows on an ellipse over the table's area and deformation ranges: a
// circle once normalised, so every in-circle test is a near-tie.
Rows ellipseTable(int n) {
    const double pi = std::acos(-1.0);
    Rows rows;
    for (int i = 0; i < n; ++i) {
        const double t = 2 * pi * i / n;
        rows.push_back({120.0 + 100.0 * std::cos(t), 0.06 + 0.05 * std::sin(t), 1.0 + 0.001 * i});
    }
    return rows;
}

// The whole table as the first look-up pays it (normalising, triangulating,
// indexing), for the shapes that defeat a plain Bowyer-Watson: an ellipse
// and a regular grid.
void BM_TriangulateEllipseTable(benchmark::State& state) {
    const LUTData table = lutTable(ellipseTable(int(state.range(0))));
    for (auto _ : state) {
        TriangulatedLUT lut;
        benchmark::DoNotOptimize(triangulateLUT(table, lut, nullptr));
    }
    state.SetLabel("rows=" + std::to_string(table.area.size()));
}
BENCHMARK(BM_TriangulateEllipseTable)
    ->Arg(200)
    ->Arg(400)
    ->Arg(700)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond);

// Triangulating (or refusing) a whole table of each shape: circle, ellipse,
// points on a line, within 1e-12 of it, areas of ±1e308, a tight cluster
// with three far rows, scattered.
void BM_TriangulateShape(benchmark::State& state) {
    const auto shape = static_cast<fixture::LutShape>(state.range(0));
    const LUTData table = fixture::lutTable(fixture::lutShapeRows(shape, int(state.range(1))));
    bool accepted = false;
    for (auto _ : state) {
        TriangulatedLUT lut;
        accepted = triangulateLUT(table, lut, nullptr);
        benchmark::DoNotOptimize(lut.triangles.data());
    }
    state.SetLabel(std::string(fixture::lutShapeName(shape)) +
                   (accepted ? ", accepted" : ", refused"));
}
BENCHMARK(BM_TriangulateShape)
    ->ArgsProduct({{int(fixture::LutShape::Circle), int(fixture::LutShape::Ellipse),
                    int(fixture::LutShape::Collinear), int(fixture::LutShape::NearCollinear),
                    int(fixture::LutShape::HugeAreas), int(fixture::LutShape::Cluster),
                    int(fixture::LutShape::Scattered)},
                   {20000, 50000}})
    ->Unit(benchmark::kMillisecond);

void BM_TriangulateGridTable(benchmark::State& state) {
    const LUTData table = lutTable(gridTable(int(state.range(0))));
    for (auto _ : state) {
        TriangulatedLUT lut;
        benchmark::DoNotOptimize(triangulateLUT(table, lut, nullptr));
    }
    state.SetLabel("rows=" + std::to_string(table.area.size()));
}
BENCHMARK(BM_TriangulateGridTable)->Arg(32)->Arg(141)->Unit(benchmark::kMillisecond);

void BM_TriangulateScattered(benchmark::State& state) {
    const auto [x, y] = normalised(scatteredTable(int(state.range(0)), 1));
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
    const auto [x, y] = normalised(scatteredTable(int(state.range(0)), 1));
    for (auto _ : state)
        benchmark::DoNotOptimize(plainDelaunay(x, y));
}
BENCHMARK(BM_TriangulatePlainScan)
    ->Arg(5000)
    ->Arg(20000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Normalising, triangulating and indexing a whole table, as a first look-up
// pays it.
void BM_TriangulateTable(benchmark::State& state) {
    const LUTData table = lutTable(scatteredTable(int(state.range(0)), 1));
    for (auto _ : state) {
        TriangulatedLUT lut;
        benchmark::DoNotOptimize(triangulateLUT(table, lut, nullptr));
    }
}
BENCHMARK(BM_TriangulateTable)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_Lookup(benchmark::State& state) {
    const LUTData table = lutTable(scatteredTable(int(state.range(0)), 1));
    TriangulatedLUT lut;
    triangulateLUT(table, lut, nullptr);
    std::mt19937_64 random(2);
    std::vector<std::pair<double, double>> queries(4096);
    for (auto& q : queries)
        q = {20.0 + 200.0 * fixture::uniform(random), 0.01 + 0.1 * fixture::uniform(random)};
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& q = queries[i++ & 4095];
        benchmark::DoNotOptimize(interpolateTriangulated(lut, q.first, q.second));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Lookup)->Arg(5000)->Arg(20000);

void BM_EModulusRun(benchmark::State& state) {
    static fixture::TempDir dir;
    static const std::string path = [] {
        fixture::writeText(dir.file("data/LUT_LE_2D_FEM.txt"),
                           fixture::lutText(scatteredTable(5000, 1)));
        std::mt19937_64 random(3);
        std::vector<double> area(1'000'000);
        std::vector<double> deform(area.size());
        for (std::size_t i = 0; i < area.size(); ++i) {
            area[i] = 20.0 + 200.0 * fixture::uniform(random);
            deform[i] = 0.012 + 0.1 * fixture::uniform(random);
        }
        fixture::RtdcFixtureWriter writer(dir.file("emod_1M.rtdc"));
        writer.addColumn("area_um", area);
        writer.addColumn("deform", deform);
        return writer.path();
    }();
    RTDCReader reader;
    reader.openFile(path);
    reader.preloadAllFeatures();
    EModulus emod;
    emod.setLUTSearchDir(QString::fromStdString(dir.path()));
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
