#pragma once

#include "session/ExportResult.h"

#include <QDialog>

#include <memory>
#include <set>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace Quorvex3 {

struct DatasetEntry;

/// The modal dialog of the data export: scope (current or all datasets),
/// format (.rtdc, TSV, AVI with its codec and frame skipping), scalar
/// features, images, masks and traces, and the output folder.
///
/// It offers every scalar feature of every dataset: the current dataset's
/// first, checked; the others' after them, grey and shown only while all
/// datasets are exported. What a format cannot carry is disabled.
/// Accepting with a custom folder that is empty or does not exist is
/// refused with a message, so no export starts toward a wrong place.
class ExportDialog : public QDialog {
    Q_OBJECT

public:
    /// `current` may be null (no features offered); `all` is the main
    /// window's dataset list; `previous`, when given, restores the last
    /// accepted choices. `expertMode` is kept for callers that have one.
    ExportDialog(const DatasetEntry* current, const std::vector<std::unique_ptr<DatasetEntry>>& all,
                 bool expertMode, QWidget* parent, const ExportResult* previous);
    ~ExportDialog() override;

    /// The current choices.
    ExportResult getResult() const;

public slots:
    void accept() override;

private slots:
    void onScopeChanged();
    void onFormatChanged();
    void onSelectAll();
    void onDeselectAll();
    void onBrowseDir();
    void updateFeatureAppearance();

private:
    void buildScopeGroup(int datasetCount);
    void buildFormatGroups();
    void buildFeatureGroup(const DatasetEntry* current,
                           const std::vector<std::unique_ptr<DatasetEntry>>& all);
    void buildDataGroup(const DatasetEntry* current,
                        const std::vector<std::unique_ptr<DatasetEntry>>& all);
    void buildDirectoryGroup(const DatasetEntry* current);
    void restore(const ExportResult& previous);
    /// Makes the dialog at least as wide as the AVI options while they show.
    void fitWidthToAviOptions(bool shown);
    /// Applies the rules of the scope and format to one of the "Images",
    /// "Masks" and "Traces" boxes.
    void updateFeatureCheckBox(QCheckBox* box, bool inCurrent, bool inAny, bool all, bool tsv,
                               bool avi);

    std::vector<QCheckBox*> m_featureBoxes;
    std::vector<std::string> m_featureNames;
    std::set<std::string> m_currentFeatures;
    QCheckBox* m_imagesCheck = nullptr;
    QCheckBox* m_masksCheck = nullptr;
    QCheckBox* m_tracesCheck = nullptr;
    QRadioButton* m_currentScope = nullptr;
    QRadioButton* m_allScope = nullptr;
    QRadioButton* m_rtdcFormat = nullptr;
    QRadioButton* m_tsvFormat = nullptr;
    QRadioButton* m_aviFormat = nullptr;
    QGroupBox* m_aviOptions = nullptr;
    QRadioButton* m_mjpegCodec = nullptr;
    QRadioButton* m_rawCodec = nullptr;
    QCheckBox* m_skipDuplicates = nullptr;
    bool m_expertMode = false;
    bool m_currentHasImages = false;
    bool m_currentHasMasks = false;
    bool m_currentHasTraces = false;
    bool m_anyHasImages = false;
    bool m_anyHasMasks = false;
    bool m_anyHasTraces = false;
    QCheckBox* m_customDirCheck = nullptr;
    QLineEdit* m_dirEdit = nullptr;
    QPushButton* m_browseButton = nullptr;
};

} // namespace Quorvex3
