#pragma once

// Cell-like masks and greyscale images for the feature tests and benchmarks:
// a blob of one to three overlapping rotated ellipses on a channel-like
// background with noise, a darker textured interior and a bright halo.
// Deterministic for a given generator state.

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace Quorvex3::testing {

struct SyntheticCell {
    cv::Mat image; ///< CV_8UC1
    cv::Mat mask;  ///< CV_8UC1, 255 inside
};

/// A filled rotated ellipse (axes are semi-axes in pixels) on an empty mask.
inline cv::Mat ellipseMask(int rows, int cols, cv::Point2d centre, cv::Size2d axes,
                           double angleDegrees) {
    cv::Mat mask = cv::Mat::zeros(rows, cols, CV_8UC1);
    cv::ellipse(mask,
                cv::RotatedRect(centre, cv::Size2f(2 * axes.width, 2 * axes.height),
                                static_cast<float>(angleDegrees)),
                cv::Scalar(255), cv::FILLED);
    return mask;
}

/// A random cell mask of one to three ellipses around a random centre.
/// `margin` keeps the centre that far from the border (may be negative to
/// let cells touch or cross it).
inline cv::Mat randomCellMask(std::mt19937_64& rng, int rows, int cols, double margin) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double radius = std::min(rows, cols) * (0.12 + 0.2 * unit(rng));
    const cv::Point2d centre(margin + unit(rng) * std::max(cols - 2 * margin, 1.0),
                             margin + unit(rng) * std::max(rows - 2 * margin, 1.0));
    cv::Mat mask = cv::Mat::zeros(rows, cols, CV_8UC1);
    const int lobes = 1 + static_cast<int>(unit(rng) * 3.0);
    for (int i = 0; i < lobes; ++i) {
        const cv::Point2d offset =
            i == 0 ? cv::Point2d(0, 0)
                   : cv::Point2d((unit(rng) - 0.5) * radius, (unit(rng) - 0.5) * radius);
        const cv::Size2d axes(radius * (0.6 + 0.6 * unit(rng)), radius * (0.4 + 0.5 * unit(rng)));
        mask |= ellipseMask(rows, cols, centre + offset, axes, unit(rng) * 180.0);
    }
    return mask;
}

/// A textured image for a mask: background ~110 with noise and a horizontal
/// gradient, interior darker with speckle, a bright rim around the cell.
inline cv::Mat texturedImage(std::mt19937_64& rng, const cv::Mat& mask) {
    cv::Mat noise(mask.rows, mask.cols, CV_64F);
    cv::RNG noiseSource(rng());
    noiseSource.fill(noise, cv::RNG::NORMAL, 0.0, 4.0);
    cv::Mat dilated;
    cv::dilate(mask, dilated, cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(5, 5)));
    cv::Mat image(mask.rows, mask.cols, CV_8UC1);
    for (int y = 0; y < mask.rows; ++y) {
        const double* n = noise.ptr<double>(y);
        for (int x = 0; x < mask.cols; ++x) {
            double g = 105.0 + 10.0 * x / std::max(mask.cols, 1) + n[x];
            if (mask.at<uchar>(y, x))
                g = 70.0 + 25.0 * std::sin(0.7 * x) * std::cos(0.5 * y) + 3.0 * n[x];
            else if (dilated.at<uchar>(y, x))
                g = 160.0 + 0.5 * n[x];
            image.at<uchar>(y, x) = cv::saturate_cast<uchar>(g);
        }
    }
    return image;
}

inline SyntheticCell randomCell(std::mt19937_64& rng, int rows, int cols, double margin) {
    SyntheticCell cell;
    cell.mask = randomCellMask(rng, rows, cols, margin);
    cell.image = texturedImage(rng, cell.mask);
    return cell;
}

/// The matrix's bytes as space-separated decimals, row-major.
inline std::string bytesAsText(const cv::Mat& m) {
    std::string out;
    out.reserve(static_cast<size_t>(m.rows) * static_cast<size_t>(m.cols) * 4);
    for (int y = 0; y < m.rows; ++y)
        for (int x = 0; x < m.cols; ++x) {
            out += ' ';
            out += std::to_string(static_cast<int>(m.at<uchar>(y, x)));
        }
    return out;
}

/// Frames stacked for RtdcFixtureWriter::addImageStack.
inline std::vector<uint8_t> stackFrames(const std::vector<cv::Mat>& frames) {
    std::vector<uint8_t> bytes;
    for (const cv::Mat& f : frames)
        for (int y = 0; y < f.rows; ++y)
            bytes.insert(bytes.end(), f.ptr<uchar>(y), f.ptr<uchar>(y) + f.cols);
    return bytes;
}

} // namespace Quorvex3::testing
