// The list and folder views of the "Datasets" dock: item texts, adding and
// reordering rows, and the folder tree built from the datasets' paths.
#include "app/MainWindow.h"

#include "app/DatasetListWidget.h"
#include "app/DatasetReorder.h"
#include "app/DatasetTreeWidget.h"
#include "core/RTDCReader.h"
#include "filters/FilterGroupsMatrixWindow.h"
#include "model/DatasetFolderNode.h"

#include <QSpinBox>
#include <QStackedWidget>
#include <QStringList>

#include <algorithm>
#include <iterator>
#include <optional>

namespace Quorvex3 {

namespace {

/// Text of a metadata key, or nothing when the section lacks it.
std::optional<QString> metadataText(const std::map<std::string, std::string>& section,
                                    const char* key) {
    const auto it = section.find(key);
    if (it == section.end())
        return std::nullopt;
    return QString::fromStdString(it->second);
}

/// A new last row of the list for the dataset, without any follow-up.
void appendDatasetItem(QListWidget* list, const QString& text, const DatasetEntry& entry) {
    auto* item = new QListWidgetItem(text);
    item->setData(Qt::UserRole, entry.id);
    item->setToolTip(QString::fromStdString(entry.filePath));
    list->addItem(item);
}

} // namespace

// ---- item text -------------------------------------------------------------------

QString MainWindow::buildDatasetListText(const DatasetEntry* entry) const {
    if (!entry)
        return {};
    QStringList parts;
    if (const auto rate = metadataText(entry->metadata.setup, "flow rate")) {
        bool ok = false;
        const double value = rate->toDouble(&ok);
        if (ok)
            parts << QStringLiteral("%1 \u00B5L/s").arg(value, 0, 'g', 4);
    }
    if (metadataText(entry->metadata.setup, "chip region") == QStringLiteral("reservoir"))
        parts << QStringLiteral("Reservoir");
    // Metadata text goes into rich text: a stray "<" must not start a tag.
    if (const auto run = metadataText(entry->metadata.experiment, "run index"))
        parts << QStringLiteral("#%1").arg(run->toHtmlEscaped());
    const qulonglong events = entry->reader ? entry->reader->getEventCount() : 0;
    parts << QStringLiteral("%1 events").arg(events);
    // Both markers are filled at once, so a "%2" in the name stays literal.
    return QStringLiteral("<b>%1</b> (%2)")
        .arg(entry->displayName.toHtmlEscaped(), parts.join(QStringLiteral(", ")));
}

// ---- list ------------------------------------------------------------------------

void MainWindow::addDatasetToList(int index) {
    const DatasetEntry* entry = m_store.at(index);
    if (!m_datasetList || !entry)
        return;
    appendDatasetItem(m_datasetList, buildDatasetListText(entry), *entry);
    notifyGroupsMatrixRefresh();
    updatePlotSettingsButtonState();
    refreshDatasetTreeIfVisible();
}

void MainWindow::applyDatasetReorder(int from, int to) {
    const int destination = datasetMoveDestination(from, to, m_store.count());
    if (destination < 0)
        return;

    m_store.move(from, destination);

    // The plot's zoom follows its dataset, not a row.
    m_lastPlotDatasetIndex = indexAfterDatasetMove(m_lastPlotDatasetIndex, from, destination);

    refillDatasetList();
}

void MainWindow::refillDatasetList() {
    // The list is refilled in one go and everything that depends on the
    // order is refreshed once afterwards, not once per row.
    {
        const QSignalBlocker blocker(m_datasetList);
        m_datasetList->clear();
        for (const auto& entry : datasets())
            appendDatasetItem(m_datasetList, buildDatasetListText(entry.get()), *entry);
        if (m_store.activeRow() >= 0)
            m_datasetList->setCurrentRow(m_store.activeRow());
    }
    notifyGroupsMatrixRefresh();
    updatePlotSettingsButtonState();
    refreshDatasetTreeIfVisible();
}

// ---- folder tree -----------------------------------------------------------------

void MainWindow::rebuildDatasetTree() {
    if (!m_datasetTree)
        return;
    m_treeRebuilding = true;
    m_datasetTree->clear();
    QList<QString> paths;
    paths.reserve(static_cast<int>(datasets().size()));
    for (const auto& entry : datasets())
        paths.append(QString::fromStdString(entry->filePath));
    for (const DatasetFolderNode& node : buildDatasetFolderTree(paths, datasetFolderDepth()))
        addFolderNode(node, nullptr);
    m_datasetTree->expandAll();
    if (const DatasetEntry* active = activeDataset())
        if (QTreeWidgetItem* item = m_datasetTree->findDatasetItem(active->id))
            m_datasetTree->setCurrentItem(item);
    m_treeRebuilding = false;
}

void MainWindow::addFolderNode(const DatasetFolderNode& node, QTreeWidgetItem* parent) {
    const bool isFolder = node.datasetIndex < 0;
    if (!isFolder && node.datasetIndex >= static_cast<int>(datasets().size()))
        return;
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_datasetTree);
    if (isFolder) {
        item->setText(0, node.name.toHtmlEscaped());
        item->setFlags(item->flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsDragEnabled));
        for (const DatasetFolderNode& child : node.children)
            addFolderNode(child, item);
        return;
    }
    const DatasetEntry& entry = *datasets()[static_cast<std::size_t>(node.datasetIndex)];
    item->setText(0, buildDatasetListText(&entry));
    item->setData(0, Qt::UserRole, entry.id);
    item->setToolTip(0, QString::fromStdString(entry.filePath));
    item->setFlags((item->flags() | Qt::ItemIsDragEnabled) & ~Qt::ItemIsDropEnabled);
}

void MainWindow::selectActiveInTree() {
    const DatasetEntry* active = activeDataset();
    if (!datasetFolderViewActive() || !active)
        return;
    m_treeRebuilding = true;
    if (QTreeWidgetItem* item = m_datasetTree->findDatasetItem(active->id))
        m_datasetTree->setCurrentItem(item);
    m_treeRebuilding = false;
}

void MainWindow::refreshDatasetTreeIfVisible() {
    if (datasetFolderViewActive())
        rebuildDatasetTree();
}

void MainWindow::notifyGroupsMatrixRefresh() {
    const FilterGroupsMatrixWindow::FolderView folders{datasetFolderViewActive(),
                                                       datasetFolderDepth()};
    m_filterGroupsMatrixWindows.broadcast([&](FilterGroupsMatrixWindow* window) {
        window->setFolderView(folders);
        window->refresh();
    });
}

bool MainWindow::datasetFolderViewActive() const {
    return m_datasetStack && m_datasetTree && m_datasetStack->currentIndex() == 1;
}

int MainWindow::datasetFolderDepth() const {
    return m_depthSpin ? m_depthSpin->value() : 2;
}

} // namespace Quorvex3
