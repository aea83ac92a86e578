// The tool windows: opening them, keeping one list per kind, releasing a
// window when it reports its closing, and closing them all with the main
// window.
#include "app/MainWindow.h"

#include "compare/CombinePlotWindow.h"
#include "compare/ImageGalleryWindow.h"
#include "core/RTDCReader.h"
#include "filters/FilterGroupsMatrixWindow.h"
#include "stats/StatisticalEvalWindow.h"
#include "util/DialogProvider.h"

#include <algorithm>

namespace Quorvex3 {

namespace {

/// Removes the first occurrence of `window` from `windows` and deletes the
/// window from the event loop (also when it was not listed), so it is not
/// deleted inside its own close handling.
template <typename Window> void releaseWindow(std::vector<Window*>& windows, Window* window) {
    const auto found = std::find(windows.begin(), windows.end(), window);
    if (found != windows.end())
        windows.erase(found);
    if (window)
        window->deleteLater();
}

/// Empties the list first, then cuts each window's connections to `main`
/// (so its closing is not reported back), closes and deletes it at once.
template <typename Window> void closeAndDeleteAll(std::vector<Window*>& windows, QObject* main) {
    const std::vector<Window*> open = std::move(windows);
    windows.clear();
    for (Window* window : open) {
        QObject::disconnect(window, nullptr, main, nullptr);
        window->close();
        delete window;
    }
}

template <typename Window> void deleteAll(std::vector<Window*>& windows, QObject* main) {
    const std::vector<Window*> open = std::move(windows);
    windows.clear();
    for (Window* window : open) {
        QObject::disconnect(window, nullptr, main, nullptr);
        delete window;
    }
}

} // namespace

void MainWindow::openCombinePlotWindow() {
    auto* window = new CombinePlotWindow(this, nullptr);
    m_combinePlotWindows.push_back(window);
    connect(window, &CombinePlotWindow::windowClosed, this, &MainWindow::releaseCombinePlotWindow);
    window->show();
}

void MainWindow::openStatisticalEvalWindow() {
    auto* window = new StatisticalEvalWindow(this, nullptr);
    m_statisticalEvalWindows.push_back(window);
    connect(window, &StatisticalEvalWindow::windowClosed, this,
            &MainWindow::releaseStatisticalEvalWindow);
    window->show();
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
    auto* window = new ImageGalleryWindow(this, entry->id, nullptr);
    m_imageGalleryWindows.push_back(window);
    connect(window, &ImageGalleryWindow::windowClosed, this,
            &MainWindow::releaseImageGalleryWindow);
    window->show();
}

void MainWindow::openFilterGroupsMatrixWindow() {
    auto* window = new FilterGroupsMatrixWindow(this, nullptr);
    m_filterGroupsMatrixWindows.push_back(window);
    connect(window, &FilterGroupsMatrixWindow::windowClosed, this,
            &MainWindow::releaseFilterGroupsMatrixWindow);
    window->show();
}

void MainWindow::releaseCombinePlotWindow(CombinePlotWindow* window) {
    releaseWindow(m_combinePlotWindows, window);
}

void MainWindow::releaseStatisticalEvalWindow(StatisticalEvalWindow* window) {
    releaseWindow(m_statisticalEvalWindows, window);
}

void MainWindow::releaseImageGalleryWindow(ImageGalleryWindow* window) {
    releaseWindow(m_imageGalleryWindows, window);
}

void MainWindow::releaseFilterGroupsMatrixWindow(FilterGroupsMatrixWindow* window) {
    releaseWindow(m_filterGroupsMatrixWindows, window);
}

void MainWindow::closeToolWindows() {
    closeAndDeleteAll(m_combinePlotWindows, this);
    closeAndDeleteAll(m_statisticalEvalWindows, this);
    closeAndDeleteAll(m_imageGalleryWindows, this);
    closeAndDeleteAll(m_filterGroupsMatrixWindows, this);
}

void MainWindow::deleteToolWindows() {
    deleteAll(m_combinePlotWindows, this);
    deleteAll(m_statisticalEvalWindows, this);
    deleteAll(m_imageGalleryWindows, this);
    deleteAll(m_filterGroupsMatrixWindows, this);
}

} // namespace Quorvex3
