#pragma once

// Shared set-up of the services' widget and network tests: a private home,
// the log, the application object, endpoints on the loopback server and a
// recorder for the URLs handed to the desktop.

#include "LoopbackServer.h"

#include "services/ServiceEndpoints.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QUrl>

#include <vector>

namespace Quorvex3::testing {

/// Points HOME and the XDG folders at a private directory, installs the
/// program's log, creates the application object with the program's names.
/// Call once per test program from a static initialiser.
void installServicesTestApplication();

/// A 43-byte access key for the tests' feedback server.
inline const QByteArray kTestAccessKey = "test-key-0123456789-abcdefghijklmnopqrstuvw";

/// Endpoints on the loopback server with short time-outs (`timeoutMs`).
ServiceEndpoints loopbackEndpoints(const LoopbackServer& server, int timeoutMs = 5000);

/// Spins the event loop until `done` holds or `ms` passed.
template <typename Predicate> bool waitFor(Predicate done, int ms = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

/// Receives the URLs QDesktopServices::openUrl is given for some schemes,
/// instead of the desktop, while it lives.
class UrlRecorder : public QObject {
    Q_OBJECT

public:
    explicit UrlRecorder(const QStringList& schemes);
    ~UrlRecorder() override;

    std::vector<QUrl> opened;

public slots:
    void openUrl(const QUrl& url) { opened.push_back(url); }

private:
    QStringList m_schemes;
};

} // namespace Quorvex3::testing
