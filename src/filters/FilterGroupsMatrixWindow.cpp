#include "filters/FilterGroupsMatrixWindow.h"

#include "util/WindowUtil.h"
#include "model/DatasetEntry.h"
#include "model/DatasetFolderNode.h"
#include "model/DatasetStore.h"
#include "model/FilterGroup.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <unordered_map>

namespace Quorvex3 {

namespace {

// Separates the fields of the layout key; never part of a name or a path.
const QChar kFieldSeparator(0x1f);
const QChar kRecordSeparator(0x1e);

/// Sets a flag for its lifetime and restores the previous value after, so
/// nested uses (a refresh inside a refresh) leave the outer one set.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : m_flag(flag), m_previous(flag) { m_flag = true; }
    ~FlagScope() { m_flag = m_previous; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& m_flag;
    bool m_previous;
};

void appendNodeKey(QString& key, const DatasetFolderNode& node,
                   const std::vector<std::unique_ptr<DatasetEntry>>& datasets, int depth) {
    key += QString::number(depth) + kFieldSeparator;
    if (node.datasetIndex < 0) {
        key += QLatin1Char('F') + node.name + kRecordSeparator;
        for (const DatasetFolderNode& child : node.children)
            appendNodeKey(key, child, datasets, depth + 1);
        return;
    }
    const auto index = static_cast<std::size_t>(node.datasetIndex);
    const DatasetEntry* entry = index < datasets.size() ? datasets[index].get() : nullptr;
    if (!entry) {
        key += QLatin1Char('-') + kRecordSeparator;
        return;
    }
    key += QLatin1Char('D') + QString::number(entry->id) + kFieldSeparator + entry->displayName +
           kFieldSeparator + QString::fromStdString(entry->filePath) + kRecordSeparator;
}

} // namespace

FilterGroupsMatrixWindow::FilterGroupsMatrixWindow(const DatasetStore* store, FolderView folders,
                                                   QWidget* parent)
    : QMainWindow(parent), m_store(store), m_folders(folders) {
    setWindowTitle(QStringLiteral("Filter Groups \u2013 Datasets Matrix"));
    resize(720, 480);
    buildLayout();
    WindowUtil::addKeepOnTopAction(this);
    if (m_store)
        rebuildAll();
}

FilterGroupsMatrixWindow::~FilterGroupsMatrixWindow() = default;

void FilterGroupsMatrixWindow::buildLayout() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 6, 6, 6);

    auto* help = new QLabel(
        QStringLiteral("Tick a cell to enable a filter group for a dataset. Click a group's "
                       "column header to bulk-toggle it across datasets, or click a dataset's "
                       "name to bulk-toggle every group for it."),
        central);
    help->setObjectName(QStringLiteral("matrixHelpLabel"));
    help->setWordWrap(true);
    help->setStyleSheet(QStringLiteral("QLabel { color: #555; padding-bottom: 4px; }"));
    layout->addWidget(help);

    m_tree = new QTreeWidget(central);
    m_tree->setObjectName(QStringLiteral("matrixTree"));
    m_tree->header()->setSectionsClickable(true);
    m_tree->header()->setStretchLastSection(false);
    m_tree->setSelectionMode(QAbstractItemView::NoSelection);
    m_tree->setFocusPolicy(Qt::NoFocus);
    m_tree->setAlternatingRowColors(true);
    m_tree->setItemsExpandable(false);
    m_tree->setRootIsDecorated(true);
    m_tree->setHeaderLabels({QStringLiteral("Dataset")});
    layout->addWidget(m_tree, 1);
    setCentralWidget(central);

    connect(m_tree->header(), &QHeaderView::sectionClicked, this,
            &FilterGroupsMatrixWindow::onColumnHeaderClicked);
    connect(m_tree, &QTreeWidget::itemClicked, this, &FilterGroupsMatrixWindow::onItemClicked);
    connect(m_tree->header(), &QHeaderView::sectionResized, this, [this](int section, int, int) {
        // Once the user has sized the name column, rebuilds leave it alone.
        if (section == 0 && !m_resizingProgrammatically)
            m_autoSizeFirstColumn = false;
    });
}

