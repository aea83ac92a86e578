// Wiring of the widgets' signals to the main window's operations, and the
// small reactions that belong to the shell itself (dataset view mode and
// depth, context menus, dock title bars).
#include "app/MainWindow.h"

#include "app/DatasetListWidget.h"
#include "app/DatasetTreeWidget.h"
#include "app/ShellSettings.h"
#include "calc/CalculationsDockWidget.h"
#include "filters/FilterDockWidget.h"
#include "filters/FilterGroupsMatrixWindow.h"
#include "plots/ImageViewer.h"
#include "plots/PlotControlsWidget.h"
#include "plots/ScatterPlot.h"

#include <QComboBox>
#include <QDockWidget>
#include <QFutureWatcher>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTimer>
#include <QTreeWidget>

namespace Quorvex3 {

void MainWindow::setupConnections() {
    connect(m_renameEdit, &QLineEdit::editingFinished, this, &MainWindow::onRenameFinished);
    connectCalculationsDock();
    connectPlotControls();
    connect(m_preloadWatcher, &QFutureWatcher<PreloadOutcome>::finished, this,
            &MainWindow::onFeaturesLoaded);
    connectDatasetViews();
    connectFilterDock();

    for (QDockWidget* dock : {m_filtersDock, m_calculationsDock, m_metadataDock}) {
        connect(dock, &QDockWidget::visibilityChanged, this, [this, dock](bool visible) {
            if (visible)
                QTimer::singleShot(0, dock, [dock] { dock->raise(); });
            updateTabbedDockTitleBars();
        });
    }
    connect(m_metadataDock, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (visible && m_metadataTree->topLevelItemCount() == 0)
            populateMetadataTree();
    });
}

void MainWindow::connectCalculationsDock() {
    CalculationsDockWidget* dock = m_calculationsWidget;
    connect(dock, &CalculationsDockWidget::refineFluorescence, this,
            &MainWindow::onRefineFluorescence);
    connect(dock, &CalculationsDockWidget::compensateCrosstalk, this,
            &MainWindow::onCompensateCrosstalk);
    connect(dock, &CalculationsDockWidget::computeEmodulus, this, &MainWindow::onComputeEmodulus);
    connect(dock, &CalculationsDockWidget::assessEmodQuality, this,
            &MainWindow::onAssessEmodQuality);
    connect(dock, &CalculationsDockWidget::computeFourierDeform, this,
            &MainWindow::onComputeFourierDeform);
    connect(dock, &CalculationsDockWidget::computeImageFeatures, this,
            &MainWindow::onComputeImageFeatures);
    connect(dock, &CalculationsDockWidget::traceDisplayChanged, this, [this] {
        configureTracePlot();
        if (const DatasetEntry* entry = activeDataset(); entry && entry->currentEventIndex >= 0)
            displayEventTrace(entry->currentEventIndex);
    });
    connect(dock, &CalculationsDockWidget::computeDimReduction, this,
            &MainWindow::onComputeDimReduction);
    connect(dock, &CalculationsDockWidget::saveDimRedReference, this,
            &MainWindow::onSaveDimRedReference);
    connect(dock, &CalculationsDockWidget::loadDimRedReference, this,
            &MainWindow::onLoadDimRedReference);
}

void MainWindow::connectPlotControls() {
    // Hovering while a polygon is drawn or edited shows the events too.
    connect(m_scatterPlot, &ScatterPlot::pointClicked, this, &MainWindow::onPointClicked);
    connect(m_scatterPlot, &ScatterPlot::pointHovered, this, &MainWindow::onPointClicked);
    connect(m_plotControls, &PlotControlsWidget::settingsChanged, this,
            &MainWindow::onPlotSettingsChanged);
    connect(m_plotControls, &PlotControlsWidget::applyToAllRequested, this,
            &MainWindow::onApplyPlotSettingsToAll);
    connect(m_eventSpinBox, qOverload<int>(&QSpinBox::valueChanged), this,
            &MainWindow::onEventSpinBoxChanged);
    connect(m_imageViewer, &ImageViewer::showMaskToggled, this, &MainWindow::onMaskToggled);
}

void MainWindow::connectDatasetViews() {
    connect(m_datasetList, &QListWidget::currentRowChanged, this, &MainWindow::onDatasetSelected);
    connect(m_datasetList, &DatasetListWidget::internalReorderRequested, this,
            &MainWindow::applyDatasetReorder);
    connect(m_datasetTree, &DatasetTreeWidget::internalReorderRequested, this,
            [this](int sourceId, int targetId, bool after) {
                const int source = datasetIndexById(sourceId);
                const int target = datasetIndexById(targetId);
                if (source >= 0 && target >= 0)
                    applyDatasetReorder(source, after ? target + 1 : target);
            });
    connect(m_datasetList, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (m_datasetList->currentRow() >= 0)
            showDatasetContextMenu(m_datasetList, m_datasetList->mapToGlobal(pos));
    });
    connect(m_viewModeCombo, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &MainWindow::onViewModeChanged);
    connect(m_depthSpin, qOverload<int>(&QSpinBox::valueChanged), this,
            &MainWindow::onDepthChanged);
    connect(m_datasetTree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) {
                if (!current || m_treeRebuilding)
                    return;
                const QVariant id = current->data(0, Qt::UserRole);
                if (id.isValid())
                    switchToDataset(datasetIndexById(id.toInt()));
            });
    connect(m_datasetTree, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const QTreeWidgetItem* item = m_datasetTree->itemAt(pos);
        if (!item)
            return;
        const QVariant id = item->data(0, Qt::UserRole);
        if (!id.isValid())
            return; // a folder
        switchToDataset(datasetIndexById(id.toInt()));
        showDatasetContextMenu(m_datasetTree, m_datasetTree->viewport()->mapToGlobal(pos));
    });
}

