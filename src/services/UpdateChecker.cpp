#include "services/UpdateChecker.h"

#include "services/NetworkReplies.h"
#include "services/UpdateFeed.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace Quorvex3 {

UpdateChecker::UpdateChecker(QObject* parent)
    : QObject(parent), m_network(new QNetworkAccessManager(this)), m_endpoints(serviceEndpoints()) {
}

QString UpdateChecker::currentVersion() {
    return QStringLiteral("3.3.99");
}

void UpdateChecker::check(bool silent) {
    const QUrl feedUrl = m_endpoints.updateFeedUrl();
    const EndpointStatus status = checkEndpoint(feedUrl);
    if (status != EndpointStatus::Usable) {
        if (!silent) {
            // Like a network outcome, the answer comes from the event loop.
            const QString problem = endpointProblem(status, QStringLiteral("update server"));
            QTimer::singleShot(0, this, [this, problem] { emit checkFailed(problem); });
        }
        return;
    }

    QNetworkRequest request(feedUrl);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("Quorvex3/%1").arg(currentVersion()));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = m_network->get(request);
    watchBodySize(reply);
    // Qt's transfer time-out starts again with every byte, so a server that
    // trickles its answer would keep the check open for ever: the time-out
    // counts from the request. The abort reads as a time-out (replyFailure).
    QTimer::singleShot(m_endpoints.updateTimeoutMs, reply, [reply] {
        if (!reply->isFinished())
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, silent] {
        handleReply(reply, silent);
        reply->deleteLater();
    });
}

void UpdateChecker::watchBodySize(QNetworkReply* reply) {
    const qint64 cap = m_endpoints.maxFeedBytes;
    connect(reply, &QNetworkReply::downloadProgress, reply,
            [reply, cap](qint64 received, qint64 total) {
                if (received > cap || total > cap)
                    markOversizedAndAbort(reply);
            });
}

void UpdateChecker::handleReply(QNetworkReply* reply, bool silent) {
    const QString failure = replyFailure(*reply, m_endpoints.updateTimeoutMs);
    QByteArray body;
    if (failure.isEmpty() && !isOversized(*reply))
        body = reply->read(m_endpoints.maxFeedBytes + 1);
    const bool tooLarge = isOversized(*reply) || body.size() > m_endpoints.maxFeedBytes;

    if (!tooLarge && !failure.isEmpty()) {
        if (!silent)
            emit checkFailed(failure);
        return;
    }
    const UpdateFeedVerdict verdict =
        tooLarge
            ? UpdateFeedVerdict{}
            : judgeUpdateFeed(body, currentVersion(), m_endpoints.downloadsPageUrl().toString());
    switch (verdict.outcome) {
    case UpdateFeedVerdict::Newer:
        emit updateAvailable(verdict.latestVersion, verdict.downloadUrl, verdict.notes, silent);
        return;
    case UpdateFeedVerdict::UpToDate:
        if (!silent)
            emit upToDate(currentVersion());
        return;
    case UpdateFeedVerdict::Unreadable:
        if (!silent)
            emit checkFailed(QString::fromUtf8(kUnreadableFeedMessage));
        return;
    case UpdateFeedVerdict::UnrecognisedVersion:
        if (!silent)
            emit checkFailed(QString::fromUtf8(kUnrecognisedVersionMessage));
        return;
    }
}

} // namespace Quorvex3
