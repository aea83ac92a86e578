#include "model/DatasetPlotSettings.h"

#include "model/DatasetEntry.h"

#include <QFileInfo>

#include <algorithm>

namespace Quorvex3 {

PlotSettings plotSettingsOf(const DatasetEntry& entry) {
    PlotSettings settings;
    settings.xFeature = entry.xFeatureName;
    settings.yFeature = entry.yFeatureName;
    settings.colorId = entry.colorFeatureName;
    settings.scaleX = static_cast<ScaleMode>(entry.scaleXMode);
    settings.scaleY = static_cast<ScaleMode>(entry.scaleYMode);
    settings.contourMode = static_cast<ContourMode>(entry.contourMode);
    settings.contourFraction1 = entry.contourFraction1;
    settings.contourFraction2 = entry.contourFraction2;
    return settings;
}

void storePlotSettings(DatasetEntry& entry, const PlotSettings& settings) {
    entry.xFeatureName = settings.xFeature;
    entry.yFeatureName = settings.yFeature;
    entry.colorFeatureName = settings.colorId;
    entry.scaleXMode = static_cast<int>(settings.scaleX);
    entry.scaleYMode = static_cast<int>(settings.scaleY);
    entry.contourMode = static_cast<int>(settings.contourMode);
    entry.contourFraction1 = settings.contourFraction1;
    entry.contourFraction2 = settings.contourFraction2;
}

void checkPlottedFeatures(DatasetEntry& entry, const std::vector<std::string>& usable,
                          std::vector<QString>& repairs) {
    const auto offered = [&usable](const std::string& name) {
        return std::find(usable.begin(), usable.end(), name) != usable.end();
    };
    QString label = entry.displayName;
    if (label.isEmpty())
        label = QFileInfo(QString::fromStdString(entry.filePath)).fileName();
    // The plot would show its default in place of the stored choice without
    // a word; an emptied name keeps the record what the plot shows.
    const auto check = [&](std::string& name, bool isColor, const char* what, const char* byWhat) {
        if (name.empty() || offered(name) ||
            (isColor && name == densityColorId(DensityMethod::KDE)))
            return;
        repairs.push_back(label + QStringLiteral(": %1 \"%2\", which the measurement cannot "
                                                 "show, replaced by %3")
                                      .arg(QLatin1String(what), QString::fromStdString(name),
                                           QLatin1String(byWhat)));
        name.clear();
    };
    check(entry.xFeatureName, false, "x feature", "the default");
    check(entry.yFeatureName, false, "y feature", "the default");
    check(entry.colorFeatureName, true, "colour feature", "none");
}

} // namespace Quorvex3
