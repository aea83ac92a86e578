#pragma once

#include "calc/IsoLine.h"
#include "compare/CombinePlotHost.h"
#include "density/PlotArrays.h"
#include "model/DatasetLoader.h"
#include "model/DatasetStore.h"
#include "session/ExportResult.h"
#include "session/SessionDocument.h"
#include "stats/StatSummaryResult.h"
#include "util/RequestCoalescer.h"
#include "util/ToolWindowRegistry.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

template <typename T> class QFutureWatcher;
class QActionGroup;
class QCheckBox;
class QCloseEvent;
class QComboBox;
class QDir;
class QDockWidget;
class QDoubleSpinBox;
class QDragEnterEvent;
class QDropEvent;
class QJsonObject;
class QLabel;
class QLineEdit;
class QMenu;
class QPoint;
class QPolygonF;
class QProgressDialog;
class QPushButton;
class QSpinBox;
class QSplitter;
class QStackedWidget;
class QTabWidget;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace Quorvex3 {

class CalcTaskRunner;
class CalculationsDockWidget;
class CombinePlotWindow;
struct DimRedReference;
class DatasetListWidget;
class DatasetTreeWidget;
struct DatasetFolderNode;
class EModulus;
struct ExportOutcome;
class FLCompensation;
class FLRefinement;
class FilterDockWidget;
class FilterGroupsMatrixWindow;
class FourierDeform;
class ImageFeatures;
class ImageGalleryWindow;
class ImageViewer;
class PlotControlsWidget;
class RTDCReader;
struct RestoredComputations;
class ScatterPlot;
class StatisticalEvalWindow;
class StatisticsDockWidget;
class TracePlot;
class FeedbackSender;
class UpdateChecker;

/// The program's one main window and its hub: it holds the dataset store
/// (the datasets, the active one, the filter groups), the docks, the tool
/// windows and the computation objects, and every other window reaches
/// datasets only through it, by dataset id.
///
/// Its implementation is split by concern:
/// - MainWindow.cpp: construction, closing, destruction, accessors;
/// - MainWindowLayout.cpp: central area and docks;
/// - MainWindowMenus.cpp: menu bar, colour maps, shell settings;
/// - MainWindowConnections.cpp: wiring of widget signals;
/// - MainWindowDatasets.cpp: dataset record, loading, removal, duplication;
/// - MainWindowDatasetViews.cpp: the dataset list and folder views;
/// - MainWindowSwitching.cpp: active dataset switching and feature choices;
/// - MainWindowViews.cpp: event, trace and metadata views;
/// - MainWindowPlot.cpp: the main scatter plot;
/// - MainWindowFilters.cpp: effective filter, filter groups;
/// - MainWindowPropagation.cpp: rule propagation, measurement filters, polygons;
/// - MainWindowCalculations.cpp: derived-feature tasks;
/// - MainWindowRestoredCalculations.cpp: computations a restored dataset
///   gets back;
/// - MainWindowSession.cpp: session save, load and clear;
/// - MainWindowServices.cpp: help, updates, error box;
/// - MainWindowExports.cpp: dataset and plot exports;
/// - MainWindowStatSummary.cpp: the statistical summary export;
/// - MainWindowToolWindows.cpp: opening and releasing tool windows.
///
/// GUI thread only, except where a function says otherwise.
class MainWindow : public QMainWindow, public CombinePlotHost {
    Q_OBJECT

public:
    /// Builds the whole window (hidden); `main` passes no parent.
    explicit MainWindow(QWidget* parent = nullptr);
    /// Deletes the tool windows still open, waits for running background
    /// tasks, then releases datasets and readers.
    ~MainWindow() override;

    /// Names of the colour maps in index order (0 to 5), as offered by the
    /// "Color &Map" menu and understood by ScatterPlot::setColorMapIndex.
    static QStringList colorMapNames();

    // ---- datasets (read access for every other window) --------------------

