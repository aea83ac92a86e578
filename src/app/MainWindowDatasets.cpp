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
    for (std::size_t i = 0; i < m_datasets.size(); ++i) {
        if (m_datasets[i] && m_datasets[i]->filePath == utf8) {
            m_datasetList->setCurrentRow(static_cast<int>(i));
            return;
        }
    }
    if (m_preloadBusy) {
        m_pendingPaths.push_back(path);
        return;
    }

    auto entry = std::make_unique<DatasetEntry>();
    entry->id = m_nextDatasetId++;
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
    m_datasets.push_back(std::move(entry));
    const int index = static_cast<int>(m_datasets.size()) - 1;
    m_filterDock->setDatasetCount(static_cast<int>(m_datasets.size()));
    applyCurrentSyncState(added);
    addDatasetToList(index);
    startPreload(index);
    // Selecting the row switches to the dataset, which shows it as loading.
    m_datasetList->setCurrentRow(index);
}

void MainWindow::applyCurrentSyncState(DatasetEntry* entry) {
    if (!entry || m_datasets.size() < 2)
        return;
    const DatasetEntry* reference = activeDataset();
    if (!reference) {
        for (const auto& other : m_datasets) {
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
    for (const auto& other : m_datasets) {
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
    if (m_preloadBusy) {
        m_preloadQueue.push_back(index);
        return;
    }
    if (index < 0 || index >= static_cast<int>(m_datasets.size()))
        return;
    const DatasetEntry* entry = m_datasets[static_cast<std::size_t>(index)].get();
    if (!entry || !entry->reader)
        return;

    m_preloadBusy = true;
    m_preloadIndex = index;
    m_preloadDatasetId = entry->id;
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
    QTimer::singleShot(0, this, [this, reader]() mutable {
        m_preloadWatcher->setFuture(
            QtConcurrent::run(QThreadPool::globalInstance(), [task = std::move(reader)]() mutable {
                std::vector<std::string> failed = preloadFeatures(*task);
                task.reset();
                return failed;
            }));
    });
}

void MainWindow::onFeaturesLoaded() {
    std::vector<std::string> failed;
    const QFuture<std::vector<std::string>> future = m_preloadWatcher->future();
    if (future.resultCount() > 0)
        failed = future.result();

    const int index = m_preloadIndex;
    DatasetEntry* entry = nullptr;
    if (index >= 0 && index < static_cast<int>(m_datasets.size()) &&
        m_datasets[static_cast<std::size_t>(index)] &&
        m_datasets[static_cast<std::size_t>(index)]->id == m_preloadDatasetId)
        entry = m_datasets[static_cast<std::size_t>(index)].get();
    m_preloadIndex = -1;
    m_preloadDatasetId = -1;
    m_preloadBusy = false;

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
        if (index == m_activeIndex)
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
    while (!m_preloadBusy) {
        if (!m_preloadQueue.empty()) {
            const int index = m_preloadQueue.front();
            m_preloadQueue.pop_front();
            startPreload(index);
        } else if (!m_sessionLoadQueue.empty()) {
            const std::pair<int, QString> next = m_sessionLoadQueue.front();
            m_sessionLoadQueue.pop_front();
            const int index = addDatasetFromSession(next.second);
            if (index >= 0)
                m_sessionIndexMap[next.first] = index;
        } else if (!m_pendingPaths.empty()) {
            const QString path = m_pendingPaths.front();
            m_pendingPaths.pop_front();
            addDataset(path);
        } else {
            if (m_sessionLoading) {
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
    if (row < 0 || row >= static_cast<int>(m_datasets.size()))
        return;
    if (row == m_preloadIndex) {
        DialogProvider::current().warning(this, QStringLiteral("Cannot Remove"),
                                          QStringLiteral("This dataset is still loading."),
                                          QMessageBox::Ok);
        return;
    }
    const auto position = m_datasets.begin() + row;
    const int id = (*position)->id;
    for (CombinePlotWindow* window : m_combinePlotWindows)
        window->onMainDatasetRemoved(id);
    for (StatisticalEvalWindow* window : m_statisticalEvalWindows)
        window->onMainDatasetRemoved(id);
    for (ImageGalleryWindow* window : m_imageGalleryWindows)
        window->onMainDatasetRemoved(id);

    // Nothing may point into the record once it is gone.
    const bool wasActive = row == m_activeIndex;
    if (m_filterDock->activeDataset() == position->get())
        m_filterDock->setActiveDataset(nullptr);
    if (wasActive)
        m_calculationsWidget->setActiveDataset(nullptr);
    {
        // Taking the item out moves the list's current row; that is not a
        // user's choice and must not switch datasets while the entry exists.
        const QSignalBlocker blocker(m_datasetList);
        delete m_datasetList->takeItem(row);
    }
    m_datasets.erase(position);
    const int count = static_cast<int>(m_datasets.size());
    m_filterDock->setDatasetCount(count);

    if (m_preloadIndex > row)
        --m_preloadIndex;
    std::deque<int> queue;
    for (const int index : m_preloadQueue)
        if (index != row)
            queue.push_back(index > row ? index - 1 : index);
    m_preloadQueue = std::move(queue);
    // The plot's zoom follows a dataset, not a row.
    if (m_lastPlotDatasetIndex == row)
        m_lastPlotDatasetIndex = -1;
    else if (m_lastPlotDatasetIndex > row)
        --m_lastPlotDatasetIndex;

    if (count > 0 && wasActive) {
        m_activeIndex = -1;
        const int next = std::min(row, count - 1);
        {
            const QSignalBlocker blocker(m_datasetList);
            m_datasetList->setCurrentRow(next);
        }
        switchToDataset(next);
    } else if (count > 0) {
        if (m_activeIndex > row)
            --m_activeIndex;
        const QSignalBlocker blocker(m_datasetList);
        m_datasetList->setCurrentRow(m_activeIndex);
    } else {
        resetViewsWithoutDatasets();
    }
    notifyGroupsMatrixRefresh();
    updatePlotSettingsButtonState();
    refreshDatasetTreeIfVisible();
}

void MainWindow::resetViewsWithoutDatasets() {
    m_activeIndex = -1;
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
    if (row < 0 || row >= static_cast<int>(m_datasets.size()))
        return;
    if (!m_datasets[static_cast<std::size_t>(row)]->featuresLoaded)
        return;
    saveCurrentDatasetState();
    const DatasetEntry& source = *m_datasets[static_cast<std::size_t>(row)];

    // Calculation flags and filter-group switches stay at their defaults;
    // features computed on the shared reader remain visible to both.
    auto copy = std::make_unique<DatasetEntry>();
    copy->id = m_nextDatasetId++;
    copy->reader = source.reader;
    copy->metadata = source.metadata;
    copy->filePath = source.filePath;
    copy->displayName = source.displayName + QStringLiteral(" (copy)");
    copy->xFeatureName = source.xFeatureName;
    copy->yFeatureName = source.yFeatureName;
    copy->colorFeatureName = source.colorFeatureName;
    copy->currentEventIndex = source.currentEventIndex;
    copy->featuresLoaded = true;
    // What the preload could not read is a property of the shared reader.
    copy->failedFeatures = source.failedFeatures;
    copy->filter = source.filter;
    copy->contourMode = source.contourMode;
    copy->contourFraction1 = source.contourFraction1;
    copy->contourFraction2 = source.contourFraction2;
    copy->scaleXMode = source.scaleXMode;
    copy->scaleYMode = source.scaleYMode;

    m_datasets.push_back(std::move(copy));
    const int index = static_cast<int>(m_datasets.size()) - 1;
    m_filterDock->setDatasetCount(static_cast<int>(m_datasets.size()));
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
    updateDatasetDisplayName(m_activeIndex, name);
}

void MainWindow::updateDatasetDisplayName(int index, const QString& name) {
    if (index < 0 || index >= static_cast<int>(m_datasets.size()))
        return;
    DatasetEntry* entry = m_datasets[static_cast<std::size_t>(index)].get();
    entry->displayName = name;
    if (QListWidgetItem* item = m_datasetList->item(index))
        item->setText(buildDatasetListText(entry));
    refreshDatasetTreeIfVisible();
    if (index == m_activeIndex)
        updateFilteredStatus();
    for (CombinePlotWindow* window : m_combinePlotWindows)
        window->onDatasetRenamed(entry->id, name);
    for (StatisticalEvalWindow* window : m_statisticalEvalWindows)
        window->onDatasetRenamed(entry->id, name);
    for (ImageGalleryWindow* window : m_imageGalleryWindows)
        window->onDatasetRenamed(entry->id, name);
    notifyGroupsMatrixRefresh();
}

} // namespace Quorvex3
