// The tool windows: opening them, one registry per kind (which releases a
// window when it reports its closing), and closing them all with the main
// window.
#include "app/MainWindow.h"

#include "compare/CombinePlotWindow.h"
#include "compare/ImageGalleryWindow.h"
#include "core/RTDCReader.h"
#include "filters/FilterGroupsMatrixWindow.h"
#include "stats/StatisticalEvalWindow.h"
#include "util/DialogProvider.h"

namespace Quorvex3 {

void MainWindow::openCombinePlotWindow() {
    m_combinePlotWindows.open(new CombinePlotWindow(&m_store, this, nullptr), this);
}

void MainWindow::openStatisticalEvalWindow() {
    m_statisticalEvalWindows.open(new StatisticalEvalWindow(&m_store, nullptr), this);
}

void MainWindow::openImageGalleryWindow() {
    const DatasetEntry* entry = activeDataset();
    if (!entry) {
        DialogProvider::current().information(
            this, QStringLiteral("Image Gallery"),
            QStringLiteral("Open a dataset before launching the image gallery."), QMessageBox::Ok);
        return;
    }
    if (!entry->reader || !entry->reader->hasImages()) {
        DialogProvider::current().information(
            this, QStringLiteral("Image Gallery"),
            QStringLiteral("The active dataset has no event images."), QMessageBox::Ok);
        return;
    }
    m_imageGalleryWindows.open(new ImageGalleryWindow(&m_store, entry->id, nullptr), this);
}

void MainWindow::openFilterGroupsMatrixWindow() {
    auto* window = new FilterGroupsMatrixWindow(
        &m_store, {datasetFolderViewActive(), datasetFolderDepth()}, nullptr);
    // Direct connections: the window reads the new switches from the store
    // as soon as its request returns.
    connect(window, &FilterGroupsMatrixWindow::groupSwitchRequested, this,
            &MainWindow::setGroupEnabled, Qt::DirectConnection);
    connect(window, &FilterGroupsMatrixWindow::groupSwitchesRequested, this,
            &MainWindow::setGroupsEnabled, Qt::DirectConnection);
    connect(window, &FilterGroupsMatrixWindow::groupSwitchInAllRequested, this,
            &MainWindow::setGroupEnabledInAll, Qt::DirectConnection);
    m_filterGroupsMatrixWindows.open(window, this);
}

void MainWindow::closeToolWindows() {
    m_combinePlotWindows.closeAll(this);
    m_statisticalEvalWindows.closeAll(this);
    m_imageGalleryWindows.closeAll(this);
    m_filterGroupsMatrixWindows.closeAll(this);
}

void MainWindow::deleteToolWindows() {
    m_combinePlotWindows.deleteAll(this);
    m_statisticalEvalWindows.deleteAll(this);
    m_imageGalleryWindows.deleteAll(this);
    m_filterGroupsMatrixWindows.deleteAll(this);
}

} // namespace Quorvex3
