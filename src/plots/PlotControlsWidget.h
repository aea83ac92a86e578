#pragma once

#include "density/PlotSettings.h"

#include <QGroupBox>
#include <QString>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QPushButton;

namespace Quorvex3 {

/// The "Plot Settings" box of the main window: the feature, scale, colour
/// and contour choices of the scatter plot, the isoelastics switches and the
/// apply-to-all button. The choices read back as one PlotSettings record.
class PlotControlsWidget : public QGroupBox {
    Q_OBJECT
public:
    explicit PlotControlsWidget(QWidget* parent = nullptr);

    /// What the controls choose now.
    PlotSettings settings() const;
    /// Puts a record into the controls without any signal. A feature or
    /// colour the lists do not offer leaves the current choice in place.
    void restore(const PlotSettings& settings);

    /// One (name, label) pair per plottable feature, in list order. Fills
    /// the axis and colour lists ("None" and "Density (KDE)" first) and
    /// chooses area against deformation without colour, without a signal.
    void setFeatures(const std::vector<std::pair<std::string, QString>>& features);
    /// Empties the feature lists, without a signal.
    void clearFeatures();
    void setFeatureChoicesEnabled(bool enabled);

    /// Marks the Log choice of an axis whose plot leaves values out.
    void setLeftOutCounts(std::size_t nonPositiveX, std::size_t nonPositiveY);

    /// Shows the isoelastics switches (they apply to area and deformation).
    void setIsolinesAvailable(bool available);
    bool isolinesShown() const;
    /// Ticks or unticks "Isoelastics" without announcing a change.
    void setIsolinesShown(bool shown);
    bool isolineLabelsShown() const;

    /// The apply-to-all button: enabled, and highlighted when some dataset
    /// differs.
    void setApplyToAllState(bool enabled, bool highlighted);

signals:
    /// Once per user change of a control, saying which part changed.
    void settingsChanged(Quorvex3::PlotSettingsChange change);
    void applyToAllRequested();

private:
    void build();
    void connectControls();

    QComboBox* m_xFeatureCombo = nullptr;
    QComboBox* m_yFeatureCombo = nullptr;
    QComboBox* m_colorCombo = nullptr;
    QComboBox* m_scaleXCombo = nullptr;
    QComboBox* m_scaleYCombo = nullptr;
    QComboBox* m_contourModeCombo = nullptr;
    QDoubleSpinBox* m_contourInnerSpin = nullptr;
    QDoubleSpinBox* m_contourOuterSpin = nullptr;
    QCheckBox* m_isoelasticsCheck = nullptr;
    QCheckBox* m_isoLabelsCheck = nullptr;
    QPushButton* m_applyButton = nullptr;
};

} // namespace Quorvex3
