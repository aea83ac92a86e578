#pragma once

#include <QWidget>

#include <string>

class QCheckBox;
class QLayout;
class QPushButton;

namespace Quorvex3 {

class RTDCReader;

/// What the range and the polygon rule editors share: the enable and invert
/// boxes, the remove button, the four buttons that propagate a rule to every
/// loaded dataset with their state, and the signals they raise. The editors
/// place these controls in their own layouts. GUI thread only.
class RuleEditorWidget : public QWidget {
    Q_OBJECT

public:
    ~RuleEditorWidget() override;

    /// Empty: the rule was never propagated.
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

    /// Visibility, text, enabled state and highlight of the propagation buttons.
    void updatePropagationButtons();

signals:
    /// The user changed the rule.
    void ruleChanged();
    void removeRequested();
    void applyRuleToAllRequested();
    void updateRuleToAllRequested();
    void uncheckRuleInAllRequested();
    void checkRuleInAllRequested();
    void deleteRuleFromAllRequested();

protected:
    /// `reader` is not owned.
    RuleEditorWidget(RTDCReader* reader, QWidget* parent);

    // The shared controls are created by the editors where their layouts
    // place them, so the keyboard focus follows the visual order.
    void createEnableBox();
    void createInvertBox();
    void createRemoveButton();
    /// Creates the propagation buttons and returns their row, to be added to
    /// the editor's layout.
    QLayout* createPropagationRow();
    /// Connects the shared controls to the signals; editors call it after
    /// connecting their own controls, so the order of reactions is theirs first.
    void connectSharedControls();

    QCheckBox* m_enableBox = nullptr;
    QCheckBox* m_invertBox = nullptr;
    QPushButton* m_removeButton = nullptr;
    RTDCReader* m_reader = nullptr;
    bool m_inGroup = false;
    bool m_unavailable = false;

private slots:
    void onUncheckCheckClicked();

private:
    QPushButton* m_applyButton = nullptr;
    QPushButton* m_updateButton = nullptr;
    QPushButton* m_checkStateButton = nullptr;
    QPushButton* m_deleteAllButton = nullptr;
    std::string m_propagationId;
    bool m_multiDataset = false;
    bool m_contentDiverges = false;
    bool m_enabledDiverges = false;
};

} // namespace Quorvex3
