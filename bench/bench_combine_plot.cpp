// Combined plot window speed, on the GUI thread of a real (offscreen) main
// window with eight generated measurements of 100,000 events each:
// - BM_CombineRebuildToFirstPaint: a refresh of the combined plot window
//   (panel and plots rebuilt) up to the end of the first paint of every
//   plot (the plot container is grabbed), with contours overlaid, "Sync
//   Axes" on with automatic limits and the statistics shown, in each display
//   mode, with heat maps or dataset colours;
// - BM_EightMainPlotUpdates: the yardstick, eight refreshes of the main
//   plot (density colours and contours) of the same measurements, each to
//   the end of its canvas paint.
// The rebuild should take at most 250 ms and at most twice the yardstick.
// "cpu_ms" is the CPU time of the whole process (every thread) per
// iteration: the rebuild reads the datasets on several threads, so the
// "CPU" column, the calling thread's alone, understates the work.

#include "app/MainWindow.h"
#include "compare/CombinePlotWindow.h"
#include "filters/FilterDockWidget.h"
#include "model/DatasetEntry.h"
#include "plots/ScatterPlot.h"
#include "support/RtdcFixtureWriter.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>

#include <benchmark/benchmark.h>

#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using Quorvex3::CombinePlotWindow;
using Quorvex3::MainWindow;
using Quorvex3::testing::RtdcFixtureWriter;
using Quorvex3::testing::Storage;
using Quorvex3::testing::TempDir;

constexpr int kDatasets = 8;
constexpr std::size_t kEvents = 100000;

/// Writes measurement `k`: a population whose centre moves with k, with
/// float columns as a recorder writes them.
std::string writeMeasurement(const TempDir& dir, int k) {
    const std::string path = dir.file("m" + std::to_string(k) + ".rtdc");
    std::mt19937 rng(static_cast<unsigned>(100 + k));
    std::normal_distribution<float> area(60.0f + 8.0f * k, 14.0f);
    std::normal_distribution<float> deform(0.02f + 0.002f * k, 0.007f);
    std::uniform_real_distribution<float> other(0.0f, 100.0f);
    std::vector<float> a(kEvents), d(kEvents), b(kEvents);
    for (std::size_t i = 0; i < kEvents; ++i) {
        a[i] = area(rng);
        d[i] = deform(rng);
        b[i] = other(rng);
    }
    RtdcFixtureWriter writer(path);
    writer.addColumn<float>("area_um", a, Storage::compressed(1));
    writer.addColumn<float>("deform", d, Storage::compressed(1));
    writer.addColumn<float>("bright_avg", b, Storage::compressed(1));
    writer.setScalarAttribute<double>("setup:flow rate", 0.16);
    writer.setScalarAttribute<double>("imaging:pixel size", 0.34);
    writer.close();
    return path;
}

/// CPU time of the whole process so far, in milliseconds.
double processCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

template <typename Done> void spinUntil(Done done) {
    while (!done())
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

/// The main window with the eight measurements loaded, shown as a user
/// would see it; built once for all cases.
MainWindow& sharedWindow() {
    static TempDir dir;
    static MainWindow* window = [] {
        auto* w = new MainWindow();
        w->resize(1400, 900);
        w->show();
        for (int k = 0; k < kDatasets; ++k) {
            w->addDataset(QString::fromStdString(writeMeasurement(dir, k)));
            spinUntil([&] {
                return w->datasets().size() == static_cast<std::size_t>(k + 1) &&
                       w->datasets().back()->featuresLoaded;
            });
        }
        QApplication::processEvents();
        return w;
    }();
    return *window;
}

/// range(0): display mode (0 Array, 1 Array + Contour, 2 Same Plot);
/// range(1): colour mode (0 heat map, 1 dataset colour).
void BM_CombineRebuildToFirstPaint(benchmark::State& state) {
    MainWindow& main = sharedWindow();
    CombinePlotWindow window(&main.store(), &main);
    window.resize(1600, 1100);
    window.addAllDatasets();
    window.findChild<QCheckBox*>(QStringLiteral("syncFeaturesCheck"))->setChecked(true);
    window.findChild<QComboBox*>(QStringLiteral("displayCombo"))
        ->setCurrentIndex(static_cast<int>(state.range(0)));
    window.findChild<QComboBox*>(QStringLiteral("colorCombo"))
        ->setCurrentIndex(static_cast<int>(state.range(1)));
    window.findChild<QComboBox*>(QStringLiteral("contourCombo"))->setCurrentIndex(1);
    window.findChild<QCheckBox*>(QStringLiteral("syncAxesCheck"))->setChecked(true);
    window.findChild<QDockWidget*>(QStringLiteral("statsDock"))->show();
    window.show();
    QWidget* container = window.findChild<QWidget*>(QStringLiteral("plotContainer"));
    QApplication::processEvents();
    if (window.datasetCount() != kDatasets) {
        state.SkipWithError("the datasets are not in the window");
        return;
    }
    const double cpuBefore = processCpuMs();
    for (auto _ : state) {
        window.refresh();
        window.flushRefresh();
        benchmark::DoNotOptimize(container->grab());
    }
    state.counters["cpu_ms"] =
        benchmark::Counter(processCpuMs() - cpuBefore, benchmark::Counter::kAvgIterations);
    state.counters["plots"] = static_cast<double>(window.plots().size());
}
BENCHMARK(BM_CombineRebuildToFirstPaint)
    ->ArgNames({"display", "color"})
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

/// Eight refreshes of the main plot with density colours and contours, one
/// per measurement, each to the end of its canvas paint.
void BM_EightMainPlotUpdates(benchmark::State& state) {
    MainWindow& main = sharedWindow();
    auto* color = main.findChild<QComboBox*>(QStringLiteral("colorCombo"));
    color->setCurrentIndex(color->findData(QStringLiteral("__density_kde__")));
    main.findChild<QComboBox*>(QStringLiteral("contourModeCombo"))->setCurrentIndex(1);
    auto* dock = main.findChild<Quorvex3::FilterDockWidget*>();
    QWidget* canvas =
        main.findChild<Quorvex3::ScatterPlot*>(QStringLiteral("scatterPlot"))->canvas();
    emit dock->filterChanged();
    main.flushPlotRequests();
    canvas->repaint();
    const double cpuBefore = processCpuMs();
    for (auto _ : state) {
        for (int k = 0; k < kDatasets; ++k) {
            emit dock->filterChanged();
            main.flushPlotRequests();
            canvas->repaint();
        }
    }
    state.counters["cpu_ms"] =
        benchmark::Counter(processCpuMs() - cpuBefore, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_EightMainPlotUpdates)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
