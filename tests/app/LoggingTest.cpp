// The log once installed: line format, the ring of recent lines, the log
// directory, many threads at once and messages raised while a line is
// being written.
#include "util/Logging.h"
#include "AppTestSupport.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <thread>
#include <vector>

namespace Quorvex3 {
namespace {

// The handler installed before the log: it records what the log passes on
// and keeps the test output quiet.
std::atomic<int> s_chainedCount{0};
QMutex s_chainedMutex;
QString s_lastChainedMessage;
int s_lastChainedType = -1;

void recordChainedMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    ++s_chainedCount;
    QMutexLocker locker(&s_chainedMutex);
    s_lastChainedMessage = message;
    s_lastChainedType = type;
}

class LoggingEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        test::isolateHomeDirectories();
        qInstallMessageHandler(recordChainedMessage);
        Logging::install();
    }
};
[[maybe_unused]] ::testing::Environment* const s_environment =
    ::testing::AddGlobalTestEnvironment(new LoggingEnvironment);

QStringList ringLines() {
    return test::linesOf(Logging::recentMessages());
}

QStringList fileLines() {
    QFile file(Logging::currentLogFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return test::linesOf(QString::fromUtf8(file.readAll()));
}

QDateTime wholeSecondsUtc() {
    QDateTime now = QDateTime::currentDateTimeUtc();
    return now.addMSecs(-now.time().msec());
}

// ---- Line format ------------------------------------------------------------

TEST(LogLineFormat, LinesCarryUtcTimeFiveCharacterLevelAndTheText) {
    const QDateTime before = wholeSecondsUtc();
    qDebug().noquote() << "format debug";
    qInfo().noquote() << "format info";
    qWarning().noquote() << "format warning";
    qCritical().noquote() << "format critical";
    const QDateTime after = QDateTime::currentDateTimeUtc();

    const QStringList lines = ringLines().mid(ringLines().size() - 4);
    ASSERT_EQ(lines.size(), 4);
    const QStringList levels{"DEBUG", "INFO ", "WARN ", "ERROR"};
    const QStringList texts{"format debug", "format info", "format warning", "format critical"};
    const QRegularExpression shape(QStringLiteral(R"(^(\S+) \[(.{5})\] (.*)$)"));
    for (int i = 0; i < 4; ++i) {
        const QRegularExpressionMatch match = shape.match(lines[i]);
        ASSERT_TRUE(match.hasMatch()) << lines[i].toStdString();
        const QString stamp = match.captured(1);
        EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$)"))
                        .match(stamp)
                        .hasMatch())
            << stamp.toStdString();
        const QDateTime time = QDateTime::fromString(stamp, Qt::ISODate);
        EXPECT_EQ(time.timeSpec(), Qt::UTC);
        EXPECT_GE(time, before);
        EXPECT_LE(time, after);
        EXPECT_EQ(match.captured(2), levels[i]);
        EXPECT_EQ(match.captured(3), texts[i]);
    }
}

TEST(LogLineFormat, PlaceholdersInTheTextStayUnchanged) {
    qInfo().noquote() << "value %1 and %2 stay, %3 too";
    EXPECT_TRUE(ringLines().last().endsWith(QStringLiteral("[INFO ] value %1 and %2 stay, %3 too")))
        << ringLines().last().toStdString();
}

TEST(LogLineFormat, UnknownMessageTypeGetsQuestionMarks) {
    // A category of its own: Qt drops unknown types in the default category
    // before any handler sees them.
    const QMessageLogContext context(__FILE__, __LINE__, Q_FUNC_INFO, "quorvex3.test");
    qt_message_output(static_cast<QtMsgType>(42), context, QStringLiteral("strange type"));
    EXPECT_TRUE(ringLines().last().endsWith(QStringLiteral("[?????] strange type")))
        << ringLines().last().toStdString();
}

TEST(LogLineFormat, FileStartsWithTheSessionLineAndMatchesTheRing) {
    const QFileInfo file(Logging::currentLogFilePath());
    EXPECT_EQ(file.absolutePath(), Logging::logDir());
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^Quorvex3_log_\d{8}_\d{6}\.txt$)"))
                    .match(file.fileName())
                    .hasMatch())
        << file.fileName().toStdString();

    qInfo().noquote() << "file and ring agree";
    const QStringList lines = fileLines();
    ASSERT_FALSE(lines.isEmpty());
    const QRegularExpression first(
        test::logLinePrefixPattern(QStringLiteral("INFO ")) +
        QStringLiteral(R"(Quorvex3 session started \d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$)"));
    EXPECT_TRUE(first.match(lines.first()).hasMatch()) << lines.first().toStdString();
    EXPECT_EQ(lines.last(), ringLines().last());
}

