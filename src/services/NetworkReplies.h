#pragma once

#include <QString>

class QNetworkReply;

namespace Quorvex3 {

/// Marks a reply whose body outgrew its cap and aborts it; the reply then
/// finishes with Qt's "operation cancelled" error, which isOversized tells
/// apart from a time-out.
void markOversizedAndAbort(QNetworkReply* reply);
bool isOversized(const QNetworkReply& reply);

/// Marks a reply the user cancelled and aborts it.
void markCancelledByUserAndAbort(QNetworkReply* reply);
bool isCancelledByUser(const QNetworkReply& reply);

/// Why a finished reply failed, for the user; empty when it succeeded (no
/// network error and an HTTP status of 2xx, or none). Qt reports a transfer
/// time-out as a cancelled operation: that one, when neither the user nor a
/// size cap aborted the reply, is named as a time-out of `timeoutMs`. A final
/// status outside 2xx (a redirect that was not followed, an error page) is
/// named with its number.
QString replyFailure(const QNetworkReply& reply, int timeoutMs);

} // namespace Quorvex3
