// The active dataset: switching datasets with their stored plot settings,
// and the feature choices.
#include "app/MainWindow.h"

namespace Quorvex3 {

// ---- active dataset --------------------------------------------------------------

void MainWindow::onDatasetSelected(int row) {
    switchToDataset(row);
}

void MainWindow::switchToDataset(int) {}

void MainWindow::saveCurrentDatasetState() {}

void MainWindow::refreshUIForActiveDataset() {}

void MainWindow::loadFeatureComboBoxes() {}

void MainWindow::updatePlotSettingsButtonState() {}

void MainWindow::notifyGalleryActiveDatasetChanged(int) {}

} // namespace Quorvex3
