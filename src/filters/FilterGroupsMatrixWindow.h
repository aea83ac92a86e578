#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <vector>

class QCheckBox;
class QCloseEvent;
class QTreeWidget;
class QTreeWidgetItem;

namespace Quorvex3 {

class DatasetStore;
struct DatasetFolderNode;

/// How the matrix window arranges its dataset rows: as a list, or under the
/// folders of their paths down to `depth` levels (the main window's folder
/// view).
struct MatrixFolderView {
    bool active = false;
    int depth = 2;
};

/// Tool window that switches every filter group on or off per dataset, as a
/// grid of check boxes: one row per dataset (under folder rows when the main
/// window shows its folder view) and one column per group after the
/// "Dataset" column. A box switches one group for one dataset, a click on a
/// group's column header switches that group for every dataset, and a click
/// on a dataset's name switches every group for that dataset.
///
/// The window keeps no state beyond its widgets and the folder view it was
/// told of: it reads datasets, groups and switches from the dataset store
/// and changes none of them itself. Every change goes out as a request
/// signal, which the main window answers at once (direct connection) with
/// its group operations, so the store holds the new switches when the
/// signal returns. Top-level; the main window owns it and is told when it
/// closes. GUI thread only.
class FilterGroupsMatrixWindow : public QMainWindow {
    Q_OBJECT

public:
    using FolderView = MatrixFolderView;

    /// `store` is not owned, must outlive the window and may be null (the
    /// window then shows only its empty tree); the main window passes no
    /// parent.
    explicit FilterGroupsMatrixWindow(const DatasetStore* store, FolderView folders = {},
                                      QWidget* parent = nullptr);
    ~FilterGroupsMatrixWindow() override;

    /// Takes effect with the next refresh().
    void setFolderView(FolderView folders) { m_folders = folders; }
    FolderView folderView() const { return m_folders; }

    /// Brings the grid up to date with the store's datasets, groups and
    /// switches and the folder view. When the rows and columns are still the same, only the
    /// check boxes are set; otherwise headers and rows are rebuilt. A
    /// rebuild asked for while a click on one of the window's own widgets
    /// is being reported runs from the event loop right after it, so no box
    /// or item is removed inside its own signal.
    void refresh();

    /// The grid (column 0: names; column j + 1: group j).
    QTreeWidget* tree() const { return m_tree; }

signals:
    /// A box was ticked or cleared: switch one group for one dataset.
    void groupSwitchRequested(int datasetId, int groupId, bool on);
    /// A dataset's name was clicked: switch every listed group for it, with
    /// one refresh of the plot.
    void groupSwitchesRequested(int datasetId, const std::vector<int>& groupIds, bool on);
    /// A group's column header was clicked: switch it for every dataset.
    void groupSwitchInAllRequested(int groupId, bool on);
    /// Emitted with the window itself when it is closed.
    void windowClosed(FilterGroupsMatrixWindow* window);

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void onColumnHeaderClicked(int section);
    void onItemClicked(QTreeWidgetItem* item, int column);

private:
    /// One check box of the grid and what it switches.
    struct Cell {
        int datasetId = -1;
        int groupId = -1;
        QPointer<QCheckBox> box;
    };

    void buildLayout();
    void rebuildHeaders();
    void rebuildRows();
    void addRow(const DatasetFolderNode& node, QTreeWidgetItem* parent);
    void addCell(QTreeWidgetItem* item, int column, int datasetId, int groupId, bool on);
    void onCellToggled(int datasetId, int groupId, bool on);
    /// Sets m_clickInProgress until the event loop runs again, then runs a
    /// rebuild that was put off.
    void noteClick();
    /// Headers then rows, with the rebuilding flag set.
    void rebuildAll();
    /// Sets every box from the store's switches without reporting.
    void syncCheckStates();
    /// The rows (datasets, or the top-level nodes of the folder tree).
    std::vector<DatasetFolderNode> rowNodes() const;
    /// Text that changes exactly when the headers or the rows would.
    QString layoutKey(const std::vector<DatasetFolderNode>& nodes) const;

    const DatasetStore* m_store = nullptr;
    FolderView m_folders;
    QTreeWidget* m_tree = nullptr;
    /// True while headers, rows or check states are set by the window.
    bool m_rebuilding = false;
    /// Column 0 is fitted to its contents after each rebuild until the user
    /// sizes it by hand.
    bool m_autoSizeFirstColumn = true;
    bool m_resizingProgrammatically = false;

    /// Boxes in row order, then group order.
    std::vector<Cell> m_cells;
    /// layoutKey() of the grid as built; empty before the first build.
    QString m_builtLayout;
    /// True from a click on one of the window's widgets until the event
    /// loop runs again, i.e. until every receiver of that click has
    /// returned; rebuilds asked for meanwhile wait for it.
    bool m_clickInProgress = false;
    bool m_rebuildQueued = false;
};

} // namespace Quorvex3
