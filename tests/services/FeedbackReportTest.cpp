// The feedback report's layout and the scrubbing of private paths and names.
#include "services/FeedbackReport.h"

#include <QDir>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace Quorvex3 {
namespace {

FeedbackReportParts sampleParts() {
    FeedbackReportParts parts;
    parts.version = "3.3.99";
    parts.timestamp = "2026-01-31T09:15:02Z";
    parts.os = "Debian GNU/Linux 12 (bookworm)";
    parts.arch = "x86_64";
    parts.sessionSummary = "Datasets: 0\n";
    parts.log = "2026-01-31T09:15:01Z [INFO ] started\n";
    return parts;
}

// ===== composeReport ===========================================================

TEST(FeedbackReportLayout, WritesEveryBlockInOrder) {
    FeedbackReportParts parts = sampleParts();
    parts.errorTitle = "File / Data Error";
    parts.errorMessage = "H5Dread: read failed";
    EXPECT_EQ(composeReport(parts, "It crashed."),
              QByteArray("=== Quorvex3 Feedback Report ===\n"
                         "Version: 3.3.99\n"
                         "Timestamp: 2026-01-31T09:15:02Z\n"
                         "OS: Debian GNU/Linux 12 (bookworm)\n"
                         "Arch: x86_64\n"
                         "\n"
                         "=== Error ===\n"
                         "Title: File / Data Error\n"
                         "Message: H5Dread: read failed\n"
                         "\n"
                         "=== User Comment ===\n"
                         "It crashed.\n"
                         "\n"
                         "=== Session ===\n"
                         "Datasets: 0\n"
                         "\n\n"
                         "=== Log ===\n"
                         "2026-01-31T09:15:01Z [INFO ] started\n"));
}

TEST(FeedbackReportLayout, LeavesOutTheErrorAndCommentBlocksWhenEmpty) {
    const QByteArray report = composeReport(sampleParts(), QString());
    EXPECT_FALSE(report.contains("=== Error ==="));
    EXPECT_FALSE(report.contains("=== User Comment ==="));
    EXPECT_TRUE(report.contains("Arch: x86_64\n\n=== Session ===\nDatasets: 0\n\n\n=== Log ==="));
}

TEST(FeedbackReportLayout, WritesTheErrorBlockWhenOnlyOneOfTitleAndMessageIsGiven) {
    FeedbackReportParts titleOnly = sampleParts();
    titleOnly.errorTitle = "Unexpected Error";
    EXPECT_TRUE(composeReport(titleOnly, QString())
                    .contains("=== Error ===\nTitle: Unexpected Error\nMessage: \n\n"));
    FeedbackReportParts messageOnly = sampleParts();
    messageOnly.errorMessage = "bad_alloc";
    EXPECT_TRUE(composeReport(messageOnly, QString())
                    .contains("=== Error ===\nTitle: \nMessage: bad_alloc\n\n"));
}

TEST(FeedbackReportLayout, NamesAnEmptySessionAndAnEmptyLog) {
    FeedbackReportParts parts = sampleParts();
    parts.sessionSummary.clear();
    parts.log.clear();
    const QByteArray report = composeReport(parts, QString());
    EXPECT_TRUE(report.contains("=== Session ===\n(no datasets loaded)\n\n\n=== Log ===\n"));
    EXPECT_TRUE(report.endsWith("=== Log ===\n(log is empty)\n"));
}

TEST(FeedbackReportLayout, IsUtf8) {
    const QByteArray report = composeReport(sampleParts(), QString::fromUtf8("Zelle ä, 5 µm"));
    EXPECT_TRUE(report.contains("Zelle \xC3\xA4, 5 \xC2\xB5m\n"));
}

TEST(FeedbackReportParts, TakeTheTimeInUtcWithoutFractionsAndTheSystem) {
    const FeedbackReportParts parts = collectReportParts("3.3.99", "S", "T", "M", "L");
    EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}Z$)")
                    .match(parts.timestamp)
                    .hasMatch())
        << parts.timestamp.toStdString();
    EXPECT_FALSE(parts.os.isEmpty());
    EXPECT_FALSE(parts.arch.isEmpty());
    EXPECT_EQ(parts.log, "L");
}

