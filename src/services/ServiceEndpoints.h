#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace Quorvex3 {

/// Where the update check and the feedback upload go, and how long they may
/// take. The paths on each server are fixed by the program; only the servers
/// (scheme, host, port) and the access key are the maker's to configure, at
/// build time (CMake cache variables QUORVEX3_UPDATE_SERVER,
/// QUORVEX3_FEEDBACK_SERVER, QUORVEX3_FEEDBACK_KEY_TABLE, ...). An empty
/// server means "not configured": nothing is sent there.
struct ServiceEndpoints {
    /// Server of the update feed and the downloads page, e.g.
    /// "https://www.example.com"; empty when not configured.
    QUrl updateServer;
    /// Server that accepts feedback reports; empty when not configured.
    QUrl feedbackServer;
    /// The feedback access key in stored form (see decodeAccessKey):
    /// kAccessKeyLength bytes, or empty when not configured.
    QByteArray feedbackKeyTable;
    /// Longest time from the request to the last byte of the update feed
    /// before the check is given up, in milliseconds.
    int updateTimeoutMs = 15000;
    /// Longest pause in the feedback upload before it is given up, in
    /// milliseconds.
    int feedbackTimeoutMs = 60000;
    /// Largest update feed body read, in bytes; a larger one is unreadable.
    qint64 maxFeedBytes = 64 * 1024;

    /// The update feed document on the update server; empty when the
    /// server is not configured.
    QUrl updateFeedUrl() const;
    /// The maker's downloads page, offered when the feed names no usable one.
    QUrl downloadsPageUrl() const;
    /// Where reports are uploaded; empty when the server is not configured.
    QUrl feedbackUrl() const;

    /// The values this build was configured with.
    static ServiceEndpoints buildDefaults();
};

/// The endpoints the services start with: the build's defaults unless a test
/// installed others with setServiceEndpoints.
const ServiceEndpoints& serviceEndpoints();
void setServiceEndpoints(const ServiceEndpoints& endpoints);

/// Whether a URL may be contacted: HTTPS to any host, or plain HTTP to this
/// machine's loopback address only (never elsewhere, so neither a report nor
/// the access key crosses a network unencrypted).
enum class EndpointStatus { Usable, NotConfigured, NotAllowed };
EndpointStatus checkEndpoint(const QUrl& url);

/// The user-facing reason why an endpoint of status `status` cannot be used
/// ("update server" or "feedback server" as `what`); empty when usable.
QString endpointProblem(EndpointStatus status, const QString& what);

/// Length of the feedback access key, in bytes.
inline constexpr int kAccessKeyLength = 43;

/// Builds the access key byte by byte from its stored table; the key is never
/// kept whole in the program's data. Empty when the table does not have
/// kAccessKeyLength bytes.
QByteArray decodeAccessKey(const QByteArray& table);
/// The stored table of a key (the inverse of decodeAccessKey), for the maker
/// to configure a build; empty unless the key has kAccessKeyLength bytes.
QByteArray encodeAccessKey(const QByteArray& key);

} // namespace Quorvex3
