// Planning a dataset's export: output names, the events and features it
// takes, the record of the filter, and the messages that close an export.
#include "SessionTestSupport.h"

#include "session/DatasetExport.h"
#include "session/ExportPlanning.h"
#include "session/FilterRecord.h"

#include <gtest/gtest.h>

#include <QFile>

#include <clocale>
#include <cmath>

namespace Quorvex3 {
namespace {

using testing::TempDir;

FilterRule range(const std::string& feature, double lo, double hi, bool inverted = false) {
    FilterRule rule;
    rule.featureName = feature;
    rule.minValue = lo;
    rule.maxValue = hi;
    rule.inverted = inverted;
    return rule;
}

FilterRule polygon(const std::string& x, const std::string& y, int scaleX = 0, int scaleY = 0) {
    FilterRule rule;
    rule.type = 1;
    rule.featureName = x;
    rule.featureNameY = y;
    rule.polygonVertices = {{0, 0}, {1, 0}, {1, 1}};
    rule.scaleXMode = scaleX;
    rule.scaleYMode = scaleY;
    return rule;
}

void touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

// ---- names -----------------------------------------------------------------------------

TEST(ExportNames, KeepTheSourceNameWithThePrefixAndTheFormatsExtension) {
    const struct {
        const char* source;
        ExportFormat format;
        const char* name;
    } cases[] = {
        {"/data/M001_data.rtdc", ExportFormat::Tsv, "QV3export_M001_data.tsv"},
        {"/data/M001_data.rtdc", ExportFormat::Avi, "QV3export_M001_data.avi"},
        {"/data/M001_data.rtdc", ExportFormat::Rtdc, "QV3export_M001_data.rtdc"},
        {"/data/a.RTDC", ExportFormat::Avi, "QV3export_a.avi"},
        {"/data/a.RTDC", ExportFormat::Rtdc, "QV3export_a.RTDC"},
        {"/data/a.rtdc.h5", ExportFormat::Tsv, "QV3export_a.rtdc.h5.tsv"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(exportFileName(c.source, c.format), QString::fromLatin1(c.name)) << c.source;
}

TEST(ExportNames, ATakenNameGetsTheFirstFreeNumberFromTwo) {
    TempDir dir;
    const QString folder = QString::fromStdString(dir.path());
    const QString name = QStringLiteral("QV3export_M001_data.tsv");
    EXPECT_EQ(firstFreeExportPath(folder, name), folder + "/QV3export_M001_data.tsv");
    touch(folder + "/QV3export_M001_data.tsv");
    EXPECT_EQ(firstFreeExportPath(folder, name), folder + "/QV3export_M001_data_2.tsv");
    touch(folder + "/QV3export_M001_data_2.tsv");
    EXPECT_EQ(firstFreeExportPath(folder, name), folder + "/QV3export_M001_data_3.tsv");
    touch(folder + "/plain");
    EXPECT_EQ(firstFreeExportPath(folder, QStringLiteral("plain")), folder + "/plain_2");
}

TEST(ExportNames, TheFolderIsTheMeasurementsUnlessACustomOneIsChosen) {
    ExportResult choices;
    choices.outputDirectory = "/elsewhere";
    EXPECT_EQ(exportFolder("/data/run/m.rtdc", choices), QStringLiteral("/data/run"));
    choices.useCustomDirectory = true;
    EXPECT_EQ(exportFolder("/data/run/m.rtdc", choices), QStringLiteral("/elsewhere"));

    ExportResult format;
    EXPECT_EQ(exportFormatOf(format), ExportFormat::Rtdc);
    format.formatAvi = true;
    EXPECT_EQ(exportFormatOf(format), ExportFormat::Avi);
    format.formatTsv = true;
    EXPECT_EQ(exportFormatOf(format), ExportFormat::Tsv);
}

TEST(ExportNames, TheChangedSampleNameIsTheDisplayNameOnlyWhenItDiffers) {
    RTDCMetadata metadata;
    EXPECT_EQ(changedSampleName(QString(), metadata), "");
    EXPECT_EQ(changedSampleName(QStringLiteral("x"), metadata), "x");
    metadata.experiment["sample"] = "Blood \xc2\xb5";
    EXPECT_EQ(changedSampleName(QStringLiteral("Blood \u00b5"), metadata), "");
    EXPECT_EQ(changedSampleName(QStringLiteral("Blood"), metadata), "Blood");
}

TEST(ExportNames, HeaderTextKeepsToItsLineAndColumn) {
    EXPECT_EQ(escapeHeaderText("a\\b\nc\rd\te \xc2\xb5"), "a\\\\b\\nc\\rd\\te \xc2\xb5");
    EXPECT_EQ(escapeHeaderText(""), "");
}

// ---- events and features --------------------------------------------------------------

class ExportSelection : public ::testing::Test {
protected:
    void SetUp() override {
        m_source = m_dir.file("m.rtdc");
        test::writeSourceMeasurement(m_source);
        ASSERT_TRUE(m_reader.openFile(m_source));
    }
    TempDir m_dir;
    std::string m_source;
    RTDCReader m_reader;
};

TEST_F(ExportSelection, AFilterThatIsOffOrEmptyTakesEveryEvent) {
    EventFilter filter;
    EXPECT_EQ(selectExportEvents(filter, m_reader).indices, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_FALSE(selectExportEvents(filter, m_reader).filterApplied);
    filter.addRule(range("area_um", 0.0, 25.0));
    filter.setEnabled(false);
    EXPECT_EQ(selectExportEvents(filter, m_reader).indices.size(), 6u);
    filter.setEnabled(true);
    const EventSelection selection = selectExportEvents(filter, m_reader);
    EXPECT_EQ(selection.indices, (std::vector<int>{0, 1}));
    EXPECT_TRUE(selection.filterApplied);
    // A filter that is on but whose rules are all switched off still
    // counts as applied, and takes every event.
    EventFilter idle;
    FilterRule off = range("area_um", 0.0, 1.0);
    off.enabled = false;
    idle.addRule(off);
    EXPECT_EQ(selectExportEvents(idle, m_reader).indices.size(), 6u);
    EXPECT_TRUE(selectExportEvents(idle, m_reader).recordedFilter.rules().empty());
}

TEST_F(ExportSelection, FeaturesKeepTheirOrderAndDropWhatTheDatasetLacks) {
    m_reader.addCalculatedFeature("emodulus", std::vector<double>(6, 1.0));
    EXPECT_EQ(selectExportFeatures({"deform", "volume", "emodulus", "image", "deform", "area_um"},
                                   m_reader),
              (std::vector<std::string>{"deform", "emodulus", "area_um"}));
}

TEST(RulesTakingPart, AreTheRulesTheFilterActuallyApplies) {
    const std::vector<double> full(4, 1.0);
    const std::vector<double> shortColumn(3, 1.0);
    const EventFilter::FeatureMap columns = {{"a", &full}, {"b", &full}, {"s", &shortColumn}};
    EventFilter filter;
    filter.setCombineMode(FilterCombineMode::NOT);
    filter.addRule(range("a", 0, 1));
    filter.addRule(range("missing", 0, 1));
    filter.addRule(range("s", 0, 1));
    FilterRule off = range("b", 0, 1);
    off.enabled = false;
    filter.addRule(off);
    filter.addRule(polygon("a", "b"));
    FilterRule line = polygon("a", "b");
    line.polygonVertices.pop_back();
    filter.addRule(line);
    filter.addRule(polygon("a", "missing"));
    FilterRule odd = range("a", 0, 1);
    odd.type = 7;
    filter.addRule(odd);

    const EventFilter kept = rulesTakingPart(filter, columns, 4);
    ASSERT_EQ(kept.ruleCount(), 2);
    EXPECT_EQ(kept.rules()[0].featureName, "a");
    EXPECT_EQ(kept.rules()[1].type, 1);
    EXPECT_EQ(kept.combineMode(), FilterCombineMode::NOT);
    // The same filter applied to the same columns shows the same events.
    EXPECT_EQ(kept.apply(columns, 4), filter.apply(columns, 4));
}

// ---- the record of the filter ----------------------------------------------------------

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries textOf(const std::vector<FilterRecordEntry>& entries) {
    Entries out;
    for (const FilterRecordEntry& entry : entries)
        out.emplace_back(entry.name, entry.isPolygon
                                         ? "polygon " + std::to_string(entry.points.size())
                                         : entry.text);
    return out;
}

TEST(OfflineFilterRecord, StatesEachKindOfRuleFaithfully) {
    const std::string s = "offline_filter:";
    EventFilter notMode;
    notMode.setCombineMode(FilterCombineMode::NOT);
    notMode.addRule(range("deform", 0.0, 0.05));
    EventFilter merged;
    merged.addRule(range("area_um", 10, 100));
    merged.addRule(range("area_um", 20, 80.5));
    merged.addRule(range("area_um", -5, 90));
    EventFilter nanBound;
    nanBound.addRule(range("x", 0, 1));
    nanBound.addRule(range("x", std::nan(""), 2));
    EventFilter inverted;
    inverted.addRule(range("x", 1e-7, 2.5, true));
    inverted.addRule(polygon("x", "y", 1, 2));
    EventFilter twoPolygons;
    twoPolygons.addRule(polygon("x", "y", -3, 7));
    FilterRule invertedPolygon = polygon("x", "y");
    invertedPolygon.inverted = true;
    twoPolygons.addRule(invertedPolygon);
    EventFilter disabled = merged;
    disabled.setEnabled(false);
    EventFilter onlyOffRules;
    onlyOffRules.setCombineMode(FilterCombineMode::NOT);
    FilterRule off = range("x", 0, 1);
    off.enabled = false;
    onlyOffRules.addRule(off);

    const struct {
        const char* what;
        EventFilter filter;
        Entries expected;
    } cases[] = {
        {"NOT mode",
         notMode,
         {{s + "combine mode", "NOT"}, {s + "deform min", "0"}, {s + "deform max", "0.05"}}},
        {"ranges on one feature merge",
         merged,
         {{s + "area_um min", "20"}, {s + "area_um max", "80.5"}}},
        {"a NaN bound survives the merge", nanBound, {{s + "x min", "nan"}, {s + "x max", "1"}}},
        {"inverted rules",
         inverted,
         {{s + "x min", "1e-07"},
          {s + "x max", "2.5"},
          {s + "x inverted", "true"},
          {s + "x,y polygon points", "polygon 3"},
          {s + "x,y polygon x scale", "log"},
          {s + "x,y polygon y scale", "pseudolog"}}},
        {"a second polygon is numbered",
         twoPolygons,
         {{s + "x,y polygon points", "polygon 3"},
          {s + "x,y polygon x scale", "linear"},
          {s + "x,y polygon y scale", "pseudolog"},
          {s + "x,y polygon points (2)", "polygon 3"},
          {s + "x,y polygon x scale (2)", "linear"},
          {s + "x,y polygon y scale (2)", "linear"},
          {s + "x,y inverted (2)", "true"}}},
        {"a disabled filter", disabled, {}},
        {"no rule recorded, so no mode either", onlyOffRules, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(textOf(offlineFilterRecord(c.filter)), c.expected) << c.what;
}

TEST(OfflineFilterRecord, NumbersReadBackExactlyWhateverTheLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    EXPECT_EQ(formatRoundTrip(0.05), "0.05");
    EXPECT_EQ(formatRoundTrip(1e-7), "1e-07");
    EXPECT_EQ(formatRoundTrip(123456.789), "123456.789");
    EXPECT_EQ(formatRoundTrip(-INFINITY), "-inf");
    std::setlocale(LC_ALL, saved.c_str());
    for (const double value : {0.05, 1e-7, 123456.789, 1.0 / 3.0, 1e300, 5e-324})
        EXPECT_EQ(std::strtod(formatRoundTrip(value).c_str(), nullptr), value);
    EXPECT_EQ(scaleModeName(-1), "linear");
    EXPECT_EQ(scaleModeName(9), "pseudolog");
}

// ---- closing messages ----------------------------------------------------------------

ExportOutcome outcomeOf(ExportOutcome::Status status) {
    ExportOutcome outcome;
    outcome.status = status;
    outcome.path = QStringLiteral("/out/QV3export_m.rtdc");
    return outcome;
}

TEST(ExportMessages, ClaimSuccessOnlyForWhatWasWritten) {
    using Status = ExportOutcome::Status;
    using Kind = ExportMessage::Kind;
    ExportOutcome skipped = outcomeOf(Status::Written);
    skipped.duplicateFrames = 2;
    ExportOutcome failed = outcomeOf(Status::WriteFailed);
    failed.error = QStringLiteral("disk full");
    const auto named = [](std::vector<ExportOutcome> outcomes) {
        std::vector<std::pair<QString, ExportOutcome>> list;
        for (std::size_t i = 0; i < outcomes.size(); ++i)
            list.emplace_back(QString(QChar('A' + static_cast<int>(i))), outcomes[i]);
        return list;
    };
    const struct {
        const char* what;
        std::vector<ExportOutcome> outcomes;
        bool all;
        Kind kind;
        QString text;
    } cases[] = {
        {"one dataset",
         {outcomeOf(Status::Written)},
         false,
         Kind::Information,
         QStringLiteral("Dataset exported successfully.")},
        {"one dataset with skipped frames",
         {skipped},
         false,
         Kind::Information,
         QStringLiteral("Dataset exported successfully.\n\n2 duplicate frame(s) skipped")},
        {"one dataset that failed: its own box said so", {failed}, false, Kind::None, QString()},
        {"every dataset",
         {outcomeOf(Status::Written), outcomeOf(Status::Written)},
         true,
         Kind::Information,
         QStringLiteral("Exported 2 dataset(s) successfully.")},
        {"two left out",
         {outcomeOf(Status::Written), outcomeOf(Status::NoEvents), failed, skipped},
         true,
         Kind::Warning,
         QStringLiteral("Exported 2 of 4 datasets.\n\nNot exported:\n"
                        "B: no events pass the filter\n"
                        "C: failed to write /out/QV3export_m.rtdc (disk full)\n\n"
                        "D: 2 duplicate frame(s) skipped")},
        {"a measurement that is not open",
         {outcomeOf(Status::Skipped)},
         true,
         Kind::Warning,
         QStringLiteral("Exported 0 of 1 datasets.\n\nNot exported:\n"
                        "A: the measurement is not open")},
    };
    for (const auto& c : cases) {
        const ExportMessage message = closingMessage(named(c.outcomes), c.all);
        EXPECT_EQ(message.kind, c.kind) << c.what;
        EXPECT_EQ(message.text, c.text) << c.what;
        if (c.kind != Kind::None) {
            EXPECT_EQ(message.title, QStringLiteral("Export")) << c.what;
        }
    }
}

TEST(ExportMessages, EachFailureHasItsOwnBox) {
    using Status = ExportOutcome::Status;
    using Kind = ExportMessage::Kind;
    ExportOutcome created = outcomeOf(Status::CreateFailed);
    created.error = QStringLiteral("Permission denied");
    const struct {
        ExportOutcome outcome;
        Kind kind;
        const char* title;
        QString text;
    } cases[] = {
        {outcomeOf(Status::NoEvents), Kind::Warning, "Export",
         QStringLiteral("No events pass the filter for: Sample 1")},
        {outcomeOf(Status::NoImages), Kind::Warning, "Export",
         QStringLiteral("No images available in: Sample 1")},
        {created, Kind::Critical, "Export Error",
         QStringLiteral("Failed to create: /out/QV3export_m.rtdc\n\nPermission denied")},
        {outcomeOf(Status::Written), Kind::None, "", QString()},
        {outcomeOf(Status::Skipped), Kind::None, "", QString()},
    };
    for (const auto& c : cases) {
        const ExportMessage message = failureMessage(c.outcome, QStringLiteral("Sample 1"));
        EXPECT_EQ(message.kind, c.kind) << c.text.toStdString();
        EXPECT_EQ(message.title, QString::fromLatin1(c.title));
        EXPECT_EQ(message.text, c.text);
    }
    ExportOutcome features = outcomeOf(Status::Written);
    features.skippedFeatures = {"a", "b"};
    features.unreadableMasks = 1;
    features.unreadableTraceRows = 3;
    EXPECT_EQ(exportNotices(features),
              (QStringList{QStringLiteral("1 mask(s) could not be read and were left out"),
                           QStringLiteral("3 trace row(s) could not be read and were left out"),
                           QStringLiteral("Features without readable values left out: a, b")}));
}

} // namespace
} // namespace Quorvex3
