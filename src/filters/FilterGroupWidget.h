#pragma once

#include "core/FilterRule.h"

#include <QGroupBox>
#include <QString>

#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace Quorvex3 {

class RTDCReader;

/// One program-wide filter group in the filter dock: its editable name, its
/// switch for the active dataset, a button that copies that switch to every
/// dataset, a delete button, "+ Rule" and "+ Polygon", and one rule editor
/// per rule (range rules in FilterRuleWidget, polygon rules in
/// PolygonRuleWidget, both in group mode). It changes no data: every user
/// action is a signal carrying the group id. GUI thread only.
class FilterGroupWidget : public QGroupBox {
    Q_OBJECT

public:
    /// Whether the constructor builds the controls or leaves an empty box
    /// until build() is called.
    enum class Build { Now, Later };

    /// `features`: the scalar features offered to the group's range rules.
    /// `reader` (not owned, may be null) supplies labels and feature values;
    /// without one the group shows its header rows only. With Build::Later
    /// the box stays empty until build(); everything set before is kept
    /// and shown then.
    FilterGroupWidget(int groupId, const std::vector<std::string>& features, RTDCReader* reader,
                      QWidget* parent = nullptr, Build when = Build::Now);
    ~FilterGroupWidget() override;

    int groupId() const { return m_groupId; }

    /// Creates the controls and rule editors from the state set so far and
    /// shows them at once when the box is shown; nothing when already built.
    void build();
    bool isBuilt() const { return m_nameEdit != nullptr; }

    /// Sets the name field (only when it differs) without emitting anything.
    void setName(const QString& name);
    /// Sets the group's switch for the active dataset without emitting anything.
    void setEnabledInDataset(bool on);
    /// More than one dataset is loaded: the propagate button is usable.
    void setMultiDataset(bool on);
    /// Marks the propagate button when datasets differ in this switch.
    void setEnabledDivergence(bool diverged);
    /// Replaces the rule editors by one per rule, in order. The index each
    /// editor reports is its position here.
    void setRules(const std::vector<FilterRule>& rules);
    /// Removes every rule editor and separator (deleted later).
    void clearRuleWidgets();
    /// Sets the Edit button of polygon rule `ruleIndex` without emitting
    /// anything; ignored for an index out of range or a range rule.
    void setPolygonEditChecked(int ruleIndex, bool on);
    /// Offers a new feature list to the group's range rules.
    void refreshAvailableFeatures(const std::vector<std::string>& features);
    /// Text, enabled state and highlight of the propagate button.
    void updatePropagateButton();

signals:
    /// The user finished editing the name.
    void renameRequested(int groupId, const QString& name);
    /// "×" clicked (no confirmation).
    void deleteRequested(int groupId);
    /// The user switched the group for the active dataset.
    void enableToggled(int groupId, bool on);
    /// Copy the switch `on` to every dataset.
    void enablePropagateRequested(int groupId, bool on);
    void addRuleRequested(int groupId);
    void addPolygonRequested(int groupId);
    /// Rule `ruleIndex` was edited; `rule` is its new content (enabled).
    void ruleChanged(int groupId, int ruleIndex, const Quorvex3::FilterRule& rule);
    void ruleRemoved(int groupId, int ruleIndex);
    void polygonEditToggled(int groupId, int ruleIndex, bool on);

private:
    /// Keeps the name box wide enough for its name (up to a limit), so a
    /// narrow dock never shows it scrolled ("roup 1").
    void fitNameBox();
    void buildLayout();
    void connectControls();
    void connectRuleWidget(QWidget* widget, int ruleIndex);

    int m_groupId = 0;
    std::vector<std::string> m_features;
    RTDCReader* m_reader = nullptr;
    QLineEdit* m_nameEdit = nullptr;
    QCheckBox* m_enableBox = nullptr;
    QPushButton* m_propagateButton = nullptr;
    QPushButton* m_addRuleButton = nullptr;
    QPushButton* m_addPolygonButton = nullptr;
    QPushButton* m_deleteButton = nullptr;
    QVBoxLayout* m_ruleLayout = nullptr;
    std::vector<QWidget*> m_ruleWidgets;
    std::vector<QWidget*> m_separators;
    bool m_multiDataset = false;
    bool m_enabledDiverges = false;
    // What the controls show once built; the name edit, the enable box and
    // the rule editors hold it afterwards.
    QString m_pendingName;
    bool m_pendingEnabled = false;
    std::vector<FilterRule> m_pendingRules;
    std::vector<int> m_pendingPolygonEdits;
};

} // namespace Quorvex3
