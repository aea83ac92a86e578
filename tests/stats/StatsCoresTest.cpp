// The numeric cores of the evaluation window and its exports against numpy
// 1.24, scipy 1.10 and statsmodels 0.13 (tests/stats/cores_oracle.py, run as
// "/usr/bin/python3 tests/stats/cores_oracle.py"), plus hand-computed cases.
// Tolerances: summaries, quantiles and moments 1e-12 relative; p_min 1e-14
// relative; Holm decisions and stars exact (statsmodels rejects at p <= level,
// we at p < level: the random p-values never meet a level); density against
// the numpy rebuild 1e-12 of the peak, against gaussian_kde 3% of the peak.

#include "stats/DatasetSummary.h"
#include "stats/DensityCurve.h"
#include "stats/GroupComparison.h"
#include "stats/RocSamples.h"
#include "stats/SummaryStatistics.h"
#include "stats/TableText.h"
#include "support/PythonOracle.h"
#include "support/RtdcFixtureWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <tuple>

using namespace Quorvex3;
using namespace Quorvex3::testing;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
using Cells = std::vector<std::optional<double>>;

void expectRelative(double actual, double expected, double tolerance) {
    EXPECT_NEAR(actual, expected, tolerance * std::max(std::abs(expected), 1e-300));
}

std::vector<OracleCase> oracle(const std::string& argument = "") {
    return runPythonOracle(std::string(QUORVEX3_TEST_DIR) + "/cores_oracle.py", argument);
}

/// The column hides the value 1e9 and a NaN between the shown values, shows
/// NaN and infinity, and the shown list reaches past the column's end.
void checkSummaries(const std::vector<double>& values, const std::vector<double>& expected) {
    std::vector<double> column = {kNaN, kInf};
    std::vector<int> shown = {0, 1, -1};
    for (double v : values) {
        shown.push_back(static_cast<int>(column.size()));
        column.insert(column.end(), {v, 1e9, kNaN});
    }
    shown.push_back(static_cast<int>(column.size()) + 5);
    for (int s = 0; s < 5; ++s) {
        const auto value = computeDatasetSummary(column, shown, summaryStatisticFromIndex(s));
        ASSERT_TRUE(value);
        expectRelative(*value, expected[static_cast<size_t>(s)], 1e-12);
    }
}

int starCount(const std::string& stars) {
    return stars == "ns" ? 0 : static_cast<int>(stars.size());
}

/// A Holm family's stars are those of statsmodels' adjusted p-values, so a
/// larger p never has more stars than a smaller one and ties share them.
void checkHolmStars(double alpha, const std::vector<double>& p, const std::vector<double>& stars) {
    std::vector<CorrectedTest> family(p.size());
    for (size_t t = 0; t < family.size(); ++t)
        family[t].pValue = p[t];
    applyCorrection(family, alpha, MultipleCorrection::Holm);
    for (size_t t = 0; t < family.size(); ++t) {
        EXPECT_EQ(starCount(family[t].stars), stars[t]) << "p " << p[t] << " alpha " << alpha;
        for (size_t u = 0; u < family.size(); ++u)
            EXPECT_TRUE(p[t] > p[u] || starCount(family[t].stars) >= starCount(family[u].stars))
                << p[t] << " against " << p[u];
    }
}

void checkDensity(const OracleCase& c) {
    const auto grid = makeDensityGrid({c.groups[1]});
    ASSERT_TRUE(grid);
    expectRelative(grid->range, c.groups[0][0], 1e-15);
    expectRelative(grid->step, c.groups[0][1], 1e-15);
    expectRelative(grid->start, c.groups[0][2], 1e-15);
    const std::vector<double> d =
        estimateDensityCurve(c.groups[1], grid->range, grid->step, grid->start);
    ASSERT_EQ(d.size(), 256u);
    const double peak = *std::max_element(d.begin(), d.end());
    double integral = 0.0;
    for (size_t g = 0; g < d.size(); ++g) {
        integral += d[g] * grid->step;
        EXPECT_NEAR(d[g], c.groups[2][g], 1e-12 * peak);
        if (c.groups[0][3] == 1.0) {
            EXPECT_NEAR(d[g], c.groups[3][g], 0.03 * peak);
        }
    }
    EXPECT_NEAR(integral, 1.0, 1e-12);
    if (c.groups[0][3] == 1.0) {
        const auto& kde = c.groups[3];
        EXPECT_LE(std::abs(std::max_element(d.begin(), d.end()) - d.begin() -
                           (std::max_element(kde.begin(), kde.end()) - kde.begin())),
                  1);
    }
}

