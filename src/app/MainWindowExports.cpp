// The main window's exports: datasets as .rtdc, TSV or AVI files, and the
// main scatter plot as an image or document.
#include "app/MainWindow.h"

#include "core/RTDCReader.h"
#include "plots/PlotExportStyle.h"
#include "plots/PlotFileExport.h"
#include "plots/ScatterPlot.h"
#include "session/DatasetExport.h"
#include "session/ExportDialog.h"
#include "util/DialogProvider.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QProgressDialog>
#include <QTimer>
#include <QtConcurrent>

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>

#include <qwt_plot_renderer.h>

namespace Quorvex3 {

namespace {

const QString kPlotFilters =
    QStringLiteral("PNG Image (*.png);;SVG Vector (*.svg);;PDF Document (*.pdf)");
// The exported plot's page: millimetres, and dots per inch of raster images.
const QSizeF kPlotSizeMm(200.0, 150.0);
constexpr int kPlotResolution = 150;
// Steps of the export progress per dataset, and how often it moves.
constexpr int kExportProgressSteps = 1000;
constexpr int kExportProgressIntervalMs = 50;

// How far the export running on a pool thread has come, and whether the
// user asked it to stop; shared by the task and the GUI thread.
struct ExportRunState {
    std::atomic<std::size_t> done{0};
    std::atomic<std::size_t> total{0};
    std::atomic<bool> cancel{false};
};

void showMessage(QWidget* parent, const ExportMessage& message) {
    DialogProvider& dialogs = DialogProvider::current();
    switch (message.kind) {
    case ExportMessage::Kind::Information:
        dialogs.information(parent, message.title, message.text, QMessageBox::Ok);
        break;
    case ExportMessage::Kind::Warning:
        dialogs.warning(parent, message.title, message.text, QMessageBox::Ok);
        break;
    case ExportMessage::Kind::Critical:
        dialogs.critical(parent, message.title, message.text, QMessageBox::Ok);
        break;
    case ExportMessage::Kind::None:
        break;
    }
}

} // namespace

void MainWindow::exportData() {
    DatasetEntry* active = activeDataset();
    if (!active || !active->featuresLoaded) {
        DialogProvider::current().warning(this, QStringLiteral("Export"),
                                          QStringLiteral("No loaded dataset available for export."),
                                          QMessageBox::Ok);
        return;
    }
    ExportDialog dialog(active, datasets(), false, this,
                        m_lastExportResult ? &*m_lastExportResult : nullptr);
    if (DialogProvider::current().execDialog(dialog) != QDialog::Accepted)
        return;
    const ExportResult result = dialog.getResult();
    m_lastExportResult = result;

    // By id: a preload finishing while the export runs may add datasets,
    // and the list then grows under the loop.
    std::vector<int> ids;
    if (result.allDatasets) {
        for (const auto& entry : datasets())
            ids.push_back(entry->id);
    } else {
        ids.push_back(active->id);
    }
    const int total = static_cast<int>(ids.size());
    QProgressDialog progress(QStringLiteral("Exporting data..."), QStringLiteral("Cancel"), 0,
                             total * kExportProgressSteps, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    std::vector<std::pair<QString, ExportOutcome>> outcomes;
    for (int i = 0; i < total; ++i) {
        if (progress.wasCanceled())
            return;
        DatasetEntry* entry = findDatasetById(ids[static_cast<std::size_t>(i)]);
        const QString name = entry ? entry->displayName : QString();
        progress.setLabelText(
            result.allDatasets
                ? QStringLiteral("Exporting %1 (%2/%3)").arg(name).arg(i + 1).arg(total)
                : QStringLiteral("Exporting %1").arg(name));
        progress.setValue(i * kExportProgressSteps);
        outcomes.emplace_back(name, exportSingleDataset(entry, result, progress, i));
        if (outcomes.back().second.status == ExportOutcome::Status::Cancelled)
            return;
    }
    progress.setValue(total * kExportProgressSteps);
    showMessage(this, closingMessage(outcomes, result.allDatasets));
}

ExportOutcome MainWindow::exportSingleDataset(DatasetEntry* dataset, const ExportResult& result,
                                              QProgressDialog& progress, int position) {
    if (!dataset)
        return ExportOutcome{};
    // The task holds the reader and its own copy of what it reads of the
    // dataset, so the measurement stays open and the record may change
    // (or go) while the file is written.
    const std::shared_ptr<RTDCReader> reader = dataset->reader;
    const auto metadata = std::make_shared<const RTDCMetadata>(dataset->metadata);
    const auto state = std::make_shared<ExportRunState>();
    DatasetExportJob job;
    job.reader = reader.get();
    job.filePath = dataset->filePath;
    job.displayName = dataset->displayName;
    job.metadata = metadata.get();
    job.effectiveFilter = buildEffectiveFilter(dataset);
    job.progress = [state](std::size_t done, std::size_t total) {
        state->done.store(done);
        state->total.store(total);
        return !state->cancel.load();
    };
    const QString displayName = dataset->displayName;

    // The writing runs on a pool thread; the window keeps repainting and
    // the progress moves within the dataset until the task ends.
    QFutureWatcher<ExportOutcome> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    QTimer ticker;
    ticker.setInterval(kExportProgressIntervalMs);
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&progress, &state, position] {
        if (progress.wasCanceled())
            state->cancel.store(true);
        const std::size_t total = state->total.load();
        const std::size_t done = std::min(state->done.load(), total);
        const int within =
            total == 0 ? 0 : static_cast<int>(double(done) / double(total) * kExportProgressSteps);
        progress.setValue(position * kExportProgressSteps +
                          std::min(within, kExportProgressSteps - 1));
    });
    QObject::connect(&progress, &QProgressDialog::canceled, &loop,
                     [&state] { state->cancel.store(true); });
    watcher.setFuture(QtConcurrent::run([job = std::move(job), result, reader, metadata] {
        try {
            return exportDataset(job, result);
        } catch (const std::exception& e) {
            // Nothing may leave a pool task unseen (QtConcurrent would keep it).
            ExportOutcome outcome;
            outcome.status = ExportOutcome::Status::WriteFailed;
            outcome.error = QString::fromLocal8Bit(e.what());
            return outcome;
        } catch (...) {
            ExportOutcome outcome;
            outcome.status = ExportOutcome::Status::WriteFailed;
            outcome.error = QStringLiteral("Unexpected error while writing.");
            return outcome;
        }
    }));
    ticker.start();
    if (!watcher.isFinished())
        loop.exec();
    ticker.stop();
    const ExportOutcome outcome = watcher.result();
    showMessage(this, failureMessage(outcome, displayName));
    return outcome;
}