    /// The datasets in list order; row i of the dataset list shows entry i.
    const std::vector<std::unique_ptr<DatasetEntry>>& datasets() const {
        return m_store.datasets();
    }
    /// The datasets, the active one and the filter groups.
    const DatasetStore& store() const { return m_store; }
    /// The active dataset, null when none is active.
    DatasetEntry* activeDataset() const { return m_store.activeDataset(); }
    /// Id of the active dataset, -1 when none is active.
    int activeDatasetId() const { return m_store.activeDatasetId(); }
    /// Reader of the active dataset, null when there is none.
    RTDCReader* activeReader() const;
    /// First dataset whose path equals `path` byte for byte, else null.
    DatasetEntry* findDatasetByPath(const std::string& path) const {
        return m_store.findByPath(path);
    }
    /// The dataset with that id (linear search in list order), else null.
    DatasetEntry* findDatasetById(int id) const { return m_store.findById(id); }
    /// The chosen colour map, 0 to 5.
    int colorMapIndex() const override { return m_colorMapIndex; }
    /// Whether a session load is under way (from the queuing of its checked
    /// datasets until its settings have been applied).
    bool sessionLoading() const { return m_sessionDocument != nullptr; }

    /// Opens one measurement as a new dataset (or selects it when its path
    /// is loaded already, or queues it while a preload runs).
    void addDataset(const QString& path);
    /// Stores the plot controls into the active dataset's record.
    void saveCurrentDatasetState() override;
    /// Rich text of a dataset's list and tree item.
    QString buildDatasetListText(const DatasetEntry* entry) const;
    /// Whether the datasets dock shows the folder tree.
    bool datasetFolderViewActive() const;
    /// Folder depth of the tree view, 1 to 4 (2 when the control is missing).
    int datasetFolderDepth() const;

    /// Fluorescence channel numbers present in the reader's "fl<N>_max"
    /// features, ascending with duplicates kept; empty for a null reader.
    /// Keeps no state, so it may run on a pool thread.
    static std::vector<int> getActiveFlChannels(RTDCReader* reader);

    // ---- filters ----------------------------------------------------------

    /// The filter groups in creation order.
    const std::vector<std::unique_ptr<FilterGroup>>& filterGroups() const {
        return m_store.groups();
    }
    /// The dataset's own filter followed by the rules of every group
    /// switched on for it; a default filter (enabled, AND, no rules) for null.
    EventFilter buildEffectiveFilter(const DatasetEntry* entry) const {
        return m_store.buildEffectiveFilter(entry);
    }
    /// The first group with that id, else null.
    FilterGroup* findFilterGroupById(int groupId) const { return m_store.findGroupById(groupId); }
    /// The dataset's switch for the group; false for null or a missing key.
    bool isGroupEnabled(const DatasetEntry* entry, int groupId) const {
        return m_store.isGroupEnabled(entry, groupId);
    }
    /// Pushes the groups to the filter dock and to every matrix window.
    void refreshFilterGroupsUi();
    /// JSON form of one filter rule.
    QJsonObject serializeFilterRule(const FilterRule& rule) const;
    /// A rule from its JSON form; never fails.
    FilterRule deserializeFilterRule(const QJsonObject& object);
    /// JSON form of a whole filter: "enabled", "combineMode", "rules".
    QJsonObject serializeFilter(const EventFilter& filter) const;
    /// Reads a filter written by serializeFilter into `filter`.
    void restoreFilter(EventFilter& filter, const QJsonObject& object);

    // ---- calculations -----------------------------------------------------

    /// Runs `work` on Qt's global thread pool and, once it has returned,
    /// `done` on the GUI thread. Ignored while another calculation runs.
    void startCalcTask(std::function<void()> work, std::function<void()> done);
    /// The runner behind startCalcTask: for actions that report progress
    /// or can be cancelled.
    CalcTaskRunner& calcTaskRunner() { return *m_calcRunner; }
    /// Whether a calculation task runs.
    bool calcBusy() const;
    /// The session's dimension-reduction reference, null when none.
    const DimRedReference* dimRedReference() const { return m_dimRedReference.get(); }
    /// Lines of constant Young's modulus for a plot of the dataset with these
    /// features, in the plot's orientation: (area, deformation) points for x
    /// "area_um" and y "deform", swapped for x "deform" and y "area_um"; none
    /// for any other pair or a null dataset. The parameters are those the
    /// calculations dock gives for the dataset's metadata (and "temp" feature).
    /// Why no iso-modulus lines can be drawn (the look-up table is missing or
    /// unusable), as a sentence for the user; empty when they can.
    QString isolineTableProblem() const override;
    std::vector<IsoLine> isolinesForDataset(const DatasetEntry* entry, const std::string& xFeature,
                                            const std::string& yFeature) const override;

