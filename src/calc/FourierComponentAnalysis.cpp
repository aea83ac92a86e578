#include "calc/FourierComponentAnalysis.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <exception>
#include <iostream>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

namespace Quorvex3 {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

/// cos(k phi_i) and sin(k phi_i) for k = 0 .. orders-1, one row per angle,
/// by the angle-addition recurrence (two library calls per angle).
void harmonicTables(const arma::Mat<double>& phi, int orders, arma::Mat<double>& cosines,
                    arma::Mat<double>& sines) {
    const arma::uword n = phi.n_elem;
    const auto k = static_cast<arma::uword>(orders);
    cosines.set_size(n, k);
    sines.set_size(n, k);
    for (arma::uword i = 0; i < n; ++i) {
        const double c1 = std::cos(phi(i));
        const double s1 = std::sin(phi(i));
        double c = 1.0;
        double s = 0.0;
        for (arma::uword order = 0; order < k; ++order) {
            cosines(i, order) = c;
            sines(i, order) = s;
            const double next = c * c1 - s * s1;
            s = s * c1 + c * s1;
            c = next;
        }
    }
}

} // namespace

FourierComponentAnalysis::FourierComponentAnalysis(std::vector<cv::Point_<int>> contour, int orders,
                                                   bool resample)
    : deformOdd(kNaN), deformEven(kNaN), deformFc(kNaN) {
    try {
        run(std::move(contour), orders, resample);
    } catch (const std::exception& e) {
        // OpenCV's messages end in a line break of their own; keep one line.
        std::string message = e.what();
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
            message.pop_back();
        std::replace(message.begin(), message.end(), '\n', ' ');
        std::cerr << "[FCA] " << message << '\n';
        deformOdd = deformEven = deformFc = kNaN;
    } catch (...) {
        deformOdd = deformEven = deformFc = kNaN;
    }
}

void FourierComponentAnalysis::run(std::vector<cv::Point_<int>> contour, int orders,
                                   bool resample) {
    if (orders < 1)
        throw std::invalid_argument("at least one harmonic order is needed");
    std::vector<cv::Point_<int>> hull;
    cv::convexHull(contour, hull, false, true);

    arma::Mat<double> x;
    arma::Mat<double> y;
    double cx = 0.0;
    double cy = 0.0;
    createDenseCartesianContour(std::move(hull), resample ? 10 : 50, x, y, cx, cy);

    arma::Mat<double> phi;
    arma::Mat<double> r;
    CartesianToPolarSortedZeroTwoPi(x, y, phi, r);

    arma::Mat<double> dPhi;
    if (resample) {
        arma::Mat<double> phiEq;
        arma::Mat<double> rEq;
        createEquidistantPolarContour(phi, r, 100, phiEq, rEq, dPhi);
        phi = std::move(phiEq);
        r = std::move(rEq);
    } else {
        createDeltaPhi(phi, dPhi);
    }

    arma::Mat<double> A;
    arma::Mat<double> B;
    DFT(phi, r, dPhi, orders, A, B);

    double results[3] = {kNaN, kNaN, kNaN};
    for (int mode = 0; mode < 3; ++mode) {
        arma::Mat<double> rebuilt;
        reconstructContour(A, B, mode, phi, rebuilt);
        std::vector<cv::Point_<float>> outline;
        PolarToCartesian(phi, rebuilt, outline);
        results[mode] = getDeformation(outline);
    }
    deformOdd = results[0];
    deformEven = results[1];
    deformFc = results[2];
}

void FourierComponentAnalysis::createDenseCartesianContour(std::vector<cv::Point_<int>> points,
                                                           int m, arma::Mat<double>& x,
                                                           arma::Mat<double>& y, double& cx,
                                                           double& cy) const {
    if (points.empty() || m < 1)
        throw std::runtime_error("empty hull");
    // Moments of the polygon itself, not of a rasterised image.
    const cv::Moments moments = cv::moments(points, false);
    if (moments.m00 == 0.0)
        throw std::runtime_error("hull has no area, so no centre");
    cx = moments.m10 / moments.m00;
    cy = moments.m01 / moments.m00;

    const size_t h = points.size();
    std::vector<double> vx(h + 1);
    std::vector<double> vy(h + 1);
    for (size_t i = 0; i < h; ++i) {
        vx[i] = static_cast<double>(points[i].x) - cx;
        vy[i] = static_cast<double>(points[i].y) - cy;
    }
    vx[h] = vx[0];
    vy[h] = vy[0];

    const auto perEdge = static_cast<arma::uword>(m);
    x.set_size(h * perEdge, 1);
    y.set_size(h * perEdge, 1);
    arma::uword out = 0;
    for (size_t i = 0; i < h; ++i) {
        for (arma::uword s = 0; s < perEdge; ++s) {
            const double t = static_cast<double>(s) / static_cast<double>(m);
            x(out) = vx[i] + (vx[i + 1] - vx[i]) * t;
            y(out) = vy[i] + (vy[i + 1] - vy[i]) * t;
            ++out;
        }
    }
}

void FourierComponentAnalysis::CartesianToPolarSortedZeroTwoPi(const arma::Mat<double>& x,
                                                               const arma::Mat<double>& y,
                                                               arma::Mat<double>& phi,
                                                               arma::Mat<double>& r) const {
    arma::Mat<double> radius = arma::sqrt(x % x + y % y);
    arma::Mat<double> angle(x.n_rows, x.n_cols);
    for (arma::uword i = 0; i < x.n_elem; ++i)
        angle(i) = std::atan2(y(i), x(i));
    angle = el_modulus(angle, 2.0 * pi);
    if (!angle.is_finite())
        throw std::runtime_error("contour angle is not finite");
    const arma::uvec order = arma::stable_sort_index(angle, "ascend");
    phi = angle.elem(order);
    r = radius.elem(order);
}