TEST(LogLineFormat, EveryMessageReachesThePreviousHandlerUnformatted) {
    const int before = s_chainedCount.load();
    qWarning().noquote() << "passed on as it was";
    EXPECT_EQ(s_chainedCount.load(), before + 1);
    QMutexLocker locker(&s_chainedMutex);
    EXPECT_EQ(s_lastChainedMessage, QStringLiteral("passed on as it was"));
    EXPECT_EQ(s_lastChainedType, QtWarningMsg);
}

// ---- Ring of recent lines ---------------------------------------------------

TEST(LogRing, HoldsExactlyTheLast2000Lines) {
    for (int i = 0; i < 2000; ++i)
        qInfo().noquote() << QStringLiteral("ring line %1").arg(i);
    const QString text = Logging::recentMessages();
    EXPECT_TRUE(text.endsWith(QLatin1Char('\n')));
    QStringList lines = test::linesOf(text);
    ASSERT_EQ(lines.size(), 2000);
    EXPECT_TRUE(lines.first().endsWith(QStringLiteral("] ring line 0")));
    EXPECT_TRUE(lines.last().endsWith(QStringLiteral("] ring line 1999")));

    qInfo().noquote() << QStringLiteral("ring line 2000");
    lines = ringLines();
    ASSERT_EQ(lines.size(), 2000);
    EXPECT_TRUE(lines.first().endsWith(QStringLiteral("] ring line 1")));
    EXPECT_TRUE(lines.last().endsWith(QStringLiteral("] ring line 2000")));
}

// ---- Log directory ----------------------------------------------------------

/// Restores XDG_STATE_HOME when a test has changed it.
class StateHomeGuard {
public:
    StateHomeGuard()
        : m_saved(qgetenv("XDG_STATE_HOME")),
          m_wasSet(qEnvironmentVariableIsSet("XDG_STATE_HOME")) {}
    ~StateHomeGuard() {
        if (m_wasSet)
            qputenv("XDG_STATE_HOME", m_saved);
        else
            qunsetenv("XDG_STATE_HOME");
    }

private:
    QByteArray m_saved;
    bool m_wasSet;
};

TEST(LogDirectory, LiesBelowXdgStateHomeWhenItIsSet) {
    StateHomeGuard guard;
    const QString state =
        QDir(test::isolateHomeDirectories()).filePath(QStringLiteral("elsewhere/state"));
    qputenv("XDG_STATE_HOME", QFile::encodeName(state));
    const QString dir = Logging::logDir();
    EXPECT_EQ(dir, QDir(state).filePath(QStringLiteral("bva/quorvex3")));
    EXPECT_TRUE(QFileInfo(dir).isDir());
}

TEST(LogDirectory, FallsBackToLocalStateInHomeWhenUnsetOrEmpty) {
    StateHomeGuard guard;
    const QString expected =
        QDir(test::isolateHomeDirectories()).filePath(QStringLiteral(".local/state/bva/quorvex3"));
    qputenv("XDG_STATE_HOME", QByteArray());
    EXPECT_EQ(Logging::logDir(), expected);
    qunsetenv("XDG_STATE_HOME");
    EXPECT_EQ(Logging::logDir(), expected);
    EXPECT_TRUE(QFileInfo(expected).isDir());
}

// ---- Many threads -----------------------------------------------------------

