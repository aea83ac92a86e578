// Main window speed, measured on the GUI thread of a real (offscreen) main
// window with generated measurements:
// - adding a dataset: opening the file, reading its metadata, listing and
//   selecting it; the feature preload runs in the background and is not
//   part of it, so the time must not grow with the event count.
// - hovering onto a point while a polygon is drawn, up to the event's
//   image, traces and values (and the repaint) being shown.
// - refreshing the main plot: from a filter edit to the end of the first
//   paint of the plot canvas, with plain dots, density colours, density
//   colours with contours, and the same with five range rules and two
//   polygons.
// - plot requests: ten made in one event-loop turn (KDE colours and
//   contours), and typing "50" into a contour box and pressing Return; the
//   "updates" counter says how many refreshes each cost.
// - opening a measurement of 1,000,000 x 30 columns until every column is
//   loaded, against RTDCReader::preloadAllFeatures alone in the same round.

#include "GapMeter.h"
#include "app/MainWindow.h"
#include "core/EventFilter.h"
#include "core/FilterRule.h"
#include "core/RTDCReader.h"
#include "filters/FilterDockWidget.h"
#include "model/DatasetEntry.h"
#include "model/DatasetLoader.h"
#include "plots/ScatterPlot.h"
#include "support/RtdcFixtureWriter.h"

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QMetaObject>
#include <QMouseEvent>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Quorvex3::MainWindow;
using Quorvex3::testing::RtdcFixtureWriter;
using Quorvex3::testing::Storage;
using Quorvex3::testing::TempDir;

/// Scalar columns of a typical measurement besides area and deformation.
const char* const kExtraColumns[] = {"bright_avg",      "bright_sd", "area_ratio", "aspect",
                                     "inert_ratio_cvx", "pos_x",     "pos_y",      "size_x",
                                     "size_y",          "time",      "fl1_max",    "fl2_max"};

/// Writes (once per event count) a measurement with 14 compressed float
/// columns and the usual metadata, and returns its path.
const std::string& measurementWithEvents(std::size_t events) {
    static TempDir dir;
    static std::map<std::size_t, std::string> written;
    const auto found = written.find(events);
    if (found != written.end())
        return found->second;

    const std::string path = dir.file("m" + std::to_string(events) + ".rtdc");
    std::mt19937 rng(11u);
    std::normal_distribution<float> area(70.0f, 15.0f);
    std::normal_distribution<float> deform(0.02f, 0.008f);
    std::uniform_real_distribution<float> other(0.0f, 100.0f);
    std::vector<float> a(events);
    std::vector<float> d(events);
    for (std::size_t i = 0; i < events; ++i) {
        a[i] = area(rng);
        d[i] = deform(rng);
    }
    RtdcFixtureWriter writer(path);
    writer.addColumn<float>("area_um", a, Storage::compressed(1));
    writer.addColumn<float>("deform", d, Storage::compressed(1));
    for (const char* name : kExtraColumns) {
        for (float& value : a)
            value = other(rng);
        writer.addColumn<float>(name, a, Storage::compressed(1));
    }
    writer.setStringAttribute("experiment:sample", "bench");
    writer.setStringAttribute("experiment:run index", "1");
    writer.setScalarAttribute<double>("setup:flow rate", 0.16);
    writer.setStringAttribute("setup:chip region", "channel");
    writer.setScalarAttribute<double>("imaging:pixel size", 0.34);
    writer.close();
    return written.emplace(events, path).first->second;
}

/// One window for all cases, shown as a user would see it.
MainWindow& sharedWindow() {
    static MainWindow* window = [] {
        auto* w = new MainWindow();
        w->resize(1400, 900);
        w->show();
        QApplication::processEvents();
        return w;
    }();
    return *window;
}

