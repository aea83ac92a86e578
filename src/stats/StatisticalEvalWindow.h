#pragma once

#include "model/DatasetStore.h"
#include "stats/DistributionPlot.h"
#include "stats/ROCAnalysis.h"
#include "stats/RocRun.h"

#include <QColor>
#include <QJsonObject>
#include <QMainWindow>
#include <QMap>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QCheckBox;
class QCloseEvent;
class QComboBox;
class QDockWidget;
class QDoubleSpinBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QVBoxLayout;
class QWidget;
class QwtPlot;

namespace Quorvex3 {

class CategoryPanel;

/// Tool window "Statistical Evaluation": the user sorts datasets into
/// categories (one CategoryPanel each), picks features and the per-dataset
/// summary, and runs one analysis per tab: the group comparison, the ROC
/// analysis and the distribution explorer.
///
/// The main window owns it: delete-on-close is off, closing emits
/// windowClosed(this) once, and the main window releases it with a deferred
/// delete. Datasets are reached through the store, by id, at the moment
/// they are needed; no DatasetEntry pointer is kept between calls.
///
/// The implementation is split by concern:
/// - StatisticalEvalWindow.cpp: construction, categories, tabs, feature
///   list, notifications, closing;
/// - StatisticalEvalWindowDescription.cpp: the description and the ID
///   detection;
/// - StatisticalEvalWindowAnalysis.cpp: the group comparison run and plots;
/// - StatisticalEvalWindowRoc.cpp: the ROC run and plots;
/// - StatisticalEvalWindowDistribution.cpp: the distribution explorer;
/// - StatisticalEvalWindowState.cpp: the session state;
/// - StatisticalEvalWindowExports.cpp: the "&Export" menu.
///
/// GUI thread only.
class StatisticalEvalWindow : public QMainWindow {
    Q_OBJECT

public:
    /// Matched values of one group plot: per category, in category order,
    /// the subject number (`numberId`) to its aggregated value, and whether
    /// lines join a subject's values across categories.
    struct PlotPairedData {
        std::vector<std::map<int, double>> valuesByCategory;
        bool showLines = false;
    };

    /// One significance bracket of a group plot between two categories.
    struct PlotSigBar {
        int first = 0;  ///< category index
        int second = 0; ///< category index
        QString mark;   ///< "*", "**" or "***"
    };

    /// `store` (not owned) must outlive the window; the main window passes
    /// its own store and no parent.
    explicit StatisticalEvalWindow(const DatasetStore* store, QWidget* parent = nullptr);
    ~StatisticalEvalWindow() override;

    /// The size the window opens at where the screen has room for it (with
    /// the window manager's frame around it); a smaller screen's whole
    /// available area otherwise.
    static QSize preferredSize();

    /// Category colour for a panel created while `panelCount` panels exist:
    /// #4682b4, #dc503c, #3cb44b, #ffa500, #9467bd, #8c564b, repeating.
    static QColor paletteColor(int panelCount);

    /// The categories in display order; category index i is panel i.
    const std::vector<CategoryPanel*>& categoryPanels() const { return m_categoryPanels; }

    // ---- notifications from the main window ------------------------------

    /// Drops the dataset from every category, then refreshes the categories.
    void onMainDatasetRemoved(int datasetId);
    /// Shows the dataset's new display name in every category.
    void onDatasetRenamed(int datasetId, const QString& name);
    /// The datasets' features or filters changed: rebuilds the feature list.
    void onFeaturesChanged();

    // ---- session state ---------------------------------------------------

    /// The window's state as a session object; dataset references are
    /// positions in `datasets` (the session's dataset order). Changes nothing.
    QJsonObject saveState(const DatasetStore::DatasetList& datasets) const;
    /// Rebuilds the window from a saved state; `sessionIdMap` takes a
    /// session index to the id of the dataset reopened for it. Never fails:
    /// missing or mistyped keys take their defaults.
    void restoreState(const QJsonObject& state, const QMap<int, int>& sessionIdMap);

    // ---- what the analyses and the tests read ----------------------------

