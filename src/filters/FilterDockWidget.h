#pragma once

#include "core/FilterRule.h"

#include <QString>
#include <QWidget>

#include <cstddef>
#include <string>
#include <vector>

class QGroupBox;
class QLabel;

namespace Quorvex3 {

struct DatasetEntry;
struct FilterGroup;
class RTDCReader;

/// Content of the "Filters" dock: edits the active dataset's filter (its
/// enabled flag, its combine mode and its range and polygon rules) and shows
/// every filter group with its switch for the active dataset. Everything
/// that reaches beyond the active dataset leaves the dock as a signal.
///
/// This build shows the dock's frame only: editing rules and groups is not
/// available yet, and the operations below keep just the active dataset and
/// the dataset count.
class FilterDockWidget : public QWidget {
    Q_OBJECT

public:
    explicit FilterDockWidget(QWidget* parent = nullptr);
    ~FilterDockWidget() override;

    /// Binds the dock to a dataset's filter (not owned; null: none).
    void setActiveDataset(DatasetEntry* entry);
    DatasetEntry* activeDataset() const { return m_activeDataset; }
    /// Recreates the rule widgets from the active dataset's filter.
    void rebuildFromDataset();
    /// Scalar features of the active dataset's reader, in reader order.
    std::vector<std::string> getScalarFeatures() const;
    /// Rewrites the active filter's rules from the rule widgets.
    void syncToDataset();
    void removeRuleWidget(QWidget* widget);
    void removeRuleAt(int index);
    void setRuleEnabled(int index, bool on);
    void setRuleDivergence(int index, bool contentDiffers, bool enabledDiffers);
    void updateRuleWidgetPropagationId(int index, const std::string& id);
    void clearRuleWidgets();
    /// Shows how many of the dataset's events pass.
    void updateStats(std::size_t shown, std::size_t total);
    /// Number of loaded datasets (more than one offers propagation).
    void setDatasetCount(int count);
    int datasetCount() const { return m_datasetCount; }
    void setEnabledStateDivergence(bool diverged);
    void setCombineModeDivergence(bool diverged);
    void setPolygonEditing(int index, bool on);
    void setPolygonDrawing(bool on);
    /// Recreates the group widgets (groups in order, the active reader or null).
    void refreshFilterGroups(const std::vector<FilterGroup*>& groups, RTDCReader* reader);
    void setGroupEnabledDivergence(int groupId, bool diverged);
    void setGroupPolygonEditChecked(int groupId, int ruleIndex, bool on);
    /// Hands the current scalar features to every range rule widget.
    void refreshFeatureLists();

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

private:
    QGroupBox* m_filterBox = nullptr;
    QLabel* m_statusLabel = nullptr;
    DatasetEntry* m_activeDataset = nullptr;
    int m_datasetCount = 0;
};

} // namespace Quorvex3
