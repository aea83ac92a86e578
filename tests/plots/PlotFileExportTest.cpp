// Plot files written through a checked temporary file: each format's page,
// and a writer whose output is spoilt or cut short by a file-size limit,
// which must not replace the old file.

#include "plots/PlotFileExport.h"
#include "support/ChildProcess.h"
#include "support/RtdcFixtureWriter.h"
#include "util/ProcessSetup.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>

#include <cstdio>

namespace Quorvex3 {
namespace {

using testing::TempDir;

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList filesIn(const TempDir& dir) {
    return QDir(QString::fromStdString(dir.path())).entryList(QDir::Files | QDir::Hidden);
}

void drawCross(QPainter& painter, double unitsPerMm) {
    painter.drawLine(QPointF(0, 0), QPointF(40 * unitsPerMm, 30 * unitsPerMm));
}

TEST(PlotFileExport, EachFormatIsWrittenAndChecked) {
    TempDir dir;
    const struct {
        const char* name;
        PlotFileFormat format;
    } cases[] = {{"a.png", PlotFileFormat::Png},
                 {"a.svg", PlotFileFormat::Svg},
                 {"a.pdf", PlotFileFormat::Pdf}};
    for (const auto& c : cases) {
        const QString path = QString::fromStdString(dir.file(c.name));
        QString error;
        EXPECT_EQ(plotFileFormatOf(QFileInfo(path).suffix().toUpper()), c.format);
        ASSERT_TRUE(writePlotPage(path, c.format, QSizeF(40, 30), 150, "t", drawCross, &error))
            << c.name << " " << error.toStdString();
        EXPECT_TRUE(plotFileLooksWritten(path, c.format)) << c.name;
        // Another format's header is not taken for this one.
        EXPECT_FALSE(plotFileLooksWritten(
            path, c.format == PlotFileFormat::Png ? PlotFileFormat::Pdf : PlotFileFormat::Png));
    }
    EXPECT_EQ(filesIn(dir), (QStringList{"a.pdf", "a.png", "a.svg"}));
    QString error;
    EXPECT_FALSE(writePlotPage(QString::fromStdString(dir.file("a.bmp")),
                               plotFileFormatOf("bmp"), QSizeF(40, 30), 150, "t", drawCross,
                               &error));
    EXPECT_FALSE(error.isEmpty());
}

// A file cut short (a full disk, a size limit) starts as its format does
// but lacks its end: it does not count as written, whatever the format.
TEST(PlotFileExport, AFileCutShortIsNotTakenForWritten) {
    TempDir dir;
    const struct {
        const char* name;
        PlotFileFormat format;
    } cases[] = {{"cut.png", PlotFileFormat::Png},
                 {"cut.svg", PlotFileFormat::Svg},
                 {"cut.pdf", PlotFileFormat::Pdf}};
    for (const auto& c : cases) {
        const QString path = QString::fromStdString(dir.file(c.name));
        ASSERT_TRUE(writePlotPage(path, c.format, QSizeF(40, 30), 150, "t", drawCross, nullptr))
            << c.name;
        const QByteArray whole = bytesOf(path);
        ASSERT_TRUE(plotFileLooksWritten(path, c.format)) << c.name;
        // Cut where the end marker is lost but the start is intact.
        const int size = static_cast<int>(whole.size());
        for (const int keep : {size / 2, size - 8}) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(whole.left(keep));
            file.close();
            EXPECT_FALSE(plotFileLooksWritten(path, c.format)) << c.name << " cut to " << keep;
        }
    }
}

// While the page is drawn, something else takes the temporary file's place
// (the device goes on writing to the file it opened): what is left under
// the temporary name is no SVG, the check refuses it and the old file stays.
TEST(PlotFileExport, SpoiltOutputLeavesTheOldFileAndNoTemporary) {
    TempDir dir;
    const QString target = QString::fromStdString(dir.file("old.svg"));
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("<svg>old</svg>");
    }
    auto spoil = [&](QPainter& painter, double unitsPerMm) {
        drawCross(painter, unitsPerMm);
        for (const QString& name : filesIn(dir)) {
            if (name == QLatin1String("old.svg"))
                continue;
            const QString path = QString::fromStdString(dir.file(name.toStdString()));
            QFile::remove(path);
            QFile other(path);
            if (other.open(QIODevice::WriteOnly))
                other.write("garbage");
        }
    };
    QString error;
    EXPECT_FALSE(writePlotPage(target, PlotFileFormat::Svg, QSizeF(40, 30), 150, "t", spoil,
                               &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(bytesOf(target), QByteArray("<svg>old</svg>"));
    EXPECT_EQ(filesIn(dir), QStringList{"old.svg"});
}

// Pages replacing files under a file-size limit, with SIGXFSZ ignored as
// the program ignores it from its start-up: each write fails with a reason,
// the old file stays and nothing is left beside it (the signal's default
// action once ended the program in the middle of the page).
TEST(PlotFileExport, UnderAFileSizeLimitEachFormatFailsAndKeepsTheOldFile) {
    TempDir dir;
    const struct {
        const char* name;
        PlotFileFormat format;
    } cases[] = {{"old.png", PlotFileFormat::Png},
                 {"old.svg", PlotFileFormat::Svg},
                 {"old.pdf", PlotFileFormat::Pdf}};
    // Hundreds of lines: every format needs far more than the limit.
    const auto lines = [](QPainter& painter, double unitsPerMm) {
        for (int i = 0; i < 400; ++i)
            painter.drawLine(QPointF(i % 37 * unitsPerMm, 0),
                             QPointF(40 * unitsPerMm, (i % 29) * unitsPerMm));
    };
    for (const auto& c : cases) {
        QFile old(QString::fromStdString(dir.file(c.name)));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
    }
    const int status = testing::statusInChild([&] {
        ignoreFileSizeLimitSignal();
        int failures = 0;
        for (const auto& c : cases) {
            const QString path = QString::fromStdString(dir.file(c.name));
            QString error;
            bool written = false;
            {
                const testing::FileSizeLimit limit(1024);
                written = writePlotPage(path, c.format, QSizeF(40, 30), 150, "t", lines, &error);
            }
            if (written || error.isEmpty() || bytesOf(path) != "old") {
                std::fprintf(stderr, "%s: written %d, error '%s'\n", c.name, written,
                             error.toUtf8().constData());
                ++failures;
            }
        }
        return failures;
    });
    EXPECT_TRUE(testing::succeeded(status)) << testing::describeStatus(status);
    EXPECT_EQ(filesIn(dir), (QStringList{"old.pdf", "old.png", "old.svg"}));
}

TEST(PlotFileExport, ReadOnlyTargetIsLeftAlone) {
    TempDir dir;
    const QString target = QString::fromStdString(dir.file("ro.png"));
    EXPECT_FALSE(isWriteProtectedFile(target)); // not there yet
    ASSERT_TRUE(writePlotPage(target, PlotFileFormat::Png, QSizeF(10, 10), 150, "t", drawCross,
                              nullptr));
    const QByteArray before = bytesOf(target);
    QFile::setPermissions(target, QFileDevice::ReadOwner);
    EXPECT_TRUE(isWriteProtectedFile(target));
    QString error;
    EXPECT_FALSE(writePlotPage(target, PlotFileFormat::Png, QSizeF(20, 20), 150, "t", drawCross,
                               &error));
    EXPECT_EQ(bytesOf(target), before);
    EXPECT_EQ(filesIn(dir), QStringList{"ro.png"});
    EXPECT_FALSE(isWriteProtectedFile(QString::fromStdString(dir.path()))); // a folder
}

} // namespace
} // namespace Quorvex3
