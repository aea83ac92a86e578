#include "services/UpdateFeed.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QUrl>
#include <QVersionNumber>

namespace Quorvex3 {

namespace {

QString stringMember(const QJsonObject& object, const char* key, const QString& fallback) {
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? value.toString() : fallback;
}

} // namespace

bool isNewerVersion(const QString& latest, const QString& current) {
    const QVersionNumber latestNumber = QVersionNumber::fromString(latest);
    if (latestNumber.isNull())
        return false;
    return QVersionNumber::compare(latestNumber, QVersionNumber::fromString(current)) > 0;
}

QString safeDownloadUrl(const QString& candidate, const QString& fallback) {
    const QUrl url(candidate, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    const bool web = scheme == QLatin1String("https") || scheme == QLatin1String("http");
    return url.isValid() && web && !url.host().isEmpty() ? candidate : fallback;
}

UpdateFeedVerdict judgeUpdateFeed(const QByteArray& body, const QString& currentVersion,
                                  const QString& defaultDownloadUrl) {
    UpdateFeedVerdict verdict;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        verdict.outcome = UpdateFeedVerdict::Unreadable;
        return verdict;
    }
    const QJsonObject feed = document.object();
    verdict.latestVersion = stringMember(feed, "version", QString());
    verdict.downloadUrl =
        safeDownloadUrl(stringMember(feed, "url", defaultDownloadUrl), defaultDownloadUrl);
    verdict.notes = stringMember(feed, "notes", QString());

    if (QVersionNumber::fromString(verdict.latestVersion).isNull())
        verdict.outcome = UpdateFeedVerdict::UnrecognisedVersion;
    else if (isNewerVersion(verdict.latestVersion, currentVersion))
        verdict.outcome = UpdateFeedVerdict::Newer;
    else
        verdict.outcome = UpdateFeedVerdict::UpToDate;
    return verdict;
}

} // namespace Quorvex3