TEST(StatsCores, MatchNumpyScipyStatsmodels) {
    const std::vector<OracleCase> cases = oracle();
    for (size_t i = 0; i < cases.size(); ++i) {
        const auto& [kind, g] = cases[i];
        SCOPED_TRACE(kind + " case " + std::to_string(i));
        if (kind == "SUM") {
            checkSummaries(g[1], g[0]);
        } else if (kind == "STAT") {
            std::vector<SummaryColumn> all;
            for (int col = 0; col <= static_cast<int>(SummaryColumn::Skewness); ++col)
                all.push_back(static_cast<SummaryColumn>(col));
            const Cells cells = computeSummaryStatistics(g[1], all, g[0][0]);
            for (size_t col = 0; col < all.size(); ++col)
                EXPECT_NEAR(*cells[col], g[2][col], 1e-12 * std::max(1.0, std::abs(g[2][col])));
        } else if (kind == "HOLM") {
            std::vector<CorrectedTest> family(g[1].size());
            for (size_t t = 0; t < family.size(); ++t)
                family[t].pValue = g[1][t];
            applyCorrection(family, g[0][0], MultipleCorrection::Holm);
            for (size_t t = 0; t < family.size(); ++t)
                EXPECT_EQ(family[t].stars != "ns", g[2][t] == 1.0) << t;
        } else if (kind == "HOLMSTARS") {
            checkHolmStars(g[0][0], g[1], g[2]);
        } else if (kind == "PMIN") {
            for (size_t n = 0; n < g[0].size(); ++n)
                expectRelative(wilcoxonMinimumP(static_cast<int>(g[0][n])), g[1][n], 1e-14);
        } else {
            checkDensity(cases[i]);
        }
    }
    EXPECT_EQ(cases.size(), 7u * 5u + 25u + 4u + 29u + 1u + 8u);
}

// Equal finite values have no spread: the mean of values that are not exactly
// representable rounds (0.1 * 3 / 3 is not 0.1), and that rounding must not
// show as a standard deviation of 1.7e-17 or a skewness of -1 or +1.
TEST(StatsCores, ConstantDataHasNoSpread) {
    const std::vector<std::vector<double>> sets = {{0.1, 0.1, 0.1},
                                                   std::vector<double>(7, 0.3),
                                                   std::vector<double>(5, -2.2),
                                                   std::vector<double>(1000, 1.0 / 3.0),
                                                   {1e-310, 1e-310, 1e-310, 1e-310}};
    const std::vector<SummaryColumn> spread = {SummaryColumn::SD, SummaryColumn::SEM,
                                               SummaryColumn::CV, SummaryColumn::Skewness};
    for (const std::vector<double>& v : sets) {
        SCOPED_TRACE(std::to_string(v.size()) + " x " + std::to_string(v[0]));
        std::vector<double> column = v; // hidden and non-finite values do not count
        column.insert(column.end(), {kNaN, 5.0, kInf});
        std::vector<int> shown(v.size());
        for (size_t i = 0; i < shown.size(); ++i)
            shown[i] = static_cast<int>(i);
        shown.insert(shown.end(), {static_cast<int>(v.size()), static_cast<int>(v.size()) + 2});
        for (SummaryStatistic s :
             {SummaryStatistic::StandardDeviation, SummaryStatistic::CoefficientOfVariation})
            EXPECT_EQ(computeDatasetSummary(column, shown, s), 0.0) << static_cast<int>(s);
        const Cells cells = computeSummaryStatistics(v, spread, 95.0);
        for (size_t c = 0; c < spread.size(); ++c)
            EXPECT_EQ(cells[c], 0.0) << summaryColumnName(spread[c], 95.0);
    }
}