    /// One dataset's summary of one feature under the "Dataset summary:"
    /// choice, over its shown events; empty when the dataset is unknown, has
    /// no reader, lacks the column or has no finite shown value.
    std::optional<double> computeDatasetSummary(int datasetId, const std::string& feature) const;
    /// "***", "**", "*" or "ns" for p at level alpha.
    static QString significanceStars(double p, double alpha);
    /// Scalar features present in every dataset of every category, in
    /// ascending byte order.
    std::vector<std::string> computeIntersectingFeatures() const;
    /// Whether the design is "Repeated measures / Matched".
    bool isPaired() const;
    /// Whether the matched design can be evaluated: at least two categories,
    /// none empty, every subject number at least 1, and the same set of
    /// subject numbers in every category.
    bool pairingValid() const;
    /// Sets subject and replicate numbers of every entry from "ID<n>",
    /// "BR<n>", "TR<n>" in its display name, else its sample name; reports
    /// entries left without an ID. Digits too large for an int leave the
    /// entry undetected.
    void autoDetectNumberIds();
    /// Rewrites the explanatory text for the current tab and settings.
    void updateDescription();

signals:
    /// Emitted once, from the first closeEvent, with the window itself.
    void windowClosed(StatisticalEvalWindow* window);

public slots:
    /// Adds a removable category "Condition <n>".
    void onAddCategory();
    /// Removes the panel from the categories and deletes it.
    void onDeleteCategoryPanel(CategoryPanel* panel);
    /// Rebuilds the feature list, the test label and the description.
    void onCategoryChanged();
    /// Group comparison of the categories on the selected features.
    void onRunAnalysis();
    /// ROC analysis of two categories on the selected features.
    void onRunROC();
    /// Replaces the distribution plots.
    void onRunDistribution();
    void exportPlots();
    void exportTable();
    void exportROCPlots();
    void exportROCTable();
    void exportROCData();
    void exportDistributionPlots();
    /// Shows the controls of the tab and refreshes the description.
    void onTabChanged(int index);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // ---- shell -------------------------------------------------------------
    void buildCategoriesDock();
    void buildSettingsDock();
    void buildTabs();
    void buildMenus();
    /// A first, not removable category (no numbers shown, no refresh).
    CategoryPanel* createCategoryPanel(const QString& name);
    /// Connects the panel and appends it to the vector and the layout.
    void adoptPanel(CategoryPanel* panel);
    void onDesignChanged(int design);
    void onReplicatesToggled(bool checked);
    /// "Test: <name>\n<problem lines>".
    QString testLabelText() const;
    /// The paragraphs of each tab's description.
    QStringList comparisonParagraphs() const;
    QStringList rocParagraphs() const;
    QStringList distributionParagraphs() const;
    /// Number of selected features (0 for an empty list).
    int selectedFeatureCount() const;

    // ---- group comparison (StatisticalEvalWindowAnalysis.cpp) ----------------
    /// A new plot of one feature's values per category, without parent;
    /// the caller owns it. `paired` is null in the independent design.
    QwtPlot* buildGroupPlot(const std::string& feature, const std::vector<QString>& categoryNames,
                            const std::vector<QColor>& colours,
                            const std::vector<std::vector<double>>& values,
                            const std::vector<std::vector<QString>>& pointLabels,
                            const PlotPairedData* paired,
                            const std::vector<PlotSigBar>& bars) const;
    /// computeDatasetSummary of each of `features`, in order, with the
    /// dataset's filter applied once for all of them.
    std::vector<std::optional<double>>
    datasetSummaries(int datasetId, const std::vector<std::string>& features) const;
    /// The label of `feature` as the first category whose first dataset is
    /// loaded names it; `fallback` when that has no label (or none is).
    QString featureLabel(const std::string& feature, const QString& fallback) const;
    /// Removes and deletes every group plot.
    void clearPlots();
    /// Puts a new item with `text` into the results table.
    void setResultCell(int row, int column, const QString& text, bool alignRight);

    // ---- ROC analysis (StatisticalEvalWindowRoc.cpp) ---------------------------
    /// Removes and deletes every ROC plot.
    void clearROCPlots();
    /// Puts a new right-aligned item with `text` into the ROC table.
    void setRocTableCell(int row, int column, const QString& text);