void FilterGroupsMatrixWindow::refresh() {
    if (!m_store)
        return;
    const QString layout = layoutKey(rowNodes());
    bool cellsAlive = true;
    for (const Cell& cell : m_cells)
        cellsAlive = cellsAlive && !cell.box.isNull();
    if (layout == m_builtLayout && cellsAlive) {
        syncCheckStates();
        return;
    }
    if (m_clickInProgress) {
        // Rebuilding removes the boxes and items, possibly the one whose
        // click is being reported right now (and the item view still reads
        // the clicked item after its signal): rebuild once it is over.
        m_rebuildQueued = true;
        return;
    }
    rebuildAll();
}

void FilterGroupsMatrixWindow::noteClick() {
    if (m_clickInProgress)
        return;
    m_clickInProgress = true;
    QTimer::singleShot(0, this, [this] {
        m_clickInProgress = false;
        if (m_rebuildQueued) {
            m_rebuildQueued = false;
            refresh();
        }
    });
}

void FilterGroupsMatrixWindow::rebuildAll() {
    FlagScope rebuilding(m_rebuilding);
    m_tree->setUpdatesEnabled(false);
    rebuildHeaders();
    rebuildRows();
    m_tree->setUpdatesEnabled(true);
    m_builtLayout = m_store ? layoutKey(rowNodes()) : QString();
}

void FilterGroupsMatrixWindow::rebuildHeaders() {
    QStringList labels{QStringLiteral("Dataset")};
    if (m_store)
        for (const auto& group : m_store->groups())
            labels << QString::fromStdString(group->name);
    FlagScope programmatic(m_resizingProgrammatically);
    m_tree->setColumnCount(labels.size());
    m_tree->setHeaderLabels(labels);
    QHeaderView* header = m_tree->header();
    header->setSectionResizeMode(0, QHeaderView::Interactive);
    for (int column = 1; column < labels.size(); ++column)
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
}

void FilterGroupsMatrixWindow::rebuildRows() {
    m_tree->clear();
    m_cells.clear();
    if (!m_store)
        return;
    // A column that fits its contents measures every row again whenever a
    // row arrives; the box columns are fitted once, after the last row.
    QHeaderView* header = m_tree->header();
    for (int column = 1; column < m_tree->columnCount(); ++column)
        header->setSectionResizeMode(column, QHeaderView::Fixed);
    for (const DatasetFolderNode& node : rowNodes())
        addRow(node, nullptr);
    m_tree->expandAll();
    for (int column = 1; column < m_tree->columnCount(); ++column)
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    if (m_autoSizeFirstColumn) {
        FlagScope programmatic(m_resizingProgrammatically);
        m_tree->resizeColumnToContents(0);
    }
}

std::vector<DatasetFolderNode> FilterGroupsMatrixWindow::rowNodes() const {
    const auto& datasets = m_store->datasets();
    if (!m_folders.active) {
        std::vector<DatasetFolderNode> nodes(datasets.size());
        for (std::size_t i = 0; i < nodes.size(); ++i)
            nodes[i].datasetIndex = static_cast<int>(i);
        return nodes;
    }
    QList<QString> paths;
    paths.reserve(static_cast<int>(datasets.size()));
    for (const auto& entry : datasets)
        paths << (entry ? QString::fromStdString(entry->filePath) : QString());
    return buildDatasetFolderTree(paths, m_folders.depth);
}

QString FilterGroupsMatrixWindow::layoutKey(const std::vector<DatasetFolderNode>& nodes) const {
    QString key;
    for (const auto& group : m_store->groups())
        key += QLatin1Char('G') + QString::number(group->id) + kFieldSeparator +
               QString::fromStdString(group->name) + kRecordSeparator;
    for (const DatasetFolderNode& node : nodes)
        appendNodeKey(key, node, m_store->datasets(), 0);
    return key;
}

