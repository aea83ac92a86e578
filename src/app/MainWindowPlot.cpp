// The main scatter plot of the active dataset: the central refresh, the
// colour, contours, isolines, polygon overlays and status line it draws, the
// picking of events, and copying the plot settings to every dataset.
//
// Plotting datasets is not available in this build yet: the operations below
// are the places where it goes, and do nothing so far.
#include "app/MainWindow.h"

namespace Quorvex3 {

void MainWindow::updatePlot() {}

void MainWindow::updateFeatureSelection() {}

void MainWindow::updateContours() {
    updateContourDisplay();
}

void MainWindow::updateIsolines() {}

void MainWindow::refreshFeaturesAndPlot() {}

void MainWindow::onApplyPlotSettingsToAll() {}

bool MainWindow::plotSettingsAlignedAcrossDatasets(const DatasetEntry*) const {
    return true;
}

void MainWindow::setScaleComboWarning(QComboBox*, std::size_t, const QString&) {}

void MainWindow::updatePolygonOverlays() {}

void MainWindow::updateContourDisplay() {}

void MainWindow::updateFilteredStatus() {}

void MainWindow::onPointClicked(int) {}

} // namespace Quorvex3
