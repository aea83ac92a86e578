// Compute actions of the main window, measured as a user meets them on a real
// (offscreen) window with generated measurements:
// - Young's modulus of 1e6 events with a generated look-up table, started by
//   the calculations dock's button;
// - pooled UMAP over 10 datasets x 5e4 events x 8 features, fitted on all
//   datasets and applied to all, started by the dock's button.
// The time runs from the button press to the new features shown: the task's
// finish step (records updated) and the plot refresh it asks for; "work_ms"
// is the press to the end of the background work. A 1 ms timer on the GUI
// thread records the longest interval between two of its timeouts: during
// the work, including what the action does on the GUI thread before the task
// starts ("gui_max_gap_ms": the work must not freeze the window), and during
// the finish step, the plot refresh and the 500 ms after ("gap_finish_ms").

#include "GapMeter.h"
#include "app/MainWindow.h"
#include "calc/CalculationsDockWidget.h"
#include "calc/EModulus.h"
#include "core/RTDCReader.h"
#include "dimred/DimRedReference.h"
#include "model/DatasetEntry.h"
#include "support/RtdcFixtureWriter.h"
#include "util/ScriptedDialogProvider.h"

#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using Quorvex3::MainWindow;
using Quorvex3::testing::RtdcFixtureWriter;
using Quorvex3::testing::Storage;
using Quorvex3::testing::TempDir;

TempDir& benchDir() {
    static TempDir dir;
    return dir;
}

/// A table over areas [20, 300] µm² and deformations [0, 0.1]; returns the
/// folder to search it in.
std::string lookUpTableDir() {
    static const std::string base = [] {
        const std::string dir = benchDir().file("program");
        std::filesystem::create_directories(dir + "/data");
        std::ofstream out(dir + "/data/LUT_LE_2D_FEM.txt");
        out << "area_um deform emodulus\n";
        for (int i = 0; i <= 28; ++i)
            for (int j = 0; j <= 40; ++j) {
                const double area = 20.0 + 10.0 * i, deform = 0.0025 * j;
                out << area << ' ' << deform << ' '
                    << std::pow(area / 80.0, 0.7) * 0.025 / (deform + 0.005) << '\n';
            }
        return dir;
    }();
    return base;
}

const char* const kUmapFeatures[] = {"area_um", "deform",     "bright_avg", "bright_sd",
                                     "aspect",  "area_ratio", "fl1_max",    "fl2_max"};

/// A measurement of `events` cells in three groups, with the eight features
/// above as compressed float columns and the usual metadata.
std::string writeMeasurement(const std::string& name, std::size_t events, unsigned seed) {
    const std::string path = benchDir().file(name);
    std::mt19937 rng(seed);
    std::normal_distribution<float> unit(0.0f, 1.0f);
    std::vector<std::vector<float>> columns(std::size(kUmapFeatures), std::vector<float>(events));
    for (std::size_t i = 0; i < events; ++i) {
        const float group = static_cast<float>(i % 3);
        columns[0][i] = std::exp(std::log(80.0f) + 0.25f * unit(rng));
        columns[1][i] = std::max(0.002f, 0.02f + 0.007f * unit(rng));
        for (std::size_t j = 2; j < columns.size(); ++j)
            columns[j][i] = 10.0f * group * static_cast<float>(j % 3 + 1) + unit(rng);
    }
    RtdcFixtureWriter writer(path);
    for (std::size_t j = 0; j < columns.size(); ++j)
        writer.addColumn<float>(kUmapFeatures[j], columns[j], Storage::compressed(1));
    writer.setStringAttribute("experiment:sample", name);
    writer.setStringAttribute("setup:chip region", "channel");
    writer.setStringAttribute("setup:medium", "Water");
    writer.setScalarAttribute<double>("setup:channel width", 20.0);
    writer.setScalarAttribute<double>("setup:flow rate", 0.16);
    writer.setScalarAttribute<double>("setup:temperature", 23.0);
    writer.setScalarAttribute<double>("imaging:pixel size", 0.34);
    writer.close();
    return path;
}

/// Runs the event loop until `done` holds, idling between events as the
/// application does (a busy loop would take a core from the task).
template <typename Done> void spinUntil(Done done) {
    if (done())
        return;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done())
            loop.quit();
    });
    poll.start();
    loop.exec();
}

void spinFor(int ms) {
    QElapsedTimer clock;
    clock.start();
    spinUntil([&] { return clock.elapsed() >= ms; });
}

/// The window with the given datasets open and loaded; dialogs answered by
/// a script (the fit reports its result in a box).
struct Scene {
    Quorvex3::testing::ScriptedDialogProvider dialogs;
    Quorvex3::ScopedDialogProvider guard{dialogs};
    MainWindow window;

    explicit Scene(const std::vector<std::string>& paths) {
        window.findChild<Quorvex3::EModulus*>()->setLUTSearchDir(
            QString::fromStdString(lookUpTableDir()));
        window.resize(1400, 900);
        window.show();
        // The dock in front, as for a user pressing its buttons (its hidden
        // progress bar would never report the end of the work).
        window.findChild<QDockWidget*>(QStringLiteral("calculationsDock"))->raise();
        for (const std::string& path : paths)
            window.addDataset(QString::fromStdString(path));
        spinUntil([&] {
            if (window.datasets().size() != paths.size())
                return false;
            for (const auto& entry : window.datasets())
                if (!entry->featuresLoaded)
                    return false;
            return true;
        });
        spinFor(200);
    }
    QPushButton* button(const QString& text) {
        for (QPushButton* b : window.findChildren<QPushButton*>())
            if (b->text() == text)
                return b;
        return nullptr;
    }
};

