// The list and folder views of the "Datasets" dock: item texts, adding and
// reordering rows, and the folder tree built from the datasets' paths.
#include "app/MainWindow.h"

#include "app/DatasetListWidget.h"
#include "app/DatasetTreeWidget.h"
#include "filters/FilterGroupsMatrixWindow.h"

#include <QSpinBox>
#include <QStackedWidget>

namespace Quorvex3 {

// ---- list and folder views ---------------------------------------------------------

QString MainWindow::buildDatasetListText(const DatasetEntry*) const {
    return {};
}

void MainWindow::addDatasetToList(int) {}

void MainWindow::applyDatasetReorder(int, int) {}

void MainWindow::rebuildDatasetTree() {}

void MainWindow::addFolderNode(const DatasetFolderNode&, QTreeWidgetItem*) {}

void MainWindow::selectActiveInTree() {}

void MainWindow::refreshDatasetTreeIfVisible() {
    if (datasetFolderViewActive())
        rebuildDatasetTree();
}

void MainWindow::notifyGroupsMatrixRefresh() {
    for (FilterGroupsMatrixWindow* window : m_filterGroupsMatrixWindows)
        window->refreshFromMain();
}

bool MainWindow::datasetFolderViewActive() const {
    return m_datasetStack && m_datasetStack->currentIndex() == 1;
}

int MainWindow::datasetFolderDepth() const {
    return m_depthSpin ? m_depthSpin->value() : 2;
}

} // namespace Quorvex3
