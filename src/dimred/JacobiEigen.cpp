// The general symmetric eigen solver, used for small matrices: the classical
// scaling of component centroids, and the Lanczos tridiagonal matrices should
// implicit QL ever fail on them.

#include "dimred/Pca.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace Quorvex3 {

namespace {

constexpr int kMaxSweeps = 100;
constexpr double kOffTolerance = 1e-30;
constexpr double kSkipPivot = 1e-300;

void rotate(std::vector<double>& a, std::vector<double>& v, size_t n, size_t p, size_t q) {
    const double apq = a[p * n + q];
    const double theta = (a[q * n + q] - a[p * n + p]) / (2.0 * apq);
    const double t =
        std::copysign(1.0, theta) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
    const double c = 1.0 / std::sqrt(t * t + 1.0);
    const double s = t * c;
    for (size_t r = 0; r < n; ++r) {
        const double arp = a[r * n + p];
        const double arq = a[r * n + q];
        a[r * n + p] = c * arp - s * arq;
        a[r * n + q] = s * arp + c * arq;
    }
    for (size_t r = 0; r < n; ++r) {
        const double apr = a[p * n + r];
        const double aqr = a[q * n + r];
        a[p * n + r] = c * apr - s * aqr;
        a[q * n + r] = s * apr + c * aqr;
    }
    for (size_t r = 0; r < n; ++r) {
        const double vrp = v[r * n + p];
        const double vrq = v[r * n + q];
        v[r * n + p] = c * vrp - s * vrq;
        v[r * n + q] = s * vrp + c * vrq;
    }
}

} // namespace

void jacobiEigenSymmetric(std::vector<double>& a, int n, std::vector<double>& eigenvalues,
                          std::vector<double>& eigenvectors) {
    eigenvalues.clear();
    eigenvectors.clear();
    if (n <= 0)
        return;
    const size_t m = static_cast<size_t>(n);
    if (a.size() < m * m)
        a.resize(m * m, 0.0);
    std::vector<double> v(m * m, 0.0);
    for (size_t i = 0; i < m; ++i)
        v[i * m + i] = 1.0;
    double previousOff = std::numeric_limits<double>::infinity();
    for (int sweep = 0; sweep < kMaxSweeps; ++sweep) {
        double off = 0.0;
        for (size_t i = 0; i < m; ++i)
            for (size_t j = i + 1; j < m; ++j)
                off += a[i * m + j] * a[i * m + j];
        // The off-diagonal mass shrinks with every sweep until rounding
        // noise is all that is left (for large entries that noise stays
        // above the tolerance); from there further sweeps only reshuffle
        // last bits, at O(n^3) each.
        if (off < kOffTolerance || !(off < previousOff))
            break;
        previousOff = off;
        for (size_t p = 0; p + 1 < m; ++p)
            for (size_t q = p + 1; q < m; ++q)
                if (!(std::fabs(a[p * m + q]) < kSkipPivot))
                    rotate(a, v, m, p, q);
    }
    std::vector<size_t> idx(m);
    std::iota(idx.begin(), idx.end(), size_t(0));
    std::stable_sort(idx.begin(), idx.end(),
                     [&](size_t x, size_t y) { return a[x * m + x] < a[y * m + y]; });
    eigenvalues.resize(m);
    eigenvectors.assign(m * m, 0.0);
    for (size_t k = 0; k < m; ++k) {
        eigenvalues[k] = a[idx[k] * m + idx[k]];
        for (size_t r = 0; r < m; ++r)
            eigenvectors[r * m + k] = v[r * m + idx[k]];
    }
}

} // namespace Quorvex3
