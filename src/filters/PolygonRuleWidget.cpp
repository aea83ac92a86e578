#include "filters/PolygonRuleWidget.h"

#include "core/RTDCReader.h"

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
    : RuleEditorWidget(reader, parent) {
    buildLayout();
    connectControls();
}

PolygonRuleWidget::~PolygonRuleWidget() = default;

void PolygonRuleWidget::buildLayout() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(2);

    createEnableBox();
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
    createRemoveButton();
    auto* headRow = new QHBoxLayout;
    headRow->setContentsMargins(0, 0, 0, 0);
    headRow->addWidget(m_enableBox);
    headRow->addWidget(thumbnail, 0, Qt::AlignVCenter);
    headRow->addWidget(m_featuresLabel, 1);
    headRow->addWidget(m_pointsLabel, 0, Qt::AlignVCenter);
    headRow->addWidget(m_removeButton);
    layout->addLayout(headRow);

    createInvertBox();
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

    layout->addLayout(createPropagationRow());
}

void PolygonRuleWidget::connectControls() {
    connectSharedControls();
    connect(m_editButton, &QPushButton::toggled, this, &PolygonRuleWidget::editToggled);
}

FilterRule PolygonRuleWidget::getRule() const {
    FilterRule rule = m_rule;
    rule.enabled = m_inGroup ? true : m_enableBox->isChecked();
    rule.inverted = m_invertBox->isChecked();
    rule.propagationId = propagationId();
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
    setPropagationId(rule.propagationId);
}

void PolygonRuleWidget::setEditChecked(bool checked) {
    const QSignalBlocker block(m_editButton);
    m_editButton->setChecked(checked);
}

} // namespace Quorvex3
