#pragma once

#include "core/FilterRule.h"

#include "filters/RuleEditorWidget.h"

#include <string>
#include <vector>

class QComboBox;
class QDoubleSpinBox;

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
class FilterRuleWidget : public RuleEditorWidget {
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

    /// Enable box and bounds are usable iff the feature is available.
    void updateAvailableState();

private slots:
    void onFeatureChanged(int index);

private:
    void buildLayout();
    void connectControls();
    void addFeatureItems();
    bool isOffered(const std::string& name) const;
    void removeUnavailableItem();
    void markUnavailable(const std::string& name);
    bool adoptDataPrecision(const std::string& name, double& lo, double& hi);
    void showBounds();

    QComboBox* m_featureCombo = nullptr;
    QDoubleSpinBox* m_minSpin = nullptr;
    QDoubleSpinBox* m_maxSpin = nullptr;
    std::vector<std::string> m_features;
    // The rule's bounds, exactly; the spin boxes show them rounded.
    double m_minValue = 0.0;
    double m_maxValue = 0.0;
};

} // namespace Quorvex3
