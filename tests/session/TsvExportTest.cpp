// The TSV export of a dataset: cells checked against the source by numpy in
// tsv_oracle.py, run as
//   /usr/bin/python3 tests/session/tsv_oracle.py SOURCE TSV --features ... --indices ...
// the escaped header, the number form under a comma-decimal locale, and
// failures that keep an existing file and leave nothing behind.
#include "SessionTestSupport.h"

#include "session/DatasetExport.h"
#include "session/TsvExport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include <clocale>
#include <cmath>
#include <limits>
#include <memory>

namespace Quorvex3 {
namespace {

using testing::TempDir;

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// Switches the C library's numbers to a decimal comma for the test's
/// lifetime (where that locale is installed).
class CommaLocale {
public:
    CommaLocale() : m_previous(std::setlocale(LC_ALL, nullptr)) {
        m_active = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    }
    ~CommaLocale() { std::setlocale(LC_ALL, m_previous.c_str()); }
    bool active() const { return m_active; }

private:
    std::string m_previous;
    bool m_active = false;
};

class TsvExport : public ::testing::Test {
protected:
    void SetUp() override {
        m_source = m_dir.file("M001_data.rtdc");
        test::writeSourceMeasurement(m_source);
        {
            H5::H5File file(m_source, H5F_ACC_RDWR);
            const H5::StrType type(H5::PredType::C_S1, H5T_VARIABLE);
            const char* note = "tab\there\nnext line\\back\rreturn";
            file.openGroup("/")
                .createAttribute("experiment:note", type, H5::DataSpace())
                .write(type, &note);
        }
        ASSERT_TRUE(m_reader.openFile(m_source));
        m_metadata = m_reader.readMetadata();
    }

    ExportOutcome exportWith(const EventFilter& filter, const std::vector<std::string>& features,
                             const QString& name = QStringLiteral("Blood \u00b5-sample")) {
        DatasetExportJob job;
        job.reader = &m_reader;
        job.filePath = m_source;
        job.displayName = name;
        job.metadata = &m_metadata;
        job.effectiveFilter = filter;
        ExportResult choices;
        choices.formatTsv = true;
        choices.features = features;
        return exportDataset(job, choices);
    }