    // ---- tool windows -----------------------------------------------------

    /// Open tool windows of each kind, in opening order. The main window
    /// owns them until they report their closing.
    const std::vector<CombinePlotWindow*>& combinePlotWindows() const {
        return m_combinePlotWindows.windows();
    }
    const std::vector<StatisticalEvalWindow*>& statisticalEvalWindows() const {
        return m_statisticalEvalWindows.windows();
    }
    const std::vector<ImageGalleryWindow*>& imageGalleryWindows() const {
        return m_imageGalleryWindows.windows();
    }
    const std::vector<FilterGroupsMatrixWindow*>& filterGroupsMatrixWindows() const {
        return m_filterGroupsMatrixWindows.windows();
    }

    // ---- plot requests ------------------------------------------------------

    /// Asks for a refresh of the main plot. Every request made in one turn
    /// of the event loop costs one refresh, run once control returns to it.
    void requestPlotUpdate();
    /// Runs a requested plot refresh now, for a caller that reads the plot
    /// right after asking; nothing when none is pending.
    void flushPlotRequests();
    /// How many plot refreshes (full or contours only) have run: lets tests
    /// and benchmarks see what a burst of requests cost.
    std::uint64_t plotRefreshCount() const;
    /// How many of them were full refreshes of the plot.
    std::uint64_t fullPlotUpdateCount() const { return m_fullPlotUpdates; }

public slots:
    /// Shows the error of an exception that escaped an event handler.
    /// Connected queued to SafeApplication::unhandledException.
    void onUnhandledException(const QString& title, const QString& message);
    /// Asks the update feed for a newer version; `silent` reports only news.
    void checkForUpdates(bool silent);

    // Filter groups; the matrix window's switch requests connect to the last three.
    int addFilterGroup(const std::string& name);
    void removeFilterGroup(int groupId);
    void renameFilterGroup(int groupId, const std::string& name);
    void addRuleToGroup(int groupId, const FilterRule& rule);
    void updateRuleInGroup(int groupId, int ruleIndex, const FilterRule& rule);
    void removeRuleFromGroup(int groupId, int ruleIndex);
    void setGroupEnabled(int datasetId, int groupId, bool on);
    void setGroupEnabledInAll(int groupId, bool on);
    /// Stores `on` under every listed group id in the dataset's switches and
    /// refreshes the plot once; a missing dataset or an empty list does
    /// nothing at all.
    void setGroupsEnabled(int datasetId, const std::vector<int>& groupIds, bool on);

protected:
    /// Asks whether to save an open session first (see confirmQuit), then
    /// closes and deletes every tool window at once and closes.
    void closeEvent(QCloseEvent* event) override;
    /// Accepts drags that carry URLs.
    void dragEnterEvent(QDragEnterEvent* event) override;
    /// Opens the dropped ".rtdc" files and the ones below dropped folders.
    void dropEvent(QDropEvent* event) override;

private slots:
    // File, export and help menus.
    void openFile();
    /// True once the session file was written; false when cancelled or
    /// refused (the box saying why was shown).
    bool saveSession();
    void loadSession();
    void clearSession();
    void exportPlot();
    void exportData();
    void exportStatSummary();
    void openManualAction();
    void checkForUpdatesAction();
    void sendFeedbackAction();
    void showAboutAction();

    // Tool windows.
    void openCombinePlotWindow();
    void openStatisticalEvalWindow();
    void openImageGalleryWindow();
    void openFilterGroupsMatrixWindow();

    // Calculations dock.
    void onRefineFluorescence();
    void onCompensateCrosstalk();
    void onComputeEmodulus();
    void onAssessEmodQuality();
    void onComputeFourierDeform();
    void onComputeImageFeatures();
    void onComputeDimReduction();
    void onSaveDimRedReference();
    void onLoadDimRedReference();
    void onCalcFinished();

    // Datasets.
    void onFeaturesLoaded();
    void onRenameFinished();
    void removeDataset();
    void duplicateDataset();
    void onDatasetSelected(int row);

