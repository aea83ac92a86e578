// Leading non-trivial eigenvectors of the normalised neighbour graph by
// Lanczos with full re-orthogonalisation and deflation.

#include "dimred/Pca.h"
#include "dimred/SpectralInit.h"
#include "dimred/UmapRandom.h"

#include <algorithm>
#include <cmath>

namespace Quorvex3 {

namespace {

using Vec = std::vector<double>;

constexpr size_t kMaxKrylov = 128;
constexpr size_t kMaxKeptValues = 16777216;
constexpr double kBreakdown = 1e-12;
constexpr double kMaxResidual = 0.001;

double dot(const Vec& a, const Vec& b) {
    const size_t n = a.size();
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        s0 += a[i] * b[i];
        s1 += a[i + 1] * b[i + 1];
        s2 += a[i + 2] * b[i + 2];
        s3 += a[i + 3] * b[i + 3];
    }
    for (; i < n; ++i)
        s0 += a[i] * b[i];
    return (s0 + s1) + (s2 + s3);
}

// x -= f * y
void subtractScaled(Vec& x, double f, const Vec& y) {
    const size_t n = x.size();
    for (size_t i = 0; i < n; ++i)
        x[i] -= f * y[i];
}

// x -= f * y, returning z . x of the updated x: one pass where a step of
// the Gram-Schmidt sweep meets the dot product of the next.
double subtractScaledThenDot(Vec& x, double f, const Vec& y, const Vec& z) {
    const size_t n = x.size();
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        x[i] -= f * y[i];
        x[i + 1] -= f * y[i + 1];
        x[i + 2] -= f * y[i + 2];
        x[i + 3] -= f * y[i + 3];
        s0 += z[i] * x[i];
        s1 += z[i + 1] * x[i + 1];
        s2 += z[i + 2] * x[i + 2];
        s3 += z[i + 3] * x[i + 3];
    }
    for (; i < n; ++i) {
        x[i] -= f * y[i];
        s0 += z[i] * x[i];
    }
    return (s0 + s1) + (s2 + s3);
}

// Modified Gram-Schmidt: q -= (b . q) b for every b in order.
void orthogonaliseAgainst(Vec& q, const std::vector<Vec>& basis) {
    if (basis.empty())
        return;
    double h = dot(basis[0], q);
    for (size_t l = 0; l + 1 < basis.size(); ++l)
        h = subtractScaledThenDot(q, h, basis[l], basis[l + 1]);
    subtractScaled(q, h, basis.back());
}

// Two sweeps, as one sweep leaves rounding-level components behind.
void deflate(Vec& q, const std::vector<Vec>& basis) {
    orthogonaliseAgainst(q, basis);
    orthogonaliseAgainst(q, basis);
}

bool normalise(Vec& q) {
    const double norm2 = dot(q, q);
    if (!(norm2 > 0.0))
        return false;
    const double inv = 1.0 / std::sqrt(norm2);
    for (double& x : q)
        x *= inv;
    return true;
}

struct NormalisedOperator {
    const SpectralGraph& graph;
    Vec dinv;

    // (M x)_i = x_i + dinv_i * sum_j w_ij dinv_j x_j
    void apply(const Vec& x, Vec& y) const {
        const size_t n = graph.nodes();
        y.resize(n);
        for (size_t i = 0; i < n; ++i) {
            double s = 0.0;
            for (size_t e = graph.rowStart[i]; e < graph.rowStart[i + 1]; ++e) {
                const size_t j = graph.neighbours[e];
                s += graph.weights[e] * dinv[j] * x[j];
            }
            y[i] = x[i] + dinv[i] * s;
        }
    }
};

// One Lanczos pass: appends the Ritz vector of the largest eigenvalue of M
// restricted to the complement of `basis` to the basis.
bool lanczosPass(const NormalisedOperator& op, size_t m, umapdetail::Engine& engine,
                 umapdetail::NormalDraw& normal, std::vector<Vec>& basis) {
    const size_t n = op.graph.nodes();
    std::vector<Vec> q(1, Vec(n));
    for (size_t i = 0; i < n; ++i)
        q[0][i] = normal(engine);
    deflate(q[0], basis);
    if (!normalise(q[0]))
        return false;
    Vec alpha;
    Vec beta;
    double betaLast = 0.0;
    Vec w;
    for (size_t j = 0;; ++j) {
        op.apply(q[j], w);
        deflate(w, basis);
        const double a = dot(q[j], w);
        alpha.push_back(a);
        subtractScaled(w, a, q[j]);
        if (j > 0)
            subtractScaled(w, beta[j - 1], q[j - 1]);
        orthogonaliseAgainst(w, q);
        const double b = std::sqrt(dot(w, w));
        if (b < kBreakdown) {
            betaLast = 0.0;
            break;
        }
        beta.push_back(b);
        if (j + 1 >= m) {
            betaLast = b;
            break;
        }
        for (double& x : w)
            x /= b;
        q.push_back(w);
    }
    const size_t k = alpha.size();
    if (k < 2)
        return false;
    Vec values;
    Vec vectors;
    if (!tridiagonalEigen(alpha, beta, values, vectors)) {
        // Not reached with finite entries; the dense solver copes with anything.
        std::vector<double> t(k * k, 0.0);
        for (size_t i = 0; i < k; ++i) {
            t[i * k + i] = alpha[i];
            if (i + 1 < k) {
                t[i * k + i + 1] = beta[i];
                t[(i + 1) * k + i] = beta[i];
            }
        }
        jacobiEigenSymmetric(t, static_cast<int>(k), values, vectors);
    }
    const double residual = std::fabs(betaLast * vectors[(k - 1) * k + (k - 1)]);
    if (!(residual < kMaxResidual))
        return false;
    Vec y(n, 0.0);
    for (size_t l = 0; l < k; ++l) {
        const double f = vectors[l * k + (k - 1)];
        const Vec& ql = q[l];
        for (size_t i = 0; i < n; ++i)
            y[i] += f * ql[i];
    }
    deflate(y, basis);
    if (!normalise(y))
        return false;
    basis.push_back(std::move(y));
    return true;
}

} // namespace

bool computeSpectralEigenvectors(const SpectralGraph& graph, uint64_t seed,
                                 std::vector<double>& out) {
    const size_t n = graph.nodes();
    if (n < 4)
        return false;
    NormalisedOperator op{graph, Vec(n)};
    Vec u0(n);
    for (size_t i = 0; i < n; ++i) {
        double d = 0.0;
        for (size_t e = graph.rowStart[i]; e < graph.rowStart[i + 1]; ++e)
            d += graph.weights[e];
        if (!(d > 0.0) || !std::isfinite(d))
            return false;
        op.dinv[i] = 1.0 / std::sqrt(d);
        u0[i] = 1.0 / op.dinv[i];
    }
    if (!normalise(u0))
        return false;
    const size_t m = std::min({n - 3, kMaxKrylov, kMaxKeptValues / n});
    if (m < 2)
        return false;
    std::vector<Vec> basis;
    basis.push_back(std::move(u0));
    umapdetail::Engine engine(seed);
    umapdetail::NormalDraw normal(0.0, 1.0);
    for (int pass = 0; pass < 2; ++pass)
        if (!lanczosPass(op, m, engine, normal, basis))
            return false;
    out.resize(2 * n);
    for (size_t i = 0; i < n; ++i) {
        out[2 * i] = basis[1][i];
        out[2 * i + 1] = basis[2][i];
        if (!std::isfinite(out[2 * i]) || !std::isfinite(out[2 * i + 1]))
            return false;
    }
    return true;
}

} // namespace Quorvex3