TEST(LogThreads, EightThreadsOfAThousandMessagesGiveEightThousandWholeLines) {
    constexpr int kThreads = 8;
    constexpr int kMessages = 1000;
    const int chainedBefore = s_chainedCount.load();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int m = 0; m < kMessages; ++m)
                qInfo().noquote() << QStringLiteral("thread %1 message %2").arg(t).arg(m);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(s_chainedCount.load(), chainedBefore + kThreads * kMessages);

    const QRegularExpression anyLine(QStringLiteral(
        R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ \[(DEBUG|INFO |WARN |ERROR|FATAL|\?{5})\] )"));
    const QRegularExpression threadLine(test::logLinePrefixPattern(QStringLiteral("INFO ")) +
                                        QStringLiteral(R"(thread (\d) message (\d+)$)"));
    std::vector<int> nextMessage(kThreads, 0);
    int threadLines = 0;
    for (const QString& line : fileLines()) {
        ASSERT_TRUE(anyLine.match(line).hasMatch()) << "torn line: " << line.toStdString();
        if (!line.contains(QStringLiteral("] thread ")))
            continue;
        const QRegularExpressionMatch match = threadLine.match(line);
        ASSERT_TRUE(match.hasMatch()) << "torn line: " << line.toStdString();
        const int t = match.captured(1).toInt();
        // Each thread's lines appear whole, once, and in the thread's order.
        EXPECT_EQ(match.captured(2).toInt(), nextMessage[t]) << line.toStdString();
        nextMessage[t] = match.captured(2).toInt() + 1;
        ++threadLines;
    }
    EXPECT_EQ(threadLines, kThreads * kMessages);
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(nextMessage[t], kMessages) << "thread " << t;
}

// ---- Messages raised while a line is written --------------------------------

/// Runs `work` on another thread; a deadlock ends the whole test program,
/// since the blocked thread could never be joined.
void runOrDieOnDeadlock(const std::function<void()>& work) {
    std::future<void> done = std::async(std::launch::async, work);
    if (done.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        std::fprintf(stderr, "the log deadlocked on a message raised while writing a line\n");
        std::_Exit(EXIT_FAILURE);
    }
}

void warnWhileWritingOuterLine(const QString& line) {
    if (line.endsWith(QStringLiteral("] outer line")))
        qWarning().noquote() << "nested warning";
}

TEST(LogReentrancy, QtMessageRaisedWhileALineIsWrittenDoesNotDeadlock) {
    Logging::setLineObserver(warnWhileWritingOuterLine);
    runOrDieOnDeadlock([] { qInfo().noquote() << "outer line"; });
    Logging::setLineObserver(nullptr);
    for (const QStringList& lines : {ringLines(), fileLines()}) {
        const int outer =
            lines.lastIndexOf(QRegularExpression(QStringLiteral(R"(.*\[INFO \] outer line$)")));
        ASSERT_GE(outer, 0);
        // Whatever becomes of the nested message, it never tears a line.
        for (int i = outer; i < lines.size(); ++i)
            EXPECT_TRUE(lines[i].endsWith(QStringLiteral("] outer line")) ||
                        lines[i].endsWith(QStringLiteral("[WARN ] nested warning")))
                << lines[i].toStdString();
    }
}

QtMessageHandler s_installedHandler = nullptr;

void reenterHandlerWhileWritingOuterLine(const QString& line) {
    if (line.endsWith(QStringLiteral("] direct outer line")))
        s_installedHandler(QtWarningMsg, QMessageLogContext(),
                           QStringLiteral("direct nested line"));
}

TEST(LogReentrancy, HandlerEnteredAgainWhileWritingQueuesTheNestedLine) {
    // Qt itself keeps a thread's messages from re-entering its handler; the
    // log must not depend on that, so here the handler is called directly.
    s_installedHandler = qInstallMessageHandler(nullptr);
    qInstallMessageHandler(s_installedHandler);
    const int chainedBefore = s_chainedCount.load();
    Logging::setLineObserver(reenterHandlerWhileWritingOuterLine);
    runOrDieOnDeadlock([] { qInfo().noquote() << "direct outer line"; });
    Logging::setLineObserver(nullptr);

    EXPECT_EQ(s_chainedCount.load(), chainedBefore + 2);
    for (const QStringList& lines : {ringLines(), fileLines()}) {
        ASSERT_GE(lines.size(), 2);
        EXPECT_TRUE(lines[lines.size() - 2].endsWith(QStringLiteral("[INFO ] direct outer line")));
        EXPECT_TRUE(lines.last().endsWith(QStringLiteral("[WARN ] direct nested line")));
    }
}

// ---- Fatal messages ---------------------------------------------------------

TEST(LogFatalDeathTest, FatalMessageIsWrittenBeforeTheProcessEnds) {
    EXPECT_DEATH(qFatal("fatal marker"), "");
    ASSERT_FALSE(fileLines().isEmpty());
    EXPECT_TRUE(fileLines().last().endsWith(QStringLiteral("[FATAL] fatal marker")))
        << fileLines().last().toStdString();
}

} // namespace
} // namespace Quorvex3
