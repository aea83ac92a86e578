#include "stats/StatSummaryExportDialog.h"

#include "core/RTDCReader.h"
#include "model/DatasetEntry.h"
#include "stats/SummaryStatistics.h"
#include "util/DialogProvider.h"

#include "util/WindowUtil.h"
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace Quorvex3 {

namespace {

QCheckBox* statisticBox(const QString& text, const char* objectName, bool checked) {
    auto* box = new QCheckBox(text);
    box->setObjectName(QLatin1String(objectName));
    box->setChecked(checked);
    return box;
}

QHBoxLayout* rowOf(std::initializer_list<QWidget*> widgets) {
    auto* row = new QHBoxLayout;
    for (QWidget* widget : widgets)
        row->addWidget(widget);
    row->addStretch();
    return row;
}

} // namespace

StatSummaryExportDialog::StatSummaryExportDialog(
    const DatasetEntry* current, const std::vector<std::unique_ptr<DatasetEntry>>& datasets,
    QWidget* parent, const StatSummaryResult* previous)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Export Statistical Summary"));
    setMinimumWidth(450);
    new QVBoxLayout(this);
    buildScopeGroup(static_cast<int>(datasets.size()));
    buildFeatureGroup(current, datasets);
    buildStatisticsGroup();
    buildOutputGroup(current);
    if (previous)
        applyPrevious(*previous);
    updateFeatureAppearance();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    QPushButton* exportButton =
        buttons->addButton(QStringLiteral("Export"), QDialogButtonBox::AcceptRole);
    exportButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout()->addWidget(buttons);
}

StatSummaryExportDialog::~StatSummaryExportDialog() = default;

void StatSummaryExportDialog::buildScopeGroup(int datasetCount) {
    auto* group = new QGroupBox(QStringLiteral("Export Scope"), this);
    auto* box = new QVBoxLayout(group);
    m_currentOnlyRadio = new QRadioButton(QStringLiteral("Current dataset only"), group);
    m_currentOnlyRadio->setObjectName(QStringLiteral("currentOnlyRadio"));
    m_currentOnlyRadio->setChecked(true);
    m_allDatasetsRadio =
        new QRadioButton(QStringLiteral("All datasets (%1)").arg(datasetCount), group);
    m_allDatasetsRadio->setObjectName(QStringLiteral("allDatasetsRadio"));
    m_allDatasetsRadio->setEnabled(datasetCount >= 2);
    box->addWidget(m_currentOnlyRadio);
    box->addWidget(m_allDatasetsRadio);
    connect(m_currentOnlyRadio, &QRadioButton::toggled, this,
            &StatSummaryExportDialog::onScopeChanged);
    layout()->addWidget(group);
}

void StatSummaryExportDialog::buildFeatureGroup(
    const DatasetEntry* current, const std::vector<std::unique_ptr<DatasetEntry>>& datasets) {
    const std::vector<std::string> own = scalarFeaturesOf(current);
    m_currentFeatures.insert(own.begin(), own.end());
    std::vector<std::vector<std::string>> others;
    for (const auto& entry : datasets)
        if (entry && entry.get() != current)
            others.push_back(scalarFeaturesOf(entry.get()));
    m_featureNames = statSummaryFeatureOrder(own, others);

    auto* group = new QGroupBox(QStringLiteral("Scalar Features"), this);
    auto* box = new QVBoxLayout(group);
    auto* selectAll = new QPushButton(QStringLiteral("Select All"), group);
    selectAll->setObjectName(QStringLiteral("selectAllButton"));
    auto* deselectAll = new QPushButton(QStringLiteral("Deselect All"), group);
    deselectAll->setObjectName(QStringLiteral("deselectAllButton"));
    connect(selectAll, &QPushButton::clicked, this, &StatSummaryExportDialog::onSelectAll);
    connect(deselectAll, &QPushButton::clicked, this, &StatSummaryExportDialog::onDeselectAll);
    box->addLayout(rowOf({selectAll, deselectAll}));

    auto* scroll = new QScrollArea(group);
    scroll->setMaximumHeight(200);
    scroll->setWidgetResizable(true);
    auto* content = new QWidget(scroll);
    auto* list = new QVBoxLayout(content);
    list->setSpacing(2);
    RTDCReader* reader = current ? current->reader.get() : nullptr;
    for (const std::string& name : m_featureNames) {
        const std::string label = reader ? reader->getFeatureLabel(name) : name;
        auto* check = new QCheckBox(QString::fromStdString(label) + QStringLiteral("  [") +
                                        QString::fromStdString(name) + QLatin1Char(']'),
                                    content);
        check->setObjectName(QStringLiteral("feature:") + QString::fromStdString(name));
        const bool available = m_currentFeatures.count(name) > 0;
        check->setChecked(available);
        if (!available) {
            QPalette palette = check->palette();
            palette.setColor(QPalette::WindowText, QColor(160, 160, 160));
            palette.setColor(QPalette::Text, QColor(160, 160, 160));
            check->setPalette(palette);
            check->setToolTip(
                QStringLiteral("Not available in current dataset (available in other datasets)"));
            check->setVisible(false);
        }
        list->addWidget(check);
        m_featureBoxes.push_back(check);
    }
    list->addStretch();
    scroll->setWidget(content);
    // Enough of the list in view to choose from without scrolling line by line.
    WindowUtil::keepListRowsInView(scroll, 6);
    box->addWidget(scroll);
    layout()->addWidget(group);
}

