#include "filters/RuleEditorWidget.h"

#include "filters/RuleEditorParts.h"

#include <QCheckBox>
#include <QLayout>
#include <QPushButton>
#include <QSignalBlocker>

namespace Quorvex3 {

RuleEditorWidget::RuleEditorWidget(RTDCReader* reader, QWidget* parent)
    : QWidget(parent), m_reader(reader) {}

RuleEditorWidget::~RuleEditorWidget() = default;

void RuleEditorWidget::createEnableBox() {
    m_enableBox = new QCheckBox(this);
    m_enableBox->setObjectName(QStringLiteral("enableBox"));
    m_enableBox->setChecked(true);
}

void RuleEditorWidget::createInvertBox() {
    m_invertBox = makeInvertBox(this);
}

void RuleEditorWidget::createRemoveButton() {
    m_removeButton = makeRemoveButton(this);
}

QLayout* RuleEditorWidget::createPropagationRow() {
    PropagationButtons buttons;
    QLayout* row = buildPropagationRow(this, buttons);
    m_applyButton = buttons.apply;
    m_updateButton = buttons.update;
    m_checkStateButton = buttons.checkState;
    m_deleteAllButton = buttons.deleteAll;
    return row;
}

void RuleEditorWidget::connectSharedControls() {
    connect(m_enableBox, &QCheckBox::toggled, this, &RuleEditorWidget::ruleChanged);
    connect(m_invertBox, &QCheckBox::toggled, this, &RuleEditorWidget::ruleChanged);
    connect(m_removeButton, &QPushButton::clicked, this, &RuleEditorWidget::removeRequested);
    connect(m_applyButton, &QPushButton::clicked, this, &RuleEditorWidget::applyRuleToAllRequested);
    connect(m_updateButton, &QPushButton::clicked, this,
            &RuleEditorWidget::updateRuleToAllRequested);
    connect(m_checkStateButton, &QPushButton::clicked, this,
            &RuleEditorWidget::onUncheckCheckClicked);
    connect(m_deleteAllButton, &QPushButton::clicked, this,
            &RuleEditorWidget::deleteRuleFromAllRequested);
    connect(m_enableBox, &QCheckBox::toggled, this, &RuleEditorWidget::updatePropagationButtons);
}

void RuleEditorWidget::onUncheckCheckClicked() {
    if (m_enableBox->isChecked())
        emit checkRuleInAllRequested();
    else
        emit uncheckRuleInAllRequested();
}

void RuleEditorWidget::setPropagationId(const std::string& id) {
    m_propagationId = id;
    updatePropagationButtons();
}

std::string RuleEditorWidget::propagationId() const {
    return m_propagationId;
}

void RuleEditorWidget::setInGroup(bool on) {
    if (on == m_inGroup)
        return;
    m_inGroup = on;
    m_enableBox->setVisible(!on);
    if (on) {
        const QSignalBlocker block(m_enableBox);
        m_enableBox->setChecked(true);
    }
    updatePropagationButtons();
}

void RuleEditorWidget::setMultiDataset(bool on) {
    m_multiDataset = on;
    updatePropagationButtons();
}

void RuleEditorWidget::setPropagationDivergence(bool contentDiffers, bool enabledDiffers) {
    if (contentDiffers == m_contentDiverges && enabledDiffers == m_enabledDiverges)
        return;
    m_contentDiverges = contentDiffers;
    m_enabledDiverges = enabledDiffers;
    updatePropagationButtons();
}

void RuleEditorWidget::setEnableChecked(bool checked) {
    {
        const QSignalBlocker block(m_enableBox);
        m_enableBox->setChecked(checked);
    }
    updatePropagationButtons();
}

void RuleEditorWidget::updatePropagationButtons() {
    PropagationState state;
    state.inGroup = m_inGroup;
    state.hasId = !m_propagationId.empty();
    state.multiDataset = m_multiDataset;
    state.contentDiffers = m_contentDiverges;
    state.enabledDiffers = m_enabledDiverges;
    state.enableChecked = m_enableBox->isChecked();
    refreshPropagationButtons(
        {m_applyButton, m_updateButton, m_checkStateButton, m_deleteAllButton}, state);
}

} // namespace Quorvex3
