// Propagation of filter rules across datasets and polygon gating.
#include "app/MainWindow.h"

namespace Quorvex3 {

// ---- filter dock: the active dataset's filter and its propagation ----------------

void MainWindow::onFilterChanged() {}
void MainWindow::onApplyFilterToAll() {}
void MainWindow::onApplyRuleToAll(int) {}
void MainWindow::onUpdateRuleToAll(int) {}
void MainWindow::onUncheckRuleInAll(int) {}
void MainWindow::onCheckRuleInAll(int) {}
void MainWindow::onDeleteRuleFromAll(int) {}
void MainWindow::onEnabledChangedForAll(bool) {}
void MainWindow::onCombineModeChangedForAll(int) {}
void MainWindow::onImportMeasurementFilters(bool) {}
void MainWindow::updateFilterPropagationStatus() {}
int MainWindow::applyMeasurementFilters(DatasetEntry*) {
    return 0;
}

// ---- polygons ----------------------------------------------------------------------

void MainWindow::onPolygonCompleted(const QPolygonF&) {}
void MainWindow::onPolygonDrawingStopped() {}
void MainWindow::onPolygonEditRequested(int, bool) {}
void MainWindow::onGroupPolygonEditRequested(int, int, bool) {}
void MainWindow::onPolygonEdited(int, const QPolygonF&) {}
void MainWindow::onPolygonEditingStopped(int) {}
} // namespace Quorvex3
