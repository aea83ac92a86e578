#include "stats/ROCAnalysis.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

namespace Quorvex3 {

namespace {

/// The curve for the orientation in which a higher score means positive.
ROCResult computeRocCurve(const std::vector<double>& negatives,
                          const std::vector<double>& positives) {
    ROCResult result;
    result.nPositive = static_cast<int32_t>(positives.size());
    result.nNegative = static_cast<int32_t>(negatives.size());

    std::vector<std::pair<double, int>> scored;
    scored.reserve(negatives.size() + positives.size());
    for (double v : negatives)
        scored.emplace_back(v, 0);
    for (double v : positives)
        scored.emplace_back(v, 1);
    std::sort(scored.begin(), scored.end(),
              [](const auto& l, const auto& r) { return l.first > r.first; });

    const size_t points = scored.size() + 1;
    result.fpr.reserve(points);
    result.tpr.reserve(points);
    result.thresholds.reserve(points);
    result.fpr.push_back(0.0);
    result.tpr.push_back(0.0);
    result.thresholds.push_back(scored.front().first + 1.0);

    const double nNeg = static_cast<double>(negatives.size());
    const double nPos = static_cast<double>(positives.size());
    // Youden's J = TP/nPos - FP/nNeg is compared as TP*nNeg - FP*nPos in
    // integers: in doubles two equal J can differ in the last bit (1/3 - 0
    // against 1 - 2/3), and the later point would win a tie it must lose.
    // The start point (0, 0) has J = 0; among equal maxima the first point
    // (highest threshold) wins.
    const auto countNeg = static_cast<long long>(negatives.size());
    const auto countPos = static_cast<long long>(positives.size());
    size_t best = 0;
    long long bestScaledJ = 0;
    long long truePositives = 0;
    long long falsePositives = 0;
    size_t i = 0;
    while (i < scored.size()) {
        const double score = scored[i].first;
        for (; i < scored.size() && scored[i].first == score; ++i)
            (scored[i].second == 1 ? truePositives : falsePositives) += 1;
        result.fpr.push_back(static_cast<double>(falsePositives) / nNeg);
        result.tpr.push_back(static_cast<double>(truePositives) / nPos);
        result.thresholds.push_back(score);
        const long long scaledJ = truePositives * countNeg - falsePositives * countPos;
        if (scaledJ > bestScaledJ) {
            bestScaledJ = scaledJ;
            best = result.fpr.size() - 1;
        }
    }

    double auc = 0.0;
    for (size_t p = 1; p < result.fpr.size(); ++p)
        auc += (result.fpr[p] - result.fpr[p - 1]) * (result.tpr[p] + result.tpr[p - 1]) * 0.5;
    result.auc = auc;

    result.optimalThreshold = result.thresholds[best];
    result.sensitivity = result.tpr[best];
    result.specificity = 1.0 - result.fpr[best];
    result.valid = true;
    return result;
}

std::vector<double> finiteScores(const std::vector<double>& values) {
    std::vector<double> kept;
    kept.reserve(values.size());
    for (double v : values)
        if (std::isfinite(v))
            kept.push_back(v);
    return kept;
}

/// The samples (columns) of one class whose values are finite in every
/// feature, first `k` features only, `count` samples each.
std::vector<std::vector<double>> finiteSamples(const std::vector<std::vector<double>>& byFeature,
                                               size_t k, size_t count) {
    std::vector<std::vector<double>> kept(k);
    for (size_t i = 0; i < count; ++i) {
        bool finite = true;
        for (size_t j = 0; j < k && finite; ++j)
            finite = std::isfinite(byFeature[j][i]);
        if (!finite)
            continue;
        for (size_t j = 0; j < k; ++j)
            kept[j].push_back(byFeature[j][i]);
    }
    return kept;
}

std::vector<double> negated(const std::vector<double>& values) {
    std::vector<double> out(values.size());
    std::transform(values.begin(), values.end(), out.begin(), [](double v) { return -v; });
    return out;
}

/// Solves S w = d by Gaussian elimination with partial pivoting; equal
/// weights 1/k when a pivot vanishes.
std::vector<double> solveScatter(std::vector<std::vector<double>> m) {
    const size_t k = m.size();
    for (size_t c = 0; c < k; ++c) {
        size_t pivot = c;
        for (size_t r = c + 1; r < k; ++r)
            if (std::abs(m[r][c]) > std::abs(m[pivot][c]))
                pivot = r;
        if (std::abs(m[pivot][c]) < 1e-15)
            return std::vector<double>(k, 1.0 / static_cast<double>(k));
        std::swap(m[c], m[pivot]);
        for (size_t r = c + 1; r < k; ++r) {
            const double f = -m[r][c] / m[c][c];
            for (size_t q = c; q <= k; ++q)
                m[r][q] += f * m[c][q];
        }
    }
    std::vector<double> w(k, 0.0);
    for (size_t j = k; j-- > 0;) {
        double s = m[j][k];
        for (size_t q = j + 1; q < k; ++q)
            s -= m[j][q] * w[q];
        w[j] = s / m[j][j];
    }
    return w;
}

std::vector<double> featureMeans(const std::vector<std::vector<double>>& byFeature, size_t k,
                                 size_t count) {
    std::vector<double> means(k, 0.0);
    for (size_t j = 0; j < k; ++j) {
        double sum = 0.0;
        for (size_t i = 0; i < count; ++i)
            sum += byFeature[j][i];
        means[j] = sum / static_cast<double>(count);
    }
    return means;
}

/// Adds one class's sums of products of deviations to the upper triangle.
void addScatter(std::vector<std::vector<double>>& s,
                const std::vector<std::vector<double>>& byFeature, const std::vector<double>& means,
                size_t count) {
    const size_t k = means.size();
    for (size_t j = 0; j < k; ++j)
        for (size_t l = j; l < k; ++l) {
            double sum = 0.0;
            for (size_t i = 0; i < count; ++i)
                sum += (byFeature[j][i] - means[j]) * (byFeature[l][i] - means[l]);
            s[j][l] += sum;
        }
}

std::vector<double> combinedScores(const std::vector<std::vector<double>>& byFeature,
                                   const std::vector<double>& w, size_t count) {
    std::vector<double> scores(count, 0.0);
    for (size_t j = 0; j < w.size(); ++j)
        for (size_t i = 0; i < count; ++i)
            scores[i] += w[j] * byFeature[j][i];
    return scores;
}

} // namespace

ROCResult ROCAnalysis::compute(const std::vector<double>& negativeScores,
                               const std::vector<double>& positiveScores) {
    // A NaN has no place in the descending order of scores; such samples
    // (never passed by the window) are left out rather than scrambling it.
    const std::vector<double> negatives = finiteScores(negativeScores);
    const std::vector<double> positives = finiteScores(positiveScores);
    if (negatives.empty() || positives.empty()) {
        ROCResult result;
        result.nPositive = static_cast<int32_t>(positives.size());
        result.nNegative = static_cast<int32_t>(negatives.size());
        return result;
    }
    ROCResult result = computeRocCurve(negatives, positives);
    if (result.auc >= 0.5)
        return result;
    result = computeRocCurve(negated(negatives), negated(positives));
    result.higherIsPositive = false;
    for (double& t : result.thresholds)
        t = -t;
    result.optimalThreshold = -result.optimalThreshold;
    return result;
}

CombinedROCResult ROCAnalysis::computeCombined(const std::vector<std::vector<double>>& negByFeature,
                                               const std::vector<std::vector<double>>& posByFeature,
                                               const std::vector<std::string>& featureNames) {
    CombinedROCResult result;
    result.featureNames = featureNames;
    const size_t k = featureNames.size();
    if (k == 0 || negByFeature.empty() || negByFeature.front().empty() || posByFeature.empty() ||
        posByFeature.front().empty())
        return result;
    // Fewer feature vectors than names cannot be combined; the callers never
    // pass that, but reading past them would be worse than no answer.
    if (negByFeature.size() < k || posByFeature.size() < k)
        return result;
    for (size_t j = 0; j < k; ++j)
        if (negByFeature[j].size() < negByFeature.front().size() ||
            posByFeature[j].size() < posByFeature.front().size())
            return result;
    const std::vector<std::vector<double>> neg =
        finiteSamples(negByFeature, k, negByFeature.front().size());
    const std::vector<std::vector<double>> pos =
        finiteSamples(posByFeature, k, posByFeature.front().size());
    const size_t nNeg = neg.front().size();
    const size_t nPos = pos.front().size();
    if (nNeg == 0 || nPos == 0)
        return result;

    const std::vector<double> meanNeg = featureMeans(neg, k, nNeg);
    const std::vector<double> meanPos = featureMeans(pos, k, nPos);
    std::vector<std::vector<double>> augmented(k, std::vector<double>(k + 1, 0.0));
    addScatter(augmented, neg, meanNeg, nNeg);
    addScatter(augmented, pos, meanPos, nPos);
    for (size_t j = 0; j < k; ++j) {
        for (size_t l = j + 1; l < k; ++l)
            augmented[l][j] = augmented[j][l];
        augmented[j][k] = meanPos[j] - meanNeg[j];
    }
    result.weights = solveScatter(std::move(augmented));

    static_cast<ROCResult&>(result) = compute(combinedScores(neg, result.weights, nNeg),
                                              combinedScores(pos, result.weights, nPos));
    return result;
}

} // namespace Quorvex3
