// The pieces of UMAP that shape the fuzzy sets: the low-dimensional curve
// (a, b), the per-row bandwidths and the edge sampling schedule.

#include "dimred/Umap.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Quorvex3 {

namespace {

constexpr int kCurveSamples = 300;
constexpr int kMaxGaussNewton = 200;
constexpr int kMaxBisection = 64;
constexpr double kBandwidthTolerance = 1e-5;
constexpr double kMinScaleFactor = 0.001;

} // namespace

void fitAbParams(double minDist, double spread, double& a, double& b) {
    double xs[kCurveSamples];
    double ys[kCurveSamples];
    for (int i = 0; i < kCurveSamples; ++i) {
        xs[i] = spread * 3.0 * i / 299.0;
        ys[i] = xs[i] < minDist ? 1.0 : std::exp(-(xs[i] - minDist) / spread);
    }
    a = 1.0;
    b = 1.0;
    for (int iter = 0; iter < kMaxGaussNewton; ++iter) {
        double saa = 0.0, sab = 0.0, sbb = 0.0, sar = 0.0, sbr = 0.0;
        for (int i = 0; i < kCurveSamples; ++i) {
            const double x = xs[i];
            if (!(x > 0.0))
                continue;
            const double p = std::pow(x, 2.0 * b);
            const double d = 1.0 + a * p;
            const double r = 1.0 / d - ys[i];
            const double ja = -p / (d * d);
            const double jb = std::log(x) * (-2.0 * a * p) / (d * d);
            saa += ja * ja;
            sab += ja * jb;
            sbb += jb * jb;
            sar += ja * r;
            sbr += jb * r;
        }
        const double dampA = saa + 1e-6;
        const double dampB = sbb + 1e-6;
        const double det = dampA * dampB - sab * sab;
        if (std::fabs(det) < 1e-30)
            break;
        const double da = (sab * sbr - dampB * sar) / det;
        const double db = (sab * sar - dampA * sbr) / det;
        a = std::max(a + da, 1e-6);
        b = std::max(b + db, 1e-6);
        if (std::fabs(da) < 1e-10 && std::fabs(db) < 1e-10)
            break;
    }
}

void smoothKnnDist(const std::vector<double>& dists, size_t n, size_t k, std::vector<double>& sigma,
                   std::vector<double>& rho) {
    sigma.assign(n, 1.0);
    rho.assign(n, 0.0);
    if (k == 0 || dists.size() < n * k)
        return;
    const double target = std::log2(static_cast<double>(k));
    double sumAll = 0.0;
    size_t countAll = 0;
    for (size_t e = 0; e < n * k; ++e)
        if (std::isfinite(dists[e])) {
            sumAll += dists[e];
            ++countAll;
        }
    const double meanAll = countAll > 0 ? sumAll / static_cast<double>(countAll) : 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double* row = dists.data() + i * k;
        double r = std::numeric_limits<double>::infinity();
        double rowSum = 0.0;
        size_t rowCount = 0;
        for (size_t l = 0; l < k; ++l) {
            if (!std::isfinite(row[l]))
                continue;
            rowSum += row[l];
            ++rowCount;
            if (row[l] > 0.0 && row[l] < r)
                r = row[l];
        }
        if (!std::isfinite(r))
            r = 0.0;
        double lo = 0.0;
        double hi = std::numeric_limits<double>::infinity();
        double s = 1.0;
        for (int step = 0; step < kMaxBisection; ++step) {
            double psum = 0.0;
            for (size_t l = 0; l < k; ++l) {
                if (!std::isfinite(row[l]))
                    continue;
                const double d = row[l] - r;
                psum += d > 0.0 ? std::exp(-(d / s)) : 1.0;
            }
            if (std::fabs(psum - target) < kBandwidthTolerance)
                break;
            if (psum > target) {
                hi = s;
                s = (lo + s) / 2.0;
            } else {
                lo = s;
                if (std::isinf(hi))
                    s *= 2.0;
                else
                    s = (s + hi) / 2.0;
            }
        }
        const double rowMean = rowCount > 0 ? rowSum / static_cast<double>(rowCount) : 0.0;
        const double minScale = kMinScaleFactor * (r > 0.0 ? rowMean : meanAll);
        double result = std::max(s, minScale);
        if (!(result > 0.0))
            result = 1.0;
        rho[i] = r;
        sigma[i] = result;
    }
}

std::vector<double> makeEpochsPerSample(const std::vector<UmapEdge>& edges, int nEpochs) {
    std::vector<double> out(edges.size(), -1.0);
    double wmax = 0.0;
    for (const UmapEdge& e : edges)
        wmax = std::max(wmax, e.weight);
    if (!(wmax > 0.0))
        return out;
    const double epochs = static_cast<double>(nEpochs);
    for (size_t e = 0; e < edges.size(); ++e) {
        const double count = edges[e].weight / wmax * epochs;
        if (count > 0.0)
            out[e] = epochs / count;
    }
    return out;
}

} // namespace Quorvex3
