// The group comparison run without its window: validation texts, the
// reachability question, summaries per dataset through the run, replicate
// aggregation, the tests against scipy 1.10 and the Holm decisions against
// statsmodels 0.13 (tests/stats/comparison_oracle.py, run as
// "/usr/bin/python3 tests/stats/comparison_oracle.py"; p-values 1e-9
// relative on tie-free data), the results table and the plot brackets.

#include "stats/ComparisonRun.h"
#include "support/PythonOracle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

using namespace Quorvex3;
using namespace Quorvex3::testing;

namespace {

/// Categories named A, B, C... of `sizes` datasets; dataset ids count on
/// across categories, entry e has numberId e + 1 unless `ids` is false.
std::vector<ComparisonCategory> categories(const std::vector<int>& sizes, bool ids = true) {
    std::vector<ComparisonCategory> out;
    int id = 0;
    for (std::size_t c = 0; c < sizes.size(); ++c) {
        ComparisonCategory cat;
        cat.name = std::string(1, static_cast<char>('A' + c));
        for (int e = 0; e < sizes[c]; ++e, ++id)
            cat.entries.push_back({id, cat.name + std::to_string(e + 1), ids ? e + 1 : 0, 0});
        out.push_back(cat);
    }
    return out;
}

ComparisonSettings settings(std::vector<std::string> features, bool matched = false,
                            MultipleCorrection correction = MultipleCorrection::None,
                            double alpha = 0.05) {
    ComparisonSettings s;
    s.features = std::move(features);
    s.matched = matched;
    s.correction = correction;
    s.correctionText = correction == MultipleCorrection::Bonferroni ? "Bonferroni"
                       : correction == MultipleCorrection::Holm     ? "Holm-Bonferroni"
                                                                    : "None (discouraged)";
    s.alpha = alpha;
    return s;
}

/// A provider that reads dataset id -> value for every feature, optionally
/// scaled per feature so two features differ.
SummaryProvider fromMap(std::map<int, std::optional<double>> values) {
    return [values](int id, const std::string& feature) -> std::optional<double> {
        const auto it = values.find(id);
        if (it == values.end() || !it->second)
            return std::nullopt;
        return *it->second * (feature == "b" ? 10.0 : 1.0);
    };
}

std::vector<std::string> texts(const std::vector<TableCell>& row) {
    std::vector<std::string> out;
    for (const TableCell& c : row)
        out.push_back(c.text);
    return out;
}

} // namespace

// ---- validation and reachability -------------------------------------------

// A dataset in two categories would count as an independent sample of each:
// the run is refused, naming every such dataset with its categories; one
// listed twice in the same category only is not named.
TEST(ComparisonRun, DatasetsInSeveralCategoriesAreNamed) {
    auto cats = categories({3, 3, 3});
    EXPECT_FALSE(datasetsInSeveralCategories(cats));
    cats[0].entries.push_back(cats[0].entries[0]); // A1 twice in A: not across categories
    EXPECT_FALSE(datasetsInSeveralCategories(cats));
    cats[2].entries.push_back(cats[0].entries[1]); // A2 also in C
    cats[1].entries.push_back(cats[0].entries[0]); // A1 also in B
    cats[2].entries.push_back(cats[0].entries[0]); // ... and in C
    cats[2].entries.push_back(cats[1].entries[2]); // B3 also in C
    EXPECT_EQ(datasetsInSeveralCategories(cats),
              "These datasets are in more than one category and would count as independent "
              "samples of each:\n\nA1 (A, B, C)\nA2 (A, C)\nB3 (B, C)\n\nKeep every dataset "
              "in one category only.");
}

