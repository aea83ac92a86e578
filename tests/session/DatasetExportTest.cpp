// Exports of a dataset as .rtdc, TSV and AVI, each checked against its
// source by export_oracle.py (h5py, h5dump, numpy, ffprobe, OpenCV), run as
//   /usr/bin/python3 tests/session/export_oracle.py rtdc|tsv|avi SOURCE EXPORT SPEC...
// failures that must leave no file behind, and the planning: names, the
// record of the filter, the closing messages.
#include "SessionTestSupport.h"

#include "session/AviExport.h"
#include "session/ExportFileDriver.h"
#include "session/ExportPlanning.h"
#include "session/TsvExport.h"
#include "support/ChildProcess.h"
#include "util/ProcessSetup.h"

#include <QFileInfo>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>

namespace Quorvex3 {
namespace {

using Status = ExportOutcome::Status;
using Record = std::map<std::string, std::string>;
using test::range;
using testing::describeStatus;
using testing::statusInChild;

ExportResult everything() {
    ExportResult choices;
    choices.features = {"area_um", "deform", "bright_avg", "edge", "frame", "short_col", "missing"};
    choices.includeImages = choices.includeMasks = choices.includeTraces = true;
    return choices;
}

Record filterRecordOf(const QString& path) {
    RTDCReader reader;
    EXPECT_TRUE(reader.openFile(QFile::encodeName(path).toStdString()));
    return reader.readMetadata().offlineFilter;
}

FilterRule polygon(const char* x, const char* y, int scaleX, int scaleY, bool inverted = false) {
    FilterRule rule = range(x, 0, 0, inverted);
    rule.type = 1;
    rule.featureNameY = y;
    rule.polygonVertices = {{0, 0}, {100, 0}, {100, 1}};
    rule.scaleXMode = scaleX;
    rule.scaleYMode = scaleY;
    return rule;
}

using DatasetExport = test::ExportFixture;

TEST_F(DatasetExport, NotModeAndAGroupRuleOnAFeatureTheDatasetLacksSelectTheEventsNumpySelects) {
    EventFilter filter;
    filter.setCombineMode(FilterCombineMode::NOT);
    filter.addRule(range("area_um", 15.0, 45.0));
    filter.addRule(range("volume", 0.0, 1.0));    // a group's rule: this dataset has no volume
    filter.addRule(range("short_col", 0.0, 1.0)); // too short: takes no part
    const ExportOutcome outcome = exportWith(filter, everything());
    ASSERT_EQ(outcome.status, Status::Written) << outcome.error.toStdString();
    EXPECT_EQ(outcome.eventsWritten, 3u); // events 0, 4 and 5 (whose image is stored raw)
    EXPECT_EQ(
        oracle("rtdc", m_source,
               {outcome.path, R"({"filter": {"mode": "NOT", "rules": [{"feature": "area_um",)"
                              R"( "min": 15, "max": 45}, {"feature": "volume", "min": 0,)"
                              R"( "max": 1}, {"feature": "short_col", "min": 0, "max": 1}]}})"}),
        0);
    EXPECT_EQ(filterRecordOf(outcome.path),
              (Record{{"combine mode", "NOT"}, {"area_um min", "15"}, {"area_um max", "45"}}));
}

TEST_F(DatasetExport, AnExportAndAnExportOfItHoldTheirSourcesRowsMetadataAndOwnRecords) {
    EventFilter first;
    first.addRule(range("area_um", 15.0, 55.0));
    first.addRule(range("area_um", 5.0, 65.0)); // merges into one record
    first.addRule(polygon("area_um", "deform", 1, 0));
    first.addRule(polygon("area_um", "deform", 0, 2)); // its records are numbered
    const ExportOutcome once = exportWith(first, everything(), QStringLiteral("First name"));
    ASSERT_EQ(once.status, Status::Written) << once.error.toStdString();
    EXPECT_EQ(oracle("rtdc", m_source,
                     {once.path, R"({"indices": [1, 2, 3, 4], "changed_name": "First name"})"}),
              0);
    EXPECT_EQ(filterRecordOf(once.path),
              (Record{{"area_um min", "15"},
                      {"area_um max", "55"},
                      {"area_um,deform polygon points",
                       "(0.000000,0.000000), (100.000000,0.000000), (100.000000,1.000000)"},
                      {"area_um,deform polygon x scale", "log"},
                      {"area_um,deform polygon y scale", "linear"},
                      {"area_um,deform polygon x scale (2)", "linear"},
                      {"area_um,deform polygon y scale (2)", "pseudolog"}}));

    ASSERT_TRUE(open(QFile::encodeName(once.path).toStdString()));
    EventFilter second;
    second.addRule(range("deform", 0.0, 1.0));
    second.addRule(range("deform", 0.015, 0.035, true));       // keeps deform outside
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr); // numbers must not care
    const ExportOutcome twice = exportWith(second, everything());
    std::setlocale(LC_ALL, "C");
    ASSERT_EQ(twice.status, Status::Written) << twice.error.toStdString();
    // Against its own source: events 0 and 2 (deform 0.01 and 0.04) of the
    // first export, its typed metadata, and no stale changed name.
    EXPECT_EQ(oracle("rtdc", m_reader->getFilename(), {twice.path, R"({"indices": [0, 2]})"}), 0);
    EXPECT_EQ(filterRecordOf(twice.path), (Record{{"deform min", "0"},
                                                  {"deform max", "1"},
                                                  {"deform min (2)", "0.015"},
                                                  {"deform max (2)", "0.035"},
                                                  {"deform inverted (2)", "true"}}));
    EXPECT_EQ(files(), (QStringList{"M001_data.rtdc", "QV3export_M001_data.rtdc",
                                    "QV3export_QV3export_M001_data.rtdc"}));
}

TEST_F(DatasetExport, ASourceWithoutImagesOrTraceSamplesGetsNoStacksNorVideo) {
    openSource({false, 0, {}});
    m_reader->addCalculatedFeature("emodulus", std::vector<double>(6, 1.0));
    EventFilter off;
    off.addRule(range("area_um", 0.0, 25.0));
    off.setEnabled(false);
    ExportResult choices = everything();
    choices.features.push_back("emodulus");
    const ExportOutcome outcome = exportWith(off, choices);
    ASSERT_EQ(outcome.status, Status::Written) << outcome.error.toStdString();
    EXPECT_EQ(outcome.eventsWritten, 6u); // the filter is off
    H5::H5File file(QFile::encodeName(outcome.path).toStdString(), H5F_ACC_RDONLY);
    EXPECT_TRUE(file.nameExists("/events/area_um") && file.nameExists("/events/emodulus"));
    EXPECT_FALSE(file.nameExists("/events/image") || file.nameExists("/events/mask") ||
                 file.nameExists("/events/missing"));
    EXPECT_EQ(file.openGroup("/events/trace").getNumObjs(), 0u);

    choices.formatAvi = true;
    EXPECT_EQ(exportWith(EventFilter(), choices).status, Status::NoImages);
    EXPECT_EQ(files().size(), 2u);
}

TEST_F(DatasetExport, AnUnreadableImageLeavesABlankRowAndIsCounted) {
    m_reader.reset();
    testing::corruptChunk(m_source, "/events/image", 1); // events 2 and 3
    ASSERT_TRUE(open(m_source));
    const ExportOutcome outcome = exportWith(EventFilter(), everything());
    ASSERT_EQ(outcome.status, Status::Written) << outcome.error.toStdString();
    EXPECT_EQ(exportNotices(outcome),
              QStringList{"2 image(s) could not be read and were left out"});
    RTDCReader exported;
    ASSERT_TRUE(exported.openFile(QFile::encodeName(outcome.path).toStdString()));
    for (std::size_t k = 0; k < test::kEvents; ++k) {
        int width = 0;
        int height = 0;
        const std::vector<std::uint8_t> blank(test::kWidth * test::kHeight, 0);
        EXPECT_EQ(exported.readImage(k, width, height),
                  k == 2 || k == 3 ? blank : m_reader->readImage(k, width, height));
    }
}

// A measurement of three events whose feature "big" claims 2^31 rows
// (sparse: no chunk written) and whose "long" holds ten values: each export
// reads and writes three rows of every feature, within memory that could
// not hold "big" whole (once a 17 GB allocation that was killed, or "big"
// left out in silence), and names a feature that cannot be read.
TEST_F(DatasetExport, EveryFeatureIsReadAndWrittenForTheMeasurementsEventsOnly) {
    const std::string source = m_dir.file("sparse.rtdc");
    {
        using namespace testing;
        RtdcFixtureWriter w(source);
        w.addColumn<double>("area_um", {10.0, 20.0, 30.0});
        w.addTypedDataset("/events/big", H5::PredType::IEEE_F64LE, {hsize_t(1) << 31},
                          H5::PredType::NATIVE_DOUBLE, nullptr, Storage::chunked({1 << 16}, 4));
        w.addColumn<double>("broken", {1.0, 2.0, 3.0}, Storage::chunked({2}, 4));
        w.addColumn<double>("frame", {1.0, 1.0, 2.0}, Storage::chunked({2}, 4));
        w.addColumn<double>("long", {0.5, 1.5, 2.5, 3.5, 4.5, 5.5, 6.5, 7.5, 8.5, 9.5});
        // Even sides: the video library's MJPEG encoder corrupts its heap on odd ones.
        w.addImageStack("image", 3, 4, 6, std::vector<std::uint8_t>(72, 7));
        w.addImageStack("mask", 3, 4, 6, std::vector<std::uint8_t>(72, 1));
        w.addTrace("fl1_raw", 3, 8, std::vector<int16_t>(24, 5));
    }
    testing::corruptChunk(source, "/events/broken", 0);
    testing::corruptChunk(source, "/events/frame", 0);
    ASSERT_TRUE(open(source));
    ExportResult rtdc = everything();
    rtdc.features = {"area_um", "big", "broken", "long"};
    ExportResult tsv = rtdc;
    tsv.formatTsv = true;
    ExportResult avi;
    avi.formatAvi = true;
    avi.aviSkipDuplicateFrames = true; // by a "frame" that cannot be read
    const std::vector<double> big = {0.0, 0.0, 0.0};
    const std::vector<double> longRows = {0.5, 1.5, 2.5};
    const struct {
        const char* what;
        ExportResult choices;
        const char* unreadable; // the feature the closing box names
    } cases[] = {{".rtdc with images, masks and traces", rtdc, "broken"},
                 {"TSV", tsv, "broken"},
                 {"AVI", avi, "frame"}};
    for (const auto& c : cases) {
        const int status = statusInChild([&] {
            if (!testing::limitFurtherMemory(std::size_t(1) << 30))
                return 100;
            const ExportOutcome outcome = exportWith(EventFilter(), c.choices);
            int failures = 0;
            const auto check = [&](bool ok, const std::string& what) {
                if (!ok) {
                    std::fprintf(stderr, "%s: %s\n", c.what, what.c_str());
                    ++failures;
                }
            };
            check(outcome.status == Status::Written && outcome.eventsWritten == 3,
                  "not written: " + outcome.error.toStdString());
            const QString text = closingMessage({{QStringLiteral("s"), outcome}}, false).text;
            check(text.contains(QStringLiteral("\"%1\" could not be read from the file")
                                    .arg(QLatin1String(c.unreadable))) &&
                      !text.contains(QStringLiteral("big")),
                  "the message names the wrong features: " + text.toStdString());
            if (c.choices.formatAvi)
                return failures;
            if (c.choices.formatTsv) {
                QFile file(outcome.path);
                const QStringList lines =
                    file.open(QIODevice::ReadOnly)
                        ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)
                        : QStringList();
                check(lines.size() >= 3 &&
                          lines.mid(lines.size() - 3) ==
                              QStringList({"10\t0\t\t0.5", "20\t0\t\t1.5", "30\t0\t\t2.5"}),
                      "rows: " + lines.join(" | ").toStdString());
                return failures;
            }
            RTDCReader written;
            check(written.openFile(QFile::encodeName(outcome.path).toStdString()) &&
                      written.getEventCount() == 3,
                  "the export does not open with three events");
            check(written.readScalarFeature("big") == big, "big");
            check(written.readScalarFeature("long") == longRows, "long");
            check(!written.hasFeature("broken"), "broken was written");
            int width = 0;
            int height = 0;
            check(written.readImage(2, width, height).size() == 24 &&
                      written.readMask(2, width, height).size() == 24 &&
                      written.readTrace("fl1_raw", 2).size() == 8,
                  "images, masks or traces");
            return failures;
        });
        EXPECT_TRUE(testing::succeeded(status)) << c.what << ": " << describeStatus(status);
    }
}

