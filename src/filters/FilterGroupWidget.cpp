#include "filters/FilterGroupWidget.h"

#include "filters/FilterRuleWidget.h"
#include "filters/FilterWidgetStyle.h"
#include "filters/PolygonRuleWidget.h"
#include "filters/RuleEditorParts.h"
#include "util/WrapRowLayout.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QVBoxLayout>

#include <algorithm>

namespace Quorvex3 {

namespace {

QPushButton* makeAddButton(QWidget* parent, const QString& text, int minWidth, const QString& tip,
                           const char* objectName) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(objectName));
    button->setFixedHeight(16);
    button->setMinimumWidth(minWidth);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    button->setStyleSheet(
        QStringLiteral("QPushButton { padding: 2px 8px; min-height: 16px; min-width: %1px; }")
            .arg(minWidth));
    button->setToolTip(tip);
    return button;
}

} // namespace

FilterGroupWidget::FilterGroupWidget(int groupId, const std::vector<std::string>& features,
                                     RTDCReader* reader, QWidget* parent, Build when)
    : QGroupBox(parent), m_groupId(groupId), m_features(features), m_reader(reader) {
    if (when == Build::Now)
        build();
}

FilterGroupWidget::~FilterGroupWidget() = default;

void FilterGroupWidget::build() {
    if (isBuilt())
        return;
    buildLayout();
    setName(m_pendingName);
    m_enableBox->setChecked(m_pendingEnabled);
    m_propagateButton->setEnabled(m_multiDataset);
    updatePropagateButton();
    connectControls();
    const std::vector<FilterRule> rules = std::move(m_pendingRules);
    const std::vector<int> editing = std::move(m_pendingPolygonEdits);
    m_pendingRules.clear();
    m_pendingPolygonEdits.clear();
    m_pendingName.clear();
    setRules(rules);
    for (const int ruleIndex : editing)
        setPolygonEditChecked(ruleIndex, true);
    // Built inside a shown box, the controls would otherwise appear one
    // turn of the event loop later (the layout shows them queued).
    if (isVisible()) {
        for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (!child->isWindow() &&
                !(child->isHidden() && child->testAttribute(Qt::WA_WState_ExplicitShowHide)))
                child->show();
        }
    }
}

void FilterGroupWidget::buildLayout() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(4);

    m_enableBox = new QCheckBox(this);
    m_enableBox->setObjectName(QStringLiteral("groupEnableBox"));
    m_enableBox->setToolTip(tr("Enable this group for the active dataset"));
    m_nameEdit = new QLineEdit(this);
    m_nameEdit->setObjectName(QStringLiteral("nameEdit"));
    m_propagateButton = new QPushButton(this);
    m_propagateButton->setObjectName(QStringLiteral("propagateButton"));
    m_propagateButton->setFixedHeight(16);
    m_propagateButton->setStyleSheet(FilterWidgetStyle::plainButton());
    m_propagateButton->setToolTip(tr("Apply this group's enabled/disabled state to every dataset"));
    m_deleteButton = new QPushButton(QStringLiteral("\u00D7"), this);
    m_deleteButton->setObjectName(QStringLiteral("deleteButton"));
    m_deleteButton->setFixedSize(20, 24);
    m_deleteButton->setStyleSheet(FilterWidgetStyle::removeButton());
    m_deleteButton->setToolTip(tr("Delete this filter group"));
    // The name has the head row to itself (with the switch and "×"): beside
    // the wide propagate button it was squeezed to a few letters in a
    // narrow dock.
    auto* headRow = new QHBoxLayout;
    headRow->setSpacing(4);
    headRow->addWidget(m_enableBox);
    headRow->addWidget(m_nameEdit, 1);
    headRow->addWidget(m_deleteButton);
    layout->addLayout(headRow);

    m_addRuleButton = makeAddButton(this, tr("+ Rule"), 70, tr("Add a range rule to this group"),
                                    "addRuleButton");
    m_addPolygonButton = makeAddButton(
        this, tr("+ Polygon"), 90,
        tr("Draw a polygon gate on the scatter plot and add it to this group"), "addPolygonButton");
    // The group's buttons continue on a second line in a narrow dock.
    auto* addRow = new WrapRowLayout(4);
    addRow->setContentsMargins(20, 0, 0, 0);
    addRow->addWidget(m_addRuleButton);
    addRow->addWidget(m_addPolygonButton);
    addRow->addWidget(m_propagateButton);
    layout->addLayout(addRow);

    layout->addWidget(makeRuleSeparator(this));

    m_ruleLayout = new QVBoxLayout;
    m_ruleLayout->setContentsMargins(20, 0, 0, 0);
    m_ruleLayout->setSpacing(2);
    layout->addLayout(m_ruleLayout);
}