TEST(ComparisonRun, ValidationMessagesInOrder) {
    auto idless = categories({3, 3}, false);
    auto mismatched = categories({3, 3});
    mismatched[1].entries[2].numberId = 7;
    auto shortSecond = categories({3, 2, 2});
    struct Case {
        std::vector<ComparisonCategory> cats;
        ComparisonSettings s;
        std::optional<std::string> message;
    };
    ComparisonSettings replicates = settings({"a"});
    replicates.replicates = true;
    ComparisonSettings matchedWithReplicatesOff = settings({"a"}, true);
    const std::vector<Case> cases = {
        {categories({3}), settings({"a"}), "Need at least 2 categories."},
        {shortSecond, settings({}), "Category \"B\" has fewer than 3 datasets. Minimum is 3."},
        {categories({3, 3}), settings({}), "Select at least one feature."},
        {idless, replicates,
         "Replicates are enabled but not all datasets have IDs assigned.\n"
         "Use \"Auto-detect IDs\" or assign IDs manually."},
        {idless, settings({"a"}), std::nullopt},
        {mismatched, matchedWithReplicatesOff,
         "Pairing is enabled but IDs are not valid.\nEnsure all categories have matching IDs.\n"
         "Use \"Auto-detect IDs\" or assign IDs manually."},
        {idless, matchedWithReplicatesOff,
         "Pairing is enabled but IDs are not valid.\nEnsure all categories have matching IDs.\n"
         "Use \"Auto-detect IDs\" or assign IDs manually."},
        {categories({3, 4}), matchedWithReplicatesOff,
         "Pairing is enabled but IDs are not valid.\nEnsure all categories have matching IDs.\n"
         "Use \"Auto-detect IDs\" or assign IDs manually."},
        {categories({3, 3}), matchedWithReplicatesOff, std::nullopt},
    };
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(validateComparison(cases[i].cats, cases[i].s), cases[i].message) << i;
    // Two datasets of one subject in a category still pair by their ID set.
    auto repeated = categories({3, 3});
    repeated[0].entries[2].numberId = 2;
    repeated[1].entries[2].numberId = 2;
    EXPECT_TRUE(comparisonPairingValid(repeated));
}

TEST(ComparisonRun, ReachabilityQuestion) {
    const auto three = categories({3, 3});
    const auto six = categories({6, 6});
    const auto sixOfThree = categories({6, 6, 6});
    EXPECT_EQ(reachabilityQuestion(three, settings({"a"}, true)),
              "With 3 matched observations, the minimum achievable p-value (Wilcoxon) is "
              "\u22480.109.\n\nThis exceeds the effective significance level \u03b1=0.05.\n\n"
              "Significance cannot be reached regardless of effect size. More matched "
              "observations are needed.\n\nRun anyway?");
    EXPECT_FALSE(reachabilityQuestion(six, settings({"a"}, true)));
    const auto bonferroni =
        reachabilityQuestion(six, settings({"a", "b"}, true, MultipleCorrection::Bonferroni));
    ASSERT_TRUE(bonferroni);
    EXPECT_NE(bonferroni->find("is \u22480.0277.\n"), std::string::npos) << *bonferroni;
    EXPECT_NE(bonferroni->find("\u03b1=0.025 (after Bonferroni correction).\n"), std::string::npos)
        << *bonferroni;
    // Holm is not divided in the question; three categories count three tests.
    EXPECT_FALSE(
        reachabilityQuestion(sixOfThree, settings({"a", "b"}, true, MultipleCorrection::Holm)));
    EXPECT_TRUE(
        reachabilityQuestion(sixOfThree, settings({"a"}, true, MultipleCorrection::Bonferroni)));
    EXPECT_FALSE(reachabilityQuestion(three, settings({"a"}, false)));
    // The smallest category decides: a second dataset of ID 1 does not count.
    auto withDuplicate = categories({6, 7});
    withDuplicate[1].entries[6].numberId = 1;
    EXPECT_FALSE(reachabilityQuestion(withDuplicate, settings({"a"}, true)));
}

// ---- tests against scipy and statsmodels -----------------------------------