    // Plot and event views.
    /// Reacts to a change of the plot-setting controls.
    void onPlotSettingsChanged(PlotSettingsChange change);
    void updateFeatureSelection();
    void updateContours();
    void updateIsolines();
    void onApplyPlotSettingsToAll();
    void onPointClicked(int plotIndex);
    void onEventSpinBoxChanged(int event);
    void onMaskToggled(bool checked);

    // Filter dock: the active dataset's filter and its propagation.
    void onFilterChanged();
    void onApplyFilterToAll();
    void onApplyRuleToAll(int ruleIndex);
    void onUpdateRuleToAll(int ruleIndex);
    void onUncheckRuleInAll(int ruleIndex);
    void onCheckRuleInAll(int ruleIndex);
    void onDeleteRuleFromAll(int ruleIndex);
    void onEnabledChangedForAll(bool enabled);
    void onCombineModeChangedForAll(int mode);
    void onImportMeasurementFilters(bool allDatasets);

    // Polygons drawn or edited in the scatter plot.
    void onPolygonCompleted(const QPolygonF& polygon);
    void onPolygonDrawingStopped();
    void onPolygonEditRequested(int ruleIndex, bool on);
    void onGroupPolygonEditRequested(int groupId, int ruleIndex, bool on);
    void onPolygonEdited(int id, const QPolygonF& polygon);
    void onPolygonEditingStopped(int id);

    // Filter dock: group requests.
    void onAddFilterGroupRequested();
    void onRenameFilterGroupRequested(int groupId, const QString& name);
    void onDeleteFilterGroupRequested(int groupId);
    void onGroupEnableChanged(int groupId, bool on);
    void onGroupEnablePropagateRequested(int groupId, bool on);
    void onAddRuleToGroupRequested(int groupId);
    void onAddPolygonToGroupRequested(int groupId);
    void onGroupRuleChanged(int groupId, int ruleIndex, const FilterRule& rule);
    void onGroupRuleRemoved(int groupId, int ruleIndex);
    void importFilterGroupsFromFile();
    void exportFilterGroupsToFile();

private:
    // ---- construction (MainWindowLayout.cpp, MainWindowMenus.cpp,
    //      MainWindowConnections.cpp) ----------------------------------------
    void setupUI();
    void setupMenuBar();
    void setupConnections();
    QWidget* buildCentralWidget();
    QWidget* buildPlotSettingsBox();
    QWidget* buildPlotArea();
    void buildDocks();
    QWidget* buildDatasetsDockContent();
    void applyDatasetViewSettings();
    QDockWidget* makeDock(const QString& title, const char* objectName, QWidget* content);
    /// The content itself when it scrolls already, else a scroll area around it.
    QWidget* scrollableDockContent(QWidget* content);
    void buildColorMapMenu(QMenu* menu);
    void connectDatasetViews();
    void connectPlotControls();
    void connectFilterDock();
    void connectCalculationsDock();
    /// Shows the dock titles of the tabbed right-hand group only when one
    /// of its docks is left; tabs replace them otherwise.
    void updateTabbedDockTitleBars();
    void onViewModeChanged(int index);
    void onDepthChanged(int depth);
    void showDatasetContextMenu(QWidget* view, const QPoint& globalPos);

    // ---- datasets (MainWindowDatasets.cpp) ---------------------------------
    void applyCurrentSyncState(DatasetEntry* entry);
    void startPreload(int index);
    void updateDatasetDisplayName(int index, const QString& name);
    void addDatasetToList(int index);
    void applyDatasetReorder(int from, int to);
    /// Fills the dataset list again in store order, the active row current.
    void refillDatasetList();
    void rebuildDatasetTree();
    void refreshDatasetTreeIfVisible();
    void selectActiveInTree();
    void notifyGroupsMatrixRefresh();
    void addFolderNode(const DatasetFolderNode& node, QTreeWidgetItem* parent);
    int datasetIndexById(int id) const { return m_store.rowOfId(id); }

