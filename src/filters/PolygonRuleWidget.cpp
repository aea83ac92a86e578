#include "filters/PolygonRuleWidget.h"

#include "core/RTDCReader.h"
#include "filters/RuleEditorParts.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPen>
#include <QPixmap>
#include <QPolygonF>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <cmath>

namespace Quorvex3 {

namespace {

constexpr int kThumbnailSize = 32;

// The same small gate icon for every polygon rule, drawn at the screen's
// pixel density.
QPixmap polygonThumbnail(qreal ratio) {
    const int pixels = static_cast<int>(std::trunc(kThumbnailSize * ratio));
    QPixmap pixmap(pixels, pixels);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);

    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(QStringLiteral("#a6d7d5")));
    painter.setPen(
        QPen(QColor(QStringLiteral("#00abad")), 1.4, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    const QPolygonF outline({QPointF(2.56, 12.8), QPointF(9.6, 3.84), QPointF(19.84, 1.6),
                             QPointF(29.44, 8.96), QPointF(22.4, 15.36), QPointF(30.4, 24.96),
                             QPointF(17.6, 29.44), QPointF(5.76, 23.04)});
    painter.drawPolygon(outline, Qt::OddEvenFill);
    return pixmap;
}

} // namespace

PolygonRuleWidget::PolygonRuleWidget(RTDCReader* reader, QWidget* parent)
    : QWidget(parent), m_reader(reader) {
    buildLayout();
    connectControls();
}

PolygonRuleWidget::~PolygonRuleWidget() = default;

void PolygonRuleWidget::buildLayout() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(2);

    m_enableBox = new QCheckBox(this);
    m_enableBox->setObjectName(QStringLiteral("enableBox"));
    m_enableBox->setChecked(true);
    auto* thumbnail = new QLabel(this);
    thumbnail->setObjectName(QStringLiteral("thumbnailLabel"));
    thumbnail->setFixedSize(kThumbnailSize, kThumbnailSize);
    thumbnail->setAlignment(Qt::AlignCenter);
    thumbnail->setToolTip(tr("Polygon gate"));
    thumbnail->setPixmap(polygonThumbnail(devicePixelRatioF()));
    m_featuresLabel = new QLabel(this);
    m_featuresLabel->setObjectName(QStringLiteral("featuresLabel"));
    m_featuresLabel->setWordWrap(true);
    m_pointsLabel = new QLabel(this);
    m_pointsLabel->setObjectName(QStringLiteral("pointsLabel"));
    m_pointsLabel->setStyleSheet(QStringLiteral("color: #787c82;"));
    m_removeButton = makeRemoveButton(this);
    auto* headRow = new QHBoxLayout;
    headRow->setContentsMargins(0, 0, 0, 0);
    headRow->addWidget(m_enableBox);
    headRow->addWidget(thumbnail, 0, Qt::AlignVCenter);
    headRow->addWidget(m_featuresLabel, 1);
    headRow->addWidget(m_pointsLabel, 0, Qt::AlignVCenter);
    headRow->addWidget(m_removeButton);
    layout->addLayout(headRow);

    m_invertBox = makeInvertBox(this);
    m_editButton = new QPushButton(tr("Edit"), this);
    m_editButton->setObjectName(QStringLiteral("editButton"));
    m_editButton->setCheckable(true);
    m_editButton->setFixedHeight(16);
    m_editButton->setStyleSheet(
        QStringLiteral("QPushButton { padding: 2px 8px; min-height: 16px; }"
                       "QPushButton:checked { background-color: #a6d7d5; color: #00abad; "
                       "border: 1px solid #00abad; }"));
    m_editButton->setToolTip(tr("Edit polygon: drag vertices to reshape, left-click on an edge "
                                "to add a vertex, right-click a vertex to delete. Press Esc or "
                                "click Edit again to finish."));
    auto* editRow = new QHBoxLayout;
    editRow->setContentsMargins(20, 0, 0, 0);
    editRow->setSpacing(8);
    editRow->addWidget(m_invertBox);
    editRow->addStretch();
    editRow->addWidget(m_editButton);
    layout->addLayout(editRow);

    PropagationButtons buttons;
    layout->addLayout(buildPropagationRow(this, buttons));
    m_applyButton = buttons.apply;
    m_updateButton = buttons.update;
    m_checkStateButton = buttons.checkState;
    m_deleteAllButton = buttons.deleteAll;
}

