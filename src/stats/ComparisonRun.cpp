#include "stats/ComparisonRun.h"

#include "stats/NonParametricTests.h"
#include "stats/TableText.h"

#include <cmath>
#include <cstddef>
#include <set>
#include <utility>

namespace Quorvex3 {

namespace {

std::set<int> idSet(const ComparisonCategory& category) {
    std::set<int> ids;
    for (const ComparisonEntry& e : category.entries)
        ids.insert(e.numberId);
    return ids;
}

double mean(const std::vector<double>& v) {
    double sum = 0.0;
    for (double x : v)
        sum += x;
    return sum / static_cast<double>(v.size());
}

double sampleSd(const std::vector<double>& v) {
    if (v.size() < 2)
        return 0.0;
    const double m = mean(v);
    double squares = 0.0;
    for (double x : v)
        squares += (x - m) * (x - m);
    return std::sqrt(squares / static_cast<double>(v.size() - 1));
}

/// The values of `byId` at `ids`, in the order of `ids`.
std::vector<double> valuesAt(const std::map<int, double>& byId, const std::vector<int>& ids) {
    std::vector<double> v;
    v.reserve(ids.size());
    for (int id : ids)
        v.push_back(byId.at(id));
    return v;
}

std::vector<double> differences(const std::vector<double>& from, const std::vector<double>& to) {
    std::vector<double> d(from.size());
    for (std::size_t i = 0; i < from.size(); ++i)
        d[i] = to[i] - from[i];
    return d;
}

bool testValid(const TestResult& t) { return t.valid && std::isfinite(t.pValue); }

/// The summary values of one category for one feature; entries without a
/// value are recorded as omitted and leave every later step.
std::vector<ReplicateSample> categorySamples(const ComparisonCategory& category,
                                             const std::string& feature, const std::string& label,
                                             const SummaryProvider& summaryOf,
                                             std::vector<OmittedDataset>& omitted) {
    std::vector<ReplicateSample> samples;
    for (const ComparisonEntry& e : category.entries) {
        ReplicateSample s{e.numberId, e.bioRepId, summaryOf(e.datasetId, feature)};
        if (s.value && !std::isfinite(*s.value))
            s.value.reset();
        if (!s.value)
            omitted.push_back({label, category.name, e.displayName});
        samples.push_back(s);
    }
    return samples;
}

void runIndependentTests(FeatureComparison& fc) {
    const auto& v = fc.categoryValues;
    if (v.size() == 2) {
        fc.omnibus = NonParametricTests::mannWhitneyU(v[0], v[1]);
        fc.omnibusName = "Mann-Whitney U";
        return;
    }
    fc.omnibus = NonParametricTests::kruskalWallis(v);
    fc.omnibusName = "Kruskal-Wallis";
    for (std::size_t i = 0; i < v.size(); ++i)
        for (std::size_t j = i + 1; j < v.size(); ++j)
            fc.pairwise.push_back({static_cast<int>(i), static_cast<int>(j),
                                   NonParametricTests::mannWhitneyU(v[i], v[j]), "Mann-Whitney U",
                                   ""});
}

void runMatchedTests(FeatureComparison& fc) {
    const auto& maps = fc.matchedValues;
    std::vector<int> ids;
    for (const auto& entry : maps.front()) {
        bool everywhere = true;
        for (const auto& m : maps)
            everywhere = everywhere && m.count(entry.first) > 0;
        if (everywhere)
            ids.push_back(entry.first);
    }
    std::vector<std::vector<double>> groups;
    for (const auto& m : maps)
        groups.push_back(valuesAt(m, ids));
    if (groups.size() == 2) {
        fc.omnibus = NonParametricTests::wilcoxonSignedRank(differences(groups[0], groups[1]));
        fc.omnibusName = "Wilcoxon";
        return;
    }
    fc.omnibus = NonParametricTests::friedman(groups);
    fc.omnibusName = "Friedman";
    for (std::size_t i = 0; i < groups.size(); ++i)
        for (std::size_t j = i + 1; j < groups.size(); ++j)
            fc.pairwise.push_back(
                {static_cast<int>(i), static_cast<int>(j),
                 NonParametricTests::wilcoxonSignedRank(differences(groups[i], groups[j])),
                 "Wilcoxon", ""});
}

FeatureComparison compareFeature(const std::vector<ComparisonCategory>& categories,
                                 const ComparisonSettings& settings, std::size_t f,
                                 const SummaryProvider& summaryOf,
                                 std::vector<OmittedDataset>& omitted) {
    FeatureComparison fc;
    fc.feature = settings.features[f];
    fc.label = f < settings.featureLabels.size() && !settings.featureLabels[f].empty()
                   ? settings.featureLabels[f]
                   : fc.feature;
    // Standard deviations are pooled as a root mean square, not averaged.
    const bool rms = settings.summary == SummaryStatistic::StandardDeviation;
    for (const ComparisonCategory& category : categories) {
        const std::vector<ReplicateSample> samples =
            categorySamples(category, fc.feature, fc.label, summaryOf, omitted);
        std::vector<double> values;
        std::vector<std::string> labels;
        if (!settings.matched && settings.replicates) {
            for (const auto& [id, value] : aggregateReplicates(samples, rms, true)) {
                values.push_back(value);
                labels.push_back("ID " + std::to_string(id));
            }
        } else {
            for (std::size_t e = 0; e < samples.size(); ++e)
                if (samples[e].value) {
                    values.push_back(*samples[e].value);
                    labels.push_back(category.entries[e].displayName);
                }
        }
        fc.categoryValues.push_back(std::move(values));
        fc.pointLabels.push_back(std::move(labels));
        if (settings.matched)
            fc.matchedValues.push_back(aggregateReplicates(samples, rms, settings.replicates));
    }
    if (settings.matched)
        runMatchedTests(fc);
    else
        runIndependentTests(fc);
    return fc;
}

} // namespace

std::optional<std::string>
datasetsInSeveralCategories(const std::vector<ComparisonCategory>& categories) {
    struct Placement {
        std::string name;
        std::vector<std::size_t> categories; // distinct, ascending
    };
    std::vector<int> order;
    std::map<int, Placement> placements;
    for (std::size_t c = 0; c < categories.size(); ++c)
        for (const ComparisonEntry& e : categories[c].entries) {
            auto [it, added] = placements.try_emplace(e.datasetId, Placement{e.displayName, {}});
            if (added)
                order.push_back(e.datasetId);
            if (it->second.categories.empty() || it->second.categories.back() != c)
                it->second.categories.push_back(c);
        }
    std::string lines;
    for (int id : order) {
        const Placement& p = placements.at(id);
        if (p.categories.size() < 2)
            continue;
        lines += "\n" + p.name + " (";
        for (std::size_t i = 0; i < p.categories.size(); ++i)
            lines += (i ? ", " : "") + categories[p.categories[i]].name;
        lines += ")";
    }
    if (lines.empty())
        return std::nullopt;
    return "These datasets are in more than one category and would count as independent "
           "samples of each:\n" +
           lines + "\n\nKeep every dataset in one category only.";
}

bool comparisonPairingValid(const std::vector<ComparisonCategory>& categories) {
    if (categories.size() < 2)
        return false;
    for (const ComparisonCategory& c : categories) {
        if (c.entries.empty())
            return false;
        for (const ComparisonEntry& e : c.entries)
            if (e.numberId < 1)
                return false;
    }
    const std::set<int> first = idSet(categories.front());
    for (const ComparisonCategory& c : categories)
        if (idSet(c) != first)
            return false;
    return true;
}

std::optional<std::string> validateComparison(const std::vector<ComparisonCategory>& categories,
                                              const ComparisonSettings& settings) {
    if (categories.size() < 2)
        return std::string("Need at least 2 categories.");
    for (const ComparisonCategory& c : categories)
        if (c.entries.size() < 3)
            return "Category \"" + c.name + "\" has fewer than 3 datasets. Minimum is 3.";
    if (settings.features.empty())
        return std::string("Select at least one feature.");
    if (!settings.matched && settings.replicates) {
        for (const ComparisonCategory& c : categories)
            for (const ComparisonEntry& e : c.entries)
                if (e.numberId < 1)
                    return std::string(
                        "Replicates are enabled but not all datasets have IDs assigned.\n"
                        "Use \"Auto-detect IDs\" or assign IDs manually.");
    }
    if (settings.matched && !comparisonPairingValid(categories))
        return std::string("Pairing is enabled but IDs are not valid.\n"
                           "Ensure all categories have matching IDs.\n"
                           "Use \"Auto-detect IDs\" or assign IDs manually.");
    return std::nullopt;
}

std::optional<std::string> reachabilityQuestion(const std::vector<ComparisonCategory>& categories,
                                                const ComparisonSettings& settings) {
    if (!settings.matched || categories.empty())
        return std::nullopt;
    std::size_t n = idSet(categories.front()).size();
    for (const ComparisonCategory& c : categories)
        n = std::min(n, idSet(c).size());
    const ReachabilityCheck check =
        checkReachability(static_cast<int>(n), settings.alpha, settings.correction,
                          static_cast<int>(settings.features.size()),
                          static_cast<int>(categories.size()));
    if (check.reachable)
        return std::nullopt;
    const std::string after =
        check.bonferroniApplied ? " (after " + settings.correctionText + " correction)" : "";
    return "With " + std::to_string(n) +
           " matched observations, the minimum achievable p-value (Wilcoxon) is \u2248" +
           formatGeneral(check.pMin, 3) + ".\n\nThis exceeds the effective significance level " +
           "\u03b1=" + formatGeneral(check.effectiveAlpha, 4) + after +
           ".\n\nSignificance cannot be reached regardless of effect size. More matched "
           "observations are needed.\n\nRun anyway?";
}

ComparisonOutcome runComparison(const std::vector<ComparisonCategory>& categories,
                                const ComparisonSettings& settings,
                                const SummaryProvider& summaryOf) {
    ComparisonOutcome outcome;
    if (categories.size() < 2)
        return outcome;
    for (std::size_t f = 0; f < settings.features.size(); ++f)
        outcome.features.push_back(
            compareFeature(categories, settings, f, summaryOf, outcome.omitted));

    std::vector<TestResult> omnibus;
    std::vector<std::vector<TestResult>> pairwise;
    for (const FeatureComparison& fc : outcome.features) {
        omnibus.push_back(fc.omnibus);
        pairwise.emplace_back();
        for (const PairwiseComparison& pc : fc.pairwise)
            pairwise.back().push_back(pc.result);
    }
    outcome.family = buildTestFamily(omnibus, pairwise);
    applyCorrection(outcome.family, settings.alpha, settings.correction);
    for (const CorrectedTest& member : outcome.family) {
        if (!member.valid)
            continue;
        FeatureComparison& fc = outcome.features[static_cast<std::size_t>(member.featureIndex)];
        if (member.pairIndex < 0)
            fc.omnibusStars = member.stars;
        else
            fc.pairwise[static_cast<std::size_t>(member.pairIndex)].stars = member.stars;
    }
    return outcome;
}

std::string meanSdText(const std::vector<double>& values) {
    if (values.empty())
        return "n/a";
    return formatGeneral(mean(values), 4) + " \u00b1 " + formatGeneral(sampleSd(values), 3);
}

std::vector<std::string> comparisonTableFrame(const std::vector<std::string>& categoryNames) {
    std::vector<std::string> header = {"Feature"};
    header.insert(header.end(), categoryNames.begin(), categoryNames.end());
    header.insert(header.end(), {"Test", "p", "Sig."});
    return header;
}

ComparisonTable buildComparisonTable(const ComparisonOutcome& outcome,
                                     const std::vector<std::string>& categoryNames,
                                     const ComparisonSettings& settings) {
    ComparisonTable table;
    table.header = comparisonTableFrame(categoryNames);
    std::size_t m = 0;
    for (const CorrectedTest& member : outcome.family)
        m += member.valid ? 1 : 0;
    if (settings.correction == MultipleCorrection::Bonferroni && m >= 2)
        table.header.back() =
            "Sig. (\u03b1*=" + formatGeneral(settings.alpha / static_cast<double>(m), 4) + ")";
    else if (settings.correction == MultipleCorrection::Holm && m >= 2)
        table.header.back() = "Sig. (Holm)";
    else
        table.header.back() = "Sig. (\u03b1=" + formatGeneral(settings.alpha, 4) + ")";

    const std::size_t columns = table.header.size();
    const std::size_t c = categoryNames.size();
    const auto pText = [](const TestResult& t) {
        return TableCell{testValid(t) ? formatGeneral(t.pValue, 4) : "n/a", true};
    };
    for (const FeatureComparison& fc : outcome.features) {
        std::vector<TableCell> row(columns);
        row[0].text = fc.label;
        for (std::size_t i = 0; i < c && i < fc.categoryValues.size(); ++i)
            row[1 + i] = {meanSdText(fc.categoryValues[i]), true};
        row[c + 1].text = fc.omnibusName;
        row[c + 2] = pText(fc.omnibus);
        if (!testValid(fc.omnibus))
            row[c + 3].text = "n/a";
        else
            row[c + 3].text = fc.pairwise.empty() ? fc.omnibusStars : "(omnibus)";
        table.rows.push_back(std::move(row));
        for (const PairwiseComparison& pc : fc.pairwise) {
            std::vector<TableCell> pair(columns);
            pair[0].text = "  " + categoryNames[static_cast<std::size_t>(pc.first)] + " vs " +
                           categoryNames[static_cast<std::size_t>(pc.second)];
            pair[c + 1].text = pc.testName;
            pair[c + 2] = pText(pc.result);
            pair[c + 3].text = testValid(pc.result) ? pc.stars : "n/a";
            table.rows.push_back(std::move(pair));
        }
    }
    return table;
}

std::vector<SignificanceBar> significanceBars(const FeatureComparison& comparison) {
    std::vector<SignificanceBar> bars;
    const auto marked = [](const TestResult& t, const std::string& stars) {
        return testValid(t) && !stars.empty() && stars != "ns";
    };
    if (comparison.pairwise.empty()) {
        if (marked(comparison.omnibus, comparison.omnibusStars))
            bars.push_back({0, 1, comparison.omnibusStars});
        return bars;
    }
    for (const PairwiseComparison& pc : comparison.pairwise)
        if (marked(pc.result, pc.stars))
            bars.push_back({pc.first, pc.second, pc.stars});
    return bars;
}

std::string omittedDatasetsMessage(const std::vector<OmittedDataset>& omitted) {
    if (omitted.empty())
        return {};
    std::string text = "These datasets have no value for a feature (no shown event with a "
                       "finite value) and were left out of its comparison:\n";
    std::string currentFeature;
    bool first = true;
    for (const OmittedDataset& o : omitted) {
        if (first || o.featureLabel != currentFeature) {
            text += "\n" + o.featureLabel + ": ";
            currentFeature = o.featureLabel;
        } else {
            text += ", ";
        }
        text += o.displayName + " (" + o.categoryName + ")";
        first = false;
    }
    return text;
}

} // namespace Quorvex3
