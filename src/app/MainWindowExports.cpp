// The main window's exports: datasets as .rtdc, TSV or AVI files, and the
// main scatter plot as an image or document.
#include "app/MainWindow.h"

#include "core/RTDCReader.h"
#include "plots/PlotExportStyle.h"
#include "plots/ScatterPlot.h"
#include "session/DatasetExport.h"
#include "session/ExportDialog.h"
#include "util/AtomicFile.h"
#include "util/DialogProvider.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QProgressDialog>

#include <qwt_plot_renderer.h>

namespace Quorvex3 {

namespace {

const QString kPlotFilters =
    QStringLiteral("PNG Image (*.png);;SVG Vector (*.svg);;PDF Document (*.pdf)");
// The exported plot's page: millimetres, and dots per inch of raster images.
const QSizeF kPlotSizeMm(200.0, 150.0);
constexpr int kPlotResolution = 150;

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

/// Renders `plot` into `path`, the kind of file chosen by its extension
/// (PDF, SVG, else a raster image), through a temporary file that replaces
/// `path` only when the renderer produced something.
bool renderPlotFile(QwtPlot* plot, const QString& path, QString& error) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool document = suffix == QLatin1String("pdf") || suffix == QLatin1String("svg");
    if (!document && !QImageWriter::supportedImageFormats().contains(suffix.toLatin1())) {
        error = QStringLiteral("Unknown image format \"%1\".").arg(suffix);
        return false;
    }
    TemporaryTarget target(path);
    if (!target.create(&error))
        return false;
    QwtPlotRenderer renderer;
    configureExportRenderer(renderer);
    // The renderer reports nothing: an empty file is its only sign of failure.
    renderer.renderDocument(plot, target.temporaryPath(), suffix, kPlotSizeMm, kPlotResolution);
    if (QFileInfo(target.temporaryPath()).size() <= 0) {
        error = QStringLiteral("Nothing could be written.");
        return false;
    }
    return target.commit(&error);
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

    std::vector<std::pair<QString, ExportOutcome>> outcomes;
    if (!result.allDatasets) {
        outcomes.emplace_back(active->displayName, exportSingleDataset(active, result));
        showMessage(this, closingMessage(outcomes, false));
        return;
    }
    // By id: a preload finishing while the progress box lets events through
    // may add datasets, and the list then grows under the loop.
    std::vector<int> ids;
    for (const auto& entry : datasets())
        ids.push_back(entry->id);
    const int total = static_cast<int>(ids.size());
    QProgressDialog progress(QStringLiteral("Exporting data..."), QStringLiteral("Cancel"), 0,
                             total, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    for (int i = 0; i < total; ++i) {
        if (progress.wasCanceled())
            return;
        DatasetEntry* entry = findDatasetById(ids[static_cast<std::size_t>(i)]);
        const QString name = entry ? entry->displayName : QString();
        progress.setLabelText(
            QStringLiteral("Exporting %1 (%2/%3)").arg(name).arg(i + 1).arg(total));
        progress.setValue(i);
        outcomes.emplace_back(name, exportSingleDataset(entry, result));
    }
    progress.setValue(total);
    showMessage(this, closingMessage(outcomes, true));
}

ExportOutcome MainWindow::exportSingleDataset(DatasetEntry* dataset, const ExportResult& result) {
    if (!dataset)
        return ExportOutcome{};
    // Held for the export, so the measurement stays open whatever happens
    // to the dataset meanwhile.
    const std::shared_ptr<RTDCReader> reader = dataset->reader;
    DatasetExportJob job;
    job.reader = reader.get();
    job.filePath = dataset->filePath;
    job.displayName = dataset->displayName;
    job.metadata = &dataset->metadata;
    job.effectiveFilter = buildEffectiveFilter(dataset);
    const ExportOutcome outcome = exportDataset(job, result);
    showMessage(this, failureMessage(outcome, dataset->displayName));
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
    const bool written = renderPlotFile(m_scatterPlot, path, error);
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
