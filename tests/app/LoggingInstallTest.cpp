// Installing the log: the state before, pruning of older log files and a log
// directory that cannot be made. Installing changes the whole process, so
// each scenario that installs runs in a child process of its own.
#include "AppTestSupport.h"
#include "util/Logging.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

namespace Quorvex3 {
namespace {

class IsolatedHomeEnvironment : public ::testing::Environment {
public:
    void SetUp() override { test::isolateHomeDirectories(); }
};
[[maybe_unused]] ::testing::Environment* const s_environment =
    ::testing::AddGlobalTestEnvironment(new IsolatedHomeEnvironment);

/// Ends a child process: exit code 0 when nothing failed, else the failures
/// on standard error and code 1.
[[noreturn]] void finishChild(const QStringList& failures) {
    for (const QString& failure : failures)
        std::fprintf(stderr, "%s\n", failure.toLocal8Bit().constData());
    std::fflush(stderr);
    std::_Exit(failures.isEmpty() ? EXIT_SUCCESS : EXIT_FAILURE);
}

/// Points the log at a state directory of its own and returns the log directory.
QString useStateHome(const QString& name) {
    const QString state = QDir(test::isolateHomeDirectories()).filePath(name);
    qputenv("XDG_STATE_HOME", QFile::encodeName(state));
    return Logging::logDir();
}

/// Writes `count` old logs whose names sort the opposite way to their
/// modification times; the oldest one comes first in the returned list.
QStringList writeOldLogs(const QString& dir, int count) {
    QStringList oldestFirst;
    const QDateTime base = QDateTime::currentDateTime().addDays(-30);
    for (int i = 0; i < count; ++i) {
        const QString path =
            QDir(dir).filePath(QStringLiteral("Quorvex3_log_202601%1_000000.txt").arg(40 - i));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write("old\n");
        file.setFileTime(base.addSecs(60 * i), QFileDevice::FileModificationTime);
        oldestFirst.append(path);
    }
    return oldestFirst;
}

/// Files and a folder that look like logs only partly; pruning keeps them.
QStringList writeBystanders(const QString& dir) {
    const QDir d(dir);
    const QStringList files{d.filePath(QStringLiteral("notes.txt")),
                            d.filePath(QStringLiteral("Quorvex3_log_old.dat"))};
    for (const QString& path : files) {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.setFileTime(QDateTime::currentDateTime().addYears(-5),
                         QFileDevice::FileModificationTime);
    }
    d.mkdir(QStringLiteral("Quorvex3_log_folder.txt"));
    return files + QStringList{d.filePath(QStringLiteral("Quorvex3_log_folder.txt"))};
}

int countLogs(const QString& dir) {
    return QDir(dir).entryList({QStringLiteral("Quorvex3_log_*.txt")}, QDir::Files).size();
}

// ---- Before install ---------------------------------------------------------

TEST(LogBeforeInstall, HasNoFileAndAnEmptyRing) {
    EXPECT_TRUE(Logging::currentLogFilePath().isEmpty());
    EXPECT_EQ(Logging::recentMessages(), QString());
}

// ---- Pruning ----------------------------------------------------------------

TEST(LogPruning, ElevenOldLogsLoseTheOldestOnly) {
    const QString dir = useStateHome(QStringLiteral("prune-eleven"));
    const QStringList logs = writeOldLogs(dir, 11);
    const QStringList bystanders = writeBystanders(dir);
    Logging::pruneOldLogFiles(dir);
    EXPECT_FALSE(QFileInfo::exists(logs.first()));
    for (int i = 1; i < logs.size(); ++i)
        EXPECT_TRUE(QFileInfo::exists(logs[i])) << logs[i].toStdString();
    for (const QString& path : bystanders)
        EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();
}

TEST(LogPruning, TenOldLogsAreAllKept) {
    const QString dir = useStateHome(QStringLiteral("prune-ten"));
    writeOldLogs(dir, 10);
    Logging::pruneOldLogFiles(dir);
    EXPECT_EQ(countLogs(dir), 10);
}

// ---- Install ----------------------------------------------------------------

TEST(LogInstallDeathTest, FirstLineIsTheOnlyLineOfTheRing) {
    EXPECT_EXIT(
        {
            useStateHome(QStringLiteral("first-line"));
            Logging::install();
            QStringList failures;
            const QStringList lines = test::linesOf(Logging::recentMessages());
            if (lines.size() != 1 ||
                Logging::recentMessages() != lines.value(0) + QLatin1Char('\n'))
                failures << QStringLiteral("ring is not one line: ") + Logging::recentMessages();
            if (!lines.value(0).contains(QStringLiteral("[INFO ] Quorvex3 session started ")))
                failures << QStringLiteral("unexpected first line: ") + lines.value(0);
            finishChild(failures);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(LogInstallDeathTest, PrunesOlderLogsToTheTenNewestBeforeStartingItsFile) {
    EXPECT_EXIT(
        {
            const QString dir = useStateHome(QStringLiteral("install-prunes"));
            const QStringList logs = writeOldLogs(dir, 12);
            const QStringList bystanders = writeBystanders(dir);
            Logging::install();
            QStringList failures;
            for (int i = 0; i < logs.size(); ++i)
                if (QFileInfo::exists(logs[i]) != (i >= 2))
                    failures << QStringLiteral("wrong file pruned or kept: ") + logs[i];
            for (const QString& path : bystanders)
                if (!QFileInfo::exists(path))
                    failures << QStringLiteral("deleted a bystander: ") + path;
            if (!QFileInfo(Logging::currentLogFilePath()).isFile())
                failures << QStringLiteral("no log file for this run");
            if (countLogs(dir) != 11)
                failures << QStringLiteral("expected ten old logs and this run's");
            finishChild(failures);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(LogInstallDeathTest, UnusableDirectoryLosesTheFileButNotTheRing) {
    EXPECT_EXIT(
        {
            // A regular file where a parent folder should be: nothing below
            // it can be created, not even by root.
            const QString blocker =
                QDir(test::isolateHomeDirectories()).filePath(QStringLiteral("blocker"));
            QFile file(blocker);
            file.open(QIODevice::WriteOnly);
            file.close();
            qputenv("XDG_STATE_HOME", QFile::encodeName(blocker + QStringLiteral("/state")));
            Logging::install();
            qInfo().noquote() << "kept in memory";
            QStringList failures;
            if (QFileInfo::exists(Logging::currentLogFilePath()))
                failures << QStringLiteral("a log file appeared below a regular file");
            if (!Logging::recentMessages().contains(QStringLiteral("[INFO ] kept in memory\n")))
                failures << QStringLiteral("the ring lost the line");
            finishChild(failures);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace Quorvex3