using Quorvex3::bench::GapMeter;

/// Calls `hidden` when the watched widget is hidden: the task runner hides
/// the progress bar the moment the work has ended, right before the finish
/// step.
class HideWatcher : public QObject {
public:
    HideWatcher(QWidget* widget, std::function<void()> hidden)
        : m_widget(widget), m_hidden(std::move(hidden)) {
        widget->installEventFilter(this);
    }
    ~HideWatcher() override { m_widget->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_widget && event->type() == QEvent::Hide)
            m_hidden();
        return false;
    }

private:
    QWidget* m_widget;
    std::function<void()> m_hidden;
};

/// What one press cost: seconds from the press to the new features shown
/// (the task's finish step and the plot refresh it asks for), milliseconds
/// to the end of the background work, and the longest GUI-thread gaps
/// during the work and during the finish, refresh and the 500 ms after.
struct PressCost {
    double seconds = 0.0;
    double workMs = 0.0;
    double workGapMs = 0.0;
    double finishGapMs = 0.0;
};

PressCost pressAndWait(Scene& scene, QPushButton* button) {
    auto* dock = scene.window.findChild<Quorvex3::CalculationsDockWidget*>();
    PressCost cost;
    GapMeter gaps;
    QElapsedTimer clock;
    bool pressed = false;
    const HideWatcher watcher(dock->progressBar(), [&] {
        if (!pressed || cost.workMs > 0.0)
            return;
        cost.workMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        cost.workGapMs = gaps.takeMs();
    });
    gaps.start();
    QTimer::singleShot(0, [&] {
        clock.start();
        pressed = true;
        button->click();
    });
    spinUntil([&] { return pressed && !scene.window.calcBusy(); });
    // The refresh may have run already; if not, it runs now.
    scene.window.flushPlotRequests();
    cost.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    spinFor(500);
    cost.finishGapMs = gaps.takeMs();
    return cost;
}

/// Runs the presses and reports the slowest work and worst gaps as counters.
void runPresses(benchmark::State& state, Scene& scene, QPushButton* button) {
    PressCost worst;
    for (auto _ : state) {
        const PressCost cost = pressAndWait(scene, button);
        if (cost.workMs <= 0.0) {
            state.SkipWithError("the end of the background work was not seen");
            break;
        }
        state.SetIterationTime(cost.seconds);
        worst.workMs = std::max(worst.workMs, cost.workMs);
        worst.workGapMs = std::max(worst.workGapMs, cost.workGapMs);
        worst.finishGapMs = std::max(worst.finishGapMs, cost.finishGapMs);
    }
    state.counters["work_ms"] = worst.workMs;
    state.counters["gui_max_gap_ms"] = worst.workGapMs;
    state.counters["gap_finish_ms"] = worst.finishGapMs;
}

void BM_EmodulusRequestToFeatures(benchmark::State& state) {
    const auto events = static_cast<std::size_t>(state.range(0));
    Scene scene({writeMeasurement("emod.rtdc", events, 5u)});
    QPushButton* compute = scene.button(QStringLiteral("Compute Young's Modulus"));
    if (!compute || !compute->isEnabled()) {
        state.SkipWithError("no enabled Young's modulus button");
        return;
    }
    runPresses(state, scene, compute);
    const auto* entry = scene.window.activeDataset();
    if (!entry->emodApplied || !entry->reader->hasFeature("emodulus"))
        state.SkipWithError("Young's modulus was not computed");
}
BENCHMARK(BM_EmodulusRequestToFeatures)
    ->Arg(1000000)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

void BM_PooledUmapRequestToFeatures(benchmark::State& state) {
    const int datasets = 10;
    const auto events = static_cast<std::size_t>(state.range(0));
    std::vector<std::string> paths;
    for (int k = 0; k < datasets; ++k)
        paths.push_back(writeMeasurement("umap" + std::to_string(k) + ".rtdc", events,
                                         100u + static_cast<unsigned>(k)));
    Scene scene(paths);
    auto* dock = scene.window.findChild<Quorvex3::CalculationsDockWidget*>();
    dock->refreshDimRedFeatures(scene.window.activeDataset());
    auto* list = dock->findChild<QListWidget*>(QStringLiteral("dimRedFeatureList"));
    const std::set<std::string> chosen(std::begin(kUmapFeatures), std::end(kUmapFeatures));
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setCheckState(
            chosen.count(list->item(i)->data(Qt::UserRole).toString().toStdString())
                ? Qt::Checked
                : Qt::Unchecked);
    for (auto [name, data] : {std::pair{"dimRedMethod", 1}, std::pair{"dimRedFitScope", 1},
                              std::pair{"dimRedApplyScope", 1}}) {
        auto* combo = dock->findChild<QComboBox*>(QString::fromLatin1(name));
        combo->setCurrentIndex(combo->findData(data));
    }
    QPushButton* compute = scene.button(QStringLiteral("Compute Dimension Reduction"));
    if (!compute || !compute->isEnabled()) {
        state.SkipWithError("no enabled dimension-reduction button");
        return;
    }
    runPresses(state, scene, compute);
    for (const auto& entry : scene.window.datasets())
        if (!entry->reader->hasFeature("dim_1"))
            state.SkipWithError("a dataset got no embedding");
    if (!scene.window.dimRedReference() ||
        scene.window.dimRedReference()->model.nTrain != datasets * events)
        state.SkipWithError("the fit did not pool every event");
}
BENCHMARK(BM_PooledUmapRequestToFeatures)
    ->Arg(50000)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseManualTime();

} // namespace