// ---- TSV and AVI --------------------------------------------------------------------

TEST_F(DatasetExport, TsvCellsAreTheShortestExactTextsAndTheHeaderKeepsToItsLines) {
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr); // a decimal comma
    EventFilter filter;
    filter.addRule(range("area_um", 15.0, 65.0));
    ExportResult choices;
    choices.formatTsv = true;
    choices.features = {"edge", "short_col", "deform", "area_um", "bright_avg", "frame", "missing"};
    const ExportOutcome outcome = exportWith(filter, choices, QStringLiteral("New\tname"));
    std::setlocale(LC_ALL, "C");
    ASSERT_EQ(outcome.status, Status::Written) << outcome.error.toStdString();
    EXPECT_EQ(
        oracle("tsv", m_source,
               {outcome.path, R"({"indices": [1, 2, 3, 4, 5], "features": ["edge",)"
                              R"( "short_col", "deform", "area_um", "bright_avg", "frame"]})"}),
        0);
    QFile file(outcome.path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const char* line :
         {"# export:changed sample name = New\\tname",
          "# experiment:note = tab\\there\\nnext\\\\back\\rreturn",
          "edge\tshort_col\tDeformation\tArea [\xc2\xb5m\xc2\xb2]\tBrightness average [a.u.]\t"
          "Video frame number"})
        EXPECT_TRUE(lines.contains(line)) << line;
}

