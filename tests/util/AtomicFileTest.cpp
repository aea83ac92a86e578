// Atomic file writes: the whole-buffer and streamed writes through a saved
// temporary, and the temporary target of writers that create files by name.
#include "util/AtomicFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <csignal>

namespace Quorvex3 {
namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList filesIn(const QTemporaryDir& dir) {
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

TEST(AtomicFile, AWriteReplacesTheFileOnlyWhenEveryPieceWasWritten) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.json"));
    EXPECT_EQ(writeFileAtomically(path, QByteArray("first")), WriteResult::Written);
    EXPECT_EQ(readAll(path), "first");

    // A producer that gives up part-way changes nothing.
    QString error;
    const WriteResult refused = writeFileAtomically(
        path,
        [](QIODevice& device) {
            device.write("half of it");
            return false;
        },
        &error);
    EXPECT_EQ(refused, WriteResult::WriteFailed);
    EXPECT_EQ(readAll(path), "first");
    EXPECT_EQ(filesIn(dir), QStringList{QStringLiteral("a.json")});

    EXPECT_EQ(writeFileAtomically(path,
                                  [](QIODevice& device) {
                                      return device.write("second ") == 7 &&
                                             device.write("piece") == 5;
                                  }),
              WriteResult::Written);
    EXPECT_EQ(readAll(path), "second piece");

    EXPECT_EQ(writeFileAtomically(dir.filePath(QStringLiteral("missing/a.json")), QByteArray("x"),
                                  &error),
              WriteResult::OpenFailed);
    EXPECT_FALSE(error.isEmpty());
}

TEST(AtomicFile, AFullDiskLeavesTheOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.txt"));
    ASSERT_EQ(writeFileAtomically(path, QByteArray("old")), WriteResult::Written);
    const QByteArray big(1 << 20, 'x');
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = previous;
    lowered.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lowered), 0);
    const WriteResult result = writeFileAtomically(path, big);
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(result, WriteResult::WriteFailed);
    EXPECT_EQ(readAll(path), "old");
    EXPECT_EQ(filesIn(dir), QStringList{QStringLiteral("a.txt")});
}

TEST(TemporaryTarget, IsAHiddenFileBesideTheTargetWithItsExtension) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("QV3export_a.b.avi"));
    TemporaryTarget target(path);
    ASSERT_TRUE(target.create());
    const QFileInfo temporary(target.temporaryPath());
    EXPECT_EQ(temporary.absolutePath(), QFileInfo(path).absolutePath());
    EXPECT_TRUE(temporary.fileName().startsWith(QStringLiteral(".QV3export_a.b.")));
    EXPECT_EQ(temporary.suffix(), QStringLiteral("avi"));
    EXPECT_TRUE(temporary.exists());
    EXPECT_FALSE(QFileInfo::exists(path));

    TemporaryTarget other(path);
    ASSERT_TRUE(other.create());
    EXPECT_NE(other.temporaryPath(), target.temporaryPath());
}

TEST(TemporaryTarget, CommitReplacesTheTargetAndAnythingElseRemovesTheTemporary) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.rtdc"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    {
        TemporaryTarget abandoned(path);
        ASSERT_TRUE(abandoned.create());
        QFile file(abandoned.temporaryPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("half");
    }
    EXPECT_EQ(readAll(path), "old");
    EXPECT_EQ(filesIn(dir), QStringList{QStringLiteral("out.rtdc")});

    TemporaryTarget target(path);
    ASSERT_TRUE(target.create());
    {
        QFile file(target.temporaryPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("new");
    }
    QString error;
    ASSERT_TRUE(target.commit(&error)) << error.toStdString();
    EXPECT_EQ(readAll(path), "new");
    EXPECT_EQ(filesIn(dir), QStringList{QStringLiteral("out.rtdc")});
    EXPECT_FALSE(target.commit(&error)); // nothing left to commit

    TemporaryTarget nowhere(dir.filePath(QStringLiteral("missing/out.rtdc")));
    EXPECT_FALSE(nowhere.create(&error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(nowhere.temporaryPath().isEmpty());
}

} // namespace
} // namespace Quorvex3
