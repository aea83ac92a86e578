#pragma once

#include "services/ServiceEndpoints.h"

#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

namespace Quorvex3 {

/// Asks the update feed whether a newer version exists. The main window
/// creates one on first use and turns its signals into message boxes.
///
/// Each check is one GET of the feed; several may be in flight, and each
/// reply is judged with the silent flag of its own request: a silent check
/// reports only news, an interactive one always ends in exactly one signal.
/// GUI thread only; replies arrive through the event loop.
class UpdateChecker : public QObject {
    Q_OBJECT

public:
    /// Uses serviceEndpoints() as they are now.
    explicit UpdateChecker(QObject* parent = nullptr);

    /// The installed version, "3.3.99"; also the feedback report's version.
    static QString currentVersion();

    void setEndpoints(const ServiceEndpoints& endpoints) { m_endpoints = endpoints; }
    const ServiceEndpoints& endpoints() const { return m_endpoints; }

    /// Starts one check and returns; the outcome arrives as one signal or
    /// none. Without a usable feed address a silent check sends nothing and
    /// an interactive one fails with the reason.
    void check(bool silent);

signals:
    /// A newer version; `silent` is the flag of the request that found it.
    void updateAvailable(const QString& latestVersion, const QString& downloadUrl,
                         const QString& notes, bool silent);
    void upToDate(const QString& currentVersion);
    void checkFailed(const QString& errorMessage);

private:
    /// Judges a finished reply and emits at most one signal.
    void handleReply(QNetworkReply* reply, bool silent);
    /// Aborts a download whose body grows beyond the cap.
    void watchBodySize(QNetworkReply* reply);

    QNetworkAccessManager* m_network = nullptr;
    ServiceEndpoints m_endpoints;
};

} // namespace Quorvex3