TEST(TsvNumbers, EachIsTheShortestTextThatReadsBackAsTheSameDouble) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0.0005, "5e-04"}, // 5 characters against 6 for 0.0005
        {0.05, "0.05"},
        {0.1 + 0.2, "0.30000000000000004"},
        {1e4, "10000"}, // a tie of lengths keeps the plain form
        {1e5, "1e+05"},
        {123456.7, "123456.7"},
        {1e16, "1e+16"},
        {12345678901234567.0, "12345678901234568"},
        {-0.0, "-0"},
        {4.9406564584124654e-324, "5e-324"},
        {1.7976931348623157e308, "1.7976931348623157e+308"},
        {-INFINITY, "-inf"},
        {NAN, "nan"},
        {-NAN, "nan"},
    };
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr); // a decimal comma
    for (const auto& c : cases) {
        std::string text;
        appendTsvNumber(text, c.value);
        EXPECT_EQ(text, c.text) << c.text;
    }
    // Random bit patterns: every finite double reads back exactly, never
    // longer than its 17 significant digits.
    std::mt19937_64 random(26);
    for (int i = 0; i < 100000; ++i) {
        std::uint64_t bits = random();
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value))
            continue;
        std::string text;
        appendTsvNumber(text, value);
        double back = 0;
        std::from_chars(text.data(), text.data() + text.size(), back);
        ASSERT_EQ(std::memcmp(&back, &value, sizeof value), 0) << text;
        char full[40];
        ASSERT_LE(text.size(), std::size_t(std::snprintf(full, sizeof full, "%.17g", value)))
            << text;
    }
    std::setlocale(LC_ALL, "C");
}