    // ---- active dataset and views (MainWindowViews.cpp) --------------------
    void switchToDataset(int index);
    void refreshUIForActiveDataset();
    void loadFeatureComboBoxes();
    void updatePlotSettingsButtonState();
    void notifyGalleryActiveDatasetChanged(int id);
    void displayEventImage(int event);
    void displayEventTrace(int event);
    void updateEventDataTable(int event);
    void configureTracePlot();
    void refreshEmodulusDeformSources();
    void populateMetadataTree();
    void addMetadataSection(const QString& title,
                            const std::map<std::string, std::string>& entries);

    // ---- main plot (MainWindowPlot.cpp) ------------------------------------
    void updatePlot();
    void refreshFeaturesAndPlot();
    bool plotSettingsAlignedAcrossDatasets(const DatasetEntry* exclude) const;
    void updatePolygonOverlays();
    void updateContourDisplay();
    void updateFilteredStatus();

    // ---- filters (MainWindowPropagation.cpp) -------------------------------
    void updateFilterPropagationStatus();
    int applyMeasurementFilters(DatasetEntry* entry);

    // ---- sessions (MainWindowSession.cpp) -----------------------------------
    /// Opens one dataset of a session being loaded (no selection, no copied
    /// settings) and starts its preload; its id, or -1 when it cannot be
    /// opened (after a box saying so).
    int addDatasetFromSession(const QString& path);
    /// Recreates the session's duplicates of reopened datasets and puts every
    /// dataset of the session, a copy too, at its saved place in the list.
    void createSessionDuplicates();
    /// Applies the stored groups and dataset settings, then redoes the
    /// datasets' applied computations (redoSessionComputations) and ends
    /// the load with finishSessionLoad.
    void finalizeSessionLoad();
    /// Makes the stored dataset active, restores the tool windows and ends
    /// the load; says in one box what could not be restored as saved
    /// (`failures`: computations that could not be redone).
    void finishSessionLoad(const std::vector<QString>& failures);
    /// The whole working state as a session record, paths relative to
    /// `sessionDir`.
    SessionDocument currentSessionDocument(const QDir& sessionDir) const;
    /// The absolute path of the measurement to open for a stored dataset,
    /// asking the user to locate a missing one; empty skips the dataset.
    QString resolveDatasetPath(const QString& storedPath, const QDir& sessionDir,
                               const QString& displayName);
    /// True when the measurement at `path`, opened by `reader`, is the one
    /// the session saw, or the user wants it loaded anyway.
    bool verifyFingerprint(const RTDCReader& reader, const QString& path,
                           const SessionFingerprint& stored, const QString& displayName);
    /// Whether a clear has anything to close: datasets, combined plot or
    /// statistical evaluation windows.
    bool hasSessionContent() const;
    /// Gives up a session load under way: its queue, map and document.
    void abandonSessionLoad();

    // ---- restored computations (MainWindowRestoredCalculations.cpp) --------
    /// The applied computations of `entry`, copied out for a task.
    RestoredComputations restoredComputationsOf(const DatasetEntry& entry) const;
    /// Runs those the reader still lacks, in their fixed order, calling
    /// `stepDone` after each; one text per computation that failed. Runs on
    /// any thread, never beside another calculation.
    std::vector<QString> runRestoredComputations(const RestoredComputations& job,
                                                 const std::function<void()>& stepDone);
    /// Redoes the dataset's missing computations now; while a calculation
    /// runs, which may use the same computation objects, shows the dataset
    /// again (and so redoes them) once it has finished.
    void redoRestoredComputations(DatasetEntry& entry);
    /// Redoes the missing computations of every loaded dataset as one
    /// background task with the dock's progress (after a running one), then
    /// calls `then` with a "<dataset>: <what failed>" text per failure.
    void redoSessionComputations(std::function<void(const std::vector<QString>&)> then);
    /// The clear itself, without asking: gives up a load under way, waits
    /// for a running preload, closes the tool windows and removes every
    /// dataset and group.
    void clearSessionState();

