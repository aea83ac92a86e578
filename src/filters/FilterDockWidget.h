#pragma once

#include "core/FilterRule.h"

#include <QHash>
#include <QRect>
#include <QString>
#include <QWidget>

#include <cstddef>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLayout;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace Quorvex3 {

struct DatasetEntry;
struct FilterGroup;
class FilterGroupWidget;
class PolygonRuleWidget;
class RTDCReader;

/// Content of the "Filters" dock: edits the active dataset's filter (its
/// enabled flag, its combine mode and its range and polygon rules) in place
/// and shows every filter group with its switch for the active dataset.
///
/// The dock owns no filter data: rule widget i edits rule i of the active
/// dataset's filter, and every edit ends in syncToDataset(), which rewrites
/// the rule list from the widgets (with their exact bounds). Everything that
/// reaches beyond the active dataset leaves the dock as a signal. Indices
/// below are positions in the rule-widget list, which equal rule indices of
/// the active filter; out-of-range indices are ignored. GUI thread only.
class FilterDockWidget : public QWidget {
    Q_OBJECT

public:
    explicit FilterDockWidget(QWidget* parent = nullptr);
    ~FilterDockWidget() override;

    /// Binds the dock to a dataset's filter (not owned; null: none, which
    /// disables the filter box) and rebuilds the rule widgets.
    void setActiveDataset(DatasetEntry* entry);
    DatasetEntry* activeDataset() const { return m_activeDataset; }
    /// Recreates the rule widgets and the two boxes from the active
    /// dataset's filter without writing anything back. Group widgets stay.
    void rebuildFromDataset();
    /// Scalar features of the active dataset's reader, in reader order;
    /// empty without an active dataset or reader.
    std::vector<std::string> getScalarFeatures() const;
    /// Rewrites the active filter's rules from the rule widgets, in order.
    /// The enabled flag and the combine mode are left alone.
    void syncToDataset();
    /// Removes `widget` (and the separator next to it), then syncs and
    /// emits filterChanged().
    void removeRuleWidget(QWidget* widget);
    /// The same by index; nothing at all when out of range.
    void removeRuleAt(int index);
    /// Sets rule `index`'s enable box (silently), then syncs and emits
    /// filterChanged().
    void setRuleEnabled(int index, bool on);
    /// Marks rule `index`'s propagation buttons.
    void setRuleDivergence(int index, bool contentDiffers, bool enabledDiffers);
    /// Gives rule widget `index` its propagation id and refreshes its buttons.
    void updateRuleWidgetPropagationId(int index, const std::string& id);
    /// Removes every rule widget and separator (deleted later), no sync.
    void clearRuleWidgets();
    /// Shows how many of the dataset's `total` events pass.
    void updateStats(std::size_t shown, std::size_t total);
    /// Number of loaded datasets (more than one offers propagation).
    void setDatasetCount(int count);
    int datasetCount() const { return m_datasetCount; }
    /// Text, state and highlight of the button that copies the enabled
    /// state to every dataset; `diverged`: some dataset differs.
    void setEnabledStateDivergence(bool diverged);
    /// The same for the button that copies the combine mode.
    void setCombineModeDivergence(bool diverged);
    /// Checks polygon rule `index`'s Edit button without emitting anything.
    void setPolygonEditing(int index, bool on);
    /// Checks "+ Polygon" without emitting a draw or cancel request.
    void setPolygonDrawing(bool on);
    /// Recreates the group widgets (groups in order, not owned; the active
    /// reader or null).
    void refreshFilterGroups(const std::vector<FilterGroup*>& groups, RTDCReader* reader);
    /// Forwarded to the first group widget with `groupId`; none: nothing.
    void setGroupEnabledDivergence(int groupId, bool diverged);
    void setGroupPolygonEditChecked(int groupId, int ruleIndex, bool on);
    /// Hands the current scalar features to every range rule widget, the
    /// group widgets' included.
    void refreshFeatureLists();