void StatSummaryExportDialog::buildStatisticsGroup() {
    auto* group = new QGroupBox(QStringLiteral("Statistics"), this);
    auto* box = new QVBoxLayout(group);
    m_nCheck = statisticBox(QStringLiteral("N"), "statN", true);
    m_medianCheck = statisticBox(QStringLiteral("Median"), "statMedian", true);
    m_iqrCheck = statisticBox(QStringLiteral("IQR"), "statIQR", true);
    m_q1Check = statisticBox(QStringLiteral("Q1 (25th)"), "statQ1", false);
    m_q3Check = statisticBox(QStringLiteral("Q3 (75th)"), "statQ3", false);
    m_percentileCheck = statisticBox(QStringLiteral("Percentile:"), "statPercentile", false);
    m_percentileSpin = new QDoubleSpinBox;
    m_percentileSpin->setObjectName(QStringLiteral("percentileSpin"));
    m_percentileSpin->setRange(0.0, 100.0);
    m_percentileSpin->setDecimals(1);
    m_percentileSpin->setSuffix(QStringLiteral("%"));
    m_percentileSpin->setValue(95.0);
    m_percentileSpin->setMaximumWidth(90);
    m_percentileSpin->setEnabled(false);
    connect(m_percentileCheck, &QCheckBox::toggled, m_percentileSpin, &QWidget::setEnabled);
    m_meanCheck = statisticBox(QStringLiteral("Mean"), "statMean", false);
    m_sdCheck = statisticBox(QStringLiteral("SD"), "statSD", false);
    m_semCheck = statisticBox(QStringLiteral("SEM"), "statSEM", false);
    m_cvCheck = statisticBox(QStringLiteral("CV (%)"), "statCV", false);
    m_minCheck = statisticBox(QStringLiteral("Min"), "statMin", false);
    m_maxCheck = statisticBox(QStringLiteral("Max"), "statMax", false);
    m_skewnessCheck = statisticBox(QStringLiteral("Skewness"), "statSkewness", false);
    box->addLayout(rowOf({m_nCheck}));
    box->addLayout(rowOf({m_medianCheck, m_iqrCheck}));
    box->addLayout(rowOf({m_q1Check, m_q3Check, m_percentileCheck, m_percentileSpin}));
    box->addLayout(rowOf({m_meanCheck, m_sdCheck, m_semCheck, m_cvCheck}));
    box->addLayout(rowOf({m_minCheck, m_maxCheck, m_skewnessCheck}));
    layout()->addWidget(group);
}

void StatSummaryExportDialog::buildOutputGroup(const DatasetEntry* current) {
    auto* group = new QGroupBox(QStringLiteral("Output File"), this);
    auto* row = new QHBoxLayout(group);
    m_outputEdit = new QLineEdit(group);
    m_outputEdit->setObjectName(QStringLiteral("outputPathEdit"));
    if (current)
        m_outputEdit->setText(QFileInfo(QString::fromStdString(current->filePath)).absolutePath() +
                              QStringLiteral("/statistical_summary.tsv"));
    auto* browse = new QPushButton(QStringLiteral("Browse..."), group);
    browse->setObjectName(QStringLiteral("browseButton"));
    connect(browse, &QPushButton::clicked, this, &StatSummaryExportDialog::onBrowse);
    row->addWidget(m_outputEdit, 1);
    row->addWidget(browse);
    layout()->addWidget(group);
}