TEST_F(DatasetExport, AviFramesAreTheImagesOncePerCameraFrame) {
    const struct {
        std::vector<double> frames;
        bool mjpeg;
        bool skipDuplicates;
        double maxArea;
        const char* indices;
        std::size_t duplicates;
    } cases[] = {
        {{7, 7, 8, 9, 10, 11}, false, false, 1e9, "0, 1, 2, 3, 4, 5", 0}, // raw keeps every pixel
        {{7, 7, 8, 9, 10, 11}, true, false, 50, "0, 1, 2, 3, 4", 0},
        {{7, 7, 8, 9, 10, 11}, false, true, 30, "0, 2", 1}, // frames 7, 7, 8: two video frames
        // Non-finite frame numbers are never duplicates; 8.9 and 8.2 are one
        // frame, so are -0.5 and 0.5.
        {{NAN, NAN, 8.9, 8.2, INFINITY, INFINITY}, false, true, 1e9, "0, 1, 2, 4, 5", 1},
        {{-0.5, 0.5, 3, 3, 3, 4}, false, true, 1e9, "0, 2, 5", 3},
    };
    QStringList videos;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.indices);
        openSource({true, 16, c.frames});
        EventFilter filter;
        filter.addRule(range("area_um", 0.0, c.maxArea));
        ExportResult choices;
        choices.formatAvi = true;
        choices.aviMjpeg = c.mjpeg;
        choices.aviSkipDuplicateFrames = c.skipDuplicates;
        const ExportOutcome outcome = exportWith(filter, choices);
        ASSERT_EQ(outcome.status, Status::Written) << outcome.error.toStdString();
        EXPECT_EQ(outcome.duplicateFrames, c.duplicates);
        videos << outcome.path
               << QStringLiteral(R"({"indices": [%1], "codec": "%2"})")
                      .arg(QLatin1String(c.indices), QLatin1String(c.mjpeg ? "mjpeg" : "rawvideo"));
    }
    // The images are the same whatever the frame numbers: one source for all.
    EXPECT_EQ(oracle("avi", m_source, videos), 0);
}

TEST_F(DatasetExport, ImagesThatCannotBeReadOrDifferInSizeAreLeftOutAndCounted) {
    const AviFrameSource frames = [](int event, int& width, int& height) {
        width = event == 3 ? 8 : 6;
        height = 4;
        return std::vector<std::uint8_t>(event == 2 ? 0 : 24, static_cast<std::uint8_t>(event));
    };
    const QString path = QString::fromStdString(m_dir.file("frames.avi"));
    const AviOutcome outcome = writeAviFile(path, {0, 1, 2, 3, 4}, frames, nullptr, false);
    ASSERT_EQ(outcome.status, AviOutcome::Status::Written) << outcome.error.toStdString();
    EXPECT_EQ(outcome.framesWritten, 3u); // the writer checks the file holds as many
    EXPECT_EQ(outcome.unreadableImages, 1u);
    EXPECT_EQ(outcome.mismatchedImages, 1u);
    EXPECT_EQ(writeAviFile(path + ".2.avi", {2, 0}, frames, nullptr, true).status,
              AviOutcome::Status::NoImageSize);
}

