// The active dataset: switching datasets with their stored plot settings,
// the derived features a dataset gets back when it is shown again, and the
// feature choices.
#include "app/MainWindow.h"

#include "app/DatasetListWidget.h"
#include "calc/CalculationsDockWidget.h"
#include "calc/EModInputs.h"
#include "calc/EModulus.h"
#include "calc/FLCompensation.h"
#include "calc/FLRefinement.h"
#include "calc/FourierDeform.h"
#include "calc/ImageFeatures.h"
#include "compare/ImageGalleryWindow.h"
#include "core/RTDCReader.h"
#include "core/UsableFeatures.h"
#include "filters/FilterDockWidget.h"
#include "model/DatasetPlotSettings.h"
#include "plots/ImageViewer.h"
#include "plots/PlotControlsWidget.h"
#include "plots/ScatterPlot.h"
#include "plots/StatisticsDockWidget.h"
#include "plots/TracePlot.h"

#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTableWidget>
#include <QTreeWidget>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace Quorvex3 {

// ---- active dataset --------------------------------------------------------------

void MainWindow::onDatasetSelected(int row) {
    switchToDataset(row);
}

void MainWindow::switchToDataset(int index) {
    if (index < 0 || index >= m_store.count() || index == m_store.activeRow())
        return;
    saveCurrentDatasetState();
    m_store.setActiveRow(index);
    selectActiveInTree();
    if (m_datasetList->currentRow() != index) {
        const QSignalBlocker blocker(m_datasetList);
        m_datasetList->setCurrentRow(index);
    }
    DatasetEntry* entry = activeDataset();
    m_filterDock->setActiveDataset(entry);
    notifyGalleryActiveDatasetChanged(entry->id);
    if (entry->featuresLoaded)
        refreshUIForActiveDataset();
    else
        showLoadingState(*entry);
}

void MainWindow::showLoadingState(const DatasetEntry& entry) {
    m_infoLabel->setText(QStringLiteral("Loading: %1...").arg(entry.displayName));
    m_plotControls->setFeatureChoicesEnabled(false);
    m_eventSpinBox->setEnabled(false);
    m_imageViewer->setMaskEnabled(false);
    {
        const QSignalBlocker blocker(m_renameEdit);
        m_renameEdit->setText(entry.displayName);
    }
    m_renameEdit->setEnabled(false);

    clearPlotAndEventViews();
}

void MainWindow::clearPlotAndEventViews() {
    // The plot arrays describe what is drawn: nothing now. Contour changes
    // made meanwhile must not draw the previous dataset's contours, and its
    // polygons do not belong on an empty plot.
    m_plot = PlotArrays();
    m_plottedIndicesValid = false;
    m_scatterPlot->clearPolygonOverlays();
    m_scatterPlot->clearData();
    m_scatterPlot->clearIsolines();
    m_imageViewer->clear();
    m_tracePlot->clear();
    m_tracePlot->hide();
    m_eventTable->setRowCount(0);
    m_statisticsWidget->clear();
}

void MainWindow::saveCurrentDatasetState() {
    DatasetEntry* entry = activeDataset();
    // A dataset still loading never had its settings put into the controls:
    // they still show the dataset shown before, which is not its state.
    if (!entry || !entry->featuresLoaded)
        return;
    storePlotSettings(*entry, m_plotControls->settings());
    entry->currentEventIndex = m_eventSpinBox->value();
}

void MainWindow::refreshUIForActiveDataset() {
    DatasetEntry* entry = activeDataset();
    if (!entry || !entry->featuresLoaded || !entry->reader)
        return;
    RTDCReader& reader = *entry->reader;

    m_plotControls->setFeatureChoicesEnabled(true);
    m_renameEdit->setEnabled(true);
    {
        const QSignalBlocker blocker(m_renameEdit);
        m_renameEdit->setText(entry->displayName);
    }

    prepareCalculationsForDataset(*entry);
    restorePlotControls(*entry);

    m_imageViewer->setMaskEnabled(reader.hasMasks());
    configureTracePlot();
    m_metadataTree->clear();
    if (m_metadataDock->isVisible())
        populateMetadataTree();

    m_filterDock->setActiveDataset(entry);
    updatePlotNow();

    const int event = entry->currentEventIndex;
    if (event >= 0) {
        // The plot marks plot points, which are events only when nothing is
        // filtered out or dropped.
        const int plotIndex = plotIndexOfEvent(event);
        if (plotIndex >= 0)
            m_scatterPlot->highlightPoint(plotIndex);
        else
            m_scatterPlot->clearHighlight();
    }
    if (reader.hasImages() && entry->currentEventIndex >= 0) {
        displayEventImage(entry->currentEventIndex);
        return;
    }
    // Without images the image views are empty, but the traces and values
    // show this dataset's current event, never those of the one shown before.
    m_imageViewer->clear();
    displayEventTrace(entry->currentEventIndex);
    if (entry->currentEventIndex >= 0 &&
        static_cast<std::size_t>(entry->currentEventIndex) < reader.getEventCount())
        updateEventDataTable(entry->currentEventIndex);
    else
        m_eventTable->setRowCount(0);
}