void FilterGroupsMatrixWindow::addRow(const DatasetFolderNode& node, QTreeWidgetItem* parent) {
    const DatasetEntry* entry = nullptr;
    if (node.datasetIndex >= 0) {
        const auto& datasets = m_store->datasets();
        const auto index = static_cast<std::size_t>(node.datasetIndex);
        entry = index < datasets.size() ? datasets[index].get() : nullptr;
        if (!entry)
            return;
    }
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_tree);
    if (!entry) {
        item->setText(0, node.name);
        for (const DatasetFolderNode& child : node.children)
            addRow(child, item);
        return;
    }
    item->setText(0, entry->displayName);
    item->setToolTip(0, QString::fromStdString(entry->filePath));
    item->setData(0, Qt::UserRole, entry->id);
    const auto& groups = m_store->groups();
    for (std::size_t j = 0; j < groups.size(); ++j)
        addCell(item, static_cast<int>(j) + 1, entry->id, groups[j]->id,
                m_store->isGroupEnabled(entry, groups[j]->id));
}

void FilterGroupsMatrixWindow::addCell(QTreeWidgetItem* item, int column, int datasetId,
                                       int groupId, bool on) {
    item->setSizeHint(column, QSize(0, m_tree->fontMetrics().height() + 12));
    auto* container = new QWidget;
    auto* layout = new QHBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setAlignment(Qt::AlignCenter);
    auto* box = new QCheckBox(container);
    box->setChecked(on);
    layout->addWidget(box);
    connect(box, &QCheckBox::toggled, this, [this, datasetId, groupId](bool checked) {
        onCellToggled(datasetId, groupId, checked);
    });
    m_tree->setItemWidget(item, column, container);
    m_cells.push_back(Cell{datasetId, groupId, box});
}

void FilterGroupsMatrixWindow::onCellToggled(int datasetId, int groupId, bool on) {
    if (m_rebuilding || !m_store)
        return;
    noteClick();
    emit groupSwitchRequested(datasetId, groupId, on);
}

void FilterGroupsMatrixWindow::syncCheckStates() {
    FlagScope rebuilding(m_rebuilding);
    std::unordered_map<int, const DatasetEntry*> byId;
    for (const auto& entry : m_store->datasets())
        if (entry)
            byId.emplace(entry->id, entry.get());
    for (const Cell& cell : m_cells) {
        const auto found = byId.find(cell.datasetId);
        const DatasetEntry* entry = found == byId.end() ? nullptr : found->second;
        cell.box->setChecked(m_store->isGroupEnabled(entry, cell.groupId));
    }
}

void FilterGroupsMatrixWindow::onColumnHeaderClicked(int section) {
    if (!m_store)
        return;
    const auto& groups = m_store->groups();
    if (section <= 0 || section > static_cast<int>(groups.size()))
        return;
    noteClick();
    const int groupId = groups[static_cast<std::size_t>(section - 1)]->id;
    const auto& datasets = m_store->datasets();
    bool allOn = true;
    for (const auto& entry : datasets) {
        if (!m_store->isGroupEnabled(entry.get(), groupId)) {
            allOn = false;
            break;
        }
    }
    // Without datasets there is nothing to be "on everywhere": off.
    emit groupSwitchInAllRequested(groupId, datasets.empty() ? false : !allOn);
    refresh();
}

void FilterGroupsMatrixWindow::onItemClicked(QTreeWidgetItem* item, int column) {
    if (!item || column != 0 || !m_store)
        return;
    const QVariant data = item->data(0, Qt::UserRole);
    if (!data.isValid())
        return;
    const int datasetId = data.toInt();
    const DatasetEntry* entry = m_store->findById(datasetId);
    if (!entry)
        return;
    noteClick();
    std::vector<int> groupIds;
    bool allOn = true;
    for (const auto& group : m_store->groups()) {
        groupIds.push_back(group->id);
        allOn = allOn && m_store->isGroupEnabled(entry, group->id);
    }
    // One store for every group and one refresh of the plot, however many
    // groups there are.
    emit groupSwitchesRequested(datasetId, groupIds, groupIds.empty() ? false : !allOn);
    refresh();
}

void FilterGroupsMatrixWindow::closeEvent(QCloseEvent* event) {
    emit windowClosed(this);
    QMainWindow::closeEvent(event);
}

} // namespace Quorvex3
