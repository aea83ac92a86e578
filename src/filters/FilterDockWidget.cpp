#include "filters/FilterDockWidget.h"

#include "core/EventFilter.h"
#include "core/RTDCReader.h"
#include "filters/FilterGroupWidget.h"
#include "filters/FilterRuleWidget.h"
#include "filters/FilterWidgetStyle.h"
#include "filters/PolygonRuleWidget.h"
#include "filters/RuleEditorParts.h"
#include "model/DatasetEntry.h"
#include "model/FilterGroup.h"
#include "util/WrapRowLayout.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

namespace Quorvex3 {

namespace {

QPushButton* makePlainButton(QWidget* parent, const char* objectName) {
    auto* button = new QPushButton(parent);
    button->setObjectName(QLatin1String(objectName));
    button->setStyleSheet(FilterWidgetStyle::plainButton());
    return button;
}

// Re-polishing is not free, and the for-all buttons are refreshed after
// every plot update.
void setButtonStyle(QPushButton* button, const QString& style) {
    if (button->styleSheet() != style)
        button->setStyleSheet(style);
}

} // namespace

FilterDockWidget::FilterDockWidget(QWidget* parent) : QWidget(parent) {
    buildLayout();
}

FilterDockWidget::~FilterDockWidget() = default;

void FilterDockWidget::buildLayout() {
    auto* outer = new QVBoxLayout(this);
    m_filterBox = new QGroupBox(tr("Active Dataset Filter"), this);
    m_filterBox->setObjectName(QStringLiteral("dockFilterBox"));
    m_filterBox->setEnabled(false);
    auto* boxLayout = new QVBoxLayout(m_filterBox);
    buildToggleRows(boxLayout);
    boxLayout->addWidget(buildScrollArea(), 1);
    boxLayout->addLayout(buildButtonRow());

    m_statusLabel = new QLabel(tr("No filter active"), m_filterBox);
    m_statusLabel->setObjectName(QStringLiteral("dockStatusLabel"));
    m_statusLabel->setStyleSheet(
        QStringLiteral("QLabel { padding: 3px; color: #606468; font-style: italic; }"));
    boxLayout->addWidget(m_statusLabel);
    outer->addWidget(m_filterBox, 1);
}

void FilterDockWidget::buildToggleRows(QVBoxLayout* boxLayout) {
    m_enableBox = new QCheckBox(tr("Filtering Enabled"), m_filterBox);
    m_enableBox->setObjectName(QStringLiteral("dockEnableBox"));
    m_enableBox->setChecked(true);
    m_enabledForAllButton = makePlainButton(m_filterBox, "dockEnabledForAllButton");
    m_enabledForAllButton->setToolTip(
        tr("Apply this dataset's filter-enabled state to every loaded dataset."));

    m_showExcludedBox = new QCheckBox(tr("Show Excluded Events"), m_filterBox);
    m_showExcludedBox->setObjectName(QStringLiteral("dockShowExcludedBox"));
    m_showExcludedBox->setToolTip(
        tr("Invert the filter result so the events the rules normally reject are shown "
           "instead."));
    m_combineForAllButton = makePlainButton(m_filterBox, "dockCombineForAllButton");
    m_combineForAllButton->setToolTip(
        tr("Apply this dataset's inversion state to every loaded dataset."));

    // On a narrow dock a for-all button goes below its box rather than
    // widening the panel past the screen.
    auto* enableRow = new WrapRowLayout;
    enableRow->addWidget(m_enableBox);
    enableRow->addWidget(m_enabledForAllButton);
    auto* combineRow = new WrapRowLayout;
    combineRow->addWidget(m_showExcludedBox);
    combineRow->addWidget(m_combineForAllButton);
    boxLayout->addLayout(enableRow);
    boxLayout->addLayout(combineRow);

    connect(m_enableBox, &QCheckBox::toggled, this, &FilterDockWidget::onEnableToggled);
    connect(m_showExcludedBox, &QCheckBox::toggled, this, &FilterDockWidget::onShowExcludedToggled);
    connect(m_enabledForAllButton, &QPushButton::clicked, this,
            &FilterDockWidget::onEnabledForAllClicked);
    connect(m_combineForAllButton, &QPushButton::clicked, this,
            &FilterDockWidget::onCombineForAllClicked);
}

// All rules come first, all groups below them.
QScrollArea* FilterDockWidget::buildScrollArea() {
    m_scrollArea = new QScrollArea(m_filterBox);
    m_scrollArea->setObjectName(QStringLiteral("dockScrollArea"));
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setMinimumHeight(100);
    m_content = new QWidget(m_scrollArea);
    auto* contentLayout = new QVBoxLayout(m_content);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->setSpacing(4);
    m_ruleLayout = new QVBoxLayout;
    m_ruleLayout->setContentsMargins(0, 0, 0, 0);
    m_ruleLayout->setSpacing(2);
    m_groupContainer = new QWidget(m_content);
    m_groupContainer->hide(); // no groups yet
    contentLayout->addLayout(m_ruleLayout);
    contentLayout->addWidget(m_groupContainer);
    contentLayout->addStretch();
    m_scrollArea->setWidget(m_content);
    // Empty group boxes scrolled into view are built before they are painted.
    connect(m_scrollArea->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &FilterDockWidget::buildVisibleGroups);
    m_scrollArea->viewport()->installEventFilter(this);
    return m_scrollArea;
}

QLayout* FilterDockWidget::buildButtonRow() {
    m_addRuleButton = new QPushButton(tr("+ Rule"), m_filterBox);
    m_addRuleButton->setObjectName(QStringLiteral("dockAddRuleButton"));
    m_addRuleButton->setToolTip(tr("Add a range rule to this dataset's filter"));

    m_addPolygonButton = new QPushButton(tr("+ Polygon"), m_filterBox);
    m_addPolygonButton->setObjectName(QStringLiteral("dockAddPolygonButton"));
    m_addPolygonButton->setCheckable(true);
    m_addPolygonButton->setStyleSheet(
        QStringLiteral("QPushButton:checked { background-color: #a6d7d5; color: #00abad; "
                       "border: 1px solid #00abad; }"));
    m_addPolygonButton->setToolTip(
        tr("Click in the plot to place polygon vertices. Double-click to close the polygon, "
           "or press Esc to cancel."));

    m_addGroupButton = new QPushButton(tr("+ Group"), m_filterBox);
    m_addGroupButton->setObjectName(QStringLiteral("dockAddGroupButton"));
    m_addGroupButton->setToolTip(
        tr("Add a filter group whose rules are shared across all datasets, with per-dataset "
           "on/off toggles."));

    auto* row = new QHBoxLayout;
    row->addWidget(m_addRuleButton);
    row->addWidget(m_addPolygonButton);
    row->addWidget(m_addGroupButton);
    row->addStretch();
    row->addWidget(buildMenuButton());

    connect(m_addRuleButton, &QPushButton::clicked, this, &FilterDockWidget::onAddRule);
    connect(m_addPolygonButton, &QPushButton::toggled, this,
            &FilterDockWidget::onAddPolygonToggled);
    connect(m_addGroupButton, &QPushButton::clicked, this,
            &FilterDockWidget::addFilterGroupRequested);
    return row;
}

QPushButton* FilterDockWidget::buildMenuButton() {
    auto* button = new QPushButton(QStringLiteral("\u22EE"), m_filterBox);
    button->setObjectName(QStringLiteral("dockMoreButton"));
    button->setToolTip(tr("More filter actions"));
    button->setStyleSheet(
        QStringLiteral("QPushButton::menu-indicator { image: none; subcontrol-origin: padding; "
                       "subcontrol-position: right center; width: 0; }"));

    auto* menu = new QMenu(button);
    menu->setToolTipsVisible(true);
    QAction* applyAll = menu->addAction(tr("Apply Filter to All Datasets"));
    applyAll->setToolTip(tr("Copy this dataset's enabled state, combine mode, and rules onto "
                            "every other dataset (overwrites their existing rules)."));
    menu->addSeparator();
    QMenu* import = menu->addMenu(tr("Import Measurement Filters"));
    import->setToolTipsVisible(true);
    QAction* importActive = import->addAction(tr("For Active Dataset"));
    importActive->setToolTip(tr("Import online filter settings from HDF5 metadata (soft limits "
                                "only)"));
    QAction* importAll = import->addAction(tr("For All Datasets"));
    importAll->setToolTip(tr("Import online filter settings into every loaded dataset"));
    menu->addSeparator();
    QAction* importGroups = menu->addAction(tr("Import Filter Groups\u2026"));
    QAction* exportGroups = menu->addAction(tr("Export Filter Groups\u2026"));
    button->setMenu(menu);

    connect(applyAll, &QAction::triggered, this, &FilterDockWidget::applyToAllRequested);
    connect(importActive, &QAction::triggered, this,
            [this] { emit importMeasurementFiltersRequested(false); });
    connect(importAll, &QAction::triggered, this,
            [this] { emit importMeasurementFiltersRequested(true); });
    connect(importGroups, &QAction::triggered, this, &FilterDockWidget::importGroupsRequested);
    connect(exportGroups, &QAction::triggered, this, &FilterDockWidget::exportGroupsRequested);
    return button;
}

// --- Own reactions -----------------------------------------------------------

void FilterDockWidget::onEnableToggled(bool on) {
    if (!m_activeDataset)
        return;
    m_activeDataset->filter.setEnabled(on);
    emit filterChanged();
}

void FilterDockWidget::onShowExcludedToggled(bool on) {
    if (!m_activeDataset)
        return;
    m_activeDataset->filter.setCombineMode(on ? FilterCombineMode::NOT : FilterCombineMode::AND);
    emit filterChanged();
}

void FilterDockWidget::onEnabledForAllClicked() {
    if (m_activeDataset)
        emit enabledChangedForAll(m_enableBox->isChecked());
}

void FilterDockWidget::onCombineForAllClicked() {
    if (m_activeDataset)
        emit combineModeChangedForAll(m_showExcludedBox->isChecked() ? 1 : 0);
}

void FilterDockWidget::onAddPolygonToggled(bool on) {
    if (on)
        emit polygonDrawRequested();
    else
        emit polygonDrawCancelRequested();
}

// The new editor's default bounds are rounded outwards from the data, so the
// new rule passes every event until the user narrows it.
void FilterDockWidget::onAddRule() {
    if (!m_activeDataset || !m_activeDataset->reader)
        return;
    const std::vector<std::string> features = getScalarFeatures();
    if (features.empty())
        return;
    auto* widget = new FilterRuleWidget(features, m_activeDataset->reader.get(), m_content);
    widget->setMultiDataset(m_datasetCount > 1);
    widget->updatePropagationButtons();
    appendRuleWidget(widget);
    syncToDataset();
    emit filterChanged();
}

// --- Rule widgets --------------------------------------------------------------

void FilterDockWidget::setActiveDataset(DatasetEntry* entry) {
    m_activeDataset = entry;
    m_filterBox->setEnabled(entry != nullptr);
    rebuildFromDataset();
}

void FilterDockWidget::rebuildFromDataset() {
    clearRuleWidgets();
    if (!m_activeDataset) {
        m_enableBox->setChecked(false); // the slot finds no dataset: nothing changes
        {
            const QSignalBlocker blocker(m_showExcludedBox);
            m_showExcludedBox->setChecked(false);
        }
        m_statusLabel->setText(tr("No dataset selected"));
        return;
    }
    const EventFilter& filter = m_activeDataset->filter;
    {
        const QSignalBlocker enableBlocker(m_enableBox);
        const QSignalBlocker excludedBlocker(m_showExcludedBox);
        m_enableBox->setChecked(filter.isEnabled());
        m_showExcludedBox->setChecked(filter.combineMode() == FilterCombineMode::NOT);
    }
    const std::vector<std::string> features = getScalarFeatures();
    RTDCReader* reader = m_activeDataset->reader.get();
    for (const FilterRule& rule : filter.rules()) {
        if (rule.type == 1) {
            auto* polygon = new PolygonRuleWidget(reader, m_content);
            polygon->setRule(rule);
            polygon->setMultiDataset(m_datasetCount > 1);
            polygon->updatePropagationButtons();
            appendRuleWidget(polygon);
        } else if (rule.type == 0) {
            auto* range = new FilterRuleWidget(features, reader, m_content);
            range->setRule(rule);
            range->setMultiDataset(m_datasetCount > 1);
            range->updatePropagationButtons();
            appendRuleWidget(range);
        }
    }
    m_statusLabel->setText(tr("No filter active"));
}

std::vector<std::string> FilterDockWidget::getScalarFeatures() const {
    return scalarFeaturesOf(m_activeDataset);
}

void FilterDockWidget::appendRuleWidget(QWidget* widget) {
    if (!m_ruleWidgets.empty()) {
        QWidget* separator = makeRuleSeparator(m_content);
        m_ruleLayout->addWidget(separator);
        m_separators.push_back(separator);
    }
    m_ruleLayout->addWidget(widget);
    m_ruleWidgets.push_back(widget);
    wireRuleWidget(widget);
}

// Propagation requests look the widget's position up when the button is
// pressed: removals shift the positions of the widgets below.
void FilterDockWidget::wireRuleWidget(QWidget* widget) {
    auto forwardIndex = [this, widget](void (FilterDockWidget::*signal)(int)) {
        return [this, widget, signal] {
            const int index = ruleWidgetIndex(widget);
            if (index >= 0)
                emit(this->*signal)(index);
        };
    };
    auto onChanged = [this] {
        syncToDataset();
        emit filterChanged();
    };
    auto onRemove = [this, widget] { removeRuleWidget(widget); };

    if (auto* range = qobject_cast<FilterRuleWidget*>(widget)) {
        connect(range, &FilterRuleWidget::ruleChanged, this, onChanged);
        connect(range, &FilterRuleWidget::removeRequested, this, onRemove);
        connect(range, &FilterRuleWidget::applyRuleToAllRequested, this,
                forwardIndex(&FilterDockWidget::applyRuleToAll));
        connect(range, &FilterRuleWidget::updateRuleToAllRequested, this,
                forwardIndex(&FilterDockWidget::updateRuleToAll));
        connect(range, &FilterRuleWidget::uncheckRuleInAllRequested, this,
                forwardIndex(&FilterDockWidget::uncheckRuleInAll));
        connect(range, &FilterRuleWidget::checkRuleInAllRequested, this,
                forwardIndex(&FilterDockWidget::checkRuleInAll));
        connect(range, &FilterRuleWidget::deleteRuleFromAllRequested, this,
                forwardIndex(&FilterDockWidget::deleteRuleFromAll));
    } else if (auto* polygon = qobject_cast<PolygonRuleWidget*>(widget)) {
        connect(polygon, &PolygonRuleWidget::ruleChanged, this, onChanged);
        connect(polygon, &PolygonRuleWidget::removeRequested, this, onRemove);
        connect(polygon, &PolygonRuleWidget::applyRuleToAllRequested, this,
                forwardIndex(&FilterDockWidget::applyRuleToAll));
        connect(polygon, &PolygonRuleWidget::updateRuleToAllRequested, this,
                forwardIndex(&FilterDockWidget::updateRuleToAll));
        connect(polygon, &PolygonRuleWidget::uncheckRuleInAllRequested, this,
                forwardIndex(&FilterDockWidget::uncheckRuleInAll));
        connect(polygon, &PolygonRuleWidget::checkRuleInAllRequested, this,
                forwardIndex(&FilterDockWidget::checkRuleInAll));
        connect(polygon, &PolygonRuleWidget::deleteRuleFromAllRequested, this,
                forwardIndex(&FilterDockWidget::deleteRuleFromAll));
        connect(polygon, &PolygonRuleWidget::editToggled, this,
                [this, polygon](bool on) { onPolygonEditToggled(polygon, on); });
    }
}

// Only one dataset polygon is edited in the plot at a time.
void FilterDockWidget::onPolygonEditToggled(PolygonRuleWidget* widget, bool on) {
    const int index = ruleWidgetIndex(widget);
    if (index < 0)
        return;
    if (on) {
        for (QWidget* other : m_ruleWidgets) {
            auto* polygon = qobject_cast<PolygonRuleWidget*>(other);
            if (polygon && polygon != widget)
                polygon->setEditChecked(false);
        }
    }
    emit polygonEditRequested(index, on);
}

int FilterDockWidget::ruleWidgetIndex(const QWidget* widget) const {
    const auto it = std::find(m_ruleWidgets.begin(), m_ruleWidgets.end(), widget);
    if (it == m_ruleWidgets.end())
        return -1;
    return static_cast<int>(it - m_ruleWidgets.begin());
}

// Bounds come from getRule(), which returns them exactly as stored: the spin
// boxes' rounding never reaches the filter.
void FilterDockWidget::syncToDataset() {
    if (!m_activeDataset)
        return;
    std::vector<FilterRule> rules;
    rules.reserve(m_ruleWidgets.size());
    for (QWidget* widget : m_ruleWidgets) {
        if (auto* range = qobject_cast<FilterRuleWidget*>(widget))
            rules.push_back(range->getRule());
        else if (auto* polygon = qobject_cast<PolygonRuleWidget*>(widget))
            rules.push_back(polygon->getRule());
    }
    EventFilter& filter = m_activeDataset->filter;
    filter.clearRules();
    for (const FilterRule& rule : rules)
        filter.addRule(rule);
}

// Removing the first rule drops the separator below it, any other rule the
// separator above it.
void FilterDockWidget::eraseRuleWidgetAt(int index) {
    QWidget* widget = m_ruleWidgets[static_cast<std::size_t>(index)];
    m_ruleWidgets.erase(m_ruleWidgets.begin() + index);
    discardEditor(m_ruleLayout, widget, this);
    if (m_separators.empty())
        return;
    const int last = static_cast<int>(m_separators.size()) - 1;
    const int separatorIndex = std::min(index > 0 ? index - 1 : 0, last);
    QWidget* separator = m_separators[static_cast<std::size_t>(separatorIndex)];
    m_separators.erase(m_separators.begin() + separatorIndex);
    discardEditor(m_ruleLayout, separator, this);
}

void FilterDockWidget::removeRuleWidget(QWidget* widget) {
    const int index = ruleWidgetIndex(widget);
    if (index >= 0)
        eraseRuleWidgetAt(index);
    else if (widget)
        discardEditor(m_ruleLayout, widget, this);
    syncToDataset();
    emit filterChanged();
}

void FilterDockWidget::removeRuleAt(int index) {
    if (index < 0 || index >= static_cast<int>(m_ruleWidgets.size()))
        return;
    eraseRuleWidgetAt(index);
    syncToDataset();
    emit filterChanged();
}

void FilterDockWidget::setRuleEnabled(int index, bool on) {
    if (index < 0 || index >= static_cast<int>(m_ruleWidgets.size()))
        return;
    QWidget* widget = m_ruleWidgets[static_cast<std::size_t>(index)];
    if (auto* range = qobject_cast<FilterRuleWidget*>(widget)) {
        range->setEnableChecked(on);
        range->updatePropagationButtons();
    } else if (auto* polygon = qobject_cast<PolygonRuleWidget*>(widget)) {
        polygon->setEnableChecked(on);
        polygon->updatePropagationButtons();
    }
    syncToDataset();
    emit filterChanged();
}

void FilterDockWidget::setRuleDivergence(int index, bool contentDiffers, bool enabledDiffers) {
    if (index < 0 || index >= static_cast<int>(m_ruleWidgets.size()))
        return;
    QWidget* widget = m_ruleWidgets[static_cast<std::size_t>(index)];
    if (auto* range = qobject_cast<FilterRuleWidget*>(widget))
        range->setPropagationDivergence(contentDiffers, enabledDiffers);
    else if (auto* polygon = qobject_cast<PolygonRuleWidget*>(widget))
        polygon->setPropagationDivergence(contentDiffers, enabledDiffers);
}

void FilterDockWidget::updateRuleWidgetPropagationId(int index, const std::string& id) {
    if (index < 0 || index >= static_cast<int>(m_ruleWidgets.size()))
        return;
    QWidget* widget = m_ruleWidgets[static_cast<std::size_t>(index)];
    if (auto* range = qobject_cast<FilterRuleWidget*>(widget)) {
        range->setPropagationId(id);
        range->updatePropagationButtons();
    } else if (auto* polygon = qobject_cast<PolygonRuleWidget*>(widget)) {
        polygon->setPropagationId(id);
        polygon->updatePropagationButtons();
    }
}

void FilterDockWidget::clearRuleWidgets() {
    for (QWidget* widget : m_ruleWidgets)
        discardEditor(m_ruleLayout, widget, this);
    for (QWidget* separator : m_separators)
        discardEditor(m_ruleLayout, separator, this);
    m_ruleWidgets.clear();
    m_separators.clear();
}

void FilterDockWidget::setPolygonEditing(int index, bool on) {
    if (index < 0 || index >= static_cast<int>(m_ruleWidgets.size()))
        return;
    QWidget* widget = m_ruleWidgets[static_cast<std::size_t>(index)];
    if (auto* polygon = qobject_cast<PolygonRuleWidget*>(widget))
        polygon->setEditChecked(on);
}

void FilterDockWidget::setPolygonDrawing(bool on) {
    const QSignalBlocker blocker(m_addPolygonButton);
    m_addPolygonButton->setChecked(on);
}

// --- Status and dataset-wide buttons ----------------------------------------------

void FilterDockWidget::updateStats(std::size_t shown, std::size_t total) {
    if (total == 0) {
        m_statusLabel->setText(tr("No events"));
        return;
    }
    const QString totalText = QString::number(static_cast<qulonglong>(total));
    if (shown == total) {
        m_statusLabel->setText(tr("%1 events (no filter active)").arg(totalText));
        return;
    }
    const double percent = 100.0 * static_cast<double>(shown) / static_cast<double>(total);
    m_statusLabel->setText(tr("%1 / %2 events shown (%3%)")
                               .arg(QString::number(static_cast<qulonglong>(shown)), totalText,
                                    QString::number(percent, 'f', 1)));
}

void FilterDockWidget::setDatasetCount(int count) {
    m_datasetCount = count;
    for (QWidget* widget : m_ruleWidgets) {
        if (auto* range = qobject_cast<FilterRuleWidget*>(widget)) {
            range->setMultiDataset(count > 1);
            range->updatePropagationButtons();
        } else if (auto* polygon = qobject_cast<PolygonRuleWidget*>(widget)) {
            polygon->setMultiDataset(count > 1);
            polygon->updatePropagationButtons();
        }
    }
}

void FilterDockWidget::setEnabledStateDivergence(bool diverged) {
    const bool multi = m_datasetCount > 1;
    m_enabledForAllButton->setText(m_enableBox->isChecked() ? tr("Enable in All Datasets")
                                                            : tr("Disable in All Datasets"));
    m_enabledForAllButton->setEnabled(multi);
    setButtonStyle(m_enabledForAllButton, multi && diverged ? FilterWidgetStyle::highlightedButton()
                                                            : FilterWidgetStyle::plainButton());
}

void FilterDockWidget::setCombineModeDivergence(bool diverged) {
    const bool multi = m_datasetCount > 1;
    m_combineForAllButton->setText(m_showExcludedBox->isChecked()
                                       ? tr("Show Excluded in All Datasets")
                                       : tr("Hide Excluded in All Datasets"));
    m_combineForAllButton->setEnabled(multi);
    setButtonStyle(m_combineForAllButton, multi && diverged ? FilterWidgetStyle::highlightedButton()
                                                            : FilterWidgetStyle::plainButton());
}

} // namespace Quorvex3
