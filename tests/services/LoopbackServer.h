#pragma once

// A scripted HTTP/1.1 server on 127.0.0.1 for the network tests: it records
// each request as it arrived and answers from a queue. No test reaches
// beyond this machine.
//
//     LoopbackServer server;
//     server.answers.push_back(LoopbackAnswer::json(200, R"({"version": "3.4"})"));
//     ... point the code at server.url("/") and run it ...
//     ASSERT_TRUE(server.waitForRequests(1));
//     EXPECT_EQ(server.requests()[0].method, "GET");

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTcpServer>
#include <QUrl>

#include <deque>
#include <vector>

class QTcpSocket;

namespace Quorvex3::testing {

/// One request as the server saw it.
struct LoopbackRequest {
    QByteArray method;
    QByteArray path;
    /// Header names and values in the order they arrived.
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    /// The value of the first header of that name (case-insensitive), or empty.
    QByteArray header(const QByteArray& name) const;
    /// The position of a header among all headers, -1 when missing.
    int headerIndex(const QByteArray& name) const;
};

/// One scripted answer.
struct LoopbackAnswer {
    int status = 200;
    QByteArray reason = "OK";
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    /// Never answer: the connection stays open and silent (for time-outs).
    bool hang = false;
    /// Announce this many bytes more than the body holds, send the body and
    /// keep the connection open: a transfer that never completes.
    int missingBytes = 0;

    static LoopbackAnswer json(int status, const QByteArray& body);
    static LoopbackAnswer redirect(int status, const QByteArray& location);
    static LoopbackAnswer silence();
};

class LoopbackServer : public QObject {
    Q_OBJECT

public:
    /// Listens on 127.0.0.1 on a free port. At most `maxRequests` requests
    /// are served; any beyond are recorded and answered 500.
    explicit LoopbackServer(int maxRequests = 8);
    ~LoopbackServer() override;

    /// http://127.0.0.1:<port> followed by `path`.
    QUrl url(const QString& path = QString()) const;
    /// http://127.0.0.1:<port>: a server address as the services take it.
    QUrl origin() const { return url(); }

    std::deque<LoopbackAnswer> answers;
    const std::vector<LoopbackRequest>& requests() const { return m_requests; }

    /// Runs the event loop until `count` requests arrived or `ms` passed.
    bool waitForRequests(std::size_t count, int ms = 10000);

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    /// Takes one complete request off the socket's buffer, if there is one.
    bool takeRequest(QByteArray& buffer, LoopbackRequest& request);
    void answer(QTcpSocket* socket, const LoopbackAnswer& answer);

    QTcpServer m_server;
    int m_maxRequests;
    std::vector<LoopbackRequest> m_requests;
};

} // namespace Quorvex3::testing
