#include "stats/NonParametricTests.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>

namespace Quorvex3 {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<double> finiteValues(const std::vector<double>& values) {
    std::vector<double> kept;
    kept.reserve(values.size());
    for (double v : values)
        if (std::isfinite(v))
            kept.push_back(v);
    return kept;
}

double clampProbability(double p) {
    return std::isnan(p) ? p : std::clamp(p, 0.0, 1.0);
}

/// p from the normal approximation of a rank statistic with mean mu and
/// standard deviation sigma; a vanishing spread means no evidence at all.
double normalApproxP(double statistic, double mu, double sigma) {
    if (sigma < 1e-15)
        return 1.0;
    return clampProbability(std::erfc(std::abs(statistic - mu) / sigma / std::sqrt(2.0)));
}

/// Sum of the average ranks that the values of `a` get in the pool a + b.
/// Both inputs sorted ascending and free of NaN. Equals the sum of
/// computeRanks over the first a.size() pooled values, without an index sort.
double rankSumOfFirst(const std::vector<double>& a, const std::vector<double>& b) {
    const size_t m = a.size();
    const size_t n = b.size();
    size_t i = 0;
    size_t j = 0;
    double position = 0.0; // values already ranked
    double sum = 0.0;
    while (i < m || j < n) {
        const double v = (j == n || (i < m && a[i] < b[j])) ? a[i] : b[j];
        size_t inA = 0;
        while (i < m && a[i] == v) {
            ++i;
            ++inA;
        }
        size_t inB = 0;
        while (j < n && b[j] == v) {
            ++j;
            ++inB;
        }
        const double run = static_cast<double>(inA + inB);
        sum += static_cast<double>(inA) * (position + (run + 1.0) / 2.0);
        position += run;
    }
    return sum;
}

} // namespace

std::vector<double> NonParametricTests::computeRanks(const std::vector<double>& values) {
    std::vector<double> ranks(values.size(), kNaN);
    std::vector<std::pair<double, uint32_t>> order;
    order.reserve(values.size());
    for (size_t i = 0; i < values.size(); ++i)
        if (!std::isnan(values[i]))
            order.emplace_back(values[i], static_cast<uint32_t>(i));
    std::sort(order.begin(), order.end(),
              [](const auto& l, const auto& r) { return l.first < r.first; });
    size_t i = 0;
    while (i < order.size()) {
        size_t j = i + 1;
        while (j < order.size() && order[j].first == order[i].first)
            ++j;
        const double rank = static_cast<double>(i + 1 + j) / 2.0;
        for (size_t k = i; k < j; ++k)
            ranks[order[k].second] = rank;
        i = j;
    }
    return ranks;
}

double NonParametricTests::normalSurvival2Tail(double z) {
    return clampProbability(std::erfc(std::abs(z) / std::sqrt(2.0)));
}

double NonParametricTests::lnGamma(double x) {
    static const double c[6] = {76.18009172947146,  -86.50532032941678,   24.01409824083091,
                                -1.231739572450155, 0.001208650973866179, -5.395239384953e-6};
    const double t = (x + 5.5) - (x + 0.5) * std::log(x + 5.5);
    double s = 1.000000000190015;
    for (int k = 0; k < 6; ++k)
        s += c[k] / (x + static_cast<double>(k + 1));
    return std::log(2.5066282746310005 * s / x) - t;
}

double NonParametricTests::upperIncGammaReg(double a, double x) {
    if (!(a > 0.0) || std::isnan(x))
        return kNaN;
    if (x <= 0.0)
        return 1.0;
    if (std::isinf(x))
        return 0.0;
    const int maxIterations = 200;
    const double tolerance = 1e-14;
    const double tiny = 1e-30;
    const double f = std::exp(a * std::log(x) - x - lnGamma(a));
    double result = 0.0;
    if (x < a + 1.0) {
        // Series of P(a, x); Q = 1 - P.
        double term = 1.0 / a;
        double sum = term;
        double ap = a;
        for (int i = 0; i < maxIterations; ++i) {
            ap += 1.0;
            term *= x / ap;
            sum += term;
            if (std::abs(term) < std::abs(sum) * tolerance)
                break;
        }
        result = 1.0 - f * sum;
    } else {
        // Continued fraction of Q (modified Lentz).
        double b = x + 1.0 - a;
        double c = 1.0 / tiny;
        double d = 1.0 / b;
        double h = d;
        for (int i = 1; i <= maxIterations; ++i) {
            const double an = -static_cast<double>(i) * (static_cast<double>(i) - a);
            b += 2.0;
            d = an * d + b;
            c = b + an / c;
            if (std::abs(c) < tiny)
                c = tiny;
            d = std::abs(d) < tiny ? 1.0 / tiny : 1.0 / d;
            const double delta = d * c;
            h *= delta;
            if (std::abs(delta - 1.0) < tolerance)
                break;
        }
        result = f * h;
    }
    return clampProbability(result);
}