void MainWindow::prepareCalculationsForDataset(DatasetEntry& entry) {
    RTDCReader* reader = entry.reader.get();
    const std::vector<int> channels = getActiveFlChannels(reader);
    m_calculationsWidget->setActiveDataset(&entry);
    m_calculationsWidget->setRefineEnabled(!channels.empty());

    // Derived features the dataset had, but that this reader lacks (a
    // restored session), are computed again first.
    redoRestoredComputations(entry);

    if (channels.size() >= 2) {
        m_calculationsWidget->buildSpilloverTable(channels);
        if (entry.ctcApplied && entry.ctcChannels == channels &&
            entry.spilloverMatrix.value().n_rows == channels.size()) {
            m_calculationsWidget->restoreSpilloverMatrix(entry.spilloverMatrix.value(), channels);
        }
    }
    m_calculationsWidget->setCompensationVisible(channels.size() >= 2);

    refreshEmodulusAvailability(entry);
    m_calculationsWidget->setAssessQualityVisible(entry.emodApplied);
    // Always this dataset's own conditions, also when it cannot have a modulus.
    m_calculationsWidget->populateEmodulusDefaults(entry.metadata, reader->hasFeature("temp"));

    const bool imagesAndMasks = reader->hasImages() && reader->hasMasks();
    m_calculationsWidget->setFourierEnabled(reader->hasMasks());
    m_calculationsWidget->setImageFeaturesEnabled(imagesAndMasks);

    refreshEmodulusDeformSources();
}

void MainWindow::restorePlotControls(DatasetEntry& entry) {
    loadFeatureComboBoxes();
    // A name the dataset no longer offers leaves the default in place.
    m_plotControls->restore(plotSettingsOf(entry));
    m_scatterPlot->setScaleMode(QwtPlot::xBottom, entry.scaleXMode);
    m_scatterPlot->setScaleMode(QwtPlot::yLeft, entry.scaleYMode);

    const QSignalBlocker blockEvent(m_eventSpinBox);
    const int count = static_cast<int>(entry.reader->getEventCount());
    m_eventSpinBox->setRange(0, std::max(count - 1, 0));
    m_eventSpinBox->setEnabled(count > 0);
    if (entry.currentEventIndex < 0 || entry.currentEventIndex >= count)
        entry.currentEventIndex = 0;
    m_eventSpinBox->setValue(entry.currentEventIndex);
}

void MainWindow::loadFeatureComboBoxes() {
    RTDCReader* reader = activeReader();
    if (!reader)
        return;
    // Only what can be plotted: a stored choice of a string column or a
    // short one then finds no item and falls back to the defaults.
    std::vector<std::pair<std::string, QString>> features;
    for (const std::string& name : usableScalarFeatures(*reader))
        features.emplace_back(name, QString::fromStdString(reader->getFeatureLabel(name)));
    m_plotControls->setFeatures(features);
}

void MainWindow::updatePlotSettingsButtonState() {
    if (!m_plotControls)
        return;
    const bool enabled = activeDataset() && datasets().size() > 1;
    m_plotControls->setApplyToAllState(enabled,
                                       enabled && !plotSettingsAlignedAcrossDatasets(nullptr));
}

void MainWindow::notifyGalleryActiveDatasetChanged(int id) {
    m_imageGalleryWindows.broadcast(
        [&](ImageGalleryWindow* window) { window->onActiveDatasetChanged(id); });
}

} // namespace Quorvex3