TEST(ComparisonRun, PValuesMatchScipyAndHolmMatchesStatsmodels) {
    const auto cases = runPythonOracle(std::string(QUORVEX3_TEST_DIR) + "/comparison_oracle.py");
    ASSERT_EQ(cases.size(), 24u);
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const auto& [kind, g] = cases[k];
        SCOPED_TRACE(kind + " case " + std::to_string(k));
        const std::size_t c = g.size() - 3;
        std::vector<int> sizes(c, static_cast<int>(g[3].size()));
        const bool matched = kind.rfind("MAT", 0) == 0;
        auto cats = categories(sizes);
        // Shuffle the entry order of the last category: matching goes by ID.
        std::reverse(cats.back().entries.begin(), cats.back().entries.end());
        std::map<int, std::optional<double>> values;
        for (std::size_t i = 0; i < c; ++i)
            for (const ComparisonEntry& e : cats[i].entries)
                values[e.datasetId] = g[3 + i][static_cast<std::size_t>(e.numberId - 1)];
        const auto s = settings({"a"}, matched, MultipleCorrection::Holm, g[0][0]);
        ASSERT_FALSE(validateComparison(cats, s));
        const ComparisonOutcome out = runComparison(cats, s, fromMap(values));
        ASSERT_EQ(out.features.size(), 1u);
        const FeatureComparison& fc = out.features[0];
        EXPECT_EQ(fc.omnibusName, kind == "IND2"   ? "Mann-Whitney U"
                                  : kind == "IND3" ? "Kruskal-Wallis"
                                  : kind == "MAT2" ? "Wilcoxon"
                                                   : "Friedman");
        ASSERT_EQ(fc.pairwise.size(), g[1].size() - 1);
        ASSERT_TRUE(fc.omnibus.valid);
        EXPECT_NEAR(fc.omnibus.pValue, g[1][0], 1e-9 * g[1][0]);
        std::size_t pair = 0;
        for (std::size_t i = 0; i < c; ++i)
            for (std::size_t j = i + 1; j < c && c > 2; ++j, ++pair) {
                const PairwiseComparison& pc = fc.pairwise[pair];
                EXPECT_EQ(pc.first * 10 + pc.second, static_cast<int>(i * 10 + j));
                EXPECT_EQ(pc.testName, matched ? "Wilcoxon" : "Mann-Whitney U");
                EXPECT_NEAR(pc.result.pValue, g[1][pair + 1], 1e-9 * g[1][pair + 1]);
                EXPECT_EQ(pc.stars != "ns", g[2][pair] == 1.0) << pair;
            }
        if (c == 2) {
            EXPECT_EQ(fc.omnibusStars != "ns", g[2][0] == 1.0);
        }
        EXPECT_EQ(significanceBars(fc).size(),
                  static_cast<std::size_t>(std::count(g[2].begin(), g[2].end(), 1.0)));
    }
}

// ---- missing values, replicates ---------------------------------------------

// A dataset without a value is not a 0.0: it leaves the feature's values,
// labels, matched IDs and test, and is named once after the results.
TEST(ComparisonRun, DatasetsWithoutValueAreLeftOutAndNamed) {
    auto cats = categories({4, 4});
    std::map<int, std::optional<double>> values = {{0, 1.0}, {1, 2.0}, {2, std::nullopt}, {3, 4.0},
                                                   {4, 5.0}, {5, 6.0}, {6, 7.0},          {7, NAN}};
    const ComparisonOutcome independent =
        runComparison(cats, settings({"a", "b"}), fromMap(values));
    const FeatureComparison& a = independent.features[0];
    EXPECT_EQ(a.categoryValues, (std::vector<std::vector<double>>{{1, 2, 4}, {5, 6, 7}}));
    EXPECT_EQ(a.pointLabels[0], (std::vector<std::string>{"A1", "A2", "A4"}));
    EXPECT_EQ(meanSdText(a.categoryValues[0]), "2.333 \u00b1 1.53");
    ASSERT_EQ(independent.omitted.size(), 4u);
    EXPECT_EQ(omittedDatasetsMessage(independent.omitted),
              "These datasets have no value for a feature (no shown event with a finite value) "
              "and were left out of its comparison:\n\na: A3 (A), B4 (B)\nb: A3 (A), B4 (B)");
    EXPECT_EQ(omittedDatasetsMessage({}), "");

    // Matched: ID 3 has no value in A and ID 4 none in B, so only 1 and 2 pair.
    const ComparisonOutcome matched = runComparison(cats, settings({"a"}, true), fromMap(values));
    const FeatureComparison& m = matched.features[0];
    EXPECT_EQ(m.matchedValues[0], (std::map<int, double>{{1, 1}, {2, 2}, {4, 4}}));
    EXPECT_EQ(m.matchedValues[1], (std::map<int, double>{{1, 5}, {2, 6}, {3, 7}}));
    EXPECT_FALSE(m.omnibus.valid); // two pairs are too few for the signed-rank test
    EXPECT_EQ(buildComparisonTable(matched, {"A", "B"}, settings({"a"}, true)).rows[0][4].text,
              "n/a");
}