// The MJPEG encoder needs an even width and height (it crashed the program
// on odd ones): the video then repeats the image's last column or row, and
// every frame reads back as the image it was made of, each picture in
// place: decoded row r is source row r, the added row a copy of the last
// one (columns likewise). Odd widths, odd heights, both, and even sides.
TEST_F(DatasetExport, MjpegOfOddSizedImagesRepeatsTheLastColumnOrRow) {
    const struct {
        int width, height;
    } sizes[] = {{5, 4}, {4, 5}, {7, 9}, {249, 80}, {80, 249}, {6, 4}};
    // Neighbouring rows, and neighbouring columns, differ by 40 or 60 grey
    // levels at every pixel (a row or column shifted by one to four is off
    // by 20 at least), far beyond the few levels the JPEG coding changes
    // (6 at most here), so a picture moved by one row or column cannot pass
    // the tolerance.
    const auto level = [](int event, int x, int y) {
        return 30 + 20 * ((2 * y + event) % 5) + 20 * ((3 * x + event) % 5);
    };
    constexpr int kTolerance = 12;
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            ASSERT_GE(std::abs(level(0, x, y + 1) - level(0, x, y)), 40);
            ASSERT_GE(std::abs(level(0, x + 1, y) - level(0, x, y)), 40);
        }
    }
    for (const auto& size : sizes) {
        const int w = size.width;
        const int h = size.height;
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const AviFrameSource frames = [w, h, level](int event, int& width, int& height) {
            width = w;
            height = h;
            std::vector<std::uint8_t> image(static_cast<std::size_t>(w) * h);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    image[static_cast<std::size_t>(y) * w + x] =
                        static_cast<std::uint8_t>(level(event, x, y));
            return image;
        };
        const QString path = QString::fromStdString(
            m_dir.file("odd_" + std::to_string(w) + "x" + std::to_string(h) + ".avi"));
        const AviOutcome outcome = writeAviFile(path, {0, 1, 2}, frames, nullptr, true);
        ASSERT_EQ(outcome.status, AviOutcome::Status::Written) << outcome.error.toStdString();
        ASSERT_EQ(outcome.framesWritten, 3u);

        cv::VideoCapture video(QFile::encodeName(path).toStdString(), cv::CAP_FFMPEG);
        ASSERT_TRUE(video.isOpened());
        cv::Mat frame;
        int read = 0;
        for (; video.read(frame); ++read) {
            ASSERT_EQ(frame.cols, w + w % 2);
            ASSERT_EQ(frame.rows, h + h % 2);
            int width = 0, height = 0;
            const std::vector<std::uint8_t> image = frames(read, width, height);
            cv::Mat grey;
            cv::cvtColor(frame, grey, cv::COLOR_BGR2GRAY);
            int off = 0;
            std::string first;
            for (int y = 0; y < grey.rows; ++y) {
                for (int x = 0; x < grey.cols; ++x) {
                    const int expected = image[static_cast<std::size_t>(std::min(y, h - 1)) * w +
                                               std::min(x, w - 1)];
                    const int decoded = grey.at<std::uint8_t>(y, x);
                    if (std::abs(decoded - expected) > kTolerance && off++ == 0)
                        first = "at " + std::to_string(x) + ", " + std::to_string(y) + ": " +
                                std::to_string(decoded) + " for " + std::to_string(expected);
                }
            }
            EXPECT_EQ(off, 0) << "frame " << read << ", first " << first;
        }
        EXPECT_EQ(read, 3);
    }
}

// ---- failures ---------------------------------------------------------------------

// A long export is cancelled from its progress: wherever the answer comes
// (before the first row, between features, inside the image, mask or trace
// stacks, inside a table or video), nothing is left behind and no box says
// anything; a run that is never cancelled reports its way to the end.
TEST_F(DatasetExport, CancellingAtAnyProgressReportLeavesNoFileAndNoMessage) {
    ExportResult tsv = everything();
    tsv.formatTsv = true;
    ExportResult avi;
    avi.formatAvi = true;
    const struct {
        const char* what;
        ExportResult choices;
        std::size_t minReports; // one per step of the file at least
    } cases[] = {
        {".rtdc with images, masks and traces", everything(), 5}, {"TSV", tsv, 1}, {"AVI", avi, 1}};
    const QStringList sourceOnly = files();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // A run to the end: how many reports there are, each within its total.
        std::vector<std::pair<std::size_t, std::size_t>> reports;
        const ExportOutcome whole = exportWith(EventFilter(), c.choices, QStringLiteral("s"),
                                               [&reports](std::size_t done, std::size_t total) {
                                                   reports.emplace_back(done, total);
                                                   return true;
                                               });
        ASSERT_EQ(whole.status, Status::Written);
        ASSERT_TRUE(QFile::remove(whole.path));
        ASSERT_GE(reports.size(), c.minReports);
        for (std::size_t i = 0; i < reports.size(); ++i) {
            EXPECT_LE(reports[i].first, reports[i].second) << i;
            EXPECT_EQ(reports[i].second, reports.front().second) << i;
            if (i > 0) {
                EXPECT_GE(reports[i].first, reports[i - 1].first) << i;
            }
        }
        // Cancelled at each report in turn.
        for (std::size_t stopAt = 0; stopAt < reports.size(); ++stopAt) {
            std::size_t asked = 0;
            const ExportOutcome cancelled =
                exportWith(EventFilter(), c.choices, QStringLiteral("s"),
                           [&asked, stopAt](std::size_t, std::size_t) { return asked++ < stopAt; });
            EXPECT_EQ(cancelled.status, Status::Cancelled) << "at report " << stopAt;
            EXPECT_EQ(asked, stopAt + 1) << "went on after the answer, at report " << stopAt;
            EXPECT_EQ(files(), sourceOnly) << "at report " << stopAt;
            EXPECT_EQ(failureMessage(cancelled, QStringLiteral("s")).kind,
                      ExportMessage::Kind::None);
            EXPECT_EQ(closingMessage(
                          {{QStringLiteral("a"), whole}, {QStringLiteral("s"), cancelled}}, true)
                          .kind,
                      ExportMessage::Kind::None);
        }
    }
}

