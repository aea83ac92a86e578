#pragma once

#include "calc/EModParams.h"
#include "calc/FLRefinement.h"
#include "dimred/UmapParams.h"

#include <QString>
#include <QWidget>

#include <armadillo>

#include <string>
#include <vector>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QTableWidget;

namespace Quorvex3 {

struct DatasetEntry;
struct RTDCMetadata;

/// Content of the "Calculations" dock: the controls that start every
/// derived-feature computation of the active dataset, and the one progress
/// bar all compute tasks share. Each button reports the user's request by a
/// signal; the main window reads the inputs back through the accessors and
/// switches the buttons through the setters. The dock computes nothing.
class CalculationsDockWidget : public QWidget {
    Q_OBJECT

public:
    explicit CalculationsDockWidget(QWidget* parent = nullptr);
    ~CalculationsDockWidget() override;

    /// The dock's shared progress bar (hidden until a task starts).
    QProgressBar* progressBar() const { return m_progressBar; }

    // ---- section choices read by the compute actions
    bool isRefineAllChecked() const;
    bool isCompensateAllChecked() const;
    bool isFourierAllChecked() const;
    bool isImageFeaturesAllChecked() const;
    /// Whether traces are shown refined ("fl<N>_median_rf") where available.
    bool isShowRefinedTrace() const;
    FLRefineSettings readRefineSettings() const;
    /// The spillover matrix of the table: identity on the diagonal whatever
    /// the cells show; off-diagonal cells that are not numbers count as 0.
    arma::Mat<double> readSpilloverMatrix() const;

    // ---- dimension reduction
    int dimRedMethod() const;     ///< 0 PCA, 1 UMAP
    int dimRedFitScope() const;   ///< 0 this dataset, 1 pooled, 2 use reference
    int dimRedApplyScope() const; ///< 0 this dataset, 1 all datasets
    bool dimRedClusterEnabled() const;
    int dimRedClusterMinPts() const;
    bool dimRedClusterEpsAuto() const;
    double dimRedClusterEps() const;
    UmapParams umapParams() const;
    /// Names of the checked input features, in list order.
    std::vector<std::string> selectedDimRedFeatures() const;

    // ---- Young's modulus
    bool isEmodulusAllChecked() const;
    bool isUseFilteredDataChecked() const;
    /// Parameters of the active dataset as the page shows them. Conditions
    /// the page has no value for take the defaults every dataset starts with.
    EModParams readEmodulusParams() const;
    /// The deformation feature to map ("deform" unless the user chose a
    /// Fourier deformation in expert mode).
    std::string selectedDeformFeature() const;
    /// Parameters of any dataset from its own metadata, the page's
    /// temperature choice and, for a medium without a viscosity model, the
    /// viscosity last entered by hand (whatever the page shows for the
    /// active dataset's medium).
    EModParams buildParamsForDataset(const RTDCMetadata& metadata,
                                     bool hasTemperatureFeature) const;
    /// Fills the page from a dataset's metadata.
    void populateEmodulusDefaults(const RTDCMetadata& metadata, bool hasTemperatureFeature);
    /// Offers the viscosity model that belongs to a medium.
    void updateViscosityOptions(EModMedium medium);
    void onTempSourceChanged();
    /// Shows the viscosity the chosen model gives at the shown temperature.
    void updateViscosityDisplay();
    /// Rebuilds the deformation-source choice of the Young's modulus inputs.
    void updateDeformSources(bool expertMode, bool hasDeformFc, bool hasDeformOdd);
    /// Forgets the viscosity entered by hand: the manual field starts again
    /// from 1 mPa·s, as at start-up (a cleared session).
    void resetManualViscosity();

    static double metadataDouble(const RTDCMetadata& metadata, const std::string& section,
                                 const std::string& key, double fallback);
    static std::string metadataString(const RTDCMetadata& metadata, const std::string& section,
                                      const std::string& key);
    /// A label's number with `suffix` removed; 0.0 for anything else ("—").
    static double parseLabelValue(const QLabel* label, const QString& suffix);

    // ---- setters of the main window
    /// Binds the dock to a dataset (null: none; the buttons are disabled).
    void setActiveDataset(const DatasetEntry* entry);
    /// Re-lists the dimension-reduction input features for a dataset.
    void refreshDimRedFeatures(const DatasetEntry* entry);
    void populateDimRedFeatures(const DatasetEntry* entry);
    void setRefineEnabled(bool enabled);
    void setCompensateEnabled(bool enabled);
    /// The same as `setCompensateEnabled`: the section stays visible.
    void setCompensationVisible(bool visible);
    void setEmodulusEnabled(bool enabled);
    /// Shows why "Compute Young's Modulus" is off for the active dataset
    /// (empty: it is not, or not for a reason of the dataset's own).
    void setEmodulusUnavailableReason(const QString& reason);
    /// Enables "Assess Quality" (it stays visible either way).
    void setAssessQualityVisible(bool visible);
    void setFourierEnabled(bool enabled);
    void setImageFeaturesEnabled(bool enabled);

    /// Rebuilds the spillover table for these fluorescence channels.
    void buildSpilloverTable(const std::vector<int>& channels);
    /// Writes a stored spillover matrix (channels × channels) into the table
    /// built for the same channels; any other size changes nothing.
    void restoreSpilloverMatrix(const arma::Mat<double>& matrix, const std::vector<int>& channels);