TEST(ComparisonRun, ReplicatesAggregatePerId) {
    auto cats = categories({3, 3});
    for (ComparisonEntry& e : cats[0].entries)
        e.numberId = 1; // one subject measured three times
    cats[1].entries[1].numberId = 1;
    auto s = settings({"a"});
    s.replicates = true;
    s.summary = SummaryStatistic::StandardDeviation;
    const auto values = fromMap({{0, 1.0}, {1, 2.0}, {2, 3.0}, {3, 3.0}, {4, 4.0}, {5, 8.0}});
    const ComparisonOutcome out = runComparison(cats, s, values);
    const FeatureComparison& fc = out.features[0];
    ASSERT_EQ(fc.categoryValues[1].size(), 2u);
    EXPECT_NEAR(fc.categoryValues[1][0], 3.5355, 5e-5); // root mean square of 3 and 4
    EXPECT_EQ(fc.pointLabels[1], (std::vector<std::string>{"ID 1", "ID 3"}));
    EXPECT_EQ(fc.categoryValues[0].size(), 1u);
    EXPECT_FALSE(fc.omnibus.valid);
    const ComparisonTable table = buildComparisonTable(out, {"A", "B"}, s);
    EXPECT_EQ(texts(table.rows[0]),
              (std::vector<std::string>{"a", "2.16 \u00b1 0", "5.768 \u00b1 3.16", "Mann-Whitney U",
                                        "n/a", "n/a"}));
    s.summary = SummaryStatistic::Mean;
    EXPECT_EQ(runComparison(cats, s, values).features[0].categoryValues[1][0], 3.5);
}

// Matched design: without "Replicates included" the datasets of one ID are
// averaged in one level whatever their biological replicate numbers; with it,
// technical replicates first, then biological ones.
TEST(ComparisonRun, MatchedReplicatesOneOrTwoLevels) {
    auto cats = categories({3, 3});
    cats[0].entries = {{0, "a", 1, 1}, {1, "b", 1, 1}, {2, "c", 1, 2}};
    cats[1].entries = {{3, "d", 1, 0}, {4, "e", 1, 0}, {5, "f", 1, 0}};
    const auto values = fromMap({{0, 1.0}, {1, 3.0}, {2, 8.0}, {3, 1.0}, {4, 1.0}, {5, 1.0}});
    auto s = settings({"a"}, true);
    EXPECT_EQ(runComparison(cats, s, values).features[0].matchedValues[0].at(1), 4.0);
    s.replicates = true;
    EXPECT_EQ(runComparison(cats, s, values).features[0].matchedValues[0].at(1), 5.0);
    // The table keeps one value per dataset in the matched design.
    EXPECT_EQ(runComparison(cats, s, values).features[0].categoryValues[0].size(), 3u);
}

// Three matched categories, subject 2 without a value only in the middle one:
// it leaves the Friedman test and every pairwise test, also the first vs
// last pair where it has both values. The three remaining subjects rank
// A < B < C in every block: Q = 12/(3*3*4) * (3^2 + 6^2 + 9^2) - 3*3*4 = 6,
// p = exp(-3); each pairwise signed-rank test sees three positive
// differences (W = 0), p = erfc(z / sqrt 2) with z = 3 / sqrt(3.5).
TEST(ComparisonRun, SubjectMissingInTheMiddleCategoryLeavesEveryMatchedTest) {
    auto cats = categories({4, 4, 4});
    // Subject s of A, B, C: s, s + 10, s + 20; subject 2 gets a large jump
    // from A to C that would change the first vs last test if it stayed.
    std::map<int, std::optional<double>> values;
    for (int s = 0; s < 4; ++s) {
        values[s] = s + 1.0;
        values[4 + s] = s + 11.0;
        values[8 + s] = s + 21.0;
    }
    values[5] = std::nullopt; // subject 2 in B
    values[1] = 50.0;         // subject 2 in A: C - A = -28, the only negative difference
    const ComparisonOutcome out =
        runComparison(cats, settings({"a"}, true, MultipleCorrection::None), fromMap(values));
    const FeatureComparison& fc = out.features[0];
    ASSERT_EQ(fc.omnibusName, "Friedman");
    ASSERT_TRUE(fc.omnibus.valid);
    EXPECT_NEAR(fc.omnibus.statistic, 6.0, 1e-12);
    EXPECT_NEAR(fc.omnibus.pValue, std::exp(-3.0), 1e-12);
    const double wilcoxonP = std::erfc(3.0 / std::sqrt(3.5) / std::sqrt(2.0));
    ASSERT_EQ(fc.pairwise.size(), 3u);
    for (const PairwiseComparison& pc : fc.pairwise) {
        SCOPED_TRACE(std::to_string(pc.first) + " vs " + std::to_string(pc.second));
        ASSERT_TRUE(pc.result.valid);
        EXPECT_NEAR(pc.result.pValue, wilcoxonP, 1e-9);
    }
    // The subject is named once as left out.
    ASSERT_EQ(out.omitted.size(), 1u);
    EXPECT_EQ(out.omitted[0].displayName, "B2");
}

