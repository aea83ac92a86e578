// The .rtdc export of a dataset: what the file holds (checked against the
// source by h5py and h5dump in writer_oracle.py, run as
//   /usr/bin/python3 tests/session/writer_oracle.py SOURCE EXPORT --features ...
// ), the record of the filter and of the export, exports of exports, and
// failures that must leave no file behind.
#include "SessionTestSupport.h"

#include "session/DatasetExport.h"
#include "session/ExportPlanning.h"
#include "session/RTDCWriter.h"

#include <gtest/gtest.h>

#include <QFileInfo>

#include <sys/stat.h>

#include <algorithm>
#include <memory>

namespace Quorvex3 {
namespace {

using testing::TempDir;

const std::vector<std::string> kAllFeatures = {"area_um", "deform",    "bright_avg",
                                               "frame",   "short_col", "missing"};

FilterRule range(const std::string& feature, double lo, double hi, bool inverted = false) {
    FilterRule rule;
    rule.featureName = feature;
    rule.minValue = lo;
    rule.maxValue = hi;
    rule.inverted = inverted;
    return rule;
}

QString joined(const std::vector<std::string>& names) {
    QStringList list;
    for (const std::string& name : names)
        list << QString::fromStdString(name);
    return list.join(QLatin1Char(','));
}

class RtdcExport : public ::testing::Test {
protected:
    void SetUp() override {
        m_source = m_dir.file("M001_data.rtdc");
        test::writeSourceMeasurement(m_source);
        ASSERT_TRUE(open(m_source));
    }

    bool open(const std::string& path) {
        m_reader = std::make_shared<RTDCReader>();
        if (!m_reader->openFile(path))
            return false;
        m_metadata = m_reader->readMetadata();
        return true;
    }

    ExportOutcome exportWith(const EventFilter& filter, const ExportResult& choices,
                             const QString& displayName = QStringLiteral("Blood \u00b5-sample")) {
        DatasetExportJob job;
        job.reader = m_reader.get();
        job.filePath = m_reader->getFilename();
        job.displayName = displayName;
        job.metadata = &m_metadata;
        job.effectiveFilter = filter;
        return exportDataset(job, choices);
    }

    static ExportResult everything() {
        ExportResult choices;
        choices.features = kAllFeatures;
        choices.includeImages = choices.includeMasks = choices.includeTraces = true;
        return choices;
    }