    // ---- help, updates, feedback (MainWindowServices.cpp) ------------------
    /// The outcomes of an update check; `silent` is the flag of the request
    /// that found the update, so a silent check stays quiet about the
    /// ignored version even while an interactive one runs.
    void showUpdateAvailable(const QString& latest, const QString& url, const QString& notes,
                             bool silent);
    void showUpToDate(const QString& current);
    void showUpdateCheckFailed(const QString& message);
    /// Opens the feedback dialog; an error's title and details, when given,
    /// go into the report.
    void sendFeedback(const QString& title, const QString& details);
    /// The datasets as the feedback report describes them.
    QString buildSessionSummary() const;
    UpdateChecker* m_updateChecker = nullptr;
    FeedbackSender* m_feedbackSender = nullptr;
    /// The silent flag of the latest update check request.
    bool m_updateCheckSilent = false;
    // ---- dataset export (MainWindowExports.cpp) -----------------------------
    /// Exports one dataset as the choices say on a pool thread while the
    /// window stays live, moving `progress` within the dataset's share
    /// (the `position`-th of its range) and cancelling when it is
    /// cancelled; reports a failure in its own box. The outcome feeds the
    /// closing message.
    ExportOutcome exportSingleDataset(DatasetEntry* dataset, const ExportResult& result,
                                      QProgressDialog& progress, int position);

    // ---- tool windows (MainWindowToolWindows.cpp) --------------------------
    /// closeEvent: disconnects, closes and deletes every listed window.
    void closeToolWindows();
    /// Destructor: deletes every listed window.
    void deleteToolWindows();

    // ---- shutdown (MainWindow.cpp) -----------------------------------------
    /// Whether the window may close: with datasets open the user chooses to
    /// save the session first (closing only once it was saved), to discard
    /// it, or to cancel the close.
    bool confirmQuit();
    /// Blocks until the preload and calculation tasks have returned, so no
    /// task outlives the datasets and readers it reads.
    void waitForBackgroundTasks();
    /// The runner of the calculation tasks, reporting to the dock's bar.
    void createCalcTaskRunner();
    // ---- calculations (MainWindowCalculations.cpp, MainWindowDimReduction.cpp)
    /// Says so and returns true while a calculation runs.
    bool refuseWhileCalculating(const QString& title);
    /// A finished task's view refresh, then the release of replaced columns.
    void refreshAfterCalculation(std::function<bool(const std::string&)> recomputed);
    void scheduleRetiredColumnRelease();
    /// The active dataset when a compute action may start on it, else null.
    DatasetEntry* usableActiveDataset() const;
    void reportCalcErrors(const QString& title, const std::vector<QString>& errors);
    EModParams emodulusParamsForActive(const DatasetEntry& entry) const;
    /// Enables "Compute Young's Modulus" when `entry` can have a modulus and
    /// shows why not otherwise; returns whether it can.
    bool refreshEmodulusAvailability(const DatasetEntry& entry);
    void computeDimReductionFromReference();
    void applyDimRedReferenceTo(std::shared_ptr<DimRedReference> reference,
                                const std::vector<DatasetEntry*>& targets, const QString& source);
    std::shared_ptr<DimRedReference> m_dimRedReference;
    QString m_dimRedReferenceSource;

    // ---- central area ------------------------------------------------------
    QLabel* m_infoLabel = nullptr;
    QLineEdit* m_renameEdit = nullptr;
    PlotControlsWidget* m_plotControls = nullptr;
    QSpinBox* m_eventSpinBox = nullptr;
    QSplitter* m_mainSplitter = nullptr;
    ScatterPlot* m_scatterPlot = nullptr;
    QTabWidget* m_rightTabs = nullptr;
    ImageViewer* m_imageViewer = nullptr;
    TracePlot* m_tracePlot = nullptr;
    QTableWidget* m_eventTable = nullptr;

    // ---- docks -------------------------------------------------------------
    QDockWidget* m_datasetsDock = nullptr;
    QDockWidget* m_filtersDock = nullptr;
    QDockWidget* m_statisticsDock = nullptr;
    QDockWidget* m_calculationsDock = nullptr;
    QDockWidget* m_metadataDock = nullptr;
    FilterDockWidget* m_filterDock = nullptr;
    StatisticsDockWidget* m_statisticsWidget = nullptr;
    CalculationsDockWidget* m_calculationsWidget = nullptr;
    QTreeWidget* m_metadataTree = nullptr;
    QComboBox* m_viewModeCombo = nullptr;
    QLabel* m_depthLabel = nullptr;
    QSpinBox* m_depthSpin = nullptr;
    QStackedWidget* m_datasetStack = nullptr;
    DatasetListWidget* m_datasetList = nullptr;
    DatasetTreeWidget* m_datasetTree = nullptr;

