#include "util/FileNameUtil.h"

#include <QRegularExpression>
#include <QStringList>

namespace Quorvex3 {

namespace {

QStringList filterExtensions(const QString& selectedFilter) {
    static const QRegularExpression s_pattern(QStringLiteral("\\*\\.([A-Za-z0-9.]+)"));

    QStringList extensions;
    auto it = s_pattern.globalMatch(selectedFilter);
    while (it.hasNext()) {
        QString ext = QLatin1Char('.') + it.next().captured(1).toLower();
        while (ext.endsWith(QLatin1Char('.')))
            ext.chop(1);
        if (ext.size() >= 2 && !extensions.contains(ext))
            extensions.append(ext);
    }
    return extensions;
}

} // namespace

QString ensureSelectedFilterExtension(const QString& path, const QString& selectedFilter) {
    if (path.isEmpty())
        return path;

    const QStringList extensions = filterExtensions(selectedFilter);
    if (extensions.isEmpty())
        return path;

    const QString lowerPath = path.toLower();
    for (const QString& ext : extensions) {
        if (lowerPath.endsWith(ext))
            return path;
    }
    return path + extensions.first();
}

QString ensureOfferedFilterExtension(const QString& path, const QString& selectedFilter,
                                     const QString& offeredFilters) {
    const QString lowerPath = path.toLower();
    for (const QString& ext : filterExtensions(offeredFilters)) {
        if (lowerPath.endsWith(ext))
            return path;
    }
    return ensureSelectedFilterExtension(path, selectedFilter);
}

} // namespace Quorvex3