    /// Rule editors in rule order (FilterRuleWidget or PolygonRuleWidget).
    const std::vector<QWidget*>& ruleWidgets() const { return m_ruleWidgets; }
    /// Separator lines between consecutive rule editors.
    const std::vector<QWidget*>& ruleSeparators() const { return m_separators; }
    /// Group widgets in group order. Of many groups only those near the
    /// visible part of the dock are built at once; the others are empty
    /// boxes of about their height that build themselves when scrolled into
    /// view (FilterGroupWidget::isBuilt), keeping what was set on them.
    const std::vector<FilterGroupWidget*>& groupWidgets() const { return m_groupWidgets; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    void filterChanged();
    void applyToAllRequested();
    void applyRuleToAll(int ruleIndex);
    void updateRuleToAll(int ruleIndex);
    void uncheckRuleInAll(int ruleIndex);
    void checkRuleInAll(int ruleIndex);
    void deleteRuleFromAll(int ruleIndex);
    void enabledChangedForAll(bool enabled);
    void combineModeChangedForAll(int mode);
    void polygonDrawRequested();
    void polygonDrawCancelRequested();
    void polygonEditRequested(int ruleIndex, bool on);
    void importMeasurementFiltersRequested(bool allDatasets);
    void addFilterGroupRequested();
    void renameFilterGroupRequested(int groupId, const QString& name);
    void deleteFilterGroupRequested(int groupId);
    void groupEnableChanged(int groupId, bool on);
    void groupEnablePropagateRequested(int groupId, bool on);
    void addRuleToGroupRequested(int groupId);
    void addPolygonToGroupRequested(int groupId);
    void groupRuleChanged(int groupId, int ruleIndex, const FilterRule& rule);
    void groupRuleRemoved(int groupId, int ruleIndex);
    void groupPolygonEditRequested(int groupId, int ruleIndex, bool on);
    void importGroupsRequested();
    void exportGroupsRequested();

private slots:
    void onEnableToggled(bool on);
    void onShowExcludedToggled(bool on);
    void onEnabledForAllClicked();
    void onCombineForAllClicked();
    void onAddRule();
    void onAddPolygonToggled(bool on);

private:
    void buildLayout();
    void buildToggleRows(QVBoxLayout* boxLayout);
    QLayout* buildButtonRow();
    QPushButton* buildMenuButton();
    QScrollArea* buildScrollArea();
    void appendRuleWidget(QWidget* widget);
    void wireRuleWidget(QWidget* widget);
    void onPolygonEditToggled(PolygonRuleWidget* widget, bool on);
    void eraseRuleWidgetAt(int index);
    int ruleWidgetIndex(const QWidget* widget) const;
    void forwardGroupSignals(FilterGroupWidget* group);
    FilterGroupWidget* groupWidgetById(int groupId) const;
    QRect viewedArea() const;
    QRect boxInViewport(const QWidget* group) const;
    std::vector<bool> groupsInViewOfOldContainer() const;
    void buildGroup(FilterGroupWidget* group);
    void buildVisibleGroups();
    void scheduleVisibleGroupBuild();

    QCheckBox* m_enableBox = nullptr;
    QPushButton* m_enabledForAllButton = nullptr;
    QCheckBox* m_showExcludedBox = nullptr;
    QPushButton* m_combineForAllButton = nullptr;
    QPushButton* m_addRuleButton = nullptr;
    QPushButton* m_addPolygonButton = nullptr;
    QPushButton* m_addGroupButton = nullptr;
    QVBoxLayout* m_ruleLayout = nullptr;
    QScrollArea* m_scrollArea = nullptr;
    QLabel* m_statusLabel = nullptr;
    QGroupBox* m_filterBox = nullptr;
    // Holds the group widgets; replaced whole on every rebuild (see
    // refreshFilterGroups).
    QWidget* m_groupContainer = nullptr;
    std::vector<FilterGroupWidget*> m_groupWidgets;
    QHash<int, FilterGroupWidget*> m_groupWidgetById;
    bool m_groupBuildScheduled = false;
    std::vector<QWidget*> m_ruleWidgets;
    std::vector<QWidget*> m_separators;
    DatasetEntry* m_activeDataset = nullptr;
    int m_datasetCount = 0;
    // Parent of the rule and group widgets (the scroll area's content).
    QWidget* m_content = nullptr;
};

} // namespace Quorvex3
