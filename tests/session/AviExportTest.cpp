// The AVI export of a dataset's images, checked by ffprobe and OpenCV in
// avi_oracle.py, run as
//   /usr/bin/python3 tests/session/avi_oracle.py SOURCE AVI --indices ... --codec ...
// duplicate camera frames, frames that cannot be written, and failures that
// keep an existing file and leave nothing behind.
#include "SessionTestSupport.h"

#include "session/AviExport.h"
#include "session/DatasetExport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <memory>

namespace Quorvex3 {
namespace {

using testing::TempDir;

class AviExport : public ::testing::Test {
protected:
    void open(const test::SourceOptions& options = {}) {
        m_source = m_dir.file("a.RTDC");
        test::writeSourceMeasurement(m_source, options);
        m_reader = std::make_unique<RTDCReader>();
        ASSERT_TRUE(m_reader->openFile(m_source));
        m_metadata = m_reader->readMetadata();
    }

    /// Exports the events whose area lies in [lo, hi].
    ExportOutcome exportAvi(bool mjpeg, bool skipDuplicates, double lo = 0.0, double hi = 1e9) {
        DatasetExportJob job;
        job.reader = m_reader.get();
        job.filePath = m_source;
        job.displayName = QStringLiteral("a");
        job.metadata = &m_metadata;
        FilterRule rule;
        rule.featureName = "area_um";
        rule.minValue = lo;
        rule.maxValue = hi;
        job.effectiveFilter.addRule(rule);
        ExportResult choices;
        choices.formatAvi = true;
        choices.aviMjpeg = mjpeg;
        choices.aviSkipDuplicateFrames = skipDuplicates;
        return exportDataset(job, choices);
    }

    test::ProcessResult oracle(const ExportOutcome& outcome, const QString& indices,
                               const QString& codec) {
        return test::runOracle(QStringLiteral("avi_oracle.py"),
                               {QString::fromStdString(m_source), outcome.path,
                                QStringLiteral("--indices"), indices, QStringLiteral("--codec"),
                                codec});
    }