// No column, no shown event or no finite shown value is no value, not 0.0.
TEST(StatsCores, MissingSummaryValuesAndStars) {
    const std::vector<double> column = {kNaN, 4.0, kInf};
    for (const auto& [col, shown] : std::vector<std::pair<std::vector<double>, std::vector<int>>>{
             {{}, {0, 1}}, {column, {}}, {column, {0, 2, 3}}})
        EXPECT_FALSE(computeDatasetSummary(col, shown, SummaryStatistic::Mean));
    EXPECT_EQ(summaryStatisticFromIndex(9), SummaryStatistic::Median);
    const std::vector<std::pair<double, std::string>> stars = {
        {0.0004, "***"}, {0.004, "**"}, {0.049, "*"}, {0.05, "ns"}, {kNaN, "ns"}};
    for (const auto& [p, mark] : stars)
        EXPECT_EQ(significanceStars(p, 0.05), mark) << p;
}

// The group plot's y axis names the summary it plots; the coefficient of
// variation, a ratio, drops the feature's unit.
TEST(StatsCores, SummaryAxisTitles) {
    const std::string area = "Area [\xC2\xB5m\xC2\xB2]";
    const std::vector<std::tuple<SummaryStatistic, std::string, std::string>> cases = {
        {SummaryStatistic::Median, area, "Median of " + area},
        {SummaryStatistic::Mean, area, "Mean of " + area},
        {SummaryStatistic::StandardDeviation, area, "SD of " + area},
        {SummaryStatistic::CoefficientOfVariation, area, "CV of Area"},
        {SummaryStatistic::InterquartileRange, area, "IQR of " + area},
        {SummaryStatistic::CoefficientOfVariation, "Deformation", "CV of Deformation"},
        {SummaryStatistic::CoefficientOfVariation, "Ratio [a] of b", "CV of Ratio [a] of b"},
        {SummaryStatistic::CoefficientOfVariation, "[px]", "CV of [px]"},
    };
    for (const auto& [statistic, label, title] : cases)
        EXPECT_EQ(summaryAxisTitle(statistic, label), title) << label;
}

// Holm steps down and marks a rejected test by its adjusted p-value; NaN is
// never ranked; Bonferroni divides by the number of valid tests.
TEST(StatsCores, CorrectionsAndTestFamily) {
    const auto marks = [](std::vector<double> p, MultipleCorrection correction) {
        std::vector<CorrectedTest> family(p.size());
        for (size_t t = 0; t < p.size(); ++t)
            family[t].pValue = p[t];
        applyCorrection(family, 0.05, correction);
        std::vector<std::string> stars;
        for (const CorrectedTest& member : family)
            stars.push_back(member.valid ? member.stars : "invalid");
        return stars;
    };
    using S = std::vector<std::string>;
    EXPECT_EQ(marks({0.01, kNaN, 0.04, 0.03, 0.005}, MultipleCorrection::Holm),
              (S{"*", "invalid", "ns", "ns", "*"}));
    EXPECT_EQ(marks({0.0001, 0.02, 0.9}, MultipleCorrection::Holm), (S{"***", "*", "ns"}));
    // Where the adjusted p rounds across alpha, the step-down still decides:
    // five p-values just below 0.001/5 are rejected though 5p rounds to
    // 0.001 (at least "*"), nineteen at 0.05/19 are not though 19p rounds
    // below 0.05.
    const auto tied = [](size_t m, double p, double alpha) {
        std::vector<CorrectedTest> tests(m);
        for (CorrectedTest& t : tests)
            t.pValue = p;
        applyCorrection(tests, alpha, MultipleCorrection::Holm);
        std::vector<std::string> stars;
        for (const CorrectedTest& t : tests)
            stars.push_back(t.stars);
        return stars;
    };
    ASSERT_EQ(5.0 * std::nextafter(0.001 / 5, 0.0), 0.001);
    ASSERT_LT(19.0 * (0.05 / 19), 0.05);
    EXPECT_EQ(tied(5, std::nextafter(0.001 / 5, 0.0), 0.001), S(5, "*"));
    EXPECT_EQ(tied(19, 0.05 / 19, 0.05), S(19, "ns"));
    EXPECT_EQ(marks({0.02, 0.03, kNaN}, MultipleCorrection::Bonferroni), (S{"*", "ns", "invalid"}));
    EXPECT_EQ(marks({0.03, kNaN}, MultipleCorrection::Bonferroni), (S{"*", "invalid"}));
    EXPECT_EQ(correctionFromText("Holm-Bonferroni"), MultipleCorrection::Holm);
    EXPECT_EQ(sortTestsByPValue({0.2, kNaN, 0.1, 0.2, 0.04}), (std::vector<int>{4, 2, 0, 3}));

    const TestResult valid{1.0, 0.01, true};
    const TestResult invalid;
    const auto family = buildTestFamily({valid, invalid, invalid}, {{}, {valid, invalid, valid}});
    ASSERT_EQ(family.size(), 3u);
    EXPECT_EQ(family[0].featureIndex * 10 + family[0].pairIndex, -1);
    EXPECT_EQ(family[2].featureIndex * 10 + family[2].pairIndex, 12);

    const ReachabilityCheck three = checkReachability(3, 0.05, MultipleCorrection::None, 1, 2);
    const ReachabilityCheck six = checkReachability(6, 0.05, MultipleCorrection::Bonferroni, 2, 2);
    EXPECT_TRUE(!three.reachable &&
                checkReachability(6, 0.05, MultipleCorrection::Holm, 2, 3).reachable);
    EXPECT_TRUE(!six.reachable && six.bonferroniApplied && six.effectiveAlpha == 0.025);
}

