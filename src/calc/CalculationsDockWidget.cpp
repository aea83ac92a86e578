#include "calc/CalculationsDockWidget.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace Quorvex3 {

CalculationsDockWidget::CalculationsDockWidget(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);

    auto* notice = new QLabel(tr("Derived-feature computations are not available yet."), this);
    notice->setWordWrap(true);
    notice->setStyleSheet(QStringLiteral("color: gray;"));
    layout->addWidget(notice);
    layout->addStretch(1);

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

void CalculationsDockWidget::buildSpilloverTable(const std::vector<int>&) {}

void CalculationsDockWidget::restoreSpilloverMatrix(const arma::Mat<double>&,
                                                    const std::vector<int>&) {}

void CalculationsDockWidget::populateEmodulusDefaults(const RTDCMetadata&, bool) {}

EModParams CalculationsDockWidget::buildParamsForDataset(const RTDCMetadata&, bool) const {
    return EModParams{};
}

void CalculationsDockWidget::refreshDimRedFeatures(const DatasetEntry*) {}

void CalculationsDockWidget::updateDeformSources(bool, bool, bool) {}

} // namespace Quorvex3
