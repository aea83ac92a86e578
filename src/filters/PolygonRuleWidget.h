#pragma once

#include "core/FilterRule.h"

#include <QWidget>

#include <string>

class QCheckBox;
class QLabel;
class QPushButton;

namespace Quorvex3 {

class RTDCReader;

/// Shows one polygon rule drawn on the scatter plot: its two features and
/// vertex count, enabled, inverted, an Edit toggle that starts vertex
/// editing in the plot, and the buttons that propagate the rule to every
/// loaded dataset. Vertices, features and scales are kept unchanged from
/// setRule() to getRule(). It never touches a dataset: every change is a
/// signal. GUI thread only.
class PolygonRuleWidget : public QWidget {
    Q_OBJECT

public:
    /// `reader` (not owned, may be null) supplies labels and tells which
    /// features exist.
    explicit PolygonRuleWidget(RTDCReader* reader, QWidget* parent = nullptr);
    ~PolygonRuleWidget() override;

    /// The stored rule with the enable box (always true in group mode) and
    /// the invert box applied.
    FilterRule getRule() const;
    /// Stores a copy of `rule` and shows it: "<x label> vs <y label>", with
    /// " (n/a)" and a disabled enable box when the reader lacks either
    /// feature, and "(<n> pts)". Emits nothing.
    void setRule(const FilterRule& rule);

    /// The stored rule's propagation id; empty: never propagated.
    void setPropagationId(const std::string& id);
    std::string propagationId() const;

    /// Group mode: the enable box is hidden and checked, the propagation
    /// buttons are hidden and the rule always reports itself enabled.
    void setInGroup(bool on);
    /// More than one dataset is loaded: the propagation buttons are usable.
    void setMultiDataset(bool on);
    /// Marks the buttons that would resolve a difference between this rule
    /// and its propagated copies.
    void setPropagationDivergence(bool contentDiffers, bool enabledDiffers);
    /// Sets the enable box without emitting anything.
    void setEnableChecked(bool checked);
    /// Sets the Edit button without emitting editToggled().
    void setEditChecked(bool checked);

    /// Visibility, text, enabled state and highlight of the propagation buttons.
    void updatePropagationButtons();

signals:
    /// The user toggled the enable or the invert box.
    void ruleChanged();
    void removeRequested();
    void applyRuleToAllRequested();
    void updateRuleToAllRequested();
    void uncheckRuleInAllRequested();
    void checkRuleInAllRequested();
    void deleteRuleFromAllRequested();
    /// The user toggled the Edit button.
    void editToggled(bool on);

private slots:
    void onUncheckCheckClicked();

private:
    void buildLayout();
    void connectControls();

    QCheckBox* m_enableBox = nullptr;
    QCheckBox* m_invertBox = nullptr;
    QLabel* m_featuresLabel = nullptr;
    QLabel* m_pointsLabel = nullptr;
    QPushButton* m_editButton = nullptr;
    QPushButton* m_removeButton = nullptr;
    RTDCReader* m_reader = nullptr;
    QPushButton* m_applyButton = nullptr;
    QPushButton* m_updateButton = nullptr;
    QPushButton* m_checkStateButton = nullptr;
    QPushButton* m_deleteAllButton = nullptr;
    FilterRule m_rule;
    bool m_multiDataset = false;
    bool m_unavailable = false;
    bool m_contentDiverges = false;
    bool m_enabledDiverges = false;
    bool m_inGroup = false;
};

} // namespace Quorvex3
