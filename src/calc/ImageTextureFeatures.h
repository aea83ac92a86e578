#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace Quorvex3 {

/// Number of image texture features, in the order of imageFeatureNames().
constexpr int kImageFeatureCount = 24;

/// The 24 texture features of one event: `image` and `mask` are 8-bit
/// single-channel matrices of the same size (mask non-zero inside the cell).
/// `out` is set to 24 values (NaN where a value cannot be computed).
/// @return false, leaving 24 NaN, for empty or mismatched inputs, a wrong
///         type, or fewer than 16 masked pixels.
bool computeImageFeatures(const cv::Mat& image, const cv::Mat& mask, std::vector<double>& out);

namespace texture {

/// Grey values (as doubles) and (column, row) coordinates of the masked
/// pixels, row-major, with the geometry that several groups share.
struct MaskedPixels {
    std::vector<double> values;
    std::vector<cv::Point> coords;
    std::vector<double> radius; ///< distance of each pixel from the centroid
    double cx = 0.0;            ///< centroid: mean column
    double cy = 0.0;            ///< centroid: mean row
    double rmax = 0.0;          ///< largest radius (0 without pixels)
};

MaskedPixels collectMaskedPixels(const cv::Mat& image, const cv::Mat& mask);

/// Quantile of sorted values by linear interpolation between neighbours:
/// position q * (n - 1).
double sortedQuantile(const std::vector<double>& sorted, double q);

// Each group appends its values to `out`, NaN for what it cannot compute.

/// 9 values: median, 10th and 90th percentile, IQR, MAD (robust SD), CV,
/// skewness, excess kurtosis, entropy of the 256-bin histogram in bits.
void brightnessFeatures(const std::vector<double>& values, std::vector<double>& out);

/// 3 values from the 8-neighbour local binary patterns of the masked pixels
/// (those with all neighbours inside the image): pattern entropy, uniform
/// fraction, spot fraction (all neighbours brighter or all darker).
void lbpFeatures(const cv::Mat& image, const cv::Mat& mask, std::vector<double>& out);

/// 4 values from the mean brightness of ten rings around the centroid:
/// slope over the relative radius, centre-to-edge ratio, contrast, and the
/// depth of a dip below the first-to-last line relative to the range.
void radialProfileFeatures(const MaskedPixels& pixels, std::vector<double>& out);

/// 4 values from the radially averaged power spectrum of a Hann-windowed
/// square around the cell (unmasked pixels at the mean): log-log slope,
/// centroid frequency, high-frequency fraction, spectral entropy in bits.
void spectralFeatures(const cv::Mat& image, const cv::Mat& mask, const MaskedPixels& pixels,
                      std::vector<double>& out);

/// 4 values over the cell's bounding box widened by 5 pixels: Tenengrad,
/// variance of the 4-neighbour Laplacian, Brenner gradient, and the mean
/// gradient magnitude in an 11-pixel band along the outline.
void focusFeatures(const cv::Mat& image, const cv::Mat& mask, const MaskedPixels& pixels,
                   std::vector<double>& out);

} // namespace texture

} // namespace Quorvex3
