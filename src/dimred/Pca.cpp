// PCA of the robust-scaled training matrix and projection onto it.

#include "dimred/Pca.h"
#include "dimred/ParallelChunks.h"
#include "dimred/RobustScaling.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace Quorvex3 {

namespace {

// Rows per chunk of the second-moment sum: fixed, so the summation order and
// therefore every bit of the result is the same on any number of threads.
constexpr size_t kMomentChunkRows = 8192;
constexpr size_t kProjectChunkRows = 16384;
constexpr int kMaxSweeps = 100;
constexpr double kOffTolerance = 2.220446049250313e-16;
constexpr double kSkipPivot = 2.2250738585072014e-308;

// Upper triangle of sum z z^T over the rows [begin, end), z the scaled row.
void accumulateMoments(const DimRedMatrix& m, const std::vector<double>& centre,
                       const std::vector<double>& scale, size_t begin, size_t end,
                       std::vector<double>& c) {
    const size_t f = m.cols;
    std::vector<double> z(f);
    for (size_t r = begin; r < end; ++r) {
        const double* x = m.data.data() + r * f;
        for (size_t j = 0; j < f; ++j)
            z[j] = (x[j] - centre[j]) / scale[j];
        for (size_t i = 0; i < f; ++i) {
            const double zi = z[i];
            double* row = c.data() + i * f;
            for (size_t j = i; j < f; ++j)
                row[j] += zi * z[j];
        }
    }
}

std::vector<double> secondMoments(const DimRedMatrix& m, const RobustScaling& sc) {
    const size_t f = m.cols;
    const size_t chunks = chunkCount(m.rows, kMomentChunkRows);
    std::vector<std::vector<double>> partial(chunks);
    parallelChunks(chunks, [&](size_t k) {
        partial[k].assign(f * f, 0.0);
        const size_t begin = k * kMomentChunkRows;
        accumulateMoments(m, sc.centre, sc.scale, begin, std::min(m.rows, begin + kMomentChunkRows),
                          partial[k]);
    });
    std::vector<double> c(f * f, 0.0);
    for (const std::vector<double>& p : partial)
        for (size_t i = 0; i < f * f; ++i)
            c[i] += p[i];
    const double factor = 1.0 / static_cast<double>(m.rows - 1);
    for (size_t i = 0; i < f; ++i)
        for (size_t j = i; j < f; ++j) {
            c[i * f + j] *= factor;
            c[j * f + i] = c[i * f + j];
        }
    return c;
}

// Cyclic Jacobi with the tolerances and one-sided update of the PCA fit.
void pcaJacobi(std::vector<double>& c, std::vector<double>& v, size_t f) {
    v.assign(f * f, 0.0);
    for (size_t i = 0; i < f; ++i)
        v[i * f + i] = 1.0;
    for (int sweep = 0; sweep < kMaxSweeps; ++sweep) {
        double off = 0.0;
        for (size_t i = 0; i < f; ++i)
            for (size_t j = i + 1; j < f; ++j)
                off += c[i * f + j] * c[i * f + j];
        if (off <= kOffTolerance)
            break;
        for (size_t p = 0; p + 1 < f; ++p) {
            for (size_t q = p + 1; q < f; ++q) {
                const double apq = c[p * f + q];
                if (std::fabs(apq) <= kSkipPivot)
                    continue;
                const double theta = (c[q * f + q] - c[p * f + p]) / (2.0 * apq);
                const double sgn = theta >= 0.0 ? 1.0 : -1.0;
                const double t = sgn / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double cs = 1.0 / std::sqrt(t * t + 1.0);
                const double sn = t * cs;
                c[p * f + p] -= t * apq;
                c[q * f + q] += t * apq;
                c[p * f + q] = 0.0;
                c[q * f + p] = 0.0;
                for (size_t r = 0; r < f; ++r) {
                    if (r == p || r == q)
                        continue;
                    const double arp = c[r * f + p];
                    const double arq = c[r * f + q];
                    c[r * f + p] = c[p * f + r] = cs * arp - sn * arq;
                    c[r * f + q] = c[q * f + r] = sn * arp + cs * arq;
                }
                for (size_t r = 0; r < f; ++r) {
                    const double vrp = v[r * f + p];
                    const double vrq = v[r * f + q];
                    v[r * f + p] = cs * vrp - sn * vrq;
                    v[r * f + q] = sn * vrp + cs * vrq;
                }
            }
        }
    }
}

std::vector<double> column(const std::vector<double>& v, size_t f, size_t k) {
    std::vector<double> out(f);
    for (size_t r = 0; r < f; ++r)
        out[r] = v[r * f + k];
    return out;
}

// The largest-magnitude entry (the first on ties) is made positive.
void orientLoading(std::vector<double>& loading) {
    size_t best = 0;
    for (size_t j = 1; j < loading.size(); ++j)
        if (std::fabs(loading[j]) > std::fabs(loading[best]))
            best = j;
    if (!loading.empty() && loading[best] < 0.0)
        for (double& x : loading)
            x = -x;
}

} // namespace

