// Sessions: saving the whole working state to a ".QV3" file, loading one in
// place of the current state, and clearing the current state.
//
// The file is read and checked by the session core (session/SessionFile.h)
// before anything here changes; this file only asks the user, reopens the
// measurements through the preload queue and applies the checked record.
// A load is one of these states: idle; loading (m_sessionDocument set, datasets
// arriving one per finished preload, m_sessionIdMap filling up); finished
// (finalizeSessionLoad applied everything and went back to idle). A clear
// or a second load during a load gives the first one up before it starts,
// so the datasets of two loads never mix.
#include "app/MainWindow.h"

#include "app/DatasetListWidget.h"
#include "app/DatasetTreeWidget.h"
#include "calc/CalculationsDockWidget.h"
#include "compare/CombinePlotWindow.h"
#include "core/RTDCReader.h"
#include "core/UsableFeatures.h"
#include "filters/FilterDockWidget.h"
#include "model/DatasetPlotSettings.h"
#include "model/RepairReport.h"
#include "plots/PlotControlsWidget.h"
#include "plots/ScatterPlot.h"
#include "session/SessionDatasets.h"
#include "session/SessionFile.h"
#include "stats/StatisticalEvalWindow.h"
#include "util/DialogProvider.h"

#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QLabel>
#include <QListWidget>
#include <QMap>
#include <QSignalBlocker>

