#include "filters/FilterDockWidget.h"

#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace Quorvex3 {

FilterDockWidget::FilterDockWidget(QWidget* parent) : QWidget(parent) {
    auto* outer = new QVBoxLayout(this);
    m_filterBox = new QGroupBox(tr("Active Dataset Filter"), this);
    m_filterBox->setEnabled(false);
    auto* boxLayout = new QVBoxLayout(m_filterBox);
    auto* notice = new QLabel(tr("Filter editing is not available yet."), m_filterBox);
    notice->setWordWrap(true);
    boxLayout->addWidget(notice);
    boxLayout->addStretch(1);
    m_statusLabel = new QLabel(tr("No filter active"), m_filterBox);
    m_statusLabel->setStyleSheet(QStringLiteral("QLabel { padding: 3px; color: #606468; font-style: italic; }"));
    boxLayout->addWidget(m_statusLabel);
    outer->addWidget(m_filterBox, 1);
}

FilterDockWidget::~FilterDockWidget() = default;

void FilterDockWidget::setActiveDataset(DatasetEntry* entry) {
    m_activeDataset = entry;
    m_filterBox->setEnabled(entry != nullptr);
}

void FilterDockWidget::rebuildFromDataset() {}

std::vector<std::string> FilterDockWidget::getScalarFeatures() const { return {}; }

void FilterDockWidget::syncToDataset() {}
void FilterDockWidget::removeRuleWidget(QWidget*) {}
void FilterDockWidget::removeRuleAt(int) {}
void FilterDockWidget::setRuleEnabled(int, bool) {}
void FilterDockWidget::setRuleDivergence(int, bool, bool) {}
void FilterDockWidget::updateRuleWidgetPropagationId(int, const std::string&) {}
void FilterDockWidget::clearRuleWidgets() {}
void FilterDockWidget::updateStats(std::size_t, std::size_t) {}

void FilterDockWidget::setDatasetCount(int count) { m_datasetCount = count; }

void FilterDockWidget::setEnabledStateDivergence(bool) {}
void FilterDockWidget::setCombineModeDivergence(bool) {}
void FilterDockWidget::setPolygonEditing(int, bool) {}
void FilterDockWidget::setPolygonDrawing(bool) {}
void FilterDockWidget::refreshFilterGroups(const std::vector<FilterGroup*>&, RTDCReader*) {}
void FilterDockWidget::setGroupEnabledDivergence(int, bool) {}
void FilterDockWidget::setGroupPolygonEditChecked(int, int, bool) {}
void FilterDockWidget::refreshFeatureLists() {}

} // namespace Quorvex3
