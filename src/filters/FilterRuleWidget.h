#pragma once

#include "core/FilterRule.h"

#include <QWidget>

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QPushButton;

namespace Quorvex3 {

class RTDCReader;

/// Editor of one range rule: feature, inclusive minimum and maximum,
/// enabled, inverted, and the buttons that propagate the rule to every
/// loaded dataset. It never touches a dataset: the owner reads the rule
/// back with getRule() when ruleChanged() arrives. GUI thread only.
///
/// The widget keeps the rule's bounds exactly as they were given. The spin
/// boxes only show them, rounded to the decimals that suit the feature's
/// data; a bound changes only when the user edits that bound, so showing a
/// rule never alters it. A bound taken from the data (new widget, another
/// feature picked) is rounded outwards to the shown decimals, so the rule
/// passes every event of the feature.
class FilterRuleWidget : public QWidget {
    Q_OBJECT

public:
    /// `features`: the feature names offered, in order (labels from `reader`).
    /// `reader` (not owned, may be null) supplies labels and feature values.
    /// The first feature is preselected and the bounds cover its finite data.
    FilterRuleWidget(const std::vector<std::string>& features, RTDCReader* reader,
                     QWidget* parent = nullptr);
    ~FilterRuleWidget() override;

    /// The edited range rule: the selected feature, the exact bounds, enabled
    /// (always true in group mode), inverted and the propagation id; no y
    /// feature, no vertices, linear scales.
    FilterRule getRule() const;
    /// Shows `rule` and keeps its bounds exactly. A feature that is not
    /// offered is shown as "<name> (n/a)" with the enable box and the bounds
    /// disabled. Emits nothing.
    void setRule(const FilterRule& rule);

    /// Offers a new feature list; the selection and the bounds are kept (a
    /// selected feature no longer offered becomes "(n/a)"). Emits nothing.
    void refreshAvailableFeatures(const std::vector<std::string>& features);

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
    /// Enable box and bounds are usable iff the feature is available.
    void updateAvailableState();

signals:
    /// The user changed the rule (enable, invert, a bound, the feature).
    void ruleChanged();
    void removeRequested();
    void applyRuleToAllRequested();
    void updateRuleToAllRequested();
    void uncheckRuleInAllRequested();
    void checkRuleInAllRequested();
    void deleteRuleFromAllRequested();

private slots:
    void onFeatureChanged(int index);
    void onUncheckCheckClicked();

private:
    void buildLayout();
    void connectControls();
    void addFeatureItems();
    bool isOffered(const std::string& name) const;
    void removeUnavailableItem();
    void markUnavailable(const std::string& name);
    bool adoptDataPrecision(const std::string& name, double& lo, double& hi);
    void showBounds();

    QCheckBox* m_enableBox = nullptr;
    QCheckBox* m_invertBox = nullptr;
    QComboBox* m_featureCombo = nullptr;
    QDoubleSpinBox* m_minSpin = nullptr;
    QDoubleSpinBox* m_maxSpin = nullptr;
    QPushButton* m_removeButton = nullptr;
    RTDCReader* m_reader = nullptr;
    QPushButton* m_applyButton = nullptr;
    QPushButton* m_updateButton = nullptr;
    QPushButton* m_checkStateButton = nullptr;
    QPushButton* m_deleteAllButton = nullptr;
    std::string m_propagationId;
    bool m_multiDataset = false;
    bool m_unavailable = false;
    bool m_contentDiverges = false;
    bool m_enabledDiverges = false;
    bool m_inGroup = false;
    std::vector<std::string> m_features;
    // The rule's bounds, exactly; the spin boxes show them rounded.
    double m_minValue = 0.0;
    double m_maxValue = 0.0;
};

} // namespace Quorvex3