/// Runs the event loop until `done` holds.
template <typename Done> void spinUntil(Done done) {
    while (!done())
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

/// Removes every dataset, waiting for their preloads first.
void removeAllDatasets(MainWindow& window) {
    spinUntil([&] {
        for (const auto& entry : window.datasets())
            if (!entry->featuresLoaded)
                return false;
        return true;
    });
    while (!window.datasets().empty())
        QMetaObject::invokeMethod(&window, "removeDataset");
    QApplication::processEvents();
}

void BM_AddDataset(benchmark::State& state) {
    const std::size_t events = static_cast<std::size_t>(state.range(0));
    const QString path = QString::fromStdString(measurementWithEvents(events));
    MainWindow& window = sharedWindow();
    removeAllDatasets(window);
    for (auto _ : state) {
        window.addDataset(path);
        state.PauseTiming();
        if (window.datasets().size() != 1) {
            state.SkipWithError("the measurement did not open");
            break;
        }
        removeAllDatasets(window);
        state.ResumeTiming();
    }
    state.counters["events"] = static_cast<double>(events);
}
// Each iteration waits (untimed) for a whole preload and the refresh after
// it, so the count is fixed rather than grown to fill the minimum time.
BENCHMARK(BM_AddDataset)->Arg(10000)->Arg(1000000)->Iterations(30)->Unit(benchmark::kMillisecond);

// ---- preload through the window against the reader alone ------------------------

/// 1,000,000 events of 30 float columns in gzip-compressed chunks of 100,000
/// values (as bench_reader's measurement), written once per run.
const std::string& preloadMeasurement() {
    static TempDir dir;
    static const std::string path = [] {
        constexpr std::size_t kEvents = 1000000;
        const std::string file = dir.file("preload_1M.rtdc");
        std::mt19937 rng(20240611u);
        std::normal_distribution<float> normal(0.f, 1.f);
        std::vector<float> values(kEvents);
        RtdcFixtureWriter writer(file);
        const char* const named[] = {"area_um", "deform"};
        for (std::size_t c = 0; c < 30; ++c) {
            const float scale = 1.f + static_cast<float>(c);
            for (float& v : values)
                v = c == 1 ? 0.02f + 0.005f * normal(rng) : 100.f + scale * normal(rng);
            char name[32];
            std::snprintf(name, sizeof(name), "feature_%02zu", c);
            writer.addColumn<float>(c < 2 ? named[c] : name, values, Storage::chunked({100000}, 4));
        }
        writer.setStringAttribute("experiment:sample", "bench");
        writer.setScalarAttribute<double>("imaging:pixel size", 0.34);
        writer.close();
        return file;
    }();
    return path;
}

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

/// Opening the measurement and loading every column, through the main window
/// and by RTDCReader::preloadAllFeatures alone, alternately in the same
/// round; the medians and their ratio. Through the window, "loaded" is the
/// preload's result reaching the GUI thread (timed from addDataset);
/// "shown" is the dataset marked loaded once the event loop has also run
/// the view refresh that follows (the main plot, statistics and tables),
/// which is not part of loading the columns; "add" is the part of loading
/// spent in addDataset itself (open, metadata, listing). Run with
/// --benchmark_repetitions=3 for three rounds.
void BM_AppPreloadVsReaderAlone(benchmark::State& state) {
    const QString path = QString::fromStdString(preloadMeasurement());
    MainWindow& window = sharedWindow();
    removeAllDatasets(window);
    std::chrono::steady_clock::time_point delivered;
    for (QFutureWatcherBase* base : window.findChildren<QFutureWatcherBase*>()) {
        if (auto* watcher = dynamic_cast<QFutureWatcher<Quorvex3::PreloadOutcome>*>(base))
            QObject::connect(watcher, &QFutureWatcherBase::resultReadyAt, watcher,
                             [&delivered] { delivered = std::chrono::steady_clock::now(); });
    }
    // Waits for events rather than spinning: the window's thread is as idle
    // as a user's while the preload runs.
    auto waitUntilLoaded = [&] {
        while (window.datasets().empty() || !window.datasets()[0]->featuresLoaded)
            QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    };
    { // one untimed load of each first: the file and the library warm
        Quorvex3::RTDCReader warm;
        if (warm.openFile(path.toStdString()))
            warm.preloadAllFeatures();
        window.addDataset(path);
        waitUntilLoaded();
        removeAllDatasets(window);
    }
    std::vector<double> loaded;
    std::vector<double> shown;
    std::vector<double> alone;
    std::vector<double> added;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        delivered = {};
        window.addDataset(path);
        added.push_back(millisecondsSince(start));
        waitUntilLoaded();
        shown.push_back(millisecondsSince(start));
        loaded.push_back(std::chrono::duration<double, std::milli>(delivered - start).count());
        state.PauseTiming();
        removeAllDatasets(window);
        {
            const auto begin = std::chrono::steady_clock::now();
            Quorvex3::RTDCReader reader;
            if (!reader.openFile(path.toStdString()) || !reader.preloadAllFeatures().empty())
                state.SkipWithError("the reader alone failed");
            alone.push_back(millisecondsSince(begin));
        }
        state.ResumeTiming();
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    state.counters["loaded_ms"] = median(loaded);
    state.counters["shown_ms"] = median(shown);
    state.counters["alone_ms"] = median(alone);
    state.counters["add_ms"] = median(added);
    state.counters["ratio_loaded"] = median(loaded) / median(alone);
    state.counters["ratio_shown"] = median(shown) / median(alone);
}
BENCHMARK(BM_AppPreloadVsReaderAlone)->Iterations(7)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- hover-to-display latency of an event -------------------------------------

/// A measurement of `events` cells with images and masks of height × width
/// pixels and two 100-sample fluorescence traces; written once per count.
const std::string& hoverMeasurement(std::size_t events, std::size_t height, std::size_t width) {
    static TempDir dir;
    static std::map<std::size_t, std::string> written;
    const auto found = written.find(events);
    if (found != written.end())
        return found->second;

    std::mt19937 rng(11u);
    std::normal_distribution<double> unit(0.0, 1.0);
    std::vector<float> area(events);
    std::vector<float> deform(events);
    for (std::size_t i = 0; i < events; ++i) {
        area[i] = static_cast<float>(std::exp(std::log(90.0) + 0.25 * unit(rng)));
        deform[i] = static_cast<float>(std::max(0.002, 0.02 + 0.007 * unit(rng)));
    }
    // A dark disc (the cell, also the mask) on a grey frame.
    const std::size_t frame = height * width;
    std::vector<uint8_t> images(events * frame, 110);
    std::vector<uint8_t> masks(events * frame, 0);
    const std::size_t radius = height / 4;
    for (std::size_t i = 0; i < events; ++i) {
        const std::size_t centre = (i * 7) % (width / 2) + width / 4;
        for (std::size_t r = height / 2 - radius; r < height / 2 + radius; ++r)
            for (std::size_t c = centre - radius; c < centre + radius; ++c) {
                images[i * frame + r * width + c] = 70;
                masks[i * frame + r * width + c] = 255;
            }
    }
    constexpr std::size_t kSamples = 100;
    std::vector<int16_t> trace(events * kSamples);
    for (std::size_t k = 0; k < trace.size(); ++k) {
        const double t = (static_cast<double>(k % kSamples) - 50.0) / 10.0;
        trace[k] = static_cast<int16_t>(40.0 + 500.0 * std::exp(-0.5 * t * t));
    }

    const std::string path = dir.file("hover" + std::to_string(events) + ".rtdc");
    RtdcFixtureWriter writer(path);
    writer.addColumn<float>("area_um", area, Storage::compressed(1));
    writer.addColumn<float>("deform", deform, Storage::compressed(1));
    const Storage stack = Storage::chunked({100, height, width}, 1);
    writer.addImageStack("image", events, height, width, images, stack);
    images = {};
    writer.addImageStack("mask", events, height, width, masks, stack);
    masks = {};
    for (const char* name : {"fl1_median", "fl2_median"})
        writer.addTrace(name, events, kSamples, trace, Storage::chunked({1000, kSamples}, 1));
    writer.setStringAttribute("fluorescence:channel 1 name", "525/50");
    writer.setStringAttribute("fluorescence:channel 2 name", "593/46");
    writer.setScalarAttribute<int64_t>("fluorescence:sample rate", 1000000);
    writer.close();
    return written.emplace(events, path).first->second;
}

/// Canvas pixel of plot point `index` (plot order is event order here: no
/// filter, every value finite).
QPoint canvasPixelOf(Quorvex3::ScatterPlot& plot, Quorvex3::RTDCReader& reader, std::size_t index) {
    const double x = reader.readScalarFeature("area_um")[index];
    const double y = reader.readScalarFeature("deform")[index];
    return QPoint(static_cast<int>(plot.transform(QwtPlot::xBottom, x)),
                  static_cast<int>(plot.transform(QwtPlot::yLeft, y)));
}

/// While a polygon is drawn, moving the mouse onto another point shows that
/// event: the plot finds the nearest point, the window highlights it and
/// shows its image with mask, traces and feature values. Timed from the mouse
/// move on the canvas, with density colours (the dots stay painted; the
/// marker and the polygon are painted over them); the second argument says
/// whether the repaints it schedules are included.
void BM_HoverToDisplay(benchmark::State& state) {
    const auto events = static_cast<std::size_t>(state.range(0));
    const bool repaint = state.range(1) != 0;
    // Full-size frames at 1e5 events; smaller ones at 1e6 keep the fixture
    // in memory while it is written (reading one frame does not depend on N).
    const bool large = events > 200000;
    const QString path =
        QString::fromStdString(hoverMeasurement(events, large ? 20 : 80, large ? 50 : 250));
    MainWindow& window = sharedWindow();
    removeAllDatasets(window);
    window.addDataset(path);
    spinUntil([&] { return window.activeDataset() && window.activeDataset()->featuresLoaded; });
    auto* colour = window.findChild<QComboBox*>(QStringLiteral("colorCombo"));
    auto* plot = window.findChild<Quorvex3::ScatterPlot*>();
    auto* spin = window.findChild<QSpinBox*>(QStringLiteral("eventSpinBox"));
    if (!colour || !plot || !spin || !window.activeReader()) {
        state.SkipWithError("the main window has no plot or event controls");
        return;
    }
    colour->setCurrentIndex(colour->findData(QStringLiteral("__density_kde__")));
    plot->startPolygonDrawing();
    QApplication::processEvents();

    // Two points far apart: every move lands on the other one.
    Quorvex3::RTDCReader& reader = *window.activeReader();
    const QPoint targets[2] = {canvasPixelOf(*plot, reader, 0),
                               canvasPixelOf(*plot, reader, events / 2)};
    int last = spin->value();
    int changes = 0;
    std::size_t move = 0;
    for (auto _ : state) {
        QMouseEvent hover(QEvent::MouseMove, targets[move++ % 2], Qt::NoButton, Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(plot->canvas(), &hover);
        if (repaint)
            QApplication::processEvents();
        changes += spin->value() != last ? 1 : 0;
        last = spin->value();
    }
    plot->cancelPolygonDrawing();
    // 1 when every move showed another event.
    state.counters["shown_per_move"] =
        benchmark::Counter(static_cast<double>(changes), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_HoverToDisplay)
    ->ArgNames({"events", "repaint"})
    ->ArgsProduct({{100000, 1000000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// ---- main plot refresh: updatePlot up to the end of the first canvas paint --------

/// What the plot shows in each measured case.
enum PlotCase : int { kPlainDots = 0, kKdeColour = 1, kKdeContours = 2, kFiltered = 3 };

/// Five range rules and two polygons over the bulk of the generated
/// columns; about two thirds of the events pass them all.
void addBenchmarkFilter(Quorvex3::EventFilter& filter) {
    const auto range = [&filter](const char* feature, double lo, double hi) {
        Quorvex3::FilterRule rule;
        rule.featureName = feature;
        rule.minValue = lo;
        rule.maxValue = hi;
        filter.addRule(rule);
    };
    range("area_um", 30.0, 110.0);
    range("deform", 0.0, 0.04);
    range("bright_avg", 5.0, 95.0);
    range("bright_sd", 5.0, 95.0);
    range("aspect", 5.0, 95.0);
    Quorvex3::FilterRule polygon;
    polygon.type = 1;
    polygon.featureName = "area_um";
    polygon.featureNameY = "deform";
    polygon.polygonVertices = {{25, -0.01}, {115, -0.01}, {115, 0.045}, {70, 0.055}, {25, 0.045}};
    filter.addRule(polygon);
    polygon.featureName = "pos_x";
    polygon.featureNameY = "pos_y";
    polygon.polygonVertices = {{5, 5}, {95, 5}, {95, 95}, {5, 95}};
    filter.addRule(polygon);
}

/// The shared window with one measurement of `events` loaded and shown as
/// `plotCase` asks: density colours, contours, the benchmark filter.
MainWindow& windowShowing(std::size_t events, PlotCase plotCase) {
    MainWindow& window = sharedWindow();
    removeAllDatasets(window);
    window.addDataset(QString::fromStdString(measurementWithEvents(events)));
    spinUntil([&] { return window.activeDataset() && window.activeDataset()->featuresLoaded; });
    QApplication::processEvents();
    if (plotCase != kPlainDots) {
        auto* color = window.findChild<QComboBox*>(QStringLiteral("colorCombo"));
        color->setCurrentIndex(color->findData(QStringLiteral("__density_kde__")));
    }
    if (plotCase == kKdeContours || plotCase == kFiltered)
        window.findChild<QComboBox*>(QStringLiteral("contourModeCombo"))->setCurrentIndex(1);
    if (plotCase == kFiltered)
        addBenchmarkFilter(window.activeDataset()->filter);
    return window;
}

/// range(0): events; range(1): PlotCase. The refresh starts as a filter
/// edit starts it; the canvas paint, which Qwt only schedules, is forced.
void BM_UpdatePlotToFirstPaint(benchmark::State& state) {
    const auto events = static_cast<std::size_t>(state.range(0));
    MainWindow& window = windowShowing(events, static_cast<PlotCase>(state.range(1)));

    auto* dock = window.findChild<Quorvex3::FilterDockWidget*>();
    QWidget* canvas =
        window.findChild<Quorvex3::ScatterPlot*>(QStringLiteral("scatterPlot"))->canvas();
    // The request runs at once rather than when the event loop turns.
    emit dock->filterChanged();
    window.flushPlotRequests();
    canvas->repaint();
    for (auto _ : state) {
        emit dock->filterChanged();
        window.flushPlotRequests();
        canvas->repaint();
    }
    state.counters["events"] = static_cast<double>(events);
    removeAllDatasets(window);
}
BENCHMARK(BM_UpdatePlotToFirstPaint)
    ->ArgNames({"events", "case"})
    ->ArgsProduct({{100000, 1000000}, {kPlainDots, kKdeColour, kKdeContours, kFiltered}})
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Ten million events: only plain dots and density colours with contours; the
// measurement is written and preloaded once (untimed) and takes a while.
BENCHMARK(BM_UpdatePlotToFirstPaint)
    ->Name("BM_UpdatePlotToFirstPaint_1e7")
    ->ArgNames({"events", "case"})
    ->ArgsProduct({{10000000}, {kPlainDots, kKdeContours}})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

/// range(0): events; range(1): PlotCase. A filter edit as the user makes it:
/// the refresh runs when the event loop turns and the canvas paints on its
/// own. The time is from the edit until the plot has been painted; the
/// "stall_ms" counter is the longest the GUI thread went without an event
/// loop turn meanwhile (mean over the iterations), "cpu_ms" the process's
/// CPU time (all threads).
void BM_RefreshGuiStall(benchmark::State& state) {
    const auto events = static_cast<std::size_t>(state.range(0));
    MainWindow& window = windowShowing(events, static_cast<PlotCase>(state.range(1)));
    auto* dock = window.findChild<Quorvex3::FilterDockWidget*>();
    auto* plot = window.findChild<Quorvex3::ScatterPlot*>(QStringLiteral("scatterPlot"));
    window.flushPlotRequests();
    QApplication::processEvents();

    Quorvex3::bench::GapMeter gaps;
    double stall = 0.0;
    std::clock_t cpu = 0;
    for (auto _ : state) {
        const std::uint64_t refreshes = window.plotRefreshCount();
        const std::uint64_t paints = plot->dotPaintCount();
        const std::clock_t start = std::clock();
        gaps.start();
        emit dock->filterChanged();
        spinUntil([&] {
            return window.plotRefreshCount() > refreshes && plot->dotPaintCount() > paints;
        });
        stall += gaps.stopMs();
        cpu += std::clock() - start;
    }
    state.counters["stall_ms"] = benchmark::Counter(stall, benchmark::Counter::kAvgIterations);
    state.counters["cpu_ms"] = benchmark::Counter(
        1000.0 * static_cast<double>(cpu) / CLOCKS_PER_SEC, benchmark::Counter::kAvgIterations);
    state.counters["events"] = static_cast<double>(events);
    removeAllDatasets(window);
}
BENCHMARK(BM_RefreshGuiStall)
    ->ArgNames({"events", "case"})
    ->ArgsProduct({{1000000, 10000000}, {kPlainDots, kKdeContours}})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// ---- plot requests: what a burst and a typed contour level cost ---------------------

/// Opens the measurement in the shared window with KDE colours and
/// contours, so one full refresh is the expensive kind.
MainWindow& windowWithDensityAndContours(std::size_t events) {
    MainWindow& window = sharedWindow();
    removeAllDatasets(window);
    window.addDataset(QString::fromStdString(measurementWithEvents(events)));
    spinUntil([&] { return window.activeDataset() && window.activeDataset()->featuresLoaded; });
    auto* color = window.findChild<QComboBox*>(QStringLiteral("colorCombo"));
    color->setCurrentIndex(color->findData(QStringLiteral("__density_kde__")));
    window.findChild<QComboBox*>(QStringLiteral("contourModeCombo"))->setCurrentIndex(1);
    QApplication::processEvents();
    return window;
}

/// range(0): events. Ten filter-change requests, then one turn of the
/// event loop; the canvas paint is forced as above.
void BM_TenPlotRequestsInOneTurn(benchmark::State& state) {
    const auto events = static_cast<std::size_t>(state.range(0));
    MainWindow& window = windowWithDensityAndContours(events);
    auto* dock = window.findChild<Quorvex3::FilterDockWidget*>();
    QWidget* canvas =
        window.findChild<Quorvex3::ScatterPlot*>(QStringLiteral("scatterPlot"))->canvas();
    const std::uint64_t before = window.fullPlotUpdateCount();
    for (auto _ : state) {
        for (int i = 0; i < 10; ++i)
            emit dock->filterChanged();
        QApplication::processEvents();
        canvas->repaint();
    }
    state.counters["updates"] =
        benchmark::Counter(static_cast<double>(window.fullPlotUpdateCount() - before),
                           benchmark::Counter::kAvgIterations);
    state.counters["events"] = static_cast<double>(events);
    removeAllDatasets(window);
}
BENCHMARK(BM_TenPlotRequestsInOneTurn)
    ->ArgNames({"events"})
    ->Arg(100000)
    ->Arg(1000000)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

/// range(0): events. Selects the inner contour box's text, types "50" or
/// "40" (alternating, so each iteration changes the value) and Return, then
/// lets the event loop turn.
void BM_TypeContourLevel(benchmark::State& state) {
    const auto events = static_cast<std::size_t>(state.range(0));
    MainWindow& window = windowWithDensityAndContours(events);
    auto* inner = window.findChild<QDoubleSpinBox*>(QStringLiteral("contourInnerSpin"));
    QWidget* canvas =
        window.findChild<Quorvex3::ScatterPlot*>(QStringLiteral("scatterPlot"))->canvas();
    const std::uint64_t before = window.plotRefreshCount();
    bool fifty = true;
    for (auto _ : state) {
        inner->selectAll();
        QTest::keyClicks(inner, fifty ? QStringLiteral("50") : QStringLiteral("40"));
        QTest::keyClick(inner, Qt::Key_Return);
        QApplication::processEvents();
        canvas->repaint();
        fifty = !fifty;
    }
    state.counters["updates"] =
        benchmark::Counter(static_cast<double>(window.plotRefreshCount() - before),
                           benchmark::Counter::kAvgIterations);
    state.counters["events"] = static_cast<double>(events);
    removeAllDatasets(window);
}
BENCHMARK(BM_TypeContourLevel)
    ->ArgNames({"events"})
    ->Arg(1000000)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