void MainWindow::connectFilterDock() {
    FilterDockWidget* dock = m_filterDock;
    connect(dock, &FilterDockWidget::filterChanged, this, &MainWindow::onFilterChanged);
    connect(dock, &FilterDockWidget::applyToAllRequested, this, &MainWindow::onApplyFilterToAll);
    connect(dock, &FilterDockWidget::applyRuleToAll, this, &MainWindow::onApplyRuleToAll);
    connect(dock, &FilterDockWidget::updateRuleToAll, this, &MainWindow::onUpdateRuleToAll);
    connect(dock, &FilterDockWidget::uncheckRuleInAll, this, &MainWindow::onUncheckRuleInAll);
    connect(dock, &FilterDockWidget::checkRuleInAll, this, &MainWindow::onCheckRuleInAll);
    connect(dock, &FilterDockWidget::deleteRuleFromAll, this, &MainWindow::onDeleteRuleFromAll);
    connect(dock, &FilterDockWidget::enabledChangedForAll, this,
            &MainWindow::onEnabledChangedForAll);
    connect(dock, &FilterDockWidget::combineModeChangedForAll, this,
            &MainWindow::onCombineModeChangedForAll);
    connect(dock, &FilterDockWidget::importMeasurementFiltersRequested, this,
            &MainWindow::onImportMeasurementFilters);

    connect(dock, &FilterDockWidget::polygonDrawRequested, m_scatterPlot,
            &ScatterPlot::startPolygonDrawing);
    connect(dock, &FilterDockWidget::polygonDrawCancelRequested, m_scatterPlot,
            &ScatterPlot::cancelPolygonDrawing);
    connect(dock, &FilterDockWidget::polygonEditRequested, this,
            &MainWindow::onPolygonEditRequested);
    connect(m_scatterPlot, &ScatterPlot::polygonCompleted, this, &MainWindow::onPolygonCompleted);
    connect(m_scatterPlot, &ScatterPlot::polygonDrawingStopped, this,
            &MainWindow::onPolygonDrawingStopped);
    connect(m_scatterPlot, &ScatterPlot::polygonEdited, this, &MainWindow::onPolygonEdited);
    connect(m_scatterPlot, &ScatterPlot::polygonEditingStopped, this,
            &MainWindow::onPolygonEditingStopped);

    connect(dock, &FilterDockWidget::addFilterGroupRequested, this,
            &MainWindow::onAddFilterGroupRequested);
    connect(dock, &FilterDockWidget::renameFilterGroupRequested, this,
            &MainWindow::onRenameFilterGroupRequested);
    connect(dock, &FilterDockWidget::deleteFilterGroupRequested, this,
            &MainWindow::onDeleteFilterGroupRequested);
    connect(dock, &FilterDockWidget::groupEnableChanged, this, &MainWindow::onGroupEnableChanged);
    connect(dock, &FilterDockWidget::groupEnablePropagateRequested, this,
            &MainWindow::onGroupEnablePropagateRequested);
    connect(dock, &FilterDockWidget::addRuleToGroupRequested, this,
            &MainWindow::onAddRuleToGroupRequested);
    connect(dock, &FilterDockWidget::addPolygonToGroupRequested, this,
            &MainWindow::onAddPolygonToGroupRequested);
    connect(dock, &FilterDockWidget::groupRuleChanged, this, &MainWindow::onGroupRuleChanged);
    connect(dock, &FilterDockWidget::groupRuleRemoved, this, &MainWindow::onGroupRuleRemoved);
    connect(dock, &FilterDockWidget::groupPolygonEditRequested, this,
            &MainWindow::onGroupPolygonEditRequested);
    connect(dock, &FilterDockWidget::importGroupsRequested, this,
            &MainWindow::importFilterGroupsFromFile);
    connect(dock, &FilterDockWidget::exportGroupsRequested, this,
            &MainWindow::exportFilterGroupsToFile);
}

void MainWindow::onViewModeChanged(int index) {
    const bool folderView = index == 1;
    m_depthSpin->setVisible(folderView);
    m_depthLabel->setVisible(folderView);
    if (folderView)
        rebuildDatasetTree();
    m_datasetStack->setCurrentIndex(folderView ? 1 : 0);
    ShellSettings::setDatasetFolderView(folderView);
    notifyGroupsMatrixRefresh();
}

void MainWindow::onDepthChanged(int depth) {
    ShellSettings::setDatasetViewDepth(depth);
    refreshDatasetTreeIfVisible();
    notifyGroupsMatrixRefresh();
}

void MainWindow::showDatasetContextMenu(QWidget* view, const QPoint& globalPos) {
    QMenu menu(view);
    QAction* duplicate = menu.addAction(QStringLiteral("Duplicate Dataset"));
    QAction* remove = menu.addAction(QStringLiteral("Remove Dataset"));
    const QAction* chosen = menu.exec(globalPos);
    if (chosen == duplicate)
        duplicateDataset();
    else if (chosen == remove)
        removeDataset();
}

} // namespace Quorvex3