TEST_F(DatasetExport, AFailedExportLeavesNoFileAndSaysWhy) {
    ExportResult scalars;
    scalars.features = everything().features;
    const ExportOutcome probe = exportWith(EventFilter(), scalars);
    const rlim_t afterScalars = static_cast<rlim_t>(QFileInfo(probe.path).size()) + 2048;
    ASSERT_TRUE(QFile::remove(probe.path));
    ExportResult tsv = scalars;
    tsv.formatTsv = true;
    ExportResult avi;
    avi.formatAvi = true;
    avi.aviMjpeg = false;
    // A read-only folder; root, whom permissions do not stop, gets a folder
    // that refuses new files to everyone.
    const std::string folder = m_dir.file("read-only");
    ::mkdir(folder.c_str(), 0555);
    const auto readOnly = [&folder](ExportResult choices) {
        choices.useCustomDirectory = true;
        choices.outputDirectory = ::access(folder.c_str(), W_OK) == 0 ? "/sys" : folder;
        return choices;
    };
    const struct {
        const char* what;
        ExportResult choices;
        rlim_t limit;
        Status status;
        bool systemReason; // the error names the system's cause
    } cases[] = {
        {".rtdc, read-only folder", readOnly(everything()), RLIM_INFINITY, Status::CreateFailed,
         false},
        {"TSV, read-only folder", readOnly(tsv), RLIM_INFINITY, Status::CreateFailed, false},
        {"AVI, read-only folder", readOnly(avi), RLIM_INFINITY, Status::EncoderNotOpened, false},
        {".rtdc, the disk fills after the scalars", everything(), afterScalars, Status::WriteFailed,
         true},
        {".rtdc, no room to finish the file", scalars, 256 * 1024, Status::WriteFailed, false},
        {"TSV, full disk", tsv, 512, Status::WriteFailed, true},
        {"AVI, full disk", avi, 8192, Status::WriteFailed, false},
    };
    // A lowered file-size limit stands in for a full disk: writes beyond it
    // fail with EFBIG.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit usual{};
    getrlimit(RLIMIT_FSIZE, &usual);
    for (const auto& c : cases) {
        rlimit limit = usual;
        limit.rlim_cur = std::min(c.limit, usual.rlim_max);
        setrlimit(RLIMIT_FSIZE, &limit);
        const ExportOutcome outcome = exportWith(EventFilter(), c.choices);
        setrlimit(RLIMIT_FSIZE, &usual);
        EXPECT_EQ(outcome.status, c.status) << c.what;
        const ExportMessage message = failureMessage(outcome, QString());
        EXPECT_TRUE(message.title == "Export Error" && !outcome.error.isEmpty() &&
                    message.text.endsWith(outcome.path + "\n\n" + outcome.error))
            << c.what << ": " << message.text.toStdString();
        if (c.systemReason) {
            EXPECT_TRUE(outcome.error.contains(QString::fromLocal8Bit(std::strerror(EFBIG))))
                << c.what << ": " << outcome.error.toStdString();
        }
        EXPECT_EQ(files(), QStringList{"M001_data.rtdc"}) << c.what;
    }
    // The HDF5 library is still sound: the next export works.
    EXPECT_EQ(exportWith(EventFilter(), scalars).status, Status::Written);
}

