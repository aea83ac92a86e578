#pragma once

#include "calc/EModParams.h"
#include "calc/FLRefinement.h"
#include "dimred/UmapParams.h"

#include <QWidget>

#include <armadillo>

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QProgressBar;

namespace Quorvex3 {

struct DatasetEntry;
struct RTDCMetadata;

/// Content of the "Calculations" dock: the controls that start every
/// derived-feature computation of the active dataset, and the one progress
/// bar all compute tasks share. Each control reports the user's request by a
/// signal; the main window reads the inputs back through the accessors.
///
/// This build offers no computation yet: the panel says so, its signals are
/// never emitted and the section setters have nothing to switch.
class CalculationsDockWidget : public QWidget {
    Q_OBJECT

public:
    explicit CalculationsDockWidget(QWidget* parent = nullptr);
    ~CalculationsDockWidget() override;

    /// The dock's shared progress bar (hidden until a task starts).
    QProgressBar* progressBar() const { return m_progressBar; }

    /// Binds the dock to a dataset (null: none; everything is disabled).
    void setActiveDataset(DatasetEntry* entry);
    /// Hides the expert-only sections when off; the main window calls it
    /// once with false.
    void setExpertMode(bool on);
    void setRefineEnabled(bool enabled);
    void setCompensationVisible(bool visible);
    void setEmodulusEnabled(bool enabled);
    void setAssessQualityVisible(bool visible);
    void setFourierEnabled(bool enabled);
    void setImageFeaturesEnabled(bool enabled);

    /// Rebuilds the spillover table for these fluorescence channels.
    void buildSpilloverTable(const std::vector<int>& channels);
    /// Writes a stored spillover matrix (channels × channels) into the table.
    void restoreSpilloverMatrix(const arma::Mat<double>& matrix, const std::vector<int>& channels);
    /// Fills the Young's modulus inputs from a dataset's metadata.
    void populateEmodulusDefaults(const RTDCMetadata& metadata, bool hasTemperatureFeature);
    /// Young's modulus parameters of one dataset from its metadata and the
    /// dock's settings. Without the inputs, the record's defaults.
    EModParams buildParamsForDataset(const RTDCMetadata& metadata,
                                     bool hasTemperatureFeature) const;
    /// Re-lists the dimension-reduction input features for a dataset.
    void refreshDimRedFeatures(const DatasetEntry* entry);
    /// Whether traces are shown refined ("fl<N>_median_rf") where available.
    bool isShowRefinedTrace() const { return m_showRefinedTrace; }
    /// Rebuilds the deformation-source choice of the Young's modulus inputs.
    void updateDeformSources(bool expertMode, bool hasDeformFc, bool hasDeformOdd);

    /// Whether the expert-only sections are offered.
    bool isExpertMode() const { return m_expertMode; }

    // ---- choices read by the compute actions. This build keeps them in
    // plain, hidden controls (found by object name) with the defaults of the
    // full panel.
    bool isRefineAllChecked() const;
    bool isCompensateAllChecked() const;
    bool isFourierAllChecked() const;
    bool isImageFeaturesAllChecked() const;
    bool isEmodulusAllChecked() const;
    bool isUseFilteredDataChecked() const;
    FLRefineSettings readRefineSettings() const;
    /// Identity of the size of the last spillover table.
    arma::Mat<double> readSpilloverMatrix() const;
    EModParams readEmodulusParams() const;
    std::string selectedDeformFeature() const;
    int dimRedMethod() const;
    int dimRedFitScope() const;
    int dimRedApplyScope() const;
    bool dimRedClusterEnabled() const;
    int dimRedClusterMinPts() const;
    bool dimRedClusterEpsAuto() const;
    double dimRedClusterEps() const;
    UmapParams umapParams() const;
    /// Checked names of the feature list, in list order.
    std::vector<std::string> selectedDimRedFeatures() const;
    void setCompensateEnabled(bool enabled);
    void setDimRedBusy(bool busy);
    void setDimRedReferenceInfo(const QString& text, bool referencePresent);

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
    QProgressBar* m_progressBar = nullptr;
    QCheckBox* m_refineAll = nullptr;
    QCheckBox* m_compensateAll = nullptr;
    QCheckBox* m_fourierAll = nullptr;
    QCheckBox* m_imageFeaturesAll = nullptr;
    QCheckBox* m_emodulusAll = nullptr;
    QCheckBox* m_useFilteredData = nullptr;
    QComboBox* m_dimRedMethod = nullptr;
    QComboBox* m_dimRedFitScope = nullptr;
    QComboBox* m_dimRedApplyScope = nullptr;
    QCheckBox* m_dimRedCluster = nullptr;
    QListWidget* m_featureList = nullptr;
    QLabel* m_referenceInfo = nullptr;
    size_t m_spilloverSize = 0;
    bool m_dimRedBusy = false;
    bool m_expertMode = true;
    bool m_showRefinedTrace = true;
};

} // namespace Quorvex3
