// Atomic file writes that fail part-way: the old file stays, nothing is
// left beside it, and the reason is the system's own.
#include "util/AtomicFile.h"
#include "support/ChildProcess.h"
#include "util/ProcessSetup.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <functional>

namespace Quorvex3 {
namespace {

using testing::FileSizeLimit;

// A write cut short by the system reports nothing of its own in Qt (errno
// is kept only when not a single byte was written), so these once all
// ended as "Unknown error".
TEST(AtomicFile, AWriteCutShortKeepsTheOldFileAndGivesTheSystemsReason) {
    const QByteArray large(256 * 1024, 'x');
    const auto smallPieces = [](QIODevice& device) {
        const QByteArray line(100, 'y');
        for (int i = 0; i < 2000; ++i)
            if (device.write(line) != line.size())
                return false;
        return true;
    };
    const auto oneLargePiece = [&large](QIODevice& device) {
        return device.write(large) == large.size();
    };
    const auto largeAfterSmall = [&large](QIODevice& device) {
        return device.write("head\n", 5) == 5 && device.write(large) == large.size();
    };
    const struct {
        const char* what;
        std::function<WriteResult(const QString&, QString*)> write;
    } cases[] = {
        {"bytes in one call",
         [&](const QString& path, QString* error) {
             return writeFileAtomically(path, large, error);
         }},
        {"many small buffered writes",
         [&](const QString& path, QString* error) {
             return writeFileAtomically(path, smallPieces, error);
         }},
        {"one write beyond the buffer",
         [&](const QString& path, QString* error) {
             return writeFileAtomically(path, oneLargePiece, error);
         }},
        {"a buffered head, then a large write",
         [&](const QString& path, QString* error) {
             return writeFileAtomically(path, largeAfterSmall, error);
         }},
    };
    const QString systemReason = QString::fromLocal8Bit(std::strerror(EFBIG));
    // As the program runs: a write beyond the limit fails instead of
    // ending the process.
    ignoreFileSizeLimitSignal();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("table.tsv"));
        ASSERT_EQ(writeFileAtomically(path, QByteArray("old\n")), WriteResult::Written);
        QString error;
        WriteResult result = WriteResult::Written;
        {
            const FileSizeLimit limit(10000);
            ASSERT_TRUE(limit.active());
            result = c.write(path, &error);
        }
        EXPECT_EQ(result, WriteResult::WriteFailed);
        EXPECT_EQ(error.toStdString(), systemReason.toStdString());
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::ReadOnly));
        EXPECT_EQ(old.readAll(), QByteArray("old\n"));
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QStringLiteral("table.tsv")});
    }
}

} // namespace
} // namespace Quorvex3
