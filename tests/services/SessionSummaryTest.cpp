// The session summary of the feedback report and the private terms of the
// open datasets.
#include "services/SessionSummary.h"

#include "core/RTDCReader.h"
#include "model/DatasetEntry.h"
#include "support/RtdcFixtureWriter.h"

#include <gtest/gtest.h>

namespace Quorvex3 {
namespace {

using Datasets = std::vector<std::unique_ptr<DatasetEntry>>;

FilterRule rangeRule(const char* feature, double low, double high, bool inverted = false) {
    FilterRule rule;
    rule.type = 0;
    rule.featureName = feature;
    rule.minValue = low;
    rule.maxValue = high;
    rule.inverted = inverted;
    return rule;
}

FilterRule polygonRule(const char* x, const char* y, int corners) {
    FilterRule rule;
    rule.type = 1;
    rule.featureName = x;
    rule.featureNameY = y;
    for (int i = 0; i < corners; ++i)
        rule.polygonVertices.emplace_back(i, i * i);
    return rule;
}

// ===== appendSummarySection ====================================================

TEST(SessionSummarySection, WritesKeysInByteOrderAndSkipsSampleNames) {
    QString summary;
    appendSummarySection(summary, "setup", {});
    EXPECT_TRUE(summary.isEmpty());

    appendSummarySection(summary, "experiment",
                         {{"sample", "SECRET"}, {"date", "2024-05-01"}, {"Run", "3"}});
    EXPECT_EQ(summary, "[experiment]\n  Run: 3\n  date: 2024-05-01\n");

    // A section of nothing but an excluded key keeps its heading.
    summary.clear();
    appendSummarySection(summary, "export", {{"changed sample name", "SECRET"}});
    EXPECT_EQ(summary, "[export]\n");
    // The exclusion is per section: "sample" elsewhere is written.
    summary.clear();
    appendSummarySection(summary, "setup", {{"sample", "flow cell 3"}});
    EXPECT_EQ(summary, "[setup]\n  sample: flow cell 3\n");
}

// ===== buildSessionSummary =====================================================

TEST(SessionSummary, WithoutDatasetsCountsZero) {
    EXPECT_EQ(buildSessionSummary({}, false), "Datasets: 0\n");
    EXPECT_EQ(buildSessionSummary({}, true), "Datasets: 0\nGlobal filter: active\n");
}

TEST(SessionSummary, DescribesEachDatasetWithoutNamesOrPaths) {
    testing::TempDir dir;
    const std::string path = dir.file("SECRET_NAME.rtdc");
    {
        testing::RtdcFixtureWriter writer(path);
        writer.addColumn<float>("deform", {0.1f, 0.2f, 0.3f});
    }
    auto reader = std::make_shared<RTDCReader>();
    ASSERT_TRUE(reader->openFile(path));

    Datasets datasets;
    auto first = std::make_unique<DatasetEntry>();
    first->reader = reader;
    first->filePath = path;
    first->displayName = "SECRET_DISPLAY";
    first->featuresLoaded = true;
    first->metadata.experiment = {{"sample", "SECRET_SAMPLE_42"}, {"run index", "1"}};
    first->metadata.imaging = {{"pixel size", "0.340000"}};
    first->metadata.offlineFilter = {{"deform min", "0.000000"}};
    first->metadata.fluorescence = {{"laser count", "2"}};
    first->metadata.exportSection = {{"changed sample name", "SECRET_RENAMED"}};
    first->filter.addRule(rangeRule("deform", 0.1234567, 123456789.0));
    first->filter.addRule(polygonRule("area_um", "deform", 5));
    first->filter.addRule(rangeRule("bright_avg", 1e-7, 2.5, true));
    first->filter.setEnabled(false);
    first->flRefinementApplied = true;
    first->emodApplied = true;
    first->fcDeformApplied = true;
    first->imageFeaturesApplied = true;
    datasets.push_back(std::move(first));

    auto second = std::make_unique<DatasetEntry>();
    second->ctcApplied = true;
    datasets.push_back(std::move(second));

    const QString summary = buildSessionSummary(datasets, true);
    EXPECT_EQ(summary, "Datasets: 2\n"
                       "Global filter: active\n"
                       "\n--- Dataset 1 ---\n"
                       "Events: 3\n"
                       "Loaded: yes\n"
                       "[experiment]\n"
                       "  run index: 1\n"
                       "[imaging]\n"
                       "  pixel size: 0.340000\n"
                       "[fluorescence]\n"
                       "  laser count: 2\n"
                       "[export]\n"
                       "Filter rules (3, enabled=no):\n"
                       "  range deform [0.123457, 1.23457e+08]\n"
                       "  polygon area_um/deform (5 verts)\n"
                       "  range bright_avg [1e-07, 2.5] [inverted]\n"
                       "Calculations: fl-refinement, emodulus, fourier-deformation\n"
                       "\n--- Dataset 2 ---\n"
                       "Loaded: no\n"
                       "Calculations: crosstalk-compensation\n");
    for (const char* secret : {"SECRET", "rtdc", "tmp"})
        EXPECT_FALSE(summary.contains(secret)) << secret;
}

TEST(SessionSummary, ListsTheDatasetsPrivateTerms) {
    Datasets datasets;
    auto entry = std::make_unique<DatasetEntry>();
    entry->filePath = "/data/Project X/SECRET_NAME.rtdc";
    entry->displayName = "Shown name";
    entry->metadata.experiment = {{"sample", "SECRET_SAMPLE_42"}, {"date", "2024"}};
    entry->metadata.exportSection = {{"changed sample name", "Renamed"}};
    datasets.push_back(std::move(entry));
    datasets.push_back(nullptr);

    const PrivateTerms terms = datasetPrivateTerms(datasets);
    EXPECT_EQ(terms.paths, QStringList({"/data/Project X/SECRET_NAME.rtdc", "/data/Project X"}));
    EXPECT_EQ(terms.names, QStringList({"SECRET_NAME.rtdc", "SECRET_NAME", "Shown name",
                                        "SECRET_SAMPLE_42", "Renamed"}));
}

} // namespace
} // namespace Quorvex3