void FilterGroupWidget::connectControls() {
    connect(m_nameEdit, &QLineEdit::editingFinished, this,
            [this] { emit renameRequested(m_groupId, m_nameEdit->text()); });
    connect(m_nameEdit, &QLineEdit::textChanged, this, [this] { fitNameBox(); });
    connect(m_enableBox, &QCheckBox::toggled, this, [this](bool on) {
        updatePropagateButton();
        emit enableToggled(m_groupId, on);
    });
    connect(m_propagateButton, &QPushButton::clicked, this,
            [this] { emit enablePropagateRequested(m_groupId, m_enableBox->isChecked()); });
    connect(m_addRuleButton, &QPushButton::clicked, this,
            [this] { emit addRuleRequested(m_groupId); });
    connect(m_addPolygonButton, &QPushButton::clicked, this,
            [this] { emit addPolygonRequested(m_groupId); });
    connect(m_deleteButton, &QPushButton::clicked, this,
            [this] { emit deleteRequested(m_groupId); });
}

void FilterGroupWidget::setName(const QString& name) {
    if (!isBuilt()) {
        m_pendingName = name;
        return;
    }
    if (m_nameEdit->text() == name)
        return;
    const QSignalBlocker block(m_nameEdit);
    m_nameEdit->setText(name);
    fitNameBox();
}

void FilterGroupWidget::fitNameBox() {
    // Longer names may scroll rather than widen the dock without bound.
    constexpr int kLeast = 64;
    constexpr int kMost = 240;
    m_nameEdit->ensurePolished();
    QStyleOptionFrame panel;
    panel.initFrom(m_nameEdit);
    panel.rect = QRect(0, 0, kMost, m_nameEdit->sizeHint().height());
    panel.lineWidth =
        m_nameEdit->hasFrame()
            ? m_nameEdit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &panel, m_nameEdit)
            : 0;
    const QRect contents =
        m_nameEdit->style()->subElementRect(QStyle::SE_LineEditContents, &panel, m_nameEdit);
    const QMargins margins = m_nameEdit->textMargins();
    // QLineEdit keeps two pixels free on each side of its text.
    const int frame = kMost - contents.width() + margins.left() + margins.right() + 4;
    const int needed = m_nameEdit->fontMetrics().horizontalAdvance(m_nameEdit->text()) + frame;
    m_nameEdit->setMinimumWidth(std::clamp(needed, kLeast, kMost));
}

void FilterGroupWidget::setEnabledInDataset(bool on) {
    if (!isBuilt()) {
        m_pendingEnabled = on;
        return;
    }
    {
        const QSignalBlocker block(m_enableBox);
        m_enableBox->setChecked(on);
    }
    updatePropagateButton();
}

void FilterGroupWidget::setMultiDataset(bool on) {
    m_multiDataset = on;
    if (!isBuilt())
        return;
    m_propagateButton->setEnabled(on);
    updatePropagateButton();
}

void FilterGroupWidget::setEnabledDivergence(bool diverged) {
    if (diverged == m_enabledDiverges)
        return;
    m_enabledDiverges = diverged;
    updatePropagateButton();
}

void FilterGroupWidget::updatePropagateButton() {
    if (!isBuilt())
        return;
    m_propagateButton->setText(m_enableBox->isChecked() ? tr("Check in All Datasets")
                                                        : tr("Uncheck in All Datasets"));
    const QString style = (m_multiDataset && m_enabledDiverges)
                              ? FilterWidgetStyle::highlightedButton()
                              : FilterWidgetStyle::plainButton();
    if (m_propagateButton->styleSheet() != style)
        m_propagateButton->setStyleSheet(style);
}

