// Exceptions escaping event delivery: caught by the application object,
// logged at once, reported through a queued signal, and later events still
// delivered.
#include "app/SafeApplication.h"
#include "AppTestSupport.h"
#include "util/Logging.h"

#include <gtest/gtest.h>

#include <H5Cpp.h>

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

namespace Quorvex3 {
namespace {

class ApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        test::isolateHomeDirectories();
        Logging::install();
        m_app = std::make_unique<SafeApplication>(test::applicationArgc(), test::applicationArgv());
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<SafeApplication> m_app;
};
[[maybe_unused]] ::testing::Environment* const s_environment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

SafeApplication* app() {
    return static_cast<SafeApplication*>(QCoreApplication::instance());
}

const QEvent::Type kThrowEvent = static_cast<QEvent::Type>(QEvent::User + 1);
const QEvent::Type kPlainEvent = static_cast<QEvent::Type>(QEvent::User + 2);

/// Receives events; throws whatever `thrower` throws on kThrowEvent and
/// counts kPlainEvent.
class Receiver : public QObject {
public:
    explicit Receiver(std::function<void()> thrower) : m_thrower(std::move(thrower)) {}
    int plainEvents = 0;

protected:
    bool event(QEvent* event) override {
        if (event->type() == kThrowEvent)
            m_thrower();
        if (event->type() == kPlainEvent) {
            ++plainEvents;
            return true;
        }
        return QObject::event(event);
    }

private:
    std::function<void()> m_thrower;
};

/// Records unhandledException as it reaches a queued receiver.
struct Report {
    QString title;
    QString message;
};

class ReportRecorder {
public:
    explicit ReportRecorder(Qt::ConnectionType type = Qt::QueuedConnection) {
        m_connection = QObject::connect(
            app(), &SafeApplication::unhandledException, &m_context,
            [this](const QString& title, const QString& message) {
                reports.push_back({title, message});
            },
            type);
    }
    ~ReportRecorder() { QObject::disconnect(m_connection); }
    std::vector<Report> reports;

private:
    QObject m_context;
    QMetaObject::Connection m_connection;
};

QString lastLogLine() {
    const QStringList lines = test::linesOf(Logging::recentMessages());
    return lines.isEmpty() ? QString() : lines.last();
}

/// Sends one throwing event and checks what happens before and after
/// control returns to the event loop.
void expectGuarded(const std::function<void()>& thrower, const QString& title,
                   const QString& message, const QString& logText) {
    Receiver receiver(thrower);
    ReportRecorder recorder;
    QEvent event(kThrowEvent);
    EXPECT_FALSE(QCoreApplication::sendEvent(&receiver, &event));

    // Logged at once, at critical level; the report waits for the loop.
    EXPECT_TRUE(lastLogLine().endsWith(QStringLiteral("[ERROR] ") + logText))
        << lastLogLine().toStdString();
    EXPECT_TRUE(recorder.reports.empty());

    QCoreApplication::processEvents();
    ASSERT_EQ(recorder.reports.size(), 1u);
    EXPECT_EQ(recorder.reports[0].title, title);
    EXPECT_EQ(recorder.reports[0].message, message);
}

// ---- Kinds of exception -----------------------------------------------------

TEST(SafeApplicationGuard, Hdf5ExceptionIsAFileOrDataError) {
    expectGuarded(
        [] { throw H5::FileIException("H5File::openFile", "unable to open file"); },
        QStringLiteral("File / Data Error"),
        QStringLiteral("H5File::openFile: unable to open file"),
        QStringLiteral("Unhandled HDF5 exception: H5File::openFile: unable to open file"));
}

TEST(SafeApplicationGuard, Hdf5ExceptionWithoutFunctionNameStartsWithTheColon) {
    expectGuarded([] { throw H5::DataSetIException("", "bad extent"); },
                  QStringLiteral("File / Data Error"), QStringLiteral(": bad extent"),
                  QStringLiteral("Unhandled HDF5 exception: : bad extent"));
}

TEST(SafeApplicationGuard, StandardExceptionReportsItsText) {
    expectGuarded(
        [] {
            throw std::runtime_error("Gr\xc3\xb6\xc3\x9f"
                                     "e 5 \xc2\xb5m out of range");
        },
        QStringLiteral("Unexpected Error"), QString::fromUtf8("Größe 5 µm out of range"),
        QString::fromUtf8("Unhandled exception: Größe 5 µm out of range"));
}

TEST(SafeApplicationGuard, AnyOtherThrownValueIsAnUnknownError) {
    expectGuarded([] { throw 42; }, QStringLiteral("Unexpected Error"),
                  QStringLiteral("An unknown error occurred."),
                  QStringLiteral("Unhandled non-standard exception"));
}

// ---- Delivery ---------------------------------------------------------------

TEST(SafeApplicationGuard, SignalIsEmittedBeforeNotifyReturns) {
    Receiver receiver([] { throw std::logic_error("direct"); });
    ReportRecorder direct(Qt::DirectConnection);
    QEvent event(kThrowEvent);
    QCoreApplication::sendEvent(&receiver, &event);
    ASSERT_EQ(direct.reports.size(), 1u);
    EXPECT_EQ(direct.reports[0].message, QStringLiteral("direct"));
}

TEST(SafeApplicationGuard, HandledEventsKeepTheirResult) {
    Receiver receiver([] {});
    QEvent event(kPlainEvent);
    EXPECT_TRUE(QCoreApplication::sendEvent(&receiver, &event));
    EXPECT_EQ(receiver.plainEvents, 1);
}

TEST(SafeApplicationGuard, LaterEventsAreStillDelivered) {
    Receiver receiver([] { throw std::runtime_error("first fails"); });
    ReportRecorder recorder;
    QCoreApplication::postEvent(&receiver, new QEvent(kPlainEvent));
    QCoreApplication::postEvent(&receiver, new QEvent(kThrowEvent));
    QCoreApplication::postEvent(&receiver, new QEvent(kPlainEvent));
    QCoreApplication::postEvent(&receiver, new QEvent(kThrowEvent));
    QCoreApplication::postEvent(&receiver, new QEvent(kPlainEvent));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(receiver.plainEvents, 3);
    // One report per exception; nothing counts or suppresses repeats.
    EXPECT_EQ(recorder.reports.size(), 2u);
}

TEST(SafeApplicationGuard, ThrowingTimerActionIsCaught) {
    ReportRecorder recorder;
    bool laterTimerRan = false;
    QTimer::singleShot(0, [] { throw std::runtime_error("timer action failed"); });
    QTimer::singleShot(0, [&laterTimerRan] { laterTimerRan = true; });
    for (int i = 0; i < 20 && (!laterTimerRan || recorder.reports.empty()); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(laterTimerRan);
    ASSERT_EQ(recorder.reports.size(), 1u);
    EXPECT_EQ(recorder.reports[0].message, QStringLiteral("timer action failed"));
}

} // namespace
} // namespace Quorvex3
