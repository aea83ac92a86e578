// The combined plot window as a session file keeps it: one JSON object per
// window, datasets named by their position in the session's dataset list.
#include "compare/CombinePlotWindow.h"

#include "compare/CombineDatasetWidget.h"
#include "model/DatasetEntry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QJsonArray>
#include <QJsonValue>
#include <QSpinBox>

#include <algorithm>
#include <climits>
#include <cmath>
#include <iterator>

namespace Quorvex3 {

namespace {

// Every reader takes its default for a missing key and for a value of
// another type; numbers must also be finite, integers whole and in range.

bool readBool(const QJsonObject& object, const char* key, bool fallback) {
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isBool() ? value.toBool() : fallback;
}

double readNumber(const QJsonObject& object, const char* key, double fallback) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble())
        return fallback;
    const double number = value.toDouble();
    return std::isfinite(number) ? number : fallback;
}

int readInt(const QJsonObject& object, const char* key, int fallback) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble())
        return fallback;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number != std::floor(number) || number < INT_MIN ||
        number > INT_MAX)
        return fallback;
    return static_cast<int>(number);
}

/// An integer code of a choice with `count` entries; anything else is `fallback`.
int readCode(const QJsonObject& object, const char* key, int count, int fallback) {
    const int code = readInt(object, key, fallback);
    return code >= 0 && code < count ? code : fallback;
}

QString readString(const QJsonObject& object, const char* key, const QString& fallback) {
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? value.toString() : fallback;
}

} // namespace

QJsonObject
CombinePlotWindow::saveState(const std::vector<std::unique_ptr<DatasetEntry>>& datasets) const {
    QJsonObject state;
    state.insert(QStringLiteral("displayMode"), m_displayCombo->currentIndex());
    state.insert(QStringLiteral("colorMode"), m_colorCombo->currentIndex());
    state.insert(QStringLiteral("syncFeatures"), m_syncFeaturesCheck->isChecked());
    state.insert(QStringLiteral("syncAxes"), m_syncAxesCheck->isChecked());
    state.insert(QStringLiteral("manualLimits"), m_manualLimitsCheck->isChecked());
    state.insert(QStringLiteral("showLegend"), m_showLegendCheck->isChecked());
    state.insert(QStringLiteral("contourMode"), m_contourCombo->currentIndex());
    state.insert(QStringLiteral("contourFraction1"), m_contourInnerSpin->value() / 100.0);
    state.insert(QStringLiteral("contourFraction2"), m_contourOuterSpin->value() / 100.0);
    state.insert(QStringLiteral("isoelasticity"), m_isoCheck->isChecked());
    state.insert(QStringLiteral("isoLabels"), m_isoLabelsCheck->isChecked());
    state.insert(QStringLiteral("xMin"), m_xMinSpin->value());
    state.insert(QStringLiteral("xMax"), m_xMaxSpin->value());
    state.insert(QStringLiteral("yMin"), m_yMinSpin->value());
    state.insert(QStringLiteral("yMax"), m_yMaxSpin->value());

    QJsonArray refs;
    for (int i = 0; i < datasetCount(); ++i) {
        const CombineDatasetRef ref = currentRef(i);
        int sessionIndex = -1;
        for (size_t k = 0; k < datasets.size(); ++k) {
            if (datasets[k] && datasets[k]->id == ref.datasetId) {
                sessionIndex = static_cast<int>(k);
                break;
            }
        }
        QJsonObject item;
        item.insert(QStringLiteral("datasetSessionIndex"), sessionIndex);
        item.insert(QStringLiteral("xFeatureName"), QString::fromStdString(ref.xFeature));
        item.insert(QStringLiteral("yFeatureName"), QString::fromStdString(ref.yFeature));
        item.insert(QStringLiteral("color"), ref.color.name());
        item.insert(QStringLiteral("colorAlpha"), ref.color.alpha());
        item.insert(QStringLiteral("scaleXMode"), ref.scaleXMode);
        item.insert(QStringLiteral("scaleYMode"), ref.scaleYMode);
        refs.append(item);
    }
    state.insert(QStringLiteral("datasets"), refs);

    const ExportSettings& s = m_exportSettings;
    QJsonObject exportSettings;
    exportSettings.insert(QStringLiteral("tickLabelSize"), s.tickLabelSize);
    exportSettings.insert(QStringLiteral("axisLabelSize"), s.axisLabelSize);
    exportSettings.insert(QStringLiteral("showTitle"), s.showTitle);
    exportSettings.insert(QStringLiteral("titleSize"), s.titleSize);
    exportSettings.insert(QStringLiteral("titleBold"), s.titleBold);
    exportSettings.insert(QStringLiteral("titleUseColor"), s.titleUseColor);
    exportSettings.insert(QStringLiteral("plotWidthMm"), s.plotWidthMm);
    exportSettings.insert(QStringLiteral("plotHeightMm"), s.plotHeightMm);
    exportSettings.insert(QStringLiteral("pointSize"), s.pointSize);
    exportSettings.insert(QStringLiteral("axisLineWidth"), s.axisLineWidth);
    exportSettings.insert(QStringLiteral("showGrid"), s.showGrid);
    exportSettings.insert(QStringLiteral("showRightTopAxes"), s.showRightTopAxes);
    exportSettings.insert(QStringLiteral("uniformColor"), s.uniformColor.name());
    state.insert(QStringLiteral("exportSettings"), exportSettings);

    // Shown by the user, whether or not the window is on screen right now.
    state.insert(QStringLiteral("showStats"), !m_statsDock->isHidden());
    state.insert(QStringLiteral("manualArraySize"), m_manualArrayCheck->isChecked());
    state.insert(QStringLiteral("arrayCols"), m_arrayColsSpin->value());
    state.insert(QStringLiteral("arrayRows"), m_arrayRowsSpin->value());
    state.insert(QStringLiteral("showCount"), m_showCountCheck->isChecked());
    return state;
}

