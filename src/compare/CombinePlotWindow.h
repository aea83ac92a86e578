#pragma once

#include "compare/CombineDatasetRef.h"
#include "compare/CombinePlotAxes.h"
#include "compare/CombinePlotData.h"
#include "compare/CombinePlotStats.h"

#include <QColor>
#include <QJsonObject>
#include <QLabel>
#include <QMainWindow>
#include <QMap>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QAction;
class QCheckBox;
class QCloseEvent;
class QComboBox;
class QDockWidget;
class QDoubleSpinBox;
class QDragEnterEvent;
class QDropEvent;
class QGridLayout;
class QScrollArea;
class QSpinBox;
class QTableWidget;
class QTimer;
class QVBoxLayout;
class QwtPlot;
class QwtText;

namespace Quorvex3 {

class CombineDatasetWidget;
class CombinePlotHost;
class DatasetStore;
class RTDCReader;
class RequestCoalescer;
struct DatasetEntry;

/// A label that shows one export preview image: the whole page, scaled into
/// the room the grid gives it with its aspect ratio (width / height) kept
/// and centred. It does not ask the grid for its height at a width: a
/// single page as wide as the panel was taller than it, so the panel showed
/// an enlarged part of it.
class AspectRatioLabel : public QLabel {
public:
    explicit AspectRatioLabel(double ratio, QWidget* parent = nullptr)
        : QLabel(parent), m_ratio(ratio > 0.0 ? ratio : 1.0) {}
    int heightForWidth(int w) const override { return static_cast<int>(w / m_ratio); }
    bool hasHeightForWidth() const override { return false; }
    double ratio() const { return m_ratio; }
    /// Where the page is drawn inside the label.
    QRect pageRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_ratio;
};

/// Tool window that compares several loaded datasets in combined scatter
/// plots: side by side ("Array"), side by side with an overlay of every
/// dataset's contours ("Array + Contour"), or all on one plot ("Same Plot").
/// Each dataset is a reference (which dataset, features, colour, scales)
/// shown as a card in the "Datasets" dock.
///
/// Top-level; the main window owns it, tells it of changes of its datasets
/// and releases it when it reports its closing. It reads the datasets and
/// their filters from the store and asks its host for the rest (the host's
/// plot controls, iso-modulus lines, colour map). GUI thread only.
class CombinePlotWindow : public QMainWindow {
    Q_OBJECT

public:
    /// One dataset's shown events for one plot, in data units.
    using FilteredData = CombineFilteredData;
    /// Mean, SD and quartiles of one column.
    using PlotStats = CombinePlotStats;

    /// The look of exported plots and of the preview.
    struct ExportSettings {
        int tickLabelSize = 12; ///< points, tick labels and text labels
        int axisLabelSize = 14; ///< points, x-bottom and y-left titles
        bool showTitle = true;
        int titleSize = 14; ///< points
        bool titleBold = false;
        bool titleUseColor = true; ///< dataset colour; black otherwise
        double plotWidthMm = 100.0;
        double plotHeightMm = 100.0;
        int pointSize = 4;          ///< dot diameter, pixels
        double axisLineWidth = 1.0; ///< pixels
        bool showGrid = true;
        bool showRightTopAxes = true;
        QColor uniformColor = Qt::black; ///< every dataset in colour mode "None"
    };

    /// `store` and `host` are not owned, must outlive the window and may be
    /// null (no datasets, no host); the main window passes no parent.
    CombinePlotWindow(const DatasetStore* store, CombinePlotHost* host, QWidget* parent = nullptr);
    ~CombinePlotWindow() override;

    // ---- called by the main window -----------------------------------------

    /// Rebuilds the dataset panel and then the plots. Every call made in one
    /// turn of the event loop costs one rebuild, run once control returns to
    /// it (a finished calculation asks twice).
    void refresh();
    /// Runs a requested refresh now; nothing when none is pending.
    void flushRefresh();
    /// Erases the first reference to that dataset and rebuilds; nothing
    /// when the dataset is not in the window.
    void onMainDatasetRemoved(int datasetId);
    /// Shows the new name on the dataset's card and redraws the plots.
    void onDatasetRenamed(int datasetId, const QString& name);
    /// Number of datasets in the window.
    int datasetCount() const { return static_cast<int>(m_refs.size()); }

