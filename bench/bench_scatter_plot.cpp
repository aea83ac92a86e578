// Scatter plot drawing speed: from handing over the data to the end of the
// first canvas paint, a repaint of every dot, a repaint after the marker
// moved (the dot layer kept or painted anew), and the nearest-point search
// used by clicks and hover.

#include "density/PlotStatistics.h"
#include "plots/PlainDotCurve.h"
#include "plots/RoundSpectroCurve.h"
#include "plots/ScatterPlot.h"

#include <qwt_plot_curve.h>
#include <qwt_plot_item.h>
#include <qwt_symbol.h>

#include <QApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <ctime>
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

/// Every dot painted again on each repaint (the dot layer is not kept).
void BM_RepaintOnly(benchmark::State& state) {
    const Events events = makeEvents(static_cast<size_t>(state.range(0)));
    Quorvex3::ScatterPlot& plot = sharedPlot();
    plot.setData(events.x, events.y, "Area", "Deformation", events.color, "Density");
    plot.setDotLayerCaching(false);
    for (auto _ : state) {
        plot.replot();
        plot.canvas()->repaint();
    }
    plot.setDotLayerCaching(true);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RepaintOnly)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

/// The statistics dock's numbers for both plotted columns, as the plot
/// arrays work them out (range(1) = 1), against the dock's former way on the
/// GUI thread (range(1) = 0: a finite copy of each column, then mean, SD and
/// three selections on one thread).
void BM_PlotStatistics(benchmark::State& state) {
    const Events events = makeEvents(static_cast<size_t>(state.range(0)));
    std::clock_t cpu = 0;
    for (auto _ : state) {
        const std::clock_t start = std::clock();
        if (state.range(1) != 0) {
            benchmark::DoNotOptimize(Quorvex3::computePlotStatistics(events.x, events.y));
        } else {
            for (const std::vector<double>* column : {&events.x, &events.y}) {
                std::vector<double> finite;
                finite.reserve(column->size());
                for (double v : *column)
                    if (std::isfinite(v))
                        finite.push_back(v);
                double sum = 0.0;
                for (double v : finite)
                    sum += v;
                const double mean = sum / static_cast<double>(finite.size());
                double squares = 0.0;
                for (double v : finite)
                    squares += (v - mean) * (v - mean);
                benchmark::DoNotOptimize(squares);
                std::size_t from = 0;
                for (double p : {0.25, 0.5, 0.75}) {
                    const auto i = static_cast<std::size_t>((finite.size() - 1) * p);
                    std::nth_element(finite.begin() + static_cast<std::ptrdiff_t>(from),
                                     finite.begin() + static_cast<std::ptrdiff_t>(i), finite.end());
                    benchmark::DoNotOptimize(*std::min_element(
                        finite.begin() + static_cast<std::ptrdiff_t>(i) + 1, finite.end()));
                    from = i;
                }
            }
        }
        cpu += std::clock() - start;
    }
    state.counters["cpu_ms"] = benchmark::Counter(
        1000.0 * static_cast<double>(cpu) / CLOCKS_PER_SEC, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_PlotStatistics)
    ->ArgNames({"events", "arrays"})
    ->ArgsProduct({{1000000, 10000000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

/// The colour-mapped dot curve of the plot.
Quorvex3::RoundSpectroCurve* spectroCurveOf(Quorvex3::ScatterPlot& plot) {
    for (QwtPlotItem* item : plot.itemList(QwtPlotItem::Rtti_PlotSpectroCurve))
        if (auto* curve = dynamic_cast<Quorvex3::RoundSpectroCurve*>(item))
            return curve;
    return nullptr;
}

/// Every colour-mapped dot painted again on each repaint, by range(1)
/// threads (0: as many as the curve chooses, 1: the serial path). The
/// "cpu_ms" counter is the process's CPU time per repaint, all threads.
void BM_RepaintDotsThreads(benchmark::State& state) {
    const auto events = static_cast<size_t>(state.range(0));
    const Events data = makeEvents(events);
    Quorvex3::ScatterPlot& plot = sharedPlot();
    plot.setData(data.x, data.y, "Area", "Deformation", data.color, "Density");
    Quorvex3::RoundSpectroCurve* curve = spectroCurveOf(plot);
    if (!curve) {
        state.SkipWithError("no colour-mapped dot curve");
        return;
    }
    curve->setPaintThreads(static_cast<int>(state.range(1)));
    plot.setDotLayerCaching(false);
    std::clock_t cpu = 0;
    for (auto _ : state) {
        const std::clock_t start = std::clock();
        plot.replot();
        plot.canvas()->repaint();
        cpu += std::clock() - start;
    }
    curve->setPaintThreads(0);
    plot.setDotLayerCaching(true);
    state.counters["cpu_ms"] = benchmark::Counter(
        1000.0 * static_cast<double>(cpu) / CLOCKS_PER_SEC, benchmark::Counter::kAvgIterations);
    state.counters["events"] = static_cast<double>(events);
}
BENCHMARK(BM_RepaintDotsThreads)
    ->ArgNames({"events", "threads"})
    ->ArgsProduct({{1000000, 10000000}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

/// Every plain dot (no colour) painted again on each repaint, by range(1)
/// threads (0: as many as the curve chooses, 1: the calling thread only,
/// -1: QwtPlotCurve's own painting, as before). "cpu_ms" as above.
void BM_RepaintPlainDotsThreads(benchmark::State& state) {
    const auto events = static_cast<size_t>(state.range(0));
    const Events data = makeEvents(events);
    Quorvex3::ScatterPlot& plot = sharedPlot();
    plot.setData(data.x, data.y, "Area", "Deformation", {}, "");
    Quorvex3::PlainDotCurve* curve = nullptr;
    for (QwtPlotItem* item : plot.itemList(QwtPlotItem::Rtti_PlotCurve))
        if (auto* found = dynamic_cast<Quorvex3::PlainDotCurve*>(item))
            curve = found;
    if (!curve) {
        state.SkipWithError("no plain dot curve");
        return;
    }
    const int threads = static_cast<int>(state.range(1));
    curve->setPaintThreads(std::max(0, threads));
    // QwtPlotCurve's own painting: the same symbols, never blended here.
    QwtPlotCurve reference;
    if (threads < 0) {
        reference.setStyle(QwtPlotCurve::NoCurve);
        const QwtSymbol* symbol = curve->symbol();
        reference.setSymbol(
            new QwtSymbol(symbol->style(), symbol->brush(), symbol->pen(), symbol->size()));
        QVector<QPointF> points;
        for (size_t i = 0; i < events; ++i)
            points.append(QPointF(data.x[i], data.y[i]));
        reference.setSamples(points);
        curve->setVisible(false);
        reference.attach(&plot);
    }
    plot.setDotLayerCaching(false);
    std::clock_t cpu = 0;
    for (auto _ : state) {
        const std::clock_t start = std::clock();
        plot.replot();
        plot.canvas()->repaint();
        cpu += std::clock() - start;
    }
    reference.detach();
    curve->setVisible(true);
    curve->setPaintThreads(0);
    plot.setDotLayerCaching(true);
    state.counters["cpu_ms"] = benchmark::Counter(
        1000.0 * static_cast<double>(cpu) / CLOCKS_PER_SEC, benchmark::Counter::kAvgIterations);
    state.counters["events"] = static_cast<double>(events);
}
BENCHMARK(BM_RepaintPlainDotsThreads)
    ->ArgNames({"events", "threads"})
    ->ArgsProduct({{1000000, 10000000}, {-1, 1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

/// The selected-event marker moves between two events and the canvas is
/// repainted; range(1) says whether the dot layer is kept between paints.
void BM_MarkerMoveRepaint(benchmark::State& state) {
    const Events events = makeEvents(static_cast<size_t>(state.range(0)));
    Quorvex3::ScatterPlot& plot = sharedPlot();
    plot.setData(events.x, events.y, "Area", "Deformation", events.color, "Density");
    plot.setDotLayerCaching(state.range(1) != 0);
    plot.canvas()->repaint();
    const std::size_t paintsBefore = plot.dotPaintCount();
    int move = 0;
    for (auto _ : state) {
        plot.highlightPoint(move++ % 2 == 0 ? 0 : static_cast<int>(events.x.size() / 2));
        plot.canvas()->repaint();
    }
    state.counters["dot_paints_per_move"] =
        benchmark::Counter(static_cast<double>(plot.dotPaintCount() - paintsBefore),
                           benchmark::Counter::kAvgIterations);
    plot.setDotLayerCaching(true);
}
BENCHMARK(BM_MarkerMoveRepaint)
    ->ArgNames({"events", "kept"})
    ->ArgsProduct({{1000000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

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
