// Datasets: opening and dropping measurements, the background preload and
// its queues, removal, duplication and renaming, and the list and folder
// views of the "Datasets" dock.
//
// Loading measurements is not available in this build yet: the operations
// below are the places where it goes, and do nothing so far.
#include "app/MainWindow.h"

#include "app/DatasetListWidget.h"
#include "app/DatasetTreeWidget.h"
#include "filters/FilterGroupsMatrixWindow.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QSpinBox>
#include <QStackedWidget>

namespace Quorvex3 {

// ---- loading -------------------------------------------------------------------

void MainWindow::openFile() {}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    QMainWindow::dragEnterEvent(event);
}

void MainWindow::dropEvent(QDropEvent* event) {
    QMainWindow::dropEvent(event);
}

void MainWindow::addDataset(const QString&) {}

void MainWindow::applyCurrentSyncState(DatasetEntry*) {}

void MainWindow::startPreload(int) {}

void MainWindow::onFeaturesLoaded() {}

// ---- remove, duplicate, rename -----------------------------------------------------

void MainWindow::removeDataset() {}

void MainWindow::duplicateDataset() {}

void MainWindow::onRenameFinished() {}

void MainWindow::updateDatasetDisplayName(int, const QString&) {}

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
