// Datasets: opening and dropping measurements, the background preload and
// its queues, removal, duplication and renaming.
//
// Loading is serialised: one preload runs at a time, and whatever arrives
// meanwhile waits in a queue (preloads of datasets already opened, datasets
// of a session, paths chosen or dropped). The end of each preload pulls the
// next item. Everything here runs on the GUI thread except the preload body.
#include "app/MainWindow.h"

#include "app/DatasetListWidget.h"
#include "calc/CalculationsDockWidget.h"
#include "compare/CombinePlotWindow.h"
#include "compare/ImageGalleryWindow.h"
#include "core/RTDCReader.h"
#include "filters/FilterDockWidget.h"
#include "model/DatasetPlotSettings.h"
#include "plots/ImageViewer.h"
#include "plots/PlotControlsWidget.h"
#include "plots/ScatterPlot.h"
#include "plots/StatisticsDockWidget.h"
#include "plots/TracePlot.h"
#include "stats/StatisticalEvalWindow.h"
#include "util/DialogProvider.h"

#include <QComboBox>
#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTableWidget>
#include <QThreadPool>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QtConcurrent>

#include <algorithm>
#include <exception>
#include <utility>

namespace Quorvex3 {

namespace {

// ---- path order ----------------------------------------------------------------

/// Orders paths folder by folder, ignoring case, so "Day2/..." comes before
/// "day3/..." and a folder's files stay together whatever characters
/// follow its name in sibling entries.
bool componentsLess(const QStringList& a, const QStringList& b) {
    const int common = static_cast<int>(std::min(a.size(), b.size()));
    for (int i = 0; i < common; ++i) {
        const int order = QString::compare(a[i], b[i], Qt::CaseInsensitive);
        if (order != 0)
            return order < 0;
    }
    return a.size() < b.size();
}

void sortByPathOrder(QStringList& paths) {
    if (paths.size() < 2)
        return;
    std::vector<std::pair<QStringList, QString>> keyed;
    keyed.reserve(static_cast<std::size_t>(paths.size()));
    for (const QString& path : paths)
        keyed.emplace_back(path.split(QLatin1Char('/'), Qt::SkipEmptyParts), path);
    std::sort(keyed.begin(), keyed.end(),
              [](const auto& a, const auto& b) { return componentsLess(a.first, b.first); });
    paths.clear();
    for (const auto& item : keyed)
        paths.append(item.second);
}

/// The measurement files among dropped URLs: ".rtdc" files as they are,
/// and every "*.rtdc" below a dropped folder. Anything else is skipped.
QStringList collectDroppedPaths(const QList<QUrl>& urls) {
    QStringList paths;
    for (const QUrl& url : urls) {
        const QString local = url.toLocalFile();
        if (local.isEmpty())
            continue;
        if (QFileInfo(local).isDir()) {
            QDirIterator it(local, QStringList{QStringLiteral("*.rtdc")}, QDir::Files,
                            QDirIterator::Subdirectories);
            while (it.hasNext())
                paths.append(it.next());
        } else if (local.endsWith(QLatin1String(".rtdc"), Qt::CaseInsensitive)) {
            paths.append(local);
        }
    }
    return paths;
}

// ---- display names ---------------------------------------------------------------

QString nonEmptyValue(const std::map<std::string, std::string>& section, const char* key) {
    const auto found = section.find(key);
    if (found == section.end() || found->second.empty())
        return {};
    return QString::fromStdString(found->second);
}

/// The experiment's sample name, else the file name. Renaming back to the
/// default uses this too: a name given at export time is not restored.
QString sampleOrFileName(const RTDCMetadata& metadata, const std::string& filePath) {
    const QString sample = nonEmptyValue(metadata.experiment, "sample");
    return sample.isEmpty() ? QFileInfo(QString::fromStdString(filePath)).fileName() : sample;
}

QString initialDisplayName(const RTDCMetadata& metadata, const std::string& filePath) {
    const QString exported = nonEmptyValue(metadata.exportSection, "changed sample name");
    return exported.isEmpty() ? sampleOrFileName(metadata, filePath) : exported;
}

// ---- preload -----------------------------------------------------------------------

/// Body of the background preload, on a pool thread. QtConcurrent would
/// only store an exception in the future, so none may leave here; when the
/// preload breaks off, which columns made it is unknown and every scalar
/// feature is reported.
std::vector<std::string> preloadFeatures(RTDCReader& reader) {
    try {
        return reader.preloadAllFeatures();
    } catch (const std::exception& e) {
        qWarning("Caching the features of %s stopped: %s", reader.getFilename().c_str(), e.what());
    } catch (...) {
        qWarning("Caching the features of %s stopped", reader.getFilename().c_str());
    }
    std::vector<std::string> all;
    try {
        for (const std::string& name : reader.getAvailableFeatures())
            if (RTDCReader::isScalarFeature(name))
                all.push_back(name);
    } catch (...) {
        all.clear();
    }
    return all;
}

QString joinedNames(const std::vector<std::string>& names) {
    QStringList list;
    for (const std::string& name : names)
        list.append(QString::fromStdString(name));
    return list.join(QStringLiteral(", "));
}

} // namespace

// ---- opening -------------------------------------------------------------------------

void MainWindow::openFile() {
    QStringList paths = DialogProvider::current().getOpenFileNames(
        this, QStringLiteral("Open RT-DC File(s)"), QString(),
        QStringLiteral("RT-DC Files (*.rtdc);;All Files (*)"));
    sortByPathOrder(paths);
    for (const QString& path : paths)
        addDataset(path);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    // Whether the URLs name measurements is decided at the drop.
    if (event->mimeData() && event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QMimeData* mime = event->mimeData();
    if (!mime || !mime->hasUrls())
        return;
    QStringList paths = collectDroppedPaths(mime->urls());
    if (paths.isEmpty()) {
        DialogProvider::current().warning(
            this, QStringLiteral("Invalid File"),
            QStringLiteral("Please drop .rtdc file(s) or folders containing them."),
            QMessageBox::Ok);
        return;
    }
    sortByPathOrder(paths);
    for (const QString& path : paths)
        addDataset(path);
    event->acceptProposedAction();
}

void MainWindow::addDataset(const QString& path) {
    const std::string utf8 = path.toUtf8().toStdString();
    if (const DatasetEntry* open = m_store.findByPath(utf8)) {
        m_datasetList->setCurrentRow(m_store.rowOfId(open->id));
        return;
    }
    if (m_loader.busy()) {
        m_loader.addPendingPath(path);
        return;
    }

    auto entry = std::make_unique<DatasetEntry>();
    entry->id = m_store.newDatasetId();
    entry->reader = std::make_shared<RTDCReader>();
    if (!entry->reader->openFile(utf8)) {
        const QString text = QStringLiteral("Failed to open: ") + path;
        const QString reason = QString::fromStdString(entry->reader->openError());
        showLoadingBox([this, text, reason] {
            DialogProvider::current().criticalWithDetails(this, QStringLiteral("Error"), text,
                                                          reason);
        });
        return;
    }
    entry->filePath = utf8;
    entry->metadata = entry->reader->readMetadata();
    entry->displayName = initialDisplayName(entry->metadata, entry->filePath);

    DatasetEntry* added = entry.get();
    const int index = m_store.append(std::move(entry));
    m_filterDock->setDatasetCount(m_store.count());
    applyCurrentSyncState(added);
    addDatasetToList(index);
    startPreload(index);
    // Selecting the row switches to the dataset, which shows it as loading.
    m_datasetList->setCurrentRow(index);
}

void MainWindow::applyCurrentSyncState(DatasetEntry* entry) {
    if (!entry || datasets().size() < 2)
        return;
    const DatasetEntry* reference = activeDataset();
    if (!reference) {
        for (const auto& other : datasets()) {
            if (other && other.get() != entry) {
                reference = other.get();
                break;
            }
        }
    }
    if (!reference || reference == entry)
        return;

    const EventFilter& shared = reference->filter;
    bool enabledAgreed = true;
    bool modeAgreed = true;
    for (const auto& other : datasets()) {
        if (!other || other.get() == reference || other.get() == entry)
            continue;
        enabledAgreed = enabledAgreed && other->filter.isEnabled() == shared.isEnabled();
        modeAgreed = modeAgreed && other->filter.combineMode() == shared.combineMode();
    }
    if (enabledAgreed)
        entry->filter.setEnabled(shared.isEnabled());
    if (modeAgreed)
        entry->filter.setCombineMode(shared.combineMode());
    for (const FilterRule& rule : shared.rules())
        if (!rule.propagationId.empty())
            entry->filter.addRule(rule);

    if (!plotSettingsAlignedAcrossDatasets(entry))
        return;
    storePlotSettings(*entry, adoptPlotSettings(plotSettingsOf(*entry), plotSettingsOf(*reference),
                                                entry->reader.get()));
}

// ---- preload and its queues ------------------------------------------------------------

void MainWindow::startPreload(int index) {
    if (index < 0 || index >= static_cast<int>(datasets().size()))
        return;
    const DatasetEntry* entry = datasets()[static_cast<std::size_t>(index)].get();
    if (!entry || !entry->reader)
        return;
    // Queued by id while another preload runs.
    const std::optional<PreloadTicket> ticket = m_loader.begin(entry->id);
    if (!ticket)
        return;

    m_infoLabel->setText(
        QStringLiteral("Loading: %1 - Caching features...").arg(entry->displayName));

    // The task owns a handle of its own: the dataset may be removed or the
    // session cleared while it runs, and the reader must outlive the task.
    // It lets go before the future finishes, so whoever waits for the
    // future also waits for a reader that the task was the last to hold.
    //
    // It is launched from the event loop, after the caller has listed and
    // shown the dataset: the preload takes the process-wide file lock column
    // after column, and the GUI thread's own reads of the feature list would
    // otherwise queue behind it. Until then nothing runs that needs waiting
    // for, and a window destroyed meanwhile takes the timer with it.
    std::shared_ptr<RTDCReader> reader = entry->reader;
    //
    // The task hands its ticket back with its result: only the preload
    // under way may mark its dataset as loaded.
    QTimer::singleShot(0, this, [this, reader, ticket = *ticket]() mutable {
        // Given up before it started (a clear waited for nothing, as this
        // task did not run yet): it must neither run nor finish later.
        if (!m_loader.isCurrent(ticket))
            return;
        m_preloadWatcher->setFuture(QtConcurrent::run(
            QThreadPool::globalInstance(), [task = std::move(reader), ticket]() mutable {
                PreloadOutcome outcome{ticket, preloadFeatures(*task)};
                task.reset();
                return outcome;
            }));
    });
}

void MainWindow::onFeaturesLoaded() {
    const QFuture<PreloadOutcome> future = m_preloadWatcher->future();
    if (future.resultCount() == 0)
        return;
    const PreloadOutcome outcome = future.result();
    // A late finish of an abandoned preload counts for nothing: neither its
    // dataset nor the one a newer preload is loading is marked.
    if (!m_loader.finish(outcome.ticket))
        return;
    const std::vector<std::string>& failed = outcome.failedFeatures;
    const int index = datasetIndexById(outcome.ticket.datasetId);
    DatasetEntry* entry = index >= 0 ? datasets()[static_cast<std::size_t>(index)].get() : nullptr;

    // Boxes wait until the next load has started: a user reading a message
    // must not hold up the queue or a session load.
    m_deferLoadingBoxes = true;
    if (entry) {
        entry->featuresLoaded = true;
        entry->failedFeatures = failed;
        if (!failed.empty()) {
            const QString names = joinedNames(failed);
            qWarning().noquote() << QStringLiteral("Dataset \"%1\" (%2) was loaded with errors; "
                                                   "features that could not be read: %3")
                                        .arg(entry->displayName,
                                             QString::fromStdString(entry->filePath), names);
            const QString text = QStringLiteral("Some features of \"%1\" could not be read:\n\n%2"
                                                "\n\nThe dataset is loaded, but these features "
                                                "may be missing or incomplete.")
                                     .arg(entry->displayName, names);
            showLoadingBox([this, text] {
                DialogProvider::current().warning(this, QStringLiteral("Loading Problem"), text,
                                                  QMessageBox::Ok);
            });
        }
        if (index == m_store.activeRow())
            refreshUIForActiveDataset();
    } else if (!failed.empty()) {
        qWarning().noquote() << QStringLiteral("A dataset removed while it was loading had "
                                               "unreadable features: %1")
                                    .arg(joinedNames(failed));
    }
    continueLoading();
    m_deferLoadingBoxes = false;
    showDeferredLoadingBoxes();
}

void MainWindow::continueLoading() {
    // Each step either starts a preload (which ends the loop; its end comes
    // back here) or opens nothing (a failed or repeated path), in which case
    // the next item follows at once.
    while (!m_loader.busy()) {
        const DatasetLoader::Next next = m_loader.takeNext();
        if (next.preloadDatasetId) {
            startPreload(datasetIndexById(*next.preloadDatasetId));
        } else if (next.sessionDataset) {
            const int id = addDatasetFromSession(next.sessionDataset->second);
            if (id >= 0)
                m_sessionIdMap[next.sessionDataset->first] = id;
        } else if (next.path) {
            addDataset(*next.path);
        } else {
            if (sessionLoading()) {
                createSessionDuplicates();
                finalizeSessionLoad();
            }
            return;
        }
    }
}

void MainWindow::showLoadingBox(std::function<void()> box) {
    if (m_deferLoadingBoxes)
        m_deferredLoadingBoxes.push_back(std::move(box));
    else
        box();
}

void MainWindow::showDeferredLoadingBoxes() {
    // Taken out first: a preload may end while a box is open, and its own
    // boxes go into a fresh list.
    std::vector<std::function<void()>> boxes = std::move(m_deferredLoadingBoxes);
    m_deferredLoadingBoxes.clear();
    for (const auto& box : boxes)
        box();
}

// ---- remove, duplicate, rename -----------------------------------------------------

void MainWindow::removeDataset() {
    const int row = m_datasetList->currentRow();
    DatasetEntry* removed = m_store.at(row);
    if (!removed)
        return;
    // A running calculation writes this dataset's features and its finish
    // step updates its record.
    if (refuseWhileCalculating(QStringLiteral("Cannot Remove")))
        return;
    if (removed->id == m_loader.preloadingId()) {
        DialogProvider::current().warning(this, QStringLiteral("Cannot Remove"),
                                          QStringLiteral("This dataset is still loading."),
                                          QMessageBox::Ok);
        return;
    }
    const int id = removed->id;
    m_combinePlotWindows.broadcast(
        [&](CombinePlotWindow* window) { window->onMainDatasetRemoved(id); });
    m_statisticalEvalWindows.broadcast(
        [&](StatisticalEvalWindow* window) { window->onMainDatasetRemoved(id); });
    m_imageGalleryWindows.broadcast(
        [&](ImageGalleryWindow* window) { window->onMainDatasetRemoved(id); });

    // Nothing may point into the record once it is gone.
    const bool wasActive = row == m_store.activeRow();
    if (m_filterDock->activeDataset() == removed)
        m_filterDock->setActiveDataset(nullptr);
    if (wasActive)
        m_calculationsWidget->setActiveDataset(nullptr);
    {
        // Taking the item out moves the list's current row; that is not a
        // user's choice and must not switch datasets while the entry exists.
        const QSignalBlocker blocker(m_datasetList);
        delete m_datasetList->takeItem(row);
    }
    const int next = m_store.removeAt(row);
    const int count = m_store.count();
    m_filterDock->setDatasetCount(count);

    m_loader.forget(id);
    // The plot's zoom follows a dataset, not a row.
    if (m_lastPlotDatasetIndex == row)
        m_lastPlotDatasetIndex = -1;
    else if (m_lastPlotDatasetIndex > row)
        --m_lastPlotDatasetIndex;

    if (count > 0 && wasActive) {
        {
            const QSignalBlocker blocker(m_datasetList);
            m_datasetList->setCurrentRow(next);
        }
        switchToDataset(next);
    } else if (count > 0) {
        const QSignalBlocker blocker(m_datasetList);
        m_datasetList->setCurrentRow(next);
    } else {
        resetViewsWithoutDatasets();
    }
    notifyGroupsMatrixRefresh();
    updatePlotSettingsButtonState();
    refreshDatasetTreeIfVisible();
}

void MainWindow::resetViewsWithoutDatasets() {
    m_store.setActiveRow(-1);
    clearPlotAndEventViews();
    m_metadataTree->clear();
    m_plotControls->clearFeatures();
    {
        const QSignalBlocker blocker(m_eventSpinBox);
        m_eventSpinBox->setRange(0, 0);
        m_eventSpinBox->setEnabled(false);
    }
    m_imageViewer->setMaskEnabled(false);
    {
        const QSignalBlocker blocker(m_renameEdit);
        m_renameEdit->clear();
        m_renameEdit->setEnabled(false);
    }
    m_calculationsWidget->setActiveDataset(nullptr);
    m_infoLabel->setText(QStringLiteral("No file loaded."));
    m_filterDock->setActiveDataset(nullptr);
}

void MainWindow::duplicateDataset() {
    const int row = m_datasetList->currentRow();
    const DatasetEntry* source = m_store.at(row);
    if (!source || !source->featuresLoaded)
        return;
    saveCurrentDatasetState();
    const int index = m_store.duplicate(row);
    m_filterDock->setDatasetCount(m_store.count());
    addDatasetToList(index);
    m_datasetList->setCurrentRow(index);
}

void MainWindow::onRenameFinished() {
    DatasetEntry* entry = activeDataset();
    if (!entry)
        return;
    QString name = m_renameEdit->text().trimmed();
    if (name == entry->displayName)
        return;
    if (name.isEmpty()) {
        name = sampleOrFileName(entry->metadata, entry->filePath);
        const QSignalBlocker blocker(m_renameEdit);
        m_renameEdit->setText(name);
        if (name == entry->displayName)
            return;
    }
    updateDatasetDisplayName(m_store.activeRow(), name);
}

void MainWindow::updateDatasetDisplayName(int index, const QString& name) {
    DatasetEntry* entry = m_store.at(index);
    if (!entry)
        return;
    entry->displayName = name;
    if (QListWidgetItem* item = m_datasetList->item(index))
        item->setText(buildDatasetListText(entry));
    refreshDatasetTreeIfVisible();
    if (index == m_store.activeRow())
        updateFilteredStatus();
    m_combinePlotWindows.broadcast(
        [&](CombinePlotWindow* window) { window->onDatasetRenamed(entry->id, name); });
    m_statisticalEvalWindows.broadcast(
        [&](StatisticalEvalWindow* window) { window->onDatasetRenamed(entry->id, name); });
    m_imageGalleryWindows.broadcast(
        [&](ImageGalleryWindow* window) { window->onDatasetRenamed(entry->id, name); });
    notifyGroupsMatrixRefresh();
}

} // namespace Quorvex3
