#pragma once

#include "compare/GalleryContrast.h"
#include "compare/GalleryRender.h"

#include <QFutureWatcher>
#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QCloseEvent;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace Quorvex3 {

class DatasetStore;
struct DatasetEntry;
class GalleryGridWidget;
class RTDCReader;

/// Tool window with a paged gallery of one dataset's event images: a square
/// grid of cutouts around each shown event, with a page size of 25, 100 or
/// 400, an automatic or manual cutout size and a full, automatic or manual
/// contrast window. Pages and the automatic contrast are computed on Qt's
/// global thread pool; a result that no longer matches the newest request
/// (by generation number) is dropped.
///
/// Top-level; the main window owns it (it does not delete itself on close),
/// tells it of refreshes, removals, renames and active-dataset changes, and
/// releases it on `windowClosed`. Datasets are looked up by id in the main
/// window's store each time they are needed. GUI thread only.
class ImageGalleryWindow : public QMainWindow {
    Q_OBJECT

public:
    /// The page render as started on the pool: the reader handle and the
    /// input are the task's own copies.
    using RenderTask =
        std::function<GalleryRenderResult(std::shared_ptr<RTDCReader>, GalleryRenderInput)>;
    /// The automatic-contrast computation as started on the pool.
    using ContrastTask = std::function<GalleryAutoContrastResult(std::shared_ptr<RTDCReader>,
                                                                 std::vector<int>, std::uint32_t)>;

    /// `store` (the main window's datasets and filter groups; not owned, may
    /// be null) must outlive the window. Binds to the dataset `datasetId`.
    ImageGalleryWindow(const DatasetStore* store, int datasetId, QWidget* parent = nullptr);
    /// Waits for a running page render and automatic contrast.
    ~ImageGalleryWindow() override;

    /// Id of the dataset the gallery shows.
    int datasetId() const { return m_datasetId; }

    /// Recomputes the shown events, the automatic cutout and (later) the
    /// automatic contrast, and renders the first page.
    void refreshFromMain();
    /// The main window's active dataset is now `datasetId`: followed when
    /// "Follow active dataset" is on.
    void onActiveDatasetChanged(int datasetId);
    /// Closes the gallery when it shows that dataset.
    void onMainDatasetRemoved(int datasetId);
    /// Takes the new display name of the shown dataset.
    void onDatasetRenamed(int datasetId, const QString& name);

    /// Replaces the functions run on the pool (tests hold them on a latch or
    /// count them). An empty function restores the default. Whatever it
    /// throws is caught around it and gives an empty page or (0, 255).
    void setRenderTask(RenderTask task);
    void setContrastTask(ContrastTask task);

    /// Whether a page render or automatic-contrast task is still running
    /// (its result not yet handled).
    bool isBusy() const { return m_renderRunning || m_contrastRunning; }
    /// The shown events (the dataset's effective filter), in filter order.
    const std::vector<int>& filteredIndices() const { return m_filteredIndices; }
    int currentPage() const { return m_currentPage; }
    int pageCount() const;
    int cutoutWidth() const { return m_cutoutWidth; }
    int cutoutHeight() const { return m_cutoutHeight; }
    /// The automatic contrast window and whether it belongs to the current
    /// event list.
    int autoLo() const { return m_autoLo; }
    int autoHi() const { return m_autoHi; }
    bool autoContrastValid() const { return m_autoContrastValid; }
    GalleryGridWidget* grid() const { return m_grid; }

signals:
    /// Emitted with the window itself when it is closed.
    void windowClosed(ImageGalleryWindow* window);

protected:
    /// Waits for the running tasks, reports the closing, accepts.
    void closeEvent(QCloseEvent* event) override;

private slots:
    void onPrevPage();
    void onNextPage();
    void onPageSizeChanged();
    void onShowIdsToggled(bool on);
    void onFollowActiveToggled(bool on);
    void onAutoCutoutToggled(bool on);
    void onCutoutSpinChanged();
    void onMarginChanged(int value);
    void onContrastModeChanged();
    void onContrastValuesChanged();
    void onExportPagePng();
    void onPageRenderFinished();
    void onAutoContrastFinished();

private:
    void buildUI();
    void rebindToDataset(int id);
    void recomputeFilteredIndices();
    void recomputeAutoCutoutFromPercentile();
    void syncCutoutSpinsFromState();
    void recomputeAutoContrastIfNeeded();
    void requestPageRender();
    void showEmptyPage();
    void afterPageChange();
    void updateStatusLabel();
    void updatePageNavEnabled();
    void updateContrastUiEnabled();
    const DatasetEntry* findDataset() const;
    int gridSide() const;
    void waitForTasks();

    const DatasetStore* m_store = nullptr;
    int m_datasetId = -1;
    QString m_datasetName;
    std::vector<int> m_filteredIndices;
    double m_pixelSize = 0.34;
    bool m_autoCutout = true;
    int m_cutoutWidth = 0;
    int m_cutoutHeight = 0;
    int m_margin = 5;
    int m_pageSize = 100;
    int m_currentPage = 0;
    bool m_followActive = false;
    /// Whether windowClosed was emitted: the owner releases a window once.
    bool m_closeReported = false;
    bool m_showIds = true;
    int m_contrastMode = 0;
    int m_manualLo = 0;
    int m_manualHi = 255;
    bool m_autoContrastValid = false;
    int m_autoLo = 0;
    int m_autoHi = 255;
    // Every page request (also one that ends without a render) takes a new
    // render generation, so no older render can replace what it showed.
    QFutureWatcher<GalleryRenderResult>* m_renderWatcher = nullptr;
    std::uint32_t m_renderGeneration = 0;
    bool m_renderPending = false;
    bool m_renderRunning = false;
    // Every change of the event list (refresh, rebind) takes a new contrast
    // generation, so a task still running for the old list is dropped.
    QFutureWatcher<GalleryAutoContrastResult>* m_contrastWatcher = nullptr;
    std::uint32_t m_contrastGeneration = 0;
    bool m_contrastRunning = false;
    RenderTask m_renderTask;
    ContrastTask m_contrastTask;
    GalleryGridWidget* m_grid = nullptr;

    QLabel* m_headerLabel = nullptr;
    QPushButton* m_prevButton = nullptr;
    QPushButton* m_nextButton = nullptr;
    QLabel* m_pageLabel = nullptr;
    QComboBox* m_pageSizeCombo = nullptr;
    QCheckBox* m_autoCutoutCheck = nullptr;
    QSpinBox* m_cutoutWidthSpin = nullptr;
    QSpinBox* m_cutoutHeightSpin = nullptr;
    QSpinBox* m_marginSpin = nullptr;
    QComboBox* m_contrastCombo = nullptr;
    QSpinBox* m_loSpin = nullptr;
    QSpinBox* m_hiSpin = nullptr;
    QLabel* m_loLabel = nullptr;
    QLabel* m_hiLabel = nullptr;
    QCheckBox* m_followActiveCheck = nullptr;
    QCheckBox* m_showIdsCheck = nullptr;
    QPushButton* m_exportButton = nullptr;
    QLabel* m_statusLabel = nullptr;
};

} // namespace Quorvex3