    // ---- computation objects (children of the window) ----------------------
    FLRefinement* m_flRefinement = nullptr;
    FLCompensation* m_flCompensation = nullptr;
    EModulus* m_emodulus = nullptr;
    FourierDeform* m_fourierDeform = nullptr;
    ImageFeatures* m_imageFeatures = nullptr;

    // ---- colour map --------------------------------------------------------
    int m_colorMapIndex = 0;
    QActionGroup* m_colorMapGroup = nullptr;

    // ---- datasets and loading ----------------------------------------------
    /// The datasets, the active row and the filter groups.
    DatasetStore m_store;
    /// The preload under way and the queues of what loads next.
    DatasetLoader m_loader;
    /// Carries the names of the features the preload failed to read.
    QFutureWatcher<PreloadOutcome>* m_preloadWatcher = nullptr;
    bool m_treeRebuilding = false;

    // ---- session loading ---------------------------------------------------
    /// Session index -> id of the dataset opened for it. Ids, not rows:
    /// skipped datasets and recreated duplicates move rows.
    std::map<int, int> m_sessionIdMap;
    /// The session being loaded, kept until its settings are applied; set
    /// exactly while a load is under way.
    std::unique_ptr<SessionDocument> m_sessionDocument;
    /// The load's settings are applied and its computations are being
    /// redone: no dataset is added to it any more.
    bool m_sessionFinishing = false;

    // ---- calculations ------------------------------------------------------
    std::unique_ptr<CalcTaskRunner> m_calcRunner;

    // ---- main plot ---------------------------------------------------------
    /// What the plot shows: its points, their events (ascending), colours,
    /// titles and, for the refresh under way, the contours built with them.
    PlotArrays m_plot;
    /// The settings of the last plot refresh; empty features after an empty
    /// plot, so whatever comes next starts from the full view.
    PlotSettings m_lastPlotSettings;
    int m_lastPlotDatasetIndex = -1;
    /// One-shot test set by a finished calculation: true for a feature whose
    /// values changed, so the next plot update resets the zoom.
    std::function<bool(const std::string&)> m_zoomResetPredicate;
    bool m_suppressGroupsUiRefresh = false;
    /// False while m_plot maps no events (no plot yet, or an empty one).
    bool m_plottedIndicesValid = false;

    // ---- filter groups -----------------------------------------------------
    /// Group that receives the next polygon drawn; -1: the active dataset.
    int m_pendingPolygonGroupId = -1;

    // ---- statistics export and services ------------------------------------
    std::optional<StatSummaryResult> m_lastStatSummaryResult;
    /// Choices of the last accepted data export, offered again next time.
    std::optional<ExportResult> m_lastExportResult;
    bool m_errorBoxOpen = false;

    // ---- tool windows (owned; closing order) -------------------------------
    ToolWindowRegistry<CombinePlotWindow> m_combinePlotWindows;
    ToolWindowRegistry<StatisticalEvalWindow> m_statisticalEvalWindows;
    ToolWindowRegistry<ImageGalleryWindow> m_imageGalleryWindows;
    ToolWindowRegistry<FilterGroupsMatrixWindow> m_filterGroupsMatrixWindows;

    // ---- plot requests (MainWindowPlot.cpp) --------------------------------
    /// What a plot request asks for; a full refresh includes the contours.
    enum PlotRequestPart : RequestCoalescer::Parts {
        PlotRequestFull = 1u << 0,
        PlotRequestContours = 1u << 1,
        /// The filter group widgets are rebuilt after the refresh.
        PlotRequestGroupWidgets = 1u << 2,
    };
    /// A full refresh that keeps the group widgets (a group rule is edited).
    void requestPlotUpdateKeepingGroupWidgets();
    /// A full refresh at once, for a caller that reads the plot right after.
    void updatePlotNow();
    /// Runs the requested parts in their fixed order.
    void runPlotRequests(RequestCoalescer::Parts parts);
    /// Asks for the contours alone to be drawn again.
    void requestContourUpdate();
    std::unique_ptr<RequestCoalescer> m_plotRequests;
    std::uint64_t m_fullPlotUpdates = 0;

