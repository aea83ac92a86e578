#pragma once

// Shared by the services' widget tests: a scripted HTTP server on 127.0.0.1
// (no test reaches beyond this machine) and a recorder of the URLs handed to
// the desktop.

#include <QDesktopServices>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <deque>
#include <utility>
#include <vector>

namespace Quorvex3::testing {

/// An HTTP response; `missing` bytes announced but never sent keep it open.
inline QByteArray reply(int status, const QByteArray& body, const QByteArray& headers = {},
                        int missing = 0) {
    return "HTTP/1.1 " + QByteArray::number(status) + " Scripted\r\nConnection: close\r\n" +
           headers + "Content-Length: " + QByteArray::number(body.size() + missing) + "\r\n\r\n" +
           body;
}

/// Answers each request with the next scripted response (raw bytes; empty:
/// never answers), 500 once the script is used up; at most 32 requests.
class LoopbackServer : public QTcpServer {
public:
    LoopbackServer() {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        });
    }

    QUrl url(const QString& path = {}) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(path));
    }

    std::deque<QByteArray> answers;
    std::vector<QByteArray> requests; // as they arrived

private:
    void serve(QTcpSocket* socket) {
        static const QRegularExpression s_length(QStringLiteral("\r\ncontent-length: *(\\d+)"),
                                                 QRegularExpression::CaseInsensitiveOption);
        QByteArray buffer = socket->property("received").toByteArray() + socket->readAll();
        for (int end; (end = buffer.indexOf("\r\n\r\n")) >= 0 && requests.size() < 32;) {
            const int length =
                s_length.match(QString::fromLatin1(buffer.left(end))).captured(1).toInt() + end + 4;
            if (buffer.size() < length)
                break;
            requests.push_back(buffer.left(length));
            buffer.remove(0, length);
            socket->write(answers.empty() ? reply(500, "{}") : answers.front());
            if (!answers.empty())
                answers.pop_front();
        }
        socket->setProperty("received", buffer);
    }
};

/// Answers every request with `head` at once, then `body` one byte every
/// `pauseMs`: never silent long enough for a time-out that restarts with
/// each byte.
class TricklingServer : public QTcpServer {
public:
    TricklingServer(QByteArray head, QByteArray body, int pauseMs)
        : m_head(std::move(head)), m_body(std::move(body)) {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this, pauseMs] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                auto* timer = new QTimer(socket);
                connect(timer, &QTimer::timeout, socket, [this, socket, timer] {
                    const int sent = socket->property("sent").toInt();
                    if (sent >= m_body.size()) {
                        timer->stop();
                        return;
                    }
                    socket->write(m_body.mid(sent, 1));
                    socket->setProperty("sent", sent + 1);
                });
                connect(socket, &QTcpSocket::readyRead, timer, [this, socket, timer, pauseMs] {
                    socket->readAll();
                    if (timer->isActive())
                        return;
                    socket->write(m_head);
                    timer->start(pauseMs);
                });
            }
        });
    }

    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(serverPort())); }

private:
    QByteArray m_head;
    QByteArray m_body;
};

/// Receives the file, http and https URLs QDesktopServices::openUrl is
/// given, instead of the desktop, while it lives.
class UrlRecorder : public QObject {
    Q_OBJECT

public:
    UrlRecorder() {
        for (const char* scheme : {"file", "http", "https"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "openUrl");
    }
    std::vector<QUrl> opened;

public slots:
    void openUrl(const QUrl& url) { opened.push_back(url); }
};

} // namespace Quorvex3::testing
