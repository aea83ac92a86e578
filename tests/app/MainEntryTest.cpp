// The program's entry point, run as a child process with a stand-in main
// window: start-up order, exit codes, and exceptions escaping main's steps.
#include "AppTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>

namespace Quorvex3 {
namespace {

class IsolatedHomeEnvironment : public ::testing::Environment {
public:
    void SetUp() override { test::isolateHomeDirectories(); }
};
[[maybe_unused]] ::testing::Environment* const s_environment =
    ::testing::AddGlobalTestEnvironment(new IsolatedHomeEnvironment);

struct ProbeRun {
    int exitCode = -1;
    bool crashed = false;
    QStringList output;
    QString log;
};

/// Runs the entry point with the stand-in window in `mode`, with a state
/// directory of its own, and collects its report lines and its log file.
ProbeRun runEntryPoint(const QString& mode) {
    const QString state =
        QDir(test::isolateHomeDirectories()).filePath(QStringLiteral("state-") + mode);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUORVEX3_PROBE"), mode);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_STATE_HOME"), state);
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));

    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUORVEX3_MAIN_PROBE), QStringList());
    ProbeRun run;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "the entry point did not end";
        return run;
    }
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.output = test::linesOf(QString::fromUtf8(process.readAllStandardOutput()));
    QDirIterator logs(state, {QStringLiteral("Quorvex3_log_*.txt")}, QDir::Files,
                      QDirIterator::Subdirectories);
    if (logs.hasNext()) {
        QFile file(logs.next());
        if (file.open(QIODevice::ReadOnly))
            run.log = QString::fromUtf8(file.readAll());
    }
    return run;
}

// ---- Normal start-up --------------------------------------------------------

TEST(MainEntry, StartsInOrderAndReturnsTheLoopsExitCode) {
    const ProbeRun run = runEntryPoint(QStringLiteral("exit"));
    EXPECT_FALSE(run.crashed);
    EXPECT_EQ(run.exitCode, 3);
    ASSERT_EQ(run.output.size(), 2) << run.output.join('\n').toStdString();
    // The splash is up while the window is built, the application has its
    // name, and the C library formats numbers with a decimal point again.
    EXPECT_EQ(run.output[0], QStringLiteral("constructed splash=1 locale=C name=Quorvex3"));
    const QRegularExpressionMatch shown =
        QRegularExpression(QStringLiteral(R"(^shown after=(\d+) splash=0$)")).match(run.output[1]);
    ASSERT_TRUE(shown.hasMatch()) << run.output[1].toStdString();
    EXPECT_GE(shown.captured(1).toInt(), 1495);
    EXPECT_TRUE(run.log.contains(QStringLiteral("[INFO ] Quorvex3 session started ")));
}

TEST(MainEntry, ExceptionInASlotOpensTheErrorDialogFromTheLoop) {
    const ProbeRun run = runEntryPoint(QStringLiteral("slot-throws"));
    EXPECT_EQ(run.exitCode, 4);
    ASSERT_FALSE(run.output.isEmpty());
    EXPECT_EQ(run.output.last(),
              QStringLiteral("error dialog title=Unexpected Error message=slot failed"));
    EXPECT_TRUE(run.log.contains(QStringLiteral("[ERROR] Unhandled exception: slot failed")));
}

// Under a file-size limit a write beyond it fails with the system's reason
// and the program goes on; once the signal the limit raises ended it, and
// left the temporary file beside the old one.
TEST(MainEntry, AWriteBeyondTheFileSizeLimitFailsAndTheProgramGoesOn) {
    const ProbeRun run = runEntryPoint(QStringLiteral("size-limit"));
    EXPECT_FALSE(run.crashed);
    EXPECT_EQ(run.exitCode, 3);
    ASSERT_EQ(run.output.size(), 3) << run.output.join('\n').toStdString();
    EXPECT_EQ(run.output[2].toStdString(),
              "size limit written=0 error=" + std::string(std::strerror(EFBIG)) +
                  " file=old files=limited.txt");
}

// ---- Exceptions escaping main's own steps -----------------------------------

TEST(MainEntry, ExceptionFromTheWindowConstructorIsLoggedAndFailsTheRun) {
    const struct {
        const char* mode;
        const char* logLine;
    } cases[] = {
        {"throw-std", "[ERROR] Unhandled exception in main: window could not be built"},
        {"throw-hdf5",
         "[ERROR] Unhandled HDF5 exception in main: H5File::openFile: unable to open file"},
        {"throw-other", "[ERROR] Unhandled non-standard exception in main"},
    };
    for (const auto& c : cases) {
        const ProbeRun run = runEntryPoint(QString::fromLatin1(c.mode));
        EXPECT_FALSE(run.crashed) << c.mode;
        EXPECT_NE(run.exitCode, 0) << c.mode;
        EXPECT_TRUE(run.log.contains(QString::fromLatin1(c.logLine))) << c.mode << "\n"
                                                                      << run.log.toStdString();
    }
}

} // namespace
} // namespace Quorvex3