    /// Draws the iso-modulus lines of the reference's dataset on `plot` when
    /// "Isoelastics" is on and the plot shows area against deformation.
    void addIsolines(QwtPlot* plot, const CombineDatasetRef& ref);

    // ---- session state -----------------------------------------------------

    /// The window's state as a session stores it; datasets are written by
    /// their position in `datasets` (the store's list).
    QJsonObject saveState(const std::vector<std::unique_ptr<DatasetEntry>>& datasets) const;
    /// Applies a stored state; `sessionIdMap` takes a stored position to
    /// the id of the dataset reopened for it. Bad values take defaults.
    void restoreState(const QJsonObject& state, const QMap<int, int>& sessionIdMap);

    // ---- read access (session writer, tests) -------------------------------

    /// The references in card order.
    const std::vector<CombineDatasetRef>& references() const { return m_refs; }
    /// The cards of the last panel rebuild, in reference order.
    const std::vector<CombineDatasetWidget*>& cards() const { return m_cards; }
    /// The plots of the last rebuild, in grid order.
    const std::vector<QwtPlot*>& plots() const { return m_plots; }
    int displayMode() const { return m_displayMode; }
    int colorMode() const { return m_colorMode; }
    const ExportSettings& exportSettings() const { return m_exportSettings; }
    bool exportPreviewOn() const { return m_exportPreview; }
    /// Whether plot files are still being written in the background (also
    /// after a cancel, until the writer has stopped and removed its file),
    /// until the window has handled the end of the writing.
    bool exportRunning() const;
    /// Called on the writing thread before each file is written (tests hold
    /// the writing there); empty by default.
    void setExportFileHook(std::function<void(const QString& path)> hook);
    /// How many times the plots were rebuilt (lets tests see what a burst
    /// of refresh requests cost).
    std::uint64_t plotRebuildCount() const { return m_plotRebuilds; }

    /// Statistics of one column of values (mean, sample SD, quartiles).
    static PlotStats computeStats(const std::vector<double>& values);

signals:
    /// Emitted once, with the window itself, when it is closed.
    void windowClosed(CombinePlotWindow* window);

public slots:
    // Dataset panel.
    void addSelectedDatasets();
    void addAllDatasets();
    void addDataset(int datasetId);
    void removeDataset(int index);

    // Exports.
    void exportPlots();
    void exportStatsTsv();
    void setExportPreview(bool on);

private slots:
    void onDisplayModeChanged(int mode);
    void onColorModeChanged(int mode);
    void onSyncFeaturesToggled(bool on);
    void onSyncAxesToggled(bool on);
    void onAxisLimitsChanged();
    void onDatasetSettingsChanged();
    void onDatasetRemoveRequested();
    void onDatasetReorder(CombineDatasetWidget* source, CombineDatasetWidget* target, bool above);
    void onAutoScrollTick();
    void onExportSettingsChanged();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // ---- window and dataset panel (CombinePlotWindow.cpp) ------------------
    void setupSettingsDock();
    void setupDatasetsDock();
    void setupMenus();
    void applyDefaultFeatures(CombineDatasetRef& ref, RTDCReader* reader) const;
    DatasetEntry* findDatasetEntry(int datasetId) const;
    /// Lets the host put its plot controls into the active dataset's record.
    void saveHostState();
    /// Appends the reference of a loaded dataset (features from its entry,
    /// palette colour of the list length).
    void appendReference(const DatasetEntry& entry);
    int referenceIndexOf(int datasetId) const;
    /// Copies each card's choices into the reference of its dataset.
    void takeCardsState();
    /// Takes the cards out of the panel; they go from the event loop, since
    /// one may still be running its drag.
    void discardCards();
    void rebuildDatasetPanel();
    /// Panel and plots, dropping a pending refresh that they make needless.
    void rebuildAll();
    /// The queued part of a reorder: moves the dataset `sourceId` before or
    /// after `targetId`, found anew in the list.
    void moveReference(int sourceId, int targetId, bool above);
    void pushFeaturesFrom(const CombineDatasetWidget* card);
    void pushScalesFrom(const CombineDatasetWidget* card);
    void fillLimitFieldsFromData();

