#include "services/NetworkReplies.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QVariant>

namespace Quorvex3 {

namespace {

const char* const kOversizedProperty = "quorvex3Oversized";
const char* const kCancelledProperty = "quorvex3CancelledByUser";

} // namespace

void markOversizedAndAbort(QNetworkReply* reply) {
    reply->setProperty(kOversizedProperty, true);
    reply->abort();
}

bool isOversized(const QNetworkReply& reply) {
    return reply.property(kOversizedProperty).toBool();
}

void markCancelledByUserAndAbort(QNetworkReply* reply) {
    reply->setProperty(kCancelledProperty, true);
    reply->abort();
}

bool isCancelledByUser(const QNetworkReply& reply) {
    return reply.property(kCancelledProperty).toBool();
}

QString replyFailure(const QNetworkReply& reply, int timeoutMs) {
    const QVariant statusAttribute = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int status = statusAttribute.isValid() ? statusAttribute.toInt() : 0;
    const QNetworkReply::NetworkError error = reply.error();

    if (error == QNetworkReply::OperationCanceledError && !isCancelledByUser(reply) &&
        !isOversized(reply))
        return QStringLiteral("The server did not answer within %1 seconds.")
            .arg(timeoutMs / 1000.0);
    if (error != QNetworkReply::NoError)
        return status > 0 ? QStringLiteral("%1 (HTTP status %2)")
                                .arg(reply.errorString(), QString::number(status))
                          : reply.errorString();
    if (status > 0 && (status < 200 || status > 299)) {
        const QString reason =
            reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().trimmed();
        return reason.isEmpty()
                   ? QStringLiteral("The server answered with HTTP status %1.").arg(status)
                   : QStringLiteral("The server answered with HTTP status %1 (%2).")
                         .arg(QString::number(status), reason);
    }
    return {};
}

} // namespace Quorvex3
