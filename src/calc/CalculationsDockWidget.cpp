#include "calc/CalculationsDockWidget.h"

#include "core/RTDCReader.h"
#include "model/DatasetEntry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QVBoxLayout>

#include <algorithm>

namespace Quorvex3 {

CalculationsDockWidget::CalculationsDockWidget(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);

    auto* notice = new QLabel(tr("Derived-feature computations are not available yet."), this);
    notice->setWordWrap(true);
    notice->setStyleSheet(QStringLiteral("color: gray;"));
    layout->addWidget(notice);
    layout->addStretch(1);

    auto addCheck = [this](QCheckBox*& box, const char* name, bool checked) {
        box = new QCheckBox(this);
        box->setObjectName(QString::fromLatin1(name));
        box->setChecked(checked);
        box->hide();
    };
    addCheck(m_refineAll, "refineAll", false);
    addCheck(m_compensateAll, "compensateAll", false);
    addCheck(m_fourierAll, "fourierAll", false);
    addCheck(m_imageFeaturesAll, "imageFeaturesAll", false);
    addCheck(m_emodulusAll, "emodulusAll", false);
    addCheck(m_useFilteredData, "emodUseFilteredData", true);
    addCheck(m_dimRedCluster, "dimRedCluster", false);
    auto addCombo = [this](QComboBox*& combo, const char* name, const QStringList& items) {
        combo = new QComboBox(this);
        combo->setObjectName(QString::fromLatin1(name));
        for (int i = 0; i < items.size(); ++i)
            combo->addItem(items[i], i);
        combo->hide();
    };
    addCombo(m_dimRedMethod, "dimRedMethod", {QStringLiteral("PCA"), QStringLiteral("UMAP")});
    addCombo(m_dimRedFitScope, "dimRedFitScope",
             {QStringLiteral("This dataset"), QStringLiteral("All datasets (pooled)"),
              QStringLiteral("Use reference")});
    addCombo(m_dimRedApplyScope, "dimRedApplyScope",
             {QStringLiteral("This dataset"), QStringLiteral("All datasets")});
    m_featureList = new QListWidget(this);
    m_featureList->setObjectName(QStringLiteral("dimRedFeatureList"));
    m_featureList->hide();
    m_referenceInfo = new QLabel(this);
    m_referenceInfo->setObjectName(QStringLiteral("dimRedReferenceInfo"));
    m_referenceInfo->hide();

    m_progressBar = new QProgressBar(this);
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_progressBar->setTextVisible(true);
    m_progressBar->hide();
    layout->addWidget(m_progressBar);
}

CalculationsDockWidget::~CalculationsDockWidget() = default;

void CalculationsDockWidget::setActiveDataset(DatasetEntry*) {}
void CalculationsDockWidget::setExpertMode(bool on) {
    m_expertMode = on;
}
void CalculationsDockWidget::setRefineEnabled(bool) {}
void CalculationsDockWidget::setCompensationVisible(bool) {}
void CalculationsDockWidget::setEmodulusEnabled(bool) {}
void CalculationsDockWidget::setAssessQualityVisible(bool) {}
void CalculationsDockWidget::setFourierEnabled(bool) {}
void CalculationsDockWidget::setImageFeaturesEnabled(bool) {}

void CalculationsDockWidget::buildSpilloverTable(const std::vector<int>& channels) {
    m_spilloverSize = channels.size();
}

void CalculationsDockWidget::restoreSpilloverMatrix(const arma::Mat<double>&,
                                                    const std::vector<int>&) {}

void CalculationsDockWidget::populateEmodulusDefaults(const RTDCMetadata&, bool) {}

EModParams CalculationsDockWidget::buildParamsForDataset(const RTDCMetadata&, bool) const {
    return EModParams{};
}

void CalculationsDockWidget::refreshDimRedFeatures(const DatasetEntry* entry) {
    // Keeps the check marks of names that are still offered.
    std::vector<std::string> checked = selectedDimRedFeatures();
    m_featureList->clear();
    if (!entry || !entry->reader)
        return;
    for (const std::string& name : entry->reader->getAvailableFeatures()) {
        if (!RTDCReader::isScalarFeature(name))
            continue;
        auto* item = new QListWidgetItem(QString::fromStdString(name), m_featureList);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        const bool on = std::find(checked.begin(), checked.end(), name) != checked.end();
        item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
}

bool CalculationsDockWidget::isRefineAllChecked() const { return m_refineAll->isChecked(); }
bool CalculationsDockWidget::isCompensateAllChecked() const { return m_compensateAll->isChecked(); }
bool CalculationsDockWidget::isFourierAllChecked() const { return m_fourierAll->isChecked(); }
bool CalculationsDockWidget::isImageFeaturesAllChecked() const {
    return m_imageFeaturesAll->isChecked();
}
bool CalculationsDockWidget::isEmodulusAllChecked() const { return m_emodulusAll->isChecked(); }
bool CalculationsDockWidget::isUseFilteredDataChecked() const {
    return m_useFilteredData->isChecked();
}

FLRefineSettings CalculationsDockWidget::readRefineSettings() const {
    return FLRefineSettings{};
}

arma::Mat<double> CalculationsDockWidget::readSpilloverMatrix() const {
    return arma::eye<arma::Mat<double>>(m_spilloverSize, m_spilloverSize);
}

EModParams CalculationsDockWidget::readEmodulusParams() const {
    EModParams params;
    params.deformFeature = selectedDeformFeature();
    return params;
}

std::string CalculationsDockWidget::selectedDeformFeature() const { return "deform"; }
int CalculationsDockWidget::dimRedMethod() const { return m_dimRedMethod->currentData().toInt(); }
int CalculationsDockWidget::dimRedFitScope() const {
    return m_dimRedFitScope->currentData().toInt();
}
int CalculationsDockWidget::dimRedApplyScope() const {
    return m_dimRedApplyScope->currentData().toInt();
}
bool CalculationsDockWidget::dimRedClusterEnabled() const { return m_dimRedCluster->isChecked(); }
int CalculationsDockWidget::dimRedClusterMinPts() const { return 10; }
bool CalculationsDockWidget::dimRedClusterEpsAuto() const { return true; }
double CalculationsDockWidget::dimRedClusterEps() const { return 0.0; }
UmapParams CalculationsDockWidget::umapParams() const { return UmapParams{}; }

std::vector<std::string> CalculationsDockWidget::selectedDimRedFeatures() const {
    std::vector<std::string> out;
    for (int i = 0; i < m_featureList->count(); ++i)
        if (m_featureList->item(i)->checkState() == Qt::Checked)
            out.push_back(m_featureList->item(i)->text().toStdString());
    return out;
}

void CalculationsDockWidget::setCompensateEnabled(bool) {}

void CalculationsDockWidget::setDimRedBusy(bool busy) {
    m_dimRedBusy = busy;
    m_featureList->setEnabled(!busy);
}

void CalculationsDockWidget::setDimRedReferenceInfo(const QString& text, bool) {
    m_referenceInfo->setText(text.isEmpty() ? QStringLiteral("No reference fitted or loaded yet.")
                                            : text);
}

void CalculationsDockWidget::updateDeformSources(bool, bool, bool) {}

} // namespace Quorvex3
