// Export Data on a real (offscreen) main window: one generated measurement
// of 40,000 events with 10 scalar features, 80 x 250 images and masks and
// two traces of 100 samples, exported as .rtdc with images, masks and
// traces (menu "Export &Data...", from the click until the closing box).
// Counters: "export_ms", the whole export, and "gui_max_gap_ms", the longest
// interval between two turns of the GUI thread's event loop meanwhile (a
// 1 ms timer on the GUI thread; the window must stay below 100 ms), and
// "progress_steps", how often the progress moved within the one dataset.
// The source is generated once into the build tree.
#include "CellFrameStacks.h"
#include "GapMeter.h"
#include "app/MainWindow.h"
#include "core/RTDCReader.h"
#include "model/DatasetEntry.h"
#include "session/ExportDialog.h"
#include "session/RowChunkWriter.h"
#include "util/DialogProvider.h"
#include "util/ScriptedDialogProvider.h"

#include <H5Cpp.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QProgressDialog>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace Quorvex3;
using Quorvex3::bench::GapMeter;
using Quorvex3::testing::ScriptedDialogProvider;

constexpr int kEvents = 40000;
constexpr std::size_t kTraceSamples = 100;
constexpr int kScalarFeatures = 10;

const std::string kDataDir = QUORVEX3_BENCH_DATA_DIR;
const std::string kSource = kDataDir + "/export_window_source_40k.rtdc";

// Writes the source once: scalar features, images and masks in chunks of
// one frame, traces in chunks of one row, all deflated at level 4.
void ensureSource() {
    bench::writeBenchSourceOnce(kSource, [](H5::H5File& file) {
        H5::Group events = file.createGroup("/events");
        std::mt19937_64 random(42);
        std::normal_distribution<double> normal(0.0, 1.0);
        const hsize_t n = kEvents;
        const char* const names[kScalarFeatures] = {
            "area_um",    "deform", "frame", "bright_avg", "bright_sd",
            "area_ratio", "aspect", "pos_x", "pos_y",      "time"};
        for (int f = 0; f < kScalarFeatures; ++f) {
            std::vector<double> values(kEvents);
            for (std::size_t i = 0; i < values.size(); ++i)
                values[i] = f == 2 ? double(i) : 50.0 + 10.0 * normal(random);
            events.createDataSet(names[f], H5::PredType::IEEE_F64LE, H5::DataSpace(1, &n))
                .write(values.data(), H5::PredType::NATIVE_DOUBLE);
        }
        bench::writeCellFrameStacks(events, n);
        H5::Group traces = events.createGroup("trace");
        for (const char* name : {"fl1_raw", "fl2_raw"}) {
            const hsize_t dims[2] = {n, kTraceSamples};
            const hsize_t chunk[2] = {1, kTraceSamples};
            H5::DSetCreatPropList create;
            create.setChunk(2, chunk);
            create.setDeflate(4);
            const H5::DataSet trace =
                traces.createDataSet(name, H5::PredType::STD_I16LE, H5::DataSpace(2, dims), create);
            bench::writeBenchRows(trace, 2, kTraceSamples * 2, kEvents,
                                  [](std::size_t row, std::vector<std::uint8_t>& b) {
                                      b.resize(kTraceSamples * 2);
                                      for (std::size_t s = 0; s < kTraceSamples; ++s) {
                                          const auto v =
                                              static_cast<std::int16_t>((row * 13 + s * s) % 2000);
                                          std::memcpy(b.data() + 2 * s, &v, 2);
                                      }
                                      return true;
                                  });
        }
        file.createAttribute("experiment:sample", H5::StrType(H5::PredType::C_S1, 5),
                             H5::DataSpace())
            .write(H5::StrType(H5::PredType::C_S1, 5), "bench");
    });
}

struct Harness {
    ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard{dialogs};
    MainWindow window;

    Harness() {
        window.resize(1280, 720);
        window.show();
        QApplication::processEvents();
        window.addDataset(QString::fromStdString(kSource));
        while (!window.activeDataset() || !window.activeDataset()->featuresLoaded)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        // The export dialog: current dataset, .rtdc, every kind of data.
        dialogs.dialogScript = [](QDialog& dialog) {
            if (!qobject_cast<ExportDialog*>(&dialog))
                return int(QDialog::Rejected);
            for (QAbstractButton* button : dialog.findChildren<QAbstractButton*>()) {
                const QString text = button->text();
                if (text == QLatin1String("Current dataset only") ||
                    text == QLatin1String(".rtdc (HDF5)") || text == QLatin1String("Images") ||
                    text == QLatin1String("Masks") || text == QLatin1String("Traces"))
                    button->setChecked(true);
            }
            for (QAbstractButton* button : dialog.findChildren<QAbstractButton*>())
                if (button->text() == QLatin1String("Export"))
                    button->click();
            return dialog.result();
        };
    }

    QAction* exportAction() {
        for (QMenu* menu : window.menuBar()->findChildren<QMenu*>())
            if (menu->title() == QLatin1String("&Export"))
                for (QAction* action : menu->actions())
                    if (action->text() == QLatin1String("Export &Data..."))
                        return action;
        return nullptr;
    }
};

void BM_ExportDataGuiStall(benchmark::State& state) {
    ensureSource();
    Harness h;
    QAction* action = h.exportAction();
    if (!action) {
        state.SkipWithError("no Export Data action");
        return;
    }
    const QString output = QFileInfo(QString::fromStdString(kSource)).absolutePath() +
                           QStringLiteral("/QV3export_export_window_source_40k.rtdc");
    double exportMs = 0;
    double worstGap = 0;
    int steps = 0;
    QElapsedTimer clock;
    GapMeter gaps;
    // Counts the distinct values the progress shows while the dataset is written.
    int lastValue = -1;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (auto* progress = h.window.findChild<QProgressDialog*>())
            if (progress->isVisible() && progress->value() != lastValue) {
                lastValue = progress->value();
                ++steps;
            }
    });
    for (auto _ : state) {
        QFile::remove(output);
        const std::size_t boxes = h.dialogs.calls.size();
        watcher.start(10);
        gaps.start();
        clock.start();
        action->trigger();
        exportMs += static_cast<double>(clock.nsecsElapsed()) / 1e6;
        worstGap = std::max(worstGap, gaps.stopMs());
        watcher.stop();
        if (h.dialogs.calls.size() <= boxes ||
            h.dialogs.calls.back().text != QLatin1String("Dataset exported successfully.") ||
            !QFileInfo::exists(output)) {
            state.SkipWithError("the export did not succeed");
            break;
        }
    }
    QFile::remove(output);
    const double n = static_cast<double>(state.iterations());
    state.counters["export_ms"] = exportMs / n;
    state.counters["gui_max_gap_ms"] = worstGap;
    state.counters["progress_steps"] = steps / n;
}
BENCHMARK(BM_ExportDataGuiStall)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
