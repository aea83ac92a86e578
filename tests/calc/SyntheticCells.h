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
#include <vector>

namespace Quorvex3::testing {

struct SyntheticCell {
    cv::Mat image; ///< CV_8UC1
    cv::Mat mask;  ///< CV_8UC1, 255 inside
};

/// A filled rotated ellipse (semi-axes in pixels, rounded) on an empty mask.
inline cv::Mat ellipseMask(int rows, int cols, cv::Point2d centre, cv::Size2d axes, double angle) {
    cv::Mat mask = cv::Mat::zeros(rows, cols, CV_8UC1);
    cv::ellipse(mask, cv::Point(centre), cv::Size(axes), angle, 0, 360, cv::Scalar(255),
                cv::FILLED);
    return mask;
}

/// A textured image for a mask: background ~110 with noise and a horizontal
/// gradient, interior darker with speckle, a bright rim around the cell.
inline cv::Mat texturedImage(std::mt19937_64& rng, const cv::Mat& mask) {
    cv::Mat image(mask.rows, mask.cols, CV_64F);
    cv::RNG(rng()).fill(image, cv::RNG::NORMAL, 0.0, 4.0);
    cv::Mat rim;
    cv::dilate(mask, rim, cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(5, 5)));
    for (int y = 0; y < mask.rows; ++y)
        for (int x = 0; x < mask.cols; ++x) {
            double& g = image.at<double>(y, x); // the noise, on the pixel's level
            g += mask.at<uchar>(y, x)  ? 70 + 25 * std::sin(0.7 * x) * std::cos(0.5 * y) + 2 * g
                 : rim.at<uchar>(y, x) ? 160 - 0.5 * g
                                       : 105 + 10.0 * x / mask.cols;
        }
    image.convertTo(image, CV_8U); // rounded and saturated
    return image;
}

/// A random cell of one to three ellipses around a random centre kept
/// `margin` pixels from the border (negative: touching or crossing it).
inline SyntheticCell randomCell(std::mt19937_64& rng, int rows, int cols, double margin) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double radius = std::min(rows, cols) * (0.12 + 0.2 * unit(rng));
    const cv::Point2d centre(margin + unit(rng) * std::max(cols - 2 * margin, 1.0),
                             margin + unit(rng) * std::max(rows - 2 * margin, 1.0));
    cv::Mat mask = cv::Mat::zeros(rows, cols, CV_8UC1);
    const int lobes = 1 + static_cast<int>(unit(rng) * 3.0);
    for (int i = 0; i < lobes; ++i) {
        const double spread = i == 0 ? 0.0 : radius; // the first lobe sits at the centre
        const cv::Point2d offset((unit(rng) - 0.5) * spread, (unit(rng) - 0.5) * spread);
        const cv::Size2d axes(radius * (0.6 + 0.6 * unit(rng)), radius * (0.4 + 0.5 * unit(rng)));
        mask |= ellipseMask(rows, cols, centre + offset, axes, unit(rng) * 180.0);
    }
    return {texturedImage(rng, mask), mask};
}

/// One kind of frame of every cell (`&SyntheticCell::image` or `::mask`),
/// stacked for RtdcFixtureWriter::addImageStack.
inline std::vector<uint8_t> stackFrames(const std::vector<SyntheticCell>& cells,
                                        cv::Mat SyntheticCell::*frame) {
    std::vector<uint8_t> bytes;
    for (const SyntheticCell& cell : cells)
        bytes.insert(bytes.end(), (cell.*frame).datastart, (cell.*frame).dataend);
    return bytes;
}

} // namespace Quorvex3::testing
