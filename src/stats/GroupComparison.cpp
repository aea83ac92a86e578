#include "stats/GroupComparison.h"

#include "stats/DatasetSummary.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

namespace Quorvex3 {

double reduceReplicateValues(const std::vector<double>& values, bool rootMeanSquare) {
    if (values.empty())
        return std::numeric_limits<double>::quiet_NaN();
    if (values.size() == 1)
        return values.front();
    double sum = 0.0;
    for (double v : values)
        sum += rootMeanSquare ? v * v : v;
    const double meanValue = sum / static_cast<double>(values.size());
    return rootMeanSquare ? std::sqrt(meanValue) : meanValue;
}

std::map<int, double> aggregateReplicates(const std::vector<ReplicateSample>& samples,
                                          bool rootMeanSquare, bool byBioRep) {
    std::map<std::pair<int, int>, std::vector<double>> technical;
    for (const ReplicateSample& s : samples)
        if (s.value)
            technical[{s.numberId, byBioRep ? s.bioRepId : 0}].push_back(*s.value);

    std::map<int, std::vector<double>> biological;
    for (const auto& [key, values] : technical)
        biological[key.first].push_back(reduceReplicateValues(values, rootMeanSquare));

    std::map<int, double> byId;
    for (const auto& [id, values] : biological)
        byId.emplace(id, reduceReplicateValues(values, rootMeanSquare));
    return byId;
}

std::vector<double> mapValues(const std::map<int, double>& byId) {
    std::vector<double> values;
    values.reserve(byId.size());
    for (const auto& entry : byId)
        values.push_back(entry.second);
    return values;
}

MultipleCorrection correctionFromText(const std::string& text) {
    if (text == "Bonferroni")
        return MultipleCorrection::Bonferroni;
    if (text == "Holm-Bonferroni")
        return MultipleCorrection::Holm;
    return MultipleCorrection::None;
}

std::vector<CorrectedTest> buildTestFamily(const std::vector<TestResult>& omnibus,
                                           const std::vector<std::vector<TestResult>>& pairwise) {
    std::vector<CorrectedTest> family;
    const auto add = [&family](int feature, int pair, const TestResult& test) {
        if (!test.valid)
            return;
        CorrectedTest member;
        member.featureIndex = feature;
        member.pairIndex = pair;
        member.pValue = test.pValue;
        family.push_back(member);
    };
    for (std::size_t f = 0; f < omnibus.size(); ++f) {
        const int feature = static_cast<int>(f);
        if (f >= pairwise.size() || pairwise[f].empty()) {
            add(feature, -1, omnibus[f]);
            continue;
        }
        for (std::size_t p = 0; p < pairwise[f].size(); ++p)
            add(feature, static_cast<int>(p), pairwise[f][p]);
    }
    return family;
}

std::vector<int> sortTestsByPValue(const std::vector<double>& pValues) {
    std::vector<int> order;
    order.reserve(pValues.size());
    for (std::size_t i = 0; i < pValues.size(); ++i)
        if (std::isfinite(pValues[i]))
            order.push_back(static_cast<int>(i));
    std::stable_sort(order.begin(), order.end(), [&pValues](int l, int r) {
        return pValues[static_cast<std::size_t>(l)] < pValues[static_cast<std::size_t>(r)];
    });
    return order;
}

void applyCorrection(std::vector<CorrectedTest>& family, double alpha,
                     MultipleCorrection correction) {
    std::vector<double> pValues;
    pValues.reserve(family.size());
    for (CorrectedTest& member : family) {
        member.valid = std::isfinite(member.pValue);
        member.threshold = alpha;
        member.stars.clear();
        pValues.push_back(member.pValue);
    }
    const std::vector<int> order = sortTestsByPValue(pValues);
    const std::size_t m = order.size();
    const bool bonferroni = m >= 2 && correction == MultipleCorrection::Bonferroni;
    const bool holm = m >= 2 && correction == MultipleCorrection::Holm;
    bool rejecting = true; // Holm stops at its first non-rejection
    double adjusted = 0.0; // Holm's adjusted p: running maximum of min(1, (m - i) p)
    for (std::size_t i = 0; i < m; ++i) {
        CorrectedTest& member = family[static_cast<std::size_t>(order[i])];
        if (bonferroni)
            member.threshold = alpha / static_cast<double>(m);
        else if (holm)
            member.threshold = alpha / static_cast<double>(m - i);
        if (!holm) {
            member.stars = significanceStars(member.pValue, member.threshold);
            continue;
        }
        if (!(member.pValue < member.threshold))
            rejecting = false;
        adjusted = std::max(adjusted, std::min(1.0, static_cast<double>(m - i) * member.pValue));
        // Per-rank thresholds would give tied p-values different stars and
        // a larger p more stars than a smaller one; the adjusted p-values
        // rise with p and are equal for ties. The step-down alone says which
        // tests are rejected; a rejected one keeps at least one star even
        // where the product rounds onto alpha.
        const std::string stars = significanceStars(adjusted, alpha);
        member.stars = !rejecting ? "ns" : stars == "ns" ? "*" : stars;
    }
}

double wilcoxonMinimumP(int n) {
    if (n < 1)
        return 1.0;
    const double nd = static_cast<double>(n);
    const double meanW = nd * (nd + 1.0) / 4.0;
    const double sdW = std::sqrt(nd * (nd + 1.0) * (2.0 * nd + 1.0) / 24.0);
    return std::erfc(meanW / sdW / std::sqrt(2.0));
}

ReachabilityCheck checkReachability(int n, double alpha, MultipleCorrection correction,
                                    int featureCount, int categoryCount) {
    ReachabilityCheck check;
    check.pMin = wilcoxonMinimumP(n);
    const long long tests = static_cast<long long>(featureCount) * categoryCount *
                            (static_cast<long long>(categoryCount) - 1) / 2;
    check.bonferroniApplied = correction == MultipleCorrection::Bonferroni && tests >= 2;
    check.effectiveAlpha = check.bonferroniApplied ? alpha / static_cast<double>(tests) : alpha;
    check.reachable = !(check.effectiveAlpha < check.pMin);
    return check;
}

} // namespace Quorvex3
