// The statistical summary export of the main window's "&Export" menu: the
// dialog's choices, then one table of every chosen statistic per dataset and
// feature, written in one step so a failed export leaves the old file.
#include "app/MainWindow.h"

#include "app/StatSummaryTable.h"
#include "stats/StatSummaryExportDialog.h"
#include "stats/SummaryStatistics.h"
#include "util/AtomicFile.h"
#include "util/DialogProvider.h"

#include <QFileInfo>

namespace Quorvex3 {

namespace {

void warn(QWidget* parent, const QString& text) {
    DialogProvider::current().warning(parent, QStringLiteral("Export"), text, QMessageBox::Ok);
}

/// Asks before a typed (or remembered) name replaces an existing file;
/// "Browse..." has asked already. No is the default: Enter keeps the file.
bool mayReplace(QWidget* parent, const QString& path) {
    if (!QFileInfo::exists(path))
        return true;
    return DialogProvider::current().question(
               parent, QStringLiteral("Export"),
               QStringLiteral("The file\n%1\nalready exists. Do you want to replace it?").arg(path),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

} // namespace

void MainWindow::exportStatSummary() {
    DatasetEntry* active = activeDataset();
    if (!active || !active->featuresLoaded) {
        warn(this, QStringLiteral("No loaded dataset available for export."));
        return;
    }
    StatSummaryExportDialog dialog(active, datasets(), this,
                                   m_lastStatSummaryResult ? &*m_lastStatSummaryResult : nullptr);
    if (DialogProvider::current().execDialog(dialog) != QDialog::Accepted)
        return;
    const StatSummaryResult result = dialog.getResult();
    if (result.features.empty()) {
        warn(this, QStringLiteral("No features selected."));
        return;
    }
    m_lastStatSummaryResult = result;
    if (summaryColumns(result).empty()) {
        warn(this, QStringLiteral("No statistics selected."));
        return;
    }
    const QString path = QString::fromStdString(result.outputPath);
    if (path.trimmed().isEmpty()) {
        warn(this, QStringLiteral("No output file selected."));
        return;
    }
    if (!dialog.outputPickedThroughBrowse() && !mayReplace(this, path))
        return;

    std::vector<StatSummarySource> sources;
    const auto addSource = [&](const DatasetEntry& entry) {
        sources.push_back({entry.displayName.toUtf8().toStdString(), entry.reader.get(),
                           buildEffectiveFilter(&entry)});
    };
    if (result.allDatasets) {
        for (const auto& entry : datasets())
            if (entry && entry->featuresLoaded)
                addSource(*entry);
    } else {
        addSource(*active);
    }
    const std::string table = buildStatSummaryTable(sources, result);

    QString error;
    const WriteResult written = writeFileAtomically(path, QByteArray::fromStdString(table), &error);
    if (written == WriteResult::OpenFailed) {
        warn(this, QStringLiteral("Could not open file for writing:\n%1").arg(path));
        return;
    }
    if (written != WriteResult::Written) {
        warn(this, QStringLiteral("Could not write file:\n%1\n\n%2").arg(path, error));
        return;
    }
    DialogProvider::current().information(
        this, QStringLiteral("Export"),
        QStringLiteral("Statistical summary exported to:\n%1").arg(path), QMessageBox::Ok);
}

} // namespace Quorvex3