namespace Quorvex3 {

namespace {

const char* const kLoadQuestion = "Loading a session will close all current datasets\nand "
                                  "windows. Unsaved changes will be lost.\n\nContinue?";
const char* const kClearQuestion = "This will close all datasets and combine plot windows.\n"
                                   "Unsaved changes will be lost.\n\nContinue?";

QMap<int, int> toQMap(const std::map<int, int>& map) {
    QMap<int, int> result;
    for (const auto& [sessionIndex, id] : map)
        result.insert(sessionIndex, id);
    return result;
}

QString countText(const std::optional<std::int64_t>& value) {
    return QString::number(value.value_or(0));
}

} // namespace

// ---- save --------------------------------------------------------------------------

SessionDocument MainWindow::currentSessionDocument(const QDir& sessionDir) const {
    SessionDocument doc;
    doc.activeDatasetIndex = m_store.activeRow();
    doc.colorMapIndex = m_colorMapIndex;
    // The window has no expert-mode switch: it always reads as off.
    doc.expertMode = false;
    doc.datasets = sessionDatasetsFromEntries(datasets(), sessionDir);
    for (const auto& group : filterGroups())
        doc.filterGroups.push_back(*group);
    doc.nextGroupId = m_store.nextGroupId();
    for (const CombinePlotWindow* window : combinePlotWindows())
        doc.combineWindows.push_back(window->saveState(datasets()));
    for (const StatisticalEvalWindow* window : statisticalEvalWindows())
        doc.statEvalWindows.push_back(window->saveState(datasets()));
    return doc;
}

bool MainWindow::saveSession() {
    saveCurrentDatasetState();
    DialogProvider& dialogs = DialogProvider::current();
    if (datasets().empty()) {
        dialogs.information(this, QStringLiteral("Save Session"),
                            QStringLiteral("No datasets loaded to save."), QMessageBox::Ok);
        return false;
    }
    QString path = dialogs.getSaveFileName(this, QStringLiteral("Save Session"), QString(),
                                           QStringLiteral("Quorvex3 Session (*.QV3)"));
    if (path.isEmpty())
        return false;
    path = withSessionSuffix(path);
    const SessionDocument doc = currentSessionDocument(sessionFolder(path));
    // Written beside the old file and moved over it only once complete: a
    // full disk leaves the previous session as it was.
    QString error;
    if (!writeSessionFile(path, doc, &error)) {
        dialogs.critical(this, QStringLiteral("Error"), error, QMessageBox::Ok);
        return false;
    }
    m_infoLabel->setText(QStringLiteral("Session saved: ") + QFileInfo(path).fileName());
    return true;
}

// ---- load: checks ------------------------------------------------------------------

QString MainWindow::resolveDatasetPath(const QString& storedPath, const QDir& sessionDir,
                                       const QString& displayName) {
    const ResolvedDatasetPath resolved = resolveStoredDatasetPath(storedPath, sessionDir);
    if (resolved.found)
        return resolved.absolutePath;
    DialogProvider& dialogs = DialogProvider::current();
    const QMessageBox::StandardButton answer = dialogs.warning(
        this, QStringLiteral("Dataset Not Found"),
        QStringLiteral("Cannot find dataset:\n%1\n\nDisplay name: %2\n\nWould you like to "
                       "locate it manually?")
            .arg(resolved.absolutePath, displayName),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton);
    if (answer != QMessageBox::Yes)
        return {};
    return dialogs.getOpenFileName(this, QStringLiteral("Locate: %1").arg(displayName),
                                   sessionDir.absolutePath(),
                                   QStringLiteral("RT-DC Files (*.rtdc);;All Files (*)"));
}

bool MainWindow::verifyFingerprint(const RTDCReader& reader, const QString& path,
                                   const SessionFingerprint& stored, const QString& displayName) {
    const SessionFingerprint actual = fingerprintOf(reader, path);
    if (fingerprintMatches(stored, actual))
        return true;
    const QString text =
        QStringLiteral("Dataset \"%1\" may have changed since the session was saved.\n\n"
                       "Expected: %2 events, %3 bytes\nFound: %4 events, %5 bytes\n\n"
                       "Continue loading this dataset?")
            .arg(displayName, countText(stored.eventCount), countText(stored.fileSize),
                 countText(actual.eventCount), countText(actual.fileSize));
    return DialogProvider::current().warning(this, QStringLiteral("Dataset Changed"), text,
                                             QMessageBox::Yes | QMessageBox::No,
                                             QMessageBox::NoButton) == QMessageBox::Yes;
}

// ---- load --------------------------------------------------------------------------

void MainWindow::loadSession() {
    // A running calculation writes into the datasets the load would close.
    if (refuseWhileCalculating(QStringLiteral("Load Session")))
        return;
    DialogProvider& dialogs = DialogProvider::current();
    // Every tool window that shows datasets closes too, so the question is
    // asked whenever one is open.
    if (hasSessionContent() || !imageGalleryWindows().empty()) {
        if (dialogs.warning(this, QStringLiteral("Load Session"), QLatin1String(kLoadQuestion),
                            QMessageBox::Ok | QMessageBox::Cancel,
                            QMessageBox::Cancel) != QMessageBox::Ok)
            return;
    }
    const QString path =
        dialogs.getOpenFileName(this, QStringLiteral("Load Session"), QString(),
                                QStringLiteral("Quorvex3 Session (*.QV3);;All Files (*)"));
    if (path.isEmpty())
        return;
    SessionParseResult read = readSessionFile(path);
    if (!read.ok) {
        dialogs.critical(this, QStringLiteral("Error"), read.error, QMessageBox::Ok);
        return;
    }
    if (read.newerVersion)
        dialogs.warning(this, QStringLiteral("Warning"), QLatin1String(kSessionNewerVersionWarning),
                        QMessageBox::Ok);

    // From here on the current state goes.
    clearSessionState();

    const QDir sessionDir = sessionFolder(path);
    std::vector<std::pair<int, QString>> toOpen;
    for (std::size_t i = 0; i < read.document.datasets.size(); ++i) {
        const SessionDataset& stored = read.document.datasets[i];
        if (stored.isDuplicate)
            continue;
        const QString measurement =
            resolveDatasetPath(stored.filePath, sessionDir, stored.displayName);
        if (measurement.isEmpty())
            continue;
        RTDCReader probe;
        if (!probe.openFile(measurement.toUtf8().toStdString())) {
            dialogs.warning(this, QStringLiteral("Error"),
                            QStringLiteral("Failed to open: ") + measurement, QMessageBox::Ok);
            continue;
        }
        if (verifyFingerprint(probe, measurement, stored.fingerprint, stored.displayName))
            toOpen.emplace_back(static_cast<int>(i), measurement);
    }

    m_sessionIdMap.clear();
    m_sessionDocument = std::make_unique<SessionDocument>(std::move(read.document));
    for (const auto& [sessionIndex, measurement] : toOpen)
        m_loader.queueSessionDataset(sessionIndex, measurement);
    // Opens the first dataset; the others follow one per finished preload.
    // With nothing to open (or nothing that opens) the load ends here.
    continueLoading();
}

int MainWindow::addDatasetFromSession(const QString& path) {
    auto entry = std::make_unique<DatasetEntry>();
    entry->id = m_store.newDatasetId();
    entry->reader = std::make_shared<RTDCReader>();
    const std::string utf8 = path.toUtf8().toStdString();
    if (!entry->reader->openFile(utf8)) {
        // It opened during the checks: it changed since. The load goes on.
        const QString text = QStringLiteral("Failed to open: ") + path;
        showLoadingBox([this, text] {
            DialogProvider::current().critical(this, QStringLiteral("Error"), text,
                                               QMessageBox::Ok);
        });
        return -1;
    }
    entry->filePath = utf8;
    entry->metadata = entry->reader->readMetadata();
    entry->displayName = QFileInfo(path).fileName();
    const int id = entry->id;
    const int index = m_store.append(std::move(entry));
    m_filterDock->setDatasetCount(m_store.count());
    addDatasetToList(index);
    startPreload(index);
    return id;
}

void MainWindow::createSessionDuplicates() {
    if (!m_sessionDocument || m_sessionFinishing)
        return;
    for (const SessionDuplicate& duplicate :
         duplicatesToRecreate(*m_sessionDocument, m_sessionIdMap)) {
        // Every setting the copy takes from its source is replaced by the
        // stored one when the load is finalized; the name is the stored one
        // even when empty, as it was saved.
        const int index = m_store.duplicate(m_store.rowOfId(duplicate.sourceId));
        DatasetEntry* entry = m_store.at(index);
        if (!entry)
            continue;
        entry->displayName =
            m_sessionDocument->datasets[static_cast<std::size_t>(duplicate.sessionIndex)]
                .displayName;
        m_filterDock->setDatasetCount(m_store.count());
        m_sessionIdMap[duplicate.sessionIndex] = entry->id;
    }
    // Every dataset takes its saved place, a copy too; datasets opened
    // meanwhile from elsewhere follow them.
    std::vector<int> order;
    for (const auto& [sessionIndex, id] : m_sessionIdMap)
        order.push_back(id);
    m_store.reorder(order);
    m_lastPlotDatasetIndex = -1;
    refillDatasetList();
}

void MainWindow::finalizeSessionLoad() {
    if (!m_sessionDocument || m_sessionFinishing)
        return;
    m_sessionFinishing = true;
    SessionDocument& doc = *m_sessionDocument;

    m_store.replaceGroups(doc.filterGroups, doc.nextGroupId);

    for (const auto& [sessionIndex, id] : m_sessionIdMap) {
        DatasetEntry* entry = findDatasetById(id);
        if (!entry)
            continue;
        applySessionDataset(doc.datasets[static_cast<std::size_t>(sessionIndex)], *entry,
                            getActiveFlChannels(entry->reader.get()), &doc.repairs);
        if (QListWidgetItem* item = m_datasetList->item(datasetIndexById(id)))
            item->setText(buildDatasetListText(entry));
    }
    refreshDatasetTreeIfVisible();
    refreshFilterGroupsUi();

    m_colorMapIndex = doc.colorMapIndex;
    m_scatterPlot->setColorMapIndex(m_colorMapIndex);
    if (m_colorMapGroup)
        for (QAction* action : m_colorMapGroup->actions())
            if (action->data().toInt() == m_colorMapIndex)
                action->setChecked(true);

    // The tool windows read the derived features (a statistics window keeps
    // only the features its datasets have), so every dataset gets them back
    // before any window is restored.
    redoSessionComputations(
        [this](const std::vector<QString>& failures) { finishSessionLoad(failures); });
}

void MainWindow::finishSessionLoad(const std::vector<QString>& failures) {
    // A clear or another load may have given this one up meanwhile.
    if (!m_sessionDocument || !m_sessionFinishing)
        return;
    const std::unique_ptr<SessionDocument> doc = std::move(m_sessionDocument);
    const std::map<int, int> idMap = std::move(m_sessionIdMap);
    m_sessionIdMap.clear();
    m_sessionFinishing = false;

    // Only now are the derived features back that a plot may have shown.
    for (const auto& [sessionIndex, id] : idMap) {
        DatasetEntry* entry = findDatasetById(id);
        if (entry && entry->reader && entry->featuresLoaded)
            checkPlottedFeatures(*entry, usableScalarFeatures(*entry->reader),
                                 doc->datasets[static_cast<std::size_t>(sessionIndex)].repairs);
    }

    // The active dataset by its id: skipped datasets moved every row after
    // them.
    if (m_store.count() > 0) {
        const int activeId = Quorvex3::activeDatasetId(*doc, idMap);
        const int row = activeId >= 0 ? std::max(0, datasetIndexById(activeId)) : 0;
        m_store.setActiveRow(-1);
        {
            const QSignalBlocker blocker(m_datasetList);
            m_datasetList->setCurrentRow(row);
        }
        switchToDataset(row);
    }

    const QMap<int, int> windowMap = toQMap(idMap);
    for (const QJsonObject& state : doc->combineWindows) {
        auto* window = new CombinePlotWindow(&m_store, this, nullptr);
        window->restoreState(state, windowMap);
        m_combinePlotWindows.open(window, this);
    }
    for (const QJsonObject& state : doc->statEvalWindows) {
        auto* window = new StatisticalEvalWindow(&m_store, nullptr);
        window->restoreState(state, windowMap);
        m_statisticalEvalWindows.open(window, this);
    }
    updatePlotSettingsButtonState();
    m_infoLabel->setText(QStringLiteral("Session loaded: %1 dataset(s)").arg(m_store.count()));

    const RepairReportMessage report =
        repairReportMessage(sessionLoadReport(sessionLoadRepairs(*doc, idMap), failures));
    if (!report.text.isEmpty())
        DialogProvider::current().warningWithDetails(this, QStringLiteral("Load Session"),
                                                     report.text, report.details);
}

// ---- clear -------------------------------------------------------------------------

bool MainWindow::hasSessionContent() const {
    return !datasets().empty() || !combinePlotWindows().empty() ||
           !statisticalEvalWindows().empty();
}

void MainWindow::clearSession() {
    // A load under way counts as something to clear even before its first
    // dataset is listed.
    if (!hasSessionContent() && !sessionLoading())
        return;
    if (refuseWhileCalculating(QStringLiteral("Clear Session")))
        return;
    if (hasSessionContent() &&
        DialogProvider::current().warning(
            this, QStringLiteral("Clear Session"), QLatin1String(kClearQuestion),
            QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) != QMessageBox::Ok)
        return;
    clearSessionState();
}

void MainWindow::abandonSessionLoad() {
    m_sessionFinishing = false;
    m_loader.clearSessionQueue();
    m_sessionIdMap.clear();
    m_sessionDocument.reset();
}

void MainWindow::clearSessionState() {
    abandonSessionLoad();

    // The preload reads a reader that is about to go. A preload whose launch
    // is still queued never starts (startPreload checks its ticket), and the
    // late finish of the one waited for here no longer counts.
    try {
        m_preloadWatcher->waitForFinished();
    } catch (...) {
        qWarning("A preload ended with an exception while the session was cleared");
    }
    m_loader.abandon();
    m_loader.clearPreloadQueue();

    closeToolWindows();

    m_store.setActiveRow(-1);
    m_filterDock->setActiveDataset(nullptr);
    m_calculationsWidget->setActiveDataset(nullptr);
    // A cleared session starts as the program does: no viscosity typed for
    // the old measurements, no lines asked for over the next one.
    m_calculationsWidget->resetManualViscosity();
    m_plotControls->setIsolinesShown(false);
    m_pendingPolygonGroupId = -1;

    m_store.clearAll();
    {
        const QSignalBlocker blocker(m_datasetList);
        m_datasetList->clear();
    }
    if (m_datasetTree) {
        m_treeRebuilding = true;
        m_datasetTree->clear();
        m_treeRebuilding = false;
    }
    m_filterDock->setDatasetCount(0);
    m_lastPlotDatasetIndex = -1;
    refreshFilterGroupsUi();

    resetViewsWithoutDatasets();
    updatePlotSettingsButtonState();
}

} // namespace Quorvex3
