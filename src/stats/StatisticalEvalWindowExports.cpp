// The "&Export" menu: the group and ROC plots as one document, the results
// and ROC tables as TSV or CSV, the last ROC run's curve coordinates, and the
// distribution plots as one SVG file each. Files are written whole or not at
// all, and a failure is reported with the path; an old file stays as it was.
#include "stats/StatisticalEvalWindow.h"

#include "stats/EvaluationPlotExport.h"
#include "stats/TableText.h"
#include "util/AtomicFile.h"
#include "util/DialogProvider.h"

#include <QTableWidget>

namespace Quorvex3 {

namespace {

const QString kPlotFilters =
    QStringLiteral("PNG Image (*.png);;SVG Vector (*.svg);;PDF Document (*.pdf)");
const QString kTableFilters = QStringLiteral("Tab-separated values (*.tsv);;CSV (*.csv)");

void inform(QWidget* parent, const QString& text) {
    DialogProvider::current().information(parent, QStringLiteral("Export"), text, QMessageBox::Ok);
}

void warnNotWritten(QWidget* parent, const QString& path, const QString& reason) {
    DialogProvider::current().warning(
        parent, QStringLiteral("Export"),
        QStringLiteral("Could not write file:\n%1\n\n%2").arg(path, reason), QMessageBox::Ok);
}

/// The save dialog's answer, empty when cancelled. A name typed with one of
/// the offered extensions keeps it ("table.CSV" under the TSV filter is a
/// CSV file, as in the main plot export); others get the selected filter's.
QString askSavePath(QWidget* parent, const QString& caption, const QString& filters) {
    return askSaveFilePath(parent, caption, QString(), filters);
}

void writeText(QWidget* parent, const QString& path, const std::string& text) {
    QString reason;
    const WriteResult result = writeFileAtomically(path, QByteArray::fromStdString(text), &reason);
    if (result != WriteResult::Written)
        warnNotWritten(parent, path, reason);
}

/// Header line and rows of a table as shown, cells escaped for `separator`.
std::string tableText(const QTableWidget& table, char separator) {
    const auto text = [](const QTableWidgetItem* item) {
        return item ? item->text().toUtf8().toStdString() : std::string();
    };
    std::vector<std::string> cells;
    for (int c = 0; c < table.columnCount(); ++c)
        cells.push_back(text(table.horizontalHeaderItem(c)));
    std::string out = joinTableRow(cells, separator);
    for (int r = 0; r < table.rowCount(); ++r) {
        cells.clear();
        for (int c = 0; c < table.columnCount(); ++c)
            cells.push_back(text(table.item(r, c)));
        out += joinTableRow(cells, separator);
    }
    return out;
}

void exportPlotList(QWidget* parent, const std::vector<QwtPlot*>& plots, const QString& empty,
                    const QString& caption, const QSizeF& plotSizeMm) {
    if (plots.empty()) {
        inform(parent, empty);
        return;
    }
    const QString path = askSavePath(parent, caption, kPlotFilters);
    if (path.isEmpty())
        return;
    PlotDocumentStyle style;
    style.plotSizeMm = plotSizeMm;
    QString reason;
    if (!exportPlots(plots, path, style, &reason))
        warnNotWritten(parent, path, reason);
}

void exportTableWidget(QWidget* parent, const QTableWidget& table, const QString& empty,
                       const QString& caption) {
    if (table.rowCount() == 0) {
        inform(parent, empty);
        return;
    }
    const QString path = askSavePath(parent, caption, kTableFilters);
    if (path.isEmpty())
        return;
    writeText(parent, path, tableText(table, tableSeparatorForPath(path.toStdString())));
}

} // namespace

void StatisticalEvalWindow::exportPlots() {
    exportPlotList(this, m_groupPlots, QStringLiteral("No plots to export. Run analysis first."),
                   QStringLiteral("Export Plots"), QSizeF(120.0, 80.0));
}

void StatisticalEvalWindow::exportTable() {
    exportTableWidget(this, *m_resultsTable,
                      QStringLiteral("No results to export. Run analysis first."),
                      QStringLiteral("Export Table"));
}

void StatisticalEvalWindow::exportROCPlots() {
    exportPlotList(this, m_rocPlots,
                   QStringLiteral("No ROC plots to export. Run ROC analysis first."),
                   QStringLiteral("Export ROC Plots"), QSizeF(120.0, 120.0));
}

void StatisticalEvalWindow::exportROCTable() {
    exportTableWidget(this, *m_rocTable,
                      QStringLiteral("No ROC results to export. Run ROC analysis first."),
                      QStringLiteral("Export ROC Table"));
}

void StatisticalEvalWindow::exportROCData() {
    const QString empty = QStringLiteral("No ROC data to export. Run ROC analysis first.");
    if (m_rocPlots.empty()) {
        inform(this, empty);
        return;
    }
    const QString path = askSavePath(this, QStringLiteral("Export ROC Curve Data"), kTableFilters);
    if (path.isEmpty())
        return;
    // The curves of the last run, as the tab shows them (aggregated
    // replicates, the chosen classes), not a recomputation from whatever
    // the categories hold now.
    const char separator = tableSeparatorForPath(path.toStdString());
    std::string text;
    for (const auto& [label, result] : m_lastRocCurves)
        text += rocCurveDataBlock(label, result, separator);
    if (text.empty()) {
        inform(this, empty);
        return;
    }
    writeText(this, path, text);
}

void StatisticalEvalWindow::exportDistributionPlots() {
    if (m_distributionPlots.empty()) {
        inform(this,
               QStringLiteral("No distribution plots to export. Run distribution explorer first."));
        return;
    }
    const QString folder = DialogProvider::current().getExistingDirectory(
        this, QStringLiteral("Export Distribution Plots"), QString(), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return;
    PlotDocumentStyle style;
    style.plotSizeMm = QSizeF(200.0, 150.0);
    style.resolution = 300;
    style.discardBackground = true;
    int written = 0;
    QStringList failed;
    QString reason;
    for (std::size_t i = 0; i < m_distributionPlots.size(); ++i) {
        const QString path = QStringLiteral("%1/distribution_%2.svg").arg(folder).arg(i + 1);
        if (exportPlotDocument(m_distributionPlots[i], path, style, &reason))
            ++written;
        else
            failed.append(path);
    }
    if (!failed.isEmpty())
        warnNotWritten(this, failed.join(QLatin1Char('\n')), reason);
    if (written > 0)
        inform(this,
               QStringLiteral("Exported %1 distribution plot(s) to %2").arg(written).arg(folder));
}

} // namespace Quorvex3