// Mean (or RMS) of technical, then of biological replicates; a dataset
// without a value leaves before aggregation, and the LDA keeps only samples
// with every feature.
TEST(StatsCores, ReplicatesAndRocSamples) {
    const std::vector<ReplicateSample> samples = {{1, 1, 1.0},          {1, 1, 3.0}, {1, 2, 8.0},
                                                  {2, 0, std::nullopt}, {3, 0, 3.0}, {3, 0, 4.0}};
    const auto mean = aggregateReplicates(samples, false);
    const auto rms = aggregateReplicates(samples, true);
    EXPECT_EQ(mean, (std::map<int, double>{{1, 5.0}, {3, 3.5}}));
    EXPECT_DOUBLE_EQ(rms.at(1), std::sqrt((5.0 + 64.0) / 2.0));
    EXPECT_NEAR(rms.at(3), 3.5355, 5e-5);
    EXPECT_EQ(aggregateReplicates(samples, false, false).at(1), 4.0);

    const std::vector<RocEntryValues> entries = {{1, 0, {1.0, 10.0}},
                                                 {1, 0, {3.0, std::nullopt}},
                                                 {2, 0, {std::nullopt, 20.0}},
                                                 {4, 0, {7.0, 40.0}}};
    const RocClassSamples perDataset = collectRocSamples(entries, 2, false, false);
    EXPECT_EQ(perDataset.byFeature, (std::vector<std::vector<double>>{{1, 3, 7}, {10, 20, 40}}));
    EXPECT_EQ(perDataset.complete, (std::vector<std::vector<double>>{{1, 7}, {10, 40}}));
    const RocClassSamples perId = collectRocSamples(entries, 2, true, false);
    EXPECT_EQ(perId.byFeature, (std::vector<std::vector<double>>{{2, 7}, {10, 20, 40}}));
    EXPECT_EQ(perId.complete, (std::vector<std::vector<double>>{{2, 7}, {10, 40}}));
}

// An overflowing range gives no curve; a value off the grid counts at its
// end instead of indexing out of bounds; the band never goes below 0.
TEST(StatsCores, DensityGuardsAndBand) {
    EXPECT_FALSE(makeDensityGrid({{-1e308, 1e308}}));
    EXPECT_FALSE(makeDensityGrid({{kNaN}, {}}));
    EXPECT_TRUE(estimateDensityCurve({1.0}, kInf, 0.1, 0.0).empty());
    const std::vector<double> d = estimateDensityCurve({1e300, kNaN}, 1.0, 0.01, 0.0);
    EXPECT_EQ(std::max_element(d.begin(), d.end()) - d.begin(), 255);
    EXPECT_EQ(estimateDensityCurve({}, 1.0, 0.01, 0.0), std::vector<double>(256, 0.0));
    const DensityAverage band = averageDensityCurves({{1, 0, 1}, {3, 3, 1}});
    EXPECT_EQ(band.mean, (std::vector<double>{2, 1.5, 1}));
    EXPECT_NEAR(band.upper[0], 2 + std::sqrt(2.0), 1e-15);
    EXPECT_EQ(band.lower[1], 0.0);
    EXPECT_EQ(band.lower[2], 1.0);
    EXPECT_TRUE(averageDensityCurves({{1, 2}}).upper.empty());
}

