#pragma once

#include "stats/StatSummaryResult.h"

#include <QDialog>
#include <QString>

#include <memory>
#include <set>
#include <string>
#include <vector>

class QCheckBox;
class QDoubleSpinBox;
class QLineEdit;
class QRadioButton;

namespace Quorvex3 {

struct DatasetEntry;

/// Asks what the statistical summary export writes: the current dataset or
/// all datasets, which scalar features, which of thirteen statistics, the
/// percentile and the output file. Computes nothing and writes nothing; the
/// caller runs it modally and reads getResult() after acceptance.
///
/// Widgets carry object names so scripted tests can fill them in:
/// "currentOnlyRadio", "allDatasetsRadio", "selectAllButton",
/// "deselectAllButton", one "feature:<name>" box per feature, "statN",
/// "statMedian", "statIQR", "statQ1", "statQ3", "statPercentile",
/// "statMean", "statSD", "statSEM", "statCV", "statMin", "statMax",
/// "statSkewness", "percentileSpin", "outputPathEdit", "browseButton".
class StatSummaryExportDialog : public QDialog {
    Q_OBJECT

public:
    /// `current` is the active dataset (not null) and one of `datasets`;
    /// `previous`, when given, is the last accepted result, offered again.
    /// Nothing is kept of the datasets after construction.
    StatSummaryExportDialog(const DatasetEntry* current,
                            const std::vector<std::unique_ptr<DatasetEntry>>& datasets,
                            QWidget* parent, const StatSummaryResult* previous);
    ~StatSummaryExportDialog() override;

    /// The choices as the widgets hold them; checked boxes hidden by the
    /// scope are included, the percentile is read whether or not it is
    /// chosen, the path is the field's text untrimmed.
    StatSummaryResult getResult() const;

    /// Whether the output field holds the name last picked through
    /// "Browse..." (whose save dialog already asked about replacing it).
    bool outputPickedThroughBrowse() const;

private slots:
    void onScopeChanged();
    void onSelectAll();
    void onDeselectAll();
    void onBrowse();

private:
    void updateFeatureAppearance();
    void buildScopeGroup(int datasetCount);
    void buildFeatureGroup(const DatasetEntry* current,
                           const std::vector<std::unique_ptr<DatasetEntry>>& datasets);
    void buildStatisticsGroup();
    void buildOutputGroup(const DatasetEntry* current);
    void applyPrevious(const StatSummaryResult& previous);

    std::set<std::string> m_currentFeatures;
    std::vector<QCheckBox*> m_featureBoxes;
    std::vector<std::string> m_featureNames;
    QRadioButton* m_currentOnlyRadio = nullptr;
    QRadioButton* m_allDatasetsRadio = nullptr;
    QCheckBox* m_nCheck = nullptr;
    QCheckBox* m_medianCheck = nullptr;
    QCheckBox* m_iqrCheck = nullptr;
    QCheckBox* m_q1Check = nullptr;
    QCheckBox* m_q3Check = nullptr;
    QCheckBox* m_percentileCheck = nullptr;
    QCheckBox* m_meanCheck = nullptr;
    QCheckBox* m_sdCheck = nullptr;
    QCheckBox* m_semCheck = nullptr;
    QCheckBox* m_cvCheck = nullptr;
    QCheckBox* m_minCheck = nullptr;
    QCheckBox* m_maxCheck = nullptr;
    QCheckBox* m_skewnessCheck = nullptr;
    QDoubleSpinBox* m_percentileSpin = nullptr;
    QLineEdit* m_outputEdit = nullptr;
    /// The last answer of "Browse..."; empty when it was not used.
    QString m_browsedPath;
};

} // namespace Quorvex3
