#pragma once

#include "core/FilterRule.h"

#include "filters/RuleEditorWidget.h"

#include <string>

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
class PolygonRuleWidget : public RuleEditorWidget {
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

    /// Sets the Edit button without emitting editToggled().
    void setEditChecked(bool checked);

signals:
    /// The user toggled the Edit button.
    void editToggled(bool on);

private:
    void buildLayout();
    void connectControls();

    QLabel* m_featuresLabel = nullptr;
    QLabel* m_pointsLabel = nullptr;
    QPushButton* m_editButton = nullptr;
    // Features, vertices and scales as given; enable, invert and the
    // propagation id live in the shared controls.
    FilterRule m_rule;
};

} // namespace Quorvex3