// ===== scrubbing ===============================================================

TEST(PrivateTextScrubber, ReplacesPathsAndNames) {
    PrivateTerms terms;
    terms.paths = QStringList{"/home/alice", "/data/Project X/run 1/SECRET_NAME.rtdc",
                              "/data/Project X/run 1/"};
    terms.names =
        QStringList{"alice", "SECRET_SAMPLE_42", "SECRET_NAME", "SECRET_NAME.rtdc", "ab", "path"};
    const PrivateTextScrubber scrubber(terms);
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"Opened /data/Project X/run 1/SECRET_NAME.rtdc now", "Opened <path> now"},
        {"cd /data/Project X/run 1/other.rtdc", "cd <path>"},
        {"log in /home/alice/.local/state/x.txt", "log in <path>"},
        {"home is /home/alice", "home is <path>"},
        {"read '/mnt/my share/f 1.rtdc' failed", "read '<path>' failed"},
        {"read \"/mnt/my share/f.rtdc\"", "read \"<path>\""},
        {"file /tmp/x.rtdc, next", "file <path>, next"},
        {"(/var/tmp/q)", "(<path>)"},
        {"sample SECRET_SAMPLE_42 loaded", "sample <name> loaded"},
        {"SECRET_NAME.rtdc and SECRET_NAME", "<name> and <name>"},
        {"user alice logged in", "user <name> logged in"},
        // Left alone: web addresses, ratios, units, short names.
        {"see https://example.com/a/b?c=1", "see https://example.com/a/b?c=1"},
        {"ratio 1/2, 5 um/s, a / b", "ratio 1/2, 5 um/s, a / b"},
        {"about ab", "about ab"},
        // A replacement is never searched again.
        {"/x/y and path", "<path> and <name>"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(scrubber.scrub(QString::fromUtf8(c.in)), QString::fromUtf8(c.out));
    }
}

TEST(PrivateTextScrubber, PrefersTheLongestTerm) {
    PrivateTerms terms;
    terms.names = QStringList{"Sample", "Sample_2 long"};
    EXPECT_EQ(PrivateTextScrubber(terms).scrub("Sample_2 long, Sample"), "<name>, <name>");
}

TEST(PrivateTextScrubber, ScrubsTheErrorTheSummaryAndTheLogButNotTheSystemLines) {
    PrivateTerms terms;
    terms.names = QStringList{"SECRET_SAMPLE_42"};
    FeedbackReportParts parts = sampleParts();
    parts.errorTitle = "Error in SECRET_SAMPLE_42";
    parts.errorMessage = "cannot read /srv/data/a.rtdc";
    parts.sessionSummary = "[experiment]\n  run: SECRET_SAMPLE_42\n";
    parts.log = "opened /srv/data/a.rtdc (SECRET_SAMPLE_42)\n";
    scrubReportParts(parts, PrivateTextScrubber(terms));
    EXPECT_EQ(parts.errorTitle, "Error in <name>");
    EXPECT_EQ(parts.errorMessage, "cannot read <path>");
    EXPECT_EQ(parts.sessionSummary, "[experiment]\n  run: <name>\n");
    EXPECT_EQ(parts.log, "opened <path> (<name>)\n");
    EXPECT_EQ(parts.os, "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(parts.version, "3.3.99");
}

TEST(PrivateTextScrubber, KnowsTheHomeFolderAndTheUserName) {
    qputenv("USER", "qv3tester");
    const PrivateTerms terms = systemPrivateTerms();
    EXPECT_TRUE(terms.paths.contains(QDir::homePath()));
    EXPECT_TRUE(terms.names.contains("qv3tester"));
}

} // namespace
} // namespace Quorvex3
