// experiment
#include "compare/CombinePlotWindow.h"
#include "core/RTDCReader.h"
#include "model/DatasetStore.h"
#include "plots/PlotRecording.h"
#include "support/RtdcFixtureWriter.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <qwt_plot.h>
#include <qwt_plot_renderer.h>

#include <benchmark/benchmark.h>
#include <iostream>
#include <random>
#include <thread>

using namespace Quorvex3;

static void BM_Experiment(benchmark::State& state) {
    testing::TempDir dir;
    const size_t n = state.range(0);
    std::mt19937 rng(1);
    std::normal_distribution<float> a(60, 14), d(0.02f, 0.007f);
    std::vector<float> av(n), dv(n);
    for (size_t i = 0; i < n; ++i) { av[i] = a(rng); dv[i] = d(rng); }
    { testing::RtdcFixtureWriter w(dir.file("m.rtdc")); w.addColumn<float>("area_um", av); w.addColumn<float>("deform", dv); w.close(); }
    DatasetStore store;
    auto e = std::make_unique<DatasetEntry>();
    e->reader = std::make_shared<RTDCReader>();
    e->reader->openFile(dir.file("m.rtdc"));
    e->featuresLoaded = true; e->displayName = "m";
    int id = store.at(store.append(std::move(e)))->id;
    CombinePlotWindow window(&store, nullptr);
    window.addDataset(id);
    window.findChild<QComboBox*>("displayCombo")->setCurrentIndex(2);
    window.findChild<QComboBox*>("contourCombo")->setCurrentIndex(1);
    window.findChild<QComboBox*>("colorCombo")->setCurrentIndex(state.range(1));
    QwtPlot* plot = window.plots()[0];
    for (auto _ : state) {
        for (PlotFileFormat f : {PlotFileFormat::Png, PlotFileFormat::Pdf, PlotFileFormat::Svg}) {
            const char* ext = f == PlotFileFormat::Png ? "png" : f == PlotFileFormat::Pdf ? "pdf" : "svg";
            QwtPlotRenderer r;
            QElapsedTimer t; t.start();
            QString err;
            renderPlotFile(r, plot, QString("/tmp/cmpexp/direct.%1").arg(ext), f, QSizeF(100,100), 150, &err);
            std::cerr << ext << " direct: " << t.elapsed() << " ms\n";
            t.restart();
            const PlotTarget target = plotDocumentTarget(f, QSizeF(100, 100), 150);
            PlotRecorder rec(target);
            rec.render(r, plot, rec.documentRect());
            auto recording = rec.finish();
            std::cerr << ext << " record: " << t.elapsed() << " ms\n";
            t.restart();
            bool ok = writeRecordedPlot(QString("/tmp/cmpexp/rec.%1").arg(ext), target, *recording, nullptr, {}, &err);
            std::cerr << ext << " write: " << t.elapsed() << " ms " << ok << "\n";
            // page
            PlotPageSetup page; page.sizeMm = QSizeF(100,100); page.dpi = 150; page.title = "t";
            t.restart();
            writePlotPage(QString("/tmp/cmpexp/pdirect.%1").arg(ext), f, page, [&](QPainter& p, double u) { r.render(plot, &p, QRectF(0,0,100*u,100*u)); }, &err);
            std::cerr << ext << " page direct: " << t.elapsed() << " ms\n";
            t.restart();
            const PlotTarget pt = plotPageTarget(f, page);
            PlotRecorder prec(pt);
            prec.render(r, plot, QRectF(0,0,100*prec.unitsPerMm(),100*prec.unitsPerMm()));
            auto precording = prec.finish();
            std::cerr << ext << " page record: " << t.elapsed() << " ms\n";
            ok = writeRecordedPlot(QString("/tmp/cmpexp/prec.%1").arg(ext), pt, *precording, nullptr, {}, &err);
        }
    }
}
BENCHMARK(BM_Experiment)->Args({20000, 1})->Args({20000, 0})->Iterations(1)->Unit(benchmark::kMillisecond);
