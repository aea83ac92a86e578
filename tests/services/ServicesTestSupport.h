#pragma once

// Shared by the services' widget tests: a scripted HTTP server on 127.0.0.1
// (no test reaches beyond this machine), endpoints on it, and a recorder of
// the URLs handed to the desktop.

#include "app/MainWindowTestSupport.h"
#include "services/ServiceEndpoints.h"

#include <QDesktopServices>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

#include <deque>
#include <map>
#include <vector>

namespace Quorvex3::testing {

/// Answers each request with the next scripted response (raw bytes; empty:
/// never answers) and records it. Once the script is used up it answers 500;
/// it stops listening after 32 requests.
class LoopbackServer : public QTcpServer {
public:
    struct Request {
        QByteArray head; // request line and headers, as they arrived
        QByteArray body;
    };

    LoopbackServer() {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        });
    }

    /// A response; `missing` bytes announced but never sent keep it open.
    static QByteArray reply(int status, const QByteArray& body, const QByteArray& headers = {},
                            int missing = 0) {
        return "HTTP/1.1 " + QByteArray::number(status) + " Scripted\r\nConnection: close\r\n" +
               headers + "Content-Length: " + QByteArray::number(body.size() + missing) +
               "\r\n\r\n" + body;
    }

    QUrl url(const QString& path = {}) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(path));
    }
    bool waitForRequests(std::size_t count) {
        return test::waitUntil([&] { return requests.size() >= count; });
    }

    std::deque<QByteArray> answers;
    std::vector<Request> requests;

private:
    void serve(QTcpSocket* socket) {
        static const QRegularExpression s_length(QStringLiteral("\r\ncontent-length: *(\\d+)"),
                                                 QRegularExpression::CaseInsensitiveOption);
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        for (int end; (end = buffer.indexOf("\r\n\r\n")) >= 0;) {
            const QByteArray head = buffer.left(end);
            const int length = s_length.match(QString::fromLatin1(head)).captured(1).toInt();
            if (buffer.size() < end + 4 + length)
                return;
            requests.push_back({head, buffer.mid(end + 4, length)});
            buffer.remove(0, end + 4 + length);
            socket->write(answers.empty() ? reply(500, "{}") : answers.front());
            if (!answers.empty())
                answers.pop_front();
            if (requests.size() >= 32)
                close();
        }
    }

    std::map<QTcpSocket*, QByteArray> m_buffers;
};

/// A 43-byte access key for the tests' feedback server.
inline const QByteArray kTestAccessKey = "test-key-0123456789-abcdefghijklmnopqrstuvw";

/// Both services on `server`, with short time-outs.
inline ServiceEndpoints loopbackEndpoints(const LoopbackServer& server, int timeoutMs = 500) {
    ServiceEndpoints endpoints;
    endpoints.updateServer = endpoints.feedbackServer = server.url();
    endpoints.feedbackKeyTable = encodeAccessKey(kTestAccessKey);
    endpoints.updateTimeoutMs = endpoints.feedbackTimeoutMs = timeoutMs;
    return endpoints;
}

/// Receives the file, http and https URLs QDesktopServices::openUrl is
/// given, instead of the desktop, while it lives.
class UrlRecorder : public QObject {
    Q_OBJECT

public:
    UrlRecorder() {
        for (const char* scheme : {"file", "http", "https"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "openUrl");
    }
    ~UrlRecorder() override {
        for (const char* scheme : {"file", "http", "https"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    std::vector<QUrl> opened;

public slots:
    void openUrl(const QUrl& url) { opened.push_back(url); }
};

} // namespace Quorvex3::testing
