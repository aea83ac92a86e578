#include "LoopbackServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>

namespace Quorvex3::testing {

namespace {
const char* const kBufferProperty = "loopbackBuffer";
} // namespace

QByteArray LoopbackRequest::header(const QByteArray& name) const {
    const int index = headerIndex(name);
    return index < 0 ? QByteArray() : headers.at(index).second;
}

int LoopbackRequest::headerIndex(const QByteArray& name) const {
    for (int i = 0; i < headers.size(); ++i)
        if (headers.at(i).first.toLower() == name.toLower())
            return i;
    return -1;
}

LoopbackAnswer LoopbackAnswer::json(int status, const QByteArray& body) {
    LoopbackAnswer answer;
    answer.status = status;
    answer.reason = status >= 200 && status < 300 ? "OK" : "Scripted";
    answer.headers = {{"Content-Type", "application/json"}};
    answer.body = body;
    return answer;
}

LoopbackAnswer LoopbackAnswer::redirect(int status, const QByteArray& location) {
    LoopbackAnswer answer;
    answer.status = status;
    answer.reason = "Found";
    answer.headers = {{"Location", location}};
    return answer;
}

LoopbackAnswer LoopbackAnswer::silence() {
    LoopbackAnswer answer;
    answer.hang = true;
    return answer;
}

LoopbackServer::LoopbackServer(int maxRequests) : m_maxRequests(maxRequests) {
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, &LoopbackServer::onNewConnection);
}

LoopbackServer::~LoopbackServer() {
    m_server.close();
}

QUrl LoopbackServer::url(const QString& path) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
}

bool LoopbackServer::waitForRequests(std::size_t count, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (m_requests.size() < count && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return m_requests.size() >= count;
}

void LoopbackServer::onNewConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void LoopbackServer::onReadyRead(QTcpSocket* socket) {
    QByteArray buffer = socket->property(kBufferProperty).toByteArray() + socket->readAll();
    LoopbackRequest request;
    while (takeRequest(buffer, request)) {
        m_requests.push_back(request);
        const bool withinBound = static_cast<int>(m_requests.size()) <= m_maxRequests;
        if (withinBound && !answers.empty()) {
            const LoopbackAnswer next = answers.front();
            answers.pop_front();
            answer(socket, next);
        } else {
            answer(socket, LoopbackAnswer::json(500, "{}"));
        }
    }
    socket->setProperty(kBufferProperty, buffer);
}

bool LoopbackServer::takeRequest(QByteArray& buffer, LoopbackRequest& request) {
    const int headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return false;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    request = LoopbackRequest();
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    request.path = requestLine.value(1);
    for (int i = 1; i < lines.size(); ++i) {
        const int colon = lines[i].indexOf(':');
        if (colon > 0)
            request.headers.append(
                {lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
    }
    const int length = request.header("Content-Length").toInt();
    if (buffer.size() < headerEnd + 4 + length)
        return false;
    request.body = buffer.mid(headerEnd + 4, length);
    buffer.remove(0, headerEnd + 4 + length);
    return true;
}

void LoopbackServer::answer(QTcpSocket* socket, const LoopbackAnswer& answer) {
    if (answer.hang)
        return;
    QByteArray response =
        "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' + answer.reason +
        "\r\nContent-Length: " + QByteArray::number(answer.body.size() + answer.missingBytes) +
        "\r\nConnection: close\r\n";
    for (const auto& header : answer.headers)
        response += header.first + ": " + header.second + "\r\n";
    response += "\r\n" + answer.body;
    socket->write(response);
    if (answer.missingBytes == 0)
        socket->disconnectFromHost();
}

} // namespace Quorvex3::testing
