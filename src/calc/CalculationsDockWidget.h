#pragma once

#include "calc/EModParams.h"

#include <QWidget>

#include <armadillo>

#include <vector>

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
    bool m_expertMode = true;
    bool m_showRefinedTrace = true;
};

} // namespace Quorvex3