void FourierComponentAnalysis::createEquidistantPolarContour(const arma::Mat<double>& phi,
                                                             const arma::Mat<double>& r, int n,
                                                             arma::Mat<double>& phiOut,
                                                             arma::Mat<double>& rOut,
                                                             arma::Mat<double>& dPhi) const {
    if (phi.n_elem == 0 || phi.n_elem != r.n_elem || n < 1)
        throw std::runtime_error("no samples to resample");
    const auto count = static_cast<arma::uword>(n);
    const double step = 2.0 * pi / static_cast<double>(n);
    phiOut.set_size(count, 1);
    for (arma::uword k = 0; k < count; ++k)
        phiOut(k) = static_cast<double>(k) * step;
    dPhi.set_size(count, 1);
    dPhi.fill(step);

    // The outline is closed, so the radius is periodic in the angle: wrap
    // the last sample to before 0 and the first to after the last, so no
    // resampled angle falls outside the samples.
    const arma::uword samples = phi.n_elem;
    arma::Mat<double> xs(samples + 2, 1);
    arma::Mat<double> ys(samples + 2, 1);
    xs(0) = phi(samples - 1) - 2.0 * pi;
    ys(0) = r(samples - 1);
    xs.rows(1, samples) = arma::vectorise(phi);
    ys.rows(1, samples) = arma::vectorise(r);
    xs(samples + 1) = phi(0) + 2.0 * pi;
    ys(samples + 1) = r(0);
    arma::interp1(xs, ys, phiOut, rOut, "linear");
}

void FourierComponentAnalysis::DFT(const arma::Mat<double>& phi, const arma::Mat<double>& r,
                                   const arma::Mat<double>& dPhi, int K, arma::Mat<double>& A,
                                   arma::Mat<double>& B) const {
    if (K < 1 || phi.n_elem != r.n_elem || phi.n_elem != dPhi.n_elem)
        throw std::runtime_error("DFT: sizes do not match");
    arma::Mat<double> cosines;
    arma::Mat<double> sines;
    harmonicTables(phi, K, cosines, sines);
    const auto orders = static_cast<arma::uword>(K);
    A.zeros(orders, 1);
    B.zeros(orders, 1);
    for (arma::uword k = 0; k < orders; ++k) {
        double a = 0.0;
        double b = 0.0;
        for (arma::uword i = 0; i < phi.n_elem; ++i) {
            const double weight = r(i) * dPhi(i);
            a += weight * cosines(i, k);
            b += weight * sines(i, k);
        }
        A(k) = a / pi;
        B(k) = b / pi;
    }
    A(0) /= 2.0;
}

void FourierComponentAnalysis::reconstructContour(const arma::Mat<double>& A,
                                                  const arma::Mat<double>& B, int mode,
                                                  const arma::Mat<double>& phi,
                                                  arma::Mat<double>& r) const {
    if (A.n_elem == 0 || A.n_elem != B.n_elem)
        throw std::runtime_error("reconstruct: no coefficients");
    arma::uword first = 1;
    arma::uword stride = 1;
    if (mode == 0) {
        stride = 2;
    } else if (mode == 1) {
        first = 2;
        stride = 2;
    }
    arma::Mat<double> cosines;
    arma::Mat<double> sines;
    harmonicTables(phi, static_cast<int>(A.n_elem), cosines, sines);
    r.set_size(phi.n_rows, phi.n_cols);
    for (arma::uword i = 0; i < phi.n_elem; ++i) {
        double value = A(0);
        for (arma::uword k = first; k < A.n_elem; k += stride)
            value += A(k) * cosines(i, k) + B(k) * sines(i, k);
        r(i) = value;
    }
}

void FourierComponentAnalysis::PolarToCartesian(const arma::Mat<double>& phi,
                                                const arma::Mat<double>& r,
                                                std::vector<cv::Point_<float>>& points) const {
    points.resize(phi.n_elem);
    for (arma::uword i = 0; i < phi.n_elem; ++i)
        points[i] = cv::Point_<float>(static_cast<float>(r(i) * std::cos(phi(i))),
                                      static_cast<float>(r(i) * std::sin(phi(i))));
}

double
FourierComponentAnalysis::getDeformation(const std::vector<cv::Point_<float>>& points) const {
    const double area = cv::contourArea(points, false);
    const double perimeter = cv::arcLength(points, true);
    return 1.0 - 2.0 * std::sqrt(pi * area) / perimeter;
}

arma::Mat<double> FourierComponentAnalysis::el_modulus(const arma::Mat<double>& x, double m) const {
    arma::Mat<double> out(x.n_rows, x.n_cols);
    for (arma::uword i = 0; i < x.n_elem; ++i)
        out(i) = std::fmod(m + std::fmod(x(i), m), m);
    return out;
}

void FourierComponentAnalysis::createDeltaPhi(const arma::Mat<double>& phi,
                                              arma::Mat<double>& dPhi) const {
    const arma::uword n = phi.n_elem;
    dPhi.set_size(n, 1);
    if (n == 0)
        return;
    arma::Mat<double> forward(n, 1);
    for (arma::uword i = 0; i < n; ++i)
        forward(i) = phi((i + 1) % n) - phi(i);
    // The gap from the last angle wraps around to the first one turn on.
    forward = el_modulus(forward, 2.0 * pi);
    if (n == 1)
        forward(0) = 2.0 * pi;
    for (arma::uword i = 0; i < n; ++i)
        dPhi(i) = 0.5 * (forward((i + n - 1) % n) + forward(i));
}

} // namespace Quorvex3