DimRedModel fitPca(const DimRedMatrix& matrix, const std::vector<std::string>& featureNames) {
    DimRedModel model;
    if (matrix.cols < 2 || matrix.rows < 3 || featureNames.size() != matrix.cols ||
        matrix.data.size() != matrix.rows * matrix.cols)
        return model;
    const size_t f = matrix.cols;
    model.features = featureNames;
    model.nTrain = matrix.rows;
    const RobustScaling sc = fitScaling(matrix, featureNames);
    model.centre = sc.centre;
    model.scale = sc.scale;
    model.degenerate = sc.degenerate;

    std::vector<double> c = secondMoments(matrix, sc);
    double total = 0.0;
    for (size_t i = 0; i < f; ++i)
        total += c[i * f + i];
    std::vector<double> v;
    pcaJacobi(c, v, f);

    std::vector<size_t> order(f);
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return c[a * f + a] > c[b * f + b]; });
    const double lambda1 = c[order[0] * f + order[0]];
    const double lambda2 = c[order[1] * f + order[1]];
    model.loading1 = column(v, f, order[0]);
    model.loading2 = column(v, f, order[1]);
    orientLoading(model.loading1);
    orientLoading(model.loading2);
    model.explained1 = total > 0.0 ? lambda1 / total : 0.0;
    model.explained2 = total > 0.0 ? lambda2 / total : 0.0;
    model.valid = true;
    return model;
}

void projectOnto(const DimRedModel& model, const DimRedMatrix& matrix, std::vector<double>& out1,
                 std::vector<double>& out2) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    out1.assign(matrix.rows, nan);
    out2.assign(matrix.rows, nan);
    const size_t f = model.features.size();
    if (!model.valid || matrix.cols != f || matrix.rows == 0 || model.centre.size() != f ||
        model.scale.size() != f || model.loading1.size() != f || model.loading2.size() != f ||
        matrix.data.size() != matrix.rows * f)
        return;
    const size_t chunks = chunkCount(matrix.rows, kProjectChunkRows);
    parallelChunks(chunks, [&](size_t k) {
        const size_t end = std::min(matrix.rows, (k + 1) * kProjectChunkRows);
        for (size_t r = k * kProjectChunkRows; r < end; ++r) {
            const double* x = matrix.data.data() + r * f;
            double s1 = 0.0;
            double s2 = 0.0;
            bool finite = true;
            for (size_t j = 0; j < f; ++j) {
                if (!std::isfinite(x[j])) {
                    finite = false;
                    break;
                }
                const double z = (x[j] - model.centre[j]) / model.scale[j];
                s1 += model.loading1[j] * z;
                s2 += model.loading2[j] * z;
            }
            if (finite) {
                out1[r] = s1;
                out2[r] = s2;
            }
        }
    });
}

} // namespace Quorvex3
