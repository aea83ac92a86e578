// Datasets: opening and dropping measurements, the background preload and
// its queues, removal, duplication and renaming.
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

} // namespace Quorvex3
