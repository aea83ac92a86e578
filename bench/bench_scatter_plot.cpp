// Scatter plot drawing speed: from handing over the data to the end of the
// first canvas paint, and the nearest-point search used by clicks and hover.

#include "plots/ScatterPlot.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

struct Events {
    std::vector<double> x;
    std::vector<double> y;
    std::vector<double> color;
};

Events makeEvents(size_t n) {
    std::mt19937 rng(7u);
    std::normal_distribution<double> area(70.0, 15.0);
    std::normal_distribution<double> deform(0.02, 0.008);
    Events e;
    e.x.resize(n);
    e.y.resize(n);
    e.color.resize(n);
    for (size_t i = 0; i < n; ++i) {
        e.x[i] = area(rng);
        e.y[i] = deform(rng);
        // A smooth colour value, like a density: high in the middle.
        const double dx = (e.x[i] - 70.0) / 15.0;
        const double dy = (e.y[i] - 0.02) / 0.008;
        e.color[i] = std::exp(-0.5 * (dx * dx + dy * dy));
    }
    return e;
}

Quorvex3::ScatterPlot& sharedPlot() {
    static Quorvex3::ScatterPlot* plot = [] {
        auto* p = new Quorvex3::ScatterPlot();
        p->resize(1000, 750);
        p->show();
        QApplication::processEvents();
        return p;
    }();
    return *plot;
}

void BM_SetDataToFirstPaint(benchmark::State& state) {
    const Events events = makeEvents(static_cast<size_t>(state.range(0)));
    Quorvex3::ScatterPlot& plot = sharedPlot();
    for (auto _ : state) {
        plot.setData(events.x, events.y, "Area", "Deformation", events.color, "Density");
        // Qwt 6.1 only schedules the paint on replot; force it here.
        plot.canvas()->repaint();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SetDataToFirstPaint)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_RepaintOnly(benchmark::State& state) {
    const Events events = makeEvents(static_cast<size_t>(state.range(0)));
    Quorvex3::ScatterPlot& plot = sharedPlot();
    plot.setData(events.x, events.y, "Area", "Deformation", events.color, "Density");
    for (auto _ : state) {
        plot.replot();
        plot.canvas()->repaint();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RepaintOnly)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FindNearestPoint(benchmark::State& state) {
    const Events events = makeEvents(static_cast<size_t>(state.range(0)));
    Quorvex3::ScatterPlot& plot = sharedPlot();
    plot.setData(events.x, events.y, "Area", "Deformation", events.color, "Density");
    plot.canvas()->repaint();
    int found = 0;
    for (auto _ : state) {
        found = plot.findNearestPoint(QPointF(72.0, 0.021));
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FindNearestPoint)->Arg(1000000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