    TempDir m_dir;
    std::string m_source;
    std::unique_ptr<RTDCReader> m_reader;
    RTDCMetadata m_metadata;
};

TEST_F(AviExport, RawFramesKeepEveryPixelOfRowsThatAreNoMultipleOfFourBytes) {
    open();
    const ExportOutcome outcome = exportAvi(false, false);
    ASSERT_EQ(outcome.status, ExportOutcome::Status::Written) << outcome.error.toStdString();
    EXPECT_EQ(outcome.path, QString::fromStdString(m_dir.file("QV3export_a.avi")));
    EXPECT_EQ(outcome.eventsWritten, 6u);
    const test::ProcessResult check =
        oracle(outcome, QStringLiteral("0,1,2,3,4,5"), QStringLiteral("rawvideo"));
    EXPECT_EQ(check.exitCode, 0) << check.err.toStdString();
}

TEST_F(AviExport, MjpegFramesStayCloseToTheImages) {
    open();
    const ExportOutcome outcome = exportAvi(true, false, 0.0, 50.0); // events 0 to 4
    ASSERT_EQ(outcome.status, ExportOutcome::Status::Written) << outcome.error.toStdString();
    const test::ProcessResult check =
        oracle(outcome, QStringLiteral("0,1,2,3,4"), QStringLiteral("mjpeg"));
    EXPECT_EQ(check.exitCode, 0) << check.err.toStdString();
}

TEST_F(AviExport, OfEachCameraFrameOnlyTheFirstEventIsWritten) {
    const struct {
        std::vector<double> frames;
        double maxArea;
        QString written;
        std::size_t duplicates;
    } cases[] = {
        // Frames 7, 7, 8: two video frames.
        {{7, 7, 8, 9, 10, 11}, 30.0, QStringLiteral("0,2"), 1},
        // No frame feature: nothing is a duplicate.
        {{}, 30.0, QStringLiteral("0,1,2"), 0},
        // NaN and infinite frame numbers are never duplicates; 8.9 and 8.2
        // are one frame, -0.5 and 0.5 one frame (both truncate to zero).
        {{NAN, NAN, 8.9, 8.2, INFINITY, INFINITY}, 1e9, QStringLiteral("0,1,2,4,5"), 1},
        {{-0.5, 0.5, 3, 3, 3, 4}, 1e9, QStringLiteral("0,2,5"), 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written.toStdString());
        test::SourceOptions options;
        options.frames = c.frames;
        open(options);
        const ExportOutcome outcome = exportAvi(false, true, 0.0, c.maxArea);
        ASSERT_EQ(outcome.status, ExportOutcome::Status::Written) << outcome.error.toStdString();
        EXPECT_EQ(outcome.duplicateFrames, c.duplicates);
        const test::ProcessResult check = oracle(outcome, c.written, QStringLiteral("rawvideo"));
        EXPECT_EQ(check.exitCode, 0) << check.err.toStdString();
        m_reader.reset();
        QFile::remove(outcome.path);
    }
}

TEST_F(AviExport, UnreadableImagesAndImagesOfAnotherSizeAreLeftOutAndCounted) {
    const std::string path = m_dir.file("frames.avi");
    const AviFrameSource frames = [](int event, int& width, int& height) {
        if (event == 2)
            return std::vector<std::uint8_t>();
        width = event == 3 ? 8 : 6;
        height = 4;
        return std::vector<std::uint8_t>(static_cast<std::size_t>(width * height),
                                         static_cast<std::uint8_t>(40 * event));
    };
    const AviOutcome outcome =
        writeAviFile(QString::fromStdString(path), {0, 1, 2, 3, 4}, frames, nullptr, false);
    ASSERT_EQ(outcome.status, AviOutcome::Status::Written) << outcome.error.toStdString();
    EXPECT_EQ(outcome.framesWritten, 3u);
    EXPECT_EQ(outcome.unreadableImages, 1u);
    EXPECT_EQ(outcome.mismatchedImages, 1u);
    const test::ProcessResult probe = test::runProgram(
        QStringLiteral("ffprobe"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
         QStringLiteral("-show_entries"), QStringLiteral("stream=nb_read_frames,width,height"),
         QStringLiteral("-of"), QStringLiteral("csv=p=0"), QString::fromStdString(path)});
    EXPECT_EQ(probe.out.trimmed(), QStringLiteral("6,4,3"));

    ExportOutcome wrapped;
    wrapped.status = ExportOutcome::Status::Written;
    wrapped.unreadableImages = outcome.unreadableImages;
    wrapped.mismatchedImages = outcome.mismatchedImages;
    EXPECT_EQ(exportNotices(wrapped),
              (QStringList{
                  QStringLiteral("1 image(s) could not be read and were left out"),
                  QStringLiteral("1 frame(s) left out: image size differs from the first image")}));
}

TEST_F(AviExport, WithoutAFirstImageOrAnyImageNothingIsWritten) {
    const AviFrameSource none = [](int, int&, int&) { return std::vector<std::uint8_t>(); };
    const QString path = QString::fromStdString(m_dir.file("none.avi"));
    EXPECT_EQ(writeAviFile(path, {0, 1}, none, nullptr, true).status,
              AviOutcome::Status::NoImageSize);
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(failureMessage(
                  [] {
                      ExportOutcome o;
                      o.status = ExportOutcome::Status::NoImageSize;
                      return o;
                  }(),
                  QStringLiteral("a"))
                  .text,
              QStringLiteral("Failed to read image dimensions."));

    test::SourceOptions options;
    options.images = false;
    open(options);
    const ExportOutcome outcome = exportAvi(true, false);
    EXPECT_EQ(outcome.status, ExportOutcome::Status::NoImages);
    const ExportMessage message = failureMessage(outcome, QStringLiteral("a"));
    EXPECT_EQ(message.kind, ExportMessage::Kind::Warning);
    EXPECT_EQ(message.text, QStringLiteral("No images available in: a"));
    EXPECT_EQ(test::filesIn(m_dir.path()), QStringList{QStringLiteral("a.RTDC")});
}

TEST_F(AviExport, AFullDiskKeepsTheExistingFileAndLeavesNothingBehind) {
    const QString path = QString::fromStdString(m_dir.file("video.avi"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("precious");
    }
    const AviFrameSource frames = [](int event, int& width, int& height) {
        width = 250;
        height = 80;
        return std::vector<std::uint8_t>(250 * 80, static_cast<std::uint8_t>(event));
    };
    std::vector<int> events(40);
    for (int i = 0; i < 40; ++i)
        events[static_cast<std::size_t>(i)] = i;
    AviOutcome outcome;
    {
        test::FileSizeLimit limit(100000); // five of the 40 raw frames
        ASSERT_TRUE(limit.active());
        outcome = writeAviFile(path, events, frames, nullptr, false);
    }
    EXPECT_EQ(outcome.status, AviOutcome::Status::WriteFailed);
    EXPECT_FALSE(outcome.error.isEmpty());
    QFile kept(path);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "precious");
    EXPECT_EQ(test::filesIn(m_dir.path()), QStringList{QStringLiteral("video.avi")});
}

TEST_F(AviExport, AnUnwritableFolderIsReportedAsAVideoFileThatCouldNotBeCreated) {
    const AviFrameSource frames = [](int, int& width, int& height) {
        width = height = 4;
        return std::vector<std::uint8_t>(16, 1);
    };
    const AviOutcome outcome =
        writeAviFile(QString::fromStdString(m_dir.file("gone/v.avi")), {0}, frames, nullptr, true);
    EXPECT_EQ(outcome.status, AviOutcome::Status::EncoderNotOpened);
    ExportOutcome wrapped;
    wrapped.status = ExportOutcome::Status::EncoderNotOpened;
    wrapped.path = QStringLiteral("/x/v.avi");
    const ExportMessage message = failureMessage(wrapped, QStringLiteral("a"));
    EXPECT_EQ(message.title, QStringLiteral("Export Error"));
    EXPECT_EQ(message.text, QStringLiteral("Failed to create video file: /x/v.avi"));
}

} // namespace
} // namespace Quorvex3