void CombinePlotWindow::restoreState(const QJsonObject& state, const QMap<int, int>& sessionIdMap) {
    takeCardsState();
    {
        // No handler runs while the controls are set: no question is asked
        // and nothing is rebuilt in between.
        QWidget* const controls[] = {
            m_displayCombo,     m_colorCombo,        m_contourCombo,    m_syncFeaturesCheck,
            m_syncAxesCheck,    m_manualLimitsCheck, m_showLegendCheck, m_contourInnerSpin,
            m_contourOuterSpin, m_isoCheck,          m_isoLabelsCheck,  m_xMinSpin,
            m_xMaxSpin,         m_yMinSpin,          m_yMaxSpin,        m_manualArrayCheck,
            m_arrayColsSpin,    m_arrayRowsSpin,     m_showCountCheck};
        std::vector<QSignalBlocker> blockers;
        blockers.reserve(std::size(controls));
        for (QWidget* control : controls)
            blockers.emplace_back(control);

        m_displayMode = readCode(state, "displayMode", 3, 0);
        m_displayCombo->setCurrentIndex(m_displayMode);
        m_colorMode = readCode(state, "colorMode", 3, 1);
        m_colorCombo->setCurrentIndex(m_colorMode);
        m_syncFeaturesCheck->setChecked(readBool(state, "syncFeatures", false));
        const bool syncAxes = readBool(state, "syncAxes", false);
        m_syncAxesCheck->setChecked(syncAxes);
        // Manual limits exist only with synced axes (switching those off
        // unchecks them), so a file cannot turn on one without the other.
        const bool manualLimits = syncAxes && readBool(state, "manualLimits", false);
        m_manualLimitsCheck->setChecked(manualLimits);
        m_showLegendCheck->setChecked(readBool(state, "showLegend", false));
        m_contourCombo->setCurrentIndex(readCode(state, "contourMode", 3, 0));
        m_contourInnerSpin->setValue(readNumber(state, "contourFraction1", 0.1) * 100.0);
        m_contourOuterSpin->setValue(readNumber(state, "contourFraction2", 0.67) * 100.0);

        const bool iso = readBool(state, "isoelasticity", false);
        m_isoCheck->setChecked(iso);
        m_isoLabelsCheck->setChecked(iso && readBool(state, "isoLabels", false));
        m_isoLabelsCheck->setEnabled(iso);

        const bool manualArray = readBool(state, "manualArraySize", false);
        m_manualArrayCheck->setChecked(manualArray);
        const int cols = manualArray ? readInt(state, "arrayCols", 0) : 0;
        // Fixed columns free the rows, as the fields do when edited.
        const int rows = manualArray && cols < 1 ? readInt(state, "arrayRows", 0) : 0;
        m_arrayColsSpin->setValue(cols);
        m_arrayRowsSpin->setValue(rows);
        m_arraySizeRow->setVisible(manualArray);
        m_showCountCheck->setChecked(readBool(state, "showCount", false));

        m_xMinSpin->setValue(readNumber(state, "xMin", 0.0));
        m_xMaxSpin->setValue(readNumber(state, "xMax", 0.0));
        m_yMinSpin->setValue(readNumber(state, "yMin", 0.0));
        m_yMaxSpin->setValue(readNumber(state, "yMax", 0.0));
        m_manualLimitsCheck->setEnabled(syncAxes);
        for (QDoubleSpinBox* spin : {m_xMinSpin, m_xMaxSpin, m_yMinSpin, m_yMaxSpin})
            spin->setEnabled(manualLimits);

        const QJsonArray items = state.value(QStringLiteral("datasets")).toArray();
        for (const QJsonValue& value : items) {
            const QJsonObject item = value.toObject();
            const int sessionIndex = readInt(item, "datasetSessionIndex", -1);
            const auto mapped = sessionIdMap.constFind(sessionIndex);
            // One reference per dataset: a repeated one is kept once.
            if (mapped == sessionIdMap.constEnd() || referenceIndexOf(mapped.value()) >= 0)
                continue;
            CombineDatasetRef ref;
            ref.datasetId = mapped.value();
            ref.xFeature = readString(item, "xFeatureName", QString()).toStdString();
            ref.yFeature = readString(item, "yFeatureName", QString()).toStdString();
            ref.color = QColor(readString(item, "color", QStringLiteral("#1f77b4")));
            if (!ref.color.isValid())
                ref.color = combinePaletteColor(datasetCount());
            ref.color.setAlpha(std::clamp(readInt(item, "colorAlpha", 255), 0, 255));
            ref.scaleXMode = readCode(item, "scaleXMode", 3, 0);
            ref.scaleYMode = readCode(item, "scaleYMode", 3, 0);
            m_refs.push_back(ref);
        }
        // An overlay mode without the feature sync stands as stored (each
        // dataset keeps its own features) until the user picks a display
        // mode again, which asks for the sync then.
    }

    const QJsonValue exportValue = state.value(QStringLiteral("exportSettings"));
    if (exportValue.isObject()) {
        const QJsonObject e = exportValue.toObject();
        const ExportSettings defaults;
        ExportSettings& s = m_exportSettings;
        s.tickLabelSize = readInt(e, "tickLabelSize", defaults.tickLabelSize);
        s.axisLabelSize = readInt(e, "axisLabelSize", defaults.axisLabelSize);
        s.showTitle = readBool(e, "showTitle", defaults.showTitle);
        s.titleSize = readInt(e, "titleSize", defaults.titleSize);
        s.titleBold = readBool(e, "titleBold", defaults.titleBold);
        s.titleUseColor = readBool(e, "titleUseColor", defaults.titleUseColor);
        // Clamped before the whole-millimetre fields truncate them.
        s.plotWidthMm = std::clamp(readNumber(e, "plotWidthMm", defaults.plotWidthMm), 0.0, 1e6);
        s.plotHeightMm = std::clamp(readNumber(e, "plotHeightMm", defaults.plotHeightMm), 0.0, 1e6);
        s.pointSize = readInt(e, "pointSize", defaults.pointSize);
        s.axisLineWidth = readNumber(e, "axisLineWidth", defaults.axisLineWidth);
        s.showGrid = readBool(e, "showGrid", defaults.showGrid);
        s.showRightTopAxes = readBool(e, "showRightTopAxes", defaults.showRightTopAxes);
        const QString uniform = readString(e, "uniformColor", QString());
        if (!uniform.isEmpty())
            s.uniformColor = QColor(uniform);
        pushExportSettingsToControls();
        // The record takes what the controls hold: values clamped to their
        // ranges, whole millimetres, and a uniform colour the choice offers.
        const bool preview = m_exportPreview;
        m_exportPreview = false;
        onExportSettingsChanged();
        m_exportPreview = preview;
    }

    updateUniformColorVisibility();
    if (readBool(state, "showStats", false))
        m_statsDock->show();
    rebuildAll();
}

} // namespace Quorvex3