void PolygonRuleWidget::connectControls() {
    connect(m_enableBox, &QCheckBox::toggled, this, &PolygonRuleWidget::ruleChanged);
    connect(m_invertBox, &QCheckBox::toggled, this, &PolygonRuleWidget::ruleChanged);
    connect(m_removeButton, &QPushButton::clicked, this, &PolygonRuleWidget::removeRequested);
    connect(m_applyButton, &QPushButton::clicked, this,
            &PolygonRuleWidget::applyRuleToAllRequested);
    connect(m_updateButton, &QPushButton::clicked, this,
            &PolygonRuleWidget::updateRuleToAllRequested);
    connect(m_checkStateButton, &QPushButton::clicked, this,
            &PolygonRuleWidget::onUncheckCheckClicked);
    connect(m_deleteAllButton, &QPushButton::clicked, this,
            &PolygonRuleWidget::deleteRuleFromAllRequested);
    connect(m_enableBox, &QCheckBox::toggled, this, &PolygonRuleWidget::updatePropagationButtons);
    connect(m_editButton, &QPushButton::toggled, this, &PolygonRuleWidget::editToggled);
}

void PolygonRuleWidget::onUncheckCheckClicked() {
    if (m_enableBox->isChecked())
        emit checkRuleInAllRequested();
    else
        emit uncheckRuleInAllRequested();
}

FilterRule PolygonRuleWidget::getRule() const {
    FilterRule rule = m_rule;
    rule.enabled = m_inGroup ? true : m_enableBox->isChecked();
    rule.inverted = m_invertBox->isChecked();
    return rule;
}

void PolygonRuleWidget::setRule(const FilterRule& rule) {
    m_rule = rule;
    {
        const QSignalBlocker block(m_enableBox);
        m_enableBox->setChecked(rule.enabled);
    }
    {
        const QSignalBlocker block(m_invertBox);
        m_invertBox->setChecked(rule.inverted);
    }
    QString xText = QString::fromStdString(rule.featureName);
    QString yText = QString::fromStdString(rule.featureNameY);
    bool available = false;
    if (m_reader) {
        xText = QString::fromStdString(m_reader->getFeatureLabel(rule.featureName));
        yText = QString::fromStdString(m_reader->getFeatureLabel(rule.featureNameY));
        available =
            m_reader->hasFeature(rule.featureName) && m_reader->hasFeature(rule.featureNameY);
    }
    m_unavailable = !available;
    QString text = xText + QStringLiteral(" vs ") + yText;
    if (!available)
        text += QStringLiteral(" (n/a)");
    m_featuresLabel->setText(text);
    m_pointsLabel->setText(tr("(%1 pts)").arg(rule.polygonVertices.size()));
    // Edit and Invert stay usable: the polygon itself is still there.
    m_enableBox->setEnabled(available);
    updatePropagationButtons();
}

void PolygonRuleWidget::setPropagationId(const std::string& id) {
    m_rule.propagationId = id;
    updatePropagationButtons();
}

std::string PolygonRuleWidget::propagationId() const {
    return m_rule.propagationId;
}

void PolygonRuleWidget::setInGroup(bool on) {
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

void PolygonRuleWidget::setMultiDataset(bool on) {
    m_multiDataset = on;
    updatePropagationButtons();
}

void PolygonRuleWidget::setPropagationDivergence(bool contentDiffers, bool enabledDiffers) {
    if (contentDiffers == m_contentDiverges && enabledDiffers == m_enabledDiverges)
        return;
    m_contentDiverges = contentDiffers;
    m_enabledDiverges = enabledDiffers;
    updatePropagationButtons();
}

void PolygonRuleWidget::setEnableChecked(bool checked) {
    {
        const QSignalBlocker block(m_enableBox);
        m_enableBox->setChecked(checked);
    }
    updatePropagationButtons();
}

void PolygonRuleWidget::setEditChecked(bool checked) {
    const QSignalBlocker block(m_editButton);
    m_editButton->setChecked(checked);
}

void PolygonRuleWidget::updatePropagationButtons() {
    PropagationState state;
    state.inGroup = m_inGroup;
    state.hasId = !m_rule.propagationId.empty();
    state.multiDataset = m_multiDataset;
    state.contentDiffers = m_contentDiverges;
    state.enabledDiffers = m_enabledDiverges;
    state.enableChecked = m_enableBox->isChecked();
    refreshPropagationButtons(
        {m_applyButton, m_updateButton, m_checkStateButton, m_deleteAllButton}, state);
}

} // namespace Quorvex3