    TempDir m_dir;
    std::string m_source;
    RTDCReader m_reader;
    RTDCMetadata m_metadata;
};

TEST_F(TsvExport, EveryCellIsThePercent17gTextOfTheSourceValueEvenUnderACommaLocale) {
    CommaLocale comma;
    ASSERT_TRUE(comma.active()) << "the de_DE.UTF-8 locale is installed by install-deps.sh";
    FilterRule rule;
    rule.featureName = "area_um";
    rule.minValue = 15.0;
    rule.maxValue = 65.0;
    EventFilter filter;
    filter.addRule(rule);
    // short_col has 3 values: the events beyond it get empty cells.
    const std::vector<std::string> features = {"short_col",  "deform", "area_um",
                                               "bright_avg", "frame",  "missing"};
    const ExportOutcome outcome = exportWith(filter, features);
    ASSERT_EQ(outcome.status, ExportOutcome::Status::Written) << outcome.error.toStdString();
    EXPECT_EQ(outcome.path, QString::fromStdString(m_dir.file("QV3export_M001_data.tsv")));
    EXPECT_EQ(outcome.eventsWritten, 5u);

    const test::ProcessResult oracle = test::runOracle(
        QStringLiteral("tsv_oracle.py"),
        {QString::fromStdString(m_source), outcome.path, QStringLiteral("--features"),
         QStringLiteral("short_col,deform,area_um,bright_avg,frame"), QStringLiteral("--indices"),
         QStringLiteral("1,2,3,4,5")});
    EXPECT_EQ(oracle.exitCode, 0) << oracle.err.toStdString();

    const QList<QByteArray> lines = readAll(outcome.path).split('\n');
    const int heading = lines.indexOf("#") + 1;
    ASSERT_GT(heading, 0);
    EXPECT_EQ(lines[heading], QByteArray("short_col\tDeformation\tArea [\xc2\xb5m\xc2\xb2]\t"
                                         "Brightness average [a.u.]\tVideo frame number"))
        << "(labels from the feature table)";
    // Row of event 4: beyond short_col, so its first cell is empty.
    EXPECT_EQ(lines[heading + 4], QByteArray("\t0.029999999999999999\t50\t32768\t10"));
}

TEST_F(TsvExport, TheHeaderEscapesControlCharactersAndNamesAChangedSample) {
    const ExportOutcome outcome =
        exportWith(EventFilter(), {"area_um"}, QStringLiteral("New\tname"));
    ASSERT_EQ(outcome.status, ExportOutcome::Status::Written);
    const QList<QByteArray> lines = readAll(outcome.path).split('\n');
    ASSERT_GE(lines.size(), 5);
    EXPECT_EQ(lines[0], "# Quorvex3 TSV Export");
    EXPECT_TRUE(lines[1].startsWith("# export:date = 2")) << lines[1].toStdString();
    EXPECT_EQ(lines[2], "# export:event count = 6");
    EXPECT_EQ(lines[3], "# export:changed sample name = New\\tname");
    EXPECT_TRUE(lines.contains("# experiment:note = tab\\there\\nnext line\\\\back\\rreturn"));
    EXPECT_TRUE(lines.contains("# imaging:pixel size = 0.340000"));
    // Every comment line stays one line: nothing but the table follows "#".
    const int heading = lines.indexOf("#") + 1;
    EXPECT_EQ(lines.size() - heading, 1 + 6 + 1); // heading, rows, empty tail
}

TEST_F(TsvExport, NumbersAreWrittenAsPrintfPercent17gWouldWriteThem) {
    // References: /usr/bin/python3 -c "print('%.17g' % v)" for each value.
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0.1, "0.10000000000000001"},
        {250.0, "250"},
        {-0.0, "-0"},
        {1e-300, "1e-300"},
        {4.9406564584124654e-324, "4.9406564584124654e-324"},
        {1e16, "10000000000000000"},
        {1e17, "1e+17"},
        {0.0001, "0.0001"},
        {123456789012345678.0, "1.2345678901234568e+17"},
        {std::numeric_limits<double>::infinity(), "inf"},
        {-std::numeric_limits<double>::infinity(), "-inf"},
        {std::nan(""), "nan"},
        {-std::nan(""), "nan"},
    };
    for (const auto& c : cases) {
        std::string out;
        appendTsvNumber(out, c.value);
        EXPECT_EQ(out, c.text);
    }
}

TEST_F(TsvExport, AFullDiskKeepsTheExistingFileAndLeavesNothingBehind) {
    const QString path = QString::fromStdString(m_dir.file("table.tsv"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("precious\n");
    }
    std::vector<double> values(20000, 0.125);
    bool openFailed = true;
    QString error;
    bool written = true;
    {
        test::FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.active());
        std::vector<int> rows(values.size());
        for (std::size_t i = 0; i < rows.size(); ++i)
            rows[i] = static_cast<int>(i);
        written = writeTsvFile(path, {"# header"}, {{"value", &values}}, rows, openFailed, error);
    }
    EXPECT_FALSE(written);
    EXPECT_FALSE(openFailed);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readAll(path), "precious\n");
    EXPECT_EQ(test::filesIn(m_dir.path()),
              (QStringList{QStringLiteral("M001_data.rtdc"), QStringLiteral("table.tsv")}));
}

TEST_F(TsvExport, AMissingFolderIsACreateFailure) {
    DatasetExportJob job;
    job.reader = &m_reader;
    job.filePath = m_source;
    job.metadata = &m_metadata;
    ExportResult choices;
    choices.formatTsv = true;
    choices.useCustomDirectory = true;
    choices.outputDirectory = m_dir.file("gone");
    const ExportOutcome outcome = exportDataset(job, choices);
    EXPECT_EQ(outcome.status, ExportOutcome::Status::CreateFailed);
    EXPECT_EQ(failureMessage(outcome, QString()).text.section(QLatin1Char('\n'), 0, 0),
              QStringLiteral("Failed to create: ") + outcome.path);
}

} // namespace
} // namespace Quorvex3
