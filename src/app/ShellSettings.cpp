#include "app/ShellSettings.h"

#include "plots/ColorMaps.h"

#include <QSettings>
#include <QString>
#include <QVariant>

#include <algorithm>

namespace Quorvex3 {
namespace ShellSettings {

namespace {

const QString kColorMapKey = QStringLiteral("settings/colorMapIndex");
const QString kCheckOnStartupKey = QStringLiteral("updates/checkOnStartup");
const QString kIgnoredVersionKey = QStringLiteral("updates/ignoredVersion");
const QString kViewModeKey = QStringLiteral("datasetView/mode");
const QString kViewDepthKey = QStringLiteral("datasetView/depth");

void writeNow(const QString& key, const QVariant& value) {
    QSettings settings;
    settings.setValue(key, value);
    settings.sync();
}

} // namespace

int colorMapIndex() {
    const int index = QSettings().value(kColorMapKey, 0).toInt();
    return index < 0 || index >= kColorMapCount ? 0 : index;
}

void setColorMapIndex(int index) {
    writeNow(kColorMapKey, index);
}

bool checkUpdatesOnStartup() {
    return QSettings().value(kCheckOnStartupKey, true).toBool();
}

void setCheckUpdatesOnStartup(bool on) {
    writeNow(kCheckOnStartupKey, on);
}

QString ignoredUpdateVersion() {
    return QSettings().value(kIgnoredVersionKey).toString();
}

void setIgnoredUpdateVersion(const QString& version) {
    writeNow(kIgnoredVersionKey, version);
}

bool datasetFolderView() {
    return QSettings().value(kViewModeKey, 0).toInt() == 1;
}

void setDatasetFolderView(bool folderView) {
    writeNow(kViewModeKey, folderView ? 1 : 0);
}

int datasetViewDepth() {
    return std::clamp(QSettings().value(kViewDepthKey, 2).toInt(), 1, 4);
}

void setDatasetViewDepth(int depth) {
    writeNow(kViewDepthKey, depth);
}

} // namespace ShellSettings
} // namespace Quorvex3