// Independent design with replicates: an ID's value is the mean of its
// biological replicates' means (bio 1: 1 and 3, bio 2: 8 gives (2 + 8) / 2
// = 5), not the mean of all its datasets (4).
TEST(ComparisonRun, IndependentReplicatesAverageTechnicalWithinBiologicalFirst) {
    auto cats = categories({3, 3});
    cats[0].entries = {{0, "a", 1, 1}, {1, "b", 1, 1}, {2, "c", 1, 2}};
    auto s = settings({"a"});
    s.replicates = true;
    s.summary = SummaryStatistic::Mean;
    const auto values = fromMap({{0, 1.0}, {1, 3.0}, {2, 8.0}, {3, 1.0}, {4, 2.0}, {5, 3.0}});
    const FeatureComparison fc = runComparison(cats, s, values).features[0];
    EXPECT_EQ(fc.categoryValues[0], (std::vector<double>{5.0}));
    EXPECT_EQ(fc.pointLabels[0], (std::vector<std::string>{"ID 1"}));
}

// ---- results table ----------------------------------------------------------

TEST(ComparisonRun, TableOfTwoCategoriesTwoFeatures) {
    const auto cats = categories({3, 3});
    const auto s = settings({"a", "b"});
    const ComparisonOutcome out =
        runComparison(cats, s, fromMap({{0, 1.}, {1, 2.}, {2, 3.}, {3, 4.}, {4, 5.}, {5, 6.}}));
    const ComparisonTable table = buildComparisonTable(out, {"A", "B"}, s);
    EXPECT_EQ(comparisonTableFrame({"A", "B"}),
              (std::vector<std::string>{"Feature", "A", "B", "Test", "p", "Sig."}));
    EXPECT_EQ(table.header,
              (std::vector<std::string>{"Feature", "A", "B", "Test", "p", "Sig. (\u03b1=0.05)"}));
    ASSERT_EQ(table.rows.size(), 2u);
    // U = 0 with 3 and 3: z = -1.96396, p = 0.049535 (normal approximation).
    EXPECT_EQ(texts(table.rows[1]), (std::vector<std::string>{"b", "20 \u00b1 10", "50 \u00b1 10",
                                                              "Mann-Whitney U", "0.04953", "*"}));
    for (std::size_t col = 0; col < 6; ++col)
        EXPECT_EQ(table.rows[0][col].alignRight, col == 1 || col == 2 || col == 4) << col;
}