    TempDir m_dir;
    std::string m_source;
    std::shared_ptr<RTDCReader> m_reader;
    RTDCMetadata m_metadata;
};

// ---- contents, checked by h5py ------------------------------------------------------

TEST_F(RtdcExport, AFilteredExportHoldsTheSourceRowsAndTypedMetadataForH5py) {
    EventFilter filter;
    filter.addRule(range("deform", 0.02, 0.05));
    const ExportOutcome outcome = exportWith(filter, everything(), QStringLiteral("Renamed"));
    ASSERT_EQ(outcome.status, ExportOutcome::Status::Written) << outcome.error.toStdString();
    EXPECT_EQ(outcome.path, QString::fromStdString(m_dir.file("QV3export_M001_data.rtdc")));
    EXPECT_EQ(outcome.eventsWritten, 4u);
    EXPECT_EQ(outcome.unreadableImages, 0u);

    const test::ProcessResult oracle = test::runOracle(
        QStringLiteral("writer_oracle.py"),
        {QString::fromStdString(m_source), outcome.path, QStringLiteral("--features"),
         joined(kAllFeatures), QStringLiteral("--filter"),
         QStringLiteral(R"({"mode": "AND", "rules": [{"feature": "deform", "min": 0.02,)"
                        R"( "max": 0.05}]})"),
         QStringLiteral("--images"), QStringLiteral("--masks"), QStringLiteral("--traces"),
         QStringLiteral("--changed-name"), QStringLiteral("Renamed")});
    EXPECT_EQ(oracle.exitCode, 0) << oracle.err.toStdString();
    // Nothing but the export itself appeared beside the source.
    EXPECT_EQ(test::filesIn(m_dir.path()),
              (QStringList{QStringLiteral("M001_data.rtdc"),
                           QStringLiteral("QV3export_M001_data.rtdc")}));
}

TEST_F(RtdcExport, NotModeAndAGroupRuleOnAFeatureTheDatasetLacksSelectTheEventsNumpySelects) {
    EventFilter filter;
    filter.setCombineMode(FilterCombineMode::NOT);
    filter.addRule(range("area_um", 15.0, 45.0));
    filter.addRule(range("volume", 0.0, 1.0));    // a group's rule: this dataset has no volume
    filter.addRule(range("short_col", 0.0, 1.0)); // too short: takes no part
    const ExportOutcome outcome = exportWith(filter, everything());
    ASSERT_EQ(outcome.status, ExportOutcome::Status::Written) << outcome.error.toStdString();
    EXPECT_EQ(outcome.eventsWritten, 3u); // events 0, 4, 5

    const test::ProcessResult oracle = test::runOracle(
        QStringLiteral("writer_oracle.py"),
        {QString::fromStdString(m_source), outcome.path, QStringLiteral("--features"),
         joined(kAllFeatures), QStringLiteral("--filter"),
         QStringLiteral(R"({"mode": "NOT", "rules": [{"feature": "area_um", "min": 15, "max": 45},)"
                        R"( {"feature": "volume", "min": 0, "max": 1},)"
                        R"( {"feature": "short_col", "min": 0, "max": 1}]})"),
         QStringLiteral("--images"), QStringLiteral("--masks"), QStringLiteral("--traces")});
    EXPECT_EQ(oracle.exitCode, 0) << oracle.err.toStdString();

    // The record names only the rule that took part, and the mode.
    RTDCReader exported;
    ASSERT_TRUE(exported.openFile(QFile::encodeName(outcome.path).toStdString()));
    const RTDCMetadata metadata = exported.readMetadata();
    EXPECT_EQ(metadata.offlineFilter,
              (std::map<std::string, std::string>{
                  {"combine mode", "NOT"}, {"area_um min", "15"}, {"area_um max", "45"}}));
}

TEST_F(RtdcExport, AnExportOfAnExportRecordsOnlyItsOwnFilterAndExport) {
    EventFilter first;
    first.addRule(range("area_um", 15.0, 55.0));
    const ExportOutcome once = exportWith(first, everything(), QStringLiteral("First name"));
    ASSERT_EQ(once.status, ExportOutcome::Status::Written) << once.error.toStdString();

    const std::string firstPath = QFile::encodeName(once.path).toStdString();
    ASSERT_TRUE(open(firstPath));
    EventFilter second;
    second.addRule(range("deform", 0.015, 0.035, true)); // keeps deform outside
    const ExportOutcome twice =
        exportWith(second, everything(), QStringLiteral("Blood \u00b5-sample"));
    ASSERT_EQ(twice.status, ExportOutcome::Status::Written) << twice.error.toStdString();
    EXPECT_EQ(twice.path, QString::fromStdString(m_dir.file("QV3export_QV3export_M001_data.rtdc")));
    EXPECT_EQ(twice.eventsWritten, 2u); // deform 0.01 and 0.04 of the first export's 4 events

    // The second export against its own source (the first export): same
    // typed metadata, rows of that source, and no stale changed name.
    const test::ProcessResult oracle = test::runOracle(
        QStringLiteral("writer_oracle.py"),
        {once.path, twice.path, QStringLiteral("--features"), joined(kAllFeatures),
         QStringLiteral("--indices"), QStringLiteral("0,2"), QStringLiteral("--images"),
         QStringLiteral("--masks"), QStringLiteral("--traces")});
    EXPECT_EQ(oracle.exitCode, 0) << oracle.err.toStdString();

    RTDCReader exported;
    ASSERT_TRUE(exported.openFile(QFile::encodeName(twice.path).toStdString()));
    const RTDCMetadata metadata = exported.readMetadata();
    EXPECT_EQ(metadata.offlineFilter,
              (std::map<std::string, std::string>{
                  {"deform min", "0.015"}, {"deform max", "0.035"}, {"deform inverted", "true"}}));
    EXPECT_EQ(metadata.exportSection.at("event count"), "2");
    EXPECT_EQ(metadata.exportSection.count("changed sample name"), 0u);
}

TEST_F(RtdcExport, OverlappingRulesBecomeOneRecordOrNumberedRecordsNeverAFailure) {
    EventFilter filter;
    filter.addRule(range("area_um", 5.0, 55.0));
    filter.addRule(range("area_um", 15.0, 65.0));
    filter.addRule(range("area_um", 0.0, 12.0, true));
    FilterRule polygon;
    polygon.type = 1;
    polygon.featureName = "area_um";
    polygon.featureNameY = "deform";
    polygon.polygonVertices = {{0, 0}, {100, 0}, {100, 1}, {0, 1}};
    polygon.scaleXMode = 1;
    filter.addRule(polygon);
    polygon.scaleXMode = 0;
    polygon.scaleYMode = 2;
    filter.addRule(polygon);
    const ExportOutcome outcome = exportWith(filter, everything());
    ASSERT_EQ(outcome.status, ExportOutcome::Status::Written) << outcome.error.toStdString();
    EXPECT_EQ(outcome.eventsWritten, 4u); // area 20 to 50

    RTDCReader exported;
    ASSERT_TRUE(exported.openFile(QFile::encodeName(outcome.path).toStdString()));
    const RTDCMetadata metadata = exported.readMetadata();
    EXPECT_EQ(metadata.offlineFilter,
              (std::map<std::string, std::string>{
                  {"area_um min", "15"},
                  {"area_um max", "55"},
                  {"area_um min (2)", "0"},
                  {"area_um max (2)", "12"},
                  {"area_um inverted (2)", "true"},
                  {"area_um,deform polygon points", "(0.000000,0.000000), (100.000000,0.000000), "
                                                    "(100.000000,1.000000), (0.000000,1.000000)"},
                  {"area_um,deform polygon x scale", "log"},
                  {"area_um,deform polygon y scale", "linear"},
                  {"area_um,deform polygon x scale (2)", "linear"},
                  {"area_um,deform polygon y scale (2)", "pseudolog"}}));
}

// ---- what is left out ---------------------------------------------------------------

TEST_F(RtdcExport, ASourceWithoutImagesOrWithTraceLengthZeroGetsNoStacks) {
    const std::string path = m_dir.file("plain.rtdc");
    test::SourceOptions options;
    options.images = false;
    options.masks = false;
    options.traceLength = 0;
    test::writeSourceMeasurement(path, options);
    ASSERT_TRUE(open(path));
    const ExportOutcome outcome = exportWith(EventFilter(), everything());
    ASSERT_EQ(outcome.status, ExportOutcome::Status::Written) << outcome.error.toStdString();

    H5::H5File file(QFile::encodeName(outcome.path).toStdString(), H5F_ACC_RDONLY);
    EXPECT_FALSE(file.nameExists("/events/image"));
    EXPECT_FALSE(file.nameExists("/events/mask"));
    ASSERT_TRUE(file.nameExists("/events/trace"));
    EXPECT_EQ(file.openGroup("/events/trace").getNumObjs(), 0u);
    EXPECT_TRUE(file.nameExists("/events/area_um"));
    EXPECT_FALSE(file.nameExists("/events/missing"));
}

TEST_F(RtdcExport, AnUnreadableImageLeavesABlankRowAndIsCounted) {
    m_reader.reset();
    testing::corruptChunk(m_source, "/events/image", 1); // events 2 and 3
    ASSERT_TRUE(open(m_source));
    const ExportOutcome outcome = exportWith(EventFilter(), everything());
    ASSERT_EQ(outcome.status, ExportOutcome::Status::Written) << outcome.error.toStdString();
    EXPECT_EQ(outcome.unreadableImages, 2u);
    EXPECT_EQ(outcome.unreadableMasks, 0u);
    EXPECT_EQ(exportNotices(outcome),
              QStringList{QStringLiteral("2 image(s) could not be read and were left out")});

    const test::ProcessResult oracle = test::runOracle(
        QStringLiteral("writer_oracle.py"),
        {QString::fromStdString(m_source), outcome.path, QStringLiteral("--features"),
         joined(kAllFeatures), QStringLiteral("--indices"), QStringLiteral("0,1,2,3,4,5"),
         QStringLiteral("--masks"), QStringLiteral("--traces"), QStringLiteral("--ignore-images")});
    // The broken chunk cannot be read by h5py either: the image rows are
    // compared in C++ below, everything else by the oracle.
    EXPECT_EQ(oracle.exitCode, 0) << oracle.err.toStdString();
    RTDCReader exported;
    ASSERT_TRUE(exported.openFile(QFile::encodeName(outcome.path).toStdString()));
    int width = 0;
    int height = 0;
    for (int k = 0; k < test::kEvents; ++k) {
        const std::vector<std::uint8_t> row =
            exported.readImage(static_cast<size_t>(k), width, height);
        ASSERT_EQ(row.size(), static_cast<size_t>(test::kWidth * test::kHeight));
        if (k == 2 || k == 3) {
            EXPECT_EQ(std::count(row.begin(), row.end(), 0), static_cast<long>(row.size()));
        } else {
            EXPECT_EQ(row[1], test::imagePixel(k, 1, 0));
            EXPECT_EQ(row.back(), test::imagePixel(k, test::kWidth - 1, test::kHeight - 1));
        }
    }
}

// ---- failures leave nothing behind ------------------------------------------------

/// A folder this process cannot create files in: a read-only folder, or
/// (when running as root, which ignores permissions) a system folder that
/// refuses new files to everyone.
std::string readOnlyFolder(const TempDir& dir) {
    const std::string folder = dir.file("read-only");
    ::mkdir(folder.c_str(), 0755);
    ::chmod(folder.c_str(), 0555);
    QFile probe(QString::fromStdString(folder + "/probe"));
    if (!probe.open(QIODevice::WriteOnly))
        return folder;
    probe.remove();
    return "/sys";
}

TEST_F(RtdcExport, AReadOnlyFolderIsReportedAsACreateFailureWithItsReason) {
    ExportResult choices = everything();
    choices.useCustomDirectory = true;
    choices.outputDirectory = readOnlyFolder(m_dir);
    const ExportOutcome outcome = exportWith(EventFilter(), choices);
    EXPECT_EQ(outcome.status, ExportOutcome::Status::CreateFailed);
    EXPECT_FALSE(outcome.error.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(outcome.path));
    const ExportMessage message = failureMessage(outcome, QStringLiteral("M001"));
    EXPECT_EQ(message.kind, ExportMessage::Kind::Critical);
    EXPECT_EQ(message.title, QStringLiteral("Export Error"));
    EXPECT_TRUE(message.text.startsWith(QStringLiteral("Failed to create: ") + outcome.path))
        << message.text.toStdString();
}

TEST_F(RtdcExport, AWriteFailureAfterTheScalarsLeavesNoFileAndSaysWhy) {
    ExportResult scalarsOnly;
    scalarsOnly.features = kAllFeatures;
    const ExportOutcome probe = exportWith(EventFilter(), scalarsOnly);
    ASSERT_EQ(probe.status, ExportOutcome::Status::Written);
    const qint64 scalarBytes = QFileInfo(probe.path).size();
    ASSERT_TRUE(QFile::remove(probe.path));

    ExportOutcome outcome;
    {
        // Room for the file up to its scalar features, not for the images.
        test::FileSizeLimit limit(static_cast<rlim_t>(scalarBytes + 2048));
        ASSERT_TRUE(limit.active());
        outcome = exportWith(EventFilter(), everything());
    }
    EXPECT_EQ(outcome.status, ExportOutcome::Status::WriteFailed);
    EXPECT_FALSE(outcome.error.isEmpty());
    EXPECT_EQ(test::filesIn(m_dir.path()), QStringList{QStringLiteral("M001_data.rtdc")});
    const ExportMessage message = failureMessage(outcome, QStringLiteral("M001"));
    EXPECT_EQ(message.title, QStringLiteral("Export Error"));
    EXPECT_EQ(message.text,
              QStringLiteral("Failed to write: %1\n\n%2").arg(outcome.path, outcome.error));
}

TEST_F(RtdcExport, AFileWithoutRoomToBeFinishedIsRefusedBeforeTheLibraryFlushesIt) {
    // Every event fits, but not the room the close may still need: the
    // export fails cleanly instead of leaving a half-closed file behind
    // (which would bring the HDF5 library down at exit).
    ExportResult scalarsOnly;
    scalarsOnly.features = kAllFeatures;
    ExportOutcome outcome;
    {
        test::FileSizeLimit limit(256 * 1024);
        ASSERT_TRUE(limit.active());
        outcome = exportWith(EventFilter(), scalarsOnly);
    }
    EXPECT_EQ(outcome.status, ExportOutcome::Status::WriteFailed);
    EXPECT_NE(outcome.error.indexOf(QStringLiteral("largest file size")), -1)
        << outcome.error.toStdString();
    EXPECT_EQ(test::filesIn(m_dir.path()), QStringList{QStringLiteral("M001_data.rtdc")});
    // The library is still sound: the next export works.
    EXPECT_EQ(exportWith(EventFilter(), scalarsOnly).status, ExportOutcome::Status::Written);
}

TEST_F(RtdcExport, EveryWriterStepRefusesAClosedFile) {
    RTDCWriter writer;
    EXPECT_FALSE(writer.copyMetadata(*m_reader));
    EXPECT_FALSE(writer.writeOfflineFilterMetadata(EventFilter()));
    EXPECT_FALSE(writer.writeExportMetadata(1, ""));
    EXPECT_FALSE(writer.writeScalarFeatures({"area_um"}, {0}, *m_reader));
    EXPECT_FALSE(writer.writeImages(*m_reader, {0}));
    EXPECT_FALSE(writer.writeTraces(*m_reader, {0}));
    EXPECT_FALSE(writer.close());
    // A path in a missing folder: no file, and the writer stays closed.
    EXPECT_FALSE(writer.createFile(m_dir.file("missing/x.rtdc")));
    EXPECT_FALSE(writer.isOpen());
    EXPECT_NE(writer.lastError().find("Error creating file: "), std::string::npos);
}

} // namespace
} // namespace Quorvex3