    /// Hides the expert-only sections when off; the main window calls it
    /// once with false.
    void setExpertMode(bool on);
    bool isExpertMode() const { return m_expertMode; }

    /// A dimension-reduction fit or application runs.
    void setDimRedBusy(bool busy);
    /// Announces the current reference (empty text: none described).
    void setDimRedReferenceInfo(const QString& text, bool referencePresent);
    void setUseReferenceSelectable(bool selectable);
    void updateDimRedModeUi();
    void updateDimRedCount();

signals:
    void refineFluorescence();
    void traceDisplayChanged();
    void compensateCrosstalk();
    void computeEmodulus();
    void assessEmodQuality();
    void runInference();
    void computeFourierDeform();
    void computeImageFeatures();
    void computeDimReduction();
    void saveDimRedReference();
    void loadDimRedReference();

private:
    QWidget* buildEmodulusPage();
    QWidget* buildCrosstalkPage();
    QWidget* buildRefinementPage();
    QWidget* buildDescribedPage(const QString& description, QCheckBox*& allBox,
                                QPushButton*& button, const QString& buttonText);
    QWidget* buildDimRedPage();
    void onViscosityChoiceChanged();
    void onViscosityEdited(double value);
    bool manualViscosityChosen() const;
    /// The Young's modulus page without a dataset: no conditions, buttons off.
    void clearEmodulusPage();
    /// The stack as large as the page shown: hidden pages take no room.
    void fitStackToCurrentPage();

    QComboBox* m_sectionSelector = nullptr;
    QStackedWidget* m_stack = nullptr;
    QProgressBar* m_progressBar = nullptr;
    bool m_expertMode = true;

    // Young's modulus page
    QLabel* m_mediumLabel = nullptr;
    QComboBox* m_viscosityCombo = nullptr;
    QDoubleSpinBox* m_viscositySpin = nullptr;
    QDoubleSpinBox* m_temperatureSpin = nullptr;
    QRadioButton* m_tempManual = nullptr;
    QRadioButton* m_tempMeta = nullptr;
    QRadioButton* m_tempEvent = nullptr;
    QButtonGroup* m_tempGroup = nullptr;
    QLabel* m_channelWidthLabel = nullptr;
    QLabel* m_flowRateLabel = nullptr;
    QLabel* m_pixelSizeLabel = nullptr;
    QLabel* m_deformSourceLabel = nullptr;
    QComboBox* m_deformSourceCombo = nullptr;
    QCheckBox* m_emodAllCheck = nullptr;
    QPushButton* m_emodButton = nullptr;
    QLabel* m_emodReason = nullptr;
    QPushButton* m_assessButton = nullptr;
    QCheckBox* m_useFilteredCheck = nullptr;
    EModMedium m_currentMedium = EModMedium::Unknown;
    double m_metadataTemperature = 23.0;
    static constexpr double kStartViscosity = 1.0;
    /// The viscosity last entered by hand, in mPa·s. The η box shows it
    /// whenever the medium has no model; a value computed for another medium
    /// never takes its place.
    double m_manualViscosity = kStartViscosity;
    bool m_deformSourceEnabled = false;

    // crosstalk page
    QTableWidget* m_spilloverTable = nullptr;
    QCheckBox* m_compensateAllCheck = nullptr;
    QPushButton* m_compensateButton = nullptr;

    // refinement page
    struct TraceFilterRow {
        QCheckBox* enabled = nullptr;
        QSpinBox* k = nullptr;
    };
    TraceFilterRow m_hampel1, m_hampel2, m_median, m_rollingAvg, m_savgol;
    QDoubleSpinBox* m_flMaxThreshold = nullptr;
    QCheckBox* m_refineAllCheck = nullptr;
    QPushButton* m_refineButton = nullptr;
    QCheckBox* m_showRefinedCheck = nullptr;

    // Fourier and image-feature pages
    QCheckBox* m_fourierAllCheck = nullptr;
    QPushButton* m_fourierButton = nullptr;
    QCheckBox* m_imageFeaturesAllCheck = nullptr;
    QPushButton* m_imageFeaturesButton = nullptr;

    // dimension-reduction page
    QComboBox* m_dimRedMethod = nullptr;
    QComboBox* m_dimRedFitScope = nullptr;
    QComboBox* m_dimRedApplyScope = nullptr;
    QGroupBox* m_umapGroup = nullptr;
    QSpinBox* m_umapNeighbours = nullptr;
    QDoubleSpinBox* m_umapMinDist = nullptr;
    QSpinBox* m_umapEpochs = nullptr;
    QComboBox* m_umapInit = nullptr;
    QSpinBox* m_umapSeed = nullptr;
    QGroupBox* m_featureGroup = nullptr;
    QListWidget* m_featureList = nullptr;
    QGroupBox* m_clusterGroup = nullptr;
    QSpinBox* m_clusterMinPts = nullptr;
    QCheckBox* m_clusterEpsAuto = nullptr;
    QDoubleSpinBox* m_clusterEps = nullptr;
    QPushButton* m_dimRedButton = nullptr;
    QPushButton* m_saveReferenceButton = nullptr;
    QPushButton* m_loadReferenceButton = nullptr;
    QLabel* m_referenceInfo = nullptr;
    bool m_dimRedBusy = false;
    bool m_hasReference = false;
};

} // namespace Quorvex3