// The table's figures for 1, 2, 3, 4 with all thirteen statistics, an empty
// and a missing feature, labels as TSV cells, and the '%g' formatting.
TEST(StatsCores, SummaryTableText) {
    StatSummaryResult all;
    all.includeIQR = all.includeSEM = all.includeQ1 = all.includeQ3 = all.includeMin = true;
    all.includeMax = all.includeCV = all.includeSkewness = all.includePercentile = true;
    const auto columns = summaryColumns(all);
    EXPECT_EQ(statSummaryHeader({"A\tb"}, columns, 95.0),
              "Dataset\tA b N\tA b Median\tA b IQR\tA b Q1\tA b Q3\tA b P95.0\tA b Mean\tA b SD"
              "\tA b SEM\tA b CV (%)\tA b Min\tA b Max\tA b Skewness\n");
    EXPECT_EQ(statSummaryRow("d\n1",
                             {computeSummaryStatistics({4, 3, 2, 1}, columns, 95.0),
                              computeSummaryStatistics({}, columns, 95.0), std::nullopt},
                             13),
              "d 1\t4\t2.5\t1.5\t1.75\t3.25\t3.85\t2.5\t1.29099\t0.645497\t51.6398\t1\t4\t0"
              "\t0" +
                  std::string(25, '\t') + "\n");
    for (const auto& [v, text] : std::vector<std::pair<double, std::string>>{
             {1200, "1200"}, {1234567, "1.23457e+06"}, {1.0 / 3, "0.333333"}, {1e-5, "1e-05"}})
        EXPECT_EQ(formatGeneral(v), text);
    EXPECT_EQ(statSummaryFeatureOrder({"b", "a"}, {{"c", "a"}, {"B", "c"}}),
              (std::vector<std::string>{"a", "b", "B", "c"}));
}

// CSV cells survive csv.reader; TSV cells lose tabs and line breaks; plain
// cells stay byte-identical; the ROC data block writes 0 for missing thresholds.
TEST(StatsCores, TableCells) {
    const std::vector<std::string> cells = {"plain",      "a,b", "say \"hi\"",
                                            "two\nlines", "",    "\xC2\xB5m\xC2\xB2"};
    TempDir dir;
    std::ofstream(dir.file("t.csv"), std::ios::binary) << joinTableRow(cells, ',');
    const auto rows = oracle(dir.file("t.csv"));
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_EQ(rows[0].groups.size(), cells.size());
    for (size_t i = 0; i < cells.size(); ++i) {
        const std::basic_string<unsigned char> bytes(cells[i].begin(), cells[i].end());
        EXPECT_EQ(rows[0].groups[i], std::vector<double>(bytes.begin(), bytes.end()));
    }
    EXPECT_EQ(joinTableRow(cells, '\t'),
              "plain\ta,b\tsay \"hi\"\ttwo lines\t\t\xC2\xB5m\xC2\xB2\n");
    EXPECT_EQ(tableSeparatorForPath("/x.y/T.CSV"), ',');
    EXPECT_EQ(tableSeparatorForPath("/x.csv/t"), '\t');
    ROCResult roc;
    roc.valid = true;
    roc.fpr = {0, 0.5};
    roc.tpr = {0, 1};
    roc.thresholds = {2.5};
    EXPECT_EQ(rocCurveDataBlock("a,b", roc, ','),
              "\"# a,b\"\nFPR,TPR,Threshold\n0,0,2.5\n0.5,1,0\n\n");
    EXPECT_EQ(rocCurveDataBlock("x", ROCResult{}, '\t'), "");
}

} // namespace