double NonParametricTests::chiSquaredSurvival(double x, double df) {
    if (x <= 0.0)
        return 1.0;
    return upperIncGammaReg(df / 2.0, x / 2.0);
}

TestResult NonParametricTests::mannWhitneyU(const std::vector<double>& x,
                                            const std::vector<double>& y) {
    std::vector<double> a = finiteValues(x);
    std::vector<double> b = finiteValues(y);
    if (a.size() < 3 || b.size() < 3)
        return {};
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    const double m = static_cast<double>(a.size());
    const double n = static_cast<double>(b.size());
    const double ux = rankSumOfFirst(a, b) - m * (m + 1.0) / 2.0;
    const double uy = m * n - ux;
    const double u = uy < ux ? uy : ux;
    const double sigma = std::sqrt(m * n * (m + n + 1.0) / 12.0);
    return {u, normalApproxP(u, m * n / 2.0, sigma), true};
}

TestResult NonParametricTests::wilcoxonSignedRank(const std::vector<double>& differences) {
    std::vector<double> kept;
    kept.reserve(differences.size());
    for (double d : differences)
        if (std::isfinite(d) && d != 0.0)
            kept.push_back(d);
    if (kept.size() < 3)
        return {};
    std::vector<double> magnitudes(kept.size());
    std::transform(kept.begin(), kept.end(), magnitudes.begin(),
                   [](double d) { return std::abs(d); });
    const std::vector<double> ranks = computeRanks(magnitudes);
    double plus = 0.0;
    double minus = 0.0;
    for (size_t i = 0; i < kept.size(); ++i)
        (kept[i] > 0.0 ? plus : minus) += ranks[i];
    const double w = minus < plus ? minus : plus;
    const double n = static_cast<double>(kept.size());
    const double mu = n * (n + 1.0) / 4.0;
    const double sigma = std::sqrt(n * (n + 1.0) * (2.0 * n + 1.0) / 24.0);
    return {w, normalApproxP(w, mu, sigma), true};
}

TestResult NonParametricTests::kruskalWallis(const std::vector<std::vector<double>>& groups) {
    if (groups.size() < 2)
        return {};
    std::vector<std::vector<double>> kept;
    kept.reserve(groups.size());
    std::vector<double> pool;
    for (const auto& group : groups) {
        kept.push_back(finiteValues(group));
        if (kept.back().size() < 3)
            return {};
        pool.insert(pool.end(), kept.back().begin(), kept.back().end());
    }
    const std::vector<double> ranks = computeRanks(pool);
    const double total = static_cast<double>(pool.size());
    double sumTerm = 0.0;
    size_t offset = 0;
    for (const auto& group : kept) {
        double rankSum = 0.0;
        for (size_t i = 0; i < group.size(); ++i)
            rankSum += ranks[offset + i];
        offset += group.size();
        sumTerm += rankSum * rankSum / static_cast<double>(group.size());
    }
    const double h = 12.0 / (total * (total + 1.0)) * sumTerm - 3.0 * (total + 1.0);
    const double k = static_cast<double>(kept.size());
    const double p = h <= 0.0 ? 1.0 : upperIncGammaReg((k - 1.0) / 2.0, h / 2.0);
    return {h, p, true};
}

TestResult NonParametricTests::friedman(const std::vector<std::vector<double>>& groups) {
    if (groups.size() < 2)
        return {};
    const size_t blocks = groups.front().size();
    for (const auto& group : groups)
        if (group.size() != blocks)
            return {};
    const size_t k = groups.size();
    std::vector<double> rankSums(k, 0.0);
    std::vector<double> block(k);
    size_t used = 0;
    for (size_t i = 0; i < blocks; ++i) {
        bool complete = true;
        for (size_t j = 0; j < k; ++j) {
            block[j] = groups[j][i];
            complete = complete && std::isfinite(block[j]);
        }
        if (!complete)
            continue;
        const std::vector<double> ranks = computeRanks(block);
        for (size_t j = 0; j < k; ++j)
            rankSums[j] += ranks[j];
        ++used;
    }
    if (used < 3)
        return {};
    const double n = static_cast<double>(used);
    const double kk = static_cast<double>(k);
    double sumSquares = 0.0;
    for (double r : rankSums)
        sumSquares += r * r;
    const double q = 12.0 / (n * kk * (kk + 1.0)) * sumSquares - 3.0 * n * (kk + 1.0);
    const double p = q <= 0.0 ? 1.0 : upperIncGammaReg((kk - 1.0) / 2.0, q / 2.0);
    return {q, p, true};
}

} // namespace Quorvex3