void FilterGroupWidget::clearRuleWidgets() {
    m_pendingRules.clear();
    m_pendingPolygonEdits.clear();
    for (std::vector<QWidget*>* list : {&m_ruleWidgets, &m_separators}) {
        for (QWidget* widget : *list)
            discardEditor(m_ruleLayout, widget, this);
        list->clear();
    }
}

void FilterGroupWidget::setRules(const std::vector<FilterRule>& rules) {
    if (!isBuilt()) {
        m_pendingRules = rules;
        m_pendingPolygonEdits.clear();
        return;
    }
    clearRuleWidgets();
    if (!m_reader)
        return;
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const FilterRule& rule = rules[i];
        QWidget* widget = nullptr;
        if (rule.type == 1) {
            auto* polygon = new PolygonRuleWidget(m_reader, this);
            polygon->setRule(rule);
            widget = polygon;
        } else if (rule.type == 0) {
            auto* range = new FilterRuleWidget(m_features, m_reader, this);
            range->setRule(rule);
            widget = range;
        } else {
            continue;
        }
        connectRuleWidget(widget, static_cast<int>(i));
        if (!m_ruleWidgets.empty()) {
            QWidget* separator = makeRuleSeparator(this);
            m_ruleLayout->addWidget(separator);
            m_separators.push_back(separator);
        }
        m_ruleLayout->addWidget(widget);
        m_ruleWidgets.push_back(widget);
    }
}

// The index is fixed here: the group's editors are rebuilt after every
// structural change, so it stays the rule's position in the group.
void FilterGroupWidget::connectRuleWidget(QWidget* widget, int ruleIndex) {
    if (auto* range = qobject_cast<FilterRuleWidget*>(widget)) {
        range->setInGroup(true);
        connect(range, &FilterRuleWidget::ruleChanged, this, [this, range, ruleIndex] {
            emit ruleChanged(m_groupId, ruleIndex, range->getRule());
        });
        connect(range, &FilterRuleWidget::removeRequested, this,
                [this, ruleIndex] { emit ruleRemoved(m_groupId, ruleIndex); });
    } else if (auto* polygon = qobject_cast<PolygonRuleWidget*>(widget)) {
        polygon->setInGroup(true);
        connect(polygon, &PolygonRuleWidget::ruleChanged, this, [this, polygon, ruleIndex] {
            emit ruleChanged(m_groupId, ruleIndex, polygon->getRule());
        });
        connect(polygon, &PolygonRuleWidget::removeRequested, this,
                [this, ruleIndex] { emit ruleRemoved(m_groupId, ruleIndex); });
        connect(polygon, &PolygonRuleWidget::editToggled, this,
                [this, ruleIndex](bool on) { emit polygonEditToggled(m_groupId, ruleIndex, on); });
    }
}

void FilterGroupWidget::setPolygonEditChecked(int ruleIndex, bool on) {
    if (!isBuilt()) {
        m_pendingPolygonEdits.erase(
            std::remove(m_pendingPolygonEdits.begin(), m_pendingPolygonEdits.end(), ruleIndex),
            m_pendingPolygonEdits.end());
        if (on)
            m_pendingPolygonEdits.push_back(ruleIndex);
        return;
    }
    if (ruleIndex < 0 || ruleIndex >= static_cast<int>(m_ruleWidgets.size()))
        return;
    if (auto* polygon = qobject_cast<PolygonRuleWidget*>(m_ruleWidgets[ruleIndex]))
        polygon->setEditChecked(on);
}

void FilterGroupWidget::refreshAvailableFeatures(const std::vector<std::string>& features) {
    m_features = features;
    for (QWidget* widget : m_ruleWidgets) {
        if (auto* range = qobject_cast<FilterRuleWidget*>(widget))
            range->refreshAvailableFeatures(features);
    }
}

} // namespace Quorvex3
