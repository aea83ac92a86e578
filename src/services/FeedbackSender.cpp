#include "services/FeedbackSender.h"

#include "util/Logging.h"
#include "services/FeedbackDialog.h"
#include "services/NetworkReplies.h"
#include "util/DialogProvider.h"

#include <QDialog>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QProgressDialog>

#include <algorithm>
#include <climits>

namespace Quorvex3 {

namespace {

const char* const kProgressObjectName = "feedbackProgress";

void showFailure(QWidget* parent, const QString& reason) {
    DialogProvider::current().warning(parent, QStringLiteral("Feedback Failed"),
                                      QStringLiteral("Could not send feedback.\n\n%1").arg(reason),
                                      QMessageBox::Ok);
}

QProgressDialog* createProgressDialog(QWidget* parent) {
    auto* progress = new QProgressDialog(QStringLiteral("Sending feedback..."),
                                         QStringLiteral("Cancel"), 0, 0, parent);
    progress->setObjectName(QString::fromLatin1(kProgressObjectName));
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(0);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    return progress;
}

} // namespace

FeedbackSender::FeedbackSender(QObject* parent)
    : QObject(parent), m_network(new QNetworkAccessManager(this)), m_endpoints(serviceEndpoints()) {
}

FeedbackReportParts FeedbackSender::gatherParts(const QString& version,
                                                const QString& sessionSummary,
                                                const QString& errorTitle,
                                                const QString& errorMessage) const {
    FeedbackReportParts parts = collectReportParts(version, sessionSummary, errorTitle,
                                                   errorMessage, Logging::recentMessages());
    PrivateTerms terms = systemPrivateTerms();
    terms.paths += m_privateTerms.paths;
    terms.names += m_privateTerms.names;
    scrubReportParts(parts, PrivateTextScrubber(terms));
    return parts;
}

QByteArray FeedbackSender::buildReport(const QString& version, const QString& sessionSummary,
                                       const QString& errorTitle, const QString& errorMessage,
                                       const QString& userComment) const {
    return composeReport(gatherParts(version, sessionSummary, errorTitle, errorMessage),
                         userComment);
}

void FeedbackSender::showDialog(const QString& version, const QString& sessionSummary,
                                QWidget* parent) {
    showDialogForError(version, sessionSummary, QString(), QString(), parent);
}

void FeedbackSender::showDialogForError(const QString& version, const QString& sessionSummary,
                                        const QString& title, const QString& details,
                                        QWidget* parent) {
    const FeedbackReportParts parts = gatherParts(version, sessionSummary, title, details);
    const QString preview = QString::fromUtf8(composeReport(parts, QString()));
    reviewAndSend(createFeedbackDialog(title, details, preview, parent), parts, version, parent);
}

void FeedbackSender::reviewAndSend(QPointer<QDialog> dialog, const FeedbackReportParts& parts,
                                   const QString& version, QPointer<QWidget> parent) {
    const int result = DialogProvider::current().execDialog(*dialog);
    // The parent may have gone while the dialog ran; it took the dialog along.
    if (!dialog)
        return;
    if (result != QDialog::Accepted) {
        dialog->deleteLater();
        return;
    }
    // The dialog is kept until the report is out: after a failure it comes
    // back with the comment the user typed, to try again or to cancel.
    const QByteArray report = composeReport(parts, feedbackComment(*dialog));
    sendReport(report, version, parent, [this, dialog, parts, version, parent](bool failed) {
        if (!dialog)
            return;
        if (failed)
            reviewAndSend(dialog, parts, version, parent);
        else
            dialog->deleteLater();
    });
}

void FeedbackSender::upload(const QByteArray& report, const QString& version, QWidget* parent) {
    sendReport(report, version, parent, nullptr);
}

void FeedbackSender::sendReport(const QByteArray& report, const QString& version, QWidget* parent,
                                std::function<void(bool failed)> done) {
    const QUrl url = m_endpoints.feedbackUrl();
    EndpointStatus status = checkEndpoint(url);
    const QByteArray key = decodeAccessKey(m_endpoints.feedbackKeyTable);
    if (status == EndpointStatus::Usable && key.isEmpty())
        status = EndpointStatus::NotConfigured;
    if (status != EndpointStatus::Usable) {
        showFailure(parent, endpointProblem(status, QStringLiteral("feedback server")));
        if (done)
            done(true);
        return;
    }

    QNetworkRequest request(url);
    request.setRawHeader("X-Api-Key", key);
    request.setRawHeader("X-Version", version.toUtf8());
    request.setRawHeader("X-Setup-Id", "Quorvex3");
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("text/plain"));
    // A redirect would carry the key to wherever it points: none is followed.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(m_endpoints.feedbackTimeoutMs);
    QNetworkReply* reply = m_network->put(request, report);

    QPointer<QWidget> owner = parent;
    QPointer<QProgressDialog> progress = createProgressDialog(parent);
    connect(reply, &QNetworkReply::uploadProgress, progress, [progress](qint64 sent, qint64 total) {
        if (total >= 1) {
            progress->setMaximum(static_cast<int>(std::min<qint64>(total, INT_MAX)));
            progress->setValue(static_cast<int>(std::min<qint64>(sent, INT_MAX)));
        }
    });
    connect(progress, &QProgressDialog::canceled, reply,
            [reply] { markCancelledByUserAndAbort(reply); });
    const int timeoutMs = m_endpoints.feedbackTimeoutMs;
    connect(reply, &QNetworkReply::finished, this, [reply, progress, owner, timeoutMs, done] {
        if (progress) {
            // Closing a progress dialog reports a cancel: not this time.
            progress->disconnect(reply);
            progress->close();
            progress->deleteLater();
        }
        reply->deleteLater();
        bool failed = false;
        if (!isCancelledByUser(*reply)) {
            const QString failure = replyFailure(*reply, timeoutMs);
            failed = !failure.isEmpty();
            if (!failed)
                DialogProvider::current().information(
                    owner, QStringLiteral("Feedback Sent"),
                    QStringLiteral("Thank you! Your report has been sent to BVA support."),
                    QMessageBox::Ok);
            else
                showFailure(owner, failure);
        }
        if (done)
            done(failed);
    });
}

} // namespace Quorvex3