TEST_F(DatasetExport, UnderAHardFileSizeLimitAFailedExportEndsAsAnErrorAndHdf5StaysSound) {
    ExportResult scalars;
    scalars.features = everything().features;
    const ExportOutcome probe = exportWith(EventFilter(), scalars);
    const rlim_t afterScalars = static_cast<rlim_t>(QFileInfo(probe.path).size()) + 2048;
    ASSERT_TRUE(QFile::remove(probe.path));
    const struct {
        const char* what;
        ExportResult choices;
        rlim_t limit;
    } cases[] = {
        {"the disk fills after the scalars", everything(), afterScalars},
        {"no room to finish the file", scalars, 256 * 1024},
        {"the disk fills at once", everything(), 1024},
    };
    for (const auto& c : cases) {
        // Soft and hard limit alike (as `ulimit -f` sets them): nothing can
        // lift it while the failed file closes. SIGXFSZ is ignored, as the
        // program ignores it from its start-up.
        const int status = statusInChild([&] {
            ignoreFileSizeLimitSignal();
            const rlimit hard{c.limit, c.limit};
            if (setrlimit(RLIMIT_FSIZE, &hard) != 0)
                return 10;
            const ssize_t openFiles = H5Fget_obj_count(H5F_OBJ_ALL, H5F_OBJ_FILE);
            const ExportOutcome outcome = exportWith(EventFilter(), c.choices);
            if (H5Fget_obj_count(H5F_OBJ_ALL, H5F_OBJ_FILE) != openFiles) {
                std::fprintf(stderr, "%s: a file id was left behind\n", c.what);
                return 4;
            }
            const ExportMessage message = failureMessage(outcome, QString());
            int result = 0;
            if (outcome.status != Status::WriteFailed || outcome.error.isEmpty() ||
                message.title != "Export Error" ||
                !message.text.endsWith(outcome.path + "\n\n" + outcome.error)) {
                std::fprintf(stderr, "%s: %s\n", c.what, message.text.toUtf8().constData());
                result = 1;
            }
            // The library still works and shuts down cleanly: no file id
            // was left half closed.
            RTDCReader again;
            if (!again.openFile(m_source) || again.readScalarFeature("deform").size() != 6)
                result = 2;
            again.closeFile();
            if (H5close() < 0)
                result = 3;
            return result;
        });
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << c.what << ": " << describeStatus(status);
        EXPECT_EQ(files().join(' ').toStdString(), "M001_data.rtdc") << c.what;
    }
}

// Each writer replacing a file under a file-size limit, with SIGXFSZ
// ignored as the program ignores it from its start-up: the write fails with
// the reason, the old file stays, nothing is left beside it, and the
// process lives on (the signal's default action once ended it in the TSV
// and AVI writers).
TEST_F(DatasetExport, UnderAFileSizeLimitEachWriterFailsAndKeepsTheOldFile) {
    const std::vector<int> events = {0, 1, 2, 3, 4, 5};
    const std::vector<std::string> features = everything().features;
    DatasetExportJob job;
    job.reader = m_reader.get();
    job.filePath = m_reader->getFilename();
    job.displayName = QStringLiteral("s");
    job.metadata = &m_metadata;
    const struct {
        const char* name;
        rlim_t limit;
        std::function<ExportOutcome(const QString&)> write;
    } cases[] = {
        {"old.tsv", 512,
         [&](const QString& path) { return exportDatasetAsTsv(job, path, features, events); }},
        {"raw.avi", 8192,
         [&](const QString& path) { return exportDatasetAsAvi(job, path, events, false, false); }},
        {"mjpeg.avi", 2048,
         [&](const QString& path) { return exportDatasetAsAvi(job, path, events, true, false); }},
        {"old.rtdc", 1024,
         [&](const QString& path) {
             return exportDatasetAsRtdc(job, everything(), path, features, events, false,
                                        EventFilter());
         }},
    };
    QStringList before = files();
    for (const auto& c : cases) {
        const QString path = QString::fromStdString(m_dir.file(c.name));
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        before << QString::fromLatin1(c.name);
    }
    before.sort();
    const int status = statusInChild([&] {
        ignoreFileSizeLimitSignal();
        int failures = 0;
        for (const auto& c : cases) {
            const QString path = QString::fromStdString(m_dir.file(c.name));
            ExportOutcome outcome;
            {
                const testing::FileSizeLimit limit(c.limit);
                outcome = c.write(path);
            }
            QFile old(path);
            const bool kept = old.open(QIODevice::ReadOnly) && old.readAll() == "old";
            if (outcome.status != Status::WriteFailed || outcome.error.isEmpty() || !kept) {
                std::fprintf(stderr, "%s: status %d, error '%s', old file %s\n", c.name,
                             static_cast<int>(outcome.status), outcome.error.toUtf8().constData(),
                             kept ? "kept" : "lost");
                ++failures;
            }
        }
        return failures;
    });
    EXPECT_TRUE(testing::succeeded(status)) << describeStatus(status);
    EXPECT_EQ(files(), before);
}

