#include "services/AppLocations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace Quorvex3 {

namespace {

QString& applicationDirOverride() {
    static QString s_override;
    return s_override;
}

} // namespace

QString applicationDir() {
    const QString& override = applicationDirOverride();
    return override.isEmpty() ? QCoreApplication::applicationDirPath() : override;
}

void setApplicationDirOverride(const QString& dir) {
    applicationDirOverride() = dir;
}

QStringList manualCandidates(const QString& appDir) {
    return {appDir + QStringLiteral("/../data/quorvex3.qch"),
            appDir + QStringLiteral("/data/quorvex3.qch"),
            appDir + QStringLiteral("/../Resources/quorvex3.qch")};
}

QString findManual(const QString& appDir) {
    for (const QString& candidate : manualCandidates(appDir))
        if (QFileInfo::exists(candidate))
            return candidate;
    return {};
}

QStringList licensesDirCandidates(const QString& appDir) {
    const QDir dir(appDir);
    QStringList candidates;
    for (const char* relative : {"../Resources/licenses", "licenses", "../share/quorvex3/licenses"})
        candidates << QDir::cleanPath(dir.filePath(QString::fromLatin1(relative)));
    return candidates;
}

QString findLicensesDir(const QString& appDir) {
    for (const QString& candidate : licensesDirCandidates(appDir))
        if (QFileInfo(candidate).isDir())
            return candidate;
    return {};
}

} // namespace Quorvex3