    // ---- rendering and statistics (CombinePlotWindowRender.cpp) ------------
    void rebuildPlots();
    void clearPlots();
    CombineAxisLimits computeGlobalAxisLimits() const;
    void applyAxisLimits(QwtPlot* plot);
    CombineGridSize computeGridSize(int plotCount) const;
    void renderAllOnSinglePlot(QwtPlot* plot);
    void renderContourOverlay(QwtPlot* plot);
    void updateScaleWarnings();
    void updateStatsTable();
    /// The reference at `index`: its card's current state when it has one.
    CombineDatasetRef currentRef(int index) const;
    /// Scale modes (x, y) of plot `index`: those of the first dataset when
    /// "Sync Axes" is on.
    std::pair<int, int> scaleModesForPlot(int index) const;

    // ---- export and preview (CombinePlotWindowExport.cpp) ------------------
    void setupExportSettingsDock();
    void setupStatsDock();
    void updateUniformColorVisibility();
    void pushExportSettingsToControls();
    /// `replot` false leaves the canvas as it is (an export draws the plot
    /// elsewhere and puts the look back before anything is shown).
    void applyExportSettingsToPlot(QwtPlot* plot, bool replot = true);
    void applyExportPreview();
    void clearExportPreview();

    const DatasetStore* m_store = nullptr;
    CombinePlotHost* m_host = nullptr;
    std::vector<CombineDatasetRef> m_refs;
    int m_displayMode = 0; ///< last accepted: 0 Array, 1 Array + Contour, 2 Same Plot
    int m_colorMode = 1;   ///< 0 Heatmap (Density), 1 Dataset Color, 2 None

    // Settings dock.
    QComboBox* m_displayCombo = nullptr;
    QComboBox* m_colorCombo = nullptr;
    QCheckBox* m_syncFeaturesCheck = nullptr;
    QCheckBox* m_showLegendCheck = nullptr;
    QCheckBox* m_syncAxesCheck = nullptr;
    QCheckBox* m_manualLimitsCheck = nullptr;
    QDoubleSpinBox* m_xMinSpin = nullptr;
    QDoubleSpinBox* m_xMaxSpin = nullptr;
    QDoubleSpinBox* m_yMinSpin = nullptr;
    QDoubleSpinBox* m_yMaxSpin = nullptr;
    QComboBox* m_contourCombo = nullptr;
    QDoubleSpinBox* m_contourInnerSpin = nullptr; ///< percent
    QDoubleSpinBox* m_contourOuterSpin = nullptr; ///< percent
    QCheckBox* m_isoCheck = nullptr;
    QCheckBox* m_isoLabelsCheck = nullptr;
    QCheckBox* m_manualArrayCheck = nullptr;
    QWidget* m_arraySizeRow = nullptr;
    QSpinBox* m_arrayColsSpin = nullptr; ///< 0 is "auto"
    QSpinBox* m_arrayRowsSpin = nullptr;
    QCheckBox* m_showCountCheck = nullptr;

    // Docks and the dataset panel.
    QDockWidget* m_settingsDock = nullptr;
    QDockWidget* m_datasetsDock = nullptr;
    QScrollArea* m_datasetScroll = nullptr;
    QWidget* m_datasetPanel = nullptr;
    QVBoxLayout* m_datasetLayout = nullptr;
    std::vector<CombineDatasetWidget*> m_cards;
    QTimer* m_autoScrollTimer = nullptr;
    int m_autoScrollStep = 0; ///< pixels per tick: 0, +6 or -6

    // Statistics dock.
    QDockWidget* m_statsDock = nullptr;
    QTableWidget* m_statsTable = nullptr;

    // Plot grid.
    QScrollArea* m_plotScroll = nullptr;
    QWidget* m_plotContainer = nullptr;
    QGridLayout* m_plotGrid = nullptr;
    std::vector<QwtPlot*> m_plots;

    // Export settings and preview.
    QAction* m_exportPreviewAction = nullptr;
    bool m_exportPreview = false;
    ExportSettings m_exportSettings;
    QDockWidget* m_exportDock = nullptr;
    QSpinBox* m_tickLabelSpin = nullptr;
    QSpinBox* m_axisLabelSpin = nullptr;
    QCheckBox* m_showTitleCheck = nullptr;
    QSpinBox* m_titleSizeSpin = nullptr;
    QCheckBox* m_titleBoldCheck = nullptr;
    QCheckBox* m_titleColorCheck = nullptr;
    QSpinBox* m_plotWidthSpin = nullptr;
    QSpinBox* m_plotHeightSpin = nullptr;
    QSpinBox* m_pointSizeSpin = nullptr;
    QDoubleSpinBox* m_axisWidthSpin = nullptr;
    QCheckBox* m_gridCheck = nullptr;
    QCheckBox* m_rightTopAxesCheck = nullptr;
    QLabel* m_uniformColorLabel = nullptr;
    QComboBox* m_uniformColorCombo = nullptr;
    std::vector<AspectRatioLabel*> m_previewLabels;

