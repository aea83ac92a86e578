// Sessions on a real (offscreen) main window with ten generated
// measurements of 200,000 events and 14 compressed columns each:
// - BM_LoadSessionVsOpenDirectly: in one run, alternately, loading a session
//   of the ten measurements (menu "&Load Session...", from the click until
//   the load has ended and the active dataset is plotted) and opening the
//   same ten files directly (File > Open), until all are loaded and the last
//   one is plotted. Counters: "session_ms", "direct_ms", their "ratio"
//   (target at most 1.2), and "gui_max_gap_ms", the longest interval between
//   two turns of the GUI thread's event loop during the session load.
// - BM_SaveSession: "&Save Session..." of those ten datasets, from the click
//   until the file is on disk.
#include "GapMeter.h"
#include "app/MainWindow.h"
#include "model/DatasetEntry.h"
#include "support/RtdcFixtureWriter.h"
#include "util/DialogProvider.h"
#include "util/ScriptedDialogProvider.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

using Quorvex3::MainWindow;
using Quorvex3::testing::RtdcFixtureWriter;
using Quorvex3::testing::ScriptedDialogProvider;
using Quorvex3::testing::Storage;
using Quorvex3::testing::TempDir;

constexpr std::size_t kEvents = 200000;
constexpr int kDatasets = 10;

const char* const kExtraColumns[] = {"bright_avg",      "bright_sd", "area_ratio", "aspect",
                                     "inert_ratio_cvx", "pos_x",     "pos_y",      "size_x",
                                     "size_y",          "time",      "fl1_max",    "fl2_max"};

TempDir& folder() {
    static TempDir dir;
    return dir;
}

/// Writes the ten measurements once and returns their paths.
const QStringList& measurements() {
    static const QStringList paths = [] {
        QStringList list;
        std::mt19937 rng(7u);
        std::normal_distribution<float> area(70.0f, 15.0f);
        std::normal_distribution<float> deform(0.02f, 0.008f);
        std::uniform_real_distribution<float> other(0.0f, 100.0f);
        std::vector<float> values(kEvents);
        for (int k = 0; k < kDatasets; ++k) {
            const std::string path = folder().file("m" + std::to_string(k) + ".rtdc");
            RtdcFixtureWriter writer(path);
            for (float& v : values)
                v = area(rng);
            writer.addColumn<float>("area_um", values, Storage::compressed(1));
            for (float& v : values)
                v = deform(rng);
            writer.addColumn<float>("deform", values, Storage::compressed(1));
            for (const char* name : kExtraColumns) {
                for (float& v : values)
                    v = other(rng);
                writer.addColumn<float>(name, values, Storage::compressed(1));
            }
            writer.setStringAttribute("experiment:sample", "bench " + std::to_string(k));
            writer.setScalarAttribute<double>("imaging:pixel size", 0.34);
            writer.close();
            list << QString::fromStdString(path);
        }
        return list;
    }();
    return paths;
}

struct Harness {
    ScriptedDialogProvider dialogs;
    Quorvex3::ScopedDialogProvider guard{dialogs};
    MainWindow window;

    Harness() {
        window.resize(1400, 900);
        window.show();
        QApplication::processEvents();
    }

    void trigger(const QString& menuTitle, const QString& item) {
        for (QMenu* menu : window.menuBar()->findChildren<QMenu*>())
            if (menu->title() == menuTitle)
                for (QAction* action : menu->actions())
                    if (action->text() == item) {
                        action->trigger();
                        return;
                    }
    }

    template <typename Done> void spinUntil(Done done) {
        while (!done())
            QApplication::processEvents(QEventLoop::AllEvents, 2);
    }

    bool allLoaded() const {
        return std::all_of(window.datasets().begin(), window.datasets().end(),
                           [](const auto& entry) { return entry->featuresLoaded; });
    }

    void clear() {
        spinUntil([&] { return allLoaded(); });
        dialogs.buttonAnswers = {QMessageBox::Ok};
        trigger(QStringLiteral("&File"), QStringLiteral("&Clear Session"));
        QApplication::processEvents();
    }

    void openDirectly() {
        dialogs.multiFileAnswers = {measurements()};
        trigger(QStringLiteral("&File"), QStringLiteral("&Open..."));
        spinUntil(
            [&] { return window.datasets().size() == std::size_t(kDatasets) && allLoaded(); });
        window.flushPlotRequests();
    }

    void loadSession(const QString& path) {
        dialogs.buttonAnswers = {QMessageBox::Ok};
        dialogs.fileAnswers = {path};
        trigger(QStringLiteral("&File"), QStringLiteral("&Load Session..."));
        spinUntil([&] { return !window.sessionLoading(); });
        window.flushPlotRequests();
    }

    void saveSession(const QString& path) {
        dialogs.fileAnswers = {path};
        trigger(QStringLiteral("&File"), QStringLiteral("&Save Session..."));
    }
};

Harness& harness() {
    static Harness* h = new Harness();
    return *h;
}

using Quorvex3::bench::GapMeter;

void BM_LoadSessionVsOpenDirectly(benchmark::State& state) {
    Harness& h = harness();
    const QString session = QString::fromStdString(folder().file("bench.QV3"));
    h.clear();
    h.openDirectly();
    h.saveSession(session);
    double sessionMs = 0, directMs = 0, worstGap = 0;
    QElapsedTimer clock;
    GapMeter gaps;
    for (auto _ : state) {
        h.clear();
        clock.start();
        h.openDirectly();
        directMs += static_cast<double>(clock.nsecsElapsed()) / 1e6;

        h.clear();
        gaps.start();
        clock.start();
        h.loadSession(session);
        sessionMs += static_cast<double>(clock.nsecsElapsed()) / 1e6;
        worstGap = std::max(worstGap, gaps.stopMs());
        if (h.window.datasets().size() != std::size_t(kDatasets)) {
            state.SkipWithError("the session did not restore every dataset");
            break;
        }
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["session_ms"] = sessionMs / n;
    state.counters["direct_ms"] = directMs / n;
    state.counters["ratio"] = sessionMs / directMs;
    state.counters["gui_max_gap_ms"] = worstGap;
}
BENCHMARK(BM_LoadSessionVsOpenDirectly)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_SaveSession(benchmark::State& state) {
    Harness& h = harness();
    if (h.window.datasets().size() != std::size_t(kDatasets)) {
        h.clear();
        h.openDirectly();
    }
    const QString session = QString::fromStdString(folder().file("saved.QV3"));
    for (auto _ : state)
        h.saveSession(session);
}
BENCHMARK(BM_SaveSession)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