void MainWindow::exportPlot() {
    // The file shows what the plot shows once every request is in.
    flushPlotRequests();
    DatasetEntry* entry = activeDataset();
    RTDCReader* reader = activeReader();
    DialogProvider& dialogs = DialogProvider::current();
    if (!entry || !entry->featuresLoaded || !reader || !reader->isOpen()) {
        dialogs.warning(this, QStringLiteral("Export Plot"),
                        QStringLiteral("No loaded dataset to export the plot of."),
                        QMessageBox::Ok);
        return;
    }
    // A typed "plot.svg" means an SVG file, whichever filter was left selected.
    const QString path =
        askSaveFilePath(this, QStringLiteral("Export Plot"), QString(), kPlotFilters);
    if (path.isEmpty())
        return;

    m_scatterPlot->clearHighlight();
    m_scatterPlot->clearPolygonOverlays();
    const PlotExportStyle style = applyExportStyle(m_scatterPlot);
    QString error;
    QwtPlotRenderer renderer;
    configureExportRenderer(renderer);
    // Checked before it replaces the old file: a full disk or a size limit
    // cuts the document short without the renderer saying so.
    const bool written =
        renderPlotFile(renderer, m_scatterPlot, path, plotFileFormatOf(QFileInfo(path).suffix()),
                       kPlotSizeMm, kPlotResolution, &error);
    // The screen gets its look, gates and highlight back in every case.
    restoreExportStyle(m_scatterPlot, style);
    updatePolygonOverlays();
    if (entry->currentEventIndex >= 0) {
        const int plotIndex = plotIndexOfEvent(entry->currentEventIndex);
        if (plotIndex >= 0)
            m_scatterPlot->highlightPoint(plotIndex);
    }
    if (!written)
        dialogs.critical(this, QStringLiteral("Export Error"),
                         QStringLiteral("Failed to export the plot to: %1\n\n%2").arg(path, error),
                         QMessageBox::Ok);
}

} // namespace Quorvex3