    // dataset loading helpers (MainWindowDatasets.cpp)
    /// Starts the next queued preload, session dataset or pending path; an
    /// item that opens nothing is skipped at once, so a failure never stalls
    /// the queues or the end of a session load.
    void continueLoading();
    /// Shows a loading message box now, or after the next queued load has
    /// started when called while the queues are being continued.
    void showLoadingBox(std::function<void()> box);
    void showDeferredLoadingBoxes();
    /// Empties every view of the active dataset once no dataset is left.
    void resetViewsWithoutDatasets();
    bool m_deferLoadingBoxes = false;
    std::vector<std::function<void()>> m_deferredLoadingBoxes;

    // filter group helpers (MainWindowFilters.cpp)
    /// Ends a pending "+ Polygon" drawing for the group and the editing of
    /// one of its polygons, before the group goes.
    void releasePolygonWorkOfGroup(int groupId);
    /// Marks in the dock each group whose switch differs between `active`
    /// and some other dataset, and keeps an edited group polygon's toggle on.
    void markGroupDivergence(const DatasetEntry& active);
    /// A range rule over every finite value of the active reader's first
    /// scalar feature (bounds 0 and 0, no feature, without one).
    FilterRule newGroupRangeRule();

    // rule propagation and polygon gating helpers (MainWindowPropagation.cpp)
    /// What the scatter plot shows; a polygon drawn or edited there belongs
    /// to exactly this dataset, pair of features and pair of axis scales.
    struct PlotAxesContext {
        int datasetId = -1;
        /// Only the features and scales count (sameAxes).
        PlotSettings axes;
        bool operator==(const PlotAxesContext& other) const {
            return datasetId == other.datasetId && sameAxes(axes, other.axes);
        }
        bool operator!=(const PlotAxesContext& other) const { return !(*this == other); }
    };
    /// The context the controls choose now.
    PlotAxesContext currentPlotAxesContext() const;
    /// Ends polygon drawing and editing when the context changed since the
    /// last plot refresh, then remembers the current one.
    void stopPolygonWorkOnAxesChange();
    /// Whether a finished polygon or edited vertices still fit the plot.
    bool plotAxesUnchanged() const { return currentPlotAxesContext() == m_plotAxesContext; }
    /// Switches the copies of the active dataset's rule `ruleIndex` on or
    /// off in every other dataset, then the rule itself in the dock.
    void setRuleEnabledInAll(int ruleIndex, bool on);
    /// Calls `visit(filter, copyIndex)` for the copy of the propagated rule
    /// `id` in every dataset other than the active one that has a copy.
    void forEachRuleCopyElsewhere(const std::string& id,
                                  const std::function<void(EventFilter&, int)>& visit);
    /// Context of the last plot refresh.
    PlotAxesContext m_plotAxesContext;

    // active dataset switching and main plot helpers (MainWindowSwitching.cpp,
    // MainWindowPlot.cpp)
    /// Empty, disabled views while the dataset's features are still cached.
    void showLoadingState(const DatasetEntry& entry);
    /// Empties the plot, its arrays and overlays and the event views.
    void clearPlotAndEventViews();
    /// Enables the calculations dock's sections for the dataset and computes
    /// again the derived features it had but its reader lacks.
    void prepareCalculationsForDataset(DatasetEntry& entry);
    /// Feature choices, contour, scale and event controls from the record.
    void restorePlotControls(DatasetEntry& entry);
    /// The plot of a dataset without events or without a feature to plot:
    /// no dots, axis titles or statistics, and its own status line.
    void showEmptyPlot();
    /// The views and tool windows every plot refresh brings up to date.
    void refreshWhatFollowsThePlot();
    /// Resets the zoom when the axes, the dataset or a feature's values changed.
    void applyZoomRule(const PlotSettings& settings);
    /// Highlights the current event, or makes the first plotted event
    /// current when the filter hides it.
    void followCurrentEvent(DatasetEntry& entry);
    /// Plot index of an event, -1 when it is not plotted.
    int plotIndexOfEvent(int event) const;

    // event view helpers (MainWindowViews.cpp)
    /// Lets the event table's value column keep its content width and the
    /// label column take the rest, so values stay in view in a narrow panel.
    void fitEventTableToPanel();
};

} // namespace Quorvex3