    // ---- distribution explorer (StatisticalEvalWindowDistribution.cpp) --------
    /// Removes and deletes every distribution plot.
    void clearDistributionPlots();

    // ---- fields ------------------------------------------------------------
    const DatasetStore* m_store = nullptr;

    QDockWidget* m_categoriesDock = nullptr;
    QWidget* m_categoryContainer = nullptr;
    QVBoxLayout* m_categoryLayout = nullptr;
    std::vector<CategoryPanel*> m_categoryPanels;

    QDockWidget* m_settingsDock = nullptr;
    QListWidget* m_featureList = nullptr;
    QWidget* m_summaryRow = nullptr;
    QComboBox* m_summaryCombo = nullptr;
    QWidget* m_testSettingsWidget = nullptr;
    QComboBox* m_designCombo = nullptr;
    QPushButton* m_autoDetectButton = nullptr;
    QCheckBox* m_replicatesCheck = nullptr;
    QCheckBox* m_connectionLinesCheck = nullptr;
    QDoubleSpinBox* m_alphaSpin = nullptr;
    QComboBox* m_correctionCombo = nullptr;
    QPushButton* m_runAnalysisButton = nullptr;
    QPushButton* m_runROCButton = nullptr;
    QPushButton* m_updateDistributionsButton = nullptr;
    QWidget* m_distributionModeRow = nullptr;
    QComboBox* m_distributionModeCombo = nullptr;
    QLabel* m_testLabel = nullptr;
    QLabel* m_descriptionLabel = nullptr;

    QTabWidget* m_tabWidget = nullptr;

    QTableWidget* m_resultsTable = nullptr;
    QWidget* m_groupPlotContainer = nullptr;
    QVBoxLayout* m_groupPlotLayout = nullptr;
    std::vector<QwtPlot*> m_groupPlots;

    QTableWidget* m_rocTable = nullptr;
    QWidget* m_rocPlotContainer = nullptr;
    QVBoxLayout* m_rocPlotLayout = nullptr;
    std::vector<QwtPlot*> m_rocPlots;

    QWidget* m_distributionContainer = nullptr;
    QVBoxLayout* m_distributionLayout = nullptr;
    std::vector<QwtPlot*> m_distributionPlots;

    int m_nextCategoryIndex = 2;
    /// Whether windowClosed was emitted: a second close reports nothing.
    bool m_closeReported = false;

    // ---- ROC analysis run (StatisticalEvalWindowRoc.cpp) -----------------------
    /// One category's entries with their summary values of `features`.
    RocClassInput rocClassInput(int categoryIndex, const std::vector<std::string>& features) const;
    /// The negative and positive category: the first two, or by the two item
    /// dialogs with more; false when the user cancels.
    bool chooseRocClasses(int& negative, int& positive);
    void fillRocTable(const RocRunInput& input, const RocRunOutcome& outcome);
    /// Appends the plot to the ROC plot layout and list.
    void addRocPlot(QwtPlot* plot);

    // ---- distribution explorer run (StatisticalEvalWindowDistribution.cpp) ----
    /// The curves of one feature over every category's datasets. `shown`
    /// keeps each dataset's shown events (by id) across the run's features.
    DistributionCurves distributionCurves(const std::string& feature,
                                          std::vector<DistributionLook>& samples,
                                          std::map<int, std::vector<int>>& shown) const;

    // ---- exports and state (StatisticalEvalWindowExports.cpp,
    //      StatisticalEvalWindowState.cpp) --------------------------------------
    /// Label and result of each feature of the last ROC run, in run order
    /// (the combined score not included). "Export ROC Curve Data" writes
    /// exactly these, so the file holds the curves the tab shows; the ROC
    /// run replaces them, and an empty vector means no run yet.
    std::vector<std::pair<std::string, ROCResult>> m_lastRocCurves;
    /// Tests fill the plot lists and results without running the analyses.
    friend class StatisticalEvalWindowTestAccess;
};

} // namespace Quorvex3
