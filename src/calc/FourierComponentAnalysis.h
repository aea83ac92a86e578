#pragma once

#include <armadillo>
#include <opencv2/core.hpp>

#include <vector>

namespace Quorvex3 {

/// How far a cell outline departs from a circle once its radius over the
/// angle around the centre is cut down to a short Fourier series.
///
/// The constructor runs the whole analysis on one contour (pixel units) and
/// leaves three dimensionless results: 1 minus the circularity of the
/// outline rebuilt from the mean radius plus the odd harmonics, plus the
/// even harmonics, and plus all harmonics 1 .. orders-1. Any failure (a hull
/// without area, a numeric error) leaves all three NaN, writes one "[FCA] "
/// line to standard error, and never throws.
///
/// Columns are Armadillo column matrices; the per-step functions are public
/// so each step can be checked on its own.
class FourierComponentAnalysis {
public:
    /// @param contour  outline points in pixels (any order along the outline)
    /// @param orders   number K of harmonic orders 0 .. K-1 (the system uses 11)
    /// @param resample true: resample the radius at 100 equidistant angles
    ///                 (the system's setting); false: use the dense hull points
    ///                 themselves, weighted by their angular spacing
    FourierComponentAnalysis(std::vector<cv::Point_<int>> contour, int orders, bool resample);

    double deformOdd;  ///< outline from the mean radius and the odd orders
    double deformEven; ///< outline from the mean radius and the even orders
    double deformFc;   ///< outline from the mean radius and all orders
    double pi = 3.141592653589793;

    /// Hull vertices (already hull points) moved to the polygon's centroid
    /// and sampled at m points per edge (t = 0, 1/m, ..., (m-1)/m).
    /// Throws std::runtime_error when the polygon has no area.
    void createDenseCartesianContour(std::vector<cv::Point_<int>> points, int m,
                                     arma::Mat<double>& x, arma::Mat<double>& y, double& cx,
                                     double& cy) const;

    /// Radius and angle in [0, 2 pi), sorted by angle (stable). Throws
    /// std::runtime_error for a non-finite angle instead of sorting it.
    void CartesianToPolarSortedZeroTwoPi(const arma::Mat<double>& x, const arma::Mat<double>& y,
                                         arma::Mat<double>& phi, arma::Mat<double>& r) const;

    /// Radius at the n angles k * 2 pi / n by linear interpolation of the
    /// sorted samples, taken as periodic in 2 pi: the last sample is repeated
    /// one turn back and the first one turn on, so every angle has a radius
    /// however the samples are spread.
    void createEquidistantPolarContour(const arma::Mat<double>& phi, const arma::Mat<double>& r,
                                       int n, arma::Mat<double>& phiOut, arma::Mat<double>& rOut,
                                       arma::Mat<double>& dPhi) const;

    /// Cosine (A) and sine (B) coefficients of orders 0 .. K-1 by the
    /// weighted sum over the samples; A(0) is the mean radius.
    void DFT(const arma::Mat<double>& phi, const arma::Mat<double>& r,
             const arma::Mat<double>& dPhi, int K, arma::Mat<double>& A,
             arma::Mat<double>& B) const;

    /// Radius at the angles phi from A(0) and the orders of `mode`:
    /// 0 odd, 1 even (from 2), 2 all orders from 1.
    void reconstructContour(const arma::Mat<double>& A, const arma::Mat<double>& B, int mode,
                            const arma::Mat<double>& phi, arma::Mat<double>& r) const;

    void PolarToCartesian(const arma::Mat<double>& phi, const arma::Mat<double>& r,
                          std::vector<cv::Point_<float>>& points) const;

    /// 1 - 2 sqrt(pi * area) / perimeter of the closed outline.
    double getDeformation(const std::vector<cv::Point_<float>>& points) const;

    /// Element-wise fmod(m + fmod(x, m), m): in [0, m) for finite x.
    arma::Mat<double> el_modulus(const arma::Mat<double>& x, double m) const;

    /// Angular weight of each sorted angle: the mean of its gaps to the
    /// cyclically previous and next angle (the weights sum to 2 pi).
    void createDeltaPhi(const arma::Mat<double>& phi, arma::Mat<double>& dPhi) const;

private:
    void run(std::vector<cv::Point_<int>> contour, int orders, bool resample);
};

} // namespace Quorvex3
