#include "services/ServiceEndpoints.h"

#include "ServiceEndpointsConfig.h"

#include <QRegularExpression>

#include <optional>

namespace Quorvex3 {

namespace {

const char* const kUpdateFeedPath = "/media/public_001/Downloads/Quorvex_3/quorvex3_latest.json";
const char* const kDownloadsPath = "/downloads";
const char* const kFeedbackPath = "/upload/";

std::optional<ServiceEndpoints>& installedEndpoints() {
    static std::optional<ServiceEndpoints> s_installed;
    return s_installed;
}

QUrl onServer(const QUrl& server, const char* path) {
    if (server.isEmpty())
        return {};
    QUrl url = server;
    url.setPath(QString::fromLatin1(path));
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

// One byte of the mask that turns the stored table into the key and back.
char maskByte(int i) {
    return static_cast<char>((0x5C + 37 * i) & 0xFF);
}

// "localhost", ::1 or an IPv4 address in 127.0.0.0/8 (QUrl lower-cases
// host names and strips the brackets of IPv6 addresses).
bool isLoopbackHost(const QString& host) {
    if (host == QLatin1String("localhost") || host == QLatin1String("::1"))
        return true;
    static const QRegularExpression s_ipv4Loopback(
        QStringLiteral(R"(^127\.(\d{1,3})\.(\d{1,3})\.(\d{1,3})$)"));
    const QRegularExpressionMatch match = s_ipv4Loopback.match(host);
    if (!match.hasMatch())
        return false;
    for (int i = 1; i <= 3; ++i)
        if (match.captured(i).toInt() > 255)
            return false;
    return true;
}

} // namespace

QUrl ServiceEndpoints::updateFeedUrl() const {
    return onServer(updateServer, kUpdateFeedPath);
}

QUrl ServiceEndpoints::downloadsPageUrl() const {
    return onServer(updateServer, kDownloadsPath);
}

QUrl ServiceEndpoints::feedbackUrl() const {
    return onServer(feedbackServer, kFeedbackPath);
}

ServiceEndpoints ServiceEndpoints::buildDefaults() {
    ServiceEndpoints endpoints;
    endpoints.updateServer = QUrl(QString::fromUtf8(QUORVEX3_UPDATE_SERVER));
    endpoints.feedbackServer = QUrl(QString::fromUtf8(QUORVEX3_FEEDBACK_SERVER));
    endpoints.feedbackKeyTable =
        QByteArray::fromHex(QByteArrayLiteral(QUORVEX3_FEEDBACK_KEY_TABLE));
    endpoints.updateTimeoutMs = QUORVEX3_UPDATE_TIMEOUT_MS;
    endpoints.feedbackTimeoutMs = QUORVEX3_FEEDBACK_TIMEOUT_MS;
    endpoints.maxFeedBytes = QUORVEX3_MAX_FEED_BYTES;
    return endpoints;
}

const ServiceEndpoints& serviceEndpoints() {
    static const ServiceEndpoints s_defaults = ServiceEndpoints::buildDefaults();
    const std::optional<ServiceEndpoints>& installed = installedEndpoints();
    return installed ? *installed : s_defaults;
}

void setServiceEndpoints(const ServiceEndpoints& endpoints) {
    installedEndpoints() = endpoints;
}

EndpointStatus checkEndpoint(const QUrl& url) {
    if (url.isEmpty())
        return EndpointStatus::NotConfigured;
    if (!url.isValid() || url.host().isEmpty() || !url.userInfo().isEmpty())
        return EndpointStatus::NotAllowed;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return EndpointStatus::Usable;
    if (scheme == QLatin1String("http") && isLoopbackHost(url.host()))
        return EndpointStatus::Usable;
    return EndpointStatus::NotAllowed;
}

QString endpointProblem(EndpointStatus status, const QString& what) {
    switch (status) {
    case EndpointStatus::Usable:
        return {};
    case EndpointStatus::NotConfigured:
        return QStringLiteral("No %1 is configured in this build.").arg(what);
    case EndpointStatus::NotAllowed:
        break;
    }
    return QStringLiteral("The %1 configured in this build is not a secure (HTTPS) address.")
        .arg(what);
}

QByteArray decodeAccessKey(const QByteArray& table) {
    if (table.size() != kAccessKeyLength)
        return {};
    QByteArray key(kAccessKeyLength, '\0');
    for (int i = 0; i < kAccessKeyLength; ++i)
        key[i] = static_cast<char>(table[i] ^ maskByte(i));
    return key;
}

QByteArray encodeAccessKey(const QByteArray& key) {
    // The mask is its own inverse.
    return decodeAccessKey(key);
}

} // namespace Quorvex3
