// The combined plot window's plot export of one measurement of 1,000,000
// events (a shown window, "Same Plot", contours overlaid), as a PDF and as a
// PNG, with dataset colours (symbol dots) and with a heat map:
// - "stall_ms": the GUI thread's longest time without running its event
//   loop from the menu action until the written file is reported (a 5 ms
//   timer notes every turn of the loop); it should stay at or below 100 ms;
// - "export_ms" (the benchmark's time): until the file is written.
// Before the files were recorded on the GUI thread and written on a pool
// thread, the PDF froze the window for 20-25 s.

#include "compare/CombinePlotWindow.h"
#include "core/RTDCReader.h"
#include "model/DatasetStore.h"
#include "support/RtdcFixtureWriter.h"
#include "util/DialogProvider.h"
#include "util/ScriptedDialogProvider.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>

namespace {

using namespace Quorvex3;

constexpr std::size_t kEvents = 1000000;

struct Fixture {
    testing::TempDir dir;
    DatasetStore store;
    int id = -1;

    Fixture() {
        std::mt19937 rng(7);
        std::normal_distribution<float> area(60.0f, 14.0f);
        std::normal_distribution<float> deform(0.02f, 0.007f);
        std::vector<float> a(kEvents), d(kEvents);
        for (std::size_t i = 0; i < kEvents; ++i) {
            a[i] = area(rng);
            d[i] = deform(rng);
        }
        testing::RtdcFixtureWriter writer(dir.file("m.rtdc"));
        writer.addColumn<float>("area_um", a);
        writer.addColumn<float>("deform", d);
        writer.close();
        auto entry = std::make_unique<DatasetEntry>();
        entry->reader = std::make_shared<RTDCReader>();
        entry->reader->openFile(dir.file("m.rtdc"));
        entry->featuresLoaded = true;
        entry->displayName = QStringLiteral("m");
        id = store.at(store.append(std::move(entry)))->id;
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

/// range(0): 0 PDF, 1 PNG; range(1): colour mode (0 heat map, 1 dataset colour).
void BM_CombineExportStall(benchmark::State& state) {
    Fixture& f = fixture();
    CombinePlotWindow window(&f.store, nullptr);
    window.resize(1200, 800);
    window.addDataset(f.id);
    window.findChild<QComboBox*>(QStringLiteral("displayCombo"))->setCurrentIndex(2);
    window.findChild<QComboBox*>(QStringLiteral("contourCombo"))->setCurrentIndex(1);
    window.findChild<QComboBox*>(QStringLiteral("colorCombo"))
        ->setCurrentIndex(static_cast<int>(state.range(1)));
    window.show();
    QApplication::processEvents();
    testing::ScriptedDialogProvider dialogs;
    ScopedDialogProvider guard(dialogs);
    const QString path =
        QString::fromStdString(f.dir.file(state.range(0) == 0 ? "export.pdf" : "export.png"));

    double worstStall = 0.0;
    for (auto _ : state) {
        dialogs.fileAnswers.push_back(path);
        dialogs.filterAnswers.push_back(QString());
        QElapsedTimer sinceTick;
        qint64 longest = 0;
        QTimer ticks;
        ticks.setInterval(5);
        QObject::connect(&ticks, &QTimer::timeout,
                         [&] { longest = std::max(longest, sinceTick.restart()); });
        ticks.start();
        sinceTick.start();
        QTimer::singleShot(0, &window, [&] { window.exportPlots(); });
        QApplication::processEvents();
        while (window.exportRunning())
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        longest = std::max(longest, sinceTick.elapsed());
        ticks.stop();
        worstStall = std::max(worstStall, static_cast<double>(longest));
    }
    state.counters["stall_ms"] = worstStall;
}
BENCHMARK(BM_CombineExportStall)
    ->ArgNames({"png", "color"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