TEST_F(DatasetExport, AFileWhoseCloseFailsIsAFailedExportAndTheNextExportWorks) {
    ExportResult scalars;
    scalars.features = everything().features;
    const struct {
        const char* what;
        ExportResult choices;
    } cases[] = {{"scalars", scalars}, {"images, masks and traces", everything()}};
    for (const auto& c : cases) {
        const ssize_t openFiles = H5Fget_obj_count(H5F_OBJ_ALL, H5F_OBJ_FILE);
        failExportFileWritesWhileClosingForTesting(EIO);
        const ExportOutcome outcome = exportWith(EventFilter(), c.choices);
        failExportFileWritesWhileClosingForTesting(0);
        // A close that failed would leave the file's id behind, half closed.
        EXPECT_EQ(H5Fget_obj_count(H5F_OBJ_ALL, H5F_OBJ_FILE), openFiles) << c.what;
        EXPECT_EQ(outcome.status, Status::WriteFailed) << c.what;
        EXPECT_TRUE(outcome.error.contains(QString::fromUtf8(std::strerror(EIO))))
            << c.what << ": " << outcome.error.toStdString();
        const ExportMessage message = failureMessage(outcome, QString());
        EXPECT_EQ(message.title, QStringLiteral("Export Error"));
        EXPECT_TRUE(message.text.endsWith(outcome.path + "\n\n" + outcome.error)) << c.what;
        EXPECT_EQ(files().join(' ').toStdString(), "M001_data.rtdc") << c.what;
        // The file was closed once and for good: the library writes and
        // reads files as before.
        const ExportOutcome next = exportWith(EventFilter(), everything());
        ASSERT_EQ(next.status, Status::Written) << c.what << ": " << next.error.toStdString();
        EXPECT_EQ(oracle("rtdc", m_source, {next.path, R"({"indices": [0, 1, 2, 3, 4, 5]})"}), 0);
        ASSERT_TRUE(QFile::remove(next.path));
    }
}

// ---- planning -----------------------------------------------------------------------

TEST(ExportPlanning, NamesKeepTheSourceNameAndTakeTheFirstFreeNumber) {
    EXPECT_EQ(exportFileName("/d/M001_data.rtdc", ExportFormat::Tsv), "QV3export_M001_data.tsv");
    EXPECT_EQ(exportFileName("/d/a.RTDC", ExportFormat::Avi), "QV3export_a.avi");
    EXPECT_EQ(exportFileName("/d/a.RTDC", ExportFormat::Rtdc), "QV3export_a.RTDC");
    testing::TempDir dir;
    const QString folder = QString::fromStdString(dir.path());
    for (const char* taken : {"/x.tsv", "/x_2.tsv", "/plain"})
        testing::writeBytes((folder + taken).toStdString(), "");
    EXPECT_EQ(firstFreeExportPath(folder, "x.tsv"), folder + "/x_3.tsv");
    EXPECT_EQ(firstFreeExportPath(folder, "plain"), folder + "/plain_2");
}

TEST(ExportPlanning, ClosingMessagesClaimSuccessOnlyForWhatWasWritten) {
    std::vector<std::pair<QString, ExportOutcome>> outcomes(5);
    for (std::size_t i = 0; i < outcomes.size(); ++i)
        outcomes[i].first = QChar('A' + static_cast<int>(i));
    outcomes[0].second.status = outcomes[3].second.status = Status::Written;
    outcomes[1].second.status = Status::NoEvents;
    outcomes[2].second.status = Status::WriteFailed;
    outcomes[2].second.path = QStringLiteral("/out/m.rtdc");
    outcomes[2].second.error = QStringLiteral("disk full");
    outcomes[3].second.duplicateFrames = 2;
    const ExportMessage all = closingMessage(outcomes, true);
    EXPECT_EQ(all.kind, ExportMessage::Kind::Warning);
    EXPECT_EQ(all.text,
              "Exported 2 of 5 datasets.\n\nNot exported:\nB: no events pass the filter\n"
              "C: failed to write /out/m.rtdc (disk full)\nE: the measurement is not open\n\n"
              "D: 2 duplicate frame(s) skipped");

    // One left out of two is no success either; each of one written is.
    const auto outcomeOf = [](Status status) {
        ExportOutcome outcome;
        outcome.status = status;
        return outcome;
    };
    const std::vector<std::pair<QString, ExportOutcome>> oneOfTwo = {
        {"A", outcomeOf(Status::Written)}, {"B", outcomeOf(Status::NoImages)}};
    EXPECT_EQ(closingMessage(oneOfTwo, true).text,
              "Exported 1 of 2 datasets.\n\nNot exported:\nB: no images available");
    EXPECT_EQ(closingMessage({oneOfTwo[0], oneOfTwo[0]}, true).text,
              "Exported 2 dataset(s) successfully.");
    EXPECT_EQ(closingMessage({oneOfTwo[0]}, false).text, "Dataset exported successfully.");
    EXPECT_EQ(closingMessage({oneOfTwo[1]}, false).kind, ExportMessage::Kind::None);
}

} // namespace
} // namespace Quorvex3
