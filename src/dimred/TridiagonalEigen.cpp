// Eigen decomposition of a symmetric tridiagonal matrix by implicit QL with
// Wilkinson-like shifts. The Lanczos passes of the spectral start reduce the
// graph to 128 x 128 tridiagonal matrices; cyclic Jacobi treats them as
// dense (O(n^3) per sweep, a dozen sweeps), while QL keeps the band and
// needs about two chains of rotations per eigenvalue.

#include "dimred/Pca.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace Quorvex3 {

namespace {

// Far above the usual two or three; beyond it the matrix is not one that
// rounding alone can explain (NaN or infinite entries).
constexpr int kMaxIterationsPerValue = 60;

} // namespace

bool tridiagonalEigen(const std::vector<double>& diagonal, const std::vector<double>& offDiagonal,
                      std::vector<double>& eigenvalues, std::vector<double>& eigenvectors) {
    eigenvalues.clear();
    eigenvectors.clear();
    const size_t n = diagonal.size();
    if (n == 0)
        return true;
    if (offDiagonal.size() + 1 < n)
        return false;
    std::vector<double> d = diagonal;
    std::vector<double> e(n, 0.0);
    std::copy(offDiagonal.begin(), offDiagonal.begin() + static_cast<std::ptrdiff_t>(n - 1),
              e.begin());
    // Row i of z is the eigenvector belonging to d[i]: each rotation then
    // runs along two contiguous rows.
    std::vector<double> z(n * n, 0.0);
    for (size_t i = 0; i < n; ++i)
        z[i * n + i] = 1.0;
    const double eps = std::numeric_limits<double>::epsilon();
    double shiftSum = 0.0;
    double scale = 0.0;
    for (size_t l = 0; l < n; ++l) {
        scale = std::max(scale, std::fabs(d[l]) + std::fabs(e[l]));
        size_t m = l;
        while (m < n && !(std::fabs(e[m]) <= eps * scale))
            ++m;
        if (m == n) // only a NaN stops no search
            return false;
        int iterations = 0;
        while (m > l) {
            if (++iterations > kMaxIterationsPerValue)
                return false;
            double g = d[l];
            double p = (d[l + 1] - g) / (2.0 * e[l]);
            double r = std::hypot(p, 1.0);
            if (p < 0.0)
                r = -r;
            d[l] = e[l] / (p + r);
            d[l + 1] = e[l] * (p + r);
            const double dl1 = d[l + 1];
            double h = g - d[l];
            for (size_t i = l + 2; i < n; ++i)
                d[i] -= h;
            shiftSum += h;
            p = d[m];
            double c = 1.0, c2 = 1.0, c3 = 1.0, s = 0.0, s2 = 0.0;
            const double el1 = e[l + 1];
            for (size_t i = m; i-- > l;) {
                c3 = c2;
                c2 = c;
                s2 = s;
                g = c * e[i];
                h = c * p;
                r = std::hypot(p, e[i]);
                e[i + 1] = s * r;
                s = e[i] / r;
                c = p / r;
                p = c * d[i] - s * g;
                d[i + 1] = h + s * (c * g + s * d[i]);
                double* zi = &z[i * n];
                double* zi1 = &z[(i + 1) * n];
                for (size_t k = 0; k < n; ++k) {
                    const double t = zi1[k];
                    zi1[k] = s * zi[k] + c * t;
                    zi[k] = c * zi[k] - s * t;
                }
            }
            p = -s * s2 * c3 * el1 * e[l] / dl1;
            e[l] = s * p;
            d[l] = c * p;
            m = l;
            while (m < n && !(std::fabs(e[m]) <= eps * scale))
                ++m;
            if (m == n)
                return false;
        }
        d[l] += shiftSum;
        e[l] = 0.0;
    }
    std::vector<size_t> idx(n);
    std::iota(idx.begin(), idx.end(), size_t(0));
    std::stable_sort(idx.begin(), idx.end(), [&](size_t x, size_t y) { return d[x] < d[y]; });
    eigenvalues.resize(n);
    eigenvectors.assign(n * n, 0.0);
    for (size_t k = 0; k < n; ++k) {
        eigenvalues[k] = d[idx[k]];
        for (size_t r = 0; r < n; ++r)
            eigenvectors[r * n + k] = z[idx[k] * n + r];
    }
    return true;
}

} // namespace Quorvex3