void StatSummaryExportDialog::applyPrevious(const StatSummaryResult& previous) {
    if (previous.allDatasets && m_allDatasetsRadio->isEnabled())
        m_allDatasetsRadio->setChecked(true);
    else
        m_currentOnlyRadio->setChecked(true);
    const std::set<std::string> chosen(previous.features.begin(), previous.features.end());
    for (std::size_t i = 0; i < m_featureBoxes.size(); ++i)
        m_featureBoxes[i]->setChecked(chosen.count(m_featureNames[i]) > 0);
    m_nCheck->setChecked(previous.includeN);
    m_medianCheck->setChecked(previous.includeMedian);
    m_iqrCheck->setChecked(previous.includeIQR);
    m_meanCheck->setChecked(previous.includeMean);
    m_sdCheck->setChecked(previous.includeSD);
    m_semCheck->setChecked(previous.includeSEM);
    m_q1Check->setChecked(previous.includeQ1);
    m_q3Check->setChecked(previous.includeQ3);
    m_minCheck->setChecked(previous.includeMin);
    m_maxCheck->setChecked(previous.includeMax);
    m_cvCheck->setChecked(previous.includeCV);
    m_skewnessCheck->setChecked(previous.includeSkewness);
    m_percentileCheck->setChecked(previous.includePercentile);
    m_percentileSpin->setValue(previous.percentile);
    if (!previous.outputPath.empty())
        m_outputEdit->setText(QString::fromStdString(previous.outputPath));
}

void StatSummaryExportDialog::updateFeatureAppearance() {
    const bool all = m_allDatasetsRadio->isChecked();
    for (std::size_t i = 0; i < m_featureBoxes.size(); ++i)
        if (m_currentFeatures.count(m_featureNames[i]) == 0)
            m_featureBoxes[i]->setVisible(all);
}

void StatSummaryExportDialog::onScopeChanged() {
    updateFeatureAppearance();
}

void StatSummaryExportDialog::onSelectAll() {
    // Hidden boxes are features the chosen scope does not export from.
    for (QCheckBox* box : m_featureBoxes)
        if (!box->isHidden())
            box->setChecked(true);
}

void StatSummaryExportDialog::onDeselectAll() {
    for (QCheckBox* box : m_featureBoxes)
        box->setChecked(false);
}

void StatSummaryExportDialog::onBrowse() {
    const QString path = DialogProvider::current().getSaveFileName(
        this, QStringLiteral("Save Statistical Summary"), m_outputEdit->text(),
        QStringLiteral("TSV files (*.tsv);;All files (*)"));
    if (path.isEmpty())
        return;
    m_outputEdit->setText(path);
    m_browsedPath = path;
}

bool StatSummaryExportDialog::outputPickedThroughBrowse() const {
    return !m_browsedPath.isEmpty() && m_outputEdit->text() == m_browsedPath;
}

StatSummaryResult StatSummaryExportDialog::getResult() const {
    StatSummaryResult result;
    for (std::size_t i = 0; i < m_featureBoxes.size(); ++i)
        if (m_featureBoxes[i]->isChecked())
            result.features.push_back(m_featureNames[i]);
    result.allDatasets = m_allDatasetsRadio->isChecked();
    result.outputPath = m_outputEdit->text().toUtf8().toStdString();
    result.includeN = m_nCheck->isChecked();
    result.includeMedian = m_medianCheck->isChecked();
    result.includeIQR = m_iqrCheck->isChecked();
    result.includeMean = m_meanCheck->isChecked();
    result.includeSD = m_sdCheck->isChecked();
    result.includeSEM = m_semCheck->isChecked();
    result.includeQ1 = m_q1Check->isChecked();
    result.includeQ3 = m_q3Check->isChecked();
    result.includeMin = m_minCheck->isChecked();
    result.includeMax = m_maxCheck->isChecked();
    result.includeCV = m_cvCheck->isChecked();
    result.includeSkewness = m_skewnessCheck->isChecked();
    result.includePercentile = m_percentileCheck->isChecked();
    result.percentile = m_percentileSpin->value();
    return result;
}

} // namespace Quorvex3