TEST(ComparisonRun, TableOfThreeCategoriesWithBonferroni) {
    const auto cats = categories({3, 3, 3});
    const auto s = settings({"a"}, false, MultipleCorrection::Bonferroni);
    const ComparisonOutcome out = runComparison(
        cats, s,
        fromMap({{0, 1.}, {1, 2.}, {2, 3.}, {3, 4.}, {4, 5.}, {5, 6.}, {6, 7.}, {7, 8.}, {8, 9.}}));
    const ComparisonTable table = buildComparisonTable(out, {"A", "B", "C"}, s);
    EXPECT_EQ(table.header.back(), "Sig. (\u03b1*=0.01667)");
    ASSERT_EQ(table.rows.size(), 4u);
    EXPECT_EQ(table.rows[0][4].text, "Kruskal-Wallis");
    EXPECT_EQ(table.rows[0][6].text, "(omnibus)");
    std::vector<std::string> firstColumn;
    for (const auto& row : table.rows)
        firstColumn.push_back(row[0].text);
    EXPECT_EQ(firstColumn, (std::vector<std::string>{"a", "  A vs B", "  A vs C", "  B vs C"}));
    EXPECT_EQ(texts(table.rows[1]), (std::vector<std::string>{"  A vs B", "", "", "",
                                                              "Mann-Whitney U", "0.04953", "ns"}));
    for (double alpha : {0.05, 0.2}) {
        auto holm = settings({"a"}, false, MultipleCorrection::Holm, alpha);
        const ComparisonTable h = buildComparisonTable(out, {"A", "B", "C"}, holm);
        EXPECT_EQ(h.header.back(), "Sig. (Holm)");
    }
    // A family of one is not corrected, whatever the choice.
    ComparisonOutcome single = out;
    single.family.resize(1);
    EXPECT_EQ(buildComparisonTable(single, {"A", "B", "C"},
                                   settings({"a"}, false, MultipleCorrection::Holm))
                  .header.back(),
              "Sig. (\u03b1=0.05)");
    // The omnibus p-value is neither corrected nor marked.
    EXPECT_TRUE(out.features[0].omnibusStars.empty());
    ASSERT_EQ(out.family.size(), 3u);
    EXPECT_EQ(out.family[0].pairIndex, 0);
}

TEST(ComparisonRun, TableFormatsAndInvalidPairs) {
    ComparisonOutcome out;
    FeatureComparison fc;
    fc.label = "Area";
    fc.categoryValues = {{2.0}, {}, {1.0, 2.0}};
    fc.omnibus = {5.0, 0.000012345, true};
    fc.omnibusName = "Kruskal-Wallis";
    fc.pairwise = {{0, 1, {}, "Mann-Whitney U", ""},
                   {0, 2, {1.0, 0.001, true}, "Mann-Whitney U", "**"},
                   {1, 2, {1.0, NAN, true}, "Mann-Whitney U", ""}};
    out.features = {fc};
    out.family = {{0, 1, 0.001, 0.05, "**", true}};
    const ComparisonTable table = buildComparisonTable(
        out, {"A", "B", "C"}, settings({"x"}, false, MultipleCorrection::Bonferroni));
    // One valid member: no division.
    EXPECT_EQ(table.header.back(), "Sig. (\u03b1=0.05)");
    EXPECT_EQ(texts(table.rows[0]),
              (std::vector<std::string>{"Area", "2 \u00b1 0", "n/a", "1.5 \u00b1 0.707",
                                        "Kruskal-Wallis", "1.234e-05", "(omnibus)"}));
    EXPECT_EQ(table.rows[1][5].text + table.rows[1][6].text, "n/an/a");
    EXPECT_EQ(table.rows[3][5].text + table.rows[3][6].text, "n/an/a");
    const auto bars = significanceBars(fc);
    ASSERT_EQ(bars.size(), 1u);
    EXPECT_EQ(bars[0].first * 10 + bars[0].second, 2);
    EXPECT_EQ(bars[0].stars, "**");

    FeatureComparison two;
    two.omnibus = {1.0, 0.2, true};
    two.omnibusStars = "ns";
    EXPECT_TRUE(significanceBars(two).empty());
    two.omnibusStars = "*";
    ASSERT_EQ(significanceBars(two).size(), 1u);
    two.omnibus.valid = false;
    EXPECT_TRUE(significanceBars(two).empty());
}

// Holm in a run: p = (0.01, 0.04, 0.03, 0.005) over four features of two
// categories marks only 0.005 and 0.01 (a per-rank rule would also mark 0.04).
TEST(ComparisonRun, HolmStepsDownAcrossFeatures) {
    std::vector<CorrectedTest> family(4);
    const double p[] = {0.01, 0.04, 0.03, 0.005};
    for (int f = 0; f < 4; ++f)
        family[static_cast<std::size_t>(f)] = {f, -1, p[f], 0.0, "", true};
    applyCorrection(family, 0.05, MultipleCorrection::Holm);
    std::vector<std::string> stars;
    for (const CorrectedTest& t : family)
        stars.push_back(t.stars);
    EXPECT_EQ(stars, (std::vector<std::string>{"*", "ns", "ns", "*"}));
}