    // Refresh requests and bookkeeping.
    std::unique_ptr<RequestCoalescer> m_refreshRequests;
    std::uint64_t m_plotRebuilds = 0;
    bool m_closeReported = false;

    // ---- rendering: what one rebuild reads (CombinePlotWindowRender.cpp) ---
    /// Reads every reference once: shown events, with densities and
    /// contours when asked. Null entries: the dataset is unknown.
    std::vector<std::optional<CombinePlotInputs>> readAllInputs(bool withDensity,
                                                                bool withContours) const;
    /// The running rebuild's inputs; outside a rebuild, read anew into
    /// `storage` (which the result then refers to).
    const std::vector<std::optional<CombinePlotInputs>>&
    currentInputs(std::vector<std::optional<CombinePlotInputs>>& storage, bool withDensity,
                  bool withContours) const;
    /// The inputs of reference `index` during a rebuild, else null.
    const CombinePlotInputs* rebuildInputsAt(int index) const;
    /// Dots, contours and axis titles of one dataset from inputs read before.
    void renderInputsOnPlot(QwtPlot* plot, const CombinePlotInputs& inputs,
                            const CombineDatasetRef& ref);
    /// The rebuild's dataset plot `index` (title, dots, contours, isolines, N).
    void renderArrayPlot(QwtPlot* plot, int index);
    CombineContourRequest contourRequest() const;
    /// Limits over the given inputs for the first plot's scale modes.
    CombineAxisLimits
    globalLimitsOf(const std::vector<std::optional<CombinePlotInputs>>& all) const;
    /// Each reference's inputs, read at the start of a rebuild and dropped at
    /// its end, so that plots, limits, warnings and statistics share one read;
    /// empty outside a rebuild (nothing is kept between rebuilds).
    std::vector<std::optional<CombinePlotInputs>> m_rebuildInputs;
    /// The synchronised limits of the running rebuild, once computed.
    std::optional<CombineAxisLimits> m_rebuildLimits;
    bool m_inRebuild = false;
    /// Fills the statistics table whether or not its dock is shown.
    void fillStatsTable();

    // ---- export: the on-screen look an export changes (CombinePlotWindowExport.cpp)
    struct PlotLook;
    /// What applyExportSettingsToPlot changes on `plot`, to put back afterwards.
    static PlotLook savePlotLook(QwtPlot* plot);
    static void restorePlotLook(QwtPlot* plot, const PlotLook& look, bool replot = true);
    /// Writes the plots to `path` as the export asks; false after an error box.
    /// Records the plots as the export asks and starts writing them in the
    /// background, with a progress dialog and Cancel; false when nothing was
    /// started (a refusal or an error box was shown).
    bool writePlotFiles(const QString& path, const QString& suffix);
    /// The writing in the background: its progress dialog and its end.
    class PlotExportTask;
    struct PlotExportTaskDeleter {
        void operator()(PlotExportTask* task) const;
    };
    std::unique_ptr<PlotExportTask, PlotExportTaskDeleter> m_exportTask;
    std::function<void(const QString& path)> m_exportFileHook;
    void onPlotExportFinished();
    void showExportError(const QString& path, const QString& reason);
};

// ---- plot helpers of the combined plots (CombinePlotWindowRender.cpp) ------

/// A new plot inside `parent` with a white canvas and a dotted grid.
QwtPlot* createCombinePlot(QWidget* parent);
/// Installs the scale engines of the x-bottom and y-left axes for the
/// ScaleMode codes (0 linear, 1 log, 2 pseudo-log).
void applyAxisScaleMode(QwtPlot* plot, int xMode, int yMode);
/// The axis title `text` in a 10-point font.
void setAxisTitleText(QwtPlot* plot, int axis, const QString& text);
/// A plot title in the plot's font at 10 points, normal weight, coloured
/// when `color` is valid.
QwtText makePlotTitle(QwtPlot* plot, const QString& text, const QColor& color);

} // namespace Quorvex3
