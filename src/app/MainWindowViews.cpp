// The views of the active dataset's current event: the event image, traces
// and feature values, and the metadata tree.
//
// Showing datasets is not available in this build yet: the operations below
// are the places where it goes, and do nothing so far.
#include "app/MainWindow.h"

namespace Quorvex3 {

// ---- event, trace and metadata views ---------------------------------------------

void MainWindow::onEventSpinBoxChanged(int) {}

void MainWindow::onMaskToggled(bool) {}

void MainWindow::displayEventImage(int) {}

void MainWindow::displayEventTrace(int) {}

void MainWindow::updateEventDataTable(int) {}

void MainWindow::configureTracePlot() {}

std::vector<int> MainWindow::getActiveFlChannels(RTDCReader*) {
    return {};
}

void MainWindow::refreshEmodulusDeformSources() {}

void MainWindow::populateMetadataTree() {}

void MainWindow::addMetadataSection(const QString&, const std::map<std::string, std::string>&) {}

} // namespace Quorvex3
