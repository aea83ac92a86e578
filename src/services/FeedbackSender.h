#pragma once

#include "services/FeedbackReport.h"
#include "services/ServiceEndpoints.h"

#include <QByteArray>
#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QNetworkAccessManager;

namespace Quorvex3 {

/// Builds the feedback report, shows it for review and uploads it. The main
/// window creates one on first use. The report is gathered once, when the
/// dialog opens, and scrubbed of private paths and names before it is
/// shown; "Send" adds only the user's comment, so what leaves the machine
/// is what the user saw. GUI thread only.
class FeedbackSender : public QObject {
    Q_OBJECT

public:
    /// Uses serviceEndpoints() as they are now.
    explicit FeedbackSender(QObject* parent = nullptr);

    void setEndpoints(const ServiceEndpoints& endpoints) { m_endpoints = endpoints; }
    const ServiceEndpoints& endpoints() const { return m_endpoints; }

    /// Paths and names to scrub besides the home folder and the user name
    /// (the open datasets'); replaces the earlier ones.
    void setPrivateTerms(const PrivateTerms& terms) { m_privateTerms = terms; }

    /// A scrubbed report with the time stamp and the log taken now.
    QByteArray buildReport(const QString& version, const QString& sessionSummary,
                           const QString& errorTitle, const QString& errorMessage,
                           const QString& userComment) const;

    /// showDialogForError without an error.
    void showDialog(const QString& version, const QString& sessionSummary, QWidget* parent);
    /// Runs the feedback dialog modally and uploads the previewed report,
    /// with the comment added, when the user chooses "Send". When the upload
    /// fails, the same dialog is shown again after the failure box, with
    /// the comment as typed; a cancelled upload ends the feedback.
    void showDialogForError(const QString& version, const QString& sessionSummary,
                            const QString& title, const QString& details, QWidget* parent);

    /// Starts the upload (one PUT) with a busy indicator and returns; the
    /// outcome is shown in a message box when the reply finishes, except
    /// after the user cancelled. Without a usable feedback address it says
    /// so at once and sends nothing.
    void upload(const QByteArray& report, const QString& version, QWidget* parent);

private:
    /// Runs `dialog` and sends on "Send", until it is sent or cancelled.
    void reviewAndSend(QPointer<QDialog> dialog, const FeedbackReportParts& parts,
                       const QString& version, QPointer<QWidget> parent);
    /// upload(), then `done` (may be empty) with whether it failed: not
    /// after a cancel by the user, nor after a success.
    void sendReport(const QByteArray& report, const QString& version, QWidget* parent,
                    std::function<void(bool failed)> done);

    /// The report's parts, gathered now and scrubbed.
    FeedbackReportParts gatherParts(const QString& version, const QString& sessionSummary,
                                    const QString& errorTitle, const QString& errorMessage) const;

    QNetworkAccessManager* m_network = nullptr;
    ServiceEndpoints m_endpoints;
    PrivateTerms m_privateTerms;
};

} // namespace Quorvex3
