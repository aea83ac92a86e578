#include "util/Logging.h"

#include <QBasicMutex>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QtGlobal>

#include <atomic>
#include <deque>
#include <vector>

namespace Quorvex3 {

namespace {

QBasicMutex s_logMutex;
QtMessageHandler s_previousHandler = nullptr;
QString s_logFilePath;
std::deque<QString> s_recentLines;
std::atomic<Logging::LineObserver> s_lineObserver{nullptr};

// A Qt message raised while this thread is writing a line (file warnings,
// string conversions) re-enters the handler with the log lock held. The lock
// is not recursive, so such lines wait here and are written right after the
// line in progress instead of deadlocking.
thread_local bool t_writingLine = false;
thread_local std::vector<QString> t_deferredLines;

QString levelName(QtMsgType type) {
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("DEBUG");
    case QtInfoMsg:
        return QStringLiteral("INFO ");
    case QtWarningMsg:
        return QStringLiteral("WARN ");
    case QtCriticalMsg:
        return QStringLiteral("ERROR");
    case QtFatalMsg:
        return QStringLiteral("FATAL");
    }
    return QStringLiteral("?????");
}

QString formatLine(QtMsgType type, const QString& message) {
    // One multi-argument arg(): placeholders inside the message stay as they are.
    return QStringLiteral("%1 [%2] %3")
        .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate), levelName(type), message);
}

/// Appends one line to the ring and the file. Caller holds s_logMutex.
void storeLineLocked(const QString& line) {
    s_recentLines.push_back(line);
    while (s_recentLines.size() > static_cast<size_t>(Logging::kMaxRecentLines))
        s_recentLines.pop_front();
    if (!s_logFilePath.isEmpty()) {
        // Opened and closed per line so every line is on disk even if the
        // process dies right after it.
        QFile file(s_logFilePath);
        if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            file.write(line.toUtf8());
            file.write("\n", 1);
        }
    }
    if (const Logging::LineObserver observer = s_lineObserver.load())
        observer(line);
}

void logMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const QString line = formatLine(type, message);
    if (t_writingLine) {
        t_deferredLines.push_back(line);
    } else {
        t_writingLine = true;
        {
            QMutexLocker locker(&s_logMutex);
            storeLineLocked(line);
            while (!t_deferredLines.empty()) {
                const QString deferred = t_deferredLines.front();
                t_deferredLines.erase(t_deferredLines.begin());
                storeLineLocked(deferred);
            }
        }
        t_writingLine = false;
    }
    if (s_previousHandler)
        s_previousHandler(type, context, message);
}

} // namespace

void Logging::install() {
    const QString dir = logDir();
    pruneOldLogFiles(dir);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_hhmmss"));
    const QString path = QDir(dir).filePath(QStringLiteral("Quorvex3_log_%1.txt").arg(stamp));
    {
        QMutexLocker locker(&s_logMutex);
        s_logFilePath = path;
    }
    const QtMessageHandler previous = qInstallMessageHandler(logMessageHandler);
    // A second install must not chain the handler to itself.
    if (previous != logMessageHandler)
        s_previousHandler = previous;
    qInfo().noquote() << "Quorvex3 session started"
                      << QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

QString Logging::logDir() {
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty())
        base = QDir::home().filePath(QStringLiteral(".local/state"));
    QDir dir(base);
    const QString relative = QStringLiteral("bva/quorvex3");
    dir.mkpath(relative);
    dir.cd(relative);
    return dir.absolutePath();
}

QString Logging::currentLogFilePath() {
    return s_logFilePath;
}

QString Logging::recentMessages() {
    QMutexLocker locker(&s_logMutex);
    QString text;
    for (const QString& line : s_recentLines) {
        text += line;
        text += QLatin1Char('\n');
    }
    return text;
}

void Logging::setLineObserver(LineObserver observer) {
    s_lineObserver.store(observer);
}

void Logging::pruneOldLogFiles(const QString& dirPath) {
    const QFileInfoList logs = QDir(dirPath).entryInfoList({QStringLiteral("Quorvex3_log_*.txt")},
                                                           QDir::Files, QDir::Time);
    for (int i = kKeptLogFiles; i < logs.size(); ++i)
        QFile::remove(logs[i].absoluteFilePath());
}

} // namespace Quorvex3
